// lum2doc against slips of the command line and files that lie: the same file
// in and out, a file the user may not write, a nameless document, and
// documents whose record list claims more than any text record holds.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lum2doc_runner.h"

namespace lum2::test {
namespace {

namespace fs = std::filesystem;

const std::string kSameFile = "Error: PC File and Palm File are the same file\n";

TEST_F(Lum2DocTest, AnOutputThatIsTheInputIsRefusedAndTheFileKept) {
    WriteFileText(F("a.txt"), "hello\n");
    ASSERT_EQ(Run("encode " + F("a.txt") + " " + F("a.pdb")).exitCode, 0);
    const std::string doc = ReadFileText(F("a.pdb"));
    fs::create_symlink("a.txt", F("l.txt"));
    fs::create_hard_link(F("a.txt"), F("h.txt"));
    // Arguments, standard input and output redirected onto the file.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"encode " + F("a.txt") + " " + F("a.txt"), ""}, {"encode " + F("a.txt") + " " + F("l.txt"), ""},
        {"encode " + F("a.txt") + " " + F("h.txt"), ""}, {"encode " + F("a.txt") + " -", " >>" + F("a.txt")},
        {"encode " + F("a.txt") + " /dev/stdout", " >>" + F("a.txt")},
        {"decode " + F("a.pdb") + " " + F("a.pdb"), ""}, {"decode " + F("a.pdb") + " -", " >>" + F("a.pdb")}};
    for (const auto& [command, redirection] : cases) {
        EXPECT_EQ(Run(command, "/dev/null", redirection), (RunResult{1, "", kSameFile})) << command << redirection;
    }
    EXPECT_EQ(Run("encode - " + F("a.txt"), F("a.txt")), (RunResult{1, "", kSameFile}));
    EXPECT_EQ(ReadFileText(F("a.txt")), "hello\n");
    EXPECT_EQ(ReadFileText(F("a.pdb")), doc);
    EXPECT_TRUE(fs::is_empty(tmp_));
}

TEST_F(Lum2DocTest, AReadOnlyOutputIsKeptForAUserAndADocumentIsNeverNameless) {
    WriteFileText(F("story.txt"), "text\n");
    WriteFileText(F("old.pdb"), "old");
    chmod(F("old.pdb").c_str(), 0444);
    const RunResult readOnly = Run("encode " + F("story.txt") + " " + F("old.pdb"));
    if (geteuid() == 0) {
        EXPECT_EQ(readOnly, (RunResult{0, "", ""}));  // root writes any file, as cp does
    } else {
        EXPECT_EQ(readOnly, (RunResult{1, "", "Error: Could not open Palm or PC File: " + F("old.pdb") +
                                                  " is read-only: it was left as it is\n"}));
        EXPECT_EQ(ReadFileText(F("old.pdb")), "old");
    }
    // A Palm file called ".pdb" is named after the text; with neither name, "Untitled".
    ASSERT_EQ(Run("encode " + F("story.txt") + " " + F(".pdb")).exitCode, 0);
    EXPECT_NE(Run("info " + F(".pdb")).out.find("name: story\n"), std::string::npos);
    EXPECT_EQ(Run("encode - -", F("story.txt")).out.substr(0, 9), std::string("Untitled\0", 9));
}

TEST_F(Lum2DocTest, ClaimedRecordSizesAreCheckedBeforeAnythingIsAllocated) {
    // A sound header whose only text record runs to the end of a sparse 4 GB file.
    std::vector<uint8_t> head(78 + 16 + 2 + 16, 0);
    std::memcpy(head.data(), "huge", 4);
    std::memcpy(head.data() + 60, "TEXtREAd", 8);
    head[77] = 2;  // two records
    const auto entry = [&](std::size_t at, uint32_t offset) {
        for (int k = 0; k < 4; ++k) head[at + k] = static_cast<uint8_t>(offset >> (24 - 8 * k));
    };
    entry(78, 96), entry(86, 112);
    head[96 + 1] = 1, head[96 + 9] = 1, head[96 + 11] = 0x10;  // DocInfo: plain, one record of 4,096
    WriteFileBytes(F("huge.pdb"), head);
    ASSERT_EQ(truncate(F("huge.pdb").c_str(), int64_t{4} << 30), 0);

    std::vector<std::string> commands = {"decode " + F("huge.pdb") + " " + F("out"), "info " + F("huge.pdb")};
    const std::string docs = std::string(LUM2_TEST_DATA) + "/docs/";
    for (const auto& file : fs::directory_iterator(docs)) {
        if (file.path().extension() == ".pdb") commands.push_back("decode " + file.path().string() + " -");
    }
    long peak = 0;
    for (const std::string& command : commands) Run(command), peak = std::max(peak, peakKilobytes_);
    EXPECT_EQ(Run(commands[0]), (RunResult{1, "", "Error: Palm File corrupt\n"}));
    EXPECT_EQ(Run(commands[1]).out.find("text: unknown (the text records could not be read)\n") != std::string::npos,
              true);
#if !defined(__SANITIZE_ADDRESS__)
    // Sanitizers keep shadow memory of their own; the bound is for the program.
    EXPECT_LT(peak, 16 * 1024);
#endif
    EXPECT_GT(peak, 0);
    RecordProperty("peak_kilobytes", static_cast<int>(peak));
}

}  // namespace
}  // namespace lum2::test
