// Who holds a lock file. The lock itself is an flock, which the kernel lets
// go of however the holder ends; the file's few bytes only say who took it,
// so that a program refused can tell the user which one to close. They are
// anybody's bytes to a reader: read bounded, and escaped where shown.
#pragma once

#include <string>

namespace lum2 {

struct LockHolder {
    std::string program;  // empty: the file names no holder this program understands
    long pid = 0;
};

// Replaces the content of the lock file fd by "PROGRAM PID\n": this
// process's short name and id. Returns 0 or the errno of what failed; the
// lock holds either way.
int WriteLockHolder(int fd);

// Empties the lock file fd, before its lock is let go of, so that a stale
// name is never read as the holder's. Returns 0 or the errno.
int ClearLockHolder(int fd);

// The holder the lock file fd names: at most its first 64 bytes, a name of 1
// to 32 bytes without blanks or control bytes, a blank, a process id of 1 to
// 9 digits and a line end. Anything else reads as no holder (program empty).
LockHolder ReadLockHolder(int fd);

// "lum2 (process 4242)", the name escaped; "another LUM2 program" when
// holder names none.
std::string HolderText(const LockHolder& holder);

}  // namespace lum2
