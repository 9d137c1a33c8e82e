#include "engine/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "engine/path_functions.h"

namespace lum2 {

ReplacementFile::ReplacementFile(const std::string& target) : target_(target) {
    // Beside the target, so the rename stays on one file system; hidden, so a
    // file manager does not show it while it grows.
    std::string pattern = DirectoryPart(target) + "." + FileNamePart(target) + ".lum2-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    // mkstemp creates 0600; give the file the permissions a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "w+b");
    if (file_ == nullptr) {
        close(fd);
        unlink(pattern.c_str());
        return;
    }
    temporaryPath_ = pattern;
}

ReplacementFile::~ReplacementFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !temporaryPath_.empty()) unlink(temporaryPath_.c_str());
}

bool ReplacementFile::Commit() {
    if (file_ == nullptr) return false;
    bool ok = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) return false;
    if (std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    return true;
}

bool CopyFileSafely(const std::string& source, const std::string& target) {
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (in == nullptr) return false;
    ReplacementFile out(target);
    bool ok = out.Ok();
    std::vector<char> buffer(1 << 16);
    while (ok) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got > 0 && std::fwrite(buffer.data(), 1, got, out.File()) != got) ok = false;
        if (got < buffer.size()) {
            if (std::ferror(in)) ok = false;
            break;
        }
    }
    std::fclose(in);
    return ok && out.Commit();
}

}  // namespace lum2
