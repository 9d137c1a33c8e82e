// Runs a text through the filters with options taken from the input. The
// filters read their file in fixed chunks, so the text is the payload repeated
// to a length (from the input) that puts the chunk boundaries at any point of
// it. The result must be what the same rules give for the text as one chunk:
// the HTML stripper fed once, then the line end and TAB rules byte by byte.
#include <cstdint>
#include <string>
#include <string_view>

#include "text/html_stripper.h"
#include "base/progress_sink.h"
#include "convert/task_options.h"
#include "text/text_filters.h"
#include "fuzz_support.h"
#include "tasks/task_record.h"

namespace {

std::string OneChunk(std::string_view text, bool html, bool tabs, bool crToLf, int tabspace) {
    std::string stripped;
    if (html) {
        lum2::HtmlStripper stripper;
        stripper.Feed(text, stripped);
        stripper.Finish(stripped);
        text = stripped;
    }
    std::string out;
    for (const char c : text) {
        if (c == '\r') {
            if (crToLf) out.push_back('\n');
        } else if (c == '\t' && tabs) {
            out.append(static_cast<std::size_t>(tabspace), ' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // data[0]: option bits; data[1]: TAB width (negative is refused);
    // data[2..3]: bytes added to the repeated payload; the rest: the payload.
    const unsigned bits = data[0];
    lum2::TaskRecord task;
    task.options = "000000";
    for (int position = 1; position <= 6; ++position) {
        if ((bits >> (position - 1)) & 1u) task.options[position - 1] = '1';
    }
    if (bits & 0x80u) task.options[1] = 'x';  // only "1" turns an option on
    task.tabspace = static_cast<int16_t>(static_cast<int8_t>(data[1]) / 4);
    const std::size_t extra = (static_cast<std::size_t>(data[2]) << 8 | data[3]) % 8192;
    const std::string_view payload(reinterpret_cast<const char*>(data) + 4, size - 4);

    std::string text;
    if (!payload.empty()) {
        const std::size_t length = payload.size() + extra;
        while (text.size() < length) text.append(payload.substr(0, length - text.size()));
    }

    const std::string& folder = lum2::fuzz::ScratchFolder();
    const std::string input = folder + "in.txt";
    lum2::fuzz::WriteFile(input, text);
    lum2::ProgressSink silent;
    std::string result;
    const lum2::OutcomeCode code = lum2::ApplyFilters(input, lum2::FilterOptionsOf(task), folder, silent, result).code;

    if (task.HasOption(lum2::kOptionRaw)) {
        if (result != input) lum2::fuzz::Mismatch("raw path", input, result);
        return 0;
    }
    if (text.empty() || task.tabspace < 0) {
        if (code == lum2::OutcomeCode::kOk) lum2::fuzz::Mismatch("refused input", "", result);
        return 0;
    }
    if (code != lum2::OutcomeCode::kOk) lum2::fuzz::Mismatch("filter failed", text, "");
    const std::string expected =
        OneChunk(text, task.HasOption(lum2::kOptionStripHtml), task.HasOption(lum2::kOptionTabsToSpaces),
                 task.HasOption(lum2::kOptionCrToLf), task.tabspace);
    const std::string got = lum2::fuzz::ReadFile(result);
    if (got != expected) lum2::fuzz::Mismatch("filtered", expected, got);
    return 0;
}
