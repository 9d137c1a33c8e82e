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
    int Add(const std::string& pc, const std::string& palm, int direction, const std::string& status = "") {
        const int position = AppendNewTask(store_);
        TaskRecord task = store_.GetRecord(position + 2);
        task.pcfile = pc;
        task.palmfile = palm;
        task.direction = static_cast<int16_t>(direction);
        task.install = std::string(static_cast<std::size_t>(Custom()), '0') + "1";
        task.status = status;
        store_.PutRecord(position + 2, task);
        return position;
    }
    BatchSummary Run() {
        BatchHooks hooks;
        hooks.beforeTask = [this](int position) {
            shown.push_back(position);
            host_.SetCheckedFromInstall(store_.GetRecord(position + 2).install, targets_.Count());
        };
        hooks.afterTask = [this](int, const TaskRecord&, const std::string& mark) { marks.push_back(mark); };
        return RunTaskList(store_, context_, hooks);
    }

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
    const BatchSummary summary = Run();

    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(marks, (std::vector<std::string>{" OK", " OK", " -", " -", " ?"}));
    EXPECT_EQ(store_.GetRecord(3).status, "OK");
    EXPECT_EQ(ReadFileText(F("back.txt")), "task a\n");
    EXPECT_EQ(store_.GetRecord(5).status, "User skipped task");
    EXPECT_EQ(store_.GetRecord(6).status, "kept as it was");
    EXPECT_EQ(store_.GetRecord(7).status, "Error: Palm File does not exist");
    EXPECT_NE(store_.GetRecord(3).pcfiletime, 0);

    EXPECT_TRUE(summary.errors);
    EXPECT_TRUE(summary.reportPending);
    EXPECT_EQ(summary.trayImage, 10);
    EXPECT_EQ(summary.tip, "LUM2\r\n- see list for errors");
    EXPECT_EQ(host_.tray.back(), (std::pair<int, std::string>{10, "LUM2\r\n- see list for errors"}));
}

TEST_F(BatchRunTest, StopAtAPromptEndsTheRunAfterThatTask) {
    WriteFileText(F("a.pdb"), "exists");
    Add(F("a.txt"), F("a.pdb"), kDirectionPcToPalm);
    Add(F("a.txt"), F("b.pdb"), kDirectionPcToPalm, "untouched");
    host_.answers = {kAnswerStop};
    const BatchSummary summary = Run();
    EXPECT_EQ(marks, (std::vector<std::string>{" -"}));
    EXPECT_EQ(store_.GetRecord(3).status, "User stopped conversion");
    EXPECT_EQ(store_.GetRecord(4).status, "untouched");
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
        void LetEventsRun() override {
            if (++events == 3) stopRequested = true;
        }
        int events = 0;
    } host;
    ConversionContext context{host, targets_, codec_, dir_.Path()};
    BatchHooks hooks;
    hooks.beforeTask = [&](int position) {
        host.SetCheckedFromInstall(store_.GetRecord(position + 2).install, targets_.Count());
    };
    const BatchSummary summary = RunTaskList(store_, context, hooks);
    EXPECT_EQ(store_.GetRecord(3).status, "OK");
    EXPECT_TRUE(std::filesystem::exists(F("a.pdb")));
    EXPECT_EQ(store_.GetRecord(4).status, "");
    EXPECT_FALSE(std::filesystem::exists(F("b.pdb")));
    EXPECT_EQ(summary.tasksRun, 1);
    EXPECT_EQ(summary.tip, "LUM2\r\n- stopped");
}

TEST_F(BatchRunTest, EmptyListEndsOkAndNewTasksTakeTheDefaults) {
    const BatchSummary summary = Run();
    EXPECT_EQ(summary.tasksRun, 0);
    EXPECT_EQ(summary.trayImage, 9);
    EXPECT_EQ(summary.tip, "LUM2\r\n- OK");

    TaskRecord settings = store_.GetRecord(1);
    settings.pcfile = "/texts/";
    settings.direction = kDirectionSync;
    settings.pcfiletime = 99;
    store_.PutRecord(1, settings);
    EXPECT_EQ(AppendNewTask(store_), 1);
    EXPECT_EQ(AppendNewTask(store_), 2);
    const TaskRecord task = store_.GetRecord(3);
    EXPECT_EQ(task.pcfile, "/texts/");
    EXPECT_EQ(task.direction, kDirectionSync);
    EXPECT_EQ(task.options, "1100001");
    EXPECT_EQ(task.tabspace, 4);
    EXPECT_EQ(task.install, "1");
    EXPECT_EQ(task.pcfiletime, 0);
    EXPECT_EQ(task.version, "0010");
    EXPECT_FALSE(task.taskid.empty());
    EXPECT_NE(task.taskid, store_.GetRecord(4).taskid);
}

}  // namespace
}  // namespace lum2::test
