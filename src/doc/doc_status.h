// The statuses the Doc writer and reader end in, as the user sees them and
// the task store keeps them, and the outcome each failure is. The texts are
// the program's words and stay exactly as they are; callers decide by the
// outcome's code.
#pragma once

#include <string>
#include <utility>

#include "base/outcome.h"

namespace lum2 {

inline constexpr const char* kStatusOk = "OK";
// Reading or writing failed; the cause, where known, travels beside it.
inline constexpr const char* kStatusGenericError = "Error: Could not open Palm or PC File";

// The writer's: the text does not fit a document, or writing it failed.
inline constexpr const char* kStatusTextTooLong =
    "Error: PC File too long for a Palm File (more than 65,534 records of 4,096 bytes)";
inline constexpr const char* kStatusTextEmpty = "Error: PC File is empty";
inline constexpr const char* kStatusHeaderNotWritten = "Error: can't create header of Palm File";
inline constexpr const char* kStatusDocInfoNotWritten = "Error: could not write Palm File docinfo";
inline constexpr const char* kStatusRecordNotWritten = "Error: could not write Palm File record";

// The reader's, in the order it checks a document.
inline constexpr const char* kStatusHeaderUnknown = "Error: unknown or corrupted Palm File header";
inline constexpr const char* kStatusTypeUnsupported = "Error: Palm File type or creator not supported";
inline constexpr const char* kStatusTooFewRecords = "Error: Palm File corrupt or wrong format";
inline constexpr const char* kStatusNoDocInfo = "Error: could not get DocInfo of Palm File";
inline constexpr const char* kStatusDocInfoUnknown = "Error: DocInfo in Palm File unknown";
inline constexpr const char* kStatusDocCorrupt = "Error: Palm File corrupt";

// A failure of the writer or the reader: its code and its status text.
struct DocFailure {
    OutcomeCode code;
    const char* status;

    // The outcome with why it happened, in plain words.
    Outcome With(std::string cause) const { return Outcome::Failure(code, status, std::move(cause)); }
    operator Outcome() const { return Outcome::Failure(code, status); }
};

inline constexpr DocFailure kDocFailed{OutcomeCode::kFailed, kStatusGenericError};
inline constexpr DocFailure kDocTextTooLong{OutcomeCode::kTooLong, kStatusTextTooLong};
inline constexpr DocFailure kDocTextEmpty{OutcomeCode::kEmpty, kStatusTextEmpty};
inline constexpr DocFailure kDocHeaderNotWritten{OutcomeCode::kFailed, kStatusHeaderNotWritten};
inline constexpr DocFailure kDocInfoNotWritten{OutcomeCode::kFailed, kStatusDocInfoNotWritten};
inline constexpr DocFailure kDocRecordNotWritten{OutcomeCode::kFailed, kStatusRecordNotWritten};
// A file too short for a header, or with fewer records than DocInfo and
// one text record, is damaged; a type, creator or DocInfo version of another
// kind of database is one this program does not read.
inline constexpr DocFailure kDocHeaderUnknown{OutcomeCode::kCorrupt, kStatusHeaderUnknown};
inline constexpr DocFailure kDocTypeUnsupported{OutcomeCode::kUnsupported, kStatusTypeUnsupported};
inline constexpr DocFailure kDocTooFewRecords{OutcomeCode::kCorrupt, kStatusTooFewRecords};
inline constexpr DocFailure kDocNoDocInfo{OutcomeCode::kCorrupt, kStatusNoDocInfo};
inline constexpr DocFailure kDocInfoUnknown{OutcomeCode::kUnsupported, kStatusDocInfoUnknown};
inline constexpr DocFailure kDocCorrupt{OutcomeCode::kCorrupt, kStatusDocCorrupt};

// The outcome of a document written or read whole.
inline Outcome DocOk() { return Outcome::Success(kStatusOk); }

}  // namespace lum2
