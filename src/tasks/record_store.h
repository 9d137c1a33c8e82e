// lumdata.dat: all persistent state, one file of fixed-size records.
//
// What each record holds is tasks/store_layout.h's. Every change is written
// at once; there is no save step. While open the store holds an advisory lock
// on the file, so two programs never write the same store. Its working files are made new and
// private (0600); a file that replaces the store, or keeps it as a backup,
// gets the store's mode, owner and group (those where allowed) once complete,
// so a private task list stays private.
#pragma once

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

#include "tasks/task_record.h"

namespace lum2 {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RecordStore {
public:
    // Draws uniform numbers in [0, 1) for NewTaskId; the default is a
    // generator seeded once from the clock.
    using RandomSource = std::function<double()>;

    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens (creating when missing) lumdata.dat in baseDirectory, which ends
    // with a separator. A non-empty file whose version is not "0010" is set
    // aside as lumdata.dat.bak (lumdata.dat.bak.1, .2 ... when that name is
    // taken: an earlier backup is never replaced) and a fresh one begun.
    // Throws StoreError when the folder does not exist, the file cannot be
    // opened, written or locked, or the backup cannot be made whole. While
    // the store is open, its lock file names this program and its process
    // (emptied at Close, left in place: removing it would let a second
    // program lock a new file while the first still holds the old one); a
    // program refused the lock is told who holds it ("Error: PATH is in use
    // by lum2 (process 4242); close it first", or "by another LUM2 program"
    // when the file names no holder).
    void OpenStore(const std::string& baseDirectory);
    // Where the last OpenStore set an unreadable lumdata.dat aside; empty
    // when it opened the store as it found it.
    const std::string& SetAsidePath() const { return setAsidePath_; }
    // What the user is told about it, once; empty when nothing was set aside.
    std::string SetAsideMessage() const;
    // Opens lumdata.dat in baseDirectory for reading only, beside a program
    // that holds its lock: no lock is taken, nothing is created, set aside or
    // written (PutRecord and DeleteRecord throw StoreError). lumdata.dat is
    // only ever replaced by a rename, so the file opened stays whole: its
    // records as they were, or as changed in place since. A missing file
    // reads as a list without tasks (IsOpen() false, RecordCount() 0).
    // Throws StoreError when the folder does not exist, the file cannot be
    // opened, or it is no store of the current version.
    void OpenForReading(const std::string& baseDirectory);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // Whole records in the file; 0 when the store is not open.
    int RecordCount() const;
    // Record n (1-based); throws StoreError when it does not exist or cannot
    // be read, or the store is not open.
    TaskRecord GetRecord(int n) const;
    // Writes record n; n = RecordCount() + 1 appends. Throws StoreError for
    // any other n, a closed store or a failed write; a failed append leaves
    // the file as long as it was.
    void PutRecord(int n, const TaskRecord& record);
    // A fresh task identifier, unlike every task's; throws StoreError when
    // the random source keeps drawing taken ones.
    std::string NewTaskId();
    // Removes task record n (kFirstTaskRecord or later): the file is rewritten
    // through lumdata.tmp and renamed over lumdata.dat, so it never goes
    // missing. Throws StoreError for any other n, a closed store or a failed
    // rewrite, which leaves the store as it was.
    void DeleteRecord(int n);

    void SetRandomSource(RandomSource source) { random_ = std::move(source); }
    const std::string& Path() const { return path_; }

private:
    void OpenFile();
    void CreateFresh();
    void BackUp();
    std::FILE* CreateTemporary(const std::string& tempPath);
    // Closes temp (reporting error or a write fault) and renames it over lumdata.dat.
    void ReplaceWithTemporary(std::FILE* temp, const std::string& tempPath, int error);

    std::string baseDirectory_;
    std::string path_;
    std::string setAsidePath_;
    std::FILE* file_ = nullptr;
    int lockFd_ = -1;
    bool readOnly_ = false;
    RandomSource random_;
};

}  // namespace lum2
