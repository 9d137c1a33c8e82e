#include "base/path_functions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>

#include "temp_dir.h"

namespace lum2 {
namespace {

using test::WriteFileText;

TEST(PathParts, SplitAtTheLastSeparatorOrDotAndTrimOnlyTrailingBlanks) {
    // {path, file name part, directory part}; a backslash is an ordinary file name character here.
    const std::string paths[][3] = {
        {"/home/user/book.txt", "book.txt", "/home/user/"}, {"book.txt", "book.txt", ""}, {"dir/", "", "dir/"},
        {"/", "", "/"}, {"", "", ""}, {"a//b", "b", "a//"}, {"/home/user.d/notes", "notes", "/home/user.d/"},
        {"a\\b.txt", "a\\b.txt", ""}};
    for (const auto& [path, name, folder] : paths) {
        EXPECT_EQ(FileNamePart(path), name) << path;
        EXPECT_EQ(DirectoryPart(path), folder) << path;
    }
    // {name, base, extension}; the text is taken as given, folders included.
    const std::string names[][3] = {{"book.pdb", "book", ".pdb"}, {"my.book.pdb", "my.book", ".pdb"},
        {"a.", "a", "."}, {".pdb", "", ".pdb"}, {"README", "README", ""}, {"", "", ""}, {"a.b/c", "a", ".b/c"}};
    for (const auto& [name, base, extension] : names) {
        EXPECT_EQ(BaseName(name), base) << name;
        EXPECT_EQ(ExtensionPart(name), extension) << name;
    }
    const std::pair<std::string, std::string> trims[] = {{"abc   ", "abc"}, {"  abc", "  abc"}, {"a b ", "a b"},
        {"tab\t", "tab\t"}, {"line\n ", "line\n"}, {"    ", ""}, {"", ""}};
    for (const auto& [text, trimmed] : trims) EXPECT_EQ(RightTrim(text), trimmed) << text;
}

TEST(FileProbe, TellsFilesFromEverythingElseAndInvalidPaths) {
    test::TempDir dir;
    WriteFileText(dir.File("book.txt"), "text");
    WriteFileText(dir.File(".hidden"), "text");
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(dir.File("book.txt"), dir.File("link.txt"));
    std::filesystem::create_symlink(dir.File("gone.txt"), dir.File("dangling.txt"));
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    const std::pair<std::string, int> cases[] = {
        {"book.txt", 1}, {".hidden", 1}, {"link.txt", 1}, {"missing.txt", 0}, {"dangling.txt", 0}, {"folder", 0},
        {"", 0}, {"pipe", 0},
        // Through a missing folder or a file where a folder is expected, a name longer than the system
        // allows, or one that cut at its NUL would name an existing file: the path itself is not valid.
        {"book.txt/inner.txt", -1}, {"missing/inner.txt", -1}, {std::string(5000, 'n'), -1},
        {"book.txt" + std::string(1, '\0') + "x", -1}};
    for (const auto& [name, expected] : cases) EXPECT_EQ(FileProbe(dir.File(name)), expected) << name;
    EXPECT_EQ(FileProbe(""), -1);

    if (::geteuid() == 0) return;  // root ignores folder permissions
    std::filesystem::create_directory(dir.File("locked"));
    WriteFileText(dir.File("locked/book.txt"), "text");
    ASSERT_EQ(::chmod(dir.File("locked").c_str(), 0), 0);
    EXPECT_EQ(FileProbe(dir.File("locked/book.txt")), -1);
}

TEST(CreatePrivateFolder, EveryLevelItMakesIs0700AndAnExistingFolderIsLeftAsItIs) {
    using test::ModeOf;
    test::TempDir dir;
    const mode_t old = ::umask(0);  // mkdir alone would give 0777 & ~umask
    const std::string folder = dir.File("a/b/lum2");
    EXPECT_EQ(CreatePrivateFolder(folder), "");
    ::umask(old);
    for (const std::string& level : {dir.File("a"), dir.File("a/b"), folder}) EXPECT_EQ(ModeOf(level), 0700u) << level;
    // An existing folder keeps its mode; a file in the way is an error.
    ::chmod(folder.c_str(), 0750);
    EXPECT_EQ(CreatePrivateFolder(folder + "/"), "");
    EXPECT_EQ(ModeOf(folder), 0750u);
    WriteFileText(dir.File("file"), "");
    EXPECT_NE(CreatePrivateFolder(dir.File("file/lum2")), "");
}

}  // namespace
}  // namespace lum2
