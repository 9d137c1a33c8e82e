#include "text/html_stripper.h"

#include <utf8proc.h>

#include <cstring>

#include "text/palm_charset.h"

namespace lum2 {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whitespace that separates a tag name from its attributes.
bool IsTagSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

int HexValue(char c) {
    if (IsAsciiDigit(c)) return c - '0';
    const char lower = ToLower(c);
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

bool IsBlockTag(std::string_view name) {
    static constexpr std::string_view kBlockTags[] = {"p", "br", "div", "li", "h1", "h2", "h3", "h4", "h5", "h6", "tr"};
    for (const auto tag : kBlockTags) {
        if (name == tag) return true;
    }
    return false;
}

struct NamedEntity {
    std::string_view name;
    unsigned char byte;
};

// Palm readers show text in a single-byte Latin-1 style set, so every entity
// is one character of it. A no-break space becomes a plain space: readers draw
// 0xA0 as a box or a gap of the wrong width, and a document that really wants
// it can still say &#160;. Names are case-sensitive as in HTML, which also
// accepts the upper-case spellings listed here.
constexpr NamedEntity kNamedEntities[] = {
    {"amp", '&'},  {"lt", '<'},  {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},  {"copy", 0xA9},
    {"reg", 0xAE}, {"AMP", '&'}, {"LT", '<'}, {"GT", '>'},   {"QUOT", '"'},  {"COPY", 0xA9}, {"REG", 0xAE},
};

// Value of "#65" or "#x41"; -1 when malformed or above limit.
int NumericReference(std::string_view body, int limit) {
    std::size_t pos = 1;  // past '#'
    int base = 10;
    if (pos < body.size() && (body[pos] == 'x' || body[pos] == 'X')) {
        base = 16;
        ++pos;
    }
    if (pos == body.size()) return -1;
    int value = 0;
    for (; pos < body.size(); ++pos) {
        const int digit = base == 16 ? HexValue(body[pos]) : (IsAsciiDigit(body[pos]) ? body[pos] - '0' : -1);
        if (digit < 0) return -1;
        value = value * base + digit;
        // The body is at most a few digits long, but stop early anyway so the
        // value can never overflow.
        if (value > limit) return -1;
    }
    return value;
}

}  // namespace

void HtmlStripper::Feed(std::string_view chunk, std::string& out) {
    std::size_t i = 0;
    while (i < chunk.size()) {
        // Plain text and script bodies are most of a document; copy or skip
        // them in runs instead of a byte at a time.
        if (mode_ == Mode::kText) {
            const std::size_t stop = chunk.find_first_of("<&", i);
            const std::size_t end = stop == std::string_view::npos ? chunk.size() : stop;
            out.append(chunk.data() + i, end - i);
            i = end;
            if (i == chunk.size()) break;
        } else if (mode_ == Mode::kRawText && rawMatched_ == 0) {
            const void* lt = std::memchr(chunk.data() + i, '<', chunk.size() - i);
            if (lt == nullptr) break;
            i = static_cast<std::size_t>(static_cast<const char*>(lt) - chunk.data());
        }
        if (Step(chunk[i], out)) ++i;
    }
}

void HtmlStripper::Finish(std::string& out) {
    switch (mode_) {
    case Mode::kEntity: FlushEntity(out); break;
    // A '<' or "</" that nothing followed never became a tag.
    case Mode::kTagOpen: out.push_back('<'); break;
    case Mode::kEndTagOpen: out.append("</"); break;
    default:
        // An unclosed tag, comment or script swallows the rest, as in a browser.
        break;
    }
    // The next document is in the same character set as this one.
    *this = HtmlStripper(utf8_);
}

bool HtmlStripper::Step(char c, std::string& out) {
    switch (mode_) {
    case Mode::kText: return StepText(c, out);
    case Mode::kEntity: return StepEntity(c, out);
    case Mode::kTagOpen: return StepTagOpen(c, out);
    case Mode::kEndTagOpen: return StepEndTagOpen(c);
    case Mode::kTagName: return StepTagName(c, out);
    case Mode::kTagAttributes: return StepTagAttributes(c, out);
    case Mode::kDeclarationOpen:
    case Mode::kDeclarationDash: return StepDeclarationOpen(c);
    case Mode::kDeclaration: return StepDeclaration(c);
    case Mode::kComment: return StepComment(c);
    case Mode::kInstruction: return StepInstruction(c);
    case Mode::kRawText: return StepRawText(c);
    }
    return true;
}

bool HtmlStripper::StepText(char c, std::string& out) {
    if (c == '<') {
        mode_ = Mode::kTagOpen;
    } else if (c == '&') {
        entity_[0] = '&';
        entityLength_ = 1;
        mode_ = Mode::kEntity;
    } else {
        out.push_back(c);
    }
    return true;
}

bool HtmlStripper::StepEntity(char c, std::string& out) {
    if (c == ';') {
        DecodeEntity(out);
        mode_ = Mode::kText;
        return true;
    }
    if (IsAsciiAlnum(c) || (c == '#' && entityLength_ == 1)) {
        // Leave room for the ';' in the bound; a longer run is text.
        if (entityLength_ + 1u < kMaxEntity) {
            entity_[entityLength_++] = c;
            return true;
        }
    }
    // "AT&T", "a & b", "&&amp;": what was held is text, and the byte that
    // broke it is looked at again, since it may start an entity.
    FlushEntity(out);
    mode_ = Mode::kText;
    return false;
}

bool HtmlStripper::StepTagOpen(char c, std::string& out) {
    if (IsAsciiLetter(c) || c == '/') {
        StartTag(c == '/');
        mode_ = closing_ ? Mode::kEndTagOpen : Mode::kTagName;
        return closing_;  // a letter is the first of the name
    }
    if (c == '!') {
        mode_ = Mode::kDeclarationOpen;
        return true;
    }
    if (c == '?') {
        question_ = false;
        mode_ = Mode::kInstruction;
        return true;
    }
    // "a < b", "<3": the '<' was text after all.
    out.push_back('<');
    mode_ = Mode::kText;
    return false;
}

bool HtmlStripper::StepEndTagOpen(char c) {
    // "</>" and "</ x>" name nothing; they are dropped up to their '>'.
    mode_ = IsAsciiLetter(c) ? Mode::kTagName : Mode::kTagAttributes;
    return false;
}

bool HtmlStripper::StepTagName(char c, std::string& out) {
    if (IsTagSpace(c) || c == '/') {
        mode_ = Mode::kTagAttributes;
        return c != '/';  // the slash may mark <br/>
    }
    if (c == '>') {
        EndTag(out);
        return true;
    }
    if (nameLength_ < kMaxTagName) {
        name_[nameLength_++] = ToLower(c);
    } else {
        nameTooLong_ = true;
    }
    return true;
}

bool HtmlStripper::StepTagAttributes(char c, std::string& out) {
    if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
        return true;
    }
    if (c == '>') {
        EndTag(out);
    } else if (c == '=') {
        afterEquals_ = true;
        selfClosing_ = false;
    } else if (IsTagSpace(c)) {
        // Spaces may stand between '=' and the value.
    } else if ((c == '"' || c == '\'') && afterEquals_) {
        quote_ = c;
        afterEquals_ = false;
        selfClosing_ = false;
    } else {
        // A quote elsewhere (<p title=don't>) opens nothing, so one stray
        // apostrophe cannot swallow the rest of the document.
        afterEquals_ = false;
        selfClosing_ = c == '/';
    }
    return true;
}

// "<!" and "<!-": a second dash opens a comment, anything else a declaration.
bool HtmlStripper::StepDeclarationOpen(char c) {
    if (c != '-') {
        mode_ = Mode::kDeclaration;
        return false;
    }
    if (mode_ == Mode::kDeclarationOpen) {
        mode_ = Mode::kDeclarationDash;
        return true;
    }
    // Counting the opening dashes lets "<!-->" close at once, as browsers do.
    dashes_ = 2;
    mode_ = Mode::kComment;
    return true;
}

bool HtmlStripper::StepDeclaration(char c) {
    if (c == '>') mode_ = Mode::kText;
    return true;
}

bool HtmlStripper::StepComment(char c) {
    if (c == '-') {
        if (dashes_ < 2) ++dashes_;
    } else if (c == '>' && dashes_ == 2) {
        mode_ = Mode::kText;
    } else {
        dashes_ = 0;
    }
    return true;
}

bool HtmlStripper::StepInstruction(char c) {
    if (c == '>' && question_) {
        mode_ = Mode::kText;
    } else {
        question_ = c == '?';
    }
    return true;
}

bool HtmlStripper::StepRawText(char c) {
    const std::string_view endTag = rawElement_ == RawElement::kScript ? "</script" : "</style";
    if (rawMatched_ == endTag.size()) {
        rawMatched_ = 0;
        // "</scripts" is still script text.
        if (!IsTagSpace(c) && c != '/' && c != '>') return false;
        // The end tag itself: drop its attributes like any tag's.
        StartTag(true);
        nameTooLong_ = true;  // its name needs no second look
        mode_ = Mode::kTagAttributes;
        return false;
    }
    if (ToLower(c) == endTag[rawMatched_]) {
        ++rawMatched_;
    } else {
        rawMatched_ = c == '<' ? 1 : 0;
    }
    return true;
}

void HtmlStripper::StartTag(bool closing) {
    nameLength_ = 0;
    nameTooLong_ = false;
    closing_ = closing;
    selfClosing_ = false;
    quote_ = 0;
    afterEquals_ = false;
}

void HtmlStripper::EndTag(std::string& out) {
    mode_ = Mode::kText;
    if (nameTooLong_) return;
    const std::string_view name(name_.data(), nameLength_);
    if (IsBlockTag(name)) {
        out.push_back('\n');
        return;
    }
    if (closing_ || selfClosing_) return;
    if (name == "script") {
        rawElement_ = RawElement::kScript;
    } else if (name == "style") {
        rawElement_ = RawElement::kStyle;
    } else {
        return;
    }
    rawMatched_ = 0;
    mode_ = Mode::kRawText;
}

void HtmlStripper::FlushEntity(std::string& out) {
    out.append(entity_.data(), entityLength_);
    entityLength_ = 0;
}

void HtmlStripper::DecodeEntity(std::string& out) {
    const std::string_view body(entity_.data() + 1, entityLength_ - 1u);
    int value = -1;
    if (!body.empty() && body[0] == '#') {
        value = NumericReference(body, utf8_ ? 0x10FFFF : 255);
        if (value >= 0xD800 && value <= 0xDFFF) value = -1;
    } else {
        for (const auto& entity : kNamedEntities) {
            if (body == entity.name) {
                value = entity.byte;
                break;
            }
        }
    }
    if (value < 0) {
        // Unknown names and references beyond one byte stay as written.
        FlushEntity(out);
        out.push_back(';');
        return;
    }
    if (utf8_ && value >= 0x80) {
        // References up to 255 name the same character as in a single-byte
        // text (&#150; is the dash of the Palm set), so the result does not
        // depend on the text's set.
        const char32_t c = value <= 0xFF ? PalmCharacter(static_cast<uint8_t>(value)) : static_cast<char32_t>(value);
        unsigned char bytes[4];
        out.append(reinterpret_cast<const char*>(bytes),
                   static_cast<std::size_t>(utf8proc_encode_char(static_cast<int32_t>(c), bytes)));
    } else {
        out.push_back(static_cast<char>(value));
    }
    entityLength_ = 0;
}

}  // namespace lum2
