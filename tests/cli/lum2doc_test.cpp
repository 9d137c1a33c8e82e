// lum2doc end to end: the built program run as a user runs it, against slips
// of the command line and files that lie as well.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <regex>

#include "lum2doc_runner.h"
#include "task_store.h"

namespace lum2::test {
namespace {

namespace fs = std::filesystem;

// The filters and the Palm set themselves are the engine's; these runs show
// each option reaches them, what encode warns of and info tells, and that
// --raw hands every byte value on whole across a record boundary, whatever
// else is asked.
TEST_F(Lum2DocTest, OptionsReachTheFiltersWarningsAreSaidAndRawKeepsEveryByte) {
    std::string bytes(4097, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    const std::string lines = "a\r\nb\tc\r", html = "<p>Fish &amp; chips</p><script>x()</script>";
    const std::string warning =
        "lum2doc: the text is UTF-8 with characters beyond ASCII, which Palm readers will show wrongly; "
        "--utf8 converts them to the Palm character set\n";
    // Text, encode's options, what encode says, the kind info tells, decode's options, the text it gives.
    const std::tuple<std::string, const char*, std::string, const char*, const char*, std::string> cases[] = {
        {lines, "", "", "plain ASCII", "", "a\nb\tc"}, {lines, "--tabs=3 --cr-to-lf ", "", "", "", "a\n\nb   c\n"},
        {html, "--strip-html ", "", "", "", "Fish & chips\n"},
        {bytes, "--raw --cr-to-lf --tabs 3 --strip-html --utf8 ", "", "", "", bytes},
        {bytes, "--raw --compress ", "", "", "", bytes},
        {"caf\xC3\xA9", "--compress ", warning, "looks like UTF-8", "--utf8 ", "caf\xC3\xA9"},
        {"caf\xC3\xA9 \xE2\x86\x92", "--utf8 ", "lum2doc: 1 character is not in the Palm character set and was replaced\n",
         "Palm character set", "--utf8 ", "caf\xC3\xA9 ->"},
        {"caf\xE9", "--utf8 ", "lum2doc: the text is not valid UTF-8: its bytes were kept as they are\n",
         "Palm character set", "--utf8 ", "caf\xC3\xA9"}};
    for (const auto& [text, options, err, kind, decodeOptions, decoded] : cases) {
        WriteFileText(F("in"), text);
        ASSERT_EQ(Run(std::string("encode ") + options + F("in") + " " + F("a.pdb")), (RunResult{0, "", err})) << options;
        EXPECT_NE(Run("info " + F("a.pdb")).out.find(std::string("text: ") + kind), std::string::npos) << options;
        EXPECT_EQ(Run(std::string("decode ") + decodeOptions + F("a.pdb") + " -").out, decoded) << options;
    }
    // The database name is converted too (and shown escaped: it is no UTF-8 now).
    ASSERT_EQ(Run("encode --utf8 " + F("in") + " " + F("Caf\xC3\xA9.pdb")).exitCode, 0);
    EXPECT_NE(Run("info " + F("Caf\xC3\xA9.pdb")).out.find("name: Caf\\xe9\n"), std::string::npos);
}

TEST_F(Lum2DocTest, StandardStreamsAndInfo) {
    WriteFileText(F("in"), "Hello from standard input\n");
    ASSERT_EQ(Run("encode --compress --category 5 - " + F("Notes.txt.pdb"), F("in")), (RunResult{0, "", ""}));
    const RunResult info = Run("info " + F("Notes.txt.pdb"));
    ASSERT_EQ(info.exitCode, 0);
    for (const char* line : {"name: Notes.txt\n", "type: TEXt\n", "creator: REAd\n", "compressed: yes\n",
                             "text records: 1\n", "text length: 26\n", "category: 5\n", "created: 20"}) {
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
    }
    EXPECT_EQ(Run("decode - -", F("Notes.txt.pdb")), (RunResult{0, "Hello from standard input\n", ""}));
    // Written to standard output, the document is named after its input.
    EXPECT_EQ(Run("encode " + F("in") + " -").out.substr(0, 3), std::string("in\0", 3));
}

// Bookmarks leave the text as marks and come back as the same marks; info
// lists them with their offsets in the Palm text. Without --bookmarks a
// mark is text like any other.
TEST_F(Lum2DocTest, BookmarksGoThroughInlineMarksBothWays) {
    const std::string marked = "<* Start *>Intro\n<* \xC3\x9C" "ber *>Caf\xC3\xA9\n<* End *>";
    WriteFileText(F("in"), marked);
    ASSERT_EQ(Run("encode --utf8 --bookmarks --compress " + F("in") + " " + F("a.pdb")).exitCode, 0);
    const RunResult info = Run("info " + F("a.pdb"));
    EXPECT_NE(info.out.find("text length: 11\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("bookmarks: 3\nbookmark: 0 Start\nbookmark: 6 \xC3\x9C" "ber\nbookmark: 11 End\n"),
              std::string::npos) << info.out;
    EXPECT_EQ(Run("decode " + F("a.pdb") + " -").out, "Intro\nCaf\xE9\n");
    const RunResult back = Run("decode --utf8 --bookmarks " + F("a.pdb") + " " + F("back.txt"));
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(ReadFileText(F("back.txt")), marked);
    ASSERT_EQ(Run("encode --utf8 --bookmarks --compress " + F("back.txt") + " " + F("b.pdb")).exitCode, 0);
    EXPECT_EQ(Run("info " + F("b.pdb")).out.substr(info.out.find("bookmarks:")),
              info.out.substr(info.out.find("bookmarks:")));
    ASSERT_EQ(Run("encode " + F("in") + " " + F("plain.pdb")).exitCode, 0);
    EXPECT_EQ(Run("decode " + F("plain.pdb") + " -").out, marked);
    EXPECT_NE(Run("info " + F("plain.pdb")).out.find("bookmarks: 0\n"), std::string::npos);
}

// A name, path or status is the bytes of a file or the store: printed, it
// must not start a line of its own, add a field or talk to the terminal.
TEST_F(Lum2DocTest, NamesPathsAndStatusesFromFilesArePrintedEscaped) {
    const std::string forged = "a\nb\tc\x1b[2J", shown = "a\\nb\\tc\\x1b[2J";
    WriteFileText(F("in"), "text\n");
    ASSERT_EQ(Run("encode " + F("in") + " " + F("a.pdb")).exitCode, 0);
    std::vector<uint8_t> doc = ReadFileBytes(F("a.pdb"));
    const std::string name = forged + "\ntype: FAKE";
    std::fill(doc.begin(), doc.begin() + 32, 0), std::copy(name.begin(), name.end(), doc.begin());
    WriteFileBytes(F("a.pdb"), doc);
    fs::create_directories(F("store"));
    {
        RecordStore store;
        store.OpenStore(F("store/"));
        AddTask(store, [&](TaskRecord& task) {
            task.pcfile = "/t/" + forged, task.palmfile = forged + ".pdb", task.status = "Error: " + forged;
            task.direction = kDirectionNone;  // keeps its status through a run
        });
    }
    hotsyncRoot_ = F("hotsync");
    fs::create_directories(hotsyncRoot_ + "/u/backup");
    WriteFileText(hotsyncRoot_ + "/u/name", "Eve\t\x1b]0;x\x07\n");

    // Each command, and a whole line of its output.
    const std::pair<std::string, std::string> runs[] = {
        {"info " + F("a.pdb"), "name: " + shown + "\\ntype: FAKE\n"},
        {"tasks --dir " + F("store"), "1\tnone\t/t/" + shown + "\t" + shown + ".pdb\t110000110\t1\tError: " + shown + "\n"},
        {"run --dir " + F("store"), "1\t ?\tError: " + shown + "\n"},
        {"targets", "0\tEve\\t\\x1b]0;x\\x07\n"}};
    for (const auto& [command, line] : runs) {
        const RunResult result = Run(command);
        EXPECT_EQ(result.exitCode, 0) << result;
        EXPECT_NE(("\n" + result.out).find("\n" + line), std::string::npos) << result;
        // Besides the TABs between fields and the line ends, no control byte at all.
        const std::string all = result.out + result.err;
        EXPECT_TRUE(std::none_of(all.begin(), all.end(), [](char c) { return (c >= 0 && c < 0x20 && c != '\n' && c != '\t') || c == 0x7F; }))
            << result;
    }
}

// The guide's table of messages is run as it stands: every row's command,
// in a folder of the files the rows name, prints exactly the row's line.
TEST_F(Lum2DocTest, EveryMessageOfTheGuidePrintsAsTheGuideShowsIt) {
    const std::string guide = ReadFileText(std::string(LUM2_TEST_DATA) + "/../../help/help.htm");
    const std::string docs = std::string(LUM2_TEST_DATA) + "/docs/";
    std::string photo(14201, '\x5a');
    photo.replace(0, 4, "\xFF\xD8\xFF\xE0");
    WriteFileText(F("photo.pdb"), photo);
    WriteFileText(F("story.pdb"), "Once upon a time, a story.\n");
    WriteFileText(F("empty.txt"), "");
    WriteFileText(F("secret.txt"), "secret"), chmod(F("secret.txt").c_str(), 0);
    WriteFileText(F("utf8.txt"), "caf\xC3\xA9");
    fs::create_directory(F("notes"));
    fs::copy_file(docs + "short_81_bytes.pdb", F("short.pdb")), fs::copy_file(docs + "type_text.pdb", F("other.pdb"));
    ASSERT_EQ(Run("encode " + F("utf8.txt") + " " + F("utf8.pdb")).exitCode, 0);
    ASSERT_EQ(Run("encode " + F("utf8.txt") + " " + F("book.pdb")).exitCode, 0);

    const auto unescaped = [](std::string html) {
        for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
            for (std::size_t at; (at = html.find(entity)) != std::string::npos;) html.replace(at, strlen(entity), c);
        }
        return html;
    };
    const std::regex row("<tr class=\"message\"><td>.*?</td><td><code>lum2doc (.*?)</code><br><samp>(.*?)</samp>");
    int rows = 0;
    for (std::sregex_iterator m(guide.begin(), guide.end(), row), end; m != end; ++m, ++rows) {
        const std::string command = unescaped((*m)[1]), line = unescaped((*m)[2]) + "\n";
        if (geteuid() == 0 && line.find("Permission denied") != std::string::npos) continue;  // root reads it
        const RunResult result = Run(command, "/dev/null", "", "cd " + dir_.Path() + " &&");
        EXPECT_EQ(result.err, line) << command;
        EXPECT_EQ(result.exitCode, line.find(": Error: ") != std::string::npos ? 1 : 0) << command;
    }
    EXPECT_GE(rows, 10);
    EXPECT_EQ(ReadFileText(F("utf8.txt")), "caf\xC3\xA9");
}

// A failed command keeps every file it was given: the output, a FIFO in its
// place (the replacement file's refusal, whose own tests walk links, modes
// and the other special files), and an input that is the output too, by
// name, link, hard link or a redirection of "-".
TEST_F(Lum2DocTest, FailuresPrintTheStatusAndKeepEveryFile) {
    WriteFileText(F("out"), "precious");
    WriteFileText(F("empty"), "");
    WriteFileText(F("a.txt"), "hello\n");
    ASSERT_EQ(Run("encode " + F("a.txt") + " " + F("a.pdb")).exitCode, 0);
    const std::string doc = ReadFileText(F("a.pdb"));
    fs::create_symlink("a.txt", F("l.txt"));
    fs::create_hard_link(F("a.txt"), F("h.txt"));
    ASSERT_EQ(mkfifo(F("pipe").c_str(), 0644), 0);
    const std::string fifo = F("pipe") + ": Error: Could not open Palm or PC File (" + F("pipe") +
                             " is a named pipe (FIFO), not a regular file: it was left as it is)";
    const std::string same = ": Error: PC File and Palm File are the same file";
    const struct {
        std::string command, error, after = "", input = "/dev/null";
    } cases[] = {
        {"encode --raw " + F("empty") + " " + F("out"), F("empty") + ": Error: PC File is empty"},
        {"decode " + F("a.pdb") + " " + F("pipe"), fifo}, {"encode " + F("a.txt") + " " + F("pipe"), fifo},
        {"encode " + F("a.txt") + " " + F("l.txt"), F("l.txt") + same},
        {"encode " + F("a.txt") + " " + F("h.txt"), F("h.txt") + same},
        {"encode " + F("a.txt") + " -", "standard output" + same, " >>" + F("a.txt")},
        {"encode " + F("a.txt") + " /dev/stdout", "/dev/stdout" + same, " >>" + F("a.txt")},
        {"decode " + F("a.pdb") + " " + F("a.pdb"), F("a.pdb") + same},
        {"decode " + F("a.pdb") + " -", "standard output" + same, " >>" + F("a.pdb")},
        {"encode - " + F("a.txt"), F("a.txt") + same, "", F("a.txt")}};
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.command, c.input, c.after), (RunResult{1, "", "lum2doc: " + c.error + "\n"})) << c.command << c.after;
    }
    EXPECT_EQ(ReadFileText(F("out")) + ReadFileText(F("a.txt")), "precioushello\n");
    EXPECT_EQ(ReadFileText(F("a.pdb")), doc);
    EXPECT_TRUE(fs::is_fifo(F("pipe")));
    // No temporary file is left beside the outputs, nor in the temp folder.
    EXPECT_THAT(FilesIn(dir_.Path()), ::testing::ElementsAre("a.pdb", "a.txt", "empty", "h.txt", "l.txt", "out", "pipe",
                                                             "stderr", "stdout", "tmp"));
    EXPECT_TRUE(fs::is_empty(tmp_));
}

TEST_F(Lum2DocTest, WriteFailuresSayTheirCause) {
    WriteFileText(F("in"), std::string(200000, 'A'));
    ASSERT_EQ(Run("encode --raw " + F("in") + " " + F("t.pdb")).exitCode, 0);
    WriteFileText(F("old"), "old");

    // A file size limit makes every write past 64 KiB fail with EFBIG, as a
    // full disk makes them fail with ENOSPC.
    const std::string limited = "trap '' XFSZ; ulimit -f 128;";
    const std::string cause = " (" + std::string(std::strerror(EFBIG)) + ")\n";
    EXPECT_EQ(Run("encode --raw " + F("in") + " " + F("old"), "/dev/null", "", limited),
              (RunResult{1, "", "lum2doc: " + F("old") + ": Error: could not write Palm File record" + cause}));
    EXPECT_EQ(Run("decode " + F("t.pdb") + " " + F("old"), "/dev/null", "", limited),
              (RunResult{1, "", "lum2doc: " + F("old") + ": Error: Could not open Palm or PC File" + cause}));
    EXPECT_EQ(ReadFileText(F("old")), "old");

    // Standard output counts as well.
    EXPECT_EQ(Run("decode " + F("t.pdb") + " -", "/dev/null", " >/dev/full"),
              (RunResult{1, "", "lum2doc: standard output: Error: Could not open Palm or PC File (" + std::string(std::strerror(ENOSPC)) + ")\n"}));

    // An endless input is refused once it passes 65,534 records of 4,096
    // bytes; files (the spool among them) may not grow past that here, as if
    // the temp folder were full beyond it.
    EXPECT_EQ(Run("encode --raw - " + F("old"), "/dev/zero", "", "trap '' XFSZ; ulimit -f 524272;"),
              (RunResult{1, "", "lum2doc: standard input: Error: PC File too long for a Palm File (more than 65,534 records of 4,096 bytes)\n"}));
    EXPECT_EQ(ReadFileText(F("old")), "old");
    EXPECT_TRUE(fs::is_empty(tmp_));
}

TEST_F(Lum2DocTest, UsageErrorsAndHelp) {
    // Each run's exit code and a text its output (standard output, then error) holds.
    for (const auto& [command, code, text] :
         {std::tuple{"", 2, "Commands:"}, {"encode onlyone", 2, "usage: lum2doc encode"}, {"frobnicate", 2, "unknown"},
          {"encode --tabs 65 a b.pdb", 2, "usage"}, {"encode --category 16 a b.pdb", 2, "usage"},
          {"encode --bogus a b.pdb", 2, "usage"}, {"--help", 0, "  encode "}, {"--help", 0, "  decode "},
          {"--help", 0, "  info "}, {"decode --help", 0, "usage: lum2doc decode"},
          {"info --help", 0, "usage: lum2doc info"}, {"encode --help", 0, "usage: lum2doc encode"}}) {
        const RunResult result = Run(command);
        EXPECT_EQ(result.exitCode, code) << command;
        EXPECT_NE((result.out + result.err).find(text), std::string::npos) << command << result;
    }
    EXPECT_EQ(Run("--version"), (RunResult{0, "lum2doc 1.10\n", ""}));  // the project's version
    const std::string encodeHelp = Run("encode --help").out;
    for (const char* option : {"--compress", "--tabs", "--cr-to-lf", "--strip-html", "--utf8", "--raw", "--category"}) {
        EXPECT_NE(encodeHelp.find(option), std::string::npos) << option;
    }
}

TEST_F(Lum2DocTest, AReadOnlyOutputIsKeptForAUserAndADocumentIsNeverNameless) {
    WriteFileText(F("story.txt"), "text\n");
    WriteFileText(F("old.pdb"), "old");
    chmod(F("old.pdb").c_str(), 0444);
    const RunResult readOnly = Run("encode " + F("story.txt") + " " + F("old.pdb"));
    if (geteuid() == 0) {
        EXPECT_EQ(readOnly, (RunResult{0, "", ""}));  // root writes any file, as cp does
    } else {
        EXPECT_EQ(readOnly, (RunResult{1, "", "lum2doc: " + F("old.pdb") + ": Error: Could not open Palm or PC File (" + F("old.pdb") +
                                                  " is read-only: it was left as it is)\n"}));
        EXPECT_EQ(ReadFileText(F("old.pdb")), "old");
    }
    // A title first; then a Palm file called ".pdb" is named after the text
    // file; with neither name, after the text's first line that is not
    // blank, else "Untitled".
    ASSERT_EQ(Run("encode " + F("story.txt") + " " + F(".pdb")).exitCode, 0);
    EXPECT_NE(Run("info " + F(".pdb")).out.find("name: story\n"), std::string::npos);
    WriteFileText(F("titled.txt"), " \n\t\n  The Title \t \nbody\n");
    EXPECT_EQ(Run("encode - -", F("titled.txt")).out.substr(0, 10), std::string("The Title\0", 10));
    EXPECT_EQ(Run("encode --title Given - -", F("titled.txt")).out.substr(0, 6), std::string("Given\0", 6));
    EXPECT_EQ(Run("encode --title '' - -", F("titled.txt")).exitCode, 2);
    WriteFileText(F("blank.txt"), " \n\n");
    EXPECT_EQ(Run("encode - -", F("blank.txt")).out.substr(0, 9), std::string("Untitled\0", 9));
}

TEST_F(Lum2DocTest, ClaimedRecordSizesAreCheckedBeforeAnythingIsAllocated) {
    // A sound header whose only text record runs to the end of a sparse 4 GB file.
    std::vector<uint8_t> head(78 + 16 + 2 + 16, 0);
    std::memcpy(head.data(), "huge", 4);
    std::memcpy(head.data() + 60, "TEXtREAd", 8);
    head[77] = 2;  // two records
    const auto entry = [&](std::size_t at, uint32_t offset) {
        for (int k = 0; k < 4; ++k) head[at + k] = static_cast<uint8_t>(offset >> (24 - 8 * k));
    };
    entry(78, 96), entry(86, 112);
    head[96 + 1] = 1, head[96 + 9] = 1, head[96 + 11] = 0x10;  // DocInfo: plain, one record of 4,096
    WriteFileBytes(F("huge.pdb"), head);
    ASSERT_EQ(truncate(F("huge.pdb").c_str(), int64_t{4} << 30), 0);

    std::vector<std::string> commands = {"decode " + F("huge.pdb") + " " + F("out"), "info " + F("huge.pdb")};
    const std::string docs = std::string(LUM2_TEST_DATA) + "/docs/";
    for (const auto& file : fs::directory_iterator(docs)) {
        if (file.path().extension() == ".pdb") commands.push_back("decode " + file.path().string() + " -");
    }
    long peak = 0;
    for (const std::string& command : commands) Run(command), peak = std::max(peak, peakKilobytes_);
    EXPECT_EQ(Run(commands[0]), (RunResult{1, "", "lum2doc: " + F("huge.pdb") + ": Error: Palm File corrupt\n"}));
    EXPECT_EQ(Run(commands[1]).out.find("text: unknown (the text records could not be read)\n") != std::string::npos,
              true);
#if !defined(__SANITIZE_ADDRESS__)
    // Sanitizers keep shadow memory of their own; the bound is for the program.
    EXPECT_LT(peak, 16 * 1024);
#endif
    EXPECT_GT(peak, 0);
    RecordProperty("peak_kilobytes", static_cast<int>(peak));
}

}  // namespace
}  // namespace lum2::test
