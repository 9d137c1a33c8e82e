// The command line: the whole line decides, trimmed and lower-cased.
#include <gtest/gtest.h>

#include "shell/command_line.h"

namespace lum2 {
namespace {

TEST(CommandLine, SwitchesAndEverythingElse) {
    EXPECT_EQ(ParseCommandLine({"-s"}).switchCharacter, 's');
    EXPECT_TRUE(ParseCommandLine({"-s"}).commandLineMode);
    EXPECT_EQ(ParseCommandLine({"  -C  "}).switchCharacter, 'c');
    EXPECT_EQ(ParseCommandLine({"-S"}).text, "-s");
    for (const std::vector<std::string>& line :
         std::vector<std::vector<std::string>>{{}, {"-x"}, {"-s", "extra"}, {"/s"}, {"-sc"}, {"--s"}}) {
        const CommandLine parsed = ParseCommandLine(line);
        EXPECT_FALSE(parsed.commandLineMode) << parsed.text;
        EXPECT_EQ(parsed.switchCharacter, 0);
    }
}

TEST(CommandLine, WindowStart) {
    EXPECT_EQ(ChooseWindowStart(true, false, true), WindowStart::kHiddenInTray);
    EXPECT_EQ(ChooseWindowStart(false, false, true), WindowStart::kNormal);
    EXPECT_EQ(ChooseWindowStart(true, true, true), WindowStart::kMinimised);
    EXPECT_EQ(ChooseWindowStart(false, true, true), WindowStart::kMinimised);
    // Without a tray icon the window must stay findable.
    EXPECT_EQ(ChooseWindowStart(true, false, false), WindowStart::kNormal);
    EXPECT_EQ(ChooseWindowStart(true, true, false), WindowStart::kNormal);
}

}  // namespace
}  // namespace lum2
