#include "hotsync/install_targets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace lum2 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

struct FakeUser {
    int id;  // 0: a hole in the directory at this position
    std::string name;
    bool profile = false;
};

// Every user has a root of its own, as the J-Pilot and the folder-tree users
// do, so asking for folders before selecting shows up as a wrong path.
class FakeDirectory : public UserDirectory {
public:
    explicit FakeDirectory(std::vector<FakeUser> users) : users(std::move(users)) {}

    int UserCount() override {
        if (failCount) throw UserDirectoryError("directory unreadable");
        return static_cast<int>(users.size());
    }
    std::string RootFolder() override { return "/root" + std::to_string(Current().id) + "/"; }
    int UserIdAt(int position) override {
        return position >= 0 && position < static_cast<int>(users.size()) ? users[position].id : 0;
    }
    void SelectUser(int id) override {
        if (id == failingId) throw UserDirectoryError("user " + std::to_string(id) + " is locked");
        for (std::size_t i = 0; i < users.size(); ++i) {
            if (id != 0 && users[i].id == id) {
                current = static_cast<int>(i);
                return;
            }
        }
        throw UserDirectoryError("unknown id " + std::to_string(id));
    }
    std::string UserName() override { return Current().name; }
    std::string UserFolder() override { return Current().name + "-folder"; }
    bool IsProfile() override { return Current().profile; }
    void InstallFile(const std::string& path) override { installed.emplace_back(Current().id, path); }

    std::vector<FakeUser> users;
    bool failCount = false;
    int failingId = -1;
    std::vector<std::pair<int, std::string>> installed;

private:
    const FakeUser& Current() const {
        if (current < 0) throw UserDirectoryError("nothing selected");
        return users.at(static_cast<std::size_t>(current));
    }
    int current = -1;
};

std::vector<FakeUser> NumberedUsers(int count) {
    std::vector<FakeUser> users;
    for (int i = 0; i < count; ++i) users.push_back({i + 1, "user" + std::to_string(i)});
    return users;
}

std::string BackupOf(int id, const std::string& name) {
    return "/root" + std::to_string(id) + "/" + name + "-folder/backup/";
}

// --- filling the list ---------------------------------------------------------

TEST(InstallTargetsFill, WithoutUsersOnlyCustomIsOffered) {
    InstallTargets unfilled;
    EXPECT_THAT(unfilled.EntryTexts(), ElementsAre("Custom")) << "Custom must be there before the first fill";

    InstallTargets noDirectory;
    EXPECT_THAT(noDirectory.FillInstallList(), IsEmpty());
    EXPECT_THAT(noDirectory.EntryTexts(), ElementsAre("Custom"));
    EXPECT_EQ(noDirectory.CustomIndex(), 0);

    FakeDirectory empty({});
    InstallTargets emptyDirectory(&empty);
    EXPECT_THAT(emptyDirectory.FillInstallList(), IsEmpty());
    EXPECT_THAT(emptyDirectory.EntryTexts(), ElementsAre("Custom"));
}

TEST(InstallTargetsFill, ProfilesAreMarkedButKeepTheirName) {
    FakeDirectory directory({{1, "Alice"}, {2, "Travel", true}});
    InstallTargets targets(&directory);
    EXPECT_THAT(targets.FillInstallList(), IsEmpty());
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Alice", "Travel - Profile", "Custom"));
    EXPECT_EQ(targets.UserName(1), "Travel");
}

TEST(InstallTargetsFill, AHoleInTheDirectoryShiftsNoLaterUser) {
    FakeDirectory directory({{1, "u0"}, {0, "hole"}, {3, "u2"}});
    InstallTargets targets(&directory);
    targets.FillInstallList();
    ASSERT_THAT(targets.EntryTexts(), ElementsAre("u0", "u2", "Custom"));
    EXPECT_EQ(targets.CustomIndex(), 2);

    EXPECT_EQ(targets.UserIdAt(1), 3);
    EXPECT_EQ(targets.UserName(1), "u2");
    EXPECT_EQ(targets.UserBackupFolder(1), BackupOf(3, "u2"));
    EXPECT_EQ(targets.UserBackupFolder(0), BackupOf(1, "u0"));
    targets.QueueForInstall(1, "/books/a.pdb");
    EXPECT_THAT(directory.installed, ElementsAre(std::make_pair(3, std::string("/books/a.pdb"))));
}

TEST(InstallTargetsFill, ThirtyOneUsersFitWithoutWarning) {
    FakeDirectory directory(NumberedUsers(31));
    InstallTargets targets(&directory);
    EXPECT_THAT(targets.FillInstallList(), IsEmpty());
    EXPECT_EQ(targets.Count(), kMaximumInstallEntries);
    EXPECT_EQ(targets.EntryText(30), "user30");
    EXPECT_TRUE(targets.IsCustom(31));
}

TEST(InstallTargetsFill, UsersBeyondTheThirtyFirstAreLeftOutWithAWarning) {
    FakeDirectory directory(NumberedUsers(40));
    InstallTargets targets(&directory);
    const auto warnings = targets.FillInstallList();
    ASSERT_THAT(warnings, SizeIs(1));
    EXPECT_THAT(warnings[0], HasSubstr("9 HotSync users left out"));
    EXPECT_THAT(warnings[0], HasSubstr("31"));
    EXPECT_EQ(targets.Count(), kMaximumInstallEntries);
    EXPECT_EQ(targets.EntryText(30), "user30");
    EXPECT_EQ(targets.EntryText(31), "Custom");
    EXPECT_EQ(targets.UserBackupFolder(30), BackupOf(31, "user30"));
}

TEST(InstallTargetsFill, HolesDoNotCountAgainstTheLimit) {
    auto users = NumberedUsers(40);
    users[5].id = 0;
    users[6].id = 0;
    FakeDirectory directory(users);
    InstallTargets targets(&directory);
    const auto warnings = targets.FillInstallList();
    ASSERT_THAT(warnings, SizeIs(1));
    EXPECT_THAT(warnings[0], HasSubstr("7 HotSync users left out"));
    EXPECT_EQ(targets.EntryText(30), "user32");
    EXPECT_EQ(targets.UserBackupFolder(30), BackupOf(33, "user32"));
}

TEST(InstallTargetsFill, AFailingDirectoryLeavesOnlyCustomAndSaysWhy) {
    FakeDirectory directory({{1, "u0"}, {2, "u1"}, {3, "u2"}});
    InstallTargets targets(&directory);
    targets.FillInstallList();
    ASSERT_EQ(targets.Count(), 4);

    directory.failingId = 2;
    auto warnings = targets.FillInstallList();
    ASSERT_THAT(warnings, SizeIs(1));
    EXPECT_THAT(warnings[0], HasSubstr("user 2 is locked"));
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Custom")) << "a half-read list pairs entries with wrong users";

    directory.failingId = -1;
    directory.failCount = true;
    warnings = targets.FillInstallList();
    ASSERT_THAT(warnings, SizeIs(1));
    EXPECT_THAT(warnings[0], HasSubstr("directory unreadable"));
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Custom"));
}

TEST(InstallTargetsFill, RefillingShowsTheDirectoryAsItIsNow) {
    FakeDirectory directory({{1, "u0"}, {2, "u1"}});
    InstallTargets targets(&directory);
    targets.FillInstallList();
    targets.FillInstallList();
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("u0", "u1", "Custom"));
    directory.users.pop_back();
    targets.FillInstallList();
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("u0", "Custom"));
}

// --- entries that are not users ---------------------------------------------

TEST(InstallTargetsEntries, CustomAndEntriesPastTheEndAreRefused) {
    FakeDirectory directory({{1, "u0"}});
    InstallTargets targets(&directory);
    targets.FillInstallList();
    for (const int entry : {targets.CustomIndex(), targets.Count(), -1}) {
        SCOPED_TRACE(entry);
        EXPECT_THROW(targets.UserIdAt(entry), UserDirectoryError);
        EXPECT_THROW(targets.UserName(entry), UserDirectoryError);
        EXPECT_THROW(targets.UserBackupFolder(entry), UserDirectoryError);
        EXPECT_THROW(targets.QueueForInstall(entry, "/books/a.pdb"), UserDirectoryError);
    }
    EXPECT_THAT(directory.installed, IsEmpty());

    InstallTargets noDirectory;
    noDirectory.FillInstallList();
    EXPECT_THROW(noDirectory.UserBackupFolder(0), UserDirectoryError);
}

}  // namespace
}  // namespace lum2
