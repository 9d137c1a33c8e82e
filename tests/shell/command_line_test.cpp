// The command line: the whole line decides, trimmed and lower-cased.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../engine/temp_dir.h"
#include "shell/command_line.h"

namespace lum2 {
namespace {

mode_t Mode(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(CommandLine, SwitchesAndStartOptions) {
    EXPECT_TRUE(ParseCommandLine({"-s"}).commandLineMode);
    EXPECT_EQ(ParseCommandLine({"-S"}).text, "-s");
    for (const std::vector<std::string>& line :
         std::vector<std::vector<std::string>>{{}, {"-x"}, {"-s", "extra"}, {"/s"}, {"-sc"}, {"--s"}}) {
        const CommandLine parsed = ParseCommandLine(line);
        EXPECT_FALSE(parsed.commandLineMode) << parsed.text;
        EXPECT_EQ(parsed.switchCharacter, 0) << parsed.text;
    }
    // Start options come off before the switch is judged.
    const struct { std::vector<std::string> words; std::string base; bool menu; char letter; bool error; } cases[] = {
        {{"-s"}, "", false, 's', false},
        {{"  -C  "}, "", false, 'c', false},
        {{"--base-dir", "/d", "-s"}, "/d", false, 's', false},
        {{" -C ", "--base-dir=rel/d"}, "rel/d", false, 'c', false},
        {{"--menu", "-S"}, "", true, 's', false},
        {{"--menu", "-s", "extra"}, "", true, 0, false},
        {{"--BASE-DIR", "/d"}, "", false, 0, false},  // not an option: starts normally, as before
        {{"--base-dir"}, "", false, 0, true},
        {{"--base-dir="}, "", false, 0, true},
        {{"--menu", "--base-dir", "/d"}, "/d", true, 0, true},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.words);
        EXPECT_EQ(parsed.baseDirectory, c.base) << c.words[0];
        EXPECT_EQ(parsed.menuStart, c.menu) << c.words[0];
        EXPECT_EQ(parsed.switchCharacter, c.letter) << c.words[0];
        EXPECT_EQ(!parsed.error.empty(), c.error) << c.words[0];
    }
    EXPECT_TRUE(ParseCommandLine({"-s", "--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}

TEST(CommandLine, MenuBaseDirectoryIsAPrivateFolderUnderXdgDataHome) {
    EXPECT_EQ(MenuBaseDirectory("/data/", "/home/u"), "/data/lum2");
    EXPECT_EQ(MenuBaseDirectory("", "/home/u"), "/home/u/.local/share/lum2");
    EXPECT_EQ(MenuBaseDirectory("relative/data", "/home/u"), "/home/u/.local/share/lum2");

    test::TempDir dir;
    const mode_t old = umask(0);  // mkdir alone would give 0777 & ~umask
    const std::string folder = dir.File("a/b/lum2");
    EXPECT_EQ(CreatePrivateFolder(folder), "");
    umask(old);
    for (const std::string& level : {dir.File("a"), dir.File("a/b"), folder}) EXPECT_EQ(Mode(level), 0700u) << level;
    // An existing folder keeps its mode; a file in the way is an error.
    chmod(folder.c_str(), 0750);
    EXPECT_EQ(CreatePrivateFolder(folder + "/"), "");
    EXPECT_EQ(Mode(folder), 0750u);
    test::WriteFileText(dir.File("file"), "");
    EXPECT_NE(CreatePrivateFolder(dir.File("file/lum2")), "");
}

TEST(CommandLine, WindowStart) {
    // (hidden last time, command-line run, tray shown); without a tray
    // icon the window must stay findable.
    EXPECT_EQ(ChooseWindowStart(true, false, true), WindowStart::kHiddenInTray);
    EXPECT_EQ(ChooseWindowStart(false, false, true), WindowStart::kNormal);
    EXPECT_EQ(ChooseWindowStart(true, true, true), WindowStart::kMinimised);
    EXPECT_EQ(ChooseWindowStart(false, true, true), WindowStart::kMinimised);
    EXPECT_EQ(ChooseWindowStart(true, false, false), WindowStart::kNormal);
    EXPECT_EQ(ChooseWindowStart(true, true, false), WindowStart::kNormal);
}

}  // namespace
}  // namespace lum2
