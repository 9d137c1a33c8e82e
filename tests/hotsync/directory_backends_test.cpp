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
using ::testing::IsEmpty;

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

void MakeTreeUser(const std::string& root, const std::string& folder) { fs::create_directories(root + folder + "/backup"); }

std::vector<std::string> Names(UserDirectory& directory) {
    std::vector<std::string> names;
    const int count = directory.UserCount();
    for (int position = 0; position < count; ++position) {
        directory.SelectUser(directory.UserIdAt(position));
        names.push_back(directory.UserName());
    }
    return names;
}

std::string BackupFolder(UserDirectory& directory, int position) {
    directory.SelectUser(directory.UserIdAt(position));
    return directory.RootFolder() + directory.UserFolder() + "/backup/";
}

// Sets or clears an environment variable for one test.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::string& folder) : old_(fs::current_path()) { fs::current_path(folder); }
    ~ScopedWorkingFolder() { fs::current_path(old_); }

private:
    fs::path old_;
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
    std::string bare = home.Path();
    bare.pop_back();
    for (const std::string& given : {home.Path(), bare}) {
        JpilotDirectory directory(given, "ann");
        ASSERT_EQ(directory.UserCount(), 1);
        EXPECT_NE(directory.UserIdAt(0), 0);
        EXPECT_EQ(directory.UserIdAt(1), 0);
        EXPECT_EQ(BackupFolder(directory, 0), home.Path() + ".jpilot/backup/");
        EXPECT_FALSE(directory.IsProfile());
    }
}

TEST(JpilotDirectory, NameComesFromJpilotRcElseTheLoginName) {
    struct Case {
        const char* rc;
        const char* expected;
    };
    const Case cases[] = {
        {"", "ann"},
        {"sync_memo 1\nuser   Ann Smith  \nport /dev/ttyUSB0\n", "Ann Smith"},
        {"user\tTabbed\r\n", "Tabbed"},
        {"  user Indented", "Indented"},
        {"username Wrong\nusers Wrong\n", "ann"},
        {"user   \n", "ann"},
        {"port /dev/ttyS0\n", "ann"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc);
        TempDir home;
        MakeJpilot(home.Path(), c.rc);
        JpilotDirectory directory(home.Path(), "ann");
        directory.SelectUser(directory.UserIdAt(0));
        EXPECT_EQ(directory.UserName(), c.expected);
    }
}

TEST(JpilotDirectory, InstallQueuesTheAbsolutePathOnce) {
    TempDir home;
    MakeJpilot(home.Path());
    const std::string queue = home.Path() + ".jpilot/jpilot.install";
    WriteFileText(queue, "/old/first.pdb\n/old/second.prc");  // no final line break
    JpilotDirectory directory(home.Path(), "ann");
    directory.SelectUser(directory.UserIdAt(0));

    directory.InstallFile("/books/new.pdb");
    directory.InstallFile("/books/new.pdb");
    directory.InstallFile("/old/first.pdb");
    EXPECT_EQ(ReadFileText(queue), "/old/first.pdb\n/old/second.prc\n/books/new.pdb\n");

    std::string expected;
    {
        ScopedWorkingFolder inside(home.Path());
        expected = (fs::current_path() / "relative.pdb").string();
        directory.InstallFile("relative.pdb");
    }
    EXPECT_EQ(ReadFileText(queue), "/old/first.pdb\n/old/second.prc\n/books/new.pdb\n" + expected + "\n");
    EXPECT_THAT(FilesIn(home.Path() + ".jpilot"), ElementsAre("backup", "jpilot.install"))
        << "a temporary file was left behind";
}

TEST(JpilotDirectory, InstallStartsTheQueueAndReportsFailures) {
    TempDir home;
    MakeJpilot(home.Path());
    JpilotDirectory directory(home.Path(), "ann");
    EXPECT_THROW(directory.InstallFile("/books/a.pdb"), UserDirectoryError) << "no user selected";
    directory.SelectUser(directory.UserIdAt(0));
    directory.InstallFile("/books/a.pdb");
    EXPECT_EQ(ReadFileText(home.Path() + ".jpilot/jpilot.install"), "/books/a.pdb\n");

    EXPECT_THROW(directory.InstallFile("/books/two\nlines.pdb"), UserDirectoryError);
    EXPECT_EQ(ReadFileText(home.Path() + ".jpilot/jpilot.install"), "/books/a.pdb\n");

    TempDir broken;
    MakeJpilot(broken.Path());
    fs::create_directory(broken.Path() + ".jpilot/jpilot.install");
    JpilotDirectory unwritable(broken.Path(), "ann");
    unwritable.SelectUser(unwritable.UserIdAt(0));
    EXPECT_THROW(unwritable.InstallFile("/books/a.pdb"), UserDirectoryError);
}

// --- the folder tree ----------------------------------------------------------

TEST(FolderTreeDirectory, UsersAreTheSubfoldersWithBackupInByteOrder) {
    TempDir root;
    for (const char* folder : {"bob", "Zed", "alice", "\xc3\x89lise"}) MakeTreeUser(root.Path(), folder);
    fs::create_directories(root.Path() + "noBackup/install");
    WriteFileText(root.File("stray-file"), "x");
    WriteFileText(root.File("fileBackup"), "x");
    fs::create_directories(root.Path() + "plainFile");
    WriteFileText(root.Path() + "plainFile/backup", "a file, not a folder");

    FolderTreeDirectory directory(root.Path());
    EXPECT_THAT(Names(directory), ElementsAre("Zed", "alice", "bob", "\xc3\x89lise"));
    EXPECT_EQ(BackupFolder(directory, 1), root.Path() + "alice/backup/");
    EXPECT_EQ(directory.UserIdAt(4), 0);
    EXPECT_EQ(directory.UserIdAt(-1), 0);
}

TEST(FolderTreeDirectory, NameFileAndProfileFile) {
    TempDir root;
    for (const char* folder : {"a", "b", "c", "d"}) MakeTreeUser(root.Path(), folder);
    WriteFileText(root.Path() + "a/name", "  Ann Smith \r\nsecond line\n");
    WriteFileText(root.Path() + "b/name", " \r\n");
    WriteFileText(root.Path() + "c/profile", "");
    WriteFileText(root.Path() + "d/name", "Travel");
    WriteFileText(root.Path() + "d/profile", "");

    FolderTreeDirectory directory(root.Path());
    EXPECT_THAT(Names(directory), ElementsAre("Ann Smith", "b", "c", "Travel"));
    std::vector<bool> profiles;
    for (int position = 0; position < 4; ++position) {
        directory.SelectUser(directory.UserIdAt(position));
        profiles.push_back(directory.IsProfile());
    }
    EXPECT_THAT(profiles, ElementsAre(false, false, true, true));
    EXPECT_EQ(BackupFolder(directory, 3), root.Path() + "d/backup/") << "the folder, not the name, makes the path";
}

TEST(FolderTreeDirectory, RootGetsOneTrailingSeparatorAndMustBeAFolderIfItExists) {
    TempDir root;
    MakeTreeUser(root.Path(), "ann");
    std::string bare = root.Path();
    bare.pop_back();
    for (const std::string& given : {bare, root.Path(), root.Path() + "/"}) {
        FolderTreeDirectory directory(given);
        directory.SelectUser(directory.UserIdAt(0));
        EXPECT_EQ(directory.RootFolder(), root.Path());
    }

    EXPECT_EQ(FolderTreeDirectory(root.Path() + "not-made-yet").UserCount(), 0);
    WriteFileText(root.File("a-file"), "x");
    EXPECT_THROW(FolderTreeDirectory(root.File("a-file")).UserCount(), UserDirectoryError);
    EXPECT_THROW(FolderTreeDirectory(root.File("a-file") + "/").UserCount(), UserDirectoryError);
}

TEST(FolderTreeDirectory, InstallCopiesIntoInstallReplacingTheSameName) {
    TempDir root;
    TempDir books;
    MakeTreeUser(root.Path(), "ann");
    MakeTreeUser(root.Path(), "bob");
    WriteFileText(books.File("book.pdb"), "first");

    FolderTreeDirectory directory(root.Path());
    directory.SelectUser(directory.UserIdAt(1));
    directory.InstallFile(books.File("book.pdb"));
    EXPECT_EQ(ReadFileText(root.Path() + "bob/install/book.pdb"), "first");
    EXPECT_FALSE(fs::exists(root.Path() + "ann/install")) << "went to the wrong user";

    WriteFileText(books.File("book.pdb"), "second, longer");
    directory.InstallFile(books.File("book.pdb"));
    EXPECT_EQ(ReadFileText(root.Path() + "bob/install/book.pdb"), "second, longer");
    EXPECT_THAT(FilesIn(root.Path() + "bob/install"), ElementsAre("book.pdb"));

    EXPECT_THROW(directory.InstallFile(books.File("missing.pdb")), UserDirectoryError);
    EXPECT_THROW(directory.InstallFile(books.Path()), UserDirectoryError);
    EXPECT_THAT(FilesIn(root.Path() + "bob/install"), ElementsAre("book.pdb"));

    WriteFileText(root.Path() + "ann/install", "a file where the folder belongs");
    directory.SelectUser(directory.UserIdAt(0));
    EXPECT_THROW(directory.InstallFile(books.File("book.pdb")), UserDirectoryError);
}

// --- the combined directory --------------------------------------------------

TEST(SystemUserDirectory, JpilotUserComesBeforeTheTreeUsers) {
    TempDir home;
    TempDir root;
    MakeJpilot(home.Path(), "user Palm Owner\n");
    MakeTreeUser(root.Path(), "zoe");
    MakeTreeUser(root.Path(), "adam");
    WriteFileText(root.Path() + "zoe/profile", "");

    auto directory = MakeSystemUserDirectory({home.Path(), root.Path(), "login"});
    EXPECT_THAT(Names(*directory), ElementsAre("Palm Owner", "adam", "zoe"));
    EXPECT_EQ(BackupFolder(*directory, 0), home.Path() + ".jpilot/backup/");
    EXPECT_EQ(BackupFolder(*directory, 2), root.Path() + "zoe/backup/");
    EXPECT_EQ(BackupFolder(*directory, 0), home.Path() + ".jpilot/backup/") << "root must follow the selection";

    InstallTargets targets(directory.get());
    EXPECT_THAT(targets.FillInstallList(), IsEmpty());
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Palm Owner", "adam", "zoe - Profile", "Custom"));
    EXPECT_EQ(targets.UserBackupFolder(2), root.Path() + "zoe/backup/");

    WriteFileText(home.File("book.pdb"), "x");
    targets.QueueForInstall(0, home.File("book.pdb"));
    targets.QueueForInstall(1, home.File("book.pdb"));
    EXPECT_EQ(ReadFileText(home.Path() + ".jpilot/jpilot.install"), home.File("book.pdb") + "\n");
    EXPECT_EQ(ReadFileText(root.Path() + "adam/install/book.pdb"), "x");
    EXPECT_FALSE(fs::exists(root.Path() + "zoe/install"));
}

TEST(SystemUserDirectory, IdsAreNonZeroDistinctAndStableUntilANewDirectory) {
    TempDir home;
    TempDir root;
    MakeJpilot(home.Path());
    MakeTreeUser(root.Path(), "b");
    MakeTreeUser(root.Path(), "c");
    auto directory = MakeSystemUserDirectory({home.Path(), root.Path(), "login"});
    ASSERT_EQ(directory->UserCount(), 3);
    std::vector<int> ids;
    for (int position = 0; position < 3; ++position) ids.push_back(directory->UserIdAt(position));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0), 0);
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), 3u);

    // A user who sorts first, made after the directory was read, must not
    // move the existing users to other ids.
    MakeTreeUser(root.Path(), "a");
    EXPECT_EQ(directory->UserCount(), 3);
    directory->SelectUser(ids[1]);
    EXPECT_EQ(directory->UserName(), "b");
    EXPECT_EQ(directory->UserIdAt(3), 0);

    EXPECT_EQ(Names(*MakeSystemUserDirectory({home.Path(), root.Path(), "login"})),
              (std::vector<std::string>{"login", "a", "b", "c"}));
}

TEST(SystemUserDirectory, NoUsersUnknownIdsAndCallsBeforeSelectingAreRefused) {
    EXPECT_EQ(MakeSystemUserDirectory({})->UserCount(), 0);
    TempDir home;
    auto none = MakeSystemUserDirectory({home.Path(), home.Path() + "no-tree", "login"});
    EXPECT_EQ(none->UserCount(), 0);
    EXPECT_EQ(none->UserIdAt(0), 0);

    TempDir root;
    MakeTreeUser(root.Path(), "ann");
    auto directory = MakeSystemUserDirectory({"", root.Path(), "login"});
    EXPECT_THROW(directory->UserName(), UserDirectoryError);
    EXPECT_THROW(directory->RootFolder(), UserDirectoryError);
    for (const int id : {0, -1, 2, 1000}) EXPECT_THROW(directory->SelectUser(id), UserDirectoryError) << id;
}

TEST(SystemUserDirectory, AnUnreadableTreeIsReportedThroughTheInstallList) {
    TempDir home;
    MakeJpilot(home.Path());
    WriteFileText(home.File("tree"), "not a folder");
    auto directory = MakeSystemUserDirectory({home.Path(), home.File("tree"), "login"});
    InstallTargets targets(directory.get());
    const auto warnings = targets.FillInstallList();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_THAT(warnings[0], ::testing::HasSubstr(home.File("tree")));
    EXPECT_THAT(targets.EntryTexts(), ElementsAre("Custom"));
}

TEST(DirectoryEnvironment, FromProcessReadsTheVariables) {
    TempDir temp;
    const std::string home = temp.Path() + "home";
    const std::string jpilot = temp.Path() + "jpilot";
    ScopedEnvironment homeVariable("HOME", home.c_str());
    ScopedEnvironment rootVariable("LUM2_HOTSYNC_ROOT", "/srv/hotsync");
    {
        ScopedEnvironment jpilotVariable("JPILOT_HOME", jpilot.c_str());
        const auto environment = DirectoryEnvironment::FromProcess();
        EXPECT_EQ(environment.jpilotHome, jpilot);
        EXPECT_EQ(environment.hotsyncRoot, "/srv/hotsync");
        EXPECT_FALSE(environment.loginName.empty());
    }
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnvironment jpilotVariable("JPILOT_HOME", unset);
        EXPECT_EQ(DirectoryEnvironment::FromProcess().jpilotHome, home);
    }
    ScopedEnvironment noRoot("LUM2_HOTSYNC_ROOT", nullptr);
    EXPECT_EQ(DirectoryEnvironment::FromProcess().hotsyncRoot, "");
}

}  // namespace
}  // namespace lum2
