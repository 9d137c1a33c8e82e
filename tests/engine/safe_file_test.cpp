// Replacing a user's file at the file system's edges: links, special files,
// modes, long names, leftovers of killed runs and the causes of failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "engine/safe_file.h"
#include "temp_dir.h"

namespace lum2::test {
namespace {

namespace fs = std::filesystem;

// Replaces path with text through a ReplacementFile; the cause when it fails.
std::string Replace(const std::string& path, const std::string& text) {
    ReplacementFile file(path);
    if (file.Ok() && std::fputs(text.c_str(), file.File()) >= 0 && file.Commit()) return "";
    return file.Cause().empty() ? "no cause" : file.Cause();
}

long TemporaryFilesIn(const std::string& folder) {
    const fs::directory_iterator entries(folder);
    return std::count_if(fs::begin(entries), fs::end(entries), [](const fs::directory_entry& entry) {
        return entry.path().filename().string().find("lum2-") != std::string::npos;
    });
}

struct stat Lstat(const std::string& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info;
}

TEST(ReplacementFile, ExistingPathsThatAreNotRegularFilesAreLeftAlone) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    dir.File("socket").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    // A copy of /dev/null's node: only root may make one.
    const bool device = mknod(dir.File("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const auto& [name, kind] : {std::pair<std::string, const char*>{"pipe", "a named pipe (FIFO)"},
                                     {"folder", "a folder"}, {"socket", "a socket"}, {"device", "a device"}}) {
        if (name == "device" && !device) continue;
        const std::string path = dir.File(name);
        const struct stat before = Lstat(path);
        // A FIFO with no reader would block an open for writing: the test would hang.
        EXPECT_EQ(Replace(path, "text"), path + " is " + kind + ", not a regular file: it was left as it is");
        // Through a link it is refused just the same.
        fs::create_symlink(name, dir.File("link-" + name));
        EXPECT_NE(Replace(dir.File("link-" + name), "text").find("not a regular file"), std::string::npos);
        const struct stat after = Lstat(path);
        EXPECT_TRUE(after.st_ino == before.st_ino && after.st_mode == before.st_mode) << name;
    }
    EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
}

TEST(ReplacementFile, WritesThroughLinksAndTheLinkStaysALink) {
    TempDir dir;
    fs::create_directories(dir.File("real"));
    WriteFileText(dir.File("real/pc.txt"), "old");
    fs::create_symlink("real/pc.txt", dir.File("relative"));           // relative to the link's folder
    fs::create_symlink(dir.File("relative"), dir.File("chain"));        // a link to a link
    fs::create_symlink("real/new.txt", dir.File("dangling"));          // names a file still to make
    fs::create_symlink("missing/new.txt", dir.File("nowhere"));        // into a folder that is not there
    fs::create_symlink("loop", dir.File("loop"));

    const std::pair<const char*, const char*> written[] = {
        {"relative", "real/pc.txt"}, {"chain", "real/pc.txt"}, {"dangling", "real/new.txt"}};
    for (const auto& [link, file] : written) {
        EXPECT_EQ(Replace(dir.File(link), link), "");
        EXPECT_EQ(ReadFileText(dir.File(file)), link);
        EXPECT_TRUE(fs::is_symlink(dir.File(link))) << link;
    }
    // What /dev/stdout leads to: a /proc link reports 64 bytes whatever path it names.
    const std::string deep = dir.File(std::string(100, 'd') + ".txt");
    const int open = ::open(deep.c_str(), O_WRONLY | O_CREAT, 0600);
    EXPECT_EQ(Replace("/proc/self/fd/" + std::to_string(open), "deep"), "");
    EXPECT_EQ(ReadFileText(deep), "deep");
    close(open);
    EXPECT_EQ(Replace(dir.File("nowhere"), "x"), ErrorText(ENOENT));
    EXPECT_EQ(Replace(dir.File("loop"), "x"), ErrorText(ELOOP));
    EXPECT_FALSE(fs::exists(dir.File("missing")));
    EXPECT_EQ(TemporaryFilesIn(dir.Path()) + TemporaryFilesIn(dir.File("real")), 0);
}

TEST(ReplacementFile, KeepsTheModeOfTheOldFileAndNewFilesFollowTheUmask) {
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0444, 0755}) {
        const std::string path = dir.File("text" + std::to_string(mode));
        WriteFileText(path, "old");
        chmod(path.c_str(), mode);
        ASSERT_EQ(Replace(path, "new"), "");
        EXPECT_EQ(Lstat(path).st_mode & 07777, mode);
    }
    const mode_t saved = umask(027);
    EXPECT_EQ(Replace(dir.File("fresh"), "new"), "");
    umask(saved);
    EXPECT_EQ(Lstat(dir.File("fresh")).st_mode & 07777, 0640u);

    // Root may keep another user's ownership too.
    if (geteuid() != 0) return;
    WriteFileText(dir.File("theirs"), "old");
    ASSERT_EQ(chown(dir.File("theirs").c_str(), 4321, 8765), 0);
    ASSERT_EQ(Replace(dir.File("theirs"), "new"), "");
    EXPECT_TRUE(Lstat(dir.File("theirs")).st_uid == 4321u && Lstat(dir.File("theirs")).st_gid == 8765u);
}

TEST(ReplacementFile, NamesUpToTheLongestTheFolderTakes) {
    TempDir dir;
    // The temporary name shortens its copy of the name, never within a character.
    std::string accented;
    while (accented.size() < 253) accented += "\xC3\xA9";  // 254 bytes
    for (const std::string& name : {std::string(243, 'a'), std::string(250, 'b'), std::string(255, 'c'), accented}) {
        const std::string path = dir.File(name);
        ASSERT_EQ(Replace(path, "first"), "") << name.size();
        ReplacementFile file(path);
        ASSERT_TRUE(file.Ok());
        const std::string temporary = fs::path(file.TemporaryPath()).filename().string();
        EXPECT_TRUE(temporary.size() <= 255u && temporary.starts_with(".lum2-")) << temporary;
        EXPECT_NE((static_cast<unsigned char>(temporary.back()) & 0xC0), 0xC0) << "a character cut in two";
        std::fputs("second", file.File());
        ASSERT_TRUE(file.Commit());
        EXPECT_EQ(ReadFileText(path), "second");
    }
    EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
}

TEST(ReplacementFile, RemovesOnlyTheLeftoversOfKilledReplacementsOfTheSameFile) {
    TempDir dir;
    WriteFileText(dir.File("book.txt"), "old");
    const std::vector<std::string> leftovers = {".lum2-Ab12Cd-book.txt", ".book.txt.lum2-x9Y8z7"};
    // Another file's, not the pattern, not hidden, another file's.
    const std::vector<std::string> others = {".lum2-Ab12Cd-book.txt.bak", ".lum2-Ab12C-book.txt",
                                             "lum2-Ab12Cd-book.txt", ".other.lum2-x9Y8z7"};
    for (const auto& name : leftovers) WriteFileText(dir.File(name), "partial");
    for (const auto& name : others) WriteFileText(dir.File(name), "keep");
    fs::create_directory(dir.File(".lum2-Qw12er-book.txt"));              // a folder by the name
    fs::create_symlink("book.txt", dir.File(".lum2-Zx12cv-book.txt"));    // a link by the name
    mkfifo(dir.File(".lum2-Pp12pp-book.txt").c_str(), 0600);              // a FIFO by the name
    if (geteuid() == 0) {
        WriteFileText(dir.File(".lum2-Uu12uu-book.txt"), "someone else's");
        ASSERT_EQ(chown(dir.File(".lum2-Uu12uu-book.txt").c_str(), 4321, 4321), 0);
    }
    // A replacement still running holds its temporary file: it is not a leftover.
    ReplacementFile running(dir.File("book.txt"));
    ASSERT_TRUE(running.Ok());

    ASSERT_EQ(Replace(dir.File("book.txt"), "new"), "");
    for (const auto& name : leftovers) EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File(name)))) << name;
    for (const auto& name : others) EXPECT_EQ(ReadFileText(dir.File(name)), "keep") << name;
    EXPECT_TRUE(fs::is_directory(dir.File(".lum2-Qw12er-book.txt")) &&
                fs::is_symlink(dir.File(".lum2-Zx12cv-book.txt")) && fs::is_fifo(dir.File(".lum2-Pp12pp-book.txt")));
    EXPECT_TRUE(geteuid() != 0 || fs::exists(dir.File(".lum2-Uu12uu-book.txt")));
    EXPECT_TRUE(fs::exists(running.TemporaryPath()));
    std::fputs("newest", running.File());
    EXPECT_TRUE(running.Commit());
    EXPECT_EQ(ReadFileText(dir.File("book.txt")), "newest");
}

TEST(ReplacementFile, ASignalRemovesTheTemporaryFileAndEndsTheProgramButAnIgnoredOneStaysIgnored) {
    TempDir dir;
    WriteFileText(dir.File("book.txt"), "old");
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGHUP, SIG_IGN);
            InstallSignalCleanup();
            raise(SIGHUP);
            ReplacementFile file(dir.File("book.txt"));
            if (file.Ok() && TemporaryFilesIn(dir.Path()) == 1) raise(signalNumber);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
        EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
    }
    EXPECT_EQ(ReadFileText(dir.File("book.txt")), "old");
}

TEST(ReplacementFile, AFailedWriteKeepsTheOldFileAndItsCause) {
    TempDir dir;
    // Every write on /dev/full fails with "No space left on device".
    int error = 0;
    std::FILE* full = OpenCheckedStream(open("/dev/full", O_WRONLY | O_CLOEXEC), "wb", &error);
    ASSERT_NE(full, nullptr);
    std::fputs("text", full);
    EXPECT_NE(std::fflush(full), 0);
    std::fclose(full);
    EXPECT_EQ(error, ENOSPC);

    // A copy from a source that cannot be read names it.
    WriteFileText(dir.File("target"), "old");
    std::string cause;
    EXPECT_FALSE(CopyFileSafely(dir.File("missing"), dir.File("target"), &cause));
    EXPECT_EQ(cause, dir.File("missing") + ": " + ErrorText(ENOENT));
    EXPECT_FALSE(CopyFileSafely(dir.File("target"), dir.File("nofolder/x"), &cause));
    EXPECT_EQ(cause, dir.File("nofolder/x") + ": " + ErrorText(ENOENT));
    // A FIFO source is refused, not waited on; in a child, so that waiting
    // fails the test instead of hanging it.
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    const pid_t child = fork();
    if (child == 0) {
        alarm(5);
        _exit(!CopyFileSafely(dir.File("pipe"), dir.File("target"), &cause) &&
              cause == dir.File("pipe") + " is a named pipe (FIFO), not a regular file" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    fs::remove(dir.File("pipe"));
    EXPECT_EQ(ReadFileText(dir.File("target")), "old");
    EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
}

}  // namespace
}  // namespace lum2::test
