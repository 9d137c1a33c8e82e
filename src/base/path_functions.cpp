#include "base/path_functions.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace lum2 {

namespace {

#if defined(_WIN32)
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

std::string FileNamePart(const std::string& path) {
    const auto last = path.find_last_of(kSeparators);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string DirectoryPart(const std::string& path) {
    const auto last = path.find_last_of(kSeparators);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string BaseName(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExtensionPart(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

int FileProbe(const std::string& path) {
    // A NUL would silently shorten the name the system sees, so the probe
    // would answer for a different file.
    if (path.empty() || path.find('\0') != std::string::npos) return -1;

    std::error_code error;
    const std::filesystem::path target(path);
    const auto status = std::filesystem::status(target, error);
    if (status.type() == std::filesystem::file_type::not_found || error == std::errc::not_a_directory ||
        error == std::errc::no_such_file_or_directory) {
        // Missing: a plain "no such file" only where the folder exists; a path
        // through a missing folder (or through a file) is not a valid path.
        const std::string folder = DirectoryPart(path);
        std::error_code folderError;
        return folder.empty() || std::filesystem::is_directory(folder, folderError) ? 0 : -1;
    }
    if (error) return -1;
    if (status.type() != std::filesystem::file_type::regular) return 0;

    const auto modified = std::filesystem::last_write_time(target, error);
    (void)modified;
    return error ? -1 : 1;
}

std::string InFolder(const std::string& folder, const std::string& path) {
    if (path.empty() || folder.empty() || path[0] == PathSeparator()) return path;
    return folder + path;
}

char PathSeparator() {
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

std::string CreatePrivateFolder(const std::string& folder) {
    if (folder.empty()) return "no folder given";
    // Each level from the top, so that a missing parent is private too.
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string level = folder.substr(0, end);
        struct stat info {};
        if (!level.empty() && stat(level.c_str(), &info) != 0) {
            if (errno != ENOENT) return level + ": " + std::strerror(errno);
            if (mkdir(level.c_str(), 0700) == 0) {
                // mkdir's mode passed through the umask; the folder must end up 0700.
                if (chmod(level.c_str(), 0700) != 0) return level + ": " + std::strerror(errno);
            } else if (errno != EEXIST) {
                return level + ": " + std::strerror(errno);
            }
        } else if (!level.empty() && !S_ISDIR(info.st_mode)) {
            return level + ": " + std::strerror(ENOTDIR);
        }
        if (end == std::string::npos) break;
    }
    return "";
}

}  // namespace lum2
