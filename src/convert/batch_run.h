// Converting the whole task list, top to bottom.
//
// The desktop program and lum2doc run the same loop; the desktop program
// passes hooks that select the row and show the task before it runs (which
// sets the install targets the converters read) and show the outcome after.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "convert/converters.h"
#include "convert/headless_host.h"
#include "tasks/record_store.h"

namespace lum2 {

struct BatchHooks {
    // Before task at list position (1-based) runs: select and show it.
    std::function<void(int position)> beforeTask;
    // After it ran: show its status and its mark in the list.
    std::function<void(int position, const TaskRecord& task, const std::string& mark)> afterTask;
};

struct BatchSummary {
    int tasksRun = 0;
    int tasksInList = 0;
    int tasksEndedWell = 0;  // see EndedWell; a task the run never reached did not
    bool stopped = false;
    bool errors = false;
    bool reportPending = false;  // the run had errors: a command-line start reports them
    // Some task did not end well (see EndedWell: an error, a skip, a task the
    // run never reached), or the store failed: a run no one watches tells it
    // by its exit status.
    bool unfinished = false;
    TrayPicture trayImage = TrayPicture::kSuccess;
    std::string tip;         // "LUM2", CR LF, then the outcome
    std::string storeError;  // a store that failed mid-run ends the run with this
};

// Whether a task of direction whose run ended with code did what it is for:
// converted, or found both files alike. A task with the direction "none" asks
// for nothing and always has; one with a direction this version does not
// know did nothing and has not.
bool EndedWell(int direction, OutcomeCode code);

// The mark of a task's row: " OK" converted, " ?" a failure, " -" anything else.
std::string ItemMark(OutcomeCode code);

// Runs every task; the record of each is written back before the next starts,
// and a stop (a Stop answer or the run button) ends the run after the current
// task. The summary also goes to the tray through the host. Returns it: a
// StoreError mid-run, a hook's too, ends the run with its text in the summary
// instead of going through.
BatchSummary RunTaskList(RecordStore& store, ConversionContext& context, const BatchHooks& hooks = {});

// The run with no window, as "lum2doc run" and a desktop "-s" without a
// display do it: the install targets are this machine's HotSync users and
// Custom (warnings on standard error), each task's install text checks them as
// the editor does when it shows the task, and out gets one line per task
// (position, mark, status) and then the summary; a store failure is said on
// standard error. Returns the summary.
BatchSummary RunTaskListWithoutWindow(RecordStore& store, HeadlessHost& host, const CodecFunctions& codec,
                                      const std::string& baseDirectory, std::FILE* out);

// Appends a task the way "New" does: the settings record's defaults, no file
// times, no status, a fresh id. Returns its list position; throws the store's
// StoreError.
int AppendNewTask(RecordStore& store);

}  // namespace lum2
