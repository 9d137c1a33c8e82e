// Feeds a text to the line joiner in chunks whose sizes come from the input:
// the text must be the same as from one chunk, and joining only ever turns a
// line end into a blank and drops the blanks before it. The text is repeated
// past the learn block so that both the learning and the joining see every
// cutting. Both character sets are checked.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "text/line_joiner.h"

namespace {

// Whether got is text with some line ends made blanks and the blanks before
// those dropped.
bool OnlyJoined(std::string_view text, std::string_view got) {
    std::size_t t = 0;
    std::size_t g = 0;
    while (t < text.size()) {
        std::size_t end = t;
        while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
        if (end < text.size() && text[end] == '\n') {
            // A line end: kept with its blanks, or one ' ' for both.
            const std::string_view kept = text.substr(t, end + 1 - t);
            if (got.substr(g, kept.size()) == kept) {
                g += kept.size();
            } else if (g < got.size() && got[g] == ' ') {
                ++g;
            } else {
                return false;
            }
            t = end + 1;
        } else if (g < got.size() && text[t] == got[g]) {
            ++t;
            ++g;
        } else {
            return false;
        }
    }
    return g == got.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const lum2::fuzz::Chunking chunking = lum2::fuzz::ChunkingOf(data, size, 1000);
    const std::vector<std::size_t>& sizes = chunking.sizes;
    const std::string_view sample = chunking.text;
    std::string text;
    while (!sample.empty() && text.size() <= lum2::LineJoiner::kLearnBytes) text.append(sample);

    for (const bool utf8 : {false, true}) {
        lum2::LineJoiner whole(utf8);
        std::string expected;
        whole.Feed(text, expected);
        whole.Finish(expected);
        if (!OnlyJoined(text, expected)) lum2::fuzz::Mismatch("more than joined", text, expected);
        if (whole.WrapWidth() == 0 && expected != text) lum2::fuzz::Mismatch("not wrapped", text, expected);

        lum2::LineJoiner chunked(utf8);
        std::string got;
        std::size_t at = 0;
        for (std::size_t n = 0; at < text.size(); ++n) {
            const std::size_t take = std::min(sizes[n % sizes.size()], text.size() - at);
            chunked.Feed(std::string_view(text).substr(at, take), got);
            at += take;
        }
        chunked.Finish(got);
        if (got != expected || chunked.WrapWidth() != whole.WrapWidth()) {
            lum2::fuzz::Mismatch("chunked", expected, got);
        }
    }
    return 0;
}
