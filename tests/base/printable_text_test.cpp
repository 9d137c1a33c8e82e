#include "base/printable_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

namespace lum2 {
namespace {

// The reading the header promises: the known escapes, any other backslash as itself.
std::string ReadBack(const std::string& shown) {
    std::string text;
    for (std::size_t at = 0; at < shown.size(); ++at) {
        const char next = at + 1 < shown.size() ? shown[at + 1] : '\0';
        if (shown[at] != '\\' || std::string("\\ntrx").find(next) == std::string::npos) {
            text += shown[at];
        } else if (next == 'x') {
            text += static_cast<char>(std::stoi(shown.substr(at + 2, 2), nullptr, 16)), at += 3;
        } else {
            text += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : '\\', at += 1;
        }
    }
    return text;
}

TEST(PrintableText, ControlsAndBytesThatAreNotUtf8AreEscapedAndReadBackWhole) {
    const std::pair<std::string, std::string> cases[] = {
        {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {std::string("\x1b[2J\x00\x7f", 6), "\\x1b[2J\\x00\\x7f"},
        {"Caf\xE9", "Caf\\xe9"},                                  // a Palm set name
        {"\xC0\xAF \xED\xA0\x80 \xE2\x82", "\\xc0\\xaf \\xed\\xa0\\x80 \\xe2\\x82"},  // overlong, surrogate, cut short
        {"\xC2\x9B" "1m \xE2\x80\xA8 \xE2\x80\xAE", "\\xc2\\x9b1m \\xe2\\x80\\xa8 \\xe2\\x80\\xae"},
        {"C:\\Books\\a\\", "C:\\Books\\a\\"},                     // no escape to mistake them for
        {"a\\nb \\\\ \\x41 \\\n", "a\\\\nb \\\\\\ \\\\x41 \\\\\\n"}};
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(PrintableText(text), shown) << shown;
        EXPECT_EQ(ReadBack(PrintableText(text)), text) << shown;
    }
    // Any bytes at all, many of them backslashes and escape letters.
    std::mt19937 random(11);
    const std::string alphabet = std::string("\\\\\\nntrxX\n\t\x1b\x80\xC3\xA9 a", 17);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 12, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        const std::string shown = PrintableText(text);
        ASSERT_EQ(ReadBack(shown), text) << shown;
        for (const char c : shown) ASSERT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) << shown;
    }
}

}  // namespace
}  // namespace lum2
