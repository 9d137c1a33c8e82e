#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../engine/temp_dir.h"
#include "hotsync/folder_tree_directory.h"
#include "hotsync/install_targets.h"
#include "hotsync/jpilot_directory.h"
#include "hotsync/system_user_directory.h"

namespace lum2 {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;
using ::testing::ElementsAre;

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A J-Pilot set-up in home; rc is the content of jpilot.rc, none when empty.
void MakeJpilot(const std::string& home, const std::string& rc = "") {
    fs::create_directories(home + ".jpilot/backup");
    if (!rc.empty()) WriteFileText(home + ".jpilot/jpilot.rc", rc);
}

void MakeTreeUsers(const std::string& root, const std::vector<std::string>& folders) {
    for (const auto& folder : folders) fs::create_directories(root + folder + "/backup");
}

std::vector<std::string> Names(UserDirectory& directory) {
    std::vector<std::string> names;
    for (int position = 0; position < directory.UserCount(); ++position) {
        directory.SelectUser(directory.UserIdAt(position));
        names.push_back(directory.UserName() + (directory.IsProfile() ? " (profile)" : ""));
    }
    return names;
}

std::string BackupFolder(UserDirectory& directory, int position) {
    directory.SelectUser(directory.UserIdAt(position));
    return directory.RootFolder() + directory.UserFolder() + "/backup/";
}

// Sets or clears an environment variable until the end of the scope.
struct ScopedEnvironment {
    ScopedEnvironment(const char* name, const char* value) : name(name) {
        if (const char* now = std::getenv(name)) old = now;
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnvironment() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

// --- the J-Pilot user ---------------------------------------------------------

TEST(JpilotDirectory, OneUserWithADotJpilotFolderBackingUpUnderIt) {
    TempDir home;
    EXPECT_EQ(JpilotDirectory(home.Path(), "ann").UserCount(), 0);
    EXPECT_EQ(JpilotDirectory("", "ann").UserCount(), 0);
    WriteFileText(home.File(".jpilot"), "not a folder");
    EXPECT_EQ(JpilotDirectory(home.Path(), "ann").UserCount(), 0);
    fs::remove(home.File(".jpilot"));

    MakeJpilot(home.Path());
    const std::string bare = home.Path().substr(0, home.Path().size() - 1);
    for (const std::string& given : {home.Path(), bare}) {
        JpilotDirectory directory(given, "ann");
        EXPECT_THAT(Names(directory), ElementsAre("ann"));
        EXPECT_NE(directory.UserIdAt(0), 0);
        EXPECT_EQ(directory.UserIdAt(1), 0);
        EXPECT_EQ(BackupFolder(directory, 0), home.Path() + ".jpilot/backup/");
    }
}

TEST(JpilotDirectory, NameComesFromJpilotRcElseTheLoginName) {
    const std::pair<const char*, const char*> cases[] = {
        {"sync_memo 1\nuser   Ann Smith  \nport /dev/ttyUSB0\n", "Ann Smith"}, {"user\tTabbed\r\n", "Tabbed"},
        {"  user Indented", "Indented"}, {"username Wrong\nusers Wrong\n", "ann"}, {"user   \n", "ann"},
        {"port /dev/ttyS0\n", "ann"}};
    for (const auto& [rc, expected] : cases) {
        TempDir home;
        MakeJpilot(home.Path(), rc);
        JpilotDirectory directory(home.Path(), "ann");
        EXPECT_THAT(Names(directory), ElementsAre(expected)) << rc;
    }
}

TEST(JpilotDirectory, InstallQueuesTheAbsolutePathOnceAndReportsFailures) {
    TempDir home;
    MakeJpilot(home.Path());
    const std::string queue = home.Path() + ".jpilot/jpilot.install";
    JpilotDirectory directory(home.Path(), "ann");
    EXPECT_THROW(directory.InstallFile("/books/a.pdb"), UserDirectoryError) << "no user selected";
    directory.SelectUser(directory.UserIdAt(0));
    directory.InstallFile("/books/a.pdb");
    EXPECT_EQ(ReadFileText(queue), "/books/a.pdb\n");

    WriteFileText(queue, "/old/first.pdb\n/old/second.prc");  // no final line break
    for (const char* path : {"/books/new.pdb", "/books/new.pdb", "/old/first.pdb"}) directory.InstallFile(path);
    EXPECT_THROW(directory.InstallFile("/books/two\nlines.pdb"), UserDirectoryError);
    const fs::path old = fs::current_path();
    fs::current_path(home.Path());
    const std::string relative = (fs::current_path() / "relative.pdb").string();
    directory.InstallFile("relative.pdb");
    fs::current_path(old);
    EXPECT_EQ(ReadFileText(queue), "/old/first.pdb\n/old/second.prc\n/books/new.pdb\n" + relative + "\n");
    EXPECT_THAT(FilesIn(home.Path() + ".jpilot"), ElementsAre("backup", "jpilot.install")) << "a temporary file was left";

    fs::remove(queue), fs::create_directory(queue);
    EXPECT_THROW(directory.InstallFile("/books/a.pdb"), UserDirectoryError);
}

// --- the folder tree ----------------------------------------------------------

TEST(FolderTreeDirectory, UsersAreTheSubfoldersWithBackupInByteOrderWithNameAndProfileFiles) {
    TempDir root;
    MakeTreeUsers(root.Path(), {"bob", "Zed", "alice", "\xc3\x89lise", "d"});
    fs::create_directories(root.Path() + "noBackup/install");
    fs::create_directories(root.Path() + "plainFile");
    for (const auto& [file, text] : {std::pair{"stray-file", "x"}, {"fileBackup", "x"}, {"plainFile/backup", "a file, not a folder"},
                                     {"alice/name", "  Ann Smith \r\nsecond line\n"}, {"bob/name", " \r\n"},
                                     {"bob/profile", ""}, {"d/name", "Travel"}, {"d/profile", ""}}) {
        WriteFileText(root.File(file), text);
    }

    FolderTreeDirectory directory(root.Path());
    EXPECT_THAT(Names(directory), ElementsAre("Zed", "Ann Smith", "bob (profile)", "Travel (profile)", "\xc3\x89lise"));
    EXPECT_EQ(BackupFolder(directory, 1), root.Path() + "alice/backup/") << "the folder, not the name, makes the path";
    for (const int position : {5, -1}) EXPECT_EQ(directory.UserIdAt(position), 0) << position;
}

TEST(FolderTreeDirectory, RootGetsOneTrailingSeparatorAndMustBeAFolderIfItExists) {
    TempDir root;
    MakeTreeUsers(root.Path(), {"ann"});
    const std::string bare = root.Path().substr(0, root.Path().size() - 1);
    for (const std::string& given : {bare, root.Path(), root.Path() + "/"}) {
        FolderTreeDirectory directory(given);
        directory.SelectUser(directory.UserIdAt(0));
        EXPECT_EQ(directory.RootFolder(), root.Path());
    }
    EXPECT_EQ(FolderTreeDirectory(root.Path() + "not-made-yet").UserCount(), 0);
    WriteFileText(root.File("a-file"), "x");
    for (const char* end : {"", "/"}) EXPECT_THROW(FolderTreeDirectory(root.File("a-file") + end).UserCount(), UserDirectoryError);
}

TEST(FolderTreeDirectory, InstallCopiesIntoInstallReplacingTheSameName) {
    TempDir root, books;
    MakeTreeUsers(root.Path(), {"ann", "bob"});
    FolderTreeDirectory directory(root.Path());
    directory.SelectUser(directory.UserIdAt(1));
    for (const char* text : {"first", "second, longer"}) {
        WriteFileText(books.File("book.pdb"), text);
        directory.InstallFile(books.File("book.pdb"));
        EXPECT_EQ(ReadFileText(root.Path() + "bob/install/book.pdb"), text);
    }
    EXPECT_FALSE(fs::exists(root.Path() + "ann/install")) << "went to the wrong user";
    EXPECT_THROW(directory.InstallFile(books.File("missing.pdb")), UserDirectoryError);
    EXPECT_THROW(directory.InstallFile(books.Path()), UserDirectoryError);
    EXPECT_THAT(FilesIn(root.Path() + "bob/install"), ElementsAre("book.pdb"));

    WriteFileText(root.Path() + "ann/install", "a file where the folder belongs");
    directory.SelectUser(directory.UserIdAt(0));
    EXPECT_THROW(directory.InstallFile(books.File("book.pdb")), UserDirectoryError);
}

// --- the combined directory --------------------------------------------------

TEST(SystemUserDirectory, JpilotUserFirstIdsStableUntilANewDirectoryAndSelectionServesEveryCall) {
    TempDir home, root;
    MakeJpilot(home.Path(), "user Palm Owner\n");
    MakeTreeUsers(root.Path(), {"zoe", "adam"});
    WriteFileText(root.Path() + "zoe/profile", "");
    auto directory = MakeSystemUserDirectory({home.Path(), root.Path(), "login"});
    EXPECT_THAT(Names(*directory), ElementsAre("Palm Owner", "adam", "zoe (profile)"));
    std::set<int> ids;
    for (int position = 0; position < 3; ++position) ids.insert(directory->UserIdAt(position));
    EXPECT_TRUE(ids.size() == 3u && ids.count(0) == 0u);
    EXPECT_EQ(BackupFolder(*directory, 2), root.Path() + "zoe/backup/");
    EXPECT_EQ(BackupFolder(*directory, 0), home.Path() + ".jpilot/backup/") << "root must follow the selection";

    // Installing goes through the same selection.
    WriteFileText(home.File("book.pdb"), "x");
    for (const int position : {0, 1}) {
        directory->SelectUser(directory->UserIdAt(position));
        directory->InstallFile(home.File("book.pdb"));
    }
    EXPECT_EQ(ReadFileText(home.Path() + ".jpilot/jpilot.install"), home.File("book.pdb") + "\n");
    EXPECT_EQ(ReadFileText(root.Path() + "adam/install/book.pdb"), "x");
    EXPECT_FALSE(fs::exists(root.Path() + "zoe/install"));

    // A user who sorts first, made after the directory was read, must not
    // move the existing users to other ids.
    MakeTreeUsers(root.Path(), {"a"});
    EXPECT_EQ(directory->UserCount(), 3);
    directory->SelectUser(directory->UserIdAt(1));
    EXPECT_EQ(directory->UserName(), "adam");
    EXPECT_EQ(directory->UserIdAt(3), 0);
    fs::remove(home.Path() + ".jpilot/jpilot.rc");  // the login name stands in
    EXPECT_THAT(Names(*MakeSystemUserDirectory({home.Path(), root.Path(), "login"})),
                ElementsAre("login", "a", "adam", "zoe (profile)"));
}

TEST(SystemUserDirectory, NoUsersUnknownIdsCallsBeforeSelectingAndAnUnreadableTreeAreRefused) {
    EXPECT_EQ(MakeSystemUserDirectory({})->UserCount(), 0);
    TempDir home;
    auto none = MakeSystemUserDirectory({home.Path(), home.Path() + "no-tree", "login"});
    EXPECT_EQ(none->UserCount(), 0);
    EXPECT_EQ(none->UserIdAt(0), 0);

    MakeTreeUsers(home.Path(), {"ann"});
    auto directory = MakeSystemUserDirectory({"", home.Path(), "login"});
    EXPECT_THROW(directory->UserName(), UserDirectoryError);
    EXPECT_THROW(directory->RootFolder(), UserDirectoryError);
    for (const int id : {0, -1, 2, 1000}) EXPECT_THROW(directory->SelectUser(id), UserDirectoryError) << id;

    MakeJpilot(home.Path());
    WriteFileText(home.File("tree"), "not a folder");
    auto unreadable = MakeSystemUserDirectory({home.Path(), home.File("tree"), "login"});
    InstallTargets targets(unreadable.get());
    EXPECT_THAT(targets.FillInstallList(),
                ElementsAre("Warning: the HotSync users cannot be read: the HotSync folder " + home.File("tree") +
                            " is not a folder"));
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Custom"));
}

TEST(DirectoryEnvironment, FromProcessReadsTheVariablesWithHomeStandingInForJpilotHome) {
    ScopedEnvironment home("HOME", "/home/h"), root("LUM2_HOTSYNC_ROOT", "/srv/hotsync");
    for (const auto& [jpilot, expected] : {std::pair<const char*, const char*>{"/j", "/j"}, {nullptr, "/home/h"}, {"", "/home/h"}}) {
        ScopedEnvironment jpilotVariable("JPILOT_HOME", jpilot);
        const auto environment = DirectoryEnvironment::FromProcess();
        EXPECT_EQ(environment.jpilotHome, expected);
        EXPECT_EQ(environment.hotsyncRoot, "/srv/hotsync");
        EXPECT_FALSE(environment.loginName.empty());
    }
    ScopedEnvironment noRoot("LUM2_HOTSYNC_ROOT", nullptr);
    EXPECT_EQ(DirectoryEnvironment::FromProcess().hotsyncRoot, "");
}

}  // namespace
}  // namespace lum2
