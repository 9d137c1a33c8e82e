// Sync: the decision table, the 5-second rule and the both-changed prompt (its checks
// are with the other conversions', in pc_to_palm_test).
#include <bit>
#include <cmath>
#include <filesystem>

#include "conversion_fixture.h"
#include "base/file_times.h"

namespace lum2::test {
namespace {

class SyncTaskTest : public ConversionTest {
protected:
    void SetUp() override { host_.SetChecked({Custom()}); }
    // Both files present, converted once, so the recorded times match them.
    TaskRecord Synced() {
        std::filesystem::remove(palm_);
        WriteFileText(pc_, "first text\n");
        TaskRecord task = Task(pc_, palm_, kDirectionSync);
        ConvertPcToPalm(task, context_);
        EXPECT_EQ(task.status, "OK");
        return task;
    }
    // Moves a file's time by seconds against what the task recorded.
    void Shift(const std::string& path, double recorded, int seconds) {
        ASSERT_TRUE(SetModificationDate(path, recorded + seconds / 86400.0));
    }
    std::string Sync(TaskRecord& task, std::deque<int> answers = {}) {
        host_.answers = std::move(answers);
        host_.prompts.clear();
        SyncTask(task, context_);
        return task.status;
    }
    const std::string pc_ = F("notes.txt"), palm_ = F("notes.pdb");
};

TEST_F(SyncTaskTest, OneSideMissingConvertsTowardsIt) {
    WriteFileText(pc_, "from the PC\n");
    TaskRecord task = Task(pc_, palm_, kDirectionSync);
    EXPECT_EQ(Sync(task), "OK");
    EXPECT_TRUE(host_.prompts.empty());
    std::filesystem::remove(pc_);
    EXPECT_EQ(Sync(task), "OK");
    EXPECT_EQ(ReadFileText(pc_), "from the PC\n");
    // Converted both ways: now nothing to do.
    EXPECT_EQ(Sync(task), "No update necessary");
}

TEST_F(SyncTaskTest, FiveSecondsAreUnchangedSixAreChangedEitherWay) {
    for (const int seconds : {5, -5, 0}) {
        TaskRecord task = Synced();
        Shift(pc_, task.pcfiletime, seconds);
        Shift(palm_, task.palmfiletime, -seconds);
        EXPECT_EQ(Sync(task), "No update necessary") << seconds;
    }
    // A recorded time outside any date is a change.
    for (const double recorded : {1e300, -1e300, std::nan(""), std::bit_cast<double>(0x7FEFFFFFFFFFFFFFull),
                                  std::bit_cast<double>(0xC3E0000000000000ull)}) {
        TaskRecord task = Synced();
        task.pcfiletime = recorded;
        EXPECT_EQ(Sync(task, {kAnswerYes}), "OK") << recorded;
    }
    for (const int seconds : {6, -6}) {
        // The side that changed is converted to the other, asking about the file there.
        for (const bool pcChanged : {true, false}) {
            TaskRecord task = Synced();
            Shift(pcChanged ? pc_ : palm_, pcChanged ? task.pcfiletime : task.palmfiletime, seconds);
            EXPECT_EQ(Sync(task, {kAnswerYes}), "OK") << seconds;
            ASSERT_EQ(host_.prompts.size(), 1u);
            const std::string side = pcChanged ? "Palm" : "PC";
            EXPECT_EQ(host_.prompts[0].question, side + " File already exists! Overwrite file?");
        }
    }
}

TEST_F(SyncTaskTest, BothChangedAsksAndSuppressesOnlyTheChosenConversionsPrompt) {
    // A new task: both times 0, both files there.
    WriteFileText(pc_, "PC side\n");
    WriteFileText(F("other.txt"), "Palm side\n");
    TaskRecord task = Task(F("other.txt"), palm_);
    ConvertPcToPalm(task, context_);
    ASSERT_EQ(task.status, "OK");

    task = Task(pc_, palm_, kDirectionSync);
    EXPECT_EQ(Sync(task, {kAnswerUpdatePcFile}), "OK");
    EXPECT_EQ(ReadFileText(pc_), "Palm side\n");
    ASSERT_EQ(host_.prompts.size(), 1u);  // no overwrite prompt for the chosen side
    EXPECT_EQ(host_.prompts[0].kind, PromptKind::kBothChanged);
    EXPECT_FALSE(host_.overwritePromptSuppressed);
    task = Task(pc_, palm_, kDirectionSync);
    EXPECT_EQ(Sync(task, {kAnswerUpdatePalmFile}), "OK");
    EXPECT_EQ(host_.prompts.size(), 1u);
    EXPECT_FALSE(host_.overwritePromptSuppressed);

    task = Task(pc_, palm_, kDirectionSync);
    EXPECT_EQ(Sync(task, {kAnswerSkip}), "User skipped task");
    EXPECT_FALSE(host_.stopRequested);
    EXPECT_EQ(Sync(task), "User stopped conversion");  // a closed prompt answers Stop
    EXPECT_TRUE(host_.stopRequested);
    EXPECT_EQ(task.pcfiletime, 0);
}

}  // namespace
}  // namespace lum2::test
