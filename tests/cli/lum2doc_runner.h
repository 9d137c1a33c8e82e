// Runs the built lum2doc as a user would, in a temporary folder, with the
// HotSync environment pointed away from the real home folder and its own
// temp folder (TMPDIR), so a test sees what a run leaves there.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../engine/temp_dir.h"

namespace lum2::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class Lum2DocTest : public ::testing::Test {
protected:
    Lum2DocTest() { std::filesystem::create_directories(tmp_); }

    // Runs lum2doc with a shell command line of arguments (paths without blanks);
    // standard output goes to stdoutPath when one is given (e.g. /dev/full).
    RunResult Run(const std::string& arguments, const std::string& stdinPath = "/dev/null",
                  const std::string& stdoutPath = "") {
        return RunShell("", arguments, " <" + stdinPath + (stdoutPath.empty() ? "" : " >" + stdoutPath));
    }

    // The same, with shell text before the program (a pipe into it, limits)
    // and after it (redirections, which win over the usual ones).
    RunResult RunShell(const std::string& before, const std::string& arguments, const std::string& after) {
        // No test sees the real home folder's HotSync users.
        const std::string command = before + " JPILOT_HOME=" + environmentHome_ + " LUM2_HOTSYNC_ROOT=" + hotsyncRoot_ +
                                    " TMPDIR=" + tmp_ + " " + std::string(LUM2_BIN_DIR) + "/lum2doc " + arguments +
                                    " >" + dir_.File("stdout") + " 2>" + dir_.File("stderr") + after;
        const int status = std::system(command.c_str());
        RunResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadFileText(dir_.File("stdout"));
        result.err = ReadFileText(dir_.File("stderr"));
        return result;
    }

    // Starts lum2doc without waiting, for a test that signals it.
    pid_t Spawn(const std::vector<std::string>& arguments, const std::string& stdinPath = "/dev/null") {
        const std::string program = std::string(LUM2_BIN_DIR) + "/lum2doc";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            // A test runner started in the background ignores SIGINT; lum2doc must see it.
            signal(SIGINT, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            setenv("TMPDIR", tmp_.c_str(), 1);
            setenv("JPILOT_HOME", environmentHome_.c_str(), 1);
            const int input = open(stdinPath.c_str(), O_RDONLY);
            const int null = open("/dev/null", O_RDWR);
            dup2(input, 0);
            dup2(null, 1);
            dup2(null, 2);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }

    std::string F(const std::string& name) const { return dir_.File(name); }

    TempDir dir_;
    std::string environmentHome_ = dir_.Path() + "home";
    std::string tmp_ = dir_.Path() + "tmp";
    std::string hotsyncRoot_;
};

}  // namespace lum2::test
