// Feeds a document to the HTML stripper in chunks whose sizes come from the
// input: the text must be the same as from one chunk, never more than a few
// bytes per byte of the markup read so far (markers, marks and stand-ins add
// some, nothing adds without bound), and a stripper reused after Finish must
// start afresh with the same settings. Both sets are checked, with heading
// marks and without.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "text/html_stripper.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // data[0] says how many chunk sizes follow; the rest is the document.
    const std::size_t count = std::min<std::size_t>(data[0] % 8 + 1, size - 1);
    std::vector<std::size_t> sizes;
    bool moves = false;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned b = data[1 + i];
        // Mostly short chunks; the top values give a few thousand bytes.
        sizes.push_back(b < 200 ? b : (b - 199) * 100);
        moves = moves || sizes.back() > 0;
    }
    if (!moves) sizes.push_back(1);
    const std::string_view document(reinterpret_cast<const char*>(data) + 1 + count, size - 1 - count);

    // The most text a byte of markup gives: the deepest item's indent and marker from a four-byte <li>.
    const auto bound = [](std::size_t read) { return 16 * read + 64; };
    for (const int settings : {0, 1, 2, 3}) {
        const bool utf8 = (settings & 1) != 0, marks = (settings & 2) != 0;
        lum2::HtmlStripper whole(utf8, marks);
        std::string expected;
        whole.Feed(document, expected);
        whole.Finish(expected);
        if (expected.size() > bound(document.size())) lum2::fuzz::Mismatch("too long", document, expected);

        lum2::HtmlStripper chunked(utf8, marks);
        std::string got;
        std::size_t at = 0;
        for (std::size_t n = 0; at < document.size(); ++n) {
            const std::size_t take = std::min(sizes[n % sizes.size()], document.size() - at);
            chunked.Feed(document.substr(at, take), got);
            at += take;
            if (got.size() > bound(at)) lum2::fuzz::Mismatch("ahead of the markup read", document.substr(0, at), got);
        }
        chunked.Finish(got);
        if (got != expected) lum2::fuzz::Mismatch("chunked", expected, got);

        // Finish leaves the stripper as new, with the same settings: the same document
        // again gives the same text.
        std::string again;
        chunked.Feed(document, again);
        chunked.Finish(again);
        if (again != expected) lum2::fuzz::Mismatch("reused", expected, again);
    }
    return 0;
}
