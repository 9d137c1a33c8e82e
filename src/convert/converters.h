// The three conversions of a task: PC to Palm, Palm to PC, and sync.
//
// Each returns its outcome and reports it through the task record it is
// given, its status and, on success, the modification times of both files,
// and the outcome's cause through the host. None writes the store; the caller
// does. Existing files are replaced only by complete new ones. None throws: a
// failing user directory, file system or allocation is an outcome too.
#pragma once

#include <string>

#include "convert/conversion_host.h"
#include "convert/run_status.h"
#include "doc/compression_library.h"
#include "hotsync/install_targets.h"
#include "tasks/task_record.h"

namespace lum2 {

// A task's install text has a character for every entry the list can hold.
static_assert(kInstallWidth == kMaximumInstallEntries);
inline constexpr const char* kWorkingDocFileName = "lumdata.tmp";

struct ConversionContext {
    ConversionHost& host;
    InstallTargets& targets;
    const CodecFunctions& codec;
    std::string baseDirectory;  // ends with a separator; holds the working files
};

Outcome ConvertPcToPalm(TaskRecord& task, ConversionContext& context);
Outcome ConvertPalmToPc(TaskRecord& task, ConversionContext& context);
// The outcome of the conversion it ran, or its own.
Outcome SyncTask(TaskRecord& task, ConversionContext& context);

// Where the Palm file of a task lies for the install entry: the typed path for
// "Custom", else the user's backup folder and the typed file name.
// A relative typed path is taken relative to baseDirectory. Throws the user
// directory's UserDirectoryError for a user it cannot select.
std::string PalmFileLocation(const std::string& palmfile, int entry, InstallTargets& targets,
                             const std::string& baseDirectory);

}  // namespace lum2
