#include "text/line_joiner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace lum2 {
namespace {

std::string Join(std::string_view text, bool utf8 = false, int* width = nullptr,
                 std::size_t chunk = std::string::npos) {
    LineJoiner joiner(utf8);
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += chunk) joiner.Feed(text.substr(at, chunk), out);
    joiner.Finish(out);
    if (width != nullptr) *width = joiner.WrapWidth();
    return out;
}

// words wrapped as an editor fills a paragraph: each line as long as it can
// be without passing width.
std::string Wrap(const std::string& words, std::size_t width) {
    std::istringstream in(words);
    std::string out, line, word;
    while (in >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line + "\n";
}

const std::string kWords =
    "It was the best of times, it was the worst of times, it was the age of wisdom, it was the age of "
    "foolishness, it was the epoch of belief, it was the epoch of incredulity, it was the season of Light, it "
    "was the season of Darkness, it was the spring of hope, it was the winter of despair, we had everything "
    "before us, we had nothing before us, we were all going direct to Heaven, we were all going direct the "
    "other way.";

TEST(LineJoiner, WrappedParagraphsJoinWhileVerseListsContentsAndQuotationsKeepTheirLines) {
    const std::string kept =
        "Chapter 2\n\n- first item of a list\n- second item\n1. numbered\n12) numbered too\na) lettered\n"
        "Roses are red,\nviolets are blue,\n    An indented quotation that follows\n    on this line.\n"
        "Contents\nChapter I ........ 3\n# A Markdown heading that is long enough to wrap the line before\n";
    std::string text, expected;
    for (int i = 0; i < 6; ++i) {
        text += Wrap(kWords, 70) + "\n";
        expected += kWords + "\n\n";
    }
    int width = 0;
    const std::string joined = Join(text + kept, false, &width);
    EXPECT_EQ(width, 70);
    EXPECT_EQ(joined, expected + kept);

    // The trailing blanks of a joined line go; a line longer than the width + 5 and a heading stay whole.
    const std::string paragraph = Wrap(kWords, 70);
    const std::size_t firstEnd = paragraph.find('\n');
    std::string blanks = paragraph;
    blanks.insert(firstEnd, "   ");
    EXPECT_EQ(Join(blanks + "\n" + paragraph), kWords + "\n\n" + kWords + "\n");
    const std::string longLine(80, 'x');
    const std::string heading = "CHAPTER IV.";
    EXPECT_EQ(Join(paragraph + "\n" + longLine + "\nshort\n" + paragraph + heading + "\n" + paragraph),
              kWords + "\n\n" + longLine + "\nshort\n" + kWords + "\n" + heading + "\n" + kWords + "\n");
    // UTF-8 counts characters: a text wrapped at 60 characters is wrapped at 60, whatever its bytes.
    std::string accented = Wrap(kWords, 60);
    for (std::size_t at = accented.find("was"); at != std::string::npos; at = accented.find("was", at)) {
        accented.replace(at, 1, "\xC3\xA9");
    }
    int utf8Width = 0;
    const std::string utf8Joined = Join(accented + "\n" + accented, true, &utf8Width);
    EXPECT_EQ(utf8Width, 60);
    EXPECT_EQ(std::count(utf8Joined.begin(), utf8Joined.end(), '\n'), 3);
}

TEST(LineJoiner, TextsThatAreNotWrappedLeaveByteForByte) {
    std::string onePerLine, verse, list, contents;
    for (int i = 0; i < 12; ++i) {
        onePerLine += kWords.substr(0, 90 + 7 * i) + "\n\n";
        verse += std::string("Line ") + std::string(static_cast<std::size_t>(20 + (i * 7) % 30), 'v') + "\n";
        list += "- " + kWords.substr(static_cast<std::size_t>(i), 40 + (i * 13) % 30) + "\n";
        contents += "Chapter " + std::to_string(i + 1) + ". The Title of Part " + std::to_string(i) + "\n";
    }
    const std::string shortText = Wrap(kWords.substr(0, 200), 70);  // too few lines to tell
    for (const auto& text : {onePerLine, verse, list, contents, shortText, std::string("a\r\nb  \n\n"),
                             std::string()}) {
        int width = -1;
        EXPECT_EQ(Join(text, false, &width), text);
        EXPECT_EQ(width, 0) << text;
    }
}

TEST(LineJoiner, AnyChunkingGivesTheOneChunkText) {
    // Past the learn block, with a line longer than the look-ahead and no line end at the very end.
    std::string text;
    while (text.size() < LineJoiner::kLearnBytes + 500) text += Wrap(kWords, 70) + "\n  indented\n\n";
    text += std::string(300, 'y') + "\n" + Wrap(kWords, 70) + "last line   ";
    const std::string whole = Join(text);
    ASSERT_NE(whole, text);
    EXPECT_TRUE(whole.ends_with(kWords + "\nlast line   "));
    for (std::size_t chunk = 1; chunk <= 160; ++chunk) ASSERT_EQ(Join(text, false, nullptr, chunk), whole) << chunk;
    ASSERT_EQ(Join(text, false, nullptr, LineJoiner::kLearnBytes - 1), whole);
}

}  // namespace
}  // namespace lum2
