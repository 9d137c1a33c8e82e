// Sync: bring up to date the side whose file changed since the last
// successful conversion, or ask when both did.
#include <cstdlib>
#include <vector>

#include "convert/converters.h"
#include "doc/doc_builder.h"
#include "base/file_times.h"
#include "base/path_functions.h"

namespace lum2 {

namespace {

// Differences of up to 5 seconds in either direction are the file system's
// rounding, not a change.
constexpr int64_t kUnchangedSeconds = 5;

bool Changed(const std::string& path, double recorded) {
    double current = 0;
    if (!ModificationDate(path, current)) throw std::runtime_error("cannot read the time of " + path);
    return std::llabs(WholeSecondsBetween(recorded, current)) > kUnchangedSeconds;
}

// Runs the conversion the user chose without a second question.
template <typename Conversion>
void RunChosen(Conversion conversion, TaskRecord& task, ConversionContext& context) {
    context.host.overwritePromptSuppressed = true;
    try {
        conversion(task, context);
    } catch (...) {
        context.host.overwritePromptSuppressed = false;
        throw;
    }
    context.host.overwritePromptSuppressed = false;
}

}  // namespace

void SyncTask(TaskRecord& task, ConversionContext& context) {
    try {
        const std::vector<int> checked = context.host.CheckedTargets();
        if (checked.empty()) {
            task.status = kStatusNoTarget;
            return;
        }
        const std::string pc = InFolder(context.baseDirectory, RightTrim(task.pcfile));
        if (FileNamePart(pc).empty()) {
            task.status = kStatusNoPcFile;
            return;
        }
        const std::string palm = RightTrim(task.palmfile);
        if (FileNamePart(palm).empty()) {
            task.status = kStatusNoPalmFile;
            return;
        }
        const std::string palmPath = PalmFileLocation(palm, checked.front(), context.targets, context.baseDirectory);
        const bool palmExists = FileProbe(palmPath) == 1;
        const bool pcExists = FileProbe(pc) == 1;

        if (pcExists && !palmExists) {
            ConvertPcToPalm(task, context);
        } else if (!pcExists && palmExists) {
            ConvertPalmToPc(task, context);
        } else if (!pcExists && !palmExists) {
            task.status = kStatusBothFilesMissing;
        } else {
            const bool pcChanged = Changed(pc, task.pcfiletime);
            const bool palmChanged = Changed(palmPath, task.palmfiletime);
            if (pcChanged && !palmChanged) {
                ConvertPcToPalm(task, context);
            } else if (!pcChanged && palmChanged) {
                ConvertPalmToPc(task, context);
            } else if (!pcChanged && !palmChanged) {
                task.status = kStatusUpToDate;
            } else {
                switch (context.host.AskBothChanged()) {
                case kAnswerUpdatePcFile:
                    RunChosen(ConvertPalmToPc, task, context);
                    break;
                case kAnswerUpdatePalmFile:
                    RunChosen(ConvertPcToPalm, task, context);
                    break;
                case kAnswerSkip:
                    task.status = kStatusTaskSkipped;
                    break;
                default:
                    task.status = kStatusStopped;
                    context.host.stopRequested = true;
                    break;
                }
            }
        }
    } catch (const std::exception& error) {
        task.status = kStatusGenericError;
        context.host.ReportFailureCause(error.what());
    }
}

}  // namespace lum2
