// A private working folder for one lum2doc run: it holds the filter's working
// file and spooled standard input, and is removed when the run ends.
#pragma once

#include <cstdio>
#include <string>

namespace lum2::cli {

class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    bool Ok() const { return !path_.empty(); }
    // Ends with a separator, like the program's base directory.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Copies everything from in to the file at path; false on a read or write fault.
bool SpoolToFile(std::FILE* in, const std::string& path);
// Copies the file at path to out; false on a read or write fault.
bool CopyFileTo(const std::string& path, std::FILE* out);

}  // namespace lum2::cli
