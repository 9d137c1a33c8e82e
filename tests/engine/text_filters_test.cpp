#include "engine/text_filters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "temp_dir.h"

namespace lum2 {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// Options text positions: 1 compress, 2 TABs, 3 HTML, 4 CR to LF, 5 binary, 6 raw.
constexpr const char* kNoOptions = "000000";
constexpr const char* kTabs = "010000";
constexpr const char* kCrToLf = "000100";
constexpr const char* kHtml = "001000";

class RecordingSink : public ProgressSink {
public:
    void ShowProgressDisplay(bool visible) override { calls.push_back("show " + std::to_string(visible)); }
    void SetProgressCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
    void SetProgressRange(int maximum) override { calls.push_back("range " + std::to_string(maximum)); }
    void SetProgressValue(int value) override { calls.push_back("value " + std::to_string(value)); }
    void SetTrayIcon(int image, const std::string& tip) override {
        calls.push_back("tray " + std::to_string(image) + " '" + tip + "'");
    }
    void LetEventsRun() override { calls.push_back("events"); }

    std::vector<std::string> calls;
};

TaskRecord Task(const std::string& options, int16_t tabspace = 4) {
    TaskRecord task;
    task.options = options;
    task.tabspace = tabspace;
    return task;
}

// Runs the filters over text: the output text, or "<failed>".
std::string Filter(const std::string& text, const std::string& options, int16_t tabspace = 4) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), text);
    ProgressSink silent;
    const std::string result = ApplyFilters(dir.File("in.txt"), Task(options, tabspace), dir.Path(), silent);
    if (result.empty()) return "<failed>";
    EXPECT_EQ(result, dir.File(kFilterFileName));
    return ReadFileText(result);
}

// The rules applied to a whole text at once, to compare the chunked result with.
std::string FilterInMemory(const std::string& text, bool tabs, bool crToLf, int tabspace) {
    std::string out;
    for (const char c : text) {
        if (c == '\r') {
            if (crToLf) out += '\n';
        } else if (c == '\t' && tabs) {
            out.append(static_cast<std::size_t>(tabspace), ' ');
        } else {
            out += c;
        }
    }
    return out;
}

TEST(TextFiltersRules, LineEnds) {
    // Without CR to LF every CR is dropped.
    EXPECT_EQ(Filter("a\r\nb", kNoOptions), "a\nb");
    EXPECT_EQ(Filter("a\rb\n\rc", kNoOptions), "ab\nc");
    EXPECT_EQ(Filter(std::string(5000, '\r'), kNoOptions), "");
    // Compression and binary have nothing to do with the text.
    EXPECT_EQ(Filter("a\r\n\tb", "100010"), "a\n\tb");
    EXPECT_EQ(Filter("a\r\nb", kCrToLf), "a\n\nb");
    EXPECT_EQ(Filter("a\rb\r", kCrToLf), "a\nb\n");
    EXPECT_EQ(Filter("\t\r", "010100", 2), "  \n");
}

TEST(TextFiltersRules, TabsToSpacesUseAFixedWidth) {
    // Every TAB is the same width, wherever it stands in the line.
    EXPECT_EQ(Filter("\tx\tyz\t\t", kTabs, 4), "    x    yz        ");
    EXPECT_EQ(Filter("a\tb", kTabs, 1), "a b");
    EXPECT_EQ(Filter("a\tb\t", kTabs, 0), "ab");
    // Only a character of exactly "1" turns the option on.
    EXPECT_EQ(Filter("a\tb", "0x0000", 4), "a\tb");
    const std::string wide = Filter(std::string(300, '\t'), kTabs, 32767);
    EXPECT_EQ(wide.size(), 300u * 32767u);
    EXPECT_EQ(wide.find_first_not_of(' '), std::string::npos);
}

TEST(TextFiltersRules, ControlAndHighBytesPassUnchanged) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string expected = all;
    expected.erase(13, 1);
    EXPECT_EQ(Filter(all, kNoOptions), expected);
}

TEST(TextFiltersRules, ExistingTemporaryFileIsReplaced) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), "new");
    WriteFileText(dir.File(kFilterFileName), std::string(10000, 'o'));
    ProgressSink silent;
    const std::string result = ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.Path(), silent);
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(ReadFileText(result), "new");
}

TEST(TextFiltersRules, CrLfSplitAcrossChunksIsTheSameAsWhole) {
    for (const std::size_t crAt : {4094u, 4095u, 4096u}) {
        std::string text(crAt, 'a');
        text += "\r\n\tb";
        text += std::string(5000, 'c') + "\r";
        for (const char* options : {kNoOptions, "010100"}) {
            const bool crToLf = options[3] == '1';
            const bool tabs = options[1] == '1';
            EXPECT_EQ(Filter(text, options, 3), FilterInMemory(text, tabs, crToLf, 3))
                << "CR at " << crAt << ", options " << options;
        }
    }
}

TEST(TextFiltersRules, HtmlIsStrippedBeforeTheCharacterRules) {
    EXPECT_EQ(Filter("<p>a\r\nb &amp; c</p>", kHtml), "\na\nb & c\n");
    // A reference that decodes to CR or TAB is then treated like one.
    EXPECT_EQ(Filter("a&#13;b&#9;c", "011100", 2), "a\nb  c");
    EXPECT_EQ(Filter("a&#13;b", kHtml), "ab");
    // What the stripper holds back at the end still reaches the file.
    EXPECT_EQ(Filter("x &amp", kHtml), "x &amp");
    EXPECT_EQ(Filter("x <", kHtml), "x <");
    // Without the option markup is just text.
    EXPECT_EQ(Filter("<p>&amp;", kNoOptions), "<p>&amp;");
}

TEST(TextFiltersRules, HtmlElementsAcrossChunkBoundaries) {
    // Tags, references, scripts and CR LF pairs at random places land on
    // every kind of chunk boundary; the stripper must carry them over.
    const std::string pieces[][2] = {
        {"<BR class=\"a>b\"/>", "\n"},
        {"&#x41;", "A"},
        {"<script>a<b</script>", ""},
        {"\r\n", "\n\n"},
        {"&", "&"},
    };
    std::mt19937 random(11);
    std::string text;
    std::string expected;
    while (text.size() < 5 * 4096) {
        const std::string filler(std::uniform_int_distribution<std::size_t>(0, 40)(random), 'x');
        const auto& piece = pieces[std::uniform_int_distribution<int>(0, 4)(random)];
        text += filler + piece[0];
        expected += filler + piece[1];
    }
    EXPECT_EQ(Filter(text, "001100"), expected);
}

TEST(TextFiltersRules, LargeInputStreams) {
    std::mt19937 random(5);
    const char alphabet[] = "abc \r\n\t\x00\xE9";
    std::string text(3 * 1024 * 1024 + 17, ' ');
    for (auto& c : text) c = alphabet[std::uniform_int_distribution<int>(0, 8)(random)];
    EXPECT_EQ(Filter(text, "010100", 3), FilterInMemory(text, true, true, 3));
    EXPECT_EQ(Filter(text, kNoOptions), FilterInMemory(text, false, false, 0));
}

TEST(TextFiltersRaw, RawReturnsTheFileItselfAndDoesNothing) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), "a\r\n\tb");
    RecordingSink sink;
    EXPECT_EQ(ApplyFilters(dir.File("in.txt"), Task("111111"), dir.Path(), sink), dir.File("in.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.File(kFilterFileName)));
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(ReadFileText(dir.File("in.txt")), "a\r\n\tb");
    // The file is not even opened.
    EXPECT_EQ(ApplyFilters(dir.File("missing.txt"), Task("000001", -1), dir.Path(), sink),
              dir.File("missing.txt"));
}

TEST(TextFiltersFailures, UnusableInputFails) {
    TempDir dir;
    RecordingSink sink;
    WriteFileText(dir.File("empty.txt"), "");
    EXPECT_EQ(ApplyFilters(dir.File("empty.txt"), Task(kNoOptions), dir.Path(), sink), "");
    EXPECT_EQ(ApplyFilters(dir.File("missing.txt"), Task(kNoOptions), dir.Path(), sink), "");
    std::filesystem::create_directory(dir.File("folder"));
    EXPECT_EQ(ApplyFilters(dir.File("folder"), Task(kNoOptions), dir.Path(), sink), "");
    WriteFileText(dir.File("in.txt"), "text");
    EXPECT_EQ(ApplyFilters(dir.File("in.txt"), Task(kNoOptions, -1), dir.Path(), sink), "");
    // Nothing was started, so the progress display is untouched.
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File(kFilterFileName)));
}

TEST(TextFiltersFailures, WriteFaultsFail) {
    if (geteuid() != 0) {
        TempDir dir;
        WriteFileText(dir.File("in.txt"), "text");
        std::filesystem::create_directory(dir.File("locked"));
        chmod(dir.File("locked").c_str(), 0500);
        ProgressSink silent;
        EXPECT_EQ(ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.File("locked/"), silent), "");
    }
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    // A small text sits in the stdio buffer until the file is flushed, so
    // this fails only if the flush and close are checked.
    WriteFileText(dir.File("in.txt"), "short");
    std::filesystem::create_symlink("/dev/full", dir.File(kFilterFileName));
    ProgressSink silent;
    EXPECT_EQ(ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.Path(), silent), "");
    WriteFileText(dir.File("big.txt"), std::string(100000, 'b'));
    EXPECT_EQ(ApplyFilters(dir.File("big.txt"), Task(kNoOptions), dir.Path(), silent), "");
}

// Cuts the input to 5000 bytes after its first chunk has been read, as if
// another program truncated the file meanwhile.
class TruncatingSink : public ProgressSink {
public:
    explicit TruncatingSink(std::string path) : path_(std::move(path)) {}
    void SetProgressValue(int value) override {
        if (value == 2) std::filesystem::resize_file(path_, 5000);
    }

private:
    std::string path_;
};

TEST(TextFiltersFailures, InputShrinkingWhileReadFails) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), std::string(3 * 4096, 'a'));
    TruncatingSink sink(dir.File("in.txt"));
    EXPECT_EQ(ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink), "");
}

TEST(TextFiltersProgress, ReportsEachChunk) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), std::string(16 * 4096, 'a'));
    RecordingSink sink;
    const std::string result = ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink);
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(ReadFileText(result), std::string(16 * 4096, 'a'));

    std::vector<std::string> expected = {"caption Applying Filters", "range 16", "value 0", "events"};
    const int frames[16] = {1, 2, 1, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1, 2, 1, 1};
    for (int i = 1; i <= 16; ++i) {
        expected.push_back("value " + std::to_string(i));
        expected.push_back("tray " + std::to_string(frames[i - 1]) + " ''");
    }
    EXPECT_EQ(sink.calls, expected);
}

TEST(TextFiltersProgress, WindowEventsRunThroughALongText) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), std::string(130 * 4096, 'a'));
    RecordingSink sink;
    ASSERT_FALSE(ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink).empty());
    // Once before the pass, then every 64 chunks, each after its chunk's progress.
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k < sink.calls.size(); ++k) {
        if (sink.calls[k] == "events") at.push_back(k);
    }
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(sink.calls[at[1] - 2], "value 64");
    EXPECT_EQ(sink.calls[at[2] - 2], "value 128");
}

TEST(TextFiltersProgress, ChunkCountFollowsTheLength) {
    for (const std::size_t size : {1u, 4095u, 4096u, 4097u, 8192u, 3u * 4096u + 1u}) {
        TempDir dir;
        WriteFileText(dir.File("in.txt"), std::string(size, 'z'));
        RecordingSink sink;
        const std::string result = ApplyFilters(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink);
        ASSERT_FALSE(result.empty());
        EXPECT_EQ(ReadFileText(result).size(), size);
        const std::size_t chunks = (size + 4095) / 4096;
        EXPECT_EQ(sink.calls[1], "range " + std::to_string(chunks));
        EXPECT_EQ(sink.calls.size(), 4 + 2 * chunks);
        EXPECT_EQ(sink.calls[sink.calls.size() - 2], "value " + std::to_string(chunks));
    }
}

}  // namespace
}  // namespace lum2
