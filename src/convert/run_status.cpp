#include "convert/run_status.h"

#include <utility>

#include "doc/doc_builder.h"

namespace lum2 {

Outcome Refused(const char* status) { return Outcome::Failure(OutcomeCode::kRefused, status); }

Outcome Skipped(const char* status) { return Outcome::Failure(OutcomeCode::kSkipped, status); }

Outcome Stopped() { return Outcome::Failure(OutcomeCode::kStopped, kStatusStopped); }

Outcome GenericFailure(std::string cause) {
    return Outcome::Failure(OutcomeCode::kFailed, kStatusGenericError, std::move(cause));
}

const Outcome& Conclude(TaskRecord& task, ProgressSink& host, const Outcome& outcome) {
    task.status = outcome.status;
    if (!outcome.cause.empty()) host.ReportFailureCause(outcome.cause);
    return outcome;
}

OutcomeCode OutcomeOf(const std::string& status) {
    if (status.rfind(kStatusOk, 0) == 0) return OutcomeCode::kOk;
    if (status == kStatusUpToDate) return OutcomeCode::kUpToDate;
    if (status == kStatusStopped) return OutcomeCode::kStopped;
    if (status.rfind("Error", 0) == 0) return OutcomeCode::kFailed;
    return OutcomeCode::kSkipped;
}

bool IsFailure(OutcomeCode code) {
    switch (code) {
    case OutcomeCode::kOk:
    case OutcomeCode::kUpToDate:
    case OutcomeCode::kSkipped:
    case OutcomeCode::kStopped: return false;
    case OutcomeCode::kRefused:
    case OutcomeCode::kTooLong:
    case OutcomeCode::kEmpty:
    case OutcomeCode::kUnsupported:
    case OutcomeCode::kCorrupt:
    case OutcomeCode::kFailed: return true;
    }
    return true;
}

}  // namespace lum2
