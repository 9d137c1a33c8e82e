// PC to Palm: its statuses, its targets and prompts, and what it leaves behind.
#include <cerrno>
#include <filesystem>


#include "conversion_fixture.h"
#include "doc/doc_builder.h"
#include "base/safe_file.h"

namespace lum2::test {
namespace {

namespace fs = std::filesystem;
const std::string kGeneric = "Error: Could not open Palm or PC File";
using Conversion = Outcome (*)(TaskRecord& task, ConversionContext& context);

class PcToPalmTest : public ConversionTest {
protected:
    void SetUp() override { WriteFileText(F("book.txt"), "Once upon a time\r\n\tthere was a Palm.\r\n"); }
    TaskRecord Run(const std::string& pc, const std::string& palm, const std::string& options = "000000",
                   int category = 0) {
        TaskRecord task = Task(pc, palm);
        task.options = options;
        task.category = static_cast<int16_t>(category);
        ConvertPcToPalm(task, context_);
        return task;
    }
    bool NoWorkingFiles() const { return !fs::exists(F("lumdata.tmp")) && !fs::exists(F("lumfilter.tmp")); }
};

// Each conversion checks the task in this order before it asks or opens
// anything; with both names missing, it names the one it looks at first.
TEST_F(PcToPalmTest, EachConversionChecksTheTaskFirst) {
    const std::string pc = F("book.txt"), missing = F("missing.txt"), palm = F("book.pdb");
    const struct { Conversion convert; bool checked; std::string pc, palm, status; } cases[] = {
        {ConvertPcToPalm, false, pc, palm, "Error: no source user (or custom) selected"},
        {ConvertPcToPalm, true, "  ", "", "Error: no PC File selected"},
        {ConvertPcToPalm, true, pc, F("folder/"), "Error: no Palm File selected"},
        {ConvertPcToPalm, true, missing, palm, "Error: PC File does not exist"},
        {ConvertPalmToPc, false, pc, palm, "Error: no source user (or custom) selected"},
        {ConvertPalmToPc, true, "", "", "Error: no Palm File selected"},
        {ConvertPalmToPc, true, F("folder/"), palm, "Error: no PC File selected"},
        {ConvertPalmToPc, true, pc, palm, "Error: Palm File does not exist"},
        {SyncTask, false, pc, palm, "Error: no user (or custom) selected"},
        {SyncTask, true, "", "", "Error: no PC File selected"},
        {SyncTask, true, pc, "", "Error: no Palm File selected"},
        {SyncTask, true, missing, palm, "Error: PC File and Palm File does not exist"}};
    for (const auto& c : cases) {
        host_.SetChecked(c.checked ? std::vector<int>{Custom()} : std::vector<int>{});
        TaskRecord task = Task(c.pc, c.palm);
        EXPECT_EQ(c.convert(task, context_).code, OutcomeCode::kRefused) << c.status;
        EXPECT_EQ(task.status, c.status);
    }
    EXPECT_TRUE(host_.prompts.empty() && host_.display.empty() && host_.tray.empty());
    EXPECT_FALSE(fs::exists(palm));
}

TEST_F(PcToPalmTest, FailuresWhileBuildingLeaveNoFile) {
    host_.SetChecked({0});
    WriteFileText(F("crs.txt"), "\r\r\r");
    WriteFileText(F("empty.txt"), "");
    // 8,193 TABs of 32,767 spaces pass 65,534 records of 4,096 bytes by 12 KB.
    WriteFileText(F("tabs.txt"), std::string(8193, '\t'));
    const struct { const char *pc, *options; int category, tabs; std::string status; std::vector<bool> display; }
        cases[] = {
        // A category the file cannot hold is refused before the building starts.
        {"book.txt", "000000", -1, 4, kGeneric, {false}},
        {"book.txt", "000000", 256, 4, kGeneric, {false}},
        // Only carriage returns filter to nothing; an empty file with Raw reaches the builder, without
        // Raw the filters refuse it. A filter stops at the largest text a document holds.
        {"crs.txt", "000000", 0, 4, "Error: PC File is empty", {true, false}},
        {"empty.txt", "000001", 0, 4, "Error: PC File is empty", {true, false}},
        {"empty.txt", "000000", 0, 4, kGeneric, {true, false}},
        {"tabs.txt", "010000", 0, 32767, kStatusTextTooLong, {true, false}}};
    for (const auto& c : cases) {
        TaskRecord task = Task(F(c.pc), "book.pdb");
        task.options = c.options, task.category = static_cast<int16_t>(c.category);
        task.tabspace = static_cast<int16_t>(c.tabs);
        ConvertPcToPalm(task, context_);
        EXPECT_EQ(task.status, c.status) << c.pc << c.category;
        EXPECT_EQ(task.pcfiletime, 0);
        EXPECT_EQ(host_.display, c.display) << c.pc << c.category;
        EXPECT_EQ(host_.tray.back(), (std::pair<int, std::string>{1, ""})) << c.pc << c.category;
        host_.display.clear();
    }
    EXPECT_FALSE(fs::exists(UserFile("Ann", "book.pdb")));
    EXPECT_TRUE(NoWorkingFiles());
}

TEST_F(PcToPalmTest, DistributesToEveryCheckedTargetAndQueuesTheUsersInstall) {
    host_.SetChecked({0, 2, Custom()});
    host_.SetAskBeforeOverwrite(false);
    // The custom target is the path as typed, trailing blanks trimmed, written through its link.
    fs::create_directories(F("out"));
    WriteFileText(F("real.pdb"), "old");
    fs::create_symlink("../real.pdb", F("out/my.book.pdb"));
    const TaskRecord task = Run(F("book.txt"), F("out/my.book.pdb") + "   ", "1", 17);
    ASSERT_EQ(task.status, "OK");
    const auto ann = ReadFileBytes(UserFile("Ann", "my.book.pdb"));
    EXPECT_EQ(std::string(ann.begin(), ann.begin() + 8), std::string("my.book\0", 8));
    EXPECT_EQ(ann[82], 0x41);  // category 17 keeps its low four bits
    EXPECT_EQ(ReadFileBytes(UserFile("Cid", "my.book.pdb")), ann);
    EXPECT_EQ(ReadFileBytes(F("real.pdb")), ann);
    EXPECT_TRUE(fs::is_symlink(F("out/my.book.pdb")));
    EXPECT_FALSE(fs::exists(UserFile("Bob", "my.book.pdb")));
    EXPECT_EQ(directory_.installed, (decltype(directory_.installed){{"Ann", UserFile("Ann", "my.book.pdb")},
                                                                     {"Cid", UserFile("Cid", "my.book.pdb")}}));
    EXPECT_EQ(task.pcfiletime, Time(F("book.txt")));
    EXPECT_EQ(task.palmfiletime, Time(UserFile("Ann", "my.book.pdb")));
    // Working files are gone; the progress display came and went; the tray ends on 1.
    EXPECT_TRUE(NoWorkingFiles());
    EXPECT_EQ(host_.display, (std::vector<bool>{true, false}));
    EXPECT_EQ(host_.tray.back(), (std::pair<int, std::string>{1, ""}));
}

TEST_F(PcToPalmTest, OverwritePromptPerTarget) {
    const auto ann = UserFile("Ann", "book.pdb"), bob = UserFile("Bob", "book.pdb");
    const struct { std::vector<int> checked; std::deque<int> answers; bool doNotAskAgain, suppressed;
                   std::string status; std::size_t prompts; bool annNew, bobNew; } cases[] = {
        // Skip for both: nothing left to write. Skip for the first, Yes for the second: one target remains.
        {{0, 1}, {kAnswerSkip, kAnswerSkip}, false, false, "User skipped distribution", 2, false, false},
        {{0, 1}, {kAnswerSkip, kAnswerYes}, false, false, "OK", 2, false, true},
        // "do not ask again" ticked while answering Yes for the first target: the
        // setting is read anew for the second, which is replaced without a prompt.
        {{0, 1}, {kAnswerYes}, true, false, "OK", 1, true, true},
        {{0, 1}, {}, false, true, "OK", 0, true, true},
        // Skip with a single target skips the task (Stop is lum2doc run's to show).
        {{0}, {kAnswerSkip}, false, false, "User skipped task", 1, false, false}};
    for (const auto& c : cases) {
        WriteFileText(ann, "old Ann");
        WriteFileText(bob, "old Bob");
        host_.SetChecked(c.checked);
        host_.SetAskBeforeOverwrite(true);
        host_.overwritePromptSuppressed = c.suppressed;
        host_.onPrompt = [&] { if (c.doNotAskAgain) host_.ClearAskBeforeOverwrite(); };
        host_.answers = c.answers;
        host_.prompts.clear();
        host_.display.clear();
        const TaskRecord task = Run(F("book.txt"), "book.pdb");
        EXPECT_EQ(task.status, c.status);
        EXPECT_EQ(host_.prompts.size(), c.prompts) << c.status;
        EXPECT_EQ(ReadFileText(ann) != "old Ann", c.annNew) << c.status;
        EXPECT_EQ(ReadFileText(bob) != "old Bob", c.bobNew) << c.status;
        EXPECT_EQ(host_.display.empty(), c.status != "OK") << c.status;
        EXPECT_TRUE(c.status != "OK" || task.palmfiletime == Time(c.annNew ? ann : bob)) << c.prompts;
    }
    EXPECT_EQ(host_.prompts[0].question, "Palm File already exists! Overwrite file?");
    EXPECT_EQ(host_.prompts[0].path, ann);
    EXPECT_TRUE(NoWorkingFiles());
}

TEST_F(PcToPalmTest, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsWritten) {
    const std::string text = ReadFileText(F("book.txt"));
    fs::create_symlink("book.txt", F("link.txt"));
    fs::create_hard_link(F("book.txt"), UserFile("Bob", "book.txt"));
    // The custom path through a link; a second user's copy that is the text; that copy as a Palm file.
    const struct { Conversion convert; std::vector<int> checked; std::string pc, palm; } cases[] = {
        {ConvertPcToPalm, {Custom()}, F("book.txt"), F("link.txt")},
        {ConvertPcToPalm, {0, 1}, F("book.txt"), "book.txt"},
        {ConvertPalmToPc, {1}, F("link.txt"), "book.txt"}};
    host_.SetAskBeforeOverwrite(true);
    for (const auto& c : cases) {
        host_.SetChecked(c.checked);
        TaskRecord task = Task(c.pc, c.palm);
        EXPECT_EQ(c.convert(task, context_).code, OutcomeCode::kRefused) << c.palm;
        EXPECT_EQ(task.status, kStatusSameFile) << c.palm;
        EXPECT_EQ(ReadFileText(F("book.txt")), text) << c.palm;
    }
    EXPECT_TRUE(host_.prompts.empty() && host_.display.empty());
    EXPECT_FALSE(fs::exists(UserFile("Ann", "book.txt")));
    EXPECT_TRUE(NoWorkingFiles());
}

TEST_F(PcToPalmTest, WorkingFilesNeverGoThroughAPlantedLinkAndWhatCannotGoIsTheCause) {
    // Both are made as working files (new, private, never through a link; their own tests
    // say how): CR to LF filters the text into one before the Doc is built in the other.
    host_.SetChecked({Custom()});
    for (const char* victim : {"victim1", "victim2"}) WriteFileText(F(victim), "keep");
    fs::create_symlink(F("victim1"), F("lumfilter.tmp"));
    fs::create_symlink(F("victim2"), F("lumdata.tmp"));
    EXPECT_EQ(Run(F("book.txt"), F("book.pdb"), "100100").status, "OK");
    EXPECT_EQ(ReadFileText(F("victim1")) + ReadFileText(F("victim2")), "keepkeep");
    EXPECT_TRUE(NoWorkingFiles());

    // What cannot be removed from the name fails the task with the generic status and says why.
    fs::create_directory(F("lumdata.tmp"));
    host_.SetAskBeforeOverwrite(false);
    EXPECT_EQ(Run(F("book.txt"), F("book.pdb")).status, kGeneric);
    EXPECT_EQ(host_.causes.back(), F("lumdata.tmp") + " is a folder, not a regular file: it was left as it is");
    EXPECT_TRUE(fs::is_directory(F("lumdata.tmp")));
}

TEST_F(PcToPalmTest, RelativePathsAreTakenInTheBaseFolderAndTheDocumentIsAlwaysNamed) {
    host_.SetChecked({Custom()});
    ASSERT_NE(fs::current_path().string() + "/", dir_.Path());
    // A Palm file named ".pdb" takes the PC file's name.
    EXPECT_EQ(Run("book.txt", ".pdb").status, "OK");
    EXPECT_EQ(ReadFileText(F(".pdb")).substr(0, 5), std::string("book\0", 5));
    TaskRecord back = Task("back.txt", ".pdb", kDirectionPalmToPc);
    ConvertPalmToPc(back, context_);
    EXPECT_EQ(back.status, "OK");
    EXPECT_EQ(ReadFileText(F("back.txt")), "Once upon a time\n\tthere was a Palm.\n");
    EXPECT_FALSE(fs::exists("back.txt") || fs::exists(".pdb"));
}

TEST_F(PcToPalmTest, FailedDistributionKeepsTheOtherFilesAndTheTimes) {
    WriteFileText(UserFile("Cid", "book.pdb"), "old Cid");
    fs::remove_all(dir_.Path() + "palm/Bob");
    host_.SetChecked({0, 1, 2});
    host_.SetAskBeforeOverwrite(false);
    TaskRecord task = Task(F("book.txt"), "book.pdb");
    task.pcfiletime = 123;
    task.palmfiletime = 456;
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, kGeneric);
    EXPECT_TRUE(fs::exists(UserFile("Ann", "book.pdb")));             // served before the fault
    EXPECT_EQ(ReadFileText(UserFile("Cid", "book.pdb")), "old Cid");  // never half-written
    EXPECT_TRUE(task.pcfiletime == 123 && task.palmfiletime == 456);
    EXPECT_TRUE(NoWorkingFiles());
    // The cause is the replacement's own (its tests walk every kind of target it refuses).
    EXPECT_EQ(host_.causes, std::vector<std::string>{UserFile("Bob", "book.pdb") + ": " + ErrorText(ENOENT)});
}

TEST_F(PcToPalmTest, TrayFramesAlternateAboutEveryEighthAndRawKeepsThePcFile) {
    host_.SetChecked({Custom()});
    WriteFileText(F("long.txt"), std::string(16 * 4096, 'x'));
    // Started with standard input closed, the working file may be given descriptor 0.
    const int input = dup(0);
    close(0);
    const std::string status = Run(F("long.txt"), F("long.pdb"), "000001").status;
    dup2(input, 0);
    close(input);
    ASSERT_EQ(status, "OK");
    EXPECT_TRUE(fs::exists(F("long.txt")));
    // One frame a record, then the resting one.
    std::string frames;
    for (const auto& [image, tip] : host_.tray) frames += std::to_string(image);
    EXPECT_EQ(frames, "12111211121112111");
}

}  // namespace
}  // namespace lum2::test
