// Turns an HTML page, fed in chunks of any size, into the text a person reads
// on a handheld's narrow screen.
//
// The text is laid out as a browser would show it in plain lines:
// - Outside <pre>, each run of blanks, TABs and line breaks is one blank, and
//   none is left at the start or end of a line. <pre> keeps its text exactly
//   (a CR LF is one line break, and the one right after <pre> goes, as in a
//   browser).
// - Block elements (div, section, li, dt, tr, ...) start and end a line;
//   paragraph-like ones (p, h1-h6, blockquote, pre, hr, and a list or table
//   as a whole) are set off by one blank line. <br> ends a line. There is
//   never more than one blank line in a row and none before the text.
// - A list item starts with "- ", or in an <ol> with its number (counted
//   from its start=) and ". "; each nested list indents its items by two
//   more blanks. Lists nest kListLevels deep; items deeper than that are
//   "- " at the deepest indent.
// - The cells of a table row are separated by one TAB (0x09) each, an empty
//   cell included; each row is a line.
// - <head> (its title too), <script>, <style>, <template>, comments,
//   <!DOCTYPE> and <?...?> leave nothing; other tags leave their text only.
// - Every character reference of HTML decodes as browsers decode it: the
//   named ones (the older ones also without ';', "&copy" as "&copy;"), and
//   the numeric ones, where 0, a surrogate or a number beyond U+10FFFF is
//   U+FFFD and &#128;-&#159; are the characters of Windows-1252. A no-break
//   space becomes a plain one: readers draw 0xA0 as a box or at the wrong
//   width. What is no reference ("AT&T", "&bogus;") stays as written.
// - The text ends with one line break when there is any.
//
// References decode to UTF-8 in a UTF-8 text, else to the Palm set, where a
// character the set lacks gets the stand-in PalmTextEncoder gives it. Text
// outside references keeps its bytes, whitespace apart.
//
// With heading marks, each <h1>, <h2> and <h3> that shows any text is led by
// "<* NAME *>", NAME being the start of its first line as shown, at most
// kMarkNameBytes bytes of it (cut between characters in UTF-8, without the
// blank the cut may leave), so that a reader's bookmarks can be found in the
// text. A heading whose name would hold "*>" gets none, since the mark could
// not be read back.
//
// The state between chunks is a fixed number of bytes, so an element,
// reference or nesting of any size costs no more memory, and a split
// anywhere gives the same text as one chunk.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "text/palm_charset.h"

namespace lum2 {

class HtmlStripper {
public:
    // utf8: the text is UTF-8, so references become UTF-8 too.
    // headingMarks: lead h1-h3 by their bookmark marks.
    // Construction, destruction and moves throw nothing.
    explicit HtmlStripper(bool utf8 = false, bool headingMarks = false);
    ~HtmlStripper();
    HtmlStripper(HtmlStripper&&) noexcept;
    HtmlStripper& operator=(HtmlStripper&&) noexcept;

    // Feed and Finish return nothing and throw only std::bad_alloc, from
    // growing out or from making the stand-ins' encoder.
    // Appends the text of the next chunk of markup to out; what may still
    // change with the next chunk (a reference, a heading's name) is held.
    void Feed(std::string_view chunk, std::string& out);
    // Appends what was held and the final line break, and makes the stripper
    // ready for a new document with the same settings.
    void Finish(std::string& out);

    // Longest reference held while it may still grow: '&' and a name.
    static constexpr std::size_t kMaxEntity = 33;
    // Longest tag name worth remembering: "blockquote" and "figcaption" fit.
    static constexpr std::size_t kMaxTagName = 10;
    static constexpr std::size_t kListLevels = 16;
    static constexpr std::size_t kMarkNameBytes = 48;

private:
    enum class Mode : uint8_t {
        kText,
        kEntity,      // after '&', collecting a name
        kNumeric,     // after "&#" or "&#x", collecting digits
        kTagOpen,     // just after '<'
        kEndTagOpen,  // just after "</"
        kTagName,
        kTagAttributes,    // after the name, up to the closing '>'
        kDeclarationOpen,  // just after "<!"
        kDeclarationDash,  // after "<!-"
        kDeclaration,      // <!DOCTYPE ...> and the like, up to '>'
        kComment,          // after "<!--", up to "-->"
        kInstruction,      // after "<?", up to "?>"
        kRawText,          // script, style or title content, up to its end tag
    };
    enum class RawElement : uint8_t { kScript, kStyle, kTitle };

    // Consumes one byte in the current mode; false asks for the same byte
    // again in the new mode. Each mode (or group of modes) has its own step.
    bool Step(char c, std::string& out);
    bool StepText(char c, std::string& out);
    bool StepEntity(char c, std::string& out);
    bool StepNumeric(char c, std::string& out);
    bool StepTagOpen(char c, std::string& out);
    bool StepEndTagOpen(char c);
    bool StepTagName(char c, std::string& out);
    bool StepTagAttributes(char c, std::string& out);
    void WatchStart(char c);           // follows an <ol>'s attributes for start=
    bool StepDeclarationOpen(char c);  // "<!" and "<!-"
    bool StepDeclaration(char c);
    bool StepComment(char c);
    bool StepInstruction(char c);
    bool StepRawText(char c);
    // Clears what the tag before left; closing: an end tag.
    void StartTag(bool closing);
    void EndTag(std::string& out);

    // References: the longest name that a browser would take from what was
    // held (the whole of it when ended by ';'), the rest as text.
    // Returns whether the ';' that ended the name was part of the reference.
    bool ResolveName(bool semicolon, std::string& out);
    void ResolveNumber(std::string& out);
    void PutCharacter(char32_t first, char32_t second, std::string& out);

    // The layout: what is pending between two pieces of text is written only
    // when text follows, so nothing is left at a line's or the text's end.
    bool Hidden() const { return inHead_ || templateDepth_ > 0; }
    void Whitespace(char c, std::string& out);
    void Put(std::string_view text, std::string& out);  // text shown as it is
    void Separate(std::string& out);                    // writes what is pending
    void Emit(std::string_view bytes, std::string& out);
    void Break(uint8_t lines);  // 1: end the line; 2: a blank line
    void LineBreak();
    void ListItem(std::string& out);
    void EndHeading(std::string& out);
    void WriteHeld(std::string& out);

    bool utf8_;
    bool headingMarks_;
    // Stand-ins for characters the Palm set lacks; made when first needed.
    std::unique_ptr<PalmTextEncoder> encoder_;

    Mode mode_ = Mode::kText;

    // Tag being read: its lower-case name (when short enough to matter).
    std::array<char, kMaxTagName> name_{};  // zero-filled past its length
    static_assert(kMaxTagName >= 8, "the look-up reads eight bytes of the name");
    uint8_t nameLength_ = 0;
    bool nameTooLong_ = false;
    bool closing_ = false;
    bool selfClosing_ = false;  // '/' just before the '>'
    char quote_ = 0;            // the quote an attribute value is open in
    bool afterEquals_ = false;  // only a quote right after '=' opens a value
    // An <ol>'s start= number: where its attributes are, how much of the name
    // "start" the current one matched (UINT8_MAX: none), and the digits.
    enum class Attribute : uint8_t { kBetween, kName, kAfterName, kValueStart, kValue };
    bool watchStart_ = false;
    Attribute attribute_ = Attribute::kBetween;
    uint8_t startMatched_ = 0;
    bool inStart_ = false;
    bool startDigits_ = false;
    uint32_t start_ = 0;

    // The reference being read: '&' and its name, or "&#" / "&#x" and the
    // value of the digits so far (kept from growing past U+10FFFF).
    std::array<char, kMaxEntity> entity_{};
    uint8_t entityLength_ = 0;
    bool digits_ = false;
    uint32_t number_ = 0;

    uint8_t dashes_ = 0;     // '-' seen in a row inside a comment
    bool question_ = false;  // '?' just seen inside <? ... ?>
    RawElement rawElement_ = RawElement::kScript;
    uint8_t rawMatched_ = 0;  // bytes of "</script" (or the like) matched

    // Layout: line breaks (and, in <pre>, all of them), TABs and a blank
    // waiting for the next text.
    uint32_t breaks_ = 0;
    uint8_t tabs_ = 0;
    bool space_ = false;
    bool spaceAllowed_ = false;  // text before on the line, so a blank may follow
    bool atStart_ = true;        // nothing written yet
    bool markerOnLine_ = false;  // the line holds a list marker and nothing else
    bool rowHasCell_ = false;
    bool skipNewline_ = false;  // just after <pre>
    bool afterCr_ = false;      // in <pre>, a CR LF is one line break
    bool inHead_ = false;
    uint32_t preDepth_ = 0;
    uint32_t templateDepth_ = 0;
    // Open lists, the outer kListLevels of them: which are numbered, and the
    // next number of each.
    uint32_t listDepth_ = 0;
    uint16_t orderedLists_ = 0;
    std::array<uint32_t, kListLevels> itemNumbers_{};

    // A heading's text held until its name is known: its first
    // kMarkNameBytes bytes and the one after, which tells whether the name
    // was cut and whether "*>" ends there.
    bool holding_ = false;
    uint8_t heldLength_ = 0;
    std::array<char, kMarkNameBytes + 1> held_{};
};

}  // namespace lum2
