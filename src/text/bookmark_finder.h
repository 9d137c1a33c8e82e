// Finds a book's bookmarks in its final text, fed in chunks of any size, and
// removes the marks that asked for them. The text has '\n' line ends only and
// is UTF-8 or the Palm set; offsets are bytes of the text as it leaves here.
//
// A text names its bookmarks in one of three ways, tried in this order:
//   - inline marks: "<* name *>" anywhere on a line (at most 64 bytes between
//     "<*" and "*>"; a longer one, or one broken by a line end, is text). The
//     mark is removed and the bookmark points where it stood.
//   - end tags: the last lines of the text, each "<name>" (blanks around it
//     allowed; the name 1 to 32 bytes without '<', '>' or '*', not starting
//     with a blank), possibly with blank lines between and after them. They
//     are removed, and every line of the text that begins with a tag's name
//     becomes a bookmark named after that line (FindTaggedLines).
//   - headings: with neither of the above, each line that the heading rule
//     (text/heading_rule.h) takes for a chapter or Markdown heading, after a
//     blank line or at the start of the text.
// A bookmark's name is at most 15 bytes, cut at a character boundary in a
// UTF-8 text, without blanks around it and with control bytes made blanks; an
// empty name becomes the first 15 bytes of the text where it points (of the
// next line that has any, when it points at a line's end), or "Bookmark".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "text/bookmark_marks.h"

namespace lum2 {


// A Doc holds at most 65,535 records: the header record and at least one
// record of text leave this many for bookmarks.
inline constexpr std::size_t kMaxBookmarks = 65533;

class BookmarkFinder {
public:
    // utf8: names are cut at character boundaries; else any byte is one.
    explicit BookmarkFinder(bool utf8);

    // Feed and Finish return nothing and throw only what growing out or the
    // bookmark lists throws.
    // Appends the text of the next chunk to out, holding back what may still
    // turn out to be a mark (at most 68 bytes) or the end tags (at most 16
    // lines of at most 40 bytes).
    void Feed(std::string_view chunk, std::string& out);
    // Appends what was held back, less the end tags; the text is complete.
    // One finder reads one text.
    void Finish(std::string& out);

    // The bookmarks, in text order, once Finish has run: the inline marks if
    // the text had any, else (without end tags) its headings, else none; the
    // caller then looks for the end tags' lines with FindTaggedLines.
    std::vector<Bookmark> Bookmarks() const;
    // How many bookmarks of that kind were beyond kMaxBookmarks and left out.
    uint64_t Dropped() const;
    // The names inside the end tags, in text order, each once.
    const std::vector<std::string>& EndTags() const { return endTags_; }

private:
    // Inline marks come off the text first; Lines then sees what is left.
    void Marks(std::string_view text);
    bool MarkByte(char c);
    void FailMark();
    void AddMark(std::string_view name);
    void Lines(std::string_view text);
    void LineBytes(std::string_view bytes);
    // lineEnd: the line ends with '\n' (else it is the text's last).
    void EndLine(bool lineEnd);
    void ReleaseHeld(std::size_t bytes, std::size_t lines);
    bool AddHeading(std::string_view line);
    void Emit(std::string_view bytes);
    struct Unnamed;
    void NameUnnamed(const Unnamed& waiting);

    enum class MarkState : uint8_t { kText, kLess, kInside };
    enum class TagState : uint8_t { kLead, kName, kTrail, kNone };

    bool utf8_;
    std::string* out_ = nullptr;

    // The inline mark being read: "<", "<*" and what followed it.
    MarkState markState_ = MarkState::kText;
    std::string mark_;

    // The line being read (offsets count the text without inline marks,
    // which is the text that leaves here, up to any end tags dropped).
    uint64_t offset_ = 0;      // bytes seen by Lines
    uint64_t lineStart_ = 0;   // where the line began
    uint64_t lineLength_ = 0;  // its bytes so far
    bool afterBlank_ = true;   // a blank line or the start of the text came before
    // The line before was shaped as a chapter heading, and whether it gave the
    // last heading: a heading right under another is a table of contents.
    bool afterChapterLine_ = false;
    bool lastHeadingWasLineBefore_ = false;
    bool blank_ = true;        // only blanks so far
    std::string head_;         // its first bytes, when it may be a heading
    TagState tagState_ = TagState::kLead;
    std::size_t tagName_ = 0;  // bytes of the tag's name so far

    // The end-tag lines held back (and the blank lines among and after them),
    // then the line being read while it may still be one.
    struct HeldLine {
        std::size_t start;  // in held_
        bool tag;           // else a blank line
    };
    std::string held_;
    std::vector<HeldLine> heldLines_;  // the whole lines held
    std::size_t lineHeldStart_ = 0;    // where the line being read begins in held_
    bool holding_ = true;              // the line being read is held

    uint64_t emitted_ = 0;  // bytes appended to out
    std::vector<Bookmark> marks_;
    std::vector<Bookmark> headings_;
    uint64_t marksDropped_ = 0;
    uint64_t headingsDropped_ = 0;
    // Marks whose name waits for the text after them: index into marks_ and
    // the name's bytes so far.
    struct Unnamed {
        std::size_t index;
        std::string text;
    };
    std::vector<Unnamed> unnamed_;
    std::vector<std::string> endTags_;
};

// Reads text from where it stands to its end, line by line in bounded reads,
// and returns a bookmark for each line that begins with one of tags, named
// after the line (as a heading is), in text order; at most kMaxBookmarks, the
// rest counted in *dropped when dropped is not null. Offsets count from where
// the reading began. A read error ends the list early; the caller checks
// std::ferror(text). Throws only what growing the list throws.
std::vector<Bookmark> FindTaggedLines(std::FILE* text, const std::vector<std::string>& tags, bool utf8,
                                      uint64_t* dropped);

}  // namespace lum2
