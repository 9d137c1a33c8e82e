#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hotsync/folder_tree_directory.h"
#include "hotsync/install_targets.h"
#include "hotsync/jpilot_directory.h"
#include "hotsync/system_user_directory.h"
#include "process.h"
#include "temp_dir.h"

namespace lum2 {
namespace {

namespace fs = std::filesystem;
using test::FilesIn;
using test::ReadFileText;
using test::ScopedEnvironment;
using test::TempDir;
using test::WriteFileText;
using ::testing::ElementsAre;

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

TEST(JpilotDirectory, InstallQueuesTheAbsolutePathAndRefusesPathsOfTwoLines) {
    TempDir home;
    MakeJpilot(home.Path());
    JpilotDirectory directory(home.Path(), "ann");
    EXPECT_THROW(directory.InstallFile("/books/a.pdb"), UserDirectoryError) << "no user selected";
    directory.SelectUser(directory.UserIdAt(0));
    EXPECT_THROW(directory.InstallFile("/books/two\nlines.pdb"), UserDirectoryError);
    const fs::path old = fs::current_path();
    fs::current_path(home.Path());
    const std::string relative = (fs::current_path() / "relative.pdb").string();
    directory.InstallFile("relative.pdb");
    fs::current_path(old);
    EXPECT_EQ(ReadFileText(home.Path() + ".jpilot/jpilot.install"), relative + "\n");
}

TEST(JpilotDirectory, InstallAppendsToTheQueueFileItselfKeepingEveryLineWhole) {
    struct Case {
        const char* what;
        std::optional<std::string> before;  // none: no queue yet
        bool throughLink;
        std::string after;
    };
    const Case cases[] = {
        {"a new queue", std::nullopt, false, "/b/new.pdb\n"},
        {"lines kept", "/b/old.pdb\n", false, "/b/old.pdb\n/b/new.pdb\n"},
        {"no final line break", "/b/old.pdb\n/b/half", false, "/b/old.pdb\n/b/half\n/b/new.pdb\n"},
        {"already queued", "/b/new.pdb\r\n/b/old.pdb\n", false, "/b/new.pdb\r\n/b/old.pdb\n"},
        {"through a link", "/b/old.pdb\n", true, "/b/old.pdb\n/b/new.pdb\n"},
        {"through a dangling link", std::nullopt, true, "/b/new.pdb\n"}};
    for (const Case& c : cases) {
        TempDir home;
        MakeJpilot(home.Path());
        const std::string queue = home.Path() + ".jpilot/jpilot.install";
        const std::string file = c.throughLink ? home.File("queue") : queue;
        if (c.throughLink) fs::create_symlink("../queue", queue);
        if (c.before) WriteFileText(file, *c.before);
        struct stat before {};
        stat(file.c_str(), &before);
        JpilotDirectory directory(home.Path(), "ann");
        directory.SelectUser(directory.UserIdAt(0));
        directory.InstallFile("/b/new.pdb");

        EXPECT_EQ(ReadFileText(file), c.after) << c.what;
        struct stat after {};
        stat(file.c_str(), &after);
        // J-Pilot or a script may hold the queue open, or a hard link to it.
        if (c.before) {
            EXPECT_EQ(after.st_ino, before.st_ino) << c.what << ": the queue was replaced";
        } else {
            EXPECT_EQ(after.st_mode & 0777, 0600u) << c.what;
        }
        EXPECT_EQ(fs::is_symlink(queue), c.throughLink) << c.what;
        EXPECT_THAT(FilesIn(home.Path() + ".jpilot"), ElementsAre("backup", "jpilot.install")) << c.what;
    }
}

TEST(JpilotDirectory, InstallLosesNoLineAnotherProgramAppendsMeanwhile) {
    TempDir home;
    MakeJpilot(home.Path());
    const std::string queue = home.Path() + ".jpilot/jpilot.install";
    constexpr int kTheirLines = 500;
    const pid_t child = test::StartChild([&] {
        // Starts once our first line is in, so that all of its lines go in
        // while we are still adding ours.
        for (int wait = 0; !fs::exists(queue) || fs::file_size(queue) == 0; ++wait) {
            if (wait == 5000) return 2;
            usleep(1000);
        }
        for (int i = 0; i < kTheirLines; ++i) {
            const std::string line = "/theirs/" + std::to_string(i) + ".pdb\n";
            const int fd = open(queue.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            if (fd < 0 || write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 1;
            close(fd);
            // Spread over many of ours, each of which waits for the disk.
            if (i % 5 == 0) usleep(200);
        }
        return 0;
    });
    JpilotDirectory directory(home.Path(), "ann");
    directory.SelectUser(directory.UserIdAt(0));
    int ours = 0;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) directory.InstallFile("/ours/" + std::to_string(ours++) + ".pdb");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Each line once: none lost, none twice, none cut into or made up.
    std::vector<std::string> lines, expected;
    std::istringstream queued(ReadFileText(queue));
    for (std::string line; std::getline(queued, line);) lines.push_back(line);
    for (int i = 0; i < kTheirLines; ++i) expected.push_back("/theirs/" + std::to_string(i) + ".pdb");
    for (int i = 0; i < ours; ++i) expected.push_back("/ours/" + std::to_string(i) + ".pdb");
    std::sort(lines.begin(), lines.end()), std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(lines == expected) << lines.size() << " lines for " << expected.size() << ", " << ours << " of them ours";
}

TEST(JpilotDirectory, AMissingBackupFolderIsMadePrivateWhatStandsThereIsKept) {
    // What stands as backup before: nothing, a link to a folder, a dangling link, a file.
    const std::pair<std::string, fs::file_type> cases[] = {{"", fs::file_type::directory},
                                                           {"folder", fs::file_type::symlink},
                                                           {"nowhere", fs::file_type::symlink},
                                                           {"file", fs::file_type::regular}};
    for (const auto& [planted, expected] : cases) {
        TempDir home;
        fs::create_directory(home.Path() + ".jpilot");
        fs::create_directory(home.File("folder"));
        const std::string backup = home.Path() + ".jpilot/backup";
        if (planted == "file") WriteFileText(backup, "x");
        if (expected == fs::file_type::symlink) fs::create_symlink(home.File(planted), backup);
        JpilotDirectory directory(home.Path(), "ann");
        EXPECT_EQ(BackupFolder(directory, 0), home.Path() + ".jpilot/backup/");
        const fs::file_status status = fs::symlink_status(backup);
        EXPECT_EQ(status.type(), expected) << planted;
        if (expected == fs::file_type::directory) {
            EXPECT_EQ(status.permissions(), fs::perms::owner_all);
        }
        EXPECT_FALSE(fs::exists(home.File("nowhere")));
    }
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

// --- both backends -----------------------------------------------------------

// Runs body in a child process, ended after a few seconds, so that a call
// that blocks fails the test instead of hanging it. True when body threw a
// UserDirectoryError whose text holds expected.
bool FailsAtOnceWith(const std::function<void()>& body, const std::string& expected) {
    return test::RunInChild([&] {
        try {
            body();
        } catch (const UserDirectoryError& error) {
            if (std::string(error.what()).find(expected) != std::string::npos) return 0;
            std::fprintf(stderr, "%s\n", error.what());
        }
        return 1;
    }, std::chrono::seconds(5)) == 0;
}

TEST(DirectoryBackends, WhatIsNotARegularFileOfASaneSizeWhereTheyReadOrAppendIsRefusedAtOnce) {
    TempDir home;
    MakeJpilot(home.Path());
    MakeTreeUsers(home.Path() + "tree/", {"ann"});
    const auto install = [&] {
        JpilotDirectory directory(home.Path(), "ann");
        directory.SelectUser(directory.UserIdAt(0));
        directory.InstallFile("/b/a.pdb");
    };
    const auto listJpilot = [&] { JpilotDirectory(home.Path(), "ann").UserCount(); };
    const auto listTree = [&] { FolderTreeDirectory(home.Path() + "tree").UserCount(); };
    enum Planted { kFifo, kFolder, kLarge };
    const struct {
        std::string path;
        Planted planted;
        std::function<void()> body;
        std::string expected;
    } cases[] = {
        {".jpilot/jpilot.install", kFifo, install, " is a named pipe (FIFO), not a regular file"},
        {".jpilot/jpilot.install", kFolder, install, " is a folder, not a regular file"},
        {".jpilot/jpilot.install", kLarge, install, ": larger than 16 MB"},
        {".jpilot/jpilot.rc", kFifo, listJpilot, " is a named pipe (FIFO), not a regular file"},
        {"tree/ann/name", kFifo, listTree, " is a named pipe (FIFO), not a regular file"}};
    for (const auto& c : cases) {
        const std::string path = home.File(c.path);
        if (c.planted == kFifo) mkfifo(path.c_str(), 0600);
        if (c.planted == kFolder) fs::create_directory(path);
        if (c.planted == kLarge) WriteFileText(path, ""), fs::resize_file(path, (16 << 20) + 1);
        EXPECT_TRUE(FailsAtOnceWith(c.body, path + c.expected)) << c.path << c.expected;
        fs::remove_all(path);
    }
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

    // Installing goes through the same selection (lum2doc's run installs for each kind of user).
    WriteFileText(home.File("book.pdb"), "x");
    directory->InstallFile(home.File("book.pdb"));
    EXPECT_TRUE(fs::exists(home.Path() + ".jpilot/jpilot.install") && !fs::exists(root.Path() + "zoe/install"));

    // A user who sorts first, made after the directory was read, must not
    // move the existing users to other ids.
    MakeTreeUsers(root.Path(), {"a"});
    EXPECT_EQ(directory->UserCount(), 3);
    directory->SelectUser(directory->UserIdAt(1));
    EXPECT_EQ(directory->UserName(), "adam");
    EXPECT_EQ(directory->UserIdAt(3), 0);
    EXPECT_THAT(Names(*MakeSystemUserDirectory({home.Path(), root.Path(), "login"})),
                ElementsAre("Palm Owner", "a", "adam", "zoe (profile)"));
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
