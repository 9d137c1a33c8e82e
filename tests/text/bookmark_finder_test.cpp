#include "text/bookmark_finder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "temp_dir.h"

namespace lum2 {
namespace {

struct Found {
    std::string text;
    std::vector<std::pair<uint32_t, std::string>> bookmarks;
    std::vector<std::string> tags;
    uint64_t dropped;
};

// The whole text in pieces of chunk bytes.
Found Find(std::string_view text, bool utf8 = false, std::size_t chunk = std::string::npos) {
    BookmarkFinder finder(utf8);
    Found found;
    for (std::size_t at = 0; at < text.size(); at += chunk) finder.Feed(text.substr(at, chunk), found.text);
    finder.Finish(found.text);
    for (const Bookmark& bookmark : finder.Bookmarks()) found.bookmarks.emplace_back(bookmark.offset, bookmark.name);
    found.tags = finder.EndTags();
    found.dropped = finder.Dropped();
    return found;
}

using Marks = std::vector<std::pair<uint32_t, std::string>>;

TEST(BookmarkFinder, InlineMarksLeaveTheTextAndPointWhereTheyStood) {
    const std::string longName = "<* A name of many more than fifteen bytes *>";
    const Found found = Find("Start<* One *>text\n<*Two*>" + longName + "x<**>  After it\n<*\t*>\nend<**>");
    EXPECT_EQ(found.text, "Starttext\nx  After it\n\nend");
    EXPECT_EQ(found.bookmarks, (Marks{{5, "One"},
                                      {10, "Two"},
                                      {10, "A name of many"},
                                      {11, "After it"},
                                      {22, "end"},
                                      {26, "Bookmark"}}));
    // Marks broken by a line end or longer than 64 bytes are text; of two "<*" the first that closes wins.
    const std::string tooLong = "<*" + std::string(65, 'x') + "*>";
    const std::string text[] = {"a <* b\nc *> d", tooLong, "<*>", "a < * b *>", "x<", "x<*"};
    for (const auto& kept : text) {
        const Found plain = Find(kept);
        EXPECT_EQ(plain.text, kept);
        EXPECT_TRUE(plain.bookmarks.empty()) << kept;
    }
    EXPECT_EQ(Find("<*" + std::string(64, 'y') + "*>").text, "");
    EXPECT_EQ(Find("<* <* x *>y").bookmarks, (Marks{{0, "<* x"}}));
    EXPECT_EQ(Find("<* <* x\n<* y *>z").text, "<* <* x\nz");
}

TEST(BookmarkFinder, NamesAreCutAtFifteenBytesAtACharacterBoundary) {
    // The 15th byte is the first of an "é": a UTF-8 name ends before it, a Palm-set one after it.
    const std::string mark = "<* abcdefghijklmn\xC3\xA9 *>";
    EXPECT_EQ(Find(mark, true).bookmarks, (Marks{{0, "abcdefghijklmn"}}));
    EXPECT_EQ(Find(mark, false).bookmarks, (Marks{{0, "abcdefghijklmn\xC3"}}));
    EXPECT_EQ(Find("<*a\x01\x7F" "b*>").bookmarks, (Marks{{0, "a  b"}}));
}

TEST(BookmarkFinder, EndTagsLeaveTheTextAndTheirLinesAreFoundInIt) {
    const std::string book = "CHAPTER I\nIt was.\n\nCHAPTER II\nIt is.\nA CHAPTER\n";
    const Found found = Find(book + "  <CHAPTER>\n\n<PART>\n<CHAPTER>\n\n");
    EXPECT_EQ(found.text, book);
    EXPECT_TRUE(found.bookmarks.empty());
    EXPECT_EQ(found.tags, (std::vector<std::string>{"CHAPTER", "PART"}));

    test::TempDir dir;
    test::WriteFileText(dir.File("book.txt"), found.text);
    std::FILE* file = std::fopen(dir.File("book.txt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    uint64_t dropped = 9;
    const std::vector<Bookmark> tagged = FindTaggedLines(file, found.tags, false, &dropped);
    std::fclose(file);
    Marks marks;
    for (const Bookmark& bookmark : tagged) marks.emplace_back(bookmark.offset, bookmark.name);
    EXPECT_EQ(marks, (Marks{{0, "CHAPTER I"}, {19, "CHAPTER II"}}));
    EXPECT_EQ(dropped, 0u);

    // A line after them, a tag that is not one, or a line too long makes them text.
    const std::string kept[] = {"a\n<T>\nb\n", "a\n<T>\n<T\n", "a\n<*T>\n", "a\n<" + std::string(33, 'T') + ">\n",
                                "a\n<T>" + std::string(38, ' ') + "\n", "a\n< T>\n", "a\n<T> x\n",
                                "<p>a</p>\n</body>\n</html>\n", "a\n<>\n"};
    for (const auto& text : kept) EXPECT_EQ(Find(text).text, text);
    // Of more than 16 tag lines the last 16 are end tags.
    std::string many = "a\n";
    for (int i = 0; i < 20; ++i) many += "<T" + std::to_string(i) + ">\n";
    const Found last = Find(many);
    EXPECT_EQ(last.text, "a\n<T0>\n<T1>\n<T2>\n<T3>\n");
    EXPECT_EQ(last.tags.front(), "T4");
}

TEST(BookmarkFinder, HeadingsAfterABlankLineMarkATextWithoutMarksOrTags) {
    const std::string book =
        "Contents\n\nChapter 1: The Start\nText.\nChapter 2\n\n## Second part ##\n\n  PART TWO.\n"
        "Part of the problem is\n";
    const Found found = Find(book);
    EXPECT_EQ(found.text, book);
    EXPECT_EQ(found.bookmarks, (Marks{{0, "Contents"}, {10, "Chapter 1: The"}, {48, "Second part"}, {67, "PART TWO."}}));
    EXPECT_TRUE(Find("Just text.\n\nNo chapters here.\nPart of it.\n").bookmarks.empty());
    EXPECT_EQ(Find(book + "<* mark *>").bookmarks, (Marks{{static_cast<uint32_t>(book.size()), "mark"}}));
    EXPECT_TRUE(Find(book + "<Chapter>\n").bookmarks.empty());
    // A table of contents lists chapters one under another: none of them is a heading.
    EXPECT_EQ(Find("CONTENTS\n\nCHAPTER I. Down\nCHAPTER II. Up\n\nCHAPTER I. Down\n\nText.\n").bookmarks,
              (Marks{{0, "CONTENTS"}, {42, "CHAPTER I. Down"}}));
}

TEST(BookmarkFinder, AnyChunkingGivesTheOneChunkTextAndBookmarks) {
    const std::string texts[] = {"a<* one *>b <*<* two *>\n<* broken\nc<**>\n\nd<\n<T>\n<T\n",
                                 "Chapter 1\ntext\n\n# Two\nmore <b>\n<CHAPTER>\n\n< x>\n<PART>\n"};
    for (const auto& text : texts) {
        const Found whole = Find(text, true);
        for (std::size_t chunk = 1; chunk < text.size(); ++chunk) {
            const Found got = Find(text, true, chunk);
            EXPECT_EQ(got.text, whole.text) << chunk;
            EXPECT_EQ(got.bookmarks, whole.bookmarks) << chunk;
            EXPECT_EQ(got.tags, whole.tags) << chunk;
        }
    }
}

TEST(BookmarkFinder, KeepsAtMost65533AndCountsTheRest) {
    std::string marks;
    for (int i = 0; i < 65540; ++i) marks += "<*m*>x";
    const Found found = Find(marks, false, 4096);
    EXPECT_EQ(found.text, std::string(65540, 'x'));
    ASSERT_EQ(found.bookmarks.size(), kMaxBookmarks);
    EXPECT_EQ(found.bookmarks.back().first, 65532u);
    EXPECT_EQ(found.dropped, 7u);
}

}  // namespace
}  // namespace lum2
