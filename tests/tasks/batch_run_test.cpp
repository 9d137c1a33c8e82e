// The batch run over a store: converters by direction, marks, write-back,
// stop after the current task, summaries.
#include <filesystem>

#include "../engine/conversion_fixture.h"
#include "tasks/batch_run.h"
#include "tasks/record_store.h"

namespace lum2::test {
namespace {

class BatchRunTest : public ConversionTest {
protected:
    void SetUp() override {
        store_.OpenStore(dir_.Path());
        WriteFileText(F("a.txt"), "task a\n");
    }
    void Add(const std::string& pc, const std::string& palm, int direction, const std::string& status = "") {
        const int record = AppendNewTask(store_) + 2;
        TaskRecord task = store_.GetRecord(record);
        task.pcfile = pc;
        task.palmfile = palm;
        task.direction = static_cast<int16_t>(direction);
        task.install = std::string(static_cast<std::size_t>(Custom()), '0') + "1";
        task.status = status;
        store_.PutRecord(record, task);
    }
    BatchSummary Run(ScriptedHost& host) {
        ConversionContext context{host, targets_, codec_, dir_.Path()};
        BatchHooks hooks;
        hooks.beforeTask = [&](int position) {
            shown.push_back(position);
            host.SetCheckedFromInstall(store_.GetRecord(position + 2).install, targets_.Count());
        };
        hooks.afterTask = [this](int, const TaskRecord&, const std::string& mark) { marks.push_back(mark); };
        return RunTaskList(store_, context, hooks);
    }
    std::string Status(int record) { return store_.GetRecord(record).status; }

    RecordStore store_;
    std::vector<int> shown;
    std::vector<std::string> marks;
};

TEST_F(BatchRunTest, EveryDirectionMarksAndWritesBack) {
    Add(F("a.txt"), F("a.pdb"), kDirectionPcToPalm);
    Add(F("back.txt"), F("a.pdb"), kDirectionPalmToPc);
    Add(F("a.txt"), F("a.pdb"), kDirectionSync);
    Add(F("a.txt"), F("a.pdb"), kDirectionNone, "kept as it was");
    Add(F("a.txt"), F("missing.pdb"), kDirectionPalmToPc);
    host_.answers = {kAnswerSkip};  // the new sync task finds both files changed
    const BatchSummary summary = Run(host_);

    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(marks, (std::vector<std::string>{" OK", " OK", " -", " -", " ?"}));
    EXPECT_EQ((std::vector<std::string>{Status(3), Status(5), Status(6), Status(7)}),
              (std::vector<std::string>{"OK", "User skipped task", "kept as it was", "Error: Palm File does not exist"}));
    EXPECT_EQ(ReadFileText(F("back.txt")), "task a\n");
    EXPECT_NE(store_.GetRecord(3).pcfiletime, 0);
    EXPECT_TRUE(summary.errors && summary.reportPending);
    EXPECT_EQ(summary.trayImage, 10);
    EXPECT_EQ(summary.tip, "LUM2\r\n- see list for errors");
    EXPECT_EQ(host_.tray.back(), (std::pair<int, std::string>{10, "LUM2\r\n- see list for errors"}));
}

TEST_F(BatchRunTest, StopAtAPromptEndsTheRunAfterThatTask) {
    WriteFileText(F("a.pdb"), "exists");
    Add(F("a.txt"), F("a.pdb"), kDirectionPcToPalm);
    Add(F("a.txt"), F("b.pdb"), kDirectionPcToPalm, "untouched");
    host_.answers = {kAnswerStop};
    const BatchSummary summary = Run(host_);
    EXPECT_EQ(marks, (std::vector<std::string>{" -"}));
    EXPECT_EQ(Status(3), "User stopped conversion");
    EXPECT_EQ(Status(4), "untouched");
    EXPECT_FALSE(std::filesystem::exists(F("b.pdb")));
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.trayImage, 1);
    EXPECT_EQ(summary.tip, "LUM2\r\n- stopped");
    EXPECT_FALSE(summary.reportPending);
    EXPECT_FALSE(host_.stopRequested);  // cleared for the next run
}

TEST_F(BatchRunTest, StopRequestedDuringATaskFinishesItFirst) {
    Add(F("a.txt"), F("a.pdb"), kDirectionPcToPalm);
    Add(F("a.txt"), F("b.pdb"), kDirectionPcToPalm);
    // The run button pressed while the first task converts.
    struct StoppingHost : ScriptedHost {
        void LetEventsRun() override { stopRequested = stopRequested || ++events == 3; }
        int events = 0;
    } host;
    const BatchSummary summary = Run(host);
    EXPECT_EQ(Status(3), "OK");
    EXPECT_TRUE(std::filesystem::exists(F("a.pdb")));
    EXPECT_EQ(Status(4), "");
    EXPECT_FALSE(std::filesystem::exists(F("b.pdb")));
    EXPECT_EQ(summary.tasksRun, 1);
    EXPECT_EQ(summary.tip, "LUM2\r\n- stopped");
}

TEST_F(BatchRunTest, EmptyListEndsOkAndNewTasksTakeTheDefaults) {
    const BatchSummary summary = Run(host_);
    EXPECT_EQ(summary.tasksRun, 0);
    EXPECT_EQ(summary.trayImage, 9);
    EXPECT_EQ(summary.tip, "LUM2\r\n- OK");

    TaskRecord settings = store_.GetRecord(1);
    settings.pcfile = "/texts/";
    settings.direction = kDirectionSync;
    settings.pcfiletime = 99;
    settings.status = "left over";
    store_.PutRecord(1, settings);
    EXPECT_EQ(AppendNewTask(store_), 1);
    EXPECT_EQ(AppendNewTask(store_), 2);
    const TaskRecord task = store_.GetRecord(3);
    TaskRecord expected = settings;  // without the settings' own time and status
    expected.pcfiletime = 0, expected.status = "", expected.taskid = task.taskid;
    EXPECT_EQ(EncodeRecord(task), EncodeRecord(expected));
    EXPECT_FALSE(task.taskid.empty());
    EXPECT_NE(task.taskid, store_.GetRecord(4).taskid);
}

}  // namespace
}  // namespace lum2::test
