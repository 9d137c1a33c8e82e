// Byte-level helpers for texts of unknown origin: file names, store fields,
// database names. Any of them may hold bytes that are not UTF-8, so nothing
// here expects a text to be well formed, and a damaged one is never made
// shorter than it has to be.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lum2 {

// Returns how many bytes the UTF-8 sequence led by lead has: 1 for ASCII, 2
// to 4 for the lead of a longer form, and 0 for a byte that starts no
// well-formed sequence: a continuation byte (0x80-0xBF), 0xC0 and 0xC1 (which
// could only start an overlong form) and 0xF5-0xFF (beyond U+10FFFF).
std::size_t Utf8SequenceLength(unsigned char lead) noexcept;

// Returns the length of the longest prefix of text, at most maxBytes long,
// that does not end inside a character: text.size() when the whole text
// fits, else maxBytes less the bytes of the one sequence the cut would split.
// Only a sequence whose lead byte (at most three bytes back) claims more than
// what is left before the cut is kept whole; bytes that are not UTF-8 are
// cut where maxBytes falls.
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) noexcept;

// ASCII character classes, whatever the locale says: the texts read here
// are bytes of any set, and only these ASCII characters are markup.
constexpr bool IsBlankOrTab(char c) noexcept { return c == ' ' || c == '\t'; }
constexpr bool IsAsciiDigit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiAlnum(char c) noexcept { return IsAsciiLetter(c) || IsAsciiDigit(c); }
constexpr char AsciiLower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Returns text without its trailing blanks, as fixed-width fields are read
// back; throws only what copying a string throws.
std::string RightTrim(const std::string& text);

}  // namespace lum2
