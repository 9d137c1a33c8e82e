// One LUM2 per user, the part that needs no Qt: where the lock and the
// hand-over socket live, the lock, and the later copy's side of the hand-over.
// It all runs before a Qt application exists, so that a copy that only hands
// its switch over needs no display.
#pragma once

#include <string>
#include <string_view>

namespace lum2 {

// "lum2-UID": one per user.
std::string DefaultInstanceName();

struct InstancePlace {
    std::string folder;  // no trailing separator
    std::string name;    // the file names' stem
    std::string error;   // why there is no private folder; the rest is empty then

    std::string LockPath() const { return folder + "/" + name + ".lock"; }
    std::string SocketPath() const { return folder + "/" + name + ".socket"; }
};

// The lock and the socket need a folder no one else can enter: anyone who can
// write there can plant a lock that silences "lum2 -s", or a socket that takes
// its requests. $XDG_RUNTIME_DIR when it is a folder (not a link) of the
// user's own without group or other access; else $XDG_CACHE_HOME/lum2 (when
// absolute) or $HOME/.cache/lum2, made 0700 level by level and checked the same
// way. A home folder may be shared by several machines, whose copies cannot
// reach each other: there the names carry the host too.
InstancePlace FindInstancePlace(const std::string& runtimeDir, const std::string& cacheHome, const std::string& home,
                                const std::string& name);

// The lock of the running copy: an flock the kernel lets go of when the
// process ends, however it ends, so a crash leaves no lock that counts. The
// file names the holder (program and process id) while it is held and is
// emptied, not removed, when the lock is given up.
class InstanceLock {
public:
    enum class Outcome { kTaken, kHeld, kFailed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // kTaken: the lock is this copy's, and the file names it. kHeld: another
    // copy runs. kFailed: *error says why there is no lock.
    Outcome Take(const std::string& path, std::string* error);

private:
    int fd_ = -1;
};

// The hand-over: a later copy sends its switch ('s', 'c', or '-' for none)
// and its base directory, canonical, ended by a NUL; the running copy answers
// 'y' when it took the request or 'n' when its task list is elsewhere,
// followed by its own base directory and a NUL. A message never exceeds
// kHandOverLimit bytes.
inline constexpr std::size_t kHandOverLimit = 4200;
inline constexpr int kHandOverTimeoutMs = 5000;

std::string HandOverRequest(char request, const std::string& baseDirectory);
// False for anything malformed: an unknown switch, a relative or missing
// base directory, no NUL at the end, too long.
bool ParseHandOverRequest(std::string_view bytes, char* request, std::string* baseDirectory);
std::string HandOverAnswer(bool taken, const std::string& baseDirectory);

struct HandOverResult {
    enum class Kind { kTaken, kOtherBase, kFailed } kind = Kind::kFailed;
    std::string detail;  // kOtherBase: the running copy's base directory; kFailed: why
};

// Connects to the running copy's socket, sends the request and waits at most
// timeoutMs in all for its answer.
HandOverResult HandOver(const std::string& socketPath, char request, const std::string& baseDirectory,
                        int timeoutMs = kHandOverTimeoutMs);

}  // namespace lum2
