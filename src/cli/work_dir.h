// A private working folder for one lum2doc run: it holds the filter's working
// file and spooled standard input, and is removed when the run ends, also
// when SIGINT, SIGTERM or SIGHUP end it; after a kill, by the next run.
#pragma once

#include <cstdint>
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
    int cleanupSlot_ = -1;
    int lockFd_ = -1;  // held while the run lasts: a later run's sweep leaves the folder alone
};

enum class SpoolResult { kDone, kTooLong, kFailed };

// Copies everything from in to the file at path, but stops with kTooLong as
// soon as in holds more than limit bytes, so an endless input never fills the
// temp folder. On kFailed, *error is the errno of the failure.
SpoolResult SpoolToFile(std::FILE* in, const std::string& path, uint64_t limit, int* error);

}  // namespace lum2::cli
