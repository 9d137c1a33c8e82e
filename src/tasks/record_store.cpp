#include "tasks/record_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>

#include "base/lock_holder.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
#include "tasks/store_layout.h"

namespace lum2 {

namespace {

constexpr const char* kStoreName = "lumdata.dat";
constexpr const char* kLockName = "lumdata.lock";
constexpr const char* kTempName = "lumdata.tmp";
constexpr const char* kBackupName = "lumdata.dat.bak";
constexpr const char* kBackupTempName = "lumdata.bak.tmp";
// Backups are numbered on, never replaced; this many means something is amiss.
constexpr int kMaxBackups = 10000;
constexpr const char* kCurrentVersion = "0010";

// Task ids are positive 32-bit numbers above the clipboard's "2".
constexpr double kLowestTaskId = 3;
constexpr double kHighestTaskId = 2147483647;
// A source that keeps hitting taken ids is broken; give up rather than hang.
constexpr int kMaxTaskIdDraws = 10000;

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return "Error: " + what + " " + path + ": " + std::strerror(error);
}

// Descriptors are opened close-on-exec: a converter or editor started from
// the program must not inherit the store, and above all not the lock, which
// would outlive our own Close().
std::FILE* OpenStream(const std::string& path, int flags, const char* mode) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return stream;
}

// A working file is made 0600 and new, whatever stood at its name: nobody
// else can read it while it fills, and a planted link is never followed.
// The errno tells why not; the store words its own message.
std::FILE* OpenWorkingFile(const std::string& path) {
    std::string ignored;
    const int fd = CreateWorkingFile(path, ignored);
    if (fd < 0) return nullptr;
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return stream;
}

// The store may be private (0600) or shared with a group: the copy that
// replaces it or keeps it as a backup gets its mode, and its owner and group
// where this process may give them. Returns 0 or the errno of the failure.
int TakeOverMode(std::FILE* store, std::FILE* copy) {
    struct stat info {};
    if (::fstat(::fileno(store), &info) != 0) return errno;
    return TakeOverOwnerAndMode(::fileno(copy), info);
}

// lumdata.dat.bak, then lumdata.dat.bak.1, lumdata.dat.bak.2 ...
std::string BackupName(int n) {
    return n == 0 ? std::string(kBackupName) : std::string(kBackupName) + "." + std::to_string(n);
}

// Gives the complete backup at tempPath the first free backup name in
// directory and returns that path. An existing backup is never renamed over.
std::string PlaceBackup(const std::string& tempPath, const std::string& directory) {
    for (int n = 0; n < kMaxBackups; ++n) {
        const std::string target = directory + BackupName(n);
        if (::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return target;
        int error = errno;
        if (error == EEXIST) continue;
        if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
            // A file system without no-replace renames: look first. The
            // store's lock keeps other LUM2 programs out in between.
            struct stat info {};
            if (::lstat(target.c_str(), &info) == 0) continue;
            if (errno == ENOENT && std::rename(tempPath.c_str(), target.c_str()) == 0) return target;
            error = errno;
        }
        ::unlink(tempPath.c_str());
        throw StoreError(SystemError("cannot keep the backup as", target, error));
    }
    ::unlink(tempPath.c_str());
    throw StoreError("Error: no free backup name for lumdata.dat in " + directory);
}

// lumdata.dat may be a link to the store kept elsewhere: the rewrite goes
// beside the file it names and replaces that, so the link stays the store.
std::string FinalStorePath(const std::string& store) {
    std::string target;
    return ResolveWriteTarget(store, target) ? target : store;
}

std::string TemporaryBeside(const std::string& store) { return DirectoryPart(FinalStorePath(store)) + kTempName; }

off_t RecordOffset(int n) { return static_cast<off_t>(n - 1) * static_cast<off_t>(kRecordSize); }

RecordStore::RandomSource ClockSeededSource() {
    auto engine = std::make_shared<std::mt19937_64>(
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    return [engine]() {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        return unit(*engine);
    };
}

}  // namespace

RecordStore::RecordStore() : random_(ClockSeededSource()) {}

RecordStore::~RecordStore() { Close(); }

void RecordStore::OpenStore(const std::string& baseDirectory) {
    Close();
    baseDirectory_ = baseDirectory;
    path_ = baseDirectory + kStoreName;
    setAsidePath_.clear();

    const std::string lockPath = baseDirectory + kLockName;
    // Never through a link planted at the name (the folder may be shared),
    // never blocking on a FIFO there; it is made private (0600) and holds no more than who has it.
    lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat lockInfo {};
    if (lockFd_ >= 0 && (::fstat(lockFd_, &lockInfo) != 0 || !S_ISREG(lockInfo.st_mode))) {
        ::close(lockFd_);
        lockFd_ = -1;
        errno = EINVAL;
    }
    if (lockFd_ < 0) {
        const int error = errno;
        struct stat folder {};
        if (error == ENOENT && !baseDirectory.empty() && ::stat(baseDirectory.c_str(), &folder) != 0 &&
            errno == ENOENT) {
            std::string shown = baseDirectory;
            if (shown.size() > 1 && shown.back() == PathSeparator()) shown.pop_back();
            throw StoreError("Error: the folder " + shown + " does not exist");
        }
        throw StoreError(SystemError("cannot create the lock file", lockPath, error));
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const LockHolder holder = error == EWOULDBLOCK ? ReadLockHolder(lockFd_) : LockHolder{};
        ::close(lockFd_);
        lockFd_ = -1;
        if (error == EWOULDBLOCK) {
            if (holder.program.empty()) throw StoreError("Error: " + path_ + " is in use by another LUM2 program");
            throw StoreError("Error: " + path_ + " is in use by " + HolderText(holder) + "; close it first");
        }
        throw StoreError(SystemError("cannot lock", lockPath, error));
    }
    // Who has the list, for a program that is refused it; the lock holds
    // whether or not the name could be written.
    WriteLockHolder(lockFd_);

    try {
        OpenFile();
        // Anything but the current layout with its settings and clipboard
        // records cannot be read as a store: it is set aside, not trusted.
        char version[4] = {};
        std::fseek(file_, 0, SEEK_SET);
        const bool current = std::fread(version, 1, sizeof version, file_) == sizeof version &&
                             std::memcmp(version, kCurrentVersion, sizeof version) == 0 &&
                             RecordCount() >= kClipboardRecord;
        if (!current) CreateFresh();
    } catch (...) {
        Close();
        throw;
    }
}

void RecordStore::Close() {
    if (file_ != nullptr) {
        // Every write was flushed when it was made; nothing is pending here.
        std::fclose(file_);
        file_ = nullptr;
    }
    if (lockFd_ >= 0) {
        // Emptied while still held: a name in it always is the holder's.
        ClearLockHolder(lockFd_);
        ::close(lockFd_);
        lockFd_ = -1;
    }
    readOnly_ = false;
}

void RecordStore::OpenForReading(const std::string& baseDirectory) {
    Close();
    baseDirectory_ = baseDirectory;
    path_ = baseDirectory + kStoreName;
    setAsidePath_.clear();
    readOnly_ = true;
    file_ = OpenStream(path_, O_RDONLY, "rb");
    if (file_ != nullptr) {
        char version[4] = {};
        if (std::fread(version, 1, sizeof version, file_) == sizeof version &&
            std::memcmp(version, kCurrentVersion, sizeof version) == 0 && RecordCount() >= kClipboardRecord) {
            return;
        }
        Close();
        throw StoreError("Error: " + path_ +
                         " is no task list of this version (a change to the list sets it aside and begins a new one)");
    }
    const int error = errno;
    struct stat folder {};
    if (error == ENOENT && !baseDirectory.empty() && ::stat(baseDirectory.c_str(), &folder) != 0 && errno == ENOENT) {
        std::string shown = baseDirectory;
        if (shown.size() > 1 && shown.back() == PathSeparator()) shown.pop_back();
        throw StoreError("Error: the folder " + shown + " does not exist");
    }
    // No list yet is a list without tasks.
    if (error != ENOENT) throw StoreError(SystemError("cannot open", path_, error));
}

void RecordStore::OpenFile() {
    file_ = OpenStream(path_, O_RDWR, "r+b");
    // Only a missing file is created: any other failure must not end in a
    // truncating open of the user's data.
    if (file_ == nullptr && errno == ENOENT) file_ = OpenStream(path_, O_RDWR | O_CREAT | O_TRUNC, "w+b");
    if (file_ == nullptr) throw StoreError(SystemError("cannot open", path_, errno));
}

std::string RecordStore::SetAsideMessage() const {
    if (setAsidePath_.empty()) return {};
    return "Warning: " + path_ + " was no task list of this version; it is kept as " + setAsidePath_ +
           " and a new, empty task list was begun";
}

void RecordStore::CreateFresh() {
    struct stat info {};
    if (::fstat(::fileno(file_), &info) != 0) throw StoreError(SystemError("cannot read", path_, errno));
    if (info.st_size > 0) BackUp();

    const std::string tempPath = TemporaryBeside(path_);
    std::FILE* temp = CreateTemporary(tempPath);
    const RecordBytes settings = EncodeRecord(DefaultSettingsRecord());
    const RecordBytes clipboard = EncodeRecord(DefaultClipboardRecord());
    int error = 0;
    errno = 0;
    if (std::fwrite(settings.data(), 1, settings.size(), temp) != settings.size() ||
        std::fwrite(clipboard.data(), 1, clipboard.size(), temp) != clipboard.size()) {
        error = errno != 0 ? errno : EIO;
    }
    ReplaceWithTemporary(temp, tempPath, error);
}

void RecordStore::BackUp() {
    // The copy is complete before it gets a backup's name, so a full disk
    // never leaves a half backup, let alone in place of an earlier one.
    const std::string tempPath = baseDirectory_ + kBackupTempName;
    std::FILE* backup = OpenWorkingFile(tempPath);
    if (backup == nullptr) throw StoreError(SystemError("cannot create", tempPath, errno));
    std::fseek(file_, 0, SEEK_SET);
    char buffer[16384];
    int error = 0;
    std::size_t got = 0;
    errno = 0;
    while (error == 0 && (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
        if (std::fwrite(buffer, 1, got, backup) != got) error = errno != 0 ? errno : EIO;
    }
    if (error == 0 && std::ferror(file_)) error = EIO;
    if (error == 0 && std::fflush(backup) != 0) error = errno;
    if (error == 0) error = TakeOverMode(file_, backup);
    const int finished = SyncAndClose(backup, ::fileno(backup));
    if (error == 0) error = finished;
    if (error != 0) {
        ::unlink(tempPath.c_str());
        throw StoreError(SystemError("cannot write the backup", tempPath, error));
    }
    setAsidePath_ = PlaceBackup(tempPath, baseDirectory_);
    SyncFolder(baseDirectory_);
}

int RecordStore::RecordCount() const {
    if (file_ == nullptr) return 0;
    struct stat info {};
    if (::fstat(::fileno(file_), &info) != 0 || info.st_size < 0) return 0;
    const auto count = static_cast<uint64_t>(info.st_size) / kRecordSize;
    return count > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

TaskRecord RecordStore::GetRecord(int n) const {
    if (file_ == nullptr) throw StoreError("Error: the task store is not open");
    const int count = RecordCount();
    if (n < 1 || n > count) {
        throw StoreError("Error: record " + std::to_string(n) + " does not exist in " + path_ + " (" +
                         std::to_string(count) + " records)");
    }
    RecordBytes bytes{};
    if (::fseeko(file_, RecordOffset(n), SEEK_SET) != 0) {
        throw StoreError(SystemError("cannot read", path_, errno));
    }
    if (std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        const int error = std::ferror(file_) ? errno : EIO;
        std::clearerr(file_);
        throw StoreError(SystemError("cannot read record " + std::to_string(n) + " of", path_, error));
    }
    return DecodeRecord(bytes);
}

void RecordStore::PutRecord(int n, const TaskRecord& record) {
    if (readOnly_) throw StoreError("Error: " + path_ + " is open for reading only");
    if (file_ == nullptr) throw StoreError("Error: the task store is not open");
    const int count = RecordCount();
    if (n < 1 || static_cast<long long>(n) > static_cast<long long>(count) + 1) {
        throw StoreError("Error: cannot write record " + std::to_string(n) + " of " + path_ + " (" +
                         std::to_string(count) + " records)");
    }
    const RecordBytes bytes = EncodeRecord(record);
    struct stat before {};
    const bool sized = ::fstat(::fileno(file_), &before) == 0;
    errno = 0;
    if (::fseeko(file_, RecordOffset(n), SEEK_SET) != 0) {
        throw StoreError(SystemError("cannot write", path_, errno));
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0) {
        const int error = errno != 0 ? errno : EIO;
        std::clearerr(file_);
        // Part of a record past the old end would be read as a fragment at
        // best; an append either happens whole or not at all.
        struct stat after {};
        if (sized && ::fstat(::fileno(file_), &after) == 0 && after.st_size > before.st_size) {
            if (::ftruncate(::fileno(file_), before.st_size) != 0) {
                // Nothing more can be done; the count still ignores the fragment.
            }
        }
        throw StoreError(SystemError("cannot write record " + std::to_string(n) + " of", path_, error));
    }
}

std::string RecordStore::NewTaskId() {
    std::set<std::string> taken;
    const int count = RecordCount();
    for (int n = kFirstTaskRecord; n <= count; ++n) taken.insert(RightTrim(GetRecord(n).taskid));

    for (int draw = 0; draw < kMaxTaskIdDraws; ++draw) {
        double value = std::floor(random_() * (kHighestTaskId - kLowestTaskId + 1) + kLowestTaskId);
        // The generator may round up to 1.0, and an injected one may stray:
        // the id must stay a positive 32-bit number above the clipboard's.
        if (!(value >= kLowestTaskId)) value = kLowestTaskId;
        if (value > kHighestTaskId) value = kHighestTaskId;
        std::string candidate = std::to_string(static_cast<long long>(value));
        if (taken.count(candidate) == 0) return candidate;
    }
    throw StoreError("Error: no free task id could be drawn for " + path_);
}

void RecordStore::DeleteRecord(int n) {
    if (readOnly_) throw StoreError("Error: " + path_ + " is open for reading only");
    if (file_ == nullptr) throw StoreError("Error: the task store is not open");
    const int count = RecordCount();
    if (n < kFirstTaskRecord || n > count) {
        throw StoreError("Error: cannot delete record " + std::to_string(n) + " of " + path_ + " (" +
                         std::to_string(count) + " records)");
    }

    const std::string tempPath = TemporaryBeside(path_);
    std::FILE* temp = CreateTemporary(tempPath);

    // Records are copied as raw bytes so the others come through unchanged,
    // even fields this version would write differently.
    int error = 0;
    errno = 0;
    RecordBytes bytes{};
    for (int i = 1; i <= count && error == 0; ++i) {
        if (i == n) continue;
        if (::fseeko(file_, RecordOffset(i), SEEK_SET) != 0) {
            error = errno;
        } else if (std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
            error = std::ferror(file_) ? errno : EIO;
            std::clearerr(file_);
        } else if (std::fwrite(bytes.data(), 1, bytes.size(), temp) != bytes.size()) {
            error = errno != 0 ? errno : EIO;
        }
    }
    ReplaceWithTemporary(temp, tempPath, error);
}

std::FILE* RecordStore::CreateTemporary(const std::string& tempPath) {
    std::FILE* temp = OpenWorkingFile(tempPath);
    if (temp == nullptr) throw StoreError(SystemError("cannot create", tempPath, errno));
    return temp;
}

void RecordStore::ReplaceWithTemporary(std::FILE* temp, const std::string& tempPath, int error) {
    // lumdata.dat is replaced only by a complete file, by a rename, so it
    // never goes missing; on any failure the old file stays in use. It
    // takes the store's mode only now that its content is complete.
    if (error == 0 && std::fflush(temp) != 0) error = errno;
    if (error == 0 && file_ != nullptr) error = TakeOverMode(file_, temp);
    const int finished = SyncAndClose(temp, ::fileno(temp));
    if (error == 0) error = finished;
    if (error != 0) {
        ::unlink(tempPath.c_str());
        throw StoreError(SystemError("cannot write", tempPath, error));
    }
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    const std::string finalPath = FinalStorePath(path_);
    if (std::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(tempPath.c_str());
        try {
            OpenFile();
        } catch (const StoreError&) {}
        throw StoreError(SystemError("cannot replace", path_, renameError));
    }
    SyncFolder(DirectoryPart(finalPath));
    OpenFile();
}

}  // namespace lum2
