// Palm to PC: its statuses, its source, and that the PC file survives failures.
#include <filesystem>

#include <sys/stat.h>

#include "conversion_fixture.h"

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
    std::string RunFailing(const std::string& palm) {
        WriteFileText(F("out.txt"), "precious");
        const TaskRecord task = Run(F("out.txt"), palm, 11, 22);
        EXPECT_EQ(ReadFileText(F("out.txt")), "precious") << palm;
        EXPECT_TRUE(task.pcfiletime == 11 && task.palmfiletime == 22) << palm;
        return task.status;
    }
};

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

// Skip and Yes, the question and its path are lum2doc run's to show (lum2doc_run_test).
TEST_F(PalmToPcTest, StopAtTheOverwritePromptKeepsThePcFileAndStopsTheRun) {
    MakeDoc("new text", F("book.pdb"));
    WriteFileText(F("out.txt"), "old text");
    host_.SetChecked({Custom()});
    host_.answers = {kAnswerStop};
    EXPECT_EQ(Run(F("out.txt"), F("book.pdb")).status, "User stopped conversion");
    EXPECT_TRUE(host_.stopRequested);
    EXPECT_EQ(ReadFileText(F("out.txt")), "old text");
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
}

// Which files the replacement refuses is its own tests'; here its cause reaches the host.
TEST_F(PalmToPcTest, APcFileThatCannotBeReplacedIsRefusedWithItsCause) {
    MakeDoc("new text\n", F("book.pdb"));
    host_.SetChecked({Custom()});
    host_.SetAskBeforeOverwrite(false);
    ASSERT_EQ(mkfifo(F("pipe.txt").c_str(), 0644), 0);
    EXPECT_EQ(Run(F("pipe.txt"), F("book.pdb")).status, kGeneric);
    EXPECT_TRUE(fs::is_fifo(F("pipe.txt")));
    EXPECT_EQ(host_.causes, std::vector<std::string>{F("pipe.txt") + " is a named pipe (FIFO), not a regular file: it was left as it is"});
}

}  // namespace
}  // namespace lum2::test
