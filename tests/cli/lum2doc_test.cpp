// lum2doc end to end: the built program run as a user runs it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "lum2doc_runner.h"
#include "convert/batch_run.h"
#include "tasks/record_store.h"

namespace lum2::test {
namespace {

namespace fs = std::filesystem;

// The filters themselves are the engine's; these runs show each option
// reaches them, and that --raw hands every byte value on whole across a
// record boundary, whatever else is asked.
TEST_F(Lum2DocTest, FiltersFollowTheOptionsAndRawKeepsEveryByte) {
    WriteFileText(F("in"), "a\r\nb\tc\r");
    WriteFileText(F("page.html"), "<p>Fish &amp; chips</p><script>x()</script>");
    std::string bytes(4097, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    WriteFileText(F("bytes"), bytes);
    for (const auto& [options, input, decoded] :
         {std::tuple<const char*, const char*, std::string>{"", "in", "a\nb\tc"}, {"--tabs=3 --cr-to-lf ", "in", "a\n\nb   c\n"},
          {"--strip-html ", "page.html", "\nFish & chips\n"},
          {"--raw --cr-to-lf --tabs 3 --strip-html --utf8 ", "bytes", bytes}, {"--raw --compress ", "bytes", bytes}}) {
        ASSERT_EQ(Run(std::string("encode ") + options + F(input) + " " + F("a.pdb")).exitCode, 0);
        EXPECT_EQ(Run("decode " + F("a.pdb") + " -").out, decoded) << options;
    }
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

TEST_F(Lum2DocTest, Utf8OptionConvertsWarnsAndInfoTellsTheSet) {
    const std::string warning =
        "lum2doc: the text is UTF-8 with characters beyond ASCII, which Palm readers will show wrongly; "
        "--utf8 converts them to the Palm character set\n";
    // Text, options, what encode says, the kind info tells, the text decode --utf8 gives.
    const std::tuple<const char*, const char*, std::string, const char*, const char*> cases[] = {
        {"plain", "", "", "plain ASCII", "plain"},
        {"caf\xC3\xA9", "", warning, "looks like UTF-8", "caf\xC3\x83\xC2\xA9"},
        {"caf\xC3\xA9 \xE2\x86\x92", "--utf8 ", "lum2doc: 1 character is not in the Palm character set and was replaced\n",
         "Palm character set", "caf\xC3\xA9 ->"},
        {"caf\xE9", "--utf8 ", "lum2doc: the text is not valid UTF-8: its bytes were kept as they are\n",
         "Palm character set", "caf\xC3\xA9"}};
    for (const auto& [text, options, err, kind, decoded] : cases) {
        WriteFileText(F("in"), text);
        ASSERT_EQ(Run(std::string("encode ") + options + F("in") + " " + F("a.pdb")), (RunResult{0, "", err})) << text;
        EXPECT_NE(Run("info " + F("a.pdb")).out.find(std::string("text: ") + kind), std::string::npos) << text;
        EXPECT_EQ(Run("decode --utf8 " + F("a.pdb") + " -").out, decoded) << text;
    }
    // The database name is converted too (and shown escaped: it is no UTF-8 now).
    ASSERT_EQ(Run("encode --utf8 " + F("in") + " " + F("Caf\xC3\xA9.pdb")).exitCode, 0);
    EXPECT_NE(Run("info " + F("Caf\xC3\xA9.pdb")).out.find("name: Caf\\xe9\n"), std::string::npos);
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
        const int record = AppendNewTask(store) + 2;
        TaskRecord task = store.GetRecord(record);
        task.pcfile = "/t/" + forged, task.palmfile = forged + ".pdb", task.status = "Error: " + forged;
        task.direction = kDirectionNone;  // keeps its status through a run
        store.PutRecord(record, task);
    }
    hotsyncRoot_ = F("hotsync");
    fs::create_directories(hotsyncRoot_ + "/u/backup");
    WriteFileText(hotsyncRoot_ + "/u/name", "Eve\t\x1b]0;x\x07\n");

    // Each command, and a whole line of its output.
    const std::pair<std::string, std::string> runs[] = {
        {"info " + F("a.pdb"), "name: " + shown + "\\ntype: FAKE\n"},
        {"tasks --dir " + F("store"), "1\tnone\t/t/" + shown + "\t" + shown + ".pdb\t1100001\t1\tError: " + shown + "\n"},
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

TEST_F(Lum2DocTest, FailuresPrintTheStatusAndKeepTheOutput) {
    const std::string docs = std::string(LUM2_TEST_DATA) + "/docs/";
    WriteFileText(F("out"), "precious");
    WriteFileText(F("empty"), "");
    for (const auto& [command, err] :
         {std::pair{"decode " + docs + "type_text.pdb " + F("out"), "Palm File type or creator not supported"},
          {"decode " + F("missing.pdb") + " " + F("out"), "Palm File does not exist"},
          {"encode " + F("missing.txt") + " " + F("out"), "PC File does not exist"},
          {"encode --raw " + F("empty") + " " + F("out"), "PC File is empty"},
          {"info " + docs + "short_81_bytes.pdb", "unknown or corrupted Palm File header"}}) {
        EXPECT_EQ(Run(command), (RunResult{1, "", std::string("Error: ") + err + "\n"})) << command;
    }
    EXPECT_EQ(ReadFileText(F("out")), "precious");
    // No temporary file is left beside the output, nor in the temp folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), {}), 5);  // out, empty, stdout, stderr, tmp
    EXPECT_TRUE(fs::is_empty(tmp_));
}

// Links, modes, other special files and long names are the replacement
// file's own cases; here both commands show its refusal as their failure.
TEST_F(Lum2DocTest, AFifoAsOutputIsRefusedAndLeftAsItIs) {
    WriteFileText(F("in"), "new text\n");
    ASSERT_EQ(Run("encode " + F("in") + " " + F("t.pdb")).exitCode, 0);
    ASSERT_EQ(mkfifo(F("pipe").c_str(), 0644), 0);
    for (const std::string& command : {"decode " + F("t.pdb"), "encode " + F("in")}) {
        EXPECT_EQ(Run(command + " " + F("pipe")), (RunResult{1, "", "Error: Could not open Palm or PC File: " + F("pipe") +
                                                               " is a named pipe (FIFO), not a regular file: it was left as it is\n"}));
    }
    EXPECT_TRUE(fs::is_fifo(F("pipe")));
}

TEST_F(Lum2DocTest, WriteFailuresSayTheirCause) {
    WriteFileText(F("in"), std::string(200000, 'A'));
    ASSERT_EQ(Run("encode --raw " + F("in") + " " + F("t.pdb")).exitCode, 0);
    WriteFileText(F("old"), "old");

    // A file size limit makes every write past 64 KiB fail with EFBIG, as a
    // full disk makes them fail with ENOSPC.
    const std::string limited = "trap '' XFSZ; ulimit -f 128;";
    const std::string cause = ": " + std::string(std::strerror(EFBIG)) + "\n";
    EXPECT_EQ(Run("encode --raw " + F("in") + " " + F("old"), "/dev/null", "", limited),
              (RunResult{1, "", "Error: could not write Palm File record" + cause}));
    EXPECT_EQ(Run("decode " + F("t.pdb") + " " + F("old"), "/dev/null", "", limited),
              (RunResult{1, "", "Error: Could not open Palm or PC File" + cause}));
    EXPECT_EQ(ReadFileText(F("old")), "old");

    // Standard output counts as well.
    EXPECT_EQ(Run("decode " + F("t.pdb") + " -", "/dev/null", " >/dev/full"),
              (RunResult{1, "", "Error: Could not open Palm or PC File: standard output: " + std::string(std::strerror(ENOSPC)) + "\n"}));

    // An endless input is refused once it passes 65,534 records of 4,096
    // bytes; files (the spool among them) may not grow past that here, as if
    // the temp folder were full beyond it.
    EXPECT_EQ(Run("encode --raw - " + F("old"), "/dev/zero", "", "trap '' XFSZ; ulimit -f 524272;"),
              (RunResult{1, "", "Error: PC File too long for a Palm File (more than 65,534 records of 4,096 bytes)\n"}));
    EXPECT_EQ(ReadFileText(F("old")), "old");
    EXPECT_TRUE(fs::is_empty(tmp_));
}

// Every outcome of a killed run is the old file or the complete new one; a
// signal that can be caught removes the temporary files before the end, and
// after SIGKILL the next run removes them.
TEST_F(Lum2DocTest, KilledRunsLeaveTheOldOrTheNewFile) {
    std::string text;
    const std::string prose = ReadFileText(std::string(LUM2_TEST_DATA) + "/../../docs/sample.txt");
    while (text.size() < (12u << 20)) text += prose;
    WriteFileText(F("in.txt"), text);
    WriteFileText(F("old.txt"), "old text\n");
    ASSERT_EQ(Run("encode " + F("old.txt") + " " + F("old.pdb")).exitCode, 0);
    const auto oldPdb = ReadFileBytes(F("old.pdb"));
    ASSERT_EQ(Run("encode --raw --compress " + F("in.txt") + " " + F("new.pdb")).exitCode, 0);
    fs::create_directory(F("out"));

    // Temporary files beside the outputs and work folders in the temp folder.
    auto leftovers = [&] {
        auto count = std::distance(fs::directory_iterator(tmp_), {});
        for (const auto& entry : fs::directory_iterator(F("out"))) count += entry.path().filename().string().rfind(".lum2-", 0) == 0;
        return count;
    };
    std::mt19937 random(7);
    const std::pair<int, bool> runs[] = {{SIGKILL, true}, {SIGKILL, false}, {SIGTERM, true}, {SIGINT, false},
                                         {SIGKILL, true}, {SIGTERM, false}, {SIGINT, true},  {SIGKILL, false}};
    for (const auto& [signal, encode] : runs) {
        const std::string output = F(encode ? "out/book.pdb" : "out/book.txt");
        WriteFileBytes(output, encode ? oldPdb : std::vector<uint8_t>{'o', 'l', 'd'});
        const int before = leftovers();
        // Encode reads its text from standard input, so a spooled copy is at stake too.
        const pid_t pid = encode ? Spawn({"encode", "--raw", "--compress", "-", output}, F("in.txt"))
                                 : Spawn({"decode", F("new.pdb"), output});
        ASSERT_GT(pid, 0);
        usleep(std::uniform_int_distribution<int>(0, 400000)(random));
        kill(pid, signal);
        const int status = WaitForChild(pid);
        EXPECT_TRUE(!WIFSIGNALED(status) || WTERMSIG(status) == signal);
        // Decoding the output is also the next run over these folders.
        const RunResult decoded = Run("decode " + output + " -");
        EXPECT_TRUE(encode ? ReadFileBytes(output) == oldPdb || decoded.out == text
                           : ReadFileText(output) == "old" || ReadFileText(output) == text) << signal;
        // Only SIGKILL adds leftovers (a run may remove earlier ones).
        EXPECT_TRUE(signal == SIGKILL || leftovers() <= before) << signal;
    }
    // The next runs over the same files remove what the killed ones left.
    ASSERT_EQ(Run("encode --raw " + F("old.txt") + " " + F("out/book.pdb")).exitCode, 0);
    ASSERT_EQ(Run("decode " + F("old.pdb") + " " + F("out/book.txt")).exitCode, 0);
    EXPECT_EQ(leftovers(), 0);
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

}  // namespace
}  // namespace lum2::test
