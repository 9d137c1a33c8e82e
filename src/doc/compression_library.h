// The compression library, loaded at run time with its four operations
// resolved by name, so that a missing or broken library is a clear error
// rather than a failed start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lum2 {

struct CodecFunctions {
    int32_t (*Compress)(uint8_t*, int32_t, const uint8_t*, int32_t) = nullptr;
    int32_t (*DeCompress)(uint8_t*, int32_t, const uint8_t*, int32_t) = nullptr;
    int32_t (*GetUncompSize)(const uint8_t*, int32_t) = nullptr;
    uint32_t (*CalcPalmTime)() = nullptr;
};

inline constexpr const char* kLibraryFileName = "liblum2.so";

class CompressionLibrary {
public:
    CompressionLibrary() = default;
    ~CompressionLibrary();
    CompressionLibrary(const CompressionLibrary&) = delete;
    CompressionLibrary& operator=(const CompressionLibrary&) = delete;

    // Loads liblum2.so from the first of the folders that holds it. Returns
    // false with Error() set: "Fatal Error: liblum2.so not found" when no
    // folder has it, or a text naming the operation that is missing.
    bool Load(const std::vector<std::string>& folders);
    bool IsLoaded() const { return handle_ != nullptr; }
    const CodecFunctions& Functions() const { return functions_; }
    const std::string& Error() const { return error_; }

    // The folders searched by the programs: the base directory, the folder of
    // the running executable, then the installation's library folder.
    static std::vector<std::string> DefaultFolders(const std::string& baseDirectory);

private:
    void* handle_ = nullptr;
    CodecFunctions functions_;
    std::string error_;
};

}  // namespace lum2
