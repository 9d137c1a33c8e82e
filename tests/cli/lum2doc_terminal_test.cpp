// lum2doc run at a terminal: the overwrite question is answered by what the
// user types, "always" also stops the next run from asking.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "lum2doc_runner.h"

namespace lum2::test {
namespace {

class Lum2DocTerminalTest : public Lum2DocTest {
protected:
    // Runs "lum2doc run" on a terminal of its own, typing answer at each question;
    // returns everything the terminal showed.
    std::string RunAtTerminal(const std::string& answer) {
        int terminal = -1;
        const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0) {
            setenv("TMPDIR", tmp_.c_str(), 1), setenv("JPILOT_HOME", environmentHome_.c_str(), 1);
            execl(kProgram.c_str(), kProgram.c_str(), "run", "--dir", F("store").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string shown;
        bool typed = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (char buffer[512]; std::chrono::steady_clock::now() < deadline;) {
            pollfd ready{terminal, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            const ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got <= 0) break;  // the program ended and the terminal closed
            shown.append(buffer, static_cast<std::size_t>(got));
            if (!typed && shown.find("? ") != std::string::npos) {
                const std::string line = answer + "\n";
                typed = write(terminal, line.data(), line.size()) == static_cast<ssize_t>(line.size());
            }
        }
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(terminal);
        return shown;
    }
};

TEST_F(Lum2DocTerminalTest, TypedAnswersDecideAndAlwaysStopsTheAsking) {
    std::filesystem::create_directories(F("store"));
    WriteFileText(F("book.txt"), "new text\n");
    ASSERT_EQ(Run("tasks add --dir " + F("store") + " --pc " + F("book.txt") + " --palm " + F("book.pdb") +
                  " --direction pc-to-palm --install 1").exitCode, 0);
    for (const auto& [answer, status] : {std::pair<const char*, const char*>{"s", "User skipped task"},
                                         {"stop", "User stopped conversion"}, {"y", "OK"}, {"a", "OK"}}) {
        WriteFileText(F("book.pdb"), "old");
        const std::string shown = RunAtTerminal(answer);
        EXPECT_NE(shown.find("Palm File already exists! Overwrite file?"), std::string::npos) << answer << shown;
        EXPECT_NE(shown.find(std::string("1\t") + (std::string(status) == "OK" ? " OK\t" : " -\t") + status),
                  std::string::npos) << answer << shown;
        EXPECT_EQ(ReadFileText(F("book.pdb")) == "old", std::string(status) != "OK") << answer;
    }
    // "always" cleared the stored setting: the next run replaces without a question.
    WriteFileText(F("book.pdb"), "old");
    EXPECT_EQ(RunAtTerminal("s").find("Overwrite file?"), std::string::npos);
    EXPECT_NE(ReadFileText(F("book.pdb")), "old");
}

}  // namespace
}  // namespace lum2::test
