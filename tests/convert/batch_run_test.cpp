// The batch run over a store: converters by direction, marks, write-back,
// stop after the current task, summaries.
#include <filesystem>
#include <tuple>

#include "../convert/conversion_fixture.h"
#include "convert/batch_run.h"
#include "tasks/record_store.h"
#include "tasks/store_layout.h"

namespace lum2::test {
namespace {

class BatchRunTest : public ConversionTest {
protected:
    void SetUp() override {
        store_.OpenStore(dir_.Path());
        WriteFileText(F("a.txt"), "task a\n");
    }
    void Add(const std::string& pc, const std::string& palm, int direction, const std::string& status = "") {
        const int record = RecordOfRow(AppendNewTask(store_));
        TaskRecord task = store_.GetRecord(record);
        task.pcfile = pc, task.palmfile = palm, task.direction = static_cast<int16_t>(direction), task.status = status;
        task.install = std::string(static_cast<std::size_t>(Custom()), '0') + "1";
        store_.PutRecord(record, task);
    }
    // The summary: tray picture, tip, stopped, errors, report pending, tasks run.
    using Summary = std::tuple<int, std::string, bool, bool, bool, int>;
    Summary Run(ScriptedHost& host) {
        ConversionContext context{host, targets_, codec_, dir_.Path()};
        BatchHooks hooks;
        hooks.beforeTask = [&](int position) {
            shown.push_back(position);
            host.SetCheckedFromInstall(store_.GetRecord(RecordOfRow(position)).install, targets_.Count());
        };
        hooks.afterTask = [this](int, const TaskRecord&, const std::string& mark) { marks.push_back(mark); };
        const BatchSummary s = RunTaskList(store_, context, hooks);
        EXPECT_EQ(host.tray.back(), (std::pair{static_cast<int>(s.trayImage), s.tip}));
        EXPECT_FALSE(host.stopRequested);  // cleared for the next run
        return {static_cast<int>(s.trayImage), s.tip, s.stopped, s.errors, s.reportPending, s.tasksRun};
    }
    std::string Status(int row) { return store_.GetRecord(RecordOfRow(row)).status; }

    RecordStore store_;
    std::vector<int> shown;
    std::vector<std::string> marks;
};

// What each converter does is its own test's; lum2doc's run shows the files
// and the statuses stored. A task without a conversion is marked by the
// status its last run left.
TEST_F(BatchRunTest, EveryDirectionRunsAndIsMarked) {
    Add(F("a.txt"), F("a.pdb"), kDirectionPcToPalm);
    Add(F("back.txt"), F("a.pdb"), kDirectionPalmToPc);
    Add(F("a.txt"), F("a.pdb"), kDirectionSync);
    Add(F("a.txt"), F("a.pdb"), kDirectionNone, "Error: from the last run");
    Add(F("a.txt"), F("a.pdb"), kDirectionNone, "kept as it was");
    Add(F("a.txt"), F("missing.pdb"), kDirectionPalmToPc);
    host_.answers = {kAnswerSkip};  // the new sync task finds both files changed
    EXPECT_EQ(Run(host_), (Summary{10, "LUM2\r\n- see list for errors", false, true, true, 6}));
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(marks, (std::vector<std::string>{" OK", " OK", " -", " ?", " -", " ?"}));
    EXPECT_EQ(Status(4) + "|" + Status(6), "Error: from the last run|Error: Palm File does not exist");
}

// The run button pressed while a task converts, or a Stop answer (which
// sets the same request: pc_to_palm_test), ends the run after the task.
TEST_F(BatchRunTest, StopRequestedDuringATaskFinishesItFirst) {
    Add(F("a.txt"), F("a.pdb"), kDirectionPcToPalm);
    Add(F("a.txt"), F("b.pdb"), kDirectionPcToPalm);
    struct StoppingHost : ScriptedHost {
        void LetEventsRun() override { stopRequested = stopRequested || ++events == 3; }
        int events = 0;
    } host;
    EXPECT_EQ(Run(host), (Summary{1, "LUM2\r\n- stopped", true, false, false, 1}));
    EXPECT_EQ(Status(1) + "|" + Status(2), "OK|");
    EXPECT_TRUE(std::filesystem::exists(F("a.pdb")) && !std::filesystem::exists(F("b.pdb")));
}

TEST_F(BatchRunTest, EmptyListEndsOkAndNewTasksTakeTheDefaults) {
    EXPECT_EQ(Run(host_), (Summary{9, "LUM2\r\n- OK", false, false, false, 0}));

    TaskRecord settings = store_.GetRecord(1);
    settings.pcfile = "/texts/", settings.direction = kDirectionSync, settings.pcfiletime = 99, settings.status = "left over";
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
