#include "convert/batch_run.h"

#include "base/printable_text.h"
#include "hotsync/system_user_directory.h"
#include "tasks/store_layout.h"

namespace lum2 {

namespace {

const std::string kTipHead = "LUM2\r\n";

std::string OneLine(std::string text) {
    std::size_t at;
    while ((at = text.find("\r\n")) != std::string::npos) text.replace(at, 2, " ");
    return text;
}

// Runs the task's conversion. A task without one keeps the status of its last
// run, which is all there is to go by.
Outcome RunTask(TaskRecord& task, ConversionContext& context) {
    switch (task.direction) {
    case kDirectionPalmToPc: return ConvertPalmToPc(task, context);
    case kDirectionPcToPalm: return ConvertPcToPalm(task, context);
    case kDirectionSync: return SyncTask(task, context);
    default: return {OutcomeOf(task.status), task.status, {}};
    }
}

}  // namespace

bool EndedWell(int direction, OutcomeCode code) {
    switch (direction) {
    case kDirectionNone: return true;
    case kDirectionPalmToPc:
    case kDirectionPcToPalm:
    case kDirectionSync: return code == OutcomeCode::kOk || code == OutcomeCode::kUpToDate;
    default: return false;
    }
}

std::string ItemMark(OutcomeCode code) {
    if (code == OutcomeCode::kOk) return " OK";
    return IsFailure(code) ? " ?" : " -";
}

BatchSummary RunTaskList(RecordStore& store, ConversionContext& context, const BatchHooks& hooks) {
    ConversionHost& host = context.host;
    BatchSummary summary;
    try {
        const int count = RowOfRecord(store.RecordCount());
        summary.tasksInList = count;
        for (int position = 1; position <= count; ++position) {
            if (hooks.beforeTask) hooks.beforeTask(position);
            host.LetEventsRun();

            TaskRecord task = store.GetRecord(RecordOfRow(position));
            const Outcome outcome = RunTask(task, context);
            const std::string mark = ItemMark(outcome.code);
            if (IsFailure(outcome.code)) summary.errors = true;
            if (EndedWell(task.direction, outcome.code)) ++summary.tasksEndedWell;
            if (hooks.afterTask) hooks.afterTask(position, task, mark);
            host.LetEventsRun();

            store.PutRecord(RecordOfRow(position), task);
            ++summary.tasksRun;
            if (host.stopRequested) break;
        }
    } catch (const StoreError& error) {
        // The list can no longer be read or saved: stop here, say why.
        summary.storeError = error.what();
        summary.errors = true;
    }

    summary.stopped = host.stopRequested;
    // A task the run never reached did not end well either.
    summary.unfinished = summary.tasksEndedWell < summary.tasksInList || !summary.storeError.empty();
    if (summary.stopped) {
        summary.trayImage = TrayPicture::kNormal;
        summary.tip = kTipHead + "- stopped";
    } else if (summary.errors) {
        summary.trayImage = TrayPicture::kErrors;
        summary.tip = kTipHead + "- see list for errors";
        summary.reportPending = true;
    } else {
        summary.trayImage = TrayPicture::kSuccess;
        summary.tip = kTipHead + "- OK";
    }
    host.SetTrayIcon(summary.trayImage, summary.tip);
    host.stopRequested = false;
    return summary;
}

BatchSummary RunTaskListWithoutWindow(RecordStore& store, HeadlessHost& host, const CodecFunctions& codec,
                                      const std::string& baseDirectory, std::FILE* out) {
    const auto directory = MakeSystemUserDirectory(DirectoryEnvironment::FromProcess());
    InstallTargets targets(directory.get());
    for (const auto& warning : targets.FillInstallList()) std::fprintf(stderr, "%s\n", warning.c_str());
    ConversionContext context{host, targets, codec, baseDirectory};

    BatchHooks hooks;
    hooks.beforeTask = [&](int position) {
        host.SetCheckedFromInstall(store.GetRecord(RecordOfRow(position)).install, targets.Count());
    };
    hooks.afterTask = [out](int position, const TaskRecord& task, const std::string& mark) {
        std::fprintf(out, "%d\t%s\t%s\n", position, mark.c_str(), PrintableText(task.status).c_str());
        std::fflush(out);
    };
    const BatchSummary summary = RunTaskList(store, context, hooks);
    if (!summary.storeError.empty()) std::fprintf(stderr, "%s\n", PrintableText(summary.storeError).c_str());
    std::fprintf(out, "%s\n", OneLine(summary.tip).c_str());
    return summary;
}

int AppendNewTask(RecordStore& store) {
    const std::string id = store.NewTaskId();
    TaskRecord task = store.GetRecord(kSettingsRecord);
    task.pcfiletime = 0;
    task.palmfiletime = 0;
    task.status.clear();
    task.taskid = id;
    store.PutRecord(store.RecordCount() + 1, task);
    return RowOfRecord(store.RecordCount());
}

}  // namespace lum2
