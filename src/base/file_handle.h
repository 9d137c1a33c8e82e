// An open C stream that closes itself.
#pragma once

#include <cstdio>
#include <memory>

namespace lum2 {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace lum2
