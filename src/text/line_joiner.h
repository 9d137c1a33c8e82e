// Puts hard-wrapped paragraphs back together, fed in chunks of any size, so
// that a reader can flow them to its own screen width. The text has '\n' line
// ends only and is UTF-8 or the Palm set.
//
// The wrap width comes from the first kLearnBytes of the text: the length (in
// characters) that 95 % of its non-blank lines do not pass. The text counts as
// wrapped only when that width is 30 to 100, most lines are close to it, and
// where a line is followed by another, the next line's first word mostly would
// not have fitted on it. A line then joins the next one, with one blank for
// its line end and without its trailing blanks, only when
//   - neither is blank, and neither is a heading (text/heading_rule.h);
//   - it is not longer than the width + 5 (a long line is kept as it is);
//   - the next line does not begin with a blank or TAB (verse, quotations)
//     and is no list item ("- ", "* ", "+ ", "• ", "1. ", "12) ", "a) ");
//   - the next line's first word would not have fitted on it, so short lines
//     (verse, a table of contents, a signature, a paragraph's last line)
//     keep their line ends.
// A text that is not wrapped leaves byte for byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lum2 {

class LineJoiner {
public:
    // utf8: lengths count characters, not bytes.
    explicit LineJoiner(bool utf8);

    // Feed and Finish return nothing and throw only what growing out throws.
    // Appends the text of the next chunk to out. Nothing comes out before
    // the first kLearnBytes are in; after that, at most one line is held
    // back (a line longer than the look-ahead, about the width + 64 bytes, is
    // never joined to anything and passes as it comes).
    void Feed(std::string_view chunk, std::string& out);
    // Appends what was held back; the text is complete. One joiner reads one
    // text.
    void Finish(std::string& out);

    // The width the text was found wrapped at, once it is known (after the
    // first kLearnBytes, or at Finish); 0 for a text that is not wrapped.
    int WrapWidth() const { return width_; }

    static constexpr std::size_t kLearnBytes = 64 * 1024;

private:
    void Learn(bool complete, std::string& out);
    void Process(std::string_view text, std::string& out);
    void EndLine(std::string_view line, bool lineEnd, std::string& out);

    bool utf8_;
    bool learning_ = true;
    std::string learn_;
    int width_ = 0;
    std::size_t lookAhead_ = 0;  // the most bytes of a line held back

    std::string head_;          // the line being read, up to lookAhead_ bytes
    bool passing_ = false;      // the line being read passed lookAhead_: it streams to its end
    bool joinable_ = false;     // the line before may join the next; its line end is held
    std::string blanks_;        // that line's trailing blanks, held too
    std::size_t previous_ = 0;  // that line's characters, without its trailing blanks
};

}  // namespace lum2
