#include "doc/compression_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

namespace lum2 {

namespace {

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string ExecutableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return WithSeparator(exe.parent_path().string());
}

}  // namespace

CompressionLibrary::~CompressionLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

std::vector<std::string> CompressionLibrary::DefaultFolders(const std::string& baseDirectory) {
    std::vector<std::string> folders;
    if (!baseDirectory.empty()) folders.push_back(WithSeparator(baseDirectory));
    const std::string beside = ExecutableFolder();
    if (!beside.empty()) folders.push_back(beside);
#ifdef LUM2_RELATIVE_LIBDIR
    // An installed program finds the library from its own place, wherever
    // the installation was put.
    if (!beside.empty()) folders.push_back(WithSeparator(beside + "../" + LUM2_RELATIVE_LIBDIR));
#endif
#ifdef LUM2_INSTALL_LIBDIR
    folders.push_back(WithSeparator(LUM2_INSTALL_LIBDIR));
#endif
    return folders;
}

bool CompressionLibrary::Load(const std::vector<std::string>& folders) {
    error_.clear();
    for (const auto& folder : folders) {
        const std::string candidate = WithSeparator(folder) + kLibraryFileName;
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(candidate, ignored)) continue;

        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            error_ = "Fatal Error: " + candidate + " could not be loaded" +
                     (reason != nullptr ? std::string(": ") + reason : std::string());
            return false;
        }

        CodecFunctions functions;
        struct Symbol {
            const char* name;
            void** slot;
        };
        const Symbol symbols[] = {
            {"Compress", reinterpret_cast<void**>(&functions.Compress)},
            {"DeCompress", reinterpret_cast<void**>(&functions.DeCompress)},
            {"GetUncompSize", reinterpret_cast<void**>(&functions.GetUncompSize)},
            {"CalcPalmTime", reinterpret_cast<void**>(&functions.CalcPalmTime)},
        };
        for (const auto& symbol : symbols) {
            *symbol.slot = dlsym(handle, symbol.name);
            if (*symbol.slot == nullptr) {
                error_ = std::string("Fatal Error: ") + kLibraryFileName + " lacks the operation " + symbol.name +
                         " (" + candidate + ")";
                dlclose(handle);
                return false;
            }
        }
        if (handle_ != nullptr) dlclose(handle_);
        handle_ = handle;
        functions_ = functions;
        return true;
    }
    error_ = std::string("Fatal Error: ") + kLibraryFileName + " not found";
    return false;
}

}  // namespace lum2
