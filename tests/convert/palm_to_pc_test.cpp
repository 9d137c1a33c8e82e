// Palm to PC: its statuses, its source, and that the PC file survives failures.
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "conversion_fixture.h"
#include "doc/doc_builder.h"

namespace lum2::test {
namespace {

namespace fs = std::filesystem;
const std::string kGeneric = "Error: Could not open Palm or PC File";

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
    TaskRecord Run(const std::string& pc, const std::string& palm, double pcTime = 0, double palmTime = 0) {
        TaskRecord task = Task(pc, palm, kDirectionPalmToPc);
        task.pcfiletime = pcTime;
        task.palmfiletime = palmTime;
        ConvertPalmToPc(task, context_);
        return task;
    }
    // Runs into a PC file holding "precious", which must survive the failure.
    std::string RunFailing(const std::string& palm, const std::string& pc = "out.txt") {
        WriteFileText(F(pc), "precious");
        const TaskRecord task = Run(F(pc), palm, 11, 22);
        EXPECT_EQ(ReadFileText(F(pc)), "precious") << palm;
        EXPECT_TRUE(task.pcfiletime == 11 && task.palmfiletime == 22) << palm;
        return task.status;
    }
};

TEST_F(PalmToPcTest, ChecksInTheirOrder) {
    EXPECT_EQ(Run(F("out.txt"), "book.pdb").status, "Error: no source user (or custom) selected");
    host_.SetChecked({0});
    // Both names missing: the Palm file is named first.
    const std::string cases[][3] = {{"", "", "Error: no Palm File selected"},
                                    {F("sub/"), "book.pdb", "Error: no PC File selected"},
                                    {F("out.txt"), "book.pdb", "Error: Palm File does not exist"}};
    for (const auto& [pc, palm, status] : cases) EXPECT_EQ(Run(pc, palm).status, status) << pc;
    EXPECT_TRUE(host_.display.empty());
}

TEST_F(PalmToPcTest, TheDocumentAsItsOwnTextIsRefused) {
    host_.SetChecked({Custom()});
    MakeDoc("text", F("book.pdb"));
    const auto doc = ReadFileBytes(F("book.pdb"));
    fs::create_symlink("book.pdb", F("link.pdb"));
    fs::create_hard_link(F("book.pdb"), F("hard.pdb"));
    for (const char* pc : {"book.pdb", "link.pdb", "hard.pdb"}) {
        EXPECT_EQ(Run(F(pc), F("book.pdb")).status, kStatusSameFile) << pc;
        EXPECT_EQ(ReadFileBytes(F("book.pdb")), doc) << pc;
    }
    EXPECT_TRUE(host_.prompts.empty());
}

TEST_F(PalmToPcTest, ReadsTheLowestCheckedUsersFileWhateverFolderIsTyped) {
    MakeDoc("Bob's text\n", UserFile("Bob", "book.pdb"));
    MakeDoc("Cid's text\n", UserFile("Cid", "book.pdb"));
    host_.SetChecked({1, 2});
    const TaskRecord task = Run(F("out.txt") + "  ", "/elsewhere/book.pdb  ");
    ASSERT_EQ(task.status, "OK");
    EXPECT_EQ(ReadFileText(F("out.txt")), "Bob's text\n");
    EXPECT_EQ(task.pcfile, F("out.txt"));  // stored back trimmed
    EXPECT_EQ(task.palmfiletime, Time(UserFile("Bob", "book.pdb")));
    EXPECT_EQ(task.pcfiletime, Time(F("out.txt")));
    EXPECT_EQ(host_.display, (std::vector<bool>{true, false}));
}

TEST_F(PalmToPcTest, OverwritePromptAnswers) {
    MakeDoc("new text", F("book.pdb"));
    WriteFileText(F("out.txt"), "old text");
    host_.SetChecked({Custom()});
    host_.answers = {kAnswerSkip, kAnswerStop, kAnswerYes};
    EXPECT_EQ(Run(F("out.txt"), F("book.pdb")).status, "User skipped task");
    EXPECT_FALSE(host_.stopRequested);
    EXPECT_EQ(Run(F("out.txt"), F("book.pdb")).status, "User stopped conversion");
    EXPECT_TRUE(host_.stopRequested);
    EXPECT_EQ(ReadFileText(F("out.txt")), "old text");
    ASSERT_EQ(host_.prompts.size(), 2u);
    EXPECT_EQ(host_.prompts[0].question, "PC File already exists! Overwrite file?");
    EXPECT_EQ(host_.prompts[0].path, F("out.txt"));
    EXPECT_EQ(Run(F("out.txt"), F("book.pdb")).status, "OK");
    EXPECT_EQ(ReadFileText(F("out.txt")), "new text");
}

TEST_F(PalmToPcTest, DamagedFilesKeepThePcFileAndTheTimes) {
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    // Each damaged file's own status is the corpus test's; here both kinds of failure keep the PC file.
    for (const auto& [file, status] : {std::pair<const char*, std::string>{"docinfo_version_3.pdb",
                                       "Error: DocInfo in Palm File unknown"}, {"record_list_loop.pdb", kGeneric}}) {
        EXPECT_EQ(RunFailing(std::string(LUM2_TEST_DATA) + "/docs/" + file), status) << file;
    }
    // A codec without decompression still reads an uncompressed file and refuses a compressed one.
    MakeDoc("plain\n", F("whole.pdb"), false);
    MakeDoc("packed\n", F("packed.pdb"));
    codec_.DeCompress = nullptr;
    EXPECT_EQ(Run(F("plain.txt"), F("whole.pdb")).status, "OK");
    EXPECT_EQ(ReadFileText(F("plain.txt")), "plain\n");
    EXPECT_EQ(RunFailing(F("packed.pdb")), kGeneric);
    // No temporary file was left beside the text files.
    for (const char* name : {"whole.pdb", "packed.pdb", "source.txt"}) fs::remove(F(name));
    const fs::directory_iterator files(dir_.Path());
    EXPECT_EQ(std::distance(fs::begin(files), fs::end(files)), 3);  // out.txt, plain.txt and the palm folder
}

TEST_F(PalmToPcTest, PcFilesThatCannotBeReplacedAreRefusedWithTheirCause) {
    MakeDoc("new text\n", F("book.pdb"));
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    ASSERT_EQ(mkfifo(F("pipe.txt").c_str(), 0644), 0);
    EXPECT_EQ(Run(F("pipe.txt"), F("book.pdb")).status, kGeneric);
    EXPECT_TRUE(fs::is_fifo(F("pipe.txt")));
    ASSERT_EQ(host_.causes.size(), 1u);
    EXPECT_NE(host_.causes[0].find("not a regular file"), std::string::npos);

    // A folder that does not exist cannot take the new file, nor can one that may not be written.
    EXPECT_EQ(Run(F("missing/out.txt"), F("book.pdb")).status, kGeneric);
    if (geteuid() == 0) return;  // root writes into read-only folders
    fs::create_directories(F("locked"));
    WriteFileText(F("locked/out.txt"), "");
    fs::permissions(F("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(RunFailing(F("book.pdb"), "locked/out.txt"), kGeneric);
}

}  // namespace
}  // namespace lum2::test
