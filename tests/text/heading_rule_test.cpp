#include "text/heading_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace lum2 {
namespace {

TEST(HeadingRule, ChapterHeadingsAndTheRunningTextThatLooksLikeThem) {
    const std::string headings[] = {
        "Chapter 1", "CHAPTER XII", "chapter iv.", "Part IV", "  Book Two", "Act III: Scene", "SCENE 2",
        "Canto XXXIV", "Letter Twenty-Three", "Prologue", "EPILOGUE.", "Preface: To the Reader", "Contents",
        "Introduction:", "Chapter 3: The Storm", "Chapter 7 - The End", "Chapter 7 \xE2\x80\x94 \"Home\"",
        "Chapter MCMXCIX", "Part First", "Chapter 12, \xC3\x89t\xC3\xA9", "    Letter 4"};
    for (const auto& line : headings) EXPECT_TRUE(IsChapterHeading(line)) << line;
    const std::string running[] = {
        "the chapter 4 results", "Chapter 4 results show", "Part of the problem is", "Chapters", "Partly so",
        "Chapter " + std::string(62, 'x'), "Chapter 1 " + std::string(52, 'A'), "     Chapter 1", "Act IIII",
        "Chapter IC", "Book Mix", "Preface to the book", "Preface. it was", "Chapter1", "Contents of the box",
        "Chapter twentyone", "Part the first", ""};
    for (const auto& line : running) EXPECT_FALSE(IsChapterHeading(line)) << line;
}

TEST(HeadingRule, MarkdownHeadingsGiveTheirTitle) {
    const std::pair<std::string_view, std::string_view> headings[] = {
        {"# Title", "Title"}, {"## Two words  ", "Two words"}, {"### Closed ###", "Closed"}, {"# C#", "C#"},
        {"#\tTab", "Tab"}, {"## a # b", "a # b"}};
    for (const auto& [line, title] : headings) {
        std::string_view got = "unset";
        EXPECT_TRUE(MarkdownHeading(line, got)) << line;
        EXPECT_EQ(got, title);
    }
    for (const std::string_view line : {"#### Four", "#tag", "#", "# ", "# ###", "text # not", " # indented"}) {
        std::string_view got = "unset";
        EXPECT_FALSE(MarkdownHeading(line, got)) << line;
        EXPECT_EQ(got, "unset");
    }
}

}  // namespace
}  // namespace lum2
