// Replacing a file only by a complete new one: the new content is written to
// a temporary file beside the target and renamed over it when complete, so a
// failed or stopped write leaves the old file as it was.
//
// This is the one place that replaces a user's file, so it also owns the
// edges of the file system: symbolic links are written through (the link
// stays a link), an existing path that is not a regular file is never
// replaced, the old file's mode and owner are kept, the temporary name fits
// wherever the final name fits, and temporary files die with the program on
// SIGINT, SIGTERM and SIGHUP or are removed by the next run after a kill.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/progress_sink.h"

namespace lum2 {

// Follows symbolic links from path to the file a write through it reaches.
// A dangling link names the file to create; its folder must exist. Returns
// false with errno set (ELOOP, ENOENT, ...).
bool ResolveWriteTarget(const std::string& path, std::string& target);

// Text for an error number, as strerror gives it.
std::string ErrorText(int error);

// Opens path, links followed, with flags (O_RDONLY, O_WRONLY | O_APPEND |
// O_CREAT, ...; mode for a file it creates) only when it is a regular file:
// a FIFO would block the open or the first read for ever, and opening a
// device can act on it. Returns the descriptor, or -1 with the reason in
// cause ("PATH is a named pipe (FIFO), not a regular file", "PATH: Permission
// denied") and errno set; errno is ENOENT only when there is no such file.
int OpenRegularFile(const std::string& path, int flags, std::string& cause, mode_t mode = 0600);

// Appends the rest of fd to text while text stays within limit bytes; false
// with the reason in cause ("Input/output error", "larger than 16 MB").
bool ReadAtMost(int fd, std::size_t limit, std::string& text, std::string& cause);

// Whether a and b name one regular file (the same device and inode, through
// links and hard links). Anything else, a terminal or a pipe included, is
// never the same file: "-" in and out on one terminal is fine.
bool IsSameFile(const std::string& a, const std::string& b);

// OpenRegularFile for reading, as a stream; null with the cause.
std::FILE* OpenRegularStream(const std::string& path, std::string& cause);

// Creates one of the program's working files (lumdata.tmp, lumfilter.tmp,
// lumclip.tmp) in a folder that others may be able to write to: a stale entry
// of the name is removed, then the file is made new (O_EXCL | O_NOFOLLOW,
// mode 0600), so a link or file planted there is never written through.
// Returns the descriptor, or -1 with the cause in cause and errno set
// (EISDIR for a folder at the name).
int CreateWorkingFile(const std::string& path, std::string& cause);

// Gives fd, a file that replaces or copies old, old's owner and group where
// this process may (only root gives files away; the group may still be
// ours to set) and its permission bits (no set-user-id on a copy). Returns 0
// or the errno of what failed, EPERM from a change of owner aside.
int TakeOverOwnerAndMode(int fd, const struct stat& old);

// Keeps paths on the list that SIGINT, SIGTERM and SIGHUP remove, for as long
// as it lives: the working files of a conversion.
class RemovedOnSignal {
public:
    explicit RemovedOnSignal(std::initializer_list<std::string> paths);
    ~RemovedOnSignal();
    RemovedOnSignal(const RemovedOnSignal&) = delete;
    RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

private:
    std::vector<int> slots_;
};

class ReplacementFile {
public:
    // Creates the temporary file beside the final target of path; Ok() tells
    // whether it worked, Cause() why not.
    explicit ReplacementFile(const std::string& target);
    // Removes the temporary file unless Commit succeeded.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool Ok() const { return file_ != nullptr; }
    // Every read, write and seek on it is checked: the first failure's errno
    // is kept for Cause().
    std::FILE* File() const { return file_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }
    // The file that Commit replaces: the target with its links followed.
    const std::string& FinalPath() const { return final_; }
    // Flushes, closes and renames over the target; false (old file kept) on failure.
    bool Commit();
    // Why creating, writing or committing failed ("No space left on device",
    // "... is a FIFO, not a regular file"); empty when nothing failed.
    std::string Cause() const;
    // The cause with the file it concerns, for a message that stands alone.
    std::string NamedCause() const;

private:
    void Fail(int error);

    std::string final_;
    std::string temporaryPath_;
    std::string refusal_;  // a target that must not be replaced, and why
    std::FILE* file_ = nullptr;
    int fd_ = -1;
    int error_ = 0;
    int slot_ = -1;
    bool committed_ = false;
};

// Copies source to target through a ReplacementFile; false leaves target as
// it was, with the reason in *cause when given.
// A long copy lets the window's pending events run through events, when given.
bool CopyFileSafely(const std::string& source, const std::string& target, std::string* cause = nullptr,
                    ProgressSink* events = nullptr);

// A stream over a newly opened fd (closed with the stream) that keeps the
// errno of its first failed read, write, seek or close in *firstError, which
// must outlive the stream. Null (fd closed) when no stream can be made.
// writeBehind: a file that will be synced is written out to the disk as it
// grows, sequential writes assumed.
std::FILE* OpenCheckedStream(int fd, const char* mode, int* firstError, bool writeBehind = false);

// What comes before a complete file is renamed into place: stream is
// flushed, fd (its descriptor, which a checked stream does not give back)
// synced to the disk and the stream closed, so that no crash leaves the name
// on a file whose content had not reached the disk. Returns 0, or the errno
// of the first failure; the stream is closed either way.
int SyncAndClose(std::FILE* stream, int fd);

// What comes after the rename: the folder entry is synced, so that the rename
// itself survives a crash. The content is complete either way, so a failure
// here is not one of the write and is not reported.
void SyncFolder(const std::string& folder);

// Removes the temporary files a killed earlier replacement of target left
// beside it: only regular files with the temporary name of that target,
// owned by this user, that no running replacement holds.
void RemoveLeftovers(const std::string& finalTarget);

// Puts a path on the list that a SIGINT, SIGTERM or SIGHUP removes before the
// program ends (a folder loses its files first; it must hold no folders).
// Returns a slot for ForgetOnSignal, or -1 when the list is full.
int RemoveOnSignal(const std::string& path, bool folder);
void ForgetOnSignal(int slot);
// Makes SIGINT, SIGTERM and SIGHUP remove the listed paths and then end the
// program as the signal would have; a signal that is ignored stays ignored.
void InstallSignalCleanup();

}  // namespace lum2
