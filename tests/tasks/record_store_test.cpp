#include "tasks/record_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "../engine/temp_dir.h"

namespace lum2 {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using ::testing::HasSubstr;

constexpr std::size_t kFreshSize = 2 * kRecordSize;

template <typename Data>
std::string Bytes(const Data& data, std::size_t at, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(data.data() + at), length);
}

std::string Padded(const std::string& text, std::size_t width) { return text + std::string(width - text.size(), ' '); }

TaskRecord Task(const std::string& id, const std::string& pcfile) {
    TaskRecord task = DefaultClipboardRecord();
    task.version = "0";
    task.pcfile = pcfile;
    task.palmfile = pcfile + ".pdb";
    task.taskid = id;
    return task;
}

// A store file as a previous session would have left it: settings,
// clipboard, then one task per id.
std::vector<uint8_t> StoreFile(const std::vector<std::string>& ids) {
    std::vector<uint8_t> file;
    auto add = [&file](const TaskRecord& record) {
        const RecordBytes bytes = EncodeRecord(record);
        file.insert(file.end(), bytes.begin(), bytes.end());
    };
    add(DefaultSettingsRecord());
    add(DefaultClipboardRecord());
    for (const auto& id : ids) add(Task(id, "/home/user/book" + id + ".txt"));
    return file;
}

RecordStore::RandomSource Sequence(std::vector<double> values, int* draws) {
    return [values = std::move(values), draws]() {
        const double value = values[static_cast<std::size_t>(*draws) % values.size()];
        ++*draws;
        return value;
    };
}

// Runs body in a child process whose files cannot grow past limit bytes, as
// on a full disk; returns the child's exit code (body's result).
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        rlimit bound{};
        ::getrlimit(RLIMIT_FSIZE, &bound);
        bound.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &bound);
        int code = 90;
        try {
            code = body();
        } catch (...) {
            code = 91;
        }
        std::_Exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void LiftFileSizeLimit() {
    rlimit bound{};
    ::getrlimit(RLIMIT_FSIZE, &bound);
    bound.rlim_cur = bound.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &bound);
}

// --- the record's bytes -----------------------------------------------------

TEST(TaskRecordBytes, TextsArePaddedCutAndTrimmedOnlyAtTheEnd) {
    TaskRecord record = DefaultSettingsRecord();
    record.status = std::string(70, 'x');
    record.pcfile = "  leading blanks\tand a tab  ";
    const RecordBytes bytes = EncodeRecord(record);
    EXPECT_EQ(Bytes(bytes, 1114, 64), std::string(64, 'x'));
    EXPECT_EQ(Bytes(bytes, 1178, 2), std::string("\x01\x00", 2)) << "status overran into pcfilter";

    const TaskRecord back = DecodeRecord(bytes);
    EXPECT_EQ(back.status, std::string(64, 'x'));
    EXPECT_EQ(back.pcfile, "  leading blanks\tand a tab");

    record.status = "OK";
    EXPECT_EQ(DecodeRecord(EncodeRecord(record)).status, "OK");
}

TEST(TaskRecordBytes, CutNeverSplitsAUtf8Sequence) {
    const std::string e_acute = "\xC3\xA9";
    const std::string euro = "\xE2\x82\xAC";
    const std::string clef = "\xF0\x9D\x84\x9E";

    TaskRecord record;
    record.pcfile = std::string(511, 'a') + e_acute;
    RecordBytes bytes = EncodeRecord(record);
    EXPECT_EQ(Bytes(bytes, 4, 512), std::string(511, 'a') + " ");
    EXPECT_EQ(DecodeRecord(bytes).pcfile, std::string(511, 'a'));

    EXPECT_EQ(CutToField("ab" + euro, 3), "ab");
    EXPECT_EQ(CutToField("ab" + euro, 4), "ab");
    EXPECT_EQ(CutToField("ab" + euro + "c", 5), "ab" + euro);
    EXPECT_EQ(CutToField("a" + clef, 4), "a");
    EXPECT_EQ(CutToField(e_acute + e_acute, 3), e_acute);
    EXPECT_EQ(CutToField("short", 20), "short");

    // Bytes that are not UTF-8 are cut where the width falls, so a damaged
    // name still keeps its full width instead of losing its end.
    EXPECT_EQ(CutToField(std::string(10, '\x80'), 4), std::string(4, '\x80'));
    EXPECT_EQ(CutToField("abc\xFF\xFF", 4), "abc\xFF");
    EXPECT_EQ(CutToField("a" + e_acute + "\x80\x80", 4), "a" + e_acute + "\x80");
}

TEST(TaskRecordBytes, IntegersBooleansAndDatesHaveTheirFileLayout) {
    TaskRecord record = DefaultSettingsRecord();
    record.counter = -2;
    record.category = 300;
    record.switch1 = true;
    record.switch2 = false;
    record.pcfiletime = 46023.0;  // 2026-01-01 00:00
    record.palmfiletime = 46023.75;
    const RecordBytes bytes = EncodeRecord(record);

    EXPECT_EQ(Bytes(bytes, 1186, 2), std::string("\xFE\xFF", 2));
    EXPECT_EQ(Bytes(bytes, 1078, 2), std::string("\x2C\x01", 2));
    EXPECT_EQ(Bytes(bytes, 1182, 2), std::string("\xFF\xFF", 2));
    EXPECT_EQ(Bytes(bytes, 1184, 2), std::string("\x00\x00", 2));
    EXPECT_EQ(Bytes(bytes, 516, 8), std::string("\x00\x00\x00\x00\xE0\x78\xE6\x40", 8));

    const TaskRecord back = DecodeRecord(bytes);
    EXPECT_EQ(back.counter, -2);
    EXPECT_EQ(back.category, 300);
    EXPECT_DOUBLE_EQ(back.pcfiletime, 46023.0);
    EXPECT_DOUBLE_EQ(back.palmfiletime, 46023.75);
}

TEST(TaskRecordBytes, DamagedFieldsReadAsSafeValues) {
    RecordBytes bytes = EncodeRecord(DefaultClipboardRecord());
    bytes[1182] = 0x01;  // switch1: any non-zero is true
    bytes[1185] = 0x80;  // switch2
    const double nan = std::nan("");
    const double inf = INFINITY;
    std::memcpy(bytes.data() + 516, &nan, 8);
    std::memcpy(bytes.data() + 1036, &inf, 8);
    const TaskRecord back = DecodeRecord(bytes);
    EXPECT_TRUE(back.switch1);
    EXPECT_TRUE(back.switch2);
    EXPECT_EQ(back.pcfiletime, 0);
    EXPECT_EQ(back.palmfiletime, 0);

    TaskRecord record;
    record.pcfiletime = nan;
    EXPECT_EQ(Bytes(EncodeRecord(record), 516, 8), std::string(8, '\0'));
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

TEST(RecordStoreOpen, CreatesTheTwoDefaultRecords) {
    TempDir dir;
    {
        RecordStore store;
        store.OpenStore(dir.Path());
        EXPECT_EQ(store.RecordCount(), 2);
        EXPECT_EQ(store.Path(), dir.File("lumdata.dat"));
    }
    const auto file = ReadFileBytes(dir.File("lumdata.dat"));
    ASSERT_EQ(file.size(), kFreshSize);

    // Settings record.
    EXPECT_EQ(Bytes(file, 0, 4), "0010");
    EXPECT_EQ(Bytes(file, 4, 512), std::string(512, ' '));
    EXPECT_EQ(Bytes(file, 516, 8), std::string(8, '\0'));
    EXPECT_EQ(Bytes(file, 1044, 2), std::string("\x01\x00", 2));
    EXPECT_EQ(Bytes(file, 1046, 32), Padded("1100001", 32));  // UTF-8 Text ticked
    EXPECT_EQ(Bytes(file, 1080, 2), std::string("\x04\x00", 2));
    EXPECT_EQ(Bytes(file, 1082, 32), Padded("1", 32));
    EXPECT_EQ(Bytes(file, 1182, 4), std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(Bytes(file, 1188, 20), std::string(20, ' '));

    // Clipboard record.
    const std::size_t c = kRecordSize;
    EXPECT_EQ(Bytes(file, c + 0, 4), Padded("0", 4));
    EXPECT_EQ(Bytes(file, c + 524, 512), Padded("clipboard.pdb", 512));
    EXPECT_EQ(Bytes(file, c + 1044, 2), std::string("\x03\x00", 2));
    EXPECT_EQ(Bytes(file, c + 1046, 32), Padded("1100001", 32));
    EXPECT_EQ(Bytes(file, c + 1080, 2), std::string("\x04\x00", 2));
    EXPECT_EQ(Bytes(file, c + 1178, 4), std::string("\x01\x00\x01\x00", 4));
    EXPECT_EQ(Bytes(file, c + 1182, 4), std::string(4, '\0'));
    EXPECT_EQ(Bytes(file, c + 1188, 20), Padded("2", 20));

    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.dat.bak")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.tmp")));
}

TEST(RecordStoreOpen, KeepsAnUnknownFileAsBackupBeforeStartingAfresh) {
    const std::vector<std::vector<uint8_t>> unknown = {
        [] { auto f = StoreFile({"7", "8"}); f[3] = '9'; return f; }(),  // version "0019"
        {'0', '0'},                                                      // shorter than a version
        [] { auto f = StoreFile({}); f.resize(kRecordSize + 10); return f; }(),  // settings only
        std::vector<uint8_t>(5000, 0xA5),
    };
    for (const auto& old : unknown) {
        SCOPED_TRACE(old.size());
        TempDir dir;
        WriteFileBytes(dir.File("lumdata.dat"), old);
        RecordStore store;
        store.OpenStore(dir.Path());
        EXPECT_EQ(store.RecordCount(), 2);
        EXPECT_EQ(store.GetRecord(2).palmfile, "clipboard.pdb");
        EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat.bak")), old);
        EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")).size(), kFreshSize);
    }

    // An empty file holds nothing worth a backup.
    TempDir dir;
    WriteFileBytes(dir.File("lumdata.dat"), {});
    RecordStore store;
    store.OpenStore(dir.Path());
    EXPECT_EQ(store.RecordCount(), 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.dat.bak")));
}

TEST(RecordStoreOpen, BackupsAreNumberedAndNeverReplaced) {
    TempDir dir;
    const std::vector<std::vector<uint8_t>> unknown = {std::vector<uint8_t>(3000, 'a'), {'b', 'b'},
                                                       std::vector<uint8_t>(5000, 'c')};
    const char* const names[] = {"lumdata.dat.bak", "lumdata.dat.bak.1", "lumdata.dat.bak.2"};
    RecordStore store;
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        WriteFileBytes(dir.File("lumdata.dat"), unknown[i]);
        store.OpenStore(dir.Path());
        EXPECT_EQ(store.SetAsidePath(), dir.File(names[i]));
        EXPECT_THAT(store.SetAsideMessage(), HasSubstr(dir.File(names[i])));
        store.Close();
    }
    for (std::size_t i = 0; i < unknown.size(); ++i) EXPECT_EQ(ReadFileBytes(dir.File(names[i])), unknown[i]);

    // The store as found sets nothing aside.
    store.OpenStore(dir.Path());
    EXPECT_EQ(store.SetAsidePath(), "");
    EXPECT_EQ(store.SetAsideMessage(), "");
    store.Close();

    // On a full disk the backup fails whole: the store and the earlier backups stay.
    WriteFileBytes(dir.File("lumdata.dat"), std::vector<uint8_t>(8000, 'd'));
    const int code = WithFileSizeLimit(6000, [&dir] {
        RecordStore full;
        try {
            full.OpenStore(dir.Path());
        } catch (const StoreError& error) {
            const std::string text = error.what();
            return text.rfind("Error: cannot write the backup", 0) == 0 && text.find(std::strerror(EFBIG)) != std::string::npos ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), std::vector<uint8_t>(8000, 'd'));
    for (std::size_t i = 0; i < unknown.size(); ++i) EXPECT_EQ(ReadFileBytes(dir.File(names[i])), unknown[i]);
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.dat.bak.3")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.bak.tmp")));
}

TEST(RecordStoreOpen, ReadsAnExistingStoreWithoutChangingIt) {
    TempDir dir;
    const auto file = StoreFile({"11", "22", "33"});
    WriteFileBytes(dir.File("lumdata.dat"), file);
    RecordStore store;
    store.OpenStore(dir.Path());
    EXPECT_EQ(store.RecordCount(), 5);
    EXPECT_EQ(store.GetRecord(5).taskid, "33");
    EXPECT_EQ(store.GetRecord(3).pcfile, "/home/user/book11.txt");
    store.Close();
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), file);
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.dat.bak")));
}

TEST(RecordStoreOpen, APartialRecordAtTheEndIsNotCounted) {
    TempDir dir;
    auto file = StoreFile({"11"});
    file.resize(file.size() + 100, 'z');
    WriteFileBytes(dir.File("lumdata.dat"), file);
    RecordStore store;
    store.OpenStore(dir.Path());
    EXPECT_EQ(store.RecordCount(), 3);
    EXPECT_THROW(store.GetRecord(4), StoreError);

    // Appending writes over the fragment rather than after it.
    store.PutRecord(4, Task("44", "x"));
    EXPECT_EQ(store.RecordCount(), 4);
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")).size(), 4 * kRecordSize);
    EXPECT_EQ(store.GetRecord(4).taskid, "44");
}

TEST(RecordStoreOpen, OnlyOneStoreAtATimeMayHoldAFolder) {
    TempDir dir;
    RecordStore first;
    first.OpenStore(dir.Path());

    RecordStore second;
    try {
        second.OpenStore(dir.Path());
        FAIL() << "a second store opened a folder in use";
    } catch (const StoreError& error) {
        EXPECT_THAT(error.what(), HasSubstr("in use by another LUM2 program"));
    }
    EXPECT_FALSE(second.IsOpen());

    // The lock lives in its own file, so rewriting lumdata.dat keeps it.
    first.PutRecord(3, Task("5", "a"));
    first.PutRecord(4, Task("6", "b"));
    first.DeleteRecord(3);
    EXPECT_THROW(second.OpenStore(dir.Path()), StoreError);

    first.Close();
    second.OpenStore(dir.Path());
    EXPECT_EQ(second.RecordCount(), 3);
    EXPECT_EQ(second.GetRecord(3).taskid, "6");

    // The destructor releases the lock too.
    TempDir other;
    { RecordStore third; third.OpenStore(other.Path()); }
    EXPECT_NO_THROW(first.OpenStore(other.Path()));
}

TEST(RecordStoreOpen, ClosingTwiceLeavesOtherStoresAlone) {
    TempDir first;
    TempDir second;
    RecordStore a;
    a.OpenStore(first.Path());
    a.Close();
    // b's descriptors are likely to reuse the numbers a just gave up.
    RecordStore b;
    b.OpenStore(second.Path());
    a.Close();
    RecordStore c;
    EXPECT_THROW(c.OpenStore(second.Path()), StoreError);
    EXPECT_EQ(b.RecordCount(), 2);
    b.PutRecord(3, Task("9", "a"));
    EXPECT_EQ(b.GetRecord(3).taskid, "9");
}

TEST(RecordStoreOpen, FailuresNameThePathAndReleaseTheLock) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("lumdata.dat"));
    RecordStore store;
    try {
        store.OpenStore(dir.Path());
        FAIL() << "opened a folder as the store";
    } catch (const StoreError& error) {
        EXPECT_THAT(error.what(), HasSubstr(dir.File("lumdata.dat")));
        EXPECT_THAT(error.what(), HasSubstr(std::strerror(EISDIR)));
    }
    EXPECT_FALSE(store.IsOpen());

    std::filesystem::remove(dir.File("lumdata.dat"));
    RecordStore next;
    EXPECT_NO_THROW(next.OpenStore(dir.Path()));

    RecordStore missing;
    EXPECT_THROW(missing.OpenStore(dir.File("no-such-folder/")), StoreError);
}

TEST(RecordStoreOpen, AReadOnlyFolderIsReported) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    RecordStore store;
    EXPECT_THROW(store.OpenStore(dir.Path()), StoreError);
    EXPECT_FALSE(store.IsOpen());
}

// --- reading and writing ----------------------------------------------------

TEST(RecordStoreRecords, EveryFieldSurvivesAReopen) {
    TempDir dir;
    TaskRecord task = Task("123456789", "/home/user/Bücher/roman.txt");
    task.pcfiletime = 46023.5;
    task.palmfiletime = 45000.25;
    task.direction = kDirectionSync;
    task.options = "101011";
    task.category = 7;
    task.tabspace = 8;
    task.install = "0100";
    task.status = "OK";
    task.pcfilter = 2;
    task.palmfilter = 3;
    task.switch1 = true;
    task.counter = -5;
    {
        RecordStore store;
        store.OpenStore(dir.Path());
        store.PutRecord(3, task);
    }
    RecordStore store;
    store.OpenStore(dir.Path());
    ASSERT_EQ(store.RecordCount(), 3);
    // Equal bytes mean equal fields: every field has a width of its own.
    EXPECT_EQ(EncodeRecord(store.GetRecord(3)), EncodeRecord(task));

    const auto file = ReadFileBytes(dir.File("lumdata.dat"));
    ASSERT_EQ(file.size(), 3 * kRecordSize);
    EXPECT_EQ(Bytes(file, 2 * kRecordSize, kRecordSize), Bytes(EncodeRecord(task), 0, kRecordSize));
}

TEST(RecordStoreRecords, AFailedAppendLeavesNoPartOfTheRecord) {
    TempDir dir;
    const auto file = StoreFile({"11", "22"});
    WriteFileBytes(dir.File("lumdata.dat"), file);
    // Room for 500 bytes more: the record is written in part, then the disk is full.
    const int code = WithFileSizeLimit(file.size() + 500, [&dir, &file] {
        RecordStore store;
        store.OpenStore(dir.Path());
        try {
            store.PutRecord(5, Task("55", "/home/user/book55.txt"));
            return 1;
        } catch (const StoreError& error) {
            if (std::string(error.what()).rfind("Error: cannot write record 5 of", 0) != 0) return 2;
        }
        if (ReadFileBytes(dir.File("lumdata.dat")) != file || store.RecordCount() != 4) return 3;
        // With room again the same store appends cleanly: nothing stale is left to write.
        LiftFileSizeLimit();
        store.PutRecord(5, Task("55", "/home/user/book55.txt"));
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), StoreFile({"11", "22", "55"}));
}

TEST(RecordStoreRecords, RecordNumbersOutsideTheFileAreRefused) {
    TempDir dir;
    RecordStore store;
    store.OpenStore(dir.Path());
    for (const int record : {-1, 0, 3}) EXPECT_THROW(store.GetRecord(record), StoreError) << record;
    EXPECT_THROW(store.PutRecord(0, Task("9", "a")), StoreError);
    EXPECT_THROW(store.PutRecord(4, Task("9", "a")), StoreError);
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")).size(), kFreshSize);

    store.PutRecord(2, DefaultClipboardRecord());
    EXPECT_EQ(store.RecordCount(), 2);

    store.Close();
    EXPECT_THROW(store.GetRecord(1), StoreError);
    EXPECT_THROW(store.PutRecord(1, DefaultSettingsRecord()), StoreError);
    EXPECT_EQ(store.RecordCount(), 0);
}

// --- task ids ---------------------------------------------------------------

TEST(RecordStoreTaskId, TheDrawCoversThreeToTheLargest32BitNumber) {
    TempDir dir;
    RecordStore store;
    store.OpenStore(dir.Path());
    int draws = 0;
    store.SetRandomSource(Sequence({0.0}, &draws));
    EXPECT_EQ(store.NewTaskId(), "3");
    store.SetRandomSource(Sequence({std::nextafter(1.0, 0.0)}, &draws));
    EXPECT_EQ(store.NewTaskId(), "2147483647");
    store.SetRandomSource(Sequence({0.5}, &draws));
    EXPECT_EQ(store.NewTaskId(), "1073741825");

    // A source that strays outside [0, 1) still yields a valid id.
    store.SetRandomSource(Sequence({1.0}, &draws));
    EXPECT_EQ(store.NewTaskId(), "2147483647");
    store.SetRandomSource(Sequence({-0.5}, &draws));
    EXPECT_EQ(store.NewTaskId(), "3");
    store.SetRandomSource(Sequence({std::nan("")}, &draws));
    EXPECT_EQ(store.NewTaskId(), "3");
}

TEST(RecordStoreTaskId, ATakenIdIsDrawnAgain) {
    TempDir dir;
    WriteFileBytes(dir.File("lumdata.dat"), StoreFile({"3", "1073741825"}));
    RecordStore store;
    store.OpenStore(dir.Path());
    int draws = 0;
    store.SetRandomSource(Sequence({0.0, 0.5, 0.0, 0.25}, &draws));
    EXPECT_EQ(store.NewTaskId(), "536870914");
    EXPECT_EQ(draws, 4);

    // A source that only gives taken ids ends with an error.
    store.SetRandomSource([] { return 0.0; });
    EXPECT_THROW(store.NewTaskId(), StoreError);
}

TEST(RecordStoreTaskId, TheDefaultSourceGivesFreshIdsInRange) {
    TempDir dir;
    RecordStore store;
    store.OpenStore(dir.Path());
    for (int i = 0; i < 200; ++i) {
        const std::string id = store.NewTaskId();
        const long long value = std::stoll(id);
        EXPECT_GE(value, 3);
        EXPECT_LE(value, 2147483647LL);
        EXPECT_EQ(id, std::to_string(value)) << "not plain decimal";
    }
}

// --- deleting ---------------------------------------------------------------

TEST(RecordStoreDelete, LaterRecordsMoveUpByteForByte) {
    TempDir dir;
    auto file = StoreFile({"11", "22", "33"});
    file[4 * kRecordSize + 1182] = 0x07;  // an odd "true" this version would not write
    WriteFileBytes(dir.File("lumdata.dat"), file);
    // A temp file left over from a crash must not end up in the store.
    WriteFileBytes(dir.File("lumdata.tmp"), std::vector<uint8_t>(9 * kRecordSize, 'Q'));

    RecordStore store;
    store.OpenStore(dir.Path());
    store.DeleteRecord(4);
    EXPECT_EQ(store.RecordCount(), 4);
    EXPECT_EQ(store.GetRecord(3).taskid, "11");
    EXPECT_EQ(store.GetRecord(4).taskid, "33");

    auto expected = StoreFile({"11", "33"});
    expected[3 * kRecordSize + 1182] = 0x07;
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), expected);
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.tmp")));

    // The store carries on with the rewritten file.
    store.PutRecord(5, Task("55", "y"));
    EXPECT_EQ(store.GetRecord(5).taskid, "55");
}

TEST(RecordStoreDelete, OnlyTasksCanBeDeletedAndTheLastLeavesTheDefaults) {
    TempDir dir;
    const auto file = StoreFile({"11"});
    WriteFileBytes(dir.File("lumdata.dat"), file);
    RecordStore store;
    store.OpenStore(dir.Path());
    for (const int record : {1, 2, 4}) EXPECT_THROW(store.DeleteRecord(record), StoreError) << record;
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), file);

    store.DeleteRecord(3);
    EXPECT_EQ(store.RecordCount(), 2);
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), StoreFile({}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("lumdata.tmp")));
}

TEST(RecordStoreDelete, AStoreReachedThroughALinkStaysOneStore) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("kept"));
    WriteFileBytes(dir.File("kept/tasks.dat"), StoreFile({"11", "22"}));
    std::filesystem::create_symlink("kept/tasks.dat", dir.File("lumdata.dat"));
    RecordStore store;
    store.OpenStore(dir.Path());
    store.DeleteRecord(3);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("lumdata.dat")));
    EXPECT_EQ(ReadFileBytes(dir.File("kept/tasks.dat")), StoreFile({"22"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("kept/lumdata.tmp")));
    // The open store carries on with the file behind the link.
    store.PutRecord(4, Task("44", "y"));
    EXPECT_EQ(ReadFileBytes(dir.File("kept/tasks.dat")).size(), 4 * kRecordSize);
}

TEST(RecordStoreDelete, AFailedRewriteLeavesTheStoreAsItWas) {
    TempDir dir;
    const auto file = StoreFile({"11", "22"});
    WriteFileBytes(dir.File("lumdata.dat"), file);
    RecordStore store;
    store.OpenStore(dir.Path());
    // A folder in the temp file's place cannot be removed or written.
    std::filesystem::create_directories(dir.File("lumdata.tmp/blocker"));
    EXPECT_THROW(store.DeleteRecord(3), StoreError);
    EXPECT_EQ(ReadFileBytes(dir.File("lumdata.dat")), file);
    ASSERT_TRUE(store.IsOpen());
    EXPECT_EQ(store.RecordCount(), 4);
    EXPECT_EQ(store.GetRecord(4).taskid, "22");
}

}  // namespace
}  // namespace lum2
