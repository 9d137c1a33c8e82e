// PC to Palm: its statuses, its targets and prompts, and what it leaves behind.
#include <filesystem>

#include <sys/stat.h>

#include "conversion_fixture.h"
#include "engine/file_times.h"

namespace lum2::test {
namespace {

class PcToPalmTest : public ConversionTest {
protected:
    void SetUp() override { WriteFileText(F("book.txt"), "Once upon a time\r\n\tthere was a Palm.\r\n"); }
};

TEST_F(PcToPalmTest, ChecksBeforeAnythingIsWritten) {
    TaskRecord task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: no source user (or custom) selected");

    host_.SetChecked({0});
    task = Task(F("") + "  ", "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: no PC File selected");
    task = Task(F("book.txt"), "/some/folder/");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: no Palm File selected");
    task = Task(F("missing.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: PC File does not exist");

    // None of these touched the display, the tray or a file.
    EXPECT_TRUE(host_.display.empty());
    EXPECT_TRUE(host_.tray.empty());
    EXPECT_FALSE(std::filesystem::exists(UserFile("Ann", "book.pdb")));
    EXPECT_EQ(task.pcfiletime, 0);
}

TEST_F(PcToPalmTest, CustomTargetGetsExactlyThePathAndTimesAreStored) {
    host_.SetChecked({Custom()});
    TaskRecord task = Task(F("book.txt"), F("out/my.book.pdb") + "   ");
    std::filesystem::create_directories(F("out"));
    ConvertPcToPalm(task, context_);
    ASSERT_EQ(task.status, "OK");
    const auto doc = ReadFileBytes(F("out/my.book.pdb"));
    EXPECT_EQ(std::string(doc.begin(), doc.begin() + 8), std::string("my.book\0", 8));
    EXPECT_TRUE(directory_.installed.empty());

    double pcTime = 0, palmTime = 0;
    ASSERT_TRUE(ModificationDate(F("book.txt"), pcTime));
    ASSERT_TRUE(ModificationDate(F("out/my.book.pdb"), palmTime));
    EXPECT_EQ(task.pcfiletime, pcTime);
    EXPECT_EQ(task.palmfiletime, palmTime);
    // Working files are gone; the progress display came and went; the tray ends on 1.
    EXPECT_FALSE(std::filesystem::exists(F("lumdata.tmp")));
    EXPECT_FALSE(std::filesystem::exists(F("lumfilter.tmp")));
    EXPECT_EQ(host_.display, (std::vector<bool>{true, false}));
    EXPECT_EQ(host_.tray.back(), (std::pair<int, std::string>{1, ""}));
}

TEST_F(PcToPalmTest, TargetsBehindLinksAreWrittenAndSpecialFilesRefused) {
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    std::filesystem::create_directories(F("real"));
    WriteFileText(F("real/book.pdb"), "old");
    std::filesystem::create_symlink("real/book.pdb", F("book.pdb"));
    TaskRecord task = Task(F("book.txt"), F("book.pdb"));
    ConvertPcToPalm(task, context_);
    ASSERT_EQ(task.status, "OK");
    EXPECT_TRUE(std::filesystem::is_symlink(F("book.pdb")));
    const auto doc = ReadFileBytes(F("real/book.pdb"));
    EXPECT_EQ(std::string(doc.begin(), doc.begin() + 5), std::string("book\0", 5));

    ASSERT_EQ(mkfifo(F("pipe.pdb").c_str(), 0644), 0);
    task = Task(F("book.txt"), F("pipe.pdb"));
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");
    EXPECT_TRUE(std::filesystem::is_fifo(F("pipe.pdb")));
    ASSERT_EQ(host_.causes.size(), 1u);
    EXPECT_EQ(host_.causes[0], F("pipe.pdb") + " is a named pipe (FIFO), not a regular file: it was left as it is");
}

TEST_F(PcToPalmTest, DistributesToEveryCheckedUserAndQueuesTheirInstall) {
    host_.SetChecked({0, 2, Custom()});
    TaskRecord task = Task(F("book.txt"), F("custom.pdb"));
    task.options = "1";
    task.category = 17;
    ConvertPcToPalm(task, context_);
    ASSERT_EQ(task.status, "OK");
    const auto ann = ReadFileBytes(UserFile("Ann", "custom.pdb"));
    EXPECT_EQ(ReadFileBytes(UserFile("Cid", "custom.pdb")), ann);
    EXPECT_EQ(ReadFileBytes(F("custom.pdb")), ann);
    EXPECT_FALSE(std::filesystem::exists(UserFile("Bob", "custom.pdb")));
    EXPECT_EQ(ann[82], 0x41);  // category 17 keeps its low four bits
    const std::vector<std::pair<std::string, std::string>> queued = {
        {"Ann", UserFile("Ann", "custom.pdb")}, {"Cid", UserFile("Cid", "custom.pdb")}};
    EXPECT_EQ(directory_.installed, queued);
    double annTime = 0;
    ModificationDate(UserFile("Ann", "custom.pdb"), annTime);
    EXPECT_EQ(task.palmfiletime, annTime);
}

TEST_F(PcToPalmTest, OverwritePromptPerTarget) {
    WriteFileText(UserFile("Ann", "book.pdb"), "old Ann");
    WriteFileText(UserFile("Bob", "book.pdb"), "old Bob");
    host_.SetChecked({0, 1});

    // Skip for the first of two, Yes for the second: one target remains.
    host_.answers = {kAnswerSkip, kAnswerYes};
    TaskRecord task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "OK");
    EXPECT_EQ(ReadFileText(UserFile("Ann", "book.pdb")), "old Ann");
    EXPECT_NE(ReadFileText(UserFile("Bob", "book.pdb")), "old Bob");
    ASSERT_EQ(host_.prompts.size(), 2u);
    EXPECT_EQ(host_.prompts[0].question, "Palm File already exists! Overwrite file?");
    EXPECT_EQ(host_.prompts[0].path, UserFile("Ann", "book.pdb"));
    double bobTime = 0;
    ModificationDate(UserFile("Bob", "book.pdb"), bobTime);
    EXPECT_EQ(task.palmfiletime, bobTime);

    // Skip for both: nothing left to write.
    host_.answers = {kAnswerSkip, kAnswerSkip};
    task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "User skipped distribution");

    // Skip with a single target skips the task, before any working file exists.
    host_.SetChecked({0});
    host_.answers = {kAnswerSkip};
    host_.display.clear();
    task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "User skipped task");
    EXPECT_TRUE(host_.display.empty());

    // Stop: the run is asked to stop and nothing is written.
    host_.answers = {kAnswerStop};
    task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "User stopped conversion");
    EXPECT_TRUE(host_.stopRequested);
    EXPECT_EQ(ReadFileText(UserFile("Ann", "book.pdb")), "old Ann");
    EXPECT_FALSE(std::filesystem::exists(F("lumdata.tmp")));
}

TEST_F(PcToPalmTest, NoPromptWhenNotAskingOrSuppressedAndDoNotAskAgainHolds) {
    WriteFileText(UserFile("Ann", "book.pdb"), "old");
    WriteFileText(UserFile("Bob", "book.pdb"), "old");
    host_.SetChecked({0, 1});
    // "do not ask again" ticked while answering Yes for the first target: the
    // setting is read anew for the second, which is replaced without a prompt.
    host_.onPrompt = [this] { host_.ClearAskBeforeOverwrite(); };
    host_.answers = {kAnswerYes};
    TaskRecord task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "OK");
    EXPECT_EQ(host_.prompts.size(), 1u);
    EXPECT_NE(ReadFileText(UserFile("Bob", "book.pdb")), "old");

    host_.SetAskBeforeOverwrite(true);
    host_.overwritePromptSuppressed = true;
    task = Task(F("book.txt"), "book.pdb");
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "OK");
    EXPECT_EQ(host_.prompts.size(), 1u);
}

TEST_F(PcToPalmTest, EmptyTextsAndBadCategory) {
    host_.SetChecked({Custom()});
    // Only carriage returns: the filtered text is empty.
    WriteFileText(F("crs.txt"), "\r\r\r");
    TaskRecord task = Task(F("crs.txt"), F("out.pdb"));
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: PC File is empty");
    // An empty file with Raw reaches the builder; without Raw the filters refuse it.
    WriteFileText(F("empty.txt"), "");
    task = Task(F("empty.txt"), F("out.pdb"));
    task.options = "000001";
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: PC File is empty");
    task = Task(F("empty.txt"), F("out.pdb"));
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");
    task = Task(F("book.txt"), F("out.pdb"));
    task.category = 256;
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");
    EXPECT_FALSE(std::filesystem::exists(F("out.pdb")));
    EXPECT_FALSE(std::filesystem::exists(F("lumdata.tmp")));
    EXPECT_FALSE(std::filesystem::exists(F("lumfilter.tmp")));
    // Raw never removes the PC file it converted from.
    task = Task(F("book.txt"), F("out.pdb"));
    task.options = "000001";
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "OK");
    EXPECT_TRUE(std::filesystem::exists(F("book.txt")));
}

TEST_F(PcToPalmTest, VanishedTargetFolderKeepsTheOtherFilesAndTheTimes) {
    WriteFileText(UserFile("Cid", "book.pdb"), "old Cid");
    std::filesystem::remove_all(dir_.Path() + "palm/Bob");
    host_.SetChecked({0, 1, 2});
    host_.SetAskBeforeOverwrite(false);
    TaskRecord task = Task(F("book.txt"), "book.pdb");
    task.pcfiletime = 123;
    task.palmfiletime = 456;
    ConvertPcToPalm(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");
    EXPECT_TRUE(std::filesystem::exists(UserFile("Ann", "book.pdb")));  // served before the fault
    EXPECT_EQ(ReadFileText(UserFile("Cid", "book.pdb")), "old Cid");     // never half-written
    EXPECT_EQ(task.pcfiletime, 123);
    EXPECT_EQ(task.palmfiletime, 456);
    EXPECT_FALSE(std::filesystem::exists(F("lumdata.tmp")));
    // Nothing but the target files in Cid's folder: no temporary left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.Path() + "palm/Cid/backup")) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(PcToPalmTest, TrayFramesAlternateAboutEveryEighth) {
    host_.SetChecked({Custom()});
    WriteFileText(F("long.txt"), std::string(16 * 4096, 'x'));
    TaskRecord task = Task(F("long.txt"), F("long.pdb"));
    task.options = "000001";
    ConvertPcToPalm(task, context_);
    ASSERT_EQ(task.status, "OK");
    std::vector<int> frames;
    for (const auto& [image, tip] : host_.tray) frames.push_back(image);
    ASSERT_GE(frames.size(), 9u);
    EXPECT_EQ(std::vector<int>(frames.begin(), frames.begin() + 8), (std::vector<int>{1, 2, 1, 1, 1, 2, 1, 1}));
    EXPECT_EQ(frames.back(), 1);
}

}  // namespace
}  // namespace lum2::test
