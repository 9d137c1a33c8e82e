// The statuses a task's run ends with, besides those of the document reader
// and writer (doc/): the words the user reads in the window, in lum2doc's
// output and in the task list, and that the store keeps. They stay exactly as
// they are; what the code makes of them goes by OutcomeCode.
#pragma once

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

}  // namespace lum2
