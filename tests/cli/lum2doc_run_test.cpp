// lum2doc tasks, targets and run end to end, over a J-Pilot user and a
// folder tree of HotSync users in a temporary folder.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>

#include "lum2doc_runner.h"
#include "tasks/record_store.h"

namespace lum2::test {
namespace {

class Lum2DocRunTest : public Lum2DocTest {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(environmentHome_ + "/.jpilot/backup");
        WriteFileText(environmentHome_ + "/.jpilot/jpilot.rc", "user Jay\n");
        hotsyncRoot_ = F("hotsync");
        for (const char* user : {"/Ann/backup", "/Bob/backup"}) fs::create_directories(hotsyncRoot_ + user);
        WriteFileText(hotsyncRoot_ + "/Bob/profile", "");
        fs::create_directories(F("store"));
        WriteFileText(F("book.txt"), "A book\r\nin two lines\r\n");
    }
    RunResult Add(const std::string& fields) { return Run("tasks add --dir " + F("store") + " " + fields); }
    const std::string kHeader = "#\tdirection\tpc file\tpalm file\toptions\tinstall\tstatus\n";
    std::string List() { return Run("tasks --dir " + F("store")).out; }
};

TEST_F(Lum2DocRunTest, TargetsListTheUsersThenCustomAndAllFourDirectionsRunInOneRun) {
    EXPECT_EQ(Run("targets"), (RunResult{0, "0\tJay\n1\tAnn\n2\tBob - Profile\n3\tCustom\n", ""}));
    ASSERT_EQ(Add("--pc " + F("book.txt") + " --palm book.pdb --direction pc-to-palm --install 111").out, "1\n");
    Add("--pc " + F("back.txt") + " --palm book.pdb --direction palm-to-pc --install 01");
    Add("--pc " + F("book.txt") + " --palm " + F("custom.pdb") + " --direction sync --install 0001 --options 100000");
    Add("--pc " + F("none.txt") + " --palm none.pdb --direction none");
    Add("--pc " + F("x.txt") + " --palm missing.pdb --direction palm-to-pc --install 0100");

    EXPECT_EQ(Run("run --dir " + F("store")),
              (RunResult{1, "1\t OK\tOK\n2\t OK\tOK\n3\t OK\tOK\n4\t -\t\n5\t ?\tError: Palm File does not exist\nLUM2 - see list for errors\n",
                         "lum2doc: 1 of 5 tasks failed or were skipped\n"}));

    // Every checked user got the file, and it was queued for their next HotSync.
    const std::string jay = environmentHome_ + "/.jpilot/backup/book.pdb";
    EXPECT_EQ(ReadFileText(environmentHome_ + "/.jpilot/jpilot.install"), jay + "\n");
    EXPECT_EQ(ReadFileBytes(hotsyncRoot_ + "/Ann/install/book.pdb"), ReadFileBytes(jay));
    EXPECT_EQ(ReadFileBytes(hotsyncRoot_ + "/Bob/install/book.pdb"), ReadFileBytes(jay));
    EXPECT_EQ(ReadFileText(F("back.txt")), "A book\nin two lines\n");
    EXPECT_TRUE(std::filesystem::exists(F("custom.pdb")));

    // The statuses are stored; the next sync finds nothing to do.
    EXPECT_NE(List().find("5\tpalm-to-pc\t" + F("x.txt") + "\tmissing.pdb\t110000110\t0100\tError: Palm File does not exist"),
              std::string::npos);
    ASSERT_EQ(Run("tasks delete 5 --dir " + F("store")).exitCode, 0);
    EXPECT_EQ(Run("run --dir " + F("store") + " --answer yes"),
              (RunResult{0, "1\t OK\tOK\n2\t OK\tOK\n3\t -\tNo update necessary\n4\t -\t\nLUM2 - OK\n", ""}));
}

// A timer job has no terminal: a prompt leaves its task alone, and the run
// fails unless every task was done.
TEST_F(Lum2DocRunTest, PromptsWithoutATerminalSkipAndOnlyAWholeRunSucceeds) {
    WriteFileText(F("one.txt"), "old one");
    WriteFileText(F("two.txt"), "old two");
    Add("--pc " + F("book.txt") + " --palm " + F("book.pdb") + " --direction pc-to-palm --install 0001");
    Add("--pc " + F("one.txt") + " --palm " + F("book.pdb") + " --direction palm-to-pc --install 0001");
    Add("--pc " + F("two.txt") + " --palm " + F("book.pdb") + " --direction palm-to-pc --install 0001");

    const std::string skipped = "\t -\tUser skipped task\n";
    const std::string unanswered = "Skipped, as no one can answer here: PC File already exists! Overwrite file? ";
    for (const auto& [answer, run] :
         {std::pair{"", RunResult{1, "1\t OK\tOK\n2" + skipped + "3" + skipped + "LUM2 - OK\n",
                                  unanswered + F("one.txt") + "\n" + unanswered + F("two.txt") + "\n" +
                                      "lum2doc: 2 of 3 tasks failed or were skipped\n"}},
          {" --answer skip", RunResult{1, "1" + skipped + "2" + skipped + "3" + skipped + "LUM2 - OK\n",
                                       "lum2doc: 3 of 3 tasks failed or were skipped\n"}},
          {" --answer stop", RunResult{1, "1\t -\tUser stopped conversion\nLUM2 - stopped\n",
                                       "lum2doc: 3 of 3 tasks failed or were skipped\n"}}}) {
        EXPECT_EQ(Run("run --dir " + F("store") + answer), run) << answer;
        EXPECT_EQ(ReadFileText(F("one.txt")) + ReadFileText(F("two.txt")), "old oneold two");
    }
    EXPECT_EQ(Run("run --dir " + F("store") + " --answer yes"), (RunResult{0, "1\t OK\tOK\n2\t OK\tOK\n3\t OK\tOK\nLUM2 - OK\n", ""}));
    EXPECT_EQ(ReadFileText(F("two.txt")), "A book\nin two lines\n");
}

// The man page's own example on a fresh account: the folder is made, private.
TEST_F(Lum2DocRunTest, AddingMakesAMissingFolderPrivateAndReadingSaysItIsMissing) {
    const std::string fresh = F("fresh"), folder = fresh + "/.local/share/lum2";
    for (const char* command : {"tasks", "run"}) {
        EXPECT_EQ(Run(std::string(command) + " --dir " + folder), (RunResult{1, "", "Error: the folder " + folder + " does not exist\n"}));
    }
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(Run("tasks add --pc a.txt --palm b.pdb --dir " + folder), (RunResult{0, "1\n", ""}));
    for (const std::string& level : {fresh, fresh + "/.local", fresh + "/.local/share", folder}) {
        EXPECT_EQ(ModeOf(level), 0700u) << level;
    }
    EXPECT_EQ(Run("tasks --dir " + folder).out, kHeader + "1\tnone\ta.txt\tb.pdb\t110000110\t1\t\n");
}

// An add that is refused adds nothing, whether a field is wrong or too long or
// another program holds the store; a field may be filled to its last byte.
TEST_F(Lum2DocRunTest, ARefusedAddAddsNothingAndAFieldTakesItsWholeLength) {
    const std::string longest = F("") + std::string(512 - F("").size() - 4, 'p') + ".txt", bits(32, '1');
    ASSERT_EQ(longest.size(), 512u);
    ASSERT_EQ(Add("--pc " + longest + " --palm " + longest + " --install " + bits).exitCode, 0);
    for (const auto& [fields, why] :
         {std::pair<std::string, std::string>{"--pc a --palm b --direction sideways", "usage"},
          {"--pc a --palm b --options 12", "usage"}, {"--pc a", "usage"},
          {"--pc " + longest + "x --palm b.pdb", "longer than 512 bytes"},
          {"--pc a.txt --palm " + longest + "x", "longer than 512 bytes"},
          {"--pc a --palm b --install " + bits + "1", "takes up to 32 characters"}}) {
        const RunResult refused = Add(fields);
        EXPECT_EQ(refused.exitCode, 2) << fields;
        EXPECT_NE(refused.err.find(why), std::string::npos) << refused.err;
    }
    EXPECT_EQ(Run("run --answer maybe --dir " + F("store")).exitCode, 2);

    // While another program holds the store, lum2doc reads beside it, and
    // refuses every change with the holder's name and process id.
    ASSERT_EQ(Run("encode " + F("book.txt") + " " + F("book.pdb")).exitCode, 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = StartChild([&] {
        RecordStore store;
        store.OpenStore(F("store/"));
        return write(ready[1], "r", 1) == 1 ? pause() : 1;
    });
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const std::string inUse = "Error: " + F("store/lumdata.dat") + " is in use by cli_tests (process " +
                              std::to_string(holder) + "); close it first\n";
    for (const char* change : {"tasks add --pc a --palm b", "tasks delete 1", "run"}) {
        EXPECT_EQ(Run(std::string(change) + " --dir " + F("store")), (RunResult{1, "", inUse})) << change;
    }
    const std::string list = kHeader + "1\tnone\t" + longest + "\t" + longest + "\t110000110\t" + bits + "\t\n";
    EXPECT_EQ(List(), list);
    EXPECT_EQ(Run("targets").exitCode, 0);
    EXPECT_NE(Run("info " + F("book.pdb")).out.find("text records: 1\n"), std::string::npos);
    kill(holder, SIGKILL), WaitForChild(holder), close(ready[0]), close(ready[1]);
    // Its name is left behind, but no lock: the next change goes through.
    ASSERT_EQ(Run("tasks delete 1 --dir " + F("store")), (RunResult{0, "", ""}));
    EXPECT_EQ(List(), kHeader);
}

TEST_F(Lum2DocRunTest, AFailedWriteOfStandardOutputFails) {
    ASSERT_EQ(Add("--pc " + F("book.txt") + " --palm " + F("book.pdb") + " --direction pc-to-palm --install 0001").exitCode, 0);
    for (const std::string& command : {"tasks --dir " + F("store"), std::string("targets"),
                                      "tasks add --pc a.txt --palm b.pdb --dir " + F("store"),
                                      "run --dir " + F("store"), std::string("--help")}) {
        EXPECT_EQ(Run(command, "/dev/null", " >/dev/full"),
                  (RunResult{1, "", "Error: could not write standard output: No space left on device\n"})) << command;
    }
}

TEST_F(Lum2DocRunTest, AStoreSetAsideIsSaidOnStandardError) {
    WriteFileText(F("store/lumdata.dat"), "no task list");
    const std::string warning = "lum2doc: Warning: " + F("store/lumdata.dat") + " was no task list of this version; it is kept as " +
                                F("store/lumdata.dat.bak") + " and a new, empty task list was begun\n";
    // Reading it only says so; the first change sets it aside.
    EXPECT_EQ(Run("tasks --dir " + F("store")).err, "Error: " + F("store/lumdata.dat") + " is no task list of this version (a change to the list sets it aside and begins a new one)\n");
    EXPECT_EQ(Add("--pc a --palm b"), (RunResult{0, "1\n", warning}));
    EXPECT_EQ(ReadFileText(F("store/lumdata.dat.bak")), "no task list");
}

}  // namespace
}  // namespace lum2::test
