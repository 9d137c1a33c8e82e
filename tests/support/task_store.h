// A task list as a test sets it up: tasks appended as "New" makes them.
#pragma once

#include <functional>

#include "convert/batch_run.h"
#include "tasks/record_store.h"

namespace lum2::test {

// Appends a task as "New" does (AppendNewTask: the settings record's
// defaults, a fresh id), changed by change before it is stored. Returns its
// record number; throws StoreError as the store does.
inline int AddTask(RecordStore& store, const std::function<void(TaskRecord&)>& change) {
    const int record = AppendNewTask(store) + 2;
    TaskRecord task = store.GetRecord(record);
    change(task);
    store.PutRecord(record, task);
    return record;
}

}  // namespace lum2::test
