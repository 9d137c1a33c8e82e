// The Palm character set and the "UTF-8 Text" option: conversions both ways,
// stand-ins, texts left alone, record boundaries and HTML entities.
#include "text/palm_charset.h"

#include <tuple>

#include "conversion_fixture.h"
#include "convert/database_name.h"
#include "convert/task_options.h"
#include "text/text_filters.h"

namespace lum2::test {
namespace {

std::string Utf8FromPalm(std::string_view palm) {
    std::string out;
    AppendUtf8FromPalm(palm, out);
    return out;
}

TEST(PalmCharset, EveryByteOfTheSetSurvivesTheRoundTrip) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        uint64_t replaced = 9;
        EXPECT_EQ(PalmFromUtf8(Utf8FromPalm(byte), &replaced), byte) << "byte " << b;
        EXPECT_EQ(replaced, 0u) << "byte " << b;
    }
    // Where the set is Windows-1252, and where it is Palm's own.
    const std::pair<uint8_t, const char*> known[] = {
        {0x80, "€"}, {0x85, "…"}, {0x8D, "♦"}, {0x8E, "♣"}, {0x8F, "♥"}, {0x90, "♠"}, {0x93, "“"},
        {0x96, "–"}, {0x99, "™"}, {0x9B, "\xC2\x9B"}, {0x9E, "\xC2\x9E"}, {0x9F, "Ÿ"}, {0xE9, "é"}, {0xFF, "ÿ"}};
    for (const auto& [byte, utf8] : known) EXPECT_EQ(Utf8FromPalm(std::string(1, static_cast<char>(byte))), utf8);
}

TEST(PalmCharset, CharactersOutsideTheSetGetStandIns) {
    const struct { const char* utf8; const char* palm; uint64_t replaced; } cases[] = {
        {"→ ő Ž ž › ﬁ", "-> o Z z > fi", 6}, {"中😀", "??", 2}, {"caf\xC3\xA9 \xE2\x82\xAC" "20", "caf\xE9 \x80" "20", 0},
        {"e\u0301 A\u030A", "\xE9 \xC5", 0},         // composed first
        {"\u00F4\u0301 o\u0302\u0301", "o o", 2},  // even with a letter of the set
        {"\xEF\xBB\xBF" "a\xEF\xBB\xBF", "a", 1},  // a later one is an invisible, replaced, space
        {"\xC3" "A \xE2\x82\xAC\xC3" "B", "?A \x80?B", 2},  // not UTF-8: a lead byte without its follower
    };
    for (const auto& c : cases) {
        uint64_t replaced = 0;
        EXPECT_EQ(PalmFromUtf8(c.utf8, &replaced), c.palm) << c.utf8;
        EXPECT_EQ(replaced, c.replaced) << c.utf8;
        // Fed in two pieces, split anywhere, it converts as if whole.
        const std::string_view text(c.utf8);
        for (std::size_t split = 0; split <= text.size(); ++split) {
            PalmTextEncoder encoder;
            std::string out;
            encoder.Feed(text.substr(0, split), out);
            encoder.Feed(text.substr(split), out);
            encoder.Finish(out);
            EXPECT_EQ(out, c.palm) << c.utf8 << " split at " << split;
        }
    }
    // Everything before the last ASCII character is final and leaves at once.
    PalmTextEncoder encoder;
    std::string out;
    encoder.Feed("ab\xC3\xA9" "c", out);
    EXPECT_EQ(out, "ab\xE9");
    // A database name is converted before its 31-byte cut.
    EXPECT_EQ(PalmDatabaseName("/t/" + std::string(20, 'x') + "Žluťoučký kůň.pdb"),
              std::string(20, 'x') + "Zlutouck\xFD k");
}

TEST(DatabaseNames, ComeFromThePalmFileThenThePcFileAndAreCutWhole) {
    // 30 ASCII bytes then a 2-byte character: cutting at 31 would split it.
    for (const auto& [path, name] : {std::pair<std::string, std::string>{"/home/u/Notes.txt.pdb", "Notes.txt"},
                                     {"/home/u/my.book.pdb", "my.book"}, {"/home/u/plain", "plain"},
                                     {"/x/" + std::string(40, 'n') + ".pdb", std::string(31, 'n')}, {"/u/.pdb", ""},
                                     {std::string(30, 'a') + "\xC3\xA9" + "z.pdb", std::string(30, 'a')}}) {
        EXPECT_EQ(DatabaseName(path), name);
    }
    // A name that would be empty comes from the PC file, else it is "Untitled".
    for (const auto& [palm, pc, name] : {std::tuple<const char*, const char*, const char*>{"/u/.pdb", "/t/story.txt", "story"},
                                         {"/u/.pdb", "", "Untitled"}, {"/u/.pdb", "/t/.txt", "Untitled"},
                                         {"/u/book.pdb", "/t/story.txt", "book"}}) {
        EXPECT_EQ(NewDatabaseName(palm, pc, false), name) << palm << pc;
    }
    EXPECT_EQ(NewDatabaseName("/u/.pdb", "/t/Caf\xC3\xA9.txt", true), "Caf\xE9");
}

TEST(PalmCharset, ScannerKnowsUtf8FromOtherBytesInAnyPieces) {
    const struct { std::string bytes; bool valid; bool nonAscii; } cases[] = {
        {"plain", true, false},        {"caf\xC3\xA9 \xF0\x9F\x98\x80", true, true},
        {"caf\xE9", false, true},      {"\xC0\xAF", false, true},          // overlong
        {"\xED\xA0\x80", false, true}, {"\xF4\x90\x80\x80", false, true},  // surrogate, above U+10FFFF
        {"ab\xE2\x82", false, true},   {"\x80", false, true},              // cut off, stray
        {"\xC3\xA9!", true, true},     {"\xC1\xBF", false, true},          // ASCII after a character; overlong
        {"\xE0\x9F\xBF", false, true}, {"\xF0\x8F\xBF\xBF", false, true},  // overlong three and four bytes
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", true, true},                   // the largest of three and four bytes
    };
    for (const auto& c : cases) {
        for (std::size_t split = 0; split <= c.bytes.size(); ++split) {
            Utf8Scanner scanner;
            scanner.Feed(std::string_view(c.bytes).substr(0, split));
            scanner.Feed(std::string_view(c.bytes).substr(split));
            EXPECT_EQ(scanner.Valid(), c.valid) << c.bytes << " split at " << split;
            EXPECT_EQ(scanner.NonAscii(), c.nonAscii) << c.bytes;
        }
    }
}

class Utf8OptionTest : public ConversionTest {
protected:
    // The filtered text; the notes told are the host's.
    std::string Filter(const std::string& text, const std::string& options) {
        WriteFileText(F("in.txt"), text);
        TaskRecord task = Task(F("in.txt"), "x.pdb");
        task.options = options;
        host_.notes.clear();
        std::string path;
        const bool ok = ApplyFilters(F("in.txt"), FilterOptionsOf(task), dir_.Path(), host_, path).Ok();
        return ok ? ReadFileText(path) : "<failed>";
    }
};

TEST_F(Utf8OptionTest, OnlyTheSeventhOptionConvertsOnlyValidUtf8AndEntitiesFollow) {
    const std::string utf8 = "caf\xC3\xA9 \xE2\x86\x92";
    EXPECT_EQ(Filter(utf8, "0000001"), "caf\xE9 ->");
    EXPECT_EQ(host_.notes, std::vector<std::string>{"1 character is not in the Palm character set and was replaced"});
    // Older records (six characters), a blank seventh, or Raw: bytes as they are.
    for (const char* options : {"000000", "0000000", "000000 ", "0000011"}) {
        EXPECT_EQ(Filter(utf8, options), utf8) << options;
        EXPECT_TRUE(host_.notes.empty()) << options;
    }
    // A Palm-set text, or one that stops being UTF-8 only past the first block read, passes whole.
    for (const std::string& other : {"caf\xE9 \x93ok\x94 " + utf8, utf8 + std::string(1 << 16, 'x') + "\xE9"}) {
        EXPECT_EQ(Filter(other, "0000001"), other);
        EXPECT_EQ(host_.notes,
                  std::vector<std::string>{"the text is not valid UTF-8: its bytes were kept as they are"});
    }
    const std::string html = "<p>&copy;&#233;&#150;&#x2192;&#8364;&#128512; \xC3\xA9";
    // Without the option references become Palm-set bytes, or the stand-ins, beside UTF-8 bytes.
    EXPECT_EQ(Filter(html, "0010000"), "\xA9\xE9\x96->\x80? \xC3\xA9\n");
    // With it, all of it ends in the Palm set, each character once.
    EXPECT_EQ(Filter(html, "0010001"), "\xA9\xE9\x96->\x80? \xE9\n");
}

TEST_F(Utf8OptionTest, ACharacterAcrossAChunkOfTheFiltersConvertsWholeAndComesBack) {
    const std::pair<std::string, std::string> characters[] = {
        {"\xC3\xA9", "\xE9"}, {"\xE2\x82\xAC", "\x80"}, {"e\xCC\x81", "\xE9"}, {"\xF0\x9F\x98\x80", "?"}};
    for (const auto& [character, palmCharacter] : characters) {
        for (std::size_t at = 4090; at <= 4100; ++at) {
            EXPECT_EQ(Filter(std::string(at, 'a') + character + std::string(5000, 'b'), "0000001"),
                      std::string(at, 'a') + palmCharacter + std::string(5000, 'b')) << character << " at " << at;
        }
    }
    // Palm to PC gives the UTF-8 back.
    host_.SetChecked({Custom()});
    WriteFileText(F("in.txt"), "\xE2\x99\xA6 caf\xC3\xA9");
    TaskRecord task = Task(F("in.txt"), F("out.pdb"));
    task.options = "1000001";
    ASSERT_EQ(ConvertPcToPalm(task, context_).status, "OK");
    task = Task(F("back.txt"), F("out.pdb"), kDirectionPalmToPc);
    task.options = "0000001";
    ASSERT_EQ(ConvertPalmToPc(task, context_).status, "OK");
    EXPECT_EQ(ReadFileText(F("back.txt")), "\xE2\x99\xA6 caf\xC3\xA9");
}

}  // namespace
}  // namespace lum2::test
