#include "engine/path_functions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace lum2 {
namespace {

using test::TempDir;
using test::WriteFileText;

struct PathCase {
    std::string path;
    std::string fileName;
    std::string directory;
};

TEST(PathParts, SplitAtTheLastSeparator) {
    const PathCase cases[] = {
        {"/home/user/book.txt", "book.txt", "/home/user/"},
        {"book.txt", "book.txt", ""},
        {"dir/", "", "dir/"},
        {"/", "", "/"},
        {"", "", ""},
        {"a//b", "b", "a//"},
        {"/home/user.d/notes", "notes", "/home/user.d/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileNamePart(c.path), c.fileName);
        EXPECT_EQ(DirectoryPart(c.path), c.directory);
        EXPECT_EQ(DirectoryPart(c.path) + FileNamePart(c.path), c.path);
    }
#if !defined(_WIN32)
    // A backslash is an ordinary file name character here.
    EXPECT_EQ(FileNamePart("a\\b.txt"), "a\\b.txt");
    EXPECT_EQ(DirectoryPart("a\\b.txt"), "");
#endif
}

TEST(PathParts, SplitAtTheLastDot) {
    struct NameCase {
        std::string name;
        std::string base;
        std::string extension;
    };
    const NameCase cases[] = {
        {"book.pdb", "book", ".pdb"},
        {"my.book.pdb", "my.book", ".pdb"},
        {"a.", "a", "."},
        {".pdb", "", ".pdb"},
        {"README", "README", ""},
        {"", "", ""},
        // The text is taken as given, folders included.
        {"a.b/c", "a", ".b/c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BaseName(c.name), c.base);
        EXPECT_EQ(ExtensionPart(c.name), c.extension);
        EXPECT_EQ(BaseName(c.name) + ExtensionPart(c.name), c.name);
    }
}

TEST(PathParts, RightTrimRemovesOnlyTrailingBlanks) {
    EXPECT_EQ(RightTrim("abc   "), "abc");
    EXPECT_EQ(RightTrim("  abc"), "  abc");
    EXPECT_EQ(RightTrim("a b "), "a b");
    EXPECT_EQ(RightTrim("tab\t"), "tab\t");
    EXPECT_EQ(RightTrim("line\n "), "line\n");
    EXPECT_EQ(RightTrim("    "), "");
    EXPECT_EQ(RightTrim(""), "");
    EXPECT_EQ(PathSeparator(), '/');
}

TEST(FileProbe, TellsFilesFromEverythingElse) {
    TempDir dir;
    WriteFileText(dir.File("book.txt"), "text");
    WriteFileText(dir.File(".hidden"), "text");
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(dir.File("book.txt"), dir.File("link.txt"));
    std::filesystem::create_symlink(dir.File("gone.txt"), dir.File("dangling.txt"));
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);

    EXPECT_EQ(FileProbe(dir.File("book.txt")), 1);
    EXPECT_EQ(FileProbe(dir.File(".hidden")), 1);
    EXPECT_EQ(FileProbe(dir.File("link.txt")), 1);
    EXPECT_EQ(FileProbe(dir.File("missing.txt")), 0);
    EXPECT_EQ(FileProbe(dir.File("dangling.txt")), 0);
    EXPECT_EQ(FileProbe(dir.File("folder")), 0);
    EXPECT_EQ(FileProbe(dir.Path()), 0);
    EXPECT_EQ(FileProbe(dir.File("pipe")), 0);
    // Through a folder that does not exist, or a file standing where a
    // folder is expected, the path itself is not valid.
    EXPECT_EQ(FileProbe(dir.File("book.txt/inner.txt")), -1);
    EXPECT_EQ(FileProbe(dir.File("missing/inner.txt")), -1);
}

TEST(FileProbe, InvalidPathsAndSystemFailuresAreMinusOne) {
    TempDir dir;
    WriteFileText(dir.File("book.txt"), "text");
    EXPECT_EQ(FileProbe(""), -1);
    // Cut at the NUL the name would be that of an existing file.
    EXPECT_EQ(FileProbe(dir.File("book.txt") + std::string(1, '\0') + "x"), -1);
    EXPECT_EQ(FileProbe(dir.File(std::string(5000, 'n'))), -1) << "a name longer than the system allows";

    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    std::filesystem::create_directory(dir.File("locked"));
    WriteFileText(dir.File("locked/book.txt"), "text");
    ASSERT_EQ(::chmod(dir.File("locked").c_str(), 0), 0);
    EXPECT_EQ(FileProbe(dir.File("locked/book.txt")), -1);
}

}  // namespace
}  // namespace lum2
