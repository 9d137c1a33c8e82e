// Removes HTML markup from a byte stream fed in chunks of any size.
//
// Block tags (p, br, div, li, h1-h6, tr) become line ends, script and style
// content is dropped, and the common named entities and numeric references
// decode into the set of the text around them: single bytes of the Palm set
// (references up to 255), or UTF-8 for a UTF-8 text (any character). The state between chunks is a few dozen bytes, so a
// tag, comment or entity split across chunks gives the same output as a whole
// one, and a tag, comment or script of any length costs no extra memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lum2 {

class HtmlStripper {
public:
    // utf8: the text is UTF-8, so entities become UTF-8 too.
    explicit HtmlStripper(bool utf8 = false) : utf8_(utf8) {}

    // Feed and Finish return nothing and throw only what growing out throws.
    // Appends the text of the next chunk of markup to out.
    void Feed(std::string_view chunk, std::string& out);
    // Appends what an unfinished entity (or a trailing '<') left pending at
    // the end of input, and makes the stripper ready for a new document in
    // the same character set.
    void Finish(std::string& out);

    // Longest entity kept while waiting for its ';', counting '&' and ';'.
    static constexpr std::size_t kMaxEntity = 10;
    // Longest tag name worth remembering: "script" and "style" fit.
    static constexpr std::size_t kMaxTagName = 6;

private:
    enum class Mode : uint8_t {
        kText,
        kEntity,      // after '&', collecting up to ';'
        kTagOpen,     // just after '<'
        kEndTagOpen,  // just after "</"
        kTagName,
        kTagAttributes,    // after the name, up to the closing '>'
        kDeclarationOpen,  // just after "<!"
        kDeclarationDash,  // after "<!-"
        kDeclaration,      // <!DOCTYPE ...> and the like, up to '>'
        kComment,          // after "<!--", up to "-->"
        kInstruction,      // after "<?", up to "?>"
        kRawText,          // script or style content, up to its end tag
    };
    enum class RawElement : uint8_t { kScript, kStyle };

    // Consumes one byte in the current mode; false asks for the same byte
    // again in the new mode. Each mode (or group of modes) has its own step.
    bool Step(char c, std::string& out);
    bool StepText(char c, std::string& out);
    bool StepEntity(char c, std::string& out);
    bool StepTagOpen(char c, std::string& out);
    bool StepEndTagOpen(char c);
    bool StepTagName(char c, std::string& out);
    bool StepTagAttributes(char c, std::string& out);
    bool StepDeclarationOpen(char c);  // "<!" and "<!-"
    bool StepDeclaration(char c);
    bool StepComment(char c);
    bool StepInstruction(char c);
    bool StepRawText(char c);
    // Clears what the tag before left; closing: an end tag.
    void StartTag(bool closing);
    void EndTag(std::string& out);
    void FlushEntity(std::string& out);
    void DecodeEntity(std::string& out);

    bool utf8_;
    Mode mode_ = Mode::kText;

    // Tag being read: its lower-case name (when short enough to matter).
    std::array<char, kMaxTagName> name_{};
    uint8_t nameLength_ = 0;
    bool nameTooLong_ = false;
    bool closing_ = false;
    bool selfClosing_ = false;  // '/' just before the '>'
    char quote_ = 0;            // the quote an attribute value is open in
    bool afterEquals_ = false;  // only a quote right after '=' opens a value

    std::array<char, kMaxEntity> entity_{};
    uint8_t entityLength_ = 0;

    uint8_t dashes_ = 0;     // '-' seen in a row inside a comment
    bool question_ = false;  // '?' just seen inside <? ... ?>
    RawElement rawElement_ = RawElement::kScript;
    uint8_t rawMatched_ = 0;  // bytes of "</script" or "</style" matched
};

}  // namespace lum2
