// The clipboard conversion's file names.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "temp_dir.h"
#include "convert/clipboard_name.h"

namespace lum2 {
namespace {

TEST(ClipboardName, ResolvesAgainstTheHomeFolder) {
    test::TempDir home;
    const std::string h = home.Path();
    for (const char* blank : {"", "   "}) EXPECT_EQ(ResolveClipboardName(blank, h), h + "clipboard.pdb");
    EXPECT_EQ(ResolveClipboardName("notes.pdb", h), h + "notes.pdb");
    std::filesystem::create_directories(h + "docs");
    EXPECT_EQ(ResolveClipboardName(h + "docs/", h), h + "docs/clipboard.pdb");
    EXPECT_EQ(ResolveClipboardName(h + "docs/today.pdb", h), h + "docs/today.pdb");
    // A folder that does not exist (or a file standing where a folder should).
    test::WriteFileText(h + "plain", "x");
    EXPECT_EQ(ResolveClipboardName(h + "plain/book.pdb", h), h + "clipboard.pdb");
}

TEST(ClipboardName, CountsUpBeforeTheExtension) {
    // No dot anywhere, or one only in a folder's name: the number goes at the end. The
    // stem is cut to 28 characters before the number.
    for (const auto& [name, counter, counted] : {std::tuple<std::string, int, std::string>{"/home/u/clip.pdb", 5, "/home/u/clip005.pdb"},
             {"/home/u/clip.pdb", 999, "/home/u/clip999.pdb"}, {"/home/u/clip.pdb", 0, "/home/u/clip000.pdb"},
             {"/home/u/clip", 7, "/home/u/clip007"}, {"/home/u.v/clip", 7, "/home/u.v/clip007"},
             {"/d/" + std::string(40, 's') + ".pdb", 12, "/d/" + std::string(28, 's') + "012.pdb"}}) {
        EXPECT_EQ(CountedName(name, counter), counted);
    }

    EXPECT_EQ(std::vector<int>({NextCounter(0), NextCounter(998), NextCounter(999)}), std::vector<int>({1, 999, 1}));
}

}  // namespace
}  // namespace lum2
