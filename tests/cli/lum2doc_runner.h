// Runs the built lum2doc as a user would, in a temporary folder, with the
// HotSync environment pointed away from the real home folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "../engine/temp_dir.h"

namespace lum2::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class Lum2DocTest : public ::testing::Test {
protected:
    // Runs lum2doc with a shell command line of arguments (paths without blanks);
    // standard output goes to stdoutPath when one is given (e.g. /dev/full).
    RunResult Run(const std::string& arguments, const std::string& stdinPath = "/dev/null",
                  const std::string& stdoutPath = "") {
        // No test sees the real home folder's HotSync users.
        const std::string command = "JPILOT_HOME=" + environmentHome_ + " LUM2_HOTSYNC_ROOT=" + hotsyncRoot_ + " " +
                                    std::string(LUM2_BIN_DIR) + "/lum2doc " + arguments + " <" + stdinPath +
                                    " >" + (stdoutPath.empty() ? dir_.File("stdout") : stdoutPath) + " 2>" +
                                    dir_.File("stderr");
        if (!stdoutPath.empty()) WriteFileText(dir_.File("stdout"), "");
        const int status = std::system(command.c_str());
        RunResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadFileText(dir_.File("stdout"));
        result.err = ReadFileText(dir_.File("stderr"));
        return result;
    }

    std::string F(const std::string& name) const { return dir_.File(name); }

    TempDir dir_;
    std::string environmentHome_ = dir_.Path() + "home";
    std::string hotsyncRoot_;
};

}  // namespace lum2::test
