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

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/safe_file.h"
#include "process.h"
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

// A file the user may not write is kept though the folder allows a rename:
// root writes any file, as cp would; a user is told, as an editor would tell them.
TEST(ReplacementFile, KeepsTheOldFilesModeAReadOnlyFileForAUserAndNewFilesFollowTheUmask) {
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0755, 0444}) {
        const std::string name = "text" + std::to_string(mode), path = dir.File(name);
        WriteFileText(path, "old");
        chmod(path.c_str(), mode);
        fs::create_symlink(name, path + ".link");
        const bool refused = (mode & 0200) == 0 && geteuid() != 0;
        for (const std::string& through : {path, path + ".link"}) {
            EXPECT_EQ(Replace(through, "new"), refused ? path + " is read-only: it was left as it is" : "") << through;
            EXPECT_EQ(ModeOf(path), mode);
            EXPECT_EQ(ReadFileText(path), refused ? "old" : "new");
        }
    }
    EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
    const mode_t saved = umask(027);
    EXPECT_EQ(Replace(dir.File("fresh"), "new"), "");
    umask(saved);
    EXPECT_EQ(ModeOf(dir.File("fresh")), 0640u);

    // Root may keep another user's ownership too.
    if (geteuid() != 0) return;
    WriteFileText(dir.File("theirs"), "old");
    ASSERT_EQ(chown(dir.File("theirs").c_str(), 4321, 8765), 0);
    ASSERT_EQ(Replace(dir.File("theirs"), "new"), "");
    EXPECT_TRUE(Lstat(dir.File("theirs")).st_uid == 4321u && Lstat(dir.File("theirs")).st_gid == 8765u);
}

TEST(WorkingFiles, AreMadeNewAndPrivateWhateverWasPlantedAtTheirName) {
    TempDir dir;
    WriteFileText(dir.File("victim"), "keep");
    chmod(dir.File("victim").c_str(), 0666);
    const std::string work = dir.File("lumfilter.tmp");
    const auto plant = std::vector<std::pair<const char*, std::function<void()>>>{
        {"nothing", [] {}},
        {"a stale file", [&] { WriteFileText(work, "stale"); }},
        {"a link to a file", [&] { fs::create_symlink(dir.File("victim"), work); }},
        {"a dangling link", [&] { fs::create_symlink(dir.File("created-by-us"), work); }},
        {"a FIFO", [&] { mkfifo(work.c_str(), 0666); }}};
    const mode_t saved = umask(0);
    for (const auto& [what, planted] : plant) {
        planted();
        std::string cause;
        const int fd = CreateWorkingFile(work, cause);
        ASSERT_GE(fd, 0) << what << ": " << cause;
        EXPECT_EQ(write(fd, "mine", 4), 4);
        close(fd);
        const struct stat made = Lstat(work);
        EXPECT_TRUE(S_ISREG(made.st_mode) && (made.st_mode & 07777) == 0600 && made.st_uid == geteuid()) << what;
        EXPECT_EQ(ReadFileText(work), "mine") << what;
        fs::remove(work);
    }
    umask(saved);
    EXPECT_EQ(ReadFileText(dir.File("victim")), "keep");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("created-by-us"))));
    // A folder is not a stale working file: it stays, and the cause says what it is.
    fs::create_directory(work);
    std::string cause;
    EXPECT_EQ(CreateWorkingFile(work, cause), -1);
    EXPECT_EQ(cause, work + " is a folder, not a regular file: it was left as it is");
}

TEST(WorkingFiles, FilesAreReadOnlyWhenRegularAndTheSameFileIsFoundThroughLinks) {
    TempDir dir;
    WriteFileText(dir.File("a.txt"), "text");
    fs::create_symlink("a.txt", dir.File("link"));
    fs::create_hard_link(dir.File("a.txt"), dir.File("hard"));
    WriteFileText(dir.File("b.txt"), "text");
    for (const char* same : {"a.txt", "link", "hard"}) EXPECT_TRUE(IsSameFile(dir.File("a.txt"), dir.File(same))) << same;
    for (const char* other : {"b.txt", "missing"}) EXPECT_FALSE(IsSameFile(dir.File("a.txt"), dir.File(other))) << other;
    // One terminal or pipe in and out is no file to lose.
    EXPECT_FALSE(IsSameFile("/dev/null", "/dev/null"));

    // A FIFO with no writer would block a plain open for ever.
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    fs::create_directory(dir.File("folder"));
    for (const auto& [name, cause] : std::vector<std::pair<std::string, std::string>>{
             {"pipe", dir.File("pipe") + " is a named pipe (FIFO), not a regular file"},
             {"folder", dir.File("folder") + " is a folder, not a regular file"},
             {"missing", dir.File("missing") + ": " + ErrorText(ENOENT)}}) {
        std::string why;
        EXPECT_EQ(OpenRegularStream(dir.File(name), why), nullptr);
        EXPECT_EQ(why, cause);
    }
    std::string why;
    std::FILE* file = OpenRegularStream(dir.File("link"), why);
    ASSERT_NE(file, nullptr);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file), 4u);
    std::fclose(file);
    EXPECT_STREQ(text, "text");
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
        const int status = RunInChild([&] {
            signal(SIGHUP, SIG_IGN);
            InstallSignalCleanup();
            raise(SIGHUP);
            ReplacementFile file(dir.File("book.txt"));
            if (file.Ok() && TemporaryFilesIn(dir.Path()) == 1) raise(signalNumber);
            return 0;
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
        EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
    }
    EXPECT_EQ(ReadFileText(dir.File("book.txt")), "old");
}

TEST(ReplacementFile, ALongCopyLetsTheWindowsEventsRunEveryFourMegabytes) {
    TempDir dir;
    struct : ProgressSink {
        int events = 0;
        void LetEventsRun() override { ++events; }
    } sink;
    WriteFileText(dir.File("big"), std::string(65 * 65536 + 1, 'x'));  // 66 reads of 64 KB
    ASSERT_TRUE(CopyFileSafely(dir.File("big"), dir.File("copy"), nullptr, &sink));
    EXPECT_EQ(sink.events, 1);
    EXPECT_EQ(std::filesystem::file_size(dir.File("copy")), 65u * 65536 + 1);
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
    EXPECT_EQ(RunInChild([&] {
        return !CopyFileSafely(dir.File("pipe"), dir.File("target"), &cause) &&
               cause == dir.File("pipe") + " is a named pipe (FIFO), not a regular file" ? 0 : 1;
    }, std::chrono::seconds(5)), 0);
    fs::remove(dir.File("pipe"));
    EXPECT_EQ(ReadFileText(dir.File("target")), "old");
    EXPECT_EQ(TemporaryFilesIn(dir.Path()), 0);
}

}  // namespace
}  // namespace lum2::test
