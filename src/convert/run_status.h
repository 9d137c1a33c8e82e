// How a task's run ends: the statuses of its own besides those of the
// document reader and writer (doc/), the outcomes the converters return, and
// the one reading of a status the store kept.
//
// The statuses are the words the user reads in the window, in lum2doc's
// output and in the task list, and that the store keeps; they stay exactly as
// they are. What the code makes of them goes by OutcomeCode.
#pragma once

#include <string>

#include "base/outcome.h"
#include "base/progress_sink.h"
#include "tasks/task_record.h"

namespace lum2 {

// An answer to a prompt.
inline constexpr const char* kStatusStopped = "User stopped conversion";
inline constexpr const char* kStatusTaskSkipped = "User skipped task";
// Every target of a PC to Palm task skipped at the overwrite prompt.
inline constexpr const char* kStatusDistributionSkipped = "User skipped distribution";

// A sync that found both files as the last run left them.
inline constexpr const char* kStatusUpToDate = "No update necessary";

// The checks before anything is opened. A sync asks for a target, the
// others for the source target their file is read from or written for.
inline constexpr const char* kStatusNoPcFile = "Error: no PC File selected";
inline constexpr const char* kStatusNoPalmFile = "Error: no Palm File selected";
inline constexpr const char* kStatusNoSourceTarget = "Error: no source user (or custom) selected";
inline constexpr const char* kStatusNoTarget = "Error: no user (or custom) selected";
inline constexpr const char* kStatusPcFileMissing = "Error: PC File does not exist";
inline constexpr const char* kStatusPalmFileMissing = "Error: Palm File does not exist";
inline constexpr const char* kStatusBothFilesMissing = "Error: PC File and Palm File does not exist";
// Writing either file would destroy the other: they are one file.
inline constexpr const char* kStatusSameFile = "Error: PC File and Palm File are the same file";

// The outcomes the converters end with. Each returns its code with the
// status given, or with kStatusStopped or the generic status (doc/).
Outcome Refused(const char* status);             // kRefused: a check failed
Outcome Skipped(const char* status);             // kSkipped: an answer left it alone
Outcome Stopped();                               // kStopped
Outcome GenericFailure(std::string cause = {});  // kFailed, with the cause when known

// Where a conversion's outcome goes, once: its status into task, its cause
// (when it has one) to host. Returns outcome.
const Outcome& Conclude(TaskRecord& task, ProgressSink& host, const Outcome& outcome);

// What a status read back from the store says of the task's last run: the
// one place a status text is classified. "OK" (with anything after it) is
// kOk, kStatusUpToDate kUpToDate, kStatusStopped kStopped, any "Error..."
// kFailed (the text tells what failed, not how), and anything else (a skip,
// no status yet, words this version does not know) kSkipped.
OutcomeCode OutcomeOf(const std::string& status);

// Whether code is one of the failures, kRefused to kFailed.
bool IsFailure(OutcomeCode code);

}  // namespace lum2
