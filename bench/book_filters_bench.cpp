// Throughput of the book filters on a 20 MB text hard-wrapped at 70 columns,
// against a plain copy of the same text in the same chunks: the filters run
// on every text lum2doc encodes with them, so they should cost little beside
// compression.
//
//   book_filters_bench [benchmark flags]
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "text/bookmark_finder.h"
#include "text/line_joiner.h"

namespace {

constexpr std::size_t kTextBytes = 20u << 20;
constexpr std::size_t kChunk = 4096;  // what the text filters read at a time
constexpr std::size_t kWidth = 70;

// Paragraphs of made-up words filled to kWidth, a chapter heading every few
// hundred lines.
const std::string& WrappedText() {
    static const std::string text = [] {
        std::mt19937 random(7);
        std::string out, line;
        out.reserve(kTextBytes + 1024);
        int chapter = 0;
        while (out.size() < kTextBytes) {
            if (chapter % 40 == 0) out += "\nChapter " + std::to_string(chapter / 40 + 1) + "\n\n";
            ++chapter;
            for (int word = 0, words = 40 + static_cast<int>(random() % 120); word < words; ++word) {
                const std::string next(1 + random() % 9, static_cast<char>('a' + random() % 26));
                if (!line.empty() && line.size() + 1 + next.size() > kWidth) {
                    out += line + "\n";
                    line.clear();
                }
                line += (line.empty() ? "" : " ") + next;
            }
            out += line + "\n\n";
            line.clear();
        }
        return out;
    }();
    return text;
}

void Copy(benchmark::State& state) {
    const std::string_view text = WrappedText();
    std::string out;
    for (auto _ : state) {
        for (std::size_t at = 0; at < text.size(); at += kChunk) {
            out.append(text.substr(at, kChunk));
            benchmark::DoNotOptimize(out.data());
            out.clear();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// A new filter for each pass, fed the text in kChunk pieces.
template <typename BookFilter>
void Filter(benchmark::State& state) {
    const std::string_view text = WrappedText();
    std::string out;
    for (auto _ : state) {
        BookFilter filter(false);
        for (std::size_t at = 0; at < text.size(); at += kChunk) {
            filter.Feed(text.substr(at, kChunk), out);
            out.clear();
        }
        filter.Finish(out);
        out.clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The two in the order the filters chain them.
void JoinThenFind(benchmark::State& state) {
    for (auto _ : state) {
        lum2::LineJoiner joiner(false);
        lum2::BookmarkFinder finder(false);
        const std::string_view text = WrappedText();
        std::string joined, out;
        for (std::size_t at = 0; at < text.size(); at += kChunk) {
            joiner.Feed(text.substr(at, kChunk), joined);
            finder.Feed(joined, out);
            joined.clear();
            out.clear();
        }
        joiner.Finish(joined);
        finder.Feed(joined, out);
        finder.Finish(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * WrappedText().size()));
}

}  // namespace

BENCHMARK(Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(Filter<lum2::LineJoiner>)->Unit(benchmark::kMillisecond);
BENCHMARK(Filter<lum2::BookmarkFinder>)->Unit(benchmark::kMillisecond);
BENCHMARK(JoinThenFind)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
