// Rewrites a PC text before it becomes a Palm document: line ends, TABs and,
// on request, HTML markup. Works chunk by chunk in constant memory.
#pragma once

#include <string>

#include "engine/progress_sink.h"
#include "tasks/task_record.h"

namespace lum2 {

inline constexpr const char* kFilterFileName = "lumfilter.tmp";

// Returns the file that holds the text to convert: pcPath itself when the task
// has "Raw" set, else baseDirectory + "lumfilter.tmp" (left for the caller to
// delete). Returns an empty path on failure (empty or unreadable input,
// negative TAB width, write fault).
std::string ApplyFilters(const std::string& pcPath, const TaskRecord& task,
                         const std::string& baseDirectory, ProgressSink& progress);

}  // namespace lum2
