// Palm to PC: read the Doc database of the lowest checked target, check it,
// and write its text as the PC file.
#include <cstdio>
#include <memory>
#include <vector>

#include "base/file_handle.h"
#include "base/file_times.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
#include "convert/converters.h"
#include "convert/task_options.h"
#include "doc/doc_builder.h"
#include "doc/doc_extractor.h"

namespace lum2 {

namespace {

// Writes the text of the document at source as the PC file pc, which stays
// as it was until the text is complete.
Outcome WriteText(const std::string& source, const std::string& pc, const TaskRecord& task,
                  ConversionContext& context) {
    ConversionHost& host = context.host;
    std::string openCause;
    FileHandle doc(OpenRegularStream(source, openCause));
    if (!doc) return GenericFailure(openCause);
    ReplacementFile text(pc);
    Outcome outcome = GenericFailure();
    if (text.Ok()) {
        host.ShowProgressDisplay(true);
        outcome = ExtractDocText(doc.get(), text.File(), context.codec, host, UsesUtf8Text(task));
        doc.reset();
        if (outcome.Ok() && !text.Commit()) outcome = GenericFailure();
    }
    if (outcome.code == OutcomeCode::kFailed && !text.Cause().empty()) {
        outcome.cause = text.NamedCause();
    } else if (!outcome.cause.empty()) {
        // What the reader says of a document does not name it; the run's line must.
        outcome.cause = source + ": " + outcome.cause;
    }
    return outcome;
}

// The conversion up to the times recorded; converting is set once the PC
// file's replacement is under way. Throws what the user directory and the
// host throw.
Outcome PalmToPc(TaskRecord& task, ConversionContext& context, bool& converting) {
    ConversionHost& host = context.host;
    const std::vector<int> checked = host.CheckedTargets();
    if (checked.empty()) return Refused(kStatusNoSourceTarget);
    const std::string palm = RightTrim(task.palmfile);
    if (FileNamePart(palm).empty()) return Refused(kStatusNoPalmFile);
    const std::string typedPc = RightTrim(task.pcfile);
    if (FileNamePart(typedPc).empty()) return Refused(kStatusNoPcFile);
    task.palmfile = palm;
    task.pcfile = typedPc;
    const std::string pc = InFolder(context.baseDirectory, typedPc);

    const std::string source = PalmFileLocation(palm, checked.front(), context.targets, context.baseDirectory);
    if (FileProbe(source) != 1) return Refused(kStatusPalmFileMissing);
    // Replacing the document by its own text would lose it.
    if (IsSameFile(source, pc)) return Refused(kStatusSameFile);
    if (FileProbe(pc) == 1 && !host.overwritePromptSuppressed && host.AskBeforeOverwrite()) {
        const int answer = host.AskOverwrite("PC File already exists! Overwrite file?", pc);
        if (answer == kAnswerStop) {
            host.stopRequested = true;
            return Stopped();
        }
        if (answer != kAnswerYes) return Skipped(kStatusTaskSkipped);
    }

    // The existing PC file stays until the new one is complete, so a
    // damaged Palm file or a failed write never costs the user a text.
    converting = true;
    const Outcome written = WriteText(source, pc, task, context);
    if (!written.Ok()) return written;
    double palmTime = 0;
    double pcTime = 0;
    if (!ModificationDate(source, palmTime) || !ModificationDate(pc, pcTime)) return GenericFailure();
    task.palmfiletime = palmTime;
    task.pcfiletime = pcTime;
    return written;
}

}  // namespace

Outcome ConvertPalmToPc(TaskRecord& task, ConversionContext& context) {
    ConversionHost& host = context.host;
    bool converting = false;
    Outcome outcome;
    try {
        outcome = PalmToPc(task, context, converting);
    } catch (const std::exception&) {
        outcome = GenericFailure();
    }
    Conclude(task, host, outcome);

    if (converting || outcome.code == OutcomeCode::kFailed) {
        host.SetTrayIcon(TrayPicture::kNormal, "");
        host.ShowProgressDisplay(false);
        host.LetEventsRun();
    }
    return outcome;
}

}  // namespace lum2
