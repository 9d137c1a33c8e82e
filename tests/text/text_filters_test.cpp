// The text filters: line ends, TABs and HTML, the chunked pass, failures and progress.
#include "text/text_filters.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "text/html_stripper.h"

namespace lum2 {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// Options text positions: 1 compress, 2 TABs, 3 HTML, 4 CR to LF, 5 binary, 6 raw.
constexpr const char* kNoOptions = "000000";

class RecordingSink : public ProgressSink {
public:
    void SetProgressCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
    void SetProgressRange(int maximum) override { calls.push_back("range " + std::to_string(maximum)); }
    void SetProgressValue(int value) override {
        calls.push_back("value " + std::to_string(value));
        // As if another program cut the input short once its first chunk is read.
        if (value == 2 && !truncate.empty()) std::filesystem::resize_file(truncate, 5000);
    }
    void SetTrayIcon(TrayPicture picture, const std::string& tip) override {
        calls.push_back("tray " + std::to_string(static_cast<int>(picture)) + " '" + tip + "'");
    }
    void LetEventsRun() override { calls.push_back("events"); }

    std::vector<std::string> calls;
    std::string truncate;
};

// Options written as a task's options text is: 2 TABs, 3 HTML, 4 CR to LF, 6 raw, 7 UTF-8.
FilterOptions Task(const std::string& options, int16_t tabspace = 4) {
    const auto on = [&](std::size_t position) { return options.size() >= position && options[position - 1] == '1'; };
    FilterOptions filters;
    filters.tabsToSpaces = on(2), filters.stripHtml = on(3), filters.crToLf = on(4), filters.raw = on(6);
    filters.toPalmSet = on(7) && !filters.raw, filters.tabWidth = tabspace;
    return filters;
}

struct Filtered {
    std::string path;
    Outcome outcome;
};
Filtered FilterFile(const std::string& pc, const FilterOptions& options, const std::string& folder,
                    ProgressSink& sink) {
    Filtered filtered;
    filtered.outcome = ApplyFilters(pc, options, folder, sink, filtered.path);
    // The filters leave the status to the converter; a path comes only with success.
    EXPECT_EQ(filtered.outcome.status, "");
    EXPECT_EQ(filtered.path.empty(), !filtered.outcome.Ok());
    return filtered;
}

// Runs the filters over text: the output text, or "<failed>".
std::string Filter(const std::string& text, const std::string& options, int16_t tabspace = 4) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), text);
    ProgressSink silent;
    const std::string result = FilterFile(dir.File("in.txt"), Task(options, tabspace), dir.Path(), silent).path;
    if (result.empty()) return "<failed>";
    // Only text the filters leave as it is is taken from the file itself.
    if (result == dir.File("in.txt")) EXPECT_EQ(ReadFileText(result), text);
    else EXPECT_EQ(result, dir.File(kFilterFileName));
    EXPECT_EQ(result == dir.File("in.txt"), !std::filesystem::exists(dir.File(kFilterFileName)));
    return ReadFileText(result);
}

TEST(TextFiltersRules, EachOptionAloneAndTogether) {
    const struct { std::string text; const char* options; int16_t tabspace; std::string expected; } cases[] = {
        // Without CR to LF every CR is dropped; compression and binary have nothing to do with the text.
        {"a\r\nb", kNoOptions, 4, "a\nb"}, {"a\rb\n\rc", kNoOptions, 4, "ab\nc"}, {"\t\r", "010100", 2, "  \n"},
        {std::string(5000, '\r'), kNoOptions, 4, ""}, {"a\r\n\tb", "100010", 4, "a\n\tb"},
        {"a\r\nb", "000100", 4, "a\n\nb"}, {"a\rb\r", "000100", 4, "a\nb\n"},
        // Every TAB is the same width wherever it stands; only a "1" turns an option on.
        {"\tx\tyz\t\t", "010000", 4, "    x    yz        "}, {"a\tb", "010000", 1, "a b"},
        {"a\tb\t", "010000", 0, "ab"}, {"a\tb", "0x0000", 4, "a\tb"},
        // HTML goes first: a TAB it keeps (in <pre>) is then widened like any.
        {"<p>a\r\nb &amp; c</p>", "001000", 4, "a b & c\n"}, {"<pre>a&#13;b&#9;c</pre>", "011100", 2, "a\nb  c\n"},
        // Without HTML markup stays; what the stripper holds back at the end still reaches the file.
        {"<p>&amp;", kNoOptions, 4, "<p>&amp;"}, {"x &unknown", "001000", 4, "x &unknown\n"}};
    for (const auto& c : cases) EXPECT_EQ(Filter(c.text, c.options, c.tabspace), c.expected) << c.options << c.text;
    // Control and high bytes pass unchanged; the widest TAB.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Filter(all, kNoOptions), all.substr(0, 13) + all.substr(14));
    EXPECT_TRUE(Filter(std::string(300, '\t'), "010000", 32767) == std::string(300u * 32767u, ' '));
}

TEST(TextFiltersRules, ChunkedPassEqualsTheWholeText) {
    // A CR LF pair on each side of a chunk boundary.
    for (const std::size_t crAt : {4094u, 4095u, 4096u}) {
        const std::string a(crAt, 'a'), c(5000, 'c'), text = a + "\r\n\tb" + c + "\r";
        EXPECT_EQ(Filter(text, kNoOptions, 3), a + "\n\tb" + c) << crAt;
        EXPECT_EQ(Filter(text, "010100", 3), a + "\n\n   b" + c + "\n") << crAt;
    }
    // Tags, references, scripts and CR LF pairs at random places land on
    // every kind of chunk boundary; the stripper must carry them over and
    // give what it gives for the text in one piece.
    const std::string pieces[] = {"<BR class=\"a>b\"/>", "&#x41;", "<script>a<b</script>", "\r\n", "&", "<pre>\r\n"};
    std::mt19937 random(11);
    std::string text;
    while (text.size() < 5 * 4096) {
        text += std::string(std::uniform_int_distribution<std::size_t>(0, 40)(random), 'x');
        text += pieces[std::uniform_int_distribution<int>(0, 5)(random)];
    }
    HtmlStripper stripper;
    std::string expected;
    stripper.Feed(text, expected);
    stripper.Finish(expected);
    EXPECT_EQ(Filter(text, "001100"), expected);
}

TEST(TextFiltersRaw, RawUsesTheFileItselfOtherwiseALeftoverTemporaryIsReplaced) {
    TempDir dir;
    WriteFileText(dir.File("in.txt"), "a\r\n\tb");
    RecordingSink sink;
    EXPECT_EQ(FilterFile(dir.File("in.txt"), Task("111111"), dir.Path(), sink).path, dir.File("in.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.File(kFilterFileName)));
    EXPECT_TRUE(sink.calls.empty());
    // The file is not even opened.
    EXPECT_EQ(FilterFile(dir.File("missing.txt"), Task("000001", -1), dir.Path(), sink).path, dir.File("missing.txt"));
    // Text none of the filters would change needs no copy either.
    const struct { const char* text; const char* options; bool copied; } copies[] = {
        {"a\nb", kNoOptions, false}, {"a\tb", kNoOptions, false}, {"a\tb", "010000", true}, {"a\nb", "001000", true},
        {"a\rb", "000100", true}, {"abc", "0000001", false}, {"\xC3\xA9", "0000001", true}, {"\xE9", "0000001", false}};
    for (const auto& c : copies) {
        WriteFileText(dir.File("plain.txt"), c.text);
        EXPECT_EQ(FilterFile(dir.File("plain.txt"), Task(c.options), dir.Path(), sink).path != dir.File("plain.txt"),
                  c.copied) << c.text << c.options;
    }
    // Without Raw, a temporary file left from before is replaced.
    WriteFileText(dir.File(kFilterFileName), std::string(10000, 'o'));
    EXPECT_EQ(ReadFileText(FilterFile(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink).path), "a\n\tb");
}

TEST(TextFiltersFailures, UnusableOrShrinkingInputAndWriteFaultsFailWithTheirCode) {
    TempDir dir;
    RecordingSink sink;
    WriteFileText(dir.File("empty.txt"), "");
    std::filesystem::create_directory(dir.File("folder"));
    WriteFileText(dir.File("in.txt"), "text");
    // Only an input that could not be opened has a cause, which names it.
    const struct { const char* file; int16_t tabs; OutcomeCode code; bool cause; } refused[] = {
        {"empty.txt", 4, OutcomeCode::kEmpty, false}, {"missing.txt", 4, OutcomeCode::kFailed, true},
        {"folder", 4, OutcomeCode::kFailed, true}, {"in.txt", -1, OutcomeCode::kFailed, false}};
    for (const auto& c : refused) {
        const Outcome outcome = FilterFile(dir.File(c.file), Task(kNoOptions, c.tabs), dir.Path(), sink).outcome;
        EXPECT_EQ(outcome.code, c.code) << c.file;
        EXPECT_EQ(outcome.cause.starts_with(dir.File(c.file)), c.cause) << c.file << ": " << outcome.cause;
    }
    // Nothing was started: no progress shows, nor was the working file (made after it) left.
    EXPECT_TRUE(sink.calls.empty());
    // Longer than the input buffer, so that the shrinking happens mid-read.
    WriteFileText(dir.File("in.txt"), std::string(4 * 65536, 'a') + "\r");
    sink.truncate = dir.File("in.txt");
    EXPECT_EQ(FilterFile(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink).outcome.code, OutcomeCode::kFailed);

    // Write faults: a folder planted at the working file's name stays, and is named.
    sink.truncate.clear();
    WriteFileText(dir.File("in.txt"), "short\r");
    std::filesystem::remove(dir.File(kFilterFileName));  // the caller's to delete
    std::filesystem::create_directory(dir.File(kFilterFileName));
    const Outcome planted = FilterFile(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink).outcome;
    EXPECT_EQ(planted.code, OutcomeCode::kFailed);
    EXPECT_TRUE(planted.cause.starts_with(dir.File(kFilterFileName))) << planted.cause;
    std::filesystem::remove(dir.File(kFilterFileName));
    // A file size limit of nothing fails every write. A small text sits in
    // the stdio buffer until the file is flushed, so it fails only if the
    // flush and close are checked; a large one fails on its way.
    WriteFileText(dir.File("big.txt"), std::string(100000, 'b') + "\r");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedHandler = signal(SIGXFSZ, SIG_IGN);
    const rlimit none{0, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
    const Outcome small = FilterFile(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink).outcome;
    const Outcome big = FilterFile(dir.File("big.txt"), Task(kNoOptions), dir.Path(), sink).outcome;
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);
    EXPECT_EQ(small.code, OutcomeCode::kFailed);
    EXPECT_EQ(big.code, OutcomeCode::kFailed);
}

TEST(TextFiltersProgress, EachChunkIsReportedAndEventsRunEvery64) {
    for (const std::size_t size : {1u, 4095u, 4096u, 4097u, 8192u, 3u * 4096u + 1u, 16u * 4096u, 130u * 4096u}) {
        TempDir dir;
        WriteFileText(dir.File("in.txt"), std::string(size - 1, 'z') + "\r");
        RecordingSink sink;
        const std::string result = FilterFile(dir.File("in.txt"), Task(kNoOptions), dir.Path(), sink).path;
        EXPECT_EQ(ReadFileText(result), std::string(size - 1, 'z'));
        // Events run once before the pass, then after every 64th chunk's progress.
        const int n = static_cast<int>((size + 4095) / 4096);
        std::vector<std::string> expected = {"caption Applying Filters", "range " + std::to_string(n), "value 0", "events"};
        for (int i = 1; i <= n; ++i) {
            expected.push_back("value " + std::to_string(i));
            expected.push_back("tray " + std::to_string(static_cast<int>(TrayFrame(i, n))) + " ''");
            if (i % 64 == 0) expected.push_back("events");
        }
        EXPECT_EQ(sink.calls, expected) << size;
    }
}

}  // namespace
}  // namespace lum2
