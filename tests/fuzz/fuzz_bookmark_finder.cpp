// Feeds a text to the bookmark finder in chunks whose sizes come from the
// input: the text and the bookmarks must be the same as from one chunk, the
// bookmarks in text order within the text with names of at most 15 bytes, and
// the lines FindTaggedLines finds must begin with an end tag. Both character
// sets are checked.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "text/bookmark_finder.h"

namespace {

void Check(const std::vector<lum2::Bookmark>& bookmarks, std::string_view text) {
    uint32_t last = 0;
    for (const lum2::Bookmark& bookmark : bookmarks) {
        if (bookmark.offset > text.size() || bookmark.offset < last || bookmark.name.empty() ||
            bookmark.name.size() > 15) {
            lum2::fuzz::Mismatch("bookmark", text, bookmark.name);
        }
        last = bookmark.offset;
    }
}

bool Same(const std::vector<lum2::Bookmark>& a, const std::vector<lum2::Bookmark>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const lum2::Bookmark& x, const lum2::Bookmark& y) {
        return x.offset == y.offset && x.name == y.name;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const lum2::fuzz::Chunking chunking = lum2::fuzz::ChunkingOf(data, size, 100);
    const std::vector<std::size_t>& sizes = chunking.sizes;
    const std::string_view text = chunking.text;

    for (const bool utf8 : {false, true}) {
        lum2::BookmarkFinder whole(utf8);
        std::string expected;
        whole.Feed(text, expected);
        whole.Finish(expected);
        if (expected.size() > text.size()) lum2::fuzz::Mismatch("longer than the text", text, expected);
        Check(whole.Bookmarks(), expected);

        lum2::BookmarkFinder chunked(utf8);
        std::string got;
        std::size_t at = 0;
        for (std::size_t n = 0; at < text.size(); ++n) {
            const std::size_t take = std::min(sizes[n % sizes.size()], text.size() - at);
            chunked.Feed(text.substr(at, take), got);
            at += take;
        }
        chunked.Finish(got);
        if (got != expected) lum2::fuzz::Mismatch("chunked", expected, got);
        if (!Same(chunked.Bookmarks(), whole.Bookmarks()) || chunked.EndTags() != whole.EndTags() ||
            chunked.Dropped() != whole.Dropped()) {
            lum2::fuzz::Mismatch("chunked bookmarks", expected, got);
        }

        if (whole.EndTags().empty()) continue;
        const std::string path = lum2::fuzz::ScratchFolder() + "tagged.txt";
        lum2::fuzz::WriteFile(path, expected);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) std::abort();
        uint64_t dropped = 0;
        const std::vector<lum2::Bookmark> tagged = lum2::FindTaggedLines(file, whole.EndTags(), utf8, &dropped);
        std::fclose(file);
        Check(tagged, expected);
        for (const lum2::Bookmark& bookmark : tagged) {
            const std::string_view line = std::string_view(expected).substr(bookmark.offset);
            const bool tagged_line =
                (bookmark.offset == 0 || expected[bookmark.offset - 1] == '\n') &&
                std::any_of(whole.EndTags().begin(), whole.EndTags().end(),
                            [&line](const std::string& tag) { return line.starts_with(tag); });
            if (!tagged_line) lum2::fuzz::Mismatch("tagged line", expected, bookmark.name);
        }
    }
    return 0;
}
