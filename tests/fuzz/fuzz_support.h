// Helpers shared by the fuzz targets that go through files: one scratch
// folder per process (in memory where the system has one), whole-file reads
// and writes, and the statically linked codec.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <string_view>

#include "doc/compression_library.h"
#include "lum2/lum2.h"

namespace lum2::fuzz {

// Ends with a separator. Removed when the process ends.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::filesystem::path base = "/dev/shm";
        std::error_code error;
        if (!std::filesystem::is_directory(base, error) || access(base.c_str(), W_OK) != 0) {
            base = std::filesystem::temp_directory_path();
        }
        std::string pattern = (base / "lum2fuzz.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        static const std::string removed = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
        return pattern + "/";
    }();
    return folder;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

inline std::string ReadFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::abort();
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

inline CodecFunctions Codec() {
    CodecFunctions codec;
    codec.Compress = &::Compress;
    codec.DeCompress = &::DeCompress;
    codec.GetUncompSize = &::GetUncompSize;
    codec.CalcPalmTime = &::CalcPalmTime;
    return codec;
}

// An input that asks for a text to be fed in chunks: data[0] says how many
// chunk sizes follow (1 to 8), each byte one size, 1 to 200 or a multiple of
// large beyond; the rest (size > 0) is the text.
struct Chunking {
    std::vector<std::size_t> sizes;
    std::string_view text;
};
inline Chunking ChunkingOf(const uint8_t* data, std::size_t size, std::size_t large) {
    Chunking chunking;
    const std::size_t count = std::min<std::size_t>(data[0] % 8 + 1, size - 1);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned b = data[1 + i];
        chunking.sizes.push_back(b < 200 ? b + 1 : (b - 199) * large);
    }
    if (chunking.sizes.empty()) chunking.sizes.push_back(1);
    chunking.text = std::string_view(reinterpret_cast<const char*>(data) + 1 + count, size - 1 - count);
    return chunking;
}

// Prints what differs and stops, so libFuzzer keeps the input.
inline void Mismatch(const char* what, std::string_view expected, std::string_view got) {
    std::size_t at = 0;
    while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
    std::fprintf(stderr, "%s: expected %zu bytes, got %zu, first difference at %zu\n", what,
                 expected.size(), got.size(), at);
    std::abort();
}

}  // namespace lum2::fuzz
