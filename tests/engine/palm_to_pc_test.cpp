// Palm to PC: its statuses, its source, and that the PC file survives failures.
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "conversion_fixture.h"
#include "engine/file_times.h"

namespace lum2::test {
namespace {

class PalmToPcTest : public ConversionTest {
protected:
    // A sound Doc file made by PC to Palm, at path.
    void MakeDoc(const std::string& text, const std::string& path, bool compressed = true) {
        WriteFileText(F("source.txt"), text);
        ScriptedHost host;
        host.SetChecked({Custom()});
        ConversionContext context{host, targets_, codec_, dir_.Path()};
        TaskRecord task = Task(F("source.txt"), path);
        task.options = compressed ? "100001" : "000001";
        ConvertPcToPalm(task, context);
        ASSERT_EQ(task.status, "OK");
    }
    std::string corpus(const std::string& name) const { return std::string(LUM2_TEST_DATA) + "/docs/" + name; }
};

TEST_F(PalmToPcTest, ChecksInTheirOrder) {
    TaskRecord task = Task(F("out.txt"), "book.pdb", kDirectionPalmToPc);
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: no source user (or custom) selected");
    host_.SetChecked({0});
    task = Task("", "");  // both names missing: the Palm file is named first
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: no Palm File selected");
    task = Task(F("sub/"), "book.pdb");
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: no PC File selected");
    task = Task(F("out.txt"), "book.pdb");
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: Palm File does not exist");
    EXPECT_TRUE(host_.display.empty());
}

TEST_F(PalmToPcTest, ReadsTheLowestCheckedUsersFileWhateverFolderIsTyped) {
    MakeDoc("Bob's text\n", UserFile("Bob", "book.pdb"));
    MakeDoc("Cid's text\n", UserFile("Cid", "book.pdb"));
    host_.SetChecked({1, 2});
    TaskRecord task = Task(F("out.txt") + "  ", "/elsewhere/book.pdb  ");
    ConvertPalmToPc(task, context_);
    ASSERT_EQ(task.status, "OK");
    EXPECT_EQ(ReadFileText(F("out.txt")), "Bob's text\n");
    EXPECT_EQ(task.pcfile, F("out.txt"));  // stored back trimmed
    double palmTime = 0, pcTime = 0;
    ModificationDate(UserFile("Bob", "book.pdb"), palmTime);
    ModificationDate(F("out.txt"), pcTime);
    EXPECT_EQ(task.palmfiletime, palmTime);
    EXPECT_EQ(task.pcfiletime, pcTime);
    EXPECT_EQ(host_.display, (std::vector<bool>{true, false}));
}

TEST_F(PalmToPcTest, OverwritePromptAnswers) {
    MakeDoc("new text", F("book.pdb"));
    WriteFileText(F("out.txt"), "old text");
    host_.SetChecked({Custom()});

    host_.answers = {kAnswerSkip};
    TaskRecord task = Task(F("out.txt"), F("book.pdb"));
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "User skipped task");
    EXPECT_FALSE(host_.stopRequested);

    host_.answers = {kAnswerStop};
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "User stopped conversion");
    EXPECT_TRUE(host_.stopRequested);
    EXPECT_EQ(ReadFileText(F("out.txt")), "old text");
    ASSERT_EQ(host_.prompts.size(), 2u);
    EXPECT_EQ(host_.prompts[0].question, "PC File already exists! Overwrite file?");
    EXPECT_EQ(host_.prompts[0].path, F("out.txt"));

    host_.answers = {kAnswerYes};
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "OK");
    EXPECT_EQ(ReadFileText(F("out.txt")), "new text");

    // Not asking: replaced without a prompt.
    host_.SetAskBeforeOverwrite(false);
    WriteFileText(F("out.txt"), "old text");
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "OK");
    EXPECT_EQ(host_.prompts.size(), 3u);
}

TEST_F(PalmToPcTest, DamagedFilesKeepThePcFileAndTheTimes) {
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    const std::pair<const char*, const char*> cases[] = {
        {"short_81_bytes.pdb", "Error: unknown or corrupted Palm File header"},
        {"type_text.pdb", "Error: Palm File type or creator not supported"},
        {"one_record.pdb", "Error: Palm File corrupt or wrong format"},
        {"exactly_82_bytes.pdb", "Error: could not get DocInfo of Palm File"},
        {"docinfo_version_3.pdb", "Error: DocInfo in Palm File unknown"},
        {"text_offset_past_end.pdb", "Error: Palm File corrupt"},
        {"compressed_before_start.pdb", "Error: Palm File corrupt"},
        {"record_list_loop.pdb", "Error: Could not open Palm or PC File"},
    };
    for (const auto& [file, status] : cases) {
        WriteFileText(F("out.txt"), "precious");
        TaskRecord task = Task(F("out.txt"), corpus(file));
        task.pcfiletime = 11;
        task.palmfiletime = 22;
        ConvertPalmToPc(task, context_);
        EXPECT_EQ(task.status, status) << file;
        EXPECT_EQ(ReadFileText(F("out.txt")), "precious") << file;
        EXPECT_EQ(task.pcfiletime, 11) << file;
        EXPECT_EQ(task.palmfiletime, 22) << file;
    }
    // Only the text file: no temporary file was left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.Path())) ++files;
    EXPECT_EQ(files, 2);  // out.txt and the palm folder
}

TEST_F(PalmToPcTest, FileCutShortAtEveryRecordBoundary) {
    const std::string text(3 * 4096 + 100, 'w');
    MakeDoc(text, F("whole.pdb"), false);
    const auto whole = ReadFileBytes(F("whole.pdb"));
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    // Record k starts at the offset in its entry; cutting there loses record k.
    for (int k = 0; k <= 4; ++k) {
        const std::size_t at = (whole[78 + 8 * k] << 24) | (whole[79 + 8 * k] << 16) |
                               (whole[80 + 8 * k] << 8) | whole[81 + 8 * k];
        WriteFileBytes(F("cut.pdb"), std::vector<uint8_t>(whole.begin(), whole.begin() + at));
        WriteFileText(F("out.txt"), "precious");
        TaskRecord task = Task(F("out.txt"), F("cut.pdb"));
        ConvertPalmToPc(task, context_);
        EXPECT_EQ(task.status, k == 0 ? "Error: could not get DocInfo of Palm File" : "Error: Palm File corrupt") << k;
        EXPECT_EQ(ReadFileText(F("out.txt")), "precious") << k;
    }
}

TEST_F(PalmToPcTest, PcFilesBehindLinksKeepTheirModeAndSpecialFilesAreRefused) {
    MakeDoc("new text\n", F("book.pdb"));
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    std::filesystem::create_directories(F("real"));
    WriteFileText(F("real/pc.txt"), "private");
    chmod(F("real/pc.txt").c_str(), 0600);
    std::filesystem::create_symlink("real/pc.txt", F("pc.txt"));
    TaskRecord task = Task(F("pc.txt"), F("book.pdb"));
    ConvertPalmToPc(task, context_);
    ASSERT_EQ(task.status, "OK");
    EXPECT_TRUE(std::filesystem::is_symlink(F("pc.txt")));
    EXPECT_EQ(ReadFileText(F("real/pc.txt")), "new text\n");
    struct stat info {};
    stat(F("real/pc.txt").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_EQ(mkfifo(F("pipe.txt").c_str(), 0644), 0);
    task = Task(F("pipe.txt"), F("book.pdb"));
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");
    EXPECT_TRUE(std::filesystem::is_fifo(F("pipe.txt")));
    ASSERT_EQ(host_.causes.size(), 1u);
    EXPECT_NE(host_.causes[0].find("not a regular file"), std::string::npos);
}

TEST_F(PalmToPcTest, UnwritablePcFolderGivesTheGenericError) {
    MakeDoc("text", F("book.pdb"));
    host_.SetChecked({Custom()});
    // A folder that does not exist cannot take the new file.
    TaskRecord task = Task(F("missing/out.txt"), F("book.pdb"));
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");

    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    std::filesystem::create_directories(F("locked"));
    WriteFileText(F("locked/out.txt"), "precious");
    std::filesystem::permissions(F("locked"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    host_.SetAskBeforeOverwrite(false);
    task = Task(F("locked/out.txt"), F("book.pdb"));
    ConvertPalmToPc(task, context_);
    EXPECT_EQ(task.status, "Error: Could not open Palm or PC File");
    EXPECT_EQ(ReadFileText(F("locked/out.txt")), "precious");
}

}  // namespace
}  // namespace lum2::test
