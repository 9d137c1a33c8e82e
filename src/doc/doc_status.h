// The statuses the Doc writer and reader end in, as the user sees them and
// the task store keeps them. The texts are the program's words and stay
// exactly as they are.
#pragma once

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

}  // namespace lum2
