#include "text/html_stripper.h"

#include <utf8proc.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

#include "base/text_helpers.h"
#include "text/html_entities.h"

namespace lum2 {

namespace {

// HTML's whitespace: it separates a tag name from its attributes and is what
// collapses in text.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

int HexValue(char c) {
    if (IsAsciiDigit(c)) return c - '0';
    const char lower = AsciiLower(c);
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

// How a byte of text is read: most are copied in runs.
enum ByteClass : uint8_t { kPlain, kBlank, kMarkup };

constexpr std::array<uint8_t, 256> MakeByteClasses() {
    std::array<uint8_t, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\r', '\f'}) classes[static_cast<unsigned char>(c)] = kBlank;
    classes['<'] = kMarkup;
    classes['&'] = kMarkup;
    return classes;
}
constexpr std::array<uint8_t, 256> kByteClasses = MakeByteClasses();

// What an element does to the layout.
enum class Kind : uint8_t {
    kLine,       // starts and ends a line
    kParagraph,  // set off by a blank line
    kHeading,    // a paragraph that may carry a mark; level in the entry
    kPre,
    kList,  // ordered in the entry
    kListItem,
    kTable,
    kRow,
    kCell,
    kBreak,
    kBody,
    kHead,
    kHeadOnly,  // may stand in <head> without ending it
    kTemplate,
    kScript,
    kStyle,
    kTitle,
};

struct Element {
    std::string_view name;
    Kind kind;
    uint8_t detail = 0;  // a heading's level; 1 for an ordered list
};

// Sorted by name, for binary search.
constexpr Element kElements[] = {
    {"address", Kind::kLine},
    {"article", Kind::kLine},
    {"aside", Kind::kLine},
    {"base", Kind::kHeadOnly},
    {"blockquote", Kind::kParagraph},
    {"body", Kind::kBody},
    {"br", Kind::kBreak},
    {"caption", Kind::kLine},
    {"center", Kind::kLine},
    {"dd", Kind::kLine},
    {"details", Kind::kLine},
    {"dialog", Kind::kLine},
    {"dir", Kind::kList},
    {"div", Kind::kLine},
    {"dl", Kind::kLine},
    {"dt", Kind::kLine},
    {"fieldset", Kind::kLine},
    {"figcaption", Kind::kLine},
    {"figure", Kind::kLine},
    {"footer", Kind::kLine},
    {"form", Kind::kLine},
    {"frameset", Kind::kLine},
    {"h1", Kind::kHeading, 1},
    {"h2", Kind::kHeading, 2},
    {"h3", Kind::kHeading, 3},
    {"h4", Kind::kHeading, 4},
    {"h5", Kind::kHeading, 5},
    {"h6", Kind::kHeading, 6},
    {"head", Kind::kHead},
    {"header", Kind::kLine},
    {"hgroup", Kind::kLine},
    {"hr", Kind::kParagraph},
    {"legend", Kind::kLine},
    {"li", Kind::kListItem},
    {"link", Kind::kHeadOnly},
    {"listing", Kind::kPre},
    {"main", Kind::kLine},
    {"menu", Kind::kList},
    {"meta", Kind::kHeadOnly},
    {"nav", Kind::kLine},
    {"noscript", Kind::kHeadOnly},
    {"ol", Kind::kList, 1},
    {"p", Kind::kParagraph},
    {"pre", Kind::kPre},
    {"script", Kind::kScript},
    {"search", Kind::kLine},
    {"section", Kind::kLine},
    {"style", Kind::kStyle},
    {"summary", Kind::kLine},
    {"table", Kind::kTable},
    {"td", Kind::kCell},
    {"template", Kind::kTemplate},
    {"th", Kind::kCell},
    {"title", Kind::kTitle},
    {"tr", Kind::kRow},
    {"ul", Kind::kList},
    {"xmp", Kind::kPre},
};
static_assert(std::is_sorted(std::begin(kElements), std::end(kElements),
                             [](const Element& a, const Element& b) { return a.name < b.name; }));

// The first eight bytes of a name as one number that sorts as the name does,
// so that looking a tag up costs a few integer comparisons; no two names of
// the table share their first eight bytes.
constexpr uint64_t NameKey(std::string_view name) {
    uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
    }
    return key;
}

constexpr auto MakeElementKeys() {
    std::array<uint64_t, std::size(kElements)> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = NameKey(kElements[i].name);
    return keys;
}
constexpr auto kElementKeys = MakeElementKeys();
static_assert(std::adjacent_find(kElementKeys.begin(), kElementKeys.end(), std::greater_equal<>()) ==
              kElementKeys.end());

// name: the tag's name, followed by zero bytes up to eight in all.
const Element* FindElement(std::string_view name) {
    uint64_t key;
    std::memcpy(&key, name.data(), sizeof key);
    if constexpr (std::endian::native == std::endian::little) key = __builtin_bswap64(key);
    const auto found = std::lower_bound(kElementKeys.begin(), kElementKeys.end(), key);
    if (found == kElementKeys.end()) return nullptr;
    const Element& element = kElements[found - kElementKeys.begin()];
    return element.name == name ? &element : nullptr;
}

const html::NamedReference* FindReference(std::string_view name) {
    const auto* begin = std::begin(html::kNamedReferences);
    const auto* end = std::end(html::kNamedReferences);
    const auto* found = std::lower_bound(begin, end, name,
                                         [](const html::NamedReference& r, std::string_view n) { return r.name < n; });
    return found != end && found->name == name ? found : nullptr;
}

// What a numeric reference shows, as browsers read it.
char32_t NumberedCharacter(uint32_t number) {
    if (number == 0 || number > 0x10FFFF || (number >= 0xD800 && number <= 0xDFFF)) return 0xFFFD;
    if (number >= 0x80 && number <= 0x9F) return html::kC1References[number - 0x80];
    return number;
}

void AppendUtf8(char32_t c, std::string& out) {
    unsigned char bytes[4];
    out.append(reinterpret_cast<const char*>(bytes),
               static_cast<std::size_t>(utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), bytes)));
}

static_assert(HtmlStripper::kMaxEntity == html::kLongestName + 1, "'&' and the longest name, its ';' included");

constexpr std::string_view RawEndTag(uint8_t element) {
    constexpr std::string_view kEndTags[] = {"</script", "</style", "</title"};
    return kEndTags[element];
}

}  // namespace

HtmlStripper::HtmlStripper(bool utf8, bool headingMarks) : utf8_(utf8), headingMarks_(headingMarks) {}
HtmlStripper::~HtmlStripper() = default;
HtmlStripper::HtmlStripper(HtmlStripper&&) noexcept = default;
HtmlStripper& HtmlStripper::operator=(HtmlStripper&&) noexcept = default;

void HtmlStripper::Feed(std::string_view chunk, std::string& out) {
    std::size_t i = 0;
    const std::size_t n = chunk.size();
    while (i < n) {
        // Plain text and script bodies are most of a document; copy or skip
        // them in runs instead of a byte at a time.
        if (mode_ == Mode::kText) {
            // A single blank between words needs no collapsing: the run
            // takes it along.
            std::size_t end = i;
            while (end < n) {
                if (kByteClasses[static_cast<unsigned char>(chunk[end])] == kPlain) {
                    ++end;
                } else if (chunk[end] == ' ' && end > i && end + 1 < n &&
                           kByteClasses[static_cast<unsigned char>(chunk[end + 1])] == kPlain) {
                    end += 2;
                } else {
                    break;
                }
            }
            if (end > i) {
                Put(chunk.substr(i, end - i), out);
                i = end;
                continue;
            }
            if (preDepth_ == 0 && kByteClasses[static_cast<unsigned char>(chunk[i])] == kBlank) {
                while (end < n && kByteClasses[static_cast<unsigned char>(chunk[end])] == kBlank) ++end;
                Whitespace(' ', out);
                i = end;
                continue;
            }
        } else if (mode_ == Mode::kTagName) {
            // The rest of the name, up to what ends it.
            for (; i < n && !IsSpace(chunk[i]) && chunk[i] != '/' && chunk[i] != '>'; ++i) {
                if (nameLength_ < kMaxTagName) {
                    name_[nameLength_++] = AsciiLower(chunk[i]);
                } else {
                    nameTooLong_ = true;
                }
            }
            if (i == n) break;
        } else if (mode_ == Mode::kTagAttributes && quote_ != 0 && !watchStart_) {
            // An attribute's value (a link, a class list) matters only for its end.
            const void* quote = std::memchr(chunk.data() + i, quote_, n - i);
            if (quote == nullptr) break;
            i = static_cast<std::size_t>(static_cast<const char*>(quote) - chunk.data());
        } else if (mode_ == Mode::kRawText && rawMatched_ == 0) {
            const void* lt = std::memchr(chunk.data() + i, '<', n - i);
            if (lt == nullptr) break;
            i = static_cast<std::size_t>(static_cast<const char*>(lt) - chunk.data());
        }
        if (Step(chunk[i], out)) ++i;
    }
}

void HtmlStripper::Finish(std::string& out) {
    switch (mode_) {
    case Mode::kEntity: ResolveName(false, out); break;
    case Mode::kNumeric: ResolveNumber(out); break;
    // A '<' or "</" that nothing followed never became a tag.
    case Mode::kTagOpen: Put("<", out); break;
    case Mode::kEndTagOpen: Put("</", out); break;
    default:
        // An unclosed tag, comment or script swallows the rest, as in a browser.
        break;
    }
    if (holding_) WriteHeld(out);
    if (!atStart_) out.push_back('\n');
    // The next document has the same settings; the stand-ins found so far
    // still hold.
    std::unique_ptr<PalmTextEncoder> encoder = std::move(encoder_);
    *this = HtmlStripper(utf8_, headingMarks_);
    encoder_ = std::move(encoder);
}

bool HtmlStripper::Step(char c, std::string& out) {
    switch (mode_) {
    case Mode::kText: return StepText(c, out);
    case Mode::kEntity: return StepEntity(c, out);
    case Mode::kNumeric: return StepNumeric(c, out);
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
    } else if (IsSpace(c)) {
        Whitespace(c, out);
        return true;
    } else {
        Put(std::string_view(&c, 1), out);
        return true;
    }
    skipNewline_ = false;
    afterCr_ = false;
    return true;
}

bool HtmlStripper::StepEntity(char c, std::string& out) {
    if (c == '#' && entityLength_ == 1) {
        entity_[entityLength_++] = c;
        digits_ = false;
        number_ = 0;
        mode_ = Mode::kNumeric;
        return true;
    }
    // Every name is letters and digits, at most one shorter than the buffer
    // so that its ';' fits too.
    if (IsAsciiAlnum(c) && entityLength_ < html::kLongestName) {
        entity_[entityLength_++] = c;
        return true;
    }
    mode_ = Mode::kText;
    // "AT&T", "a & b", "&&amp;": the byte that ended the name is looked at
    // again, since it may start a reference; a ';' that completed one is used.
    return ResolveName(c == ';', out);
}

bool HtmlStripper::StepNumeric(char c, std::string& out) {
    const bool hex = entityLength_ == 3;
    if (!digits_ && entityLength_ == 2 && (c == 'x' || c == 'X')) {
        entity_[entityLength_++] = c;
        return true;
    }
    const int digit = hex ? HexValue(c) : (IsAsciiDigit(c) ? c - '0' : -1);
    if (digit >= 0) {
        digits_ = true;
        // Any number of digits may follow; past U+10FFFF the value no longer
        // matters, so it stays there and cannot overflow.
        number_ = std::min<uint32_t>(number_ * (hex ? 16 : 10) + static_cast<uint32_t>(digit), 0x110000);
        return true;
    }
    const bool used = digits_ && c == ';';
    ResolveNumber(out);
    mode_ = Mode::kText;
    return used;
}

bool HtmlStripper::ResolveName(bool semicolon, std::string& out) {
    const std::string_view name(entity_.data() + 1, entityLength_ - 1u);
    entityLength_ = 0;
    if (semicolon && !name.empty()) {
        entity_[name.size() + 1] = ';';
        if (const auto* reference = FindReference(std::string_view(name.data(), name.size() + 1))) {
            PutCharacter(reference->first, reference->second, out);
            return true;
        }
    }
    // Without its ';' (or with a name unknown with it), the longest start of
    // the name that is one of the older names a browser takes bare: "&notit;"
    // is "¬it;".
    for (std::size_t length = std::min(name.size(), html::kLongestBareName); length > 0; --length) {
        if (const auto* reference = FindReference(name.substr(0, length))) {
            PutCharacter(reference->first, reference->second, out);
            if (length < name.size()) Put(name.substr(length), out);
            return false;
        }
    }
    Put(std::string_view(entity_.data(), name.size() + 1), out);
    return false;
}

void HtmlStripper::ResolveNumber(std::string& out) {
    if (digits_) {
        PutCharacter(NumberedCharacter(number_), 0, out);
    } else {
        // "&#" and "&#x" with no digit are text.
        Put(std::string_view(entity_.data(), entityLength_), out);
    }
    entityLength_ = 0;
    digits_ = false;
    number_ = 0;
}

void HtmlStripper::PutCharacter(char32_t first, char32_t second, std::string& out) {
    if (second == 0 && first < 0x80 && IsSpace(static_cast<char>(first))) {
        // &#10; and &Tab; are whitespace like the bytes they name.
        Whitespace(static_cast<char>(first), out);
        return;
    }
    if (second == 0 && first == 0xA0) {
        Put(" ", out);
        return;
    }
    std::string text;
    AppendUtf8(first, text);
    if (second != 0) AppendUtf8(second, text);
    if (!utf8_) {
        const int byte = second == 0 ? PalmByte(first) : -1;
        if (byte >= 0) {
            const char single = static_cast<char>(byte);
            Put(std::string_view(&single, 1), out);
            return;
        }
        if (encoder_ == nullptr) {
            encoder_ = std::make_unique<PalmTextEncoder>();
            // The encoder drops a byte-order mark only at its very start; an
            // ASCII letter first makes every reference convert alike.
            std::string ignored;
            encoder_->Feed("a", ignored);
            encoder_->Finish(ignored);
        }
        std::string converted;
        encoder_->Feed(text, converted);
        encoder_->Finish(converted);
        text = std::move(converted);
    }
    if (!text.empty()) Put(text, out);
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
    Put("<", out);
    mode_ = Mode::kText;
    return false;
}

bool HtmlStripper::StepEndTagOpen(char c) {
    // "</>" and "</ x>" name nothing; they are dropped up to their '>'.
    mode_ = IsAsciiLetter(c) ? Mode::kTagName : Mode::kTagAttributes;
    return false;
}

bool HtmlStripper::StepTagName(char c, std::string& out) {
    if (IsSpace(c) || c == '/') {
        mode_ = Mode::kTagAttributes;
        // Only an <ol>'s attributes matter: start= numbers its first item.
        watchStart_ = !closing_ && !nameTooLong_ && std::string_view(name_.data(), nameLength_) == "ol";
        return c != '/';  // the slash may mark <br/>
    }
    if (c == '>') {
        EndTag(out);
        return true;
    }
    if (nameLength_ < kMaxTagName) {
        name_[nameLength_++] = AsciiLower(c);
    } else {
        nameTooLong_ = true;
    }
    return true;
}

bool HtmlStripper::StepTagAttributes(char c, std::string& out) {
    if (watchStart_) WatchStart(c);
    if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
        return true;
    }
    if (c == '>') {
        EndTag(out);
    } else if (c == '=') {
        afterEquals_ = true;
        selfClosing_ = false;
    } else if (IsSpace(c)) {
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
    const std::string_view endTag = RawEndTag(static_cast<uint8_t>(rawElement_));
    if (rawMatched_ == endTag.size()) {
        rawMatched_ = 0;
        // "</scripts" is still script text.
        if (!IsSpace(c) && c != '/' && c != '>') return false;
        // The end tag itself: drop its attributes like any tag's.
        StartTag(true);
        nameTooLong_ = true;  // its name needs no second look
        mode_ = Mode::kTagAttributes;
        return false;
    }
    if (AsciiLower(c) == endTag[rawMatched_]) {
        ++rawMatched_;
    } else {
        rawMatched_ = c == '<' ? 1 : 0;
    }
    return true;
}

void HtmlStripper::WatchStart(char c) {
    constexpr std::string_view kStart = "start";
    const auto digit = [this](char d) {
        // Blanks may lead the number; it ends at the first other byte.
        if (!inStart_ || (IsSpace(d) && !startDigits_)) return;
        if (!IsAsciiDigit(d)) {
            inStart_ = false;
            return;
        }
        startDigits_ = true;
        start_ = std::min<uint32_t>(start_ * 10 + static_cast<uint32_t>(d - '0'), 999999999);
    };
    if (quote_ != 0) {
        if (c != quote_) digit(c);
        return;
    }
    if (IsSpace(c) || c == '>' || c == '/') {
        if (attribute_ == Attribute::kName) attribute_ = Attribute::kAfterName;
        if (attribute_ == Attribute::kValue) attribute_ = Attribute::kBetween;
        return;
    }
    if (c == '=' && (attribute_ == Attribute::kName || attribute_ == Attribute::kAfterName)) {
        inStart_ = startMatched_ == kStart.size();
        attribute_ = Attribute::kValueStart;
        return;
    }
    if (attribute_ == Attribute::kValueStart || attribute_ == Attribute::kValue) {
        // A quote opens the value (StepTagAttributes keeps it); else the value is unquoted.
        const bool opens = attribute_ == Attribute::kValueStart && (c == '"' || c == '\'');
        attribute_ = Attribute::kValue;
        if (!opens) digit(c);
        return;
    }
    if (attribute_ != Attribute::kName) {
        attribute_ = Attribute::kName;
        startMatched_ = 0;
    }
    const bool matches = startMatched_ < kStart.size() && AsciiLower(c) == kStart[startMatched_];
    startMatched_ = matches ? static_cast<uint8_t>(startMatched_ + 1) : UINT8_MAX;
}

void HtmlStripper::StartTag(bool closing) {
    name_ = {};
    nameLength_ = 0;
    nameTooLong_ = false;
    closing_ = closing;
    selfClosing_ = false;
    quote_ = 0;
    afterEquals_ = false;
    watchStart_ = false;
    attribute_ = Attribute::kBetween;
    startMatched_ = 0;
    inStart_ = false;
    startDigits_ = false;
    start_ = 0;
}

void HtmlStripper::EndTag(std::string& out) {
    mode_ = Mode::kText;
    skipNewline_ = false;
    afterCr_ = false;
    if (nameTooLong_) return;
    const Element* element = FindElement(std::string_view(name_.data(), nameLength_));  // name_ is zero-filled
    if (element == nullptr) return;
    const bool start = !closing_;
    // Only what an item starts with stays beside its marker: "<li></li><p>" does not.
    if (closing_) markerOnLine_ = false;
    // A page may leave out </head>: whatever belongs to the body ends it.
    if (start && inHead_ && element->kind != Kind::kHead && element->kind != Kind::kHeadOnly &&
        element->kind != Kind::kTemplate && element->kind != Kind::kScript && element->kind != Kind::kStyle &&
        element->kind != Kind::kTitle) {
        inHead_ = false;
    }
    switch (element->kind) {
    case Kind::kLine: Break(1); break;
    case Kind::kParagraph: Break(2); break;
    case Kind::kHeading:
        // Any heading's end tag ends any heading, as in a browser.
        EndHeading(out);
        Break(2);
        if (start && headingMarks_ && element->detail <= 3 && !Hidden()) {
            holding_ = true;
            heldLength_ = 0;
        }
        break;
    case Kind::kPre:
        Break(2);
        if (start) {
            if (preDepth_ < UINT32_MAX) ++preDepth_;
            skipNewline_ = true;
        } else if (preDepth_ > 0) {
            --preDepth_;
        }
        break;
    case Kind::kList:
        if (!start && listDepth_ > 0) --listDepth_;
        // Only the outermost list is a paragraph of its own.
        Break(listDepth_ == 0 ? 2 : 1);
        if (start) {
            if (listDepth_ < kListLevels) {
                const uint16_t bit = static_cast<uint16_t>(1u << listDepth_);
                orderedLists_ =
                    static_cast<uint16_t>(element->detail != 0 ? orderedLists_ | bit : orderedLists_ & ~bit);
                itemNumbers_[listDepth_] = startDigits_ ? start_ : 1;
            }
            if (listDepth_ < UINT32_MAX) ++listDepth_;
        }
        break;
    case Kind::kListItem:
        if (start) {
            ListItem(out);
        } else {
            Break(1);
        }
        break;
    case Kind::kTable:
        Break(2);
        rowHasCell_ = false;
        break;
    case Kind::kRow:
        Break(1);
        rowHasCell_ = false;
        break;
    case Kind::kCell:
        space_ = false;
        if (start && !Hidden()) {
            if (rowHasCell_ && tabs_ < UINT8_MAX) ++tabs_;
            rowHasCell_ = true;
        }
        break;
    case Kind::kBreak: LineBreak(); break;  // </br> too, as browsers read it
    case Kind::kBody:
        if (start) inHead_ = false;
        break;
    case Kind::kHead:
        // A <head> after the text has begun is out of place and ignored, as in a browser.
        inHead_ = start && atStart_;
        break;
    case Kind::kHeadOnly: break;
    case Kind::kTemplate:
        if (start) {
            if (templateDepth_ < UINT32_MAX) ++templateDepth_;
        } else if (templateDepth_ > 0) {
            --templateDepth_;
        }
        break;
    case Kind::kScript:
    case Kind::kStyle:
    case Kind::kTitle:
        if (!start || selfClosing_) break;
        rawElement_ = element->kind == Kind::kScript  ? RawElement::kScript
                      : element->kind == Kind::kStyle ? RawElement::kStyle
                                                      : RawElement::kTitle;
        rawMatched_ = 0;
        mode_ = Mode::kRawText;
        break;
    }
}

void HtmlStripper::Whitespace(char c, std::string& out) {
    if (Hidden()) return;
    if (preDepth_ == 0) {
        if (spaceAllowed_) space_ = true;
        return;
    }
    // In <pre> every blank is text and every line break counts; CR LF and a
    // lone CR are one line break, and the one right after <pre> is dropped.
    const bool newline = c == '\n' || c == '\r';
    const bool skip = (skipNewline_ && newline) || (c == '\n' && afterCr_);
    skipNewline_ = skipNewline_ && c == '\r';  // "<pre>\r\n" drops both
    afterCr_ = c == '\r';
    if (skip) return;
    if (!newline) {
        Put(std::string_view(&c, 1), out);
        return;
    }
    if (breaks_ < UINT32_MAX) ++breaks_;
    tabs_ = 0;
    space_ = false;
    markerOnLine_ = false;
}

void HtmlStripper::Put(std::string_view text, std::string& out) {
    if (Hidden()) return;
    skipNewline_ = false;
    afterCr_ = false;
    Separate(out);
    Emit(text, out);
    spaceAllowed_ = true;
    markerOnLine_ = false;
}

void HtmlStripper::Separate(std::string& out) {
    if (breaks_ > 0) {
        // Nothing before the text: a page's first block starts it.
        if (!atStart_) {
            // A heading's name ends with its first line.
            if (holding_ && heldLength_ > 0) WriteHeld(out);
            out.append(breaks_, '\n');
        }
        breaks_ = 0;
    }
    if (tabs_ > 0) {
        static constexpr std::string_view kTabs = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
        for (uint8_t left = tabs_; left > 0;) {
            const uint8_t now = static_cast<uint8_t>(std::min<std::size_t>(left, kTabs.size()));
            Emit(kTabs.substr(0, now), out);
            left = static_cast<uint8_t>(left - now);
        }
    } else if (space_) {
        Emit(" ", out);
    }
    tabs_ = 0;
    space_ = false;
}

void HtmlStripper::Emit(std::string_view bytes, std::string& out) {
    atStart_ = false;
    if (!holding_) {
        out.append(bytes);
        return;
    }
    const std::size_t take = std::min(bytes.size(), held_.size() - heldLength_);
    std::memcpy(held_.data() + heldLength_, bytes.data(), take);
    heldLength_ = static_cast<uint8_t>(heldLength_ + take);
    if (heldLength_ < held_.size()) return;
    WriteHeld(out);
    out.append(bytes.substr(take));
}

void HtmlStripper::Break(uint8_t lines) {
    // "<li><p>text": the item's text stays beside its marker.
    if (Hidden() || markerOnLine_) return;
    breaks_ = std::max<uint32_t>(breaks_, lines);
    tabs_ = 0;
    space_ = false;
    spaceAllowed_ = false;
}

void HtmlStripper::LineBreak() {
    if (Hidden()) return;
    // A second <br> makes an empty line, a third no more.
    if (breaks_ < 2) ++breaks_;
    tabs_ = 0;
    space_ = false;
    spaceAllowed_ = false;
    markerOnLine_ = false;
}

void HtmlStripper::ListItem(std::string& out) {
    if (Hidden()) return;
    markerOnLine_ = false;
    Break(1);
    Separate(out);
    const std::size_t level = std::min<std::size_t>(listDepth_, kListLevels);
    std::string marker(level > 0 ? 2 * (level - 1) : 0, ' ');
    if (listDepth_ > 0 && listDepth_ <= kListLevels && (orderedLists_ >> (listDepth_ - 1) & 1u) != 0) {
        marker += std::to_string(itemNumbers_[listDepth_ - 1]++);
        marker += ". ";
    } else {
        marker += "- ";
    }
    Emit(marker, out);
    spaceAllowed_ = false;
    markerOnLine_ = true;
}

void HtmlStripper::EndHeading(std::string& out) {
    if (holding_) WriteHeld(out);
}

void HtmlStripper::WriteHeld(std::string& out) {
    holding_ = false;
    const std::string_view held(held_.data(), heldLength_);
    heldLength_ = 0;
    std::size_t length = utf8_ ? Utf8CutLength(held, kMarkNameBytes) : std::min(held.size(), kMarkNameBytes);
    while (length > 0 && (held[length - 1] == ' ' || held[length - 1] == '\t')) --length;
    // A name that holds "*>" would end its mark early; the byte after the
    // name counts, as it may be the '>'.
    if (length > 0 && held.find("*>") == std::string_view::npos) {
        out.append("<* ");
        out.append(held.data(), length);
        out.append(" *>");
    }
    out.append(held);
}

}  // namespace lum2
