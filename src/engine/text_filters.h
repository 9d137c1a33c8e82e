// Rewrites a PC text before it becomes a Palm document: line ends, TABs and,
// on request, HTML markup and the character set. Works chunk by chunk in
// constant memory.
#pragma once

#include <string>

#include "engine/progress_sink.h"
#include "tasks/task_record.h"

namespace lum2 {

inline constexpr const char* kFilterFileName = "lumfilter.tmp";

// "UTF-8 Text" converts between UTF-8 and the Palm set in both directions;
// "Raw" keeps the bytes as they are, so it turns the conversion off too.
bool UsesUtf8Text(const TaskRecord& task);

// With "UTF-8 Text", a PC text that is valid UTF-8 throughout is converted to
// the Palm set after the other filters (HTML entities then decode to UTF-8
// first); any other text keeps its bytes. Either outcome, and the number of
// characters replaced, is told through progress.Note.
//
// Returns the file that holds the text to convert: pcPath itself when the task
// has "Raw" set or the filters would change none of its bytes, else
// baseDirectory + "lumfilter.tmp" (left for the caller to delete). Returns an
// empty path on failure (empty or unreadable input, negative TAB width, write
// fault); a failure with a status of its own (a text longer than a document
// holds, found as soon as the output passes that) puts it in *status.
// lumfilter.tmp is made new (see CreateWorkingFile), mode 0600.
std::string ApplyFilters(const std::string& pcPath, const TaskRecord& task,
                         const std::string& baseDirectory, ProgressSink& progress,
                         std::string* status = nullptr);

}  // namespace lum2
