#include "tasks/record_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <tuple>
#include <vector>

#include "temp_dir.h"

// When set, no-replace renames fail with this error, as on a file system or
// kernel without them; the store must then fall back to looking first.
int g_noReplaceRenameError = 0;

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
    if (g_noReplaceRenameError != 0) return errno = g_noReplaceRenameError, -1;
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

namespace lum2 {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

constexpr std::size_t kFreshSize = 2 * kRecordSize;

template <typename Data>
std::string At(const Data& data, std::size_t at, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(data.data() + at), length);
}

std::string Padded(const std::string& text, std::size_t width) { return text + std::string(width - text.size(), ' '); }

TaskRecord Task(const std::string& id, const std::string& pcfile) {
    TaskRecord task = DefaultClipboardRecord();  // version "0", as tasks have
    task.pcfile = pcfile, task.palmfile = pcfile + ".pdb", task.taskid = id;
    return task;
}

// A store file as a previous session would have left it: settings,
// clipboard, then one task per id.
Bytes StoreFile(const std::vector<std::string>& ids) {
    Bytes file;
    auto add = [&file](const TaskRecord& record) {
        const RecordBytes bytes = EncodeRecord(record);
        file.insert(file.end(), bytes.begin(), bytes.end());
    };
    add(DefaultSettingsRecord());
    add(DefaultClipboardRecord());
    for (const auto& id : ids) add(Task(id, "/home/user/book" + id + ".txt"));
    return file;
}

template <typename Call>
std::string ErrorOf(Call call) {
    try { call(); } catch (const StoreError& error) { return error.what(); }
    return "no error";
}

void SetFileSizeLimit(rlim_t limit) {
    rlimit bound{};
    ::getrlimit(RLIMIT_FSIZE, &bound);
    bound.rlim_cur = std::min(limit, bound.rlim_max), ::setrlimit(RLIMIT_FSIZE, &bound);
}

// Runs body in a child process whose files cannot grow past limit bytes, as
// on a full disk; returns the child's exit code (body's result).
int InChild(rlim_t limit, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        SetFileSizeLimit(limit);
        int code = 91;
        try { code = body(); } catch (...) {}
        std::_Exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RecordStoreTest : public ::testing::Test {
protected:
    void TearDown() override { g_noReplaceRenameError = 0; }
    test::TempDir dir;
    const std::string store = dir.File("lumdata.dat");
    RecordStore records;
};

// --- the record's bytes -----------------------------------------------------

TEST(TaskRecordBytes, TextsArePaddedAndCutWithoutSplittingAUtf8Sequence) {
    TaskRecord record = DefaultSettingsRecord();
    record.status = std::string(70, 'x'), record.pcfile = "  leading blanks\tand a tab  ";
    RecordBytes bytes = EncodeRecord(record);
    EXPECT_EQ(At(bytes, 1114, 64), std::string(64, 'x'));
    EXPECT_EQ(At(bytes, 1178, 2), std::string("\x01\x00", 2)) << "status overran into pcfilter";
    EXPECT_EQ(DecodeRecord(bytes).status, std::string(64, 'x'));
    EXPECT_EQ(DecodeRecord(bytes).pcfile, "  leading blanks\tand a tab") << "trimmed only at the end";

    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", u800 = "\xE0\xA0\x80", clef = "\xF0\x9D\x84\x9E";
    record.pcfile = std::string(511, 'a') + e;
    bytes = EncodeRecord(record);
    EXPECT_EQ(At(bytes, 4, 512), std::string(511, 'a') + " ");
    EXPECT_EQ(DecodeRecord(bytes).pcfile, std::string(511, 'a'));

    // Bytes that are not UTF-8 are cut where the width falls, so a damaged
    // name still keeps its full width instead of losing its end.
    const std::tuple<std::string, std::size_t, std::string> cuts[] = {
        {"ab" + euro, 3, "ab"}, {"ab" + euro, 4, "ab"}, {"ab" + euro + "c", 5, "ab" + euro},
        {"ab" + u800, 4, "ab"}, {"a" + clef, 4, "a"}, {e + e, 3, e}, {"short", 20, "short"},
        {std::string(10, '\x80'), 4, std::string(4, '\x80')}, {std::string(20, '\x80'), 2, std::string(2, '\x80')},
        {"abc\xFF\xFF", 4, "abc\xFF"}, {"a" + e + "\x80\x80", 4, "a" + e + "\x80"}};
    for (const auto& [text, width, cut] : cuts) EXPECT_EQ(CutToField(text, width), cut) << text << " " << width;
}

TEST(TaskRecordBytes, NumbersBooleansAndDatesHaveTheirLayoutAndDamageReadsSafe) {
    TaskRecord record = DefaultSettingsRecord();
    record.counter = -2, record.category = 300, record.switch2 = false;
    record.pcfiletime = 46023.0, record.palmfiletime = std::nan("");  // 2026-01-01 00:00, no number
    RecordBytes bytes = EncodeRecord(record);
    EXPECT_EQ(At(bytes, 1186, 2), std::string("\xFE\xFF", 2));
    EXPECT_EQ(At(bytes, 1078, 2), std::string("\x2C\x01", 2));
    EXPECT_EQ(At(bytes, 1182, 4), std::string("\xFF\xFF\x00\x00", 4));
    EXPECT_EQ(At(bytes, 516, 8), std::string("\x00\x00\x00\x00\xE0\x78\xE6\x40", 8));
    EXPECT_EQ(At(bytes, 1036, 8), std::string(8, '\0')) << "a date that is no number is stored as none";

    bytes[1182] = 0x01, bytes[1183] = 0x00, bytes[1185] = 0x80;  // any non-zero switch is on
    const double nan = std::nan(""), inf = INFINITY, later = 46023.75;
    std::memcpy(bytes.data() + 516, &nan, 8);
    std::memcpy(bytes.data() + 1036, &inf, 8);
    const TaskRecord back = DecodeRecord(bytes);
    EXPECT_EQ(std::tuple(back.switch1, back.switch2, back.pcfiletime, back.palmfiletime, back.counter, back.category),
              std::tuple(true, true, 0.0, 0.0, int16_t{-2}, int16_t{300}));
    std::memcpy(bytes.data() + 1036, &later, 8);
    EXPECT_DOUBLE_EQ(DecodeRecord(bytes).palmfiletime, 46023.75);
}

TEST(TaskRecordBytes, EveryFieldHasAPlaceOfItsOwn) {
    const TaskRecord task{"0",    "/home/user/Bücher/roman.txt", 46023.5, "roman.pdb", 45000.25, kDirectionSync, "101011", 7, 8,
                          "0100", "OK", 2, 3, true, false, -5, "123456789"};
    // Equal bytes mean equal fields: no field is lost or read from another's place.
    EXPECT_EQ(EncodeRecord(DecodeRecord(EncodeRecord(task))), EncodeRecord(task));
}

TEST(TaskRecordBytes, OptionsAndInstallEntriesCountOnlyAnExactOne) {
    TaskRecord record;
    record.options = "1021 1";
    std::string options;
    for (int option = 0; option <= 7; ++option) options += record.HasOption(option) ? '1' : '0';
    EXPECT_EQ(options, "01001010");
    record.install = "01";
    EXPECT_TRUE(record.InstallChecked(1));
    for (const int entry : {-1, 0, 2}) EXPECT_FALSE(record.InstallChecked(entry)) << entry;
}

// --- opening ----------------------------------------------------------------

TEST_F(RecordStoreTest, AFreshStoreHoldsTheTwoDefaultRecords) {
    records.OpenStore(dir.Path());
    EXPECT_EQ(records.RecordCount(), 2);
    EXPECT_EQ(records.Path(), store);
    records.Close();
    const auto file = ReadFileBytes(store);
    ASSERT_EQ(file.size(), kFreshSize);
    const std::size_t c = kRecordSize;  // the clipboard record
    const std::pair<std::size_t, std::string> layout[] = {
        {0, "0010"}, {4, std::string(512, ' ')}, {516, std::string(8, '\0')}, {1044, std::string("\x01\x00", 2)},
        {1046, Padded("110000110", 32)},  // UTF-8 Text and Bookmarks ticked
        {1080, std::string("\x04\x00", 2)}, {1082, Padded("1", 32)}, {1182, "\xFF\xFF\xFF\xFF"},
        {1188, std::string(20, ' ')}, {c, Padded("0", 4)}, {c + 524, Padded("clipboard.pdb", 512)},
        {c + 1044, std::string("\x03\x00", 2)}, {c + 1046, Padded("1100001", 32)}, {c + 1080, std::string("\x04\x00", 2)},
        {c + 1178, std::string("\x01\x00\x01\x00", 4)}, {c + 1182, std::string(4, '\0')}, {c + 1188, Padded("2", 20)}};
    for (const auto& [at, expected] : layout) EXPECT_EQ(At(file, at, expected.size()), expected) << at;
    EXPECT_FALSE(fs::exists(store + ".bak") || fs::exists(dir.File("lumdata.tmp")));
}

TEST_F(RecordStoreTest, AnUnknownFileIsKeptAsANumberedBackupBeforeStartingAfresh) {
    const std::vector<Bytes> unknown = {
        [] { auto f = StoreFile({"7", "8"}); f[3] = '9'; return f; }(),          // version "0019"
        {'0', '0'},                                                              // shorter than a version
        [] { auto f = StoreFile({}); f.resize(kRecordSize + 10); return f; }(),  // settings only
        Bytes(5000, 0xA5)};
    const auto name = [this](std::size_t i) { return store + ".bak" + (i == 0 ? "" : "." + std::to_string(i)); };
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        WriteFileBytes(store, unknown[i]);
        g_noReplaceRenameError = i == 3 ? ENOSYS : 0;  // the last one without no-replace renames
        records.OpenStore(dir.Path());
        EXPECT_EQ(ReadFileBytes(store), StoreFile({}));
        EXPECT_EQ(records.GetRecord(2).palmfile, "clipboard.pdb");
        EXPECT_EQ(records.SetAsidePath(), name(i));
        EXPECT_EQ(records.SetAsideMessage(), "Warning: " + store + " was no task list of this version; it is kept as " +
                                                 name(i) + " and a new, empty task list was begun");
        records.Close();
    }
    // Neither the store as found nor an empty file is set aside.
    for (const Bytes& kept : {StoreFile({}), Bytes{}}) {
        WriteFileBytes(store, kept);
        records.OpenStore(dir.Path());
        EXPECT_EQ(records.SetAsidePath() + records.SetAsideMessage(), "");
        records.Close();
    }
    for (std::size_t i = 0; i < unknown.size(); ++i) EXPECT_EQ(ReadFileBytes(name(i)), unknown[i]);

    // On a full disk the backup fails whole: the store and the earlier backups stay.
    WriteFileBytes(store, Bytes(8000, 'd'));
    const int code = InChild(6000, [this] {
        const std::string text = ErrorOf([this] { records.OpenStore(dir.Path()); });
        return text == "Error: cannot write the backup " + dir.File("lumdata.bak.tmp") + ": " + std::strerror(EFBIG) ? 0 : 2;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(store), Bytes(8000, 'd'));
    for (std::size_t i = 0; i < unknown.size(); ++i) EXPECT_EQ(ReadFileBytes(name(i)), unknown[i]);
    EXPECT_FALSE(fs::exists(name(unknown.size())) || fs::exists(dir.File("lumdata.bak.tmp")));
}

TEST_F(RecordStoreTest, AnExistingStoreIsReadAsItIsAndAnEndFragmentIsWrittenOver) {
    auto file = StoreFile({"11", "22", "33"});
    file.resize(file.size() + 100, 'z');
    WriteFileBytes(store, file);
    records.OpenStore(dir.Path());
    EXPECT_EQ(records.RecordCount(), 5);
    EXPECT_EQ(records.GetRecord(5).taskid, "33");
    EXPECT_EQ(records.GetRecord(3).pcfile, "/home/user/book11.txt");
    EXPECT_EQ(ReadFileBytes(store), file);
    EXPECT_FALSE(fs::exists(store + ".bak"));

    records.PutRecord(6, Task("66", "x"));
    EXPECT_EQ(ReadFileBytes(store).size(), 6 * kRecordSize);
    EXPECT_EQ(records.GetRecord(6).taskid, "66");
}

TEST_F(RecordStoreTest, OnlyOneStoreAtATimeMayHoldAFolderAndAFailedOpenNamesThePathAndLetsGo) {
    records.OpenStore(dir.Path());
    RecordStore second;
    const auto refusal = [&] { return ErrorOf([&] { second.OpenStore(dir.Path()); }); };
    EXPECT_EQ(refusal(), "Error: " + store + " is in use by tasks_tests (process " + std::to_string(getpid()) +
                             "); close it first");
    EXPECT_FALSE(second.IsOpen());
    // The lock file's bytes are anybody's: only a short name and a number name a holder, escaped.
    for (const auto& [bytes, holder] : {std::pair<std::string, std::string>{"lum2 42\n", "lum2 (process 42)"},
                                        {"\xff 5\n", "\\xff (process 5)"}, {"lum2 42", ""}, {"a\x1b[2J 7\n", ""},
                                        {std::string(33, 'n') + " 7\n", ""}, {"x 1234567890\n", ""}, {"x -1\n", ""}}) {
        test::WriteFileText(dir.File("lumdata.lock"), bytes);
        EXPECT_EQ(refusal(), "Error: " + store + " is in use by " +
                                 (holder.empty() ? "another LUM2 program" : holder + "; close it first"))
            << bytes;
    }

    // The lock lives in its own file, so rewriting lumdata.dat keeps it.
    records.PutRecord(3, Task("5", "a"));
    records.PutRecord(4, Task("6", "b"));
    records.DeleteRecord(3);
    EXPECT_THROW(second.OpenStore(dir.Path()), StoreError);

    // Closing twice must not close descriptors another store reused.
    records.Close();
    second.OpenStore(dir.Path());
    records.Close();
    EXPECT_EQ(second.RecordCount(), 3);
    EXPECT_EQ(second.GetRecord(3).taskid, "6");
    RecordStore third;
    EXPECT_THROW(third.OpenStore(dir.Path()), StoreError);
    second.PutRecord(4, Task("9", "a"));
    EXPECT_EQ(second.GetRecord(4).taskid, "9");

    // A failed open lets the lock go, and so does the destructor.
    test::TempDir other;
    fs::create_directory(other.File("lumdata.dat"));
    EXPECT_EQ(ErrorOf([&] { records.OpenStore(other.Path()); }),
              "Error: cannot open " + other.File("lumdata.dat") + ": " + std::strerror(EISDIR));
    EXPECT_FALSE(records.IsOpen());
    fs::remove(other.File("lumdata.dat"));
    { RecordStore fourth; fourth.OpenStore(other.Path()); }
    EXPECT_NO_THROW(third.OpenStore(other.Path()));
    EXPECT_EQ(ErrorOf([this] { records.OpenStore(dir.File("no/")); }), "Error: the folder " + dir.File("no") + " does not exist");

    // A link planted at the lock's name is not followed: nothing is made where it leads.
    test::TempDir planted;
    fs::create_symlink(planted.File("victim"), planted.File("lumdata.lock"));
    EXPECT_EQ(ErrorOf([&] { records.OpenStore(planted.Path()); }),
              "Error: cannot create the lock file " + planted.File("lumdata.lock") + ": " + std::strerror(ELOOP));
    EXPECT_FALSE(fs::exists(planted.File("victim")));
}

// --- reading and writing ----------------------------------------------------

TEST_F(RecordStoreTest, AFailedAppendLeavesNoPartOfTheRecord) {
    const auto file = StoreFile({"11", "22"});
    WriteFileBytes(store, file);
    // Room for 500 bytes more: the record is written in part, then the disk is full.
    const int code = InChild(file.size() + 500, [&] {
        records.OpenStore(dir.Path());
        const std::string text = ErrorOf([this] { records.PutRecord(5, Task("55", "/home/user/book55.txt")); });
        if (text != "Error: cannot write record 5 of " + store + ": " + std::strerror(EFBIG)) return 2;
        if (ReadFileBytes(store) != file || records.RecordCount() != 4) return 3;
        // With room again the same store appends cleanly: nothing stale is left to write.
        SetFileSizeLimit(RLIM_INFINITY);
        records.PutRecord(5, Task("55", "/home/user/book55.txt"));
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(store), StoreFile({"11", "22", "55"}));
}

TEST_F(RecordStoreTest, RecordNumbersOutsideTheFileAreRefused) {
    records.OpenStore(dir.Path());
    for (const int n : {-1, 0, 3}) {
        EXPECT_EQ(ErrorOf([&] { records.GetRecord(n); }),
                  "Error: record " + std::to_string(n) + " does not exist in " + store + " (2 records)");
    }
    for (const int n : {0, 4}) {
        EXPECT_EQ(ErrorOf([&] { records.PutRecord(n, Task("9", "a")); }),
                  "Error: cannot write record " + std::to_string(n) + " of " + store + " (2 records)");
    }
    // Neither the settings nor the clipboard record is deleted.
    for (const int n : {1, 2, 3}) {
        EXPECT_EQ(ErrorOf([&] { records.DeleteRecord(n); }),
                  "Error: cannot delete record " + std::to_string(n) + " of " + store + " (2 records)");
    }
    EXPECT_EQ(ReadFileBytes(store).size(), kFreshSize);
    records.PutRecord(2, DefaultClipboardRecord());
    EXPECT_EQ(records.RecordCount(), 2);

    records.Close();
    EXPECT_EQ(ErrorOf([this] { records.GetRecord(1); }), "Error: the task store is not open");
    EXPECT_THROW(records.PutRecord(1, DefaultSettingsRecord()), StoreError);
    EXPECT_THROW(records.DeleteRecord(3), StoreError);
    EXPECT_EQ(records.RecordCount(), 0);
}

// --- task ids ---------------------------------------------------------------

TEST_F(RecordStoreTest, TaskIdsAreDrawnFromThreeToTheLargest32BitNumberAndNotTaken) {
    records.OpenStore(dir.Path());
    // A source that strays outside [0, 1) still yields a valid id.
    const std::pair<double, const char*> draws[] = {{0.0, "3"}, {std::nextafter(1.0, 0.0), "2147483647"},
                                                    {0.5, "1073741825"}, {1.0, "2147483647"}, {-0.5, "3"},
                                                    {std::nan(""), "3"}};
    for (const auto& [value, id] : draws) {
        records.SetRandomSource([value = value] { return value; });
        EXPECT_EQ(records.NewTaskId(), id) << value;
    }
    // Taken ids are drawn again; a source that only gives taken ones ends with an error.
    records.PutRecord(3, Task("3", "a"));
    records.PutRecord(4, Task("1073741825", "b"));
    int calls = 0;
    records.SetRandomSource([&calls] { return std::vector<double>{0.0, 0.5, 0.0, 0.25}[calls++ % 4]; });
    EXPECT_EQ(records.NewTaskId(), "536870914");
    EXPECT_EQ(calls, 4);
    records.SetRandomSource([] { return 0.0; });
    EXPECT_EQ(ErrorOf([this] { records.NewTaskId(); }), "Error: no free task id could be drawn for " + store);
}

// --- deleting ---------------------------------------------------------------

TEST_F(RecordStoreTest, DeletingMovesLaterRecordsUpByteForByteAndAFailedRewriteChangesNothing) {
    auto file = StoreFile({"11", "22", "33"});
    file[4 * kRecordSize + 1182] = 0x07;  // an odd "true" this version would not write
    WriteFileBytes(store, file);
    records.OpenStore(dir.Path());
    // A folder in the temp file's place cannot be removed or written.
    fs::create_directories(dir.File("lumdata.tmp/blocker"));
    EXPECT_EQ(ErrorOf([this] { records.DeleteRecord(4); }),
              "Error: cannot create " + dir.File("lumdata.tmp") + ": " + std::strerror(EISDIR));
    EXPECT_EQ(ReadFileBytes(store), file);
    EXPECT_EQ(records.GetRecord(5).taskid, "33");  // still open, on the same file

    // A temp file left over from a crash must not end up in the store.
    fs::remove_all(dir.File("lumdata.tmp"));
    WriteFileBytes(dir.File("lumdata.tmp"), Bytes(9 * kRecordSize, 'Q'));

    records.DeleteRecord(4);
    EXPECT_EQ(records.GetRecord(4).taskid, "33");  // read from the new file
    auto expected = StoreFile({"11", "33"});
    expected[3 * kRecordSize + 1182] = 0x07;
    EXPECT_EQ(ReadFileBytes(store), expected);
    EXPECT_FALSE(fs::exists(dir.File("lumdata.tmp")));

    // The store carries on with the rewritten file; the last task leaves the defaults.
    records.PutRecord(5, Task("55", "y"));
    for (int n = 5; n >= 3; --n) records.DeleteRecord(n);
    EXPECT_EQ(ReadFileBytes(store), StoreFile({}));
}

TEST_F(RecordStoreTest, DeletingThroughALinkKeepsTheLinkAndReleasesTheFolderHandle) {
    fs::create_directories(dir.File("kept"));
    WriteFileBytes(dir.File("kept/tasks.dat"), StoreFile({"11", "22"}));
    fs::create_symlink("kept/tasks.dat", store);
    // Standard input closed: the folder synced after the rename gets descriptor 0, which must be given back.
    const int code = InChild(RLIM_INFINITY, [this] {
        ::close(0), ::open("/dev/null", O_RDONLY);
        records.OpenStore(dir.Path());
        ::close(0);
        records.DeleteRecord(3);
        struct stat zero {};
        const bool leaked = ::fstat(0, &zero) == 0 && S_ISDIR(zero.st_mode);
        // The open store carries on with the file behind the link.
        records.PutRecord(4, Task("44", "/home/user/book44.txt"));
        return leaked ? 4 : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::is_symlink(store));
    EXPECT_EQ(ReadFileBytes(dir.File("kept/tasks.dat")), StoreFile({"22", "44"}));
    EXPECT_FALSE(fs::exists(dir.File("kept/lumdata.tmp")));
}

// A private store stays private, a group's store stays the group's, and a
// new one gets the usual mode under the umask.
TEST_F(RecordStoreTest, TheRewriteAndTheBackupKeepTheStoresMode) {
    const auto mode = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    };
    const mode_t oldMask = ::umask(022);
    records.OpenStore(dir.Path());
    EXPECT_EQ(mode(store), 0644u);
    records.Close();
    for (const mode_t kept : {0600, 0640}) {
        WriteFileBytes(store, StoreFile({"11", "22"}));
        ::chmod(store.c_str(), kept);
        records.OpenStore(dir.Path());
        records.DeleteRecord(3);
        EXPECT_EQ(mode(store), kept);
        records.Close();

        WriteFileBytes(store, Bytes(100, 'j'));  // no store: kept as a backup, and begun afresh
        records.OpenStore(dir.Path());
        EXPECT_EQ(mode(records.SetAsidePath()), kept);
        EXPECT_EQ(mode(store), kept);
        records.Close();
    }
    ::umask(oldMask);
}

}  // namespace
}  // namespace lum2
