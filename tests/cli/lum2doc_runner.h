// Runs the built lum2doc as a user would, in a temporary folder, with the
// HotSync environment pointed away from the real home folder and its own
// temp folder (TMPDIR), so a test sees what a run leaves there. Every run is
// a child that ends with the test and within the children's time limit.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "process.h"
#include "temp_dir.h"

namespace lum2::test {

struct RunResult {
    int exitCode = -1;  // -1: ended by a signal, or killed for running too long
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
    // before is shell text ahead of the program (limits), after holds
    // redirections, which win over the usual ones (e.g. ">/dev/full").
    // peakKilobytes_ gets the run's largest resident size.
    RunResult Run(const std::string& arguments, const std::string& stdinPath = "/dev/null",
                  const std::string& after = "", const std::string& before = "") {
        // exec: the shell becomes lum2doc, which so ends with the test.
        const std::string command = before + " exec " + kProgram + " " + arguments + " <" + stdinPath + " >" +
                                    F("stdout") + " 2>" + F("stderr") + after;
        rusage usage{};
        const int status = WaitForChild(StartChild([&] {
            setenv("JPILOT_HOME", environmentHome_.c_str(), 1), setenv("LUM2_HOTSYNC_ROOT", hotsyncRoot_.c_str(), 1);
            setenv("TMPDIR", tmp_.c_str(), 1);
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            return 127;
        }), kChildTimeLimit, &usage);
        peakKilobytes_ = usage.ru_maxrss;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileText(F("stdout")), ReadFileText(F("stderr"))};
    }

    std::string F(const std::string& name) const { return dir_.File(name); }

    const std::string kProgram = std::string(LUM2_BIN_DIR) + "/lum2doc";
    TempDir dir_;
    std::string environmentHome_ = dir_.Path() + "home";
    std::string tmp_ = dir_.Path() + "tmp";
    std::string hotsyncRoot_;
    long peakKilobytes_ = 0;
};

}  // namespace lum2::test
