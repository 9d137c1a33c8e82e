// Which lines of a text are headings: the lines a book's bookmarks point at
// when the text names none itself, and the lines that are never joined to
// their neighbours when hard-wrapped paragraphs are put back together.
//
// The rule, as the user's guide gives it:
//
//   A chapter heading is a line of at most 60 bytes that follows a blank line
//   (or starts the text). It may be indented by up to four blanks and begins
//   with one of the words Chapter, Part, Book, Act, Scene, Canto, Letter,
//   Prologue, Epilogue, Preface, Introduction or Contents, in any letter case.
//   After the word comes either
//     - nothing, or a "." or ":" ("Preface", "CONTENTS."), which may be
//       followed by a blank and a title ("Preface: To the Reader"); or
//     - a blank and a number: digits ("Chapter 12"), a Roman numeral
//       ("Part IV", "act iii") or a number word, one to twenty, thirty to
//       ninety, hundred, or first to twentieth ("Book Two", "Letter
//       Twenty-Three"); then optionally ".", ":",
//       "," or a dash, then optionally a blank and a title.
//   A title begins with a capital letter, a digit or a quote, so running text
//   that happens to begin with such a word ("Chapter 4 results show",
//   "Part of the problem is") is not taken for a heading.
//
//   A Markdown heading is a line that begins with "#", "##" or "###", then a
//   blank, then its title; "####" and "#tag" are not headings. Its name is
//   the title without the "#"s.
//
// Both functions look at one line without its line end, in UTF-8 or the Palm
// set (the words and numbers they look for are ASCII in either).
#pragma once

#include <string_view>

namespace lum2 {

// Returns whether line is a chapter heading by the rule above. The caller
// checks that a blank line or the start of the text comes before it. Throws
// nothing.
bool IsChapterHeading(std::string_view line) noexcept;

// Returns whether line is a Markdown heading of level 1 to 3, and sets title
// to its text: the words after the "#"s, without the blanks around them and
// without a closing run of "#"s (one that follows a blank, so "# C#" keeps
// its "#"). title is left as it was when the line is no heading. Throws
// nothing.
bool MarkdownHeading(std::string_view line, std::string_view& title) noexcept;

}  // namespace lum2
