// Runs the built lum2doc as a user would, in a temporary folder, with the
// HotSync environment pointed away from the real home folder and its own
// temp folder (TMPDIR), so a test sees what a run leaves there.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace lum2::test {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
    bool operator==(const RunResult&) const = default;
    friend std::ostream& operator<<(std::ostream& o, const RunResult& r) {
        return o << "exit " << r.exitCode << ", out \"" << r.out << "\", err \"" << r.err << '"';
    }
};

class Lum2DocTest : public ::testing::Test {
protected:
    Lum2DocTest() { std::filesystem::create_directories(tmp_); }

    // Runs lum2doc with a shell command line of arguments (paths without blanks).
    // before is shell text ahead of the program (a pipe into it, limits), after
    // holds redirections, which win over the usual ones (e.g. ">/dev/full").
    RunResult Run(const std::string& arguments, const std::string& stdinPath = "/dev/null",
                  const std::string& after = "", const std::string& before = "") {
        const std::string command = before + " JPILOT_HOME=" + environmentHome_ + " LUM2_HOTSYNC_ROOT=" + hotsyncRoot_ +
                                    " TMPDIR=" + tmp_ + " " + kProgram + " " + arguments + " <" + stdinPath + " >" +
                                    F("stdout") + " 2>" + F("stderr") + after;
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileText(F("stdout")), ReadFileText(F("stderr"))};
    }

    // Starts lum2doc without waiting, for a test that signals it.
    pid_t Spawn(std::vector<std::string> arguments, const std::string& stdinPath = "/dev/null") {
        arguments.insert(arguments.begin(), kProgram);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            // A test runner started in the background ignores SIGINT; lum2doc must see it.
            signal(SIGINT, SIG_DFL), signal(SIGTERM, SIG_DFL);
            setenv("TMPDIR", tmp_.c_str(), 1), setenv("JPILOT_HOME", environmentHome_.c_str(), 1);
            dup2(open(stdinPath.c_str(), O_RDONLY), 0), dup2(open("/dev/null", O_RDWR), 1), dup2(1, 2);
            execv(argv[0], argv.data()), _exit(127);
        }
        return pid;
    }

    std::string F(const std::string& name) const { return dir_.File(name); }

    const std::string kProgram = std::string(LUM2_BIN_DIR) + "/lum2doc";
    TempDir dir_;
    std::string environmentHome_ = dir_.Path() + "home";
    std::string tmp_ = dir_.Path() + "tmp";
    std::string hotsyncRoot_;
};

}  // namespace lum2::test
