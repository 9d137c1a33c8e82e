#include "cli/work_dir.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace lum2::cli {

namespace {

bool Pump(std::FILE* in, std::FILE* out) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got > 0 && std::fwrite(buffer.data(), 1, got, out) != got) return false;
        if (got < buffer.size()) return std::ferror(in) == 0;
    }
}

}  // namespace

WorkDir::WorkDir() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "lum2doc.XXXXXX").string();
    if (error) pattern = "/tmp/lum2doc.XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
}

WorkDir::~WorkDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool SpoolToFile(std::FILE* in, const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool ok = Pump(in, out);
    return (std::fclose(out) == 0) && ok;
}

bool CopyFileTo(const std::string& path, std::FILE* out) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    const bool ok = Pump(in, out);
    std::fclose(in);
    return ok && std::fflush(out) == 0;
}

}  // namespace lum2::cli
