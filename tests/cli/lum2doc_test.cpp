// lum2doc end to end: the built program run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "lum2doc_runner.h"

namespace lum2::test {
namespace {

TEST_F(Lum2DocTest, RawRoundTripForEverySizeAcrossRecordBoundaries) {
    std::mt19937 random(11);
    std::vector<uint8_t> noise(3 * 4096);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    // A real text, repeated up to three records.
    const std::string prose = ReadFileText(std::string(LUM2_TEST_DATA) + "/../../docs/sample.txt");
    std::vector<uint8_t> text;
    while (text.size() < noise.size()) text.insert(text.end(), prose.begin(), prose.end());

    const std::vector<int> sizes = {1, 2, 4095, 4096, 4097, 6000, 8191, 8192, 8193, 3 * 4096};
    for (const auto* source : {&noise, &text}) {
        for (const int size : sizes) {
            WriteFileBytes(F("in"), std::vector<uint8_t>(source->begin(), source->begin() + size));
            for (const char* compress : {"", "--compress "}) {
                ASSERT_EQ(Run(std::string("encode --raw ") + compress + F("in") + " " + F("a.pdb")).exitCode, 0);
                const RunResult decoded = Run("decode " + F("a.pdb") + " " + F("back"));
                ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
                EXPECT_TRUE(decoded.out.empty() && decoded.err.empty());
                EXPECT_EQ(ReadFileBytes(F("back")), ReadFileBytes(F("in"))) << size << " " << compress;
            }
        }
    }
}

TEST_F(Lum2DocTest, FiltersFollowTheOptions) {
    WriteFileText(F("in"), "a\r\nb\tc\r");
    ASSERT_EQ(Run("encode " + F("in") + " " + F("a.pdb")).exitCode, 0);
    ASSERT_EQ(Run("decode " + F("a.pdb") + " " + F("out")).exitCode, 0);
    EXPECT_EQ(ReadFileText(F("out")), "a\nb\tc");

    ASSERT_EQ(Run("encode --tabs 3 --cr-to-lf " + F("in") + " " + F("a.pdb")).exitCode, 0);
    ASSERT_EQ(Run("decode " + F("a.pdb") + " " + F("out")).exitCode, 0);
    EXPECT_EQ(ReadFileText(F("out")), "a\n\nb   c\n");

    WriteFileText(F("page.html"), "<p>Fish &amp; chips</p><script>x()</script>");
    ASSERT_EQ(Run("encode --strip-html " + F("page.html") + " " + F("a.pdb")).exitCode, 0);
    ASSERT_EQ(Run("decode " + F("a.pdb") + " " + F("out")).exitCode, 0);
    EXPECT_NE(ReadFileText(F("out")).find("Fish & chips"), std::string::npos);
    EXPECT_EQ(ReadFileText(F("out")).find("x()"), std::string::npos);
}

TEST_F(Lum2DocTest, StandardStreamsAndInfo) {
    WriteFileText(F("in"), "Hello from standard input\n");
    const RunResult encoded = Run("encode --compress --category 5 - " + F("Notes.txt.pdb"), F("in"));
    ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
    const RunResult info = Run("info " + F("Notes.txt.pdb"));
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_NE(info.out.find("name: Notes.txt\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("type: TEXt\n"), std::string::npos);
    EXPECT_NE(info.out.find("creator: REAd\n"), std::string::npos);
    EXPECT_NE(info.out.find("compressed: yes\n"), std::string::npos);
    EXPECT_NE(info.out.find("text records: 1\n"), std::string::npos);
    EXPECT_NE(info.out.find("text length: 26\n"), std::string::npos);
    EXPECT_NE(info.out.find("category: 5\n"), std::string::npos);
    EXPECT_NE(info.out.find("created: 20"), std::string::npos);

    const RunResult decoded = Run("decode - -", F("Notes.txt.pdb"));
    ASSERT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.out, "Hello from standard input\n");

    // Written to standard output, the document is named after its input.
    const RunResult piped = Run("encode " + F("in") + " -");
    ASSERT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.out.substr(0, 3), std::string("in\0", 3));
}

TEST_F(Lum2DocTest, Utf8OptionConvertsWarnsAndInfoTellsTheSet) {
    const std::string warning =
        "lum2doc: the text is UTF-8 with characters beyond ASCII, which Palm readers will show wrongly; "
        "--utf8 converts them to the Palm character set\n";
    const struct {
        const char* text;
        const char* options;
        std::string err;
        const char* kind;
        const char* decoded;  // by decode --utf8
    } cases[] = {
        {"plain", "", "", "plain ASCII", "plain"},
        {"caf\xC3\xA9", "", warning, "looks like UTF-8", "caf\xC3\x83\xC2\xA9"},
        {"caf\xC3\xA9 \xE2\x86\x92", "--utf8 ", "lum2doc: 1 character is not in the Palm character set and was replaced\n",
         "Palm character set", "caf\xC3\xA9 ->"},
        {"caf\xE9", "--utf8 ", "lum2doc: the text is not valid UTF-8: its bytes were kept as they are\n",
         "Palm character set", "caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        WriteFileText(F("in"), c.text);
        const RunResult encoded = Run(std::string("encode ") + c.options + F("in") + " " + F("a.pdb"));
        ASSERT_EQ(encoded.exitCode, 0) << c.text;
        EXPECT_EQ(encoded.err, c.err) << c.text;
        EXPECT_NE(Run("info " + F("a.pdb")).out.find(std::string("text: ") + c.kind), std::string::npos) << c.text;
        EXPECT_EQ(Run("decode --utf8 " + F("a.pdb") + " -").out, c.decoded) << c.text;
    }
    // The database name is converted too.
    WriteFileText(F("in"), "x");
    ASSERT_EQ(Run("encode --utf8 " + F("in") + " " + F("Caf\xC3\xA9.pdb")).exitCode, 0);
    EXPECT_NE(Run("info " + F("Caf\xC3\xA9.pdb")).out.find("name: Caf\xE9\n"), std::string::npos);
}

TEST_F(Lum2DocTest, FailuresPrintTheStatusAndKeepTheOutput) {
    const std::string folder = std::string(LUM2_TEST_DATA) + "/docs/";
    WriteFileText(F("out"), "precious");
    RunResult result = Run("decode " + folder + "type_text.pdb " + F("out"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Error: Palm File type or creator not supported\n");
    result = Run("decode " + folder + "compressed_distance_0.pdb " + F("out"));
    EXPECT_EQ(result.err, "Error: Palm File corrupt\n");
    EXPECT_EQ(ReadFileText(F("out")), "precious");

    result = Run("decode " + F("missing.pdb") + " " + F("out"));
    EXPECT_EQ(result.err, "Error: Palm File does not exist\n");
    result = Run("encode " + F("missing.txt") + " " + F("out"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Error: PC File does not exist\n");
    WriteFileText(F("empty"), "");
    result = Run("encode --raw " + F("empty") + " " + F("out"));
    EXPECT_EQ(result.err, "Error: PC File is empty\n");
    EXPECT_EQ(ReadFileText(F("out")), "precious");
    result = Run("info " + folder + "short_81_bytes.pdb");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Error: unknown or corrupted Palm File header\n");

    // No temporary file is left beside the output.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Path())) ++files;
    EXPECT_EQ(files, 4);  // out, empty, stdout, stderr
}

TEST_F(Lum2DocTest, UsageErrorsAndHelp) {
    RunResult result = Run("");
    EXPECT_EQ(result.exitCode, 2);
    result = Run("encode onlyone");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("usage: lum2doc encode"), std::string::npos);
    result = Run("encode --tabs 65 a b.pdb");
    EXPECT_EQ(result.exitCode, 2);
    result = Run("encode --category 16 a b.pdb");
    EXPECT_EQ(result.exitCode, 2);
    result = Run("encode --bogus a b.pdb");
    EXPECT_EQ(result.exitCode, 2);
    result = Run("frobnicate");
    EXPECT_EQ(result.exitCode, 2);

    result = Run("--version");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "lum2doc 1.10\n");  // the project's version

    result = Run("--help");
    EXPECT_EQ(result.exitCode, 0);
    for (const char* command : {"encode", "decode", "info"}) {
        EXPECT_NE(result.out.find(command), std::string::npos);
        const RunResult help = Run(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find(std::string("usage: lum2doc ") + command), std::string::npos);
    }
    for (const char* option : {"--compress", "--tabs", "--cr-to-lf", "--strip-html", "--utf8", "--raw", "--category"}) {
        EXPECT_NE(Run("encode --help").out.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace lum2::test
