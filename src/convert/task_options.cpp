#include "convert/task_options.h"

#include "doc/palm_doc_format.h"

namespace lum2 {

bool UsesUtf8Text(const TaskRecord& task) { return task.HasOption(kOptionUtf8Text) && !task.HasOption(kOptionRaw); }

FilterOptions FilterOptionsOf(const TaskRecord& task) {
    FilterOptions options;
    options.raw = task.HasOption(kOptionRaw);
    options.tabsToSpaces = task.HasOption(kOptionTabsToSpaces);
    options.tabWidth = task.tabspace;
    options.stripHtml = task.HasOption(kOptionStripHtml);
    options.crToLf = task.HasOption(kOptionCrToLf);
    options.toPalmSet = UsesUtf8Text(task);
    options.joinLines = task.HasOption(kOptionJoinLines);
    options.bookmarks = task.HasOption(kOptionBookmarks);
    options.outputLimit = kLargestText;
    return options;
}

}  // namespace lum2
