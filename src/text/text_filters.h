// Rewrites a PC text before it becomes a Palm document: line ends, TABs and,
// on request, HTML markup and the character set. Works chunk by chunk in
// constant memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/outcome.h"
#include "base/progress_sink.h"
#include "text/bookmark_marks.h"

namespace lum2 {

inline constexpr const char* kFilterFileName = "lumfilter.tmp";

// What the filters do to a text.
struct FilterOptions {
    bool raw = false;  // the bytes as they are: every other option is off
    bool tabsToSpaces = false;
    int tabWidth = 0;  // spaces for a TAB; negative is refused
    bool stripHtml = false;
    bool crToLf = false;     // a carriage return becomes a line feed instead of going
    bool toPalmSet = false;  // a UTF-8 text is converted to the Palm set
    bool joinLines = false;  // the lines of hard-wrapped paragraphs are joined
    // Bookmarks come from inline marks, end tags or headings (and, with
    // stripHtml, from h1 to h3); the marks and end tags leave the text.
    bool bookmarks = false;
    // The most bytes the output may have: the largest text a document holds.
    // A filter that passes it (TABs made into many spaces can multiply a
    // text) stops there instead of filling the disk.
    uint64_t outputLimit = UINT64_MAX;
};

// With toPalmSet, a PC text that is valid UTF-8 throughout is converted to
// the Palm set after the other filters (HTML entities then decode to UTF-8
// first); any other text keeps its bytes. Either outcome, and the number of
// characters replaced, is told through progress.Note.
//
// With bookmarks, fills *bookmarks (when not null) with the text's
// bookmarks, their offsets those of the text in textPath, and tells
// progress.Note how many were dropped past the most a document holds.
//
// Sets textPath to the file that holds the text to convert: pcPath itself
// when raw is set or the filters would change none of its bytes, else
// baseDirectory + "lumfilter.tmp" (left for the caller to delete; made new,
// mode 0600, see CreateWorkingFile). textPath is empty after a failure.
//
// Returns the outcome's code: kOk; kTooLong when the output passed
// outputLimit; kEmpty for an empty input; kFailed for any other failure (an
// input that cannot be opened or read, a negative TAB width, a write fault).
// The status is left empty: the status texts are the converters', which
// choose theirs by the code. The cause is the file system's reason when the
// input could not be opened or the working file not made, "the file is
// empty" for kEmpty, else empty; the caller reports it. Throws nothing of its own.
Outcome ApplyFilters(const std::string& pcPath, const FilterOptions& options, const std::string& baseDirectory,
                     ProgressSink& progress, std::string& textPath, std::vector<Bookmark>* bookmarks = nullptr);

}  // namespace lum2
