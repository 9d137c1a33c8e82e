// PC to Palm: filter the PC text, build the Doc database in lumdata.tmp, then
// copy it to every checked install target.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "base/file_handle.h"
#include "base/file_times.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
#include "convert/converters.h"
#include "convert/database_name.h"
#include "convert/task_options.h"
#include "doc/doc_builder.h"
#include "doc/palm_doc_format.h"
#include "text/palm_charset.h"
#include "text/text_filters.h"

namespace lum2 {

namespace {

struct Target {
    int entry = 0;
    std::string path;
    bool user = false;  // a HotSync user's copy, handed to its install
};

// A working file goes; a folder planted at its name is not this program's to remove.
void RemoveIfPresent(const std::string& path) { unlink(path.c_str()); }

// One conversion, step by step. Each step returns the outcome the conversion
// ends with, or one that is Ok() to go on to the next; each throws what the
// user directory, the host and the file system throw.
struct PcToPalmConversion {
    TaskRecord& task;
    ConversionContext& context;
    ConversionHost& host;
    const std::string workingDoc;
    const std::string workingText;

    std::vector<int> checked{};
    std::string pc{};    // the PC file, in the base folder when typed relative
    std::string palm{};  // the Palm file as typed
    std::vector<Target> targets{};
    std::string textPath{};  // the filtered text: the PC file itself, or the working text
    std::vector<Bookmark> bookmarks{};  // the filtered text's, with "Bookmarks"
    // Set once the working files may exist, and until they are removed.
    std::optional<RemovedOnSignal> workingFiles{};

    Outcome Run() {
        Outcome outcome = CheckTask();
        if (outcome.Ok()) outcome = ChooseTargets();
        if (outcome.Ok()) outcome = FilterText();
        if (outcome.Ok()) outcome = BuildWorkingDoc();
        if (outcome.Ok()) outcome = Distribute();
        if (outcome.Ok()) outcome = RecordTimes();
        return outcome;
    }

    // The names and the PC file, before anything is asked or opened.
    Outcome CheckTask() {
        checked = host.CheckedTargets();
        if (checked.empty()) return Refused(kStatusNoSourceTarget);
        pc = InFolder(context.baseDirectory, RightTrim(task.pcfile));
        if (FileNamePart(pc).empty()) return Refused(kStatusNoPcFile);
        palm = RightTrim(task.palmfile);
        if (FileNamePart(palm).empty()) return Refused(kStatusNoPalmFile);
        if (FileProbe(pc) <= 0) return Refused(kStatusPcFileMissing);
        return {};
    }

    // The targets to write, asking before each existing file is replaced:
    // nothing is written yet, so an early answer ends the task at once.
    Outcome ChooseTargets() {
        for (const int entry : checked) {
            if (entry < 0 || entry >= kMaximumInstallEntries || entry >= context.targets.Count()) {
                return GenericFailure();
            }
            Target target;
            target.entry = entry;
            target.user = !context.targets.IsCustom(entry);
            target.path = PalmFileLocation(palm, entry, context.targets, context.baseDirectory);
            // Replacing the text by its own document would lose it.
            if (IsSameFile(pc, target.path)) return Refused(kStatusSameFile);
            if (FileProbe(target.path) > 0 && !host.overwritePromptSuppressed && host.AskBeforeOverwrite()) {
                const int answer = host.AskOverwrite("Palm File already exists! Overwrite file?", target.path);
                if (answer == kAnswerStop) {
                    host.stopRequested = true;
                    return Stopped();
                }
                if (answer != kAnswerYes) {
                    if (checked.size() == 1) return Skipped(kStatusTaskSkipped);
                    continue;
                }
            }
            targets.push_back(target);
        }
        if (targets.empty()) return Skipped(kStatusDistributionSkipped);
        return {};
    }

    // The building begins: the progress display shows, and the text goes
    // through the filters (a category no document holds is refused first).
    Outcome FilterText() {
        if (task.category < 0 || task.category > 255) return GenericFailure();
        workingFiles.emplace({workingDoc, workingText});
        host.ShowProgressDisplay(true);
        const Outcome filtered = ApplyFilters(pc, FilterOptionsOf(task), context.baseDirectory, host, textPath, &bookmarks);
        if (filtered.code == OutcomeCode::kTooLong) return Outcome::Failure(OutcomeCode::kTooLong, kStatusTextTooLong);
        // The filters' outcome carries no status: a failure is the generic one.
        // An empty text's cause does not name the file, which the run's line must.
        if (filtered.code == OutcomeCode::kEmpty) return GenericFailure(pc + ": " + filtered.cause);
        if (!filtered.Ok()) return GenericFailure(filtered.cause);
        return {};
    }

    // The document, built in the working file; a failed write of it is
    // told with its cause.
    Outcome BuildWorkingDoc() {
        int docError = 0;
        std::string createCause;
        const int docFd = CreateWorkingFile(workingDoc, createCause);
        if (docFd < 0) return GenericFailure(createCause);
        FileHandle doc(OpenCheckedStream(docFd, "w+b", &docError));
        if (!doc) return GenericFailure();
        const auto writeCause = [&] { return docError != 0 ? workingDoc + ": " + ErrorText(docError) : std::string(); };
        DocBuildRequest request;
        request.textPath = textPath;
        request.databaseName = NewDatabaseName(palm, pc, UsesUtf8Text(task));
        request.compressed = task.HasOption(kOptionCompress);
        request.category = task.category;
        request.bookmarks = std::move(bookmarks);
        Outcome built = BuildDocFile(request, doc.get(), context.codec, host);
        if (!built.Ok()) {
            if (built.cause.empty()) built.cause = writeCause();
            return built;
        }
        if (std::fclose(doc.release()) != 0) return GenericFailure(writeCause());
        return {};
    }

    // Each target is replaced only by a complete copy, so a failure leaves
    // every target not yet reached as it was.
    Outcome Distribute() {
        for (const Target& target : targets) {
            std::string cause;
            if (!CopyFileSafely(workingDoc, target.path, &cause, &host)) return GenericFailure(cause);
            if (target.user) context.targets.QueueForInstall(target.entry, target.path);
        }
        return {};
    }

    // The times a later sync compares with: those of the PC file and the first target.
    Outcome RecordTimes() {
        double pcTime = 0;
        double palmTime = 0;
        if (!ModificationDate(pc, pcTime) || !ModificationDate(targets.front().path, palmTime)) {
            return GenericFailure();
        }
        task.pcfiletime = pcTime;
        task.palmfiletime = palmTime;
        return Outcome::Success(kStatusOk);
    }
};

}  // namespace

std::string PalmFileLocation(const std::string& palmfile, int entry, InstallTargets& targets,
                             const std::string& baseDirectory) {
    const std::string palm = RightTrim(palmfile);
    if (targets.IsCustom(entry)) return InFolder(baseDirectory, palm);
    return targets.UserBackupFolder(entry) + FileNamePart(palm);
}

Outcome ConvertPcToPalm(TaskRecord& task, ConversionContext& context) {
    ConversionHost& host = context.host;
    const std::string workingDoc = context.baseDirectory + kWorkingDocFileName;
    const std::string workingText = context.baseDirectory + kFilterFileName;
    PcToPalmConversion conversion{task, context, host, workingDoc, workingText};
    Outcome outcome;
    try {
        outcome = conversion.Run();
    } catch (const std::exception& error) {
        // A failing user directory, file system or allocation.
        outcome = GenericFailure(error.what());
    }
    Conclude(task, host, outcome);

    if (conversion.workingFiles || outcome.code == OutcomeCode::kFailed) {
        RemoveIfPresent(workingDoc);
        RemoveIfPresent(workingText);
        host.SetTrayIcon(TrayPicture::kNormal, "");
        host.ShowProgressDisplay(false);
        host.SetProgressCaption("Progress");
        host.LetEventsRun();
    }
    return outcome;
}

}  // namespace lum2
