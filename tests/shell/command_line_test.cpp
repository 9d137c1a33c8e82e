// The command line: the whole line decides, trimmed and lower-cased.
#include <gtest/gtest.h>

#include "shell/command_line.h"

namespace lum2 {
namespace {

TEST(CommandLine, SwitchesAndStartOptions) {
    EXPECT_EQ(ParseCommandLine({"-S"}).text, "-s");
    // Start options come off before the switch is judged.
    const struct { std::vector<std::string> words; std::string base; bool menu; char letter; bool error; } cases[] = {
        {{}, "", false, 0, false}, {{"-x"}, "", false, 0, false}, {{"-s", "extra"}, "", false, 0, false},
        {{"/s"}, "", false, 0, false}, {{"-sc"}, "", false, 0, false}, {{"--s"}, "", false, 0, false},
        {{"-s"}, "", false, 's', false}, {{"  -C  "}, "", false, 'c', false},
        {{"--base-dir", "/d", "-s"}, "/d", false, 's', false},
        {{" -C ", "--base-dir=rel/d"}, "rel/d", false, 'c', false}, {{"--menu", "-S"}, "", true, 's', false},
        {{"--menu", "-s", "extra"}, "", true, 0, false},
        {{"--BASE-DIR", "/d"}, "", false, 0, false},  // not an option: starts normally, as before
        {{"--base-dir"}, "", false, 0, true}, {{"--base-dir="}, "", false, 0, true},
        {{"--menu", "--base-dir", "/d"}, "/d", true, 0, true}};
    for (const auto& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.words);
        SCOPED_TRACE(testing::PrintToString(c.words));
        EXPECT_EQ(parsed.baseDirectory, c.base);
        EXPECT_EQ(parsed.menuStart, c.menu);
        EXPECT_EQ(parsed.switchCharacter, c.letter);
        EXPECT_EQ(parsed.commandLineMode, c.letter != 0);
        EXPECT_EQ(!parsed.error.empty(), c.error);
    }
    // What is neither is said to be ignored, as it was given.
    for (const auto& [words, ignored] : {std::pair<std::vector<std::string>, std::string>{{"-s"}, ""},
                                         {{"--base-dir", "/d", "-C"}, ""}, {{"--bogus"}, "--bogus"},
                                         {{"Story.txt", "--menu"}, "Story.txt"}, {{"-s", "extra"}, "-s extra"}}) {
        EXPECT_EQ(ParseCommandLine(words).ignored, ignored);
    }
    EXPECT_TRUE(ParseCommandLine({"-s", "--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}

TEST(CommandLine, MenuBaseDirectoryIsUnderXdgDataHome) {
    EXPECT_EQ(MenuBaseDirectory("/data/", "/home/u"), "/data/lum2");
    EXPECT_EQ(MenuBaseDirectory("", "/home/u"), "/home/u/.local/share/lum2");
    EXPECT_EQ(MenuBaseDirectory("relative/data", "/home/u"), "/home/u/.local/share/lum2");
}

TEST(CommandLine, WindowStart) {
    // (hidden last time, command-line run, tray shown); without a tray
    // icon the window must stay findable.
    using enum WindowStart;
    EXPECT_EQ(std::vector<WindowStart>({ChooseWindowStart(true, false, true), ChooseWindowStart(false, false, true),
                                        ChooseWindowStart(true, true, true), ChooseWindowStart(false, true, true),
                                        ChooseWindowStart(true, false, false), ChooseWindowStart(true, true, false)}),
              std::vector<WindowStart>({kHiddenInTray, kNormal, kMinimised, kMinimised, kNormal, kNormal}));
}

}  // namespace
}  // namespace lum2
