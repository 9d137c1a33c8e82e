#include "text/heading_rule.h"

#include <array>
#include <cstddef>

#include "base/text_helpers.h"

namespace lum2 {

namespace {

constexpr std::size_t kMaxHeadingBytes = 60;
constexpr std::size_t kMaxIndent = 4;

constexpr std::array<std::string_view, 12> kHeadingWords = {"chapter",  "part",    "book",         "act",
                                                            "scene",    "canto",   "letter",       "prologue",
                                                            "epilogue", "preface", "introduction", "contents"};

constexpr std::array<std::string_view, 48> kNumberWords = {
    "one",        "two",        "three",     "four",      "five",        "six",        "seven",      "eight",
    "nine",       "ten",        "eleven",    "twelve",    "thirteen",    "fourteen",   "fifteen",    "sixteen",
    "seventeen",  "eighteen",   "nineteen",  "twenty",    "thirty",      "forty",      "fifty",      "sixty",
    "seventy",    "eighty",     "ninety",    "hundred",   "first",       "second",     "third",      "fourth",
    "fifth",      "sixth",      "seventh",   "eighth",    "ninth",       "tenth",      "eleventh",   "twelfth",
    "thirteenth", "fourteenth", "fifteenth", "sixteenth", "seventeenth", "eighteenth", "nineteenth", "twentieth"};

bool StartsWithLower(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (AsciiLower(text[i]) != word[i]) return false;
    }
    return true;
}

// The length of the run of ASCII letters at the start of text.
std::size_t WordLength(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && IsAsciiLetter(text[n])) ++n;
    return n;
}

bool EqualsLower(std::string_view text, std::string_view word) {
    return text.size() == word.size() && StartsWithLower(text, word);
}

bool IsNumberWord(std::string_view word) {
    for (const std::string_view known : kNumberWords) {
        if (EqualsLower(word, known)) return true;
    }
    return false;
}

// Whether word is a well-formed Roman numeral, in one letter case: M{0,3}
// then hundreds, tens and units, each one of the nine forms or none.
bool IsRomanNumeral(std::string_view word) {
    if (word.empty()) return false;
    const bool upper = word[0] >= 'A' && word[0] <= 'Z';
    std::array<char, 16> lower{};
    if (word.size() >= lower.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if ((word[i] >= 'A' && word[i] <= 'Z') != upper) return false;
        lower[i] = AsciiLower(word[i]);
    }
    std::string_view rest(lower.data(), word.size());
    std::size_t thousands = 0;
    while (!rest.empty() && rest[0] == 'm' && thousands < 3) {
        rest.remove_prefix(1);
        ++thousands;
    }
    // One decimal place written with its one, five and ten letters.
    const auto place = [&rest](char one, char five, char ten) {
        if (rest.size() >= 2 && rest[0] == one && (rest[1] == ten || rest[1] == five)) {
            rest.remove_prefix(2);  // IX, IV and their kin
            return;
        }
        if (!rest.empty() && rest[0] == five) rest.remove_prefix(1);
        for (int k = 0; k < 3 && !rest.empty() && rest[0] == one; ++k) rest.remove_prefix(1);
    };
    place('c', 'd', 'm');
    place('x', 'l', 'c');
    place('i', 'v', 'x');
    return rest.empty();
}

// The length of the number that begins text ("12", "XIV", "Twenty",
// "twenty-one"), or 0.
std::size_t NumberLength(std::string_view text) {
    std::size_t digits = 0;
    while (digits < text.size() && IsAsciiDigit(text[digits])) ++digits;
    if (digits > 0) return digits <= 5 ? digits : 0;
    const std::size_t word = WordLength(text);
    if (word == 0) return 0;
    if (IsRomanNumeral(text.substr(0, word))) return word;
    if (!IsNumberWord(text.substr(0, word))) return 0;
    // "Twenty-One": a second number word after a hyphen belongs to the number.
    if (word + 1 < text.size() && text[word] == '-') {
        const std::size_t second = WordLength(text.substr(word + 1));
        if (second > 0 && IsNumberWord(text.substr(word + 1, second))) return word + 1 + second;
    }
    return word;
}

// The length of the dash or punctuation mark that may follow a number, or 0.
std::size_t MarkLength(std::string_view text) {
    if (text.empty()) return 0;
    if (text[0] == '.' || text[0] == ':' || text[0] == ',') return 1;
    if (text[0] == '-') return text.size() > 1 && text[1] == '-' ? 2 : 1;
    // An en or em dash: in UTF-8, or one byte of the Palm set.
    if (text.size() >= 3 && text.substr(0, 2) == "\xE2\x80" && (text[2] == '\x93' || text[2] == '\x94')) return 3;
    if (text[0] == '\x96' || text[0] == '\x97') return 1;
    return 0;
}

// Whether a title may begin with these bytes: a capital letter (ASCII, or a
// Latin-1 capital in UTF-8 or the Palm set), a digit or a quote.
bool TitleStart(std::string_view text) {
    const auto b = static_cast<unsigned char>(text[0]);
    if ((b >= 'A' && b <= 'Z') || IsAsciiDigit(text[0]) || b == '"' || b == '\'') return true;
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) {
        // A lone Palm-set capital, or UTF-8 C3 80-9E (U+00C0-U+00DE).
        if (b != 0xC3 || text.size() < 2) return true;
        const auto next = static_cast<unsigned char>(text[1]);
        return (next & 0xC0) != 0x80 || (next <= 0x9E && next != 0x97);
    }
    // Curly quotes and guillemets, in the Palm set and in UTF-8.
    if (b == 0x91 || b == 0x93 || b == 0xAB) return true;
    return text.size() >= 3 && text.substr(0, 2) == "\xE2\x80" && (text[2] == '\x98' || text[2] == '\x9C');
}

// Whether rest, what follows a heading word or its number, is nothing or a
// blank and a title.
bool EmptyOrTitle(std::string_view rest) {
    if (rest.empty()) return true;
    if (!IsBlankOrTab(rest[0])) return false;
    while (!rest.empty() && IsBlankOrTab(rest[0])) rest.remove_prefix(1);
    return !rest.empty() && TitleStart(rest);
}

}  // namespace

bool IsChapterHeading(std::string_view line) noexcept {
    while (!line.empty() && IsBlankOrTab(line.back())) line.remove_suffix(1);
    if (line.size() > kMaxHeadingBytes) return false;
    std::size_t indent = 0;
    while (indent < line.size() && IsBlankOrTab(line[indent])) ++indent;
    if (indent > kMaxIndent) return false;
    line.remove_prefix(indent);

    const std::size_t word = WordLength(line);
    bool known = false;
    for (const std::string_view heading : kHeadingWords) known = known || EqualsLower(line.substr(0, word), heading);
    if (!known) return false;
    std::string_view rest = line.substr(word);
    if (rest.empty()) return true;
    if (rest[0] == '.' || rest[0] == ':') return EmptyOrTitle(rest.substr(1));
    if (!IsBlankOrTab(rest[0])) return false;

    while (!rest.empty() && IsBlankOrTab(rest[0])) rest.remove_prefix(1);
    const std::size_t number = NumberLength(rest);
    if (number == 0) return false;
    rest.remove_prefix(number);
    std::size_t mark = MarkLength(rest);
    if (mark == 0) {
        // A dash may stand between blanks: "Chapter 7 - The End".
        std::size_t blanks = 0;
        while (blanks < rest.size() && IsBlankOrTab(rest[blanks])) ++blanks;
        const std::size_t dash = MarkLength(rest.substr(blanks));
        if (blanks > 0 && dash > 0 && rest[blanks] != '.' && rest[blanks] != ':' && rest[blanks] != ',') {
            mark = blanks + dash;
        }
    }
    rest.remove_prefix(mark);
    return EmptyOrTitle(rest);
}

bool MarkdownHeading(std::string_view line, std::string_view& title) noexcept {
    std::size_t level = 0;
    while (level < line.size() && line[level] == '#') ++level;
    if (level == 0 || level > 3 || level == line.size() || !IsBlankOrTab(line[level])) return false;
    std::string_view text = line.substr(level);
    while (!text.empty() && IsBlankOrTab(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrTab(text.back())) text.remove_suffix(1);
    // A closing run of '#'s counts only after a blank (or as the whole rest).
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '#') --end;
    if (end < text.size() && (end == 0 || IsBlankOrTab(text[end - 1]))) {
        text = text.substr(0, end);
        while (!text.empty() && IsBlankOrTab(text.back())) text.remove_suffix(1);
    }
    if (text.empty()) return false;
    title = text;
    return true;
}

}  // namespace lum2
