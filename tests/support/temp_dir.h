// A fresh folder under the system's temp folder, removed with its contents
// when the test ends. Path() ends with a separator, like the base directory.
// Also what tests use to read, write and look at files.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lum2::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileText(const std::string& path);

// What lstat says of path (the link itself, not what it names); all zero when there is nothing.
struct stat Lstat(const std::string& path);
// The permission bits of what path names, links followed; 0 when there is nothing.
unsigned ModeOf(const std::string& path);
// The names in folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);
// The replacement files' temporary files in folder (names with "lum2-" in
// them), left over or still being written.
long TemporaryFilesIn(const std::string& folder);

}  // namespace lum2::test
