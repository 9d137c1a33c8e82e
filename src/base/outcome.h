// How the outcome of a piece of core work travels: a code that callers
// compare, the status text the user sees and the store keeps, and the cause
// in plain words for whoever can show it (lum2doc prints it after the status).
//
// Callers decide by the code, never by the status text's first characters:
// the texts are the program's words for the user and stay exactly as they
// are, while the codes are what the code means by them.
#pragma once

#include <string>
#include <utility>

namespace lum2 {

enum class OutcomeCode {
    kOk,           // done
    kUpToDate,     // nothing needed doing ("No update necessary")
    kSkipped,      // the user (or a run no one watches) skipped it
    kStopped,      // the user stopped the run
    kRefused,      // a check before anything was opened failed (a name missing, the same file)
    kTooLong,      // more text than a document holds
    kEmpty,        // no text to convert
    kUnsupported,  // not a document this program reads (type, creator, DocInfo version)
    kCorrupt,      // a damaged document
    kFailed,       // reading or writing failed: the generic status, with the cause
};

struct Outcome {
    OutcomeCode code = OutcomeCode::kOk;
    std::string status;  // the status text, as shown and stored
    std::string cause;   // why, in plain words ("book.pdb: No space left on device"); may be empty

    bool Ok() const { return code == OutcomeCode::kOk; }

    static Outcome Success(std::string status) { return {OutcomeCode::kOk, std::move(status), {}}; }
    static Outcome Failure(OutcomeCode code, std::string status, std::string cause = {}) {
        return {code, std::move(status), std::move(cause)};
    }
};

}  // namespace lum2
