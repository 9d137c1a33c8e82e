// What a task's options text asks of the filters and the reader.
#pragma once

#include "tasks/task_record.h"
#include "text/text_filters.h"

namespace lum2 {

// "UTF-8 Text" converts between UTF-8 and the Palm set in both directions;
// "Raw" keeps the bytes as they are, so it turns the conversion off too.
bool UsesUtf8Text(const TaskRecord& task);

// The filters a task's options and TAB width ask for, bounded by the most
// text a document holds.
FilterOptions FilterOptionsOf(const TaskRecord& task);

}  // namespace lum2
