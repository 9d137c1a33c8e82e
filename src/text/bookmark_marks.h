// The inline bookmark mark, "<* name *>": written into a text where a
// bookmark stands, it becomes that bookmark when the text is converted with
// bookmarks, and the mark itself leaves the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lum2 {

// A bookmark of a text: where it stands and what the reader lists it as.
struct Bookmark {
    uint32_t offset = 0;  // bytes into the final text, as the Doc holds it
    std::string name;
};

inline constexpr std::string_view kMarkOpen = "<*";
inline constexpr std::string_view kMarkClose = "*>";

// What is said of bookmarks left out for want of records.
inline std::string DroppedBookmarksNote(uint64_t dropped) {
    return std::to_string(dropped) + " bookmarks were dropped: a Palm database holds at most 65,535 records";
}

// The mark of a bookmark called name, a blank inside each end.
inline std::string InlineBookmarkMark(std::string_view name) {
    std::string mark;
    mark.reserve(name.size() + kMarkOpen.size() + kMarkClose.size() + 2);
    mark.append(kMarkOpen).append(1, ' ').append(name).append(1, ' ').append(kMarkClose);
    return mark;
}

}  // namespace lum2
