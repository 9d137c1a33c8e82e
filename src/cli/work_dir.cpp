#include "cli/work_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/file_handle.h"
#include "base/safe_file.h"

namespace lum2::cli {

namespace {

constexpr const char kWorkPrefix[] = "lum2doc.";
constexpr std::size_t kWorkNameLength = sizeof kWorkPrefix - 1 + 6;

// A killed run cannot remove its folder, which may hold a copy of a whole
// text: the next run removes those that are ours (by name and owner) and no
// running lum2doc holds locked.
void RemoveStaleWorkFolders(const std::string& parent) {
    DIR* listing = opendir(parent.c_str());
    if (listing == nullptr) return;
    const int parentFd = dirfd(listing);
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() != kWorkNameLength || name.compare(0, sizeof kWorkPrefix - 1, kWorkPrefix) != 0) continue;
        struct stat info {};
        if (fstatat(parentFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != geteuid()) {
            continue;
        }
        const int fd = openat(parentFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(parent + "/" + name, ignored);
        }
        close(fd);
    }
    closedir(listing);
}

}  // namespace

WorkDir::WorkDir() {
    std::error_code error;
    std::string parent = std::filesystem::temp_directory_path(error).string();
    if (error) parent = "/tmp";
    RemoveStaleWorkFolders(parent);
    for (int attempt = 0; attempt < 3 && path_.empty(); ++attempt) {
        std::string pattern = parent + "/" + kWorkPrefix + "XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        lockFd_ = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat locked {};
        struct stat named {};
        // Another run's sweep may have taken the fresh folder before it was locked.
        if (lockFd_ >= 0 && flock(lockFd_, LOCK_EX | LOCK_NB) == 0 && fstat(lockFd_, &locked) == 0 &&
            lstat(pattern.c_str(), &named) == 0 && locked.st_ino == named.st_ino) {
            path_ = pattern + "/";
            cleanupSlot_ = RemoveOnSignal(pattern, true);
        } else if (lockFd_ >= 0) {
            close(lockFd_);
            lockFd_ = -1;
        }
    }
}

WorkDir::~WorkDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    ForgetOnSignal(cleanupSlot_);
    close(lockFd_);
}

SpoolResult SpoolToFile(std::FILE* in, const std::string& path, uint64_t limit, int* error) {
    *error = 0;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = errno;
        return SpoolResult::kFailed;
    }
    FileHandle out(OpenCheckedStream(fd, "wb", error));
    if (!out) {
        *error = errno;
        return SpoolResult::kFailed;
    }
    std::vector<char> buffer(1 << 16);
    uint64_t total = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        total += got;
        if (total > limit) return SpoolResult::kTooLong;
        if (got > 0 && std::fwrite(buffer.data(), 1, got, out.get()) != got) break;
        if (got < buffer.size()) {
            if (std::ferror(in)) *error = errno != 0 ? errno : EIO;
            break;
        }
    }
    if (std::fclose(out.release()) != 0 && *error == 0) *error = errno != 0 ? errno : EIO;
    return *error == 0 ? SpoolResult::kDone : SpoolResult::kFailed;
}

}  // namespace lum2::cli
