#include "base/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/path_functions.h"
#include "base/text_helpers.h"

namespace lum2 {

namespace {

// Temporary names are ".lum2-XXXXXX-" and as much of the target's name as
// fits in the folder's longest name, so any name the folder takes can be
// replaced, and a leftover still shows whose it was.
constexpr const char kTemporaryPrefix[] = ".lum2-";
constexpr std::size_t kPrefixLength = sizeof kTemporaryPrefix - 1;
constexpr std::size_t kRandomLength = 6;
constexpr std::size_t kTemporaryOverhead = kPrefixLength + kRandomLength + 1;  // and the '-'
// The way earlier versions named them: ".NAME.lum2-XXXXXX".
constexpr const char kOldInfix[] = ".lum2-";
// Links followed before giving up, as the kernel does.
constexpr int kMaximumLinks = 40;

std::size_t NameMax(const std::string& folder) {
    const long max = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > static_cast<long>(kTemporaryOverhead) ? static_cast<std::size_t>(max) : 255;
}

// The target's name cut to what fits after the prefix, on a UTF-8 character
// boundary so that a file manager shows a leftover's name readably.
std::string VisibleName(const std::string& name, std::size_t nameMax) {
    return name.substr(0, Utf8CutLength(name, nameMax - kTemporaryOverhead));
}

bool RandomPart(const std::string& text, std::size_t at) {
    if (text.size() < at + kRandomLength) return false;
    for (std::size_t i = at; i < at + kRandomLength; ++i) {
        const char c = text[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

bool IsTemporaryNameOf(const std::string& entry, const std::string& name, const std::string& visible) {
    if (entry.size() == kTemporaryOverhead + visible.size() && entry.compare(0, kPrefixLength, kTemporaryPrefix) == 0 &&
        RandomPart(entry, kPrefixLength) && entry[kPrefixLength + kRandomLength] == '-' &&
        entry.compare(kTemporaryOverhead, std::string::npos, visible) == 0) {
        return true;
    }
    const std::size_t infix = sizeof kOldInfix - 1;
    return entry.size() == 1 + name.size() + infix + kRandomLength && entry[0] == '.' &&
           entry.compare(1, name.size(), name) == 0 && entry.compare(1 + name.size(), infix, kOldInfix) == 0 &&
           RandomPart(entry, 1 + name.size() + infix);
}

std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string NotRegular(const std::string& path, mode_t mode) {
    return path + " is " + KindOf(mode) + ", not a regular file";
}

std::string Refusal(const std::string& path, mode_t mode) { return NotRegular(path, mode) + ": it was left as it is"; }

std::string SizeText(std::size_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KB";
    return std::to_string(bytes) + " bytes";
}

// --- Checked streams --------------------------------------------------------

// A replacement is written behind in steps of this size: each step starts the
// kernel writing the step just finished and waits for the one before it. The
// fsync before the rename then waits for a few megabytes, not for the whole
// file, and no single wait holds up the window's events for long.
constexpr off_t kWriteBehindStep = 4 << 20;

struct CheckedCookie {
    int fd;
    int* firstError;
    bool writeBehind = false;
    off_t written = 0;      // bytes written so far
    off_t writingFrom = 0;  // the kernel was asked to write out [writingFrom, started)
    off_t started = 0;
    void Note(int error) const {
        if (*firstError == 0) *firstError = error != 0 ? error : EIO;
    }
};

ssize_t CookieRead(void* cookie, char* buffer, std::size_t size) {
    const auto* c = static_cast<CheckedCookie*>(cookie);
    for (;;) {
        const ssize_t got = read(c->fd, buffer, size);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        c->Note(errno);
        return -1;
    }
}

ssize_t CookieWrite(void* cookie, const char* buffer, std::size_t size) {
    auto* c = static_cast<CheckedCookie*>(cookie);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(c->fd, buffer + done, size - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else {
            c->Note(wrote < 0 ? errno : ENOSPC);
            break;
        }
    }
    c->written += static_cast<off_t>(done);
    if (c->writeBehind && c->written - c->started >= kWriteBehindStep) {
        // Hints only: a failure to write out shows again in the fsync.
        sync_file_range(c->fd, c->started, c->written - c->started, SYNC_FILE_RANGE_WRITE);
        if (c->started > c->writingFrom) {
            sync_file_range(c->fd, c->writingFrom, c->started - c->writingFrom, SYNC_FILE_RANGE_WAIT_BEFORE);
        }
        c->writingFrom = c->started;
        c->started = c->written;
    }
    // Fewer bytes than asked is how the stream learns of the failure; a
    // negative count would be taken for a huge success.
    return static_cast<ssize_t>(done);
}

int CookieSeek(void* cookie, off64_t* offset, int whence) {
    const auto* c = static_cast<CheckedCookie*>(cookie);
    const off_t at = lseek(c->fd, *offset, whence);
    if (at < 0) {
        c->Note(errno);
        return -1;
    }
    *offset = at;
    return 0;
}

int CookieClose(void* cookie) {
    auto* c = static_cast<CheckedCookie*>(cookie);
    // Linux releases the descriptor even when close reports EINTR.
    const int result = close(c->fd);
    const int error = errno;
    if (result != 0 && error != EINTR) c->Note(error);
    delete c;
    return result != 0 && error != EINTR ? -1 : 0;
}

// --- Cleanup on signals -----------------------------------------------------

enum SlotState : int { kFree = 0, kFilling = 1, kFile = 2, kFolder = 3 };

struct CleanupSlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};

// Fixed storage, so the handler touches nothing that a signal could catch
// half-changed; a run has a few temporary paths at a time.
constexpr int kCleanupSlots = 32;
CleanupSlot cleanupSlots[kCleanupSlots];

// Only async-signal-safe calls from here on.
void EmptyAndRemoveFolder(const char* path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        // Removing entries while reading the folder may hide others from the
        // same pass, so read it again until a pass removes nothing.
        for (int pass = 0; pass < 8; ++pass) {
            bool removed = false;
            lseek(fd, 0, SEEK_SET);
            for (;;) {
                const long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
                if (got <= 0) break;
                for (long at = 0; at < got;) {
                    // struct linux_dirent64: inode (8), offset (8), length (2), type (1), name.
                    unsigned short length = 0;
                    std::memcpy(&length, buffer + at + 16, sizeof length);
                    const char* name = buffer + at + 19;
                    if (length == 0) break;
                    at += length;
                    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                    if (unlinkat(fd, name, 0) == 0) removed = true;
                }
            }
            if (!removed) break;
        }
        close(fd);
    }
    rmdir(path);
}

extern "C" void CleanupAndEnd(int signalNumber) {
    const int savedErrno = errno;
    for (auto& slot : cleanupSlots) {
        if (slot.state.load() == kFile) unlink(slot.path);
    }
    for (auto& slot : cleanupSlots) {
        if (slot.state.load() == kFolder) EmptyAndRemoveFolder(slot.path);
    }
    // End as the signal would have ended the program without us, so a shell
    // sees the usual status.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
    raise(signalNumber);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    errno = savedErrno;
}

}  // namespace

std::string ErrorText(int error) { return std::strerror(error); }

int SyncAndClose(std::FILE* stream, int fd) {
    int error = 0;
    if (std::fflush(stream) != 0) error = errno;
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (std::fclose(stream) != 0 && error == 0) error = errno;
    return error;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

int OpenRegularFile(const std::string& path, int flags, std::string& cause, mode_t mode) {
    struct stat info {};
    // Looked at before the open as well, so that a device is never opened;
    // what the name shows may change, so the descriptor is what counts.
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        cause = NotRegular(path, info.st_mode);
        errno = EINVAL;
        return -1;
    }
    const int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) {
        const int error = errno;
        cause = path + ": " + ErrorText(error);
        errno = error;
        return -1;
    }
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
        cause = path + ": " + ErrorText(error);
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL;
        cause = NotRegular(path, info.st_mode);
    }
    if (error == 0) return fd;
    close(fd);
    errno = error;
    return -1;
}

bool ReadAtMost(int fd, std::size_t limit, std::string& text, std::string& cause) {
    char buffer[1 << 14];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            cause = ErrorText(errno);
            return false;
        }
        if (static_cast<std::size_t>(got) > limit - text.size()) {
            cause = "larger than " + SizeText(limit);
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && S_ISREG(first.st_mode) &&
           S_ISREG(second.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::FILE* OpenRegularStream(const std::string& path, std::string& cause) {
    const int fd = OpenRegularFile(path, O_RDONLY, cause);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        cause = path + ": " + ErrorText(errno);
        close(fd);
    }
    return stream;
}

int CreateWorkingFile(const std::string& path, std::string& cause) {
    struct stat old {};
    if (lstat(path.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) {
            cause = Refusal(path, old.st_mode);
            errno = EISDIR;
            return -1;
        }
        // Removes a link, never what it leads to.
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            const int error = errno;
            cause = path + ": cannot remove the old working file: " + ErrorText(error);
            errno = error;
            return -1;
        }
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        cause = path + ": " +
                (error == EEXIST || error == ELOOP
                     ? std::string("something else appeared at the working file's name while it was made")
                     : ErrorText(error));
        errno = error;
        return -1;
    }
    return fd;
}

int TakeOverOwnerAndMode(int fd, const struct stat& old) {
    // Owner and group first: a change of owner clears some mode bits.
    if ((old.st_uid != geteuid() || old.st_gid != getegid()) && fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (errno != EPERM || (fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 && errno != EPERM)) return errno;
    }
    return fchmod(fd, old.st_mode & 0777) == 0 ? 0 : errno;
}

RemovedOnSignal::RemovedOnSignal(std::initializer_list<std::string> paths) {
    for (const std::string& path : paths) slots_.push_back(RemoveOnSignal(path, false));
}

RemovedOnSignal::~RemovedOnSignal() {
    for (const int slot : slots_) ForgetOnSignal(slot);
}

bool ResolveWriteTarget(const std::string& path, std::string& target) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        errno = ENOENT;
        return false;
    }
    std::string current = path;
    for (int hop = 0; hop <= kMaximumLinks; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) return false;
            // A file to create (or the name a dangling link gives): its folder must be there.
            const std::string folder = DirectoryPart(current);
            struct stat folderInfo {};
            if (!folder.empty() && stat(folder.c_str(), &folderInfo) != 0) return false;
            if (!folder.empty() && !S_ISDIR(folderInfo.st_mode)) {
                errno = ENOTDIR;
                return false;
            }
            target = current;
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            target = current;
            return true;
        }
        // The size a link reports can be short of its target: the links of
        // /proc/self/fd (what /dev/stdout leads to) report 64 bytes, whatever
        // the path they name.
        std::vector<char> link(std::max<std::size_t>(static_cast<std::size_t>(info.st_size), PATH_MAX) + 1);
        const ssize_t length = readlink(current.c_str(), link.data(), link.size());
        if (length < 0) return false;
        if (length == 0 || static_cast<std::size_t>(length) >= link.size()) {
            // Empty, or changed while we read it.
            errno = length == 0 ? ENOENT : ELOOP;
            return false;
        }
        const std::string next(link.data(), static_cast<std::size_t>(length));
        current = next[0] == '/' ? next : DirectoryPart(current) + next;
    }
    errno = ELOOP;
    return false;
}

std::FILE* OpenCheckedStream(int fd, const char* mode, int* firstError, bool writeBehind) {
    auto* cookie = new CheckedCookie{fd, firstError, writeBehind};
    const cookie_io_functions_t functions{CookieRead, CookieWrite, CookieSeek, CookieClose};
    std::FILE* stream = fopencookie(cookie, mode, functions);
    if (stream == nullptr) {
        const int error = errno;
        close(fd);
        delete cookie;
        errno = error;
        return nullptr;
    }
    // Fewer, larger writes: records arrive in pieces of a few kilobytes.
    setvbuf(stream, nullptr, _IOFBF, 1 << 16);
    return stream;
}

void RemoveLeftovers(const std::string& finalTarget) {
    const std::string folder = DirectoryPart(finalTarget);
    const std::string name = FileNamePart(finalTarget);
    if (name.empty()) return;
    const std::string visible = VisibleName(name, NameMax(folder));
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) return;
    const int folderFd = dirfd(listing);
    const uid_t me = geteuid();
    while (const dirent* entry = readdir(listing)) {
        const std::string entryName = entry->d_name;
        if (!IsTemporaryNameOf(entryName, name, visible)) continue;
        struct stat named {};
        if (fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) ||
            named.st_uid != me) {
            continue;
        }
        const int fd = openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        // A running replacement holds its lock until it ends; a killed one's
        // lock died with it.
        if (fstat(fd, &opened) == 0 && opened.st_ino == named.st_ino && opened.st_dev == named.st_dev &&
            flock(fd, LOCK_EX | LOCK_NB) == 0) {
            unlinkat(folderFd, entry->d_name, 0);
        }
        close(fd);
    }
    closedir(listing);
}

int RemoveOnSignal(const std::string& path, bool folder) {
    if (path.empty() || path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kCleanupSlots; ++i) {
        int expected = kFree;
        if (cleanupSlots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(cleanupSlots[i].path, path.c_str(), path.size() + 1);
            cleanupSlots[i].state.store(folder ? kFolder : kFile);
            return i;
        }
    }
    return -1;
}

void ForgetOnSignal(int slot) {
    if (slot >= 0 && slot < kCleanupSlots) cleanupSlots[slot].state.store(kFree);
}

void InstallSignalCleanup() {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = CleanupAndEnd;
        sigemptyset(&action.sa_mask);
        // One cleanup at a time: a second signal waits for the first to end us.
        for (const int other : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
}

ReplacementFile::ReplacementFile(const std::string& target) {
    if (!ResolveWriteTarget(target, final_)) {
        Fail(errno);
        final_ = target;
        return;
    }
    struct stat old {};
    const bool exists = lstat(final_.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        Fail(errno);
        return;
    }
    // Never opened, removed or renamed over: a FIFO would block us, and a
    // device or folder is not the user's text.
    if (exists && !S_ISREG(old.st_mode)) {
        refusal_ = Refusal(final_, old.st_mode);
        return;
    }
    // What the user may not write is not replaced behind their back, although
    // the folder would let a rename do it: an editor or cp would refuse too.
    if (exists && faccessat(AT_FDCWD, final_.c_str(), W_OK, AT_EACCESS) != 0) {
        if (errno == EACCES) {
            refusal_ = final_ + " is read-only: it was left as it is";
        } else {
            Fail(errno);
        }
        return;
    }
    const std::string folder = DirectoryPart(final_);
    const std::string name = FileNamePart(final_);
    if (name.empty()) {
        Fail(EISDIR);
        return;
    }
    RemoveLeftovers(final_);

    const std::string suffix = "-" + VisibleName(name, NameMax(folder));
    int fd = -1;
    std::string pattern;
    // A concurrent leftover sweep may take a fresh file for a leftover before
    // it is locked; it is then gone, and a second one is made.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        pattern = folder + kTemporaryPrefix + "XXXXXX" + suffix;
        fd = mkostemps(pattern.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
        if (fd < 0) {
            Fail(errno);
            return;
        }
        struct stat mine {};
        struct stat named {};
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &mine) != 0 || lstat(pattern.c_str(), &named) != 0 ||
            mine.st_ino != named.st_ino || mine.st_dev != named.st_dev) {
            close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        Fail(EEXIST);
        return;
    }
    temporaryPath_ = pattern;
    slot_ = RemoveOnSignal(temporaryPath_, false);

    if (exists) {
        // What cannot be kept (another user's ownership) is no reason to
        // refuse the user's own replacement.
        (void)TakeOverOwnerAndMode(fd, old);
    } else {
        // mkostemps creates 0600; a new file gets the usual mode under the umask.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    fd_ = fd;
    file_ = OpenCheckedStream(fd, "w+b", &error_, true);
    if (file_ == nullptr) {
        Fail(errno);
        fd_ = -1;
        unlink(temporaryPath_.c_str());
        ForgetOnSignal(slot_);
        slot_ = -1;
        temporaryPath_.clear();
    }
}

ReplacementFile::~ReplacementFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !temporaryPath_.empty()) unlink(temporaryPath_.c_str());
    ForgetOnSignal(slot_);
}

void ReplacementFile::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool ReplacementFile::Commit() {
    if (file_ == nullptr) return false;
    if (const int error = SyncAndClose(file_, fd_); error != 0) Fail(error);
    file_ = nullptr;
    fd_ = -1;
    if (error_ != 0) return false;
    // Something else may have taken the name since we looked.
    struct stat now {};
    if (lstat(final_.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
        refusal_ = Refusal(final_, now.st_mode);
        return false;
    }
    if (std::rename(temporaryPath_.c_str(), final_.c_str()) != 0) {
        Fail(errno);
        return false;
    }
    committed_ = true;
    ForgetOnSignal(slot_);
    slot_ = -1;
    SyncFolder(DirectoryPart(final_));
    return true;
}

std::string ReplacementFile::Cause() const {
    if (!refusal_.empty()) return refusal_;
    if (error_ != 0) return ErrorText(error_);
    if (file_ != nullptr && std::ferror(file_)) return ErrorText(EIO);
    return {};
}

std::string ReplacementFile::NamedCause() const {
    if (!refusal_.empty()) return refusal_;
    const std::string cause = Cause();
    return final_ + ": " + (cause.empty() ? ErrorText(EIO) : cause);
}

bool CopyFileSafely(const std::string& source, const std::string& target, std::string* cause, ProgressSink* events) {
    std::string ignored;
    std::string& why = cause != nullptr ? *cause : ignored;
    const int sourceFd = OpenRegularFile(source, O_RDONLY, why);
    if (sourceFd < 0) return false;
    int readError = 0;
    std::FILE* in = OpenCheckedStream(sourceFd, "rb", &readError);
    if (in == nullptr) {
        why = source + ": " + ErrorText(errno);
        return false;
    }
    ReplacementFile out(target);
    bool ok = out.Ok();
    std::vector<char> buffer(1 << 16);
    for (unsigned blocks = 1; ok; ++blocks) {
        // Every 4 MB: a large Doc file takes a while to copy.
        if (events != nullptr && blocks % 64 == 0) events->LetEventsRun();
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got > 0 && std::fwrite(buffer.data(), 1, got, out.File()) != got) ok = false;
        if (got < buffer.size()) {
            if (std::ferror(in)) ok = false;
            break;
        }
    }
    std::fclose(in);
    if (ok && out.Commit()) return true;
    if (readError != 0) {
        why = source + ": " + ErrorText(readError);
    } else {
        why = out.NamedCause();
    }
    return false;
}

}  // namespace lum2
