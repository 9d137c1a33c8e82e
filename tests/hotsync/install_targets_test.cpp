#include "hotsync/install_targets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace lum2 {
namespace {

using ::testing::ElementsAre;

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
    int UserCount() override { return failCount ? throw UserDirectoryError("directory unreadable") : static_cast<int>(users.size()); }
    std::string RootFolder() override { return "/root" + std::to_string(Current().id) + "/"; }
    int UserIdAt(int at) override { return at >= 0 && at < static_cast<int>(users.size()) ? users[at].id : 0; }
    void SelectUser(int id) override {
        if (id == failingId) throw UserDirectoryError("user " + std::to_string(id) + " is locked");
        const auto found = std::find_if(users.begin(), users.end(), [id](const FakeUser& u) { return id != 0 && u.id == id; });
        if (found == users.end()) throw UserDirectoryError("unknown id " + std::to_string(id));
        current = static_cast<int>(found - users.begin());
    }
    std::string UserName() override { return Current().name; }
    std::string UserFolder() override { return Current().name + "-folder"; }
    bool IsProfile() override { return Current().profile; }
    void InstallFile(const std::string& path) override { installed.emplace_back(Current().id, path); }

    std::vector<FakeUser> users;
    bool failCount = false;
    int failingId = -1, current = -1;
    std::vector<std::pair<int, std::string>> installed;
    const FakeUser& Current() const { return current < 0 ? throw UserDirectoryError("nothing selected") : users.at(current); }
};

std::vector<FakeUser> NumberedUsers(int count, std::vector<int> holes = {}) {
    std::vector<FakeUser> users;
    for (int i = 0; i < count; ++i) users.push_back({i + 1, "user" + std::to_string(i)});
    for (const int hole : holes) users[hole].id = 0;
    return users;
}

std::string BackupOf(int id, const std::string& name) { return "/root" + std::to_string(id) + "/" + name + "-folder/backup/"; }

TEST(InstallTargets, ProfilesAreMarkedAndHolesShiftNoLaterUser) {
    FakeDirectory directory({{1, "Alice"}, {0, "hole"}, {3, "Travel", true}});
    InstallTargets targets(&directory);
    EXPECT_THAT(targets.FillInstallList(), ::testing::IsEmpty());
    ASSERT_THAT(targets.EntryTexts(), ElementsAre("Alice", "Travel - Profile", "Custom"));
    EXPECT_EQ(targets.CustomIndex(), 2);
    EXPECT_EQ(targets.UserIdAt(1), 3);
    EXPECT_EQ(targets.UserName(1), "Travel");
    EXPECT_EQ(targets.UserBackupFolder(1), BackupOf(3, "Travel"));
    EXPECT_EQ(targets.UserBackupFolder(0), BackupOf(1, "Alice"));
    targets.QueueForInstall(1, "/books/a.pdb");
    EXPECT_THAT(directory.installed, ElementsAre(std::make_pair(3, std::string("/books/a.pdb"))));

    // Custom and entries past the end are no users.
    for (const int entry : {targets.CustomIndex(), targets.Count(), -1}) {
        EXPECT_THROW(targets.UserIdAt(entry), UserDirectoryError);
        EXPECT_THROW(targets.UserName(entry), UserDirectoryError);
        EXPECT_THROW(targets.UserBackupFolder(entry), UserDirectoryError);
        EXPECT_THROW(targets.QueueForInstall(entry, "/books/b.pdb"), UserDirectoryError);
    }
    EXPECT_EQ(directory.installed.size(), 1u);
}

TEST(InstallTargets, UsersPastTheThirtyFirstAreLeftOutWithAWarningHolesNotCounted) {
    const struct {
        std::vector<FakeUser> users;
        std::string thirtyFirst;
        int id;
        std::vector<std::string> warnings;
    } cases[] = {
        {NumberedUsers(31), "user30", 31, {}},
        {NumberedUsers(32), "user30", 31,
         {"Warning: 1 HotSync users left out: the install list holds at most 31 users"}},
        {NumberedUsers(40, {5, 6}), "user32", 33,
         {"Warning: 7 HotSync users left out: the install list holds at most 31 users"}}};
    for (const auto& c : cases) {
        FakeDirectory directory(c.users);
        InstallTargets targets(&directory);
        EXPECT_EQ(targets.FillInstallList(), c.warnings);
        EXPECT_EQ(targets.Count(), kMaximumInstallEntries);
        EXPECT_EQ(targets.EntryText(30), c.thirtyFirst);
        EXPECT_EQ(targets.EntryText(31), "Custom");
        EXPECT_EQ(targets.UserBackupFolder(30), BackupOf(c.id, c.thirtyFirst));
    }
}

TEST(InstallTargets, CustomIsAlwaysOfferedAndARefillShowsTheDirectoryAsItIsNow) {
    FakeDirectory directory({});
    InstallTargets targets(&directory), none;
    for (InstallTargets* users : {&targets, &none}) {
        EXPECT_THAT(users->EntryTexts(), ElementsAre("Custom")) << "Custom must be there before the first fill";
        EXPECT_THAT(users->FillInstallList(), ::testing::IsEmpty());
        EXPECT_THAT(users->EntryTexts(), ElementsAre("Custom"));
        EXPECT_EQ(users->CustomIndex(), 0);
        EXPECT_THROW(users->UserBackupFolder(0), UserDirectoryError);
    }
    directory.users = {{1, "u0"}, {2, "u1"}, {3, "u2"}};
    for (int fill = 0; fill < 2; ++fill) targets.FillInstallList();
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("u0", "u1", "u2", "Custom"));
    directory.users.pop_back();
    targets.FillInstallList();
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("u0", "u1", "Custom"));

    // A half-read list would pair entries with wrong users.
    directory.failingId = 2;
    EXPECT_THAT(targets.FillInstallList(), ElementsAre("Warning: the HotSync users cannot be read: user 2 is locked"));
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Custom"));
    directory.failingId = -1, directory.failCount = true;
    EXPECT_THAT(targets.FillInstallList(), ElementsAre("Warning: the HotSync users cannot be read: directory unreadable"));
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Custom"));
}

}  // namespace
}  // namespace lum2
