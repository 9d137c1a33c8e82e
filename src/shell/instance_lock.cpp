#include "shell/instance_lock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/lock_holder.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
#include "shell/command_line.h"

namespace lum2 {

namespace {

using Clock = std::chrono::steady_clock;

std::string Trimmed(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// "" when folder is a real folder of this user that no one else may enter.
std::string WhyNotPrivate(const std::string& folder) {
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return folder + ": " + ErrorText(errno);
    if (S_ISLNK(info.st_mode)) return folder + ": a link, not a folder";
    if (!S_ISDIR(info.st_mode)) return folder + ": " + ErrorText(ENOTDIR);
    if (info.st_uid != geteuid()) return folder + ": owned by another user";
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return folder + ": open to others (mode " + mode + ")";
    }
    return "";
}

// The host's name as a file name may hold it.
std::string HostPart() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    std::string part;
    for (const char* c = host; *c != '\0' && part.size() < 64; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                           *c == '.' || *c == '-' || *c == '_';
        part += plain ? *c : '_';
    }
    return part.empty() ? "localhost" : part;
}

// Waits until fd is ready for events; false when the deadline passed first.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

HandOverResult Failed(std::string why) { return {HandOverResult::Kind::kFailed, std::move(why)}; }

// One message: a leading letter from letters, an absolute path, a NUL at the end and nowhere else.
bool ParseMessage(std::string_view bytes, const char* letters, char* letter, std::string* path) {
    if (bytes.size() < 3 || bytes.size() > kHandOverLimit || bytes.back() != '\0') return false;
    if (bytes.find('\0') != bytes.size() - 1) return false;
    if (bytes[0] == '\0' || std::strchr(letters, bytes[0]) == nullptr || bytes[1] != '/') return false;
    *letter = bytes[0];
    *path = std::string(bytes.substr(1, bytes.size() - 2));
    return true;
}

}  // namespace

std::string DefaultInstanceName() { return "lum2-" + std::to_string(geteuid()); }

InstancePlace FindInstancePlace(const std::string& runtimeDir, const std::string& cacheHome, const std::string& home,
                                const std::string& name) {
    InstancePlace place;
    if (!runtimeDir.empty() && runtimeDir.front() == '/' && WhyNotPrivate(runtimeDir).empty()) {
        place.folder = Trimmed(runtimeDir);
        place.name = name;
        return place;
    }
    std::string cache = cacheHome;
    if (cache.empty() || cache.front() != '/') {
        if (home.empty() || home.front() != '/') {
            place.error = "no home folder for " + (home.empty() ? std::string("~") : home) + "/.cache/lum2";
            return place;
        }
        cache = Trimmed(home) + "/.cache";
    }
    const std::string folder = Trimmed(cache) + "/lum2";
    place.error = CreatePrivateFolder(folder);
    if (place.error.empty()) place.error = WhyNotPrivate(folder);
    if (!place.error.empty()) return place;
    place.folder = folder;
    place.name = name + "-" + HostPart();
    return place;
}

InstanceLock::~InstanceLock() {
    if (fd_ < 0) return;
    ClearLockHolder(fd_);
    close(fd_);
}

InstanceLock::Outcome InstanceLock::Take(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = path + ": " + ErrorText(errno);
        return Outcome::kFailed;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        *error = path + ": not a file of your own";
        return Outcome::kFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        close(fd);
        if (cause == EWOULDBLOCK) return Outcome::kHeld;
        *error = path + ": " + ErrorText(cause);
        return Outcome::kFailed;
    }
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
    WriteLockHolder(fd_);
    return Outcome::kTaken;
}

std::string HandOverRequest(char request, const std::string& baseDirectory) {
    return std::string(1, request) + baseDirectory + '\0';
}

bool ParseHandOverRequest(std::string_view bytes, char* request, std::string* baseDirectory) {
    return ParseMessage(bytes, "sc-", request, baseDirectory);
}

std::string HandOverAnswer(bool taken, const std::string& baseDirectory) {
    return std::string(1, taken ? 'y' : 'n') + baseDirectory + '\0';
}

HandOverResult HandOver(const std::string& socketPath, char request, const std::string& baseDirectory, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return Failed(socketPath + ": " + ErrorText(ENAMETOOLONG));
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Failed("no socket: " + ErrorText(errno));
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int cause = errno;
        if (cause == EINPROGRESS) {
            socklen_t length = sizeof cause;
            if (!WaitFor(fd, POLLOUT, deadline))
                cause = ETIMEDOUT;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &cause, &length) != 0)
                cause = errno;
        }
        if (cause != 0 && cause != EINPROGRESS) return Failed(socketPath + ": " + ErrorText(cause));
    }

    const std::string message = HandOverRequest(request, baseDirectory);
    for (std::size_t sent = 0; sent < message.size();) {
        const ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            if (!WaitFor(fd, POLLOUT, deadline)) return Failed(socketPath + ": " + ErrorText(ETIMEDOUT));
        } else if (n < 0 && errno != EINTR) {
            return Failed(socketPath + ": " + ErrorText(errno));
        }
    }

    const std::string silent = "no answer from " + socketPath + " within " + std::to_string(timeoutMs / 1000) + " s";
    std::string answer;
    while (answer.find('\0') == std::string::npos && answer.size() < kHandOverLimit) {
        char buffer[512];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return Failed(socketPath + " closed the connection without an answer");
        } else if (errno == EAGAIN) {
            if (!WaitFor(fd, POLLIN, deadline)) return Failed(silent);
        } else if (errno != EINTR) {
            return Failed(socketPath + ": " + ErrorText(errno));
        }
    }
    char verdict = 0;
    std::string base;
    if (!ParseMessage(answer, "yn", &verdict, &base)) return Failed("no answer LUM2 understands from " + socketPath);
    if (verdict == 'y') return {HandOverResult::Kind::kTaken, base};
    return {HandOverResult::Kind::kOtherBase, base};
}

}  // namespace lum2
