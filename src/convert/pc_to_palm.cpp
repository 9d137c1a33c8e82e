// PC to Palm: filter the PC text, build the Doc database in lumdata.tmp, then
// copy it to every checked install target.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/file_handle.h"
#include "convert/converters.h"
#include "doc/doc_builder.h"
#include "base/file_times.h"
#include "text/palm_charset.h"
#include "doc/palm_doc_format.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
#include "convert/database_name.h"
#include "convert/task_options.h"
#include "text/text_filters.h"

namespace lum2 {

namespace {

struct Target {
    int entry = 0;
    std::string path;
    bool overwrite = false;  // a file is there and is to be replaced
    bool user = false;       // a HotSync user's copy, handed to its install
};

// Thrown for a failure that has its own status text.
struct ReportedFailure {
    std::string status;
};


// A working file goes; a folder planted at its name is not this program's to remove.
void RemoveIfPresent(const std::string& path) { unlink(path.c_str()); }

}  // namespace

std::string PalmFileLocation(const std::string& palmfile, int entry, InstallTargets& targets,
                             const std::string& baseDirectory) {
    const std::string palm = RightTrim(palmfile);
    if (targets.IsCustom(entry)) return InFolder(baseDirectory, palm);
    return targets.UserBackupFolder(entry) + FileNamePart(palm);
}

void ConvertPcToPalm(TaskRecord& task, ConversionContext& context) {
    ConversionHost& host = context.host;
    const std::string workingDoc = context.baseDirectory + kWorkingDocFileName;
    const std::string workingText = context.baseDirectory + kFilterFileName;
    bool building = false;

    try {
        // Choosing the targets: nothing is written, and an early answer returns at once.
        const std::vector<int> checked = host.CheckedTargets();
        if (checked.empty()) {
            task.status = "Error: no source user (or custom) selected";
            return;
        }
        const std::string pc = InFolder(context.baseDirectory, RightTrim(task.pcfile));
        if (FileNamePart(pc).empty()) {
            task.status = "Error: no PC File selected";
            return;
        }
        const std::string palm = RightTrim(task.palmfile);
        if (FileNamePart(palm).empty()) {
            task.status = "Error: no Palm File selected";
            return;
        }
        if (FileProbe(pc) <= 0) {
            task.status = "Error: PC File does not exist";
            return;
        }

        std::vector<Target> targets;
        for (const int entry : checked) {
            if (entry < 0 || entry >= kTargetSlots || entry >= context.targets.Count()) {
                throw ReportedFailure{kStatusGenericError};
            }
            Target target;
            target.entry = entry;
            target.user = !context.targets.IsCustom(entry);
            target.path = PalmFileLocation(palm, entry, context.targets, context.baseDirectory);
            // Replacing the text by its own document would lose it.
            if (IsSameFile(pc, target.path)) {
                task.status = kStatusSameFile;
                return;
            }
            if (FileProbe(target.path) > 0) {
                if (!host.overwritePromptSuppressed && host.AskBeforeOverwrite()) {
                    const int answer = host.AskOverwrite("Palm File already exists! Overwrite file?", target.path);
                    if (answer == kAnswerStop) {
                        task.status = "User stopped conversion";
                        host.stopRequested = true;
                        return;
                    }
                    if (answer != kAnswerYes) {
                        if (checked.size() == 1) {
                            task.status = "User skipped task";
                            return;
                        }
                        continue;
                    }
                }
                target.overwrite = true;
            }
            targets.push_back(target);
        }
        if (targets.empty()) {
            task.status = "User skipped distribution";
            return;
        }
        if (task.category < 0 || task.category > 255) throw ReportedFailure{kStatusGenericError};

        // Building the document in the working file.
        building = true;
        const RemovedOnSignal workingFiles{workingDoc, workingText};
        host.ShowProgressDisplay(true);
        bool tooLong = false;
        const std::string textPath = ApplyFilters(pc, FilterOptionsOf(task), context.baseDirectory, host, &tooLong);
        if (textPath.empty()) throw ReportedFailure{tooLong ? kStatusTextTooLong : kStatusGenericError};
        {
            int docError = 0;
            std::string createCause;
            const int docFd = CreateWorkingFile(workingDoc, createCause);
            if (docFd < 0) {
                host.ReportFailureCause(createCause);
                throw ReportedFailure{kStatusGenericError};
            }
            FileHandle doc(OpenCheckedStream(docFd, "w+b", &docError));
            if (!doc) throw ReportedFailure{kStatusGenericError};
            // A failed write of the working file is told with its cause.
            struct CauseOnFailure {
                ProgressSink& host;
                const std::string& path;
                const int& error;
                ~CauseOnFailure() {
                    if (error != 0) host.ReportFailureCause(path + ": " + ErrorText(error));
                }
            } cause{host, workingDoc, docError};
            DocBuildRequest request;
            request.textPath = textPath;
            request.databaseName = NewDatabaseName(palm, pc, UsesUtf8Text(task));
            request.compressed = task.HasOption(kOptionCompress);
            request.category = task.category;
            const std::string built = BuildDocFile(request, doc.get(), context.codec, host);
            if (built != kStatusOk) throw ReportedFailure{built};
            if (std::fclose(doc.release()) != 0) throw ReportedFailure{kStatusGenericError};
        }

        // Distributing: each target is replaced only by a complete copy, so a
        // failure leaves every target not yet reached as it was.
        for (const Target& target : targets) {
            std::string cause;
            if (!CopyFileSafely(workingDoc, target.path, &cause, &host)) {
                host.ReportFailureCause(cause);
                throw ReportedFailure{kStatusGenericError};
            }
            if (target.user) context.targets.QueueForInstall(target.entry, target.path);
        }

        double pcTime = 0;
        double palmTime = 0;
        if (!ModificationDate(pc, pcTime) || !ModificationDate(targets.front().path, palmTime)) {
            throw ReportedFailure{kStatusGenericError};
        }
        task.pcfiletime = pcTime;
        task.palmfiletime = palmTime;
        task.status = kStatusOk;
    } catch (const ReportedFailure& failure) {
        task.status = failure.status;
    } catch (const std::exception& error) {
        // A failing user directory, file system or allocation.
        task.status = kStatusGenericError;
        host.ReportFailureCause(error.what());
    }

    if (building || task.status == kStatusGenericError) {
        RemoveIfPresent(workingDoc);
        RemoveIfPresent(workingText);
        host.SetTrayIcon(TrayPicture::kNormal, "");
        host.ShowProgressDisplay(false);
        host.SetProgressCaption("Progress");
        host.LetEventsRun();
    }
}

}  // namespace lum2
