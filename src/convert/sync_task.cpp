// Sync: bring up to date the side whose file changed since the last
// successful conversion, or ask when both did.
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/file_times.h"
#include "base/path_functions.h"
#include "convert/converters.h"

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

using Conversion = Outcome (*)(TaskRecord& task, ConversionContext& context);

// Runs the conversion the user chose without a second question.
Outcome RunChosen(Conversion conversion, TaskRecord& task, ConversionContext& context) {
    context.host.overwritePromptSuppressed = true;
    Outcome outcome;
    try {
        outcome = conversion(task, context);
    } catch (...) {
        context.host.overwritePromptSuppressed = false;
        throw;
    }
    context.host.overwritePromptSuppressed = false;
    return outcome;
}

// What the sync does: the conversion towards the side that did not change
// (chosen: the user picked it in the both-changed prompt), or none, with the
// outcome the sync ends with.
struct Decision {
    Conversion conversion = nullptr;
    bool chosen = false;
    Outcome outcome;
};

Decision Converting(Conversion conversion, bool chosen = false) { return {conversion, chosen, {}}; }
Decision EndingWith(Outcome outcome) { return {nullptr, false, std::move(outcome)}; }

Decision Decide(TaskRecord& task, ConversionContext& context) {
    const std::vector<int> checked = context.host.CheckedTargets();
    if (checked.empty()) return EndingWith(Refused(kStatusNoTarget));
    const std::string pc = InFolder(context.baseDirectory, RightTrim(task.pcfile));
    if (FileNamePart(pc).empty()) return EndingWith(Refused(kStatusNoPcFile));
    const std::string palm = RightTrim(task.palmfile);
    if (FileNamePart(palm).empty()) return EndingWith(Refused(kStatusNoPalmFile));
    const std::string palmPath = PalmFileLocation(palm, checked.front(), context.targets, context.baseDirectory);
    const bool palmExists = FileProbe(palmPath) == 1;
    const bool pcExists = FileProbe(pc) == 1;

    if (pcExists && !palmExists) return Converting(ConvertPcToPalm);
    if (!pcExists && palmExists) return Converting(ConvertPalmToPc);
    if (!pcExists && !palmExists) return EndingWith(Refused(kStatusBothFilesMissing));
    const bool pcChanged = Changed(pc, task.pcfiletime);
    const bool palmChanged = Changed(palmPath, task.palmfiletime);
    if (pcChanged && !palmChanged) return Converting(ConvertPcToPalm);
    if (!pcChanged && palmChanged) return Converting(ConvertPalmToPc);
    if (!pcChanged && !palmChanged) return EndingWith({OutcomeCode::kUpToDate, kStatusUpToDate, {}});
    switch (context.host.AskBothChanged()) {
    case kAnswerUpdatePcFile: return Converting(ConvertPalmToPc, true);
    case kAnswerUpdatePalmFile: return Converting(ConvertPcToPalm, true);
    case kAnswerSkip: return EndingWith(Skipped(kStatusTaskSkipped));
    default: context.host.stopRequested = true; return EndingWith(Stopped());
    }
}

}  // namespace

Outcome SyncTask(TaskRecord& task, ConversionContext& context) {
    Outcome outcome;
    try {
        const Decision decision = Decide(task, context);
        // A conversion tells the task and the host its outcome itself.
        if (decision.conversion != nullptr) {
            return decision.chosen ? RunChosen(decision.conversion, task, context) : decision.conversion(task, context);
        }
        outcome = decision.outcome;
    } catch (const std::exception& error) {
        outcome = GenericFailure(error.what());
    }
    return Conclude(task, context.host, outcome);
}

}  // namespace lum2
