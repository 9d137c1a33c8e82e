// Replacing a file only by a complete new one: the new content is written to
// a temporary file beside the target and renamed over it when complete, so a
// failed or stopped write leaves the old file as it was.
#pragma once

#include <cstdio>
#include <string>

namespace lum2 {

class ReplacementFile {
public:
    // Creates the temporary file beside target; Ok() tells whether it worked.
    explicit ReplacementFile(const std::string& target);
    // Removes the temporary file unless Commit succeeded.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool Ok() const { return file_ != nullptr; }
    std::FILE* File() const { return file_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }
    // Flushes, closes and renames over the target; false (old file kept) on failure.
    bool Commit();

private:
    std::string target_;
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

// Copies source to target through a ReplacementFile; false leaves target as it was.
bool CopyFileSafely(const std::string& source, const std::string& target);

}  // namespace lum2
