// Speed and size of the PalmDoc codec on whole texts cut into 4096-byte
// records, the way a Doc book stores them.
//
//   codec_bench [benchmark flags] [text files...]
//
// With no files it measures a generated English-like text. For each text it
// times the optimal Compress, the greedy baseline and DeCompress, and reports
// the compressed size and the ratio of optimal to greedy size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "greedy_encoder.h"
#include "lum2.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Corpus {
    std::string name;
    std::vector<Bytes> records;
    std::vector<Bytes> packed;  // optimal encodings, input to the decoder
    size_t textBytes = 0;
    size_t optimalBytes = 0;
    size_t greedyBytes = 0;
};

// Common English words, most frequent first; picked with a skew towards the
// front so that the text repeats itself about as much as prose does.
const char* const kWords[] = {
    "the",         "of",        "and",       "to",       "a",       "in",          "that",       "is",
    "was",         "he",        "for",       "it",       "with",    "as",          "his",        "on",
    "be",          "at",        "by",        "I",        "this",    "had",         "not",        "are",
    "but",         "from",      "or",        "have",     "an",      "they",        "which",      "one",
    "you",         "were",      "her",       "all",      "she",     "there",       "would",      "their",
    "we",          "him",       "been",      "has",      "when",    "who",         "will",       "more",
    "no",          "if",        "out",       "so",       "said",    "what",        "up",         "its",
    "about",       "into",      "than",      "them",     "can",     "only",        "other",      "new",
    "some",        "could",     "time",      "these",    "two",     "may",         "then",       "do",
    "first",       "any",       "my",        "now",      "such",    "like",        "our",        "over",
    "man",         "me",        "even",      "most",     "made",    "after",       "also",       "did",
    "many",        "before",    "must",      "through",  "back",    "years",       "where",      "much",
    "your",        "way",       "well",      "down",     "should",  "because",     "each",       "just",
    "those",       "people",    "how",       "too",      "little",  "state",       "good",       "very",
    "make",        "world",     "still",     "own",      "see",     "men",         "work",       "long",
    "get",         "here",      "between",   "both",     "life",    "being",       "under",      "never",
    "day",         "same",      "another",   "know",     "while",   "last",        "might",      "us",
    "great",       "old",       "year",      "off",      "come",    "since",       "against",    "go",
    "came",        "right",     "used",      "take",     "three",   "himself",     "few",        "house",
    "use",         "during",    "without",   "again",    "place",   "around",      "however",    "home",
    "small",       "found",     "thought",   "went",     "say",     "part",        "once",       "general",
    "high",        "upon",      "school",    "every",    "does",    "got",         "united",     "left",
    "number",      "course",    "war",       "until",    "always",  "away",        "something",  "fact",
    "though",      "water",     "less",      "public",   "put",     "think",       "almost",     "hand",
    "enough",      "far",       "took",      "head",     "yet",     "government",  "system",     "better",
    "set",         "told",      "nothing",   "night",    "end",     "why",         "called",     "didn't",
    "eyes",        "find",      "going",     "look",     "asked",   "later",       "knew",       "point",
    "next",        "program",   "city",      "business", "give",    "group",       "toward",     "young",
    "let",         "room",      "president", "side",     "social",  "given",       "present",    "several",
    "order",       "national",  "possible",  "rather",   "second",  "face",        "per",        "among",
    "form",        "important", "often",     "things",   "looked",  "early",       "white",      "case",
    "John",        "become",    "large",     "big",      "need",    "four",        "within",     "felt",
    "along",       "children",  "saw",       "best",     "church",  "ever",        "least",      "power",
    "development", "light",     "thing",     "seemed",   "family",  "interest",    "want",       "members",
    "mind",        "country",   "area",      "others",   "done",    "turned",      "although",   "open",
    "God",         "service",   "certain",   "kind",     "problem", "began",       "different",  "door",
    "thus",        "help",      "means",     "sense",    "whole",   "matter",      "perhaps",    "itself",
    "York",        "times",     "law",       "human",    "line",    "above",       "name",       "example",
    "action",      "company",   "hands",     "local",    "show",    "whether",     "five",       "history",
    "gave",        "today",     "either",    "act",      "feet",    "across",      "taken",      "past",
    "quite",       "anything",  "having",    "seen",     "death",   "body",        "experience", "half",
    "really",      "week",      "words",     "field",    "already", "information", "tell",       "together",
    "college",     "shall",     "money",     "period",   "held",    "keep",        "sure",       "probably",
    "free",        "seems",     "political", "real",     "behind",  "question",    "air",        "cannot",
    "office"};

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint32_t Below(uint32_t bound) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>((state_ >> 11) % bound);
    }

private:
    uint64_t state_;
};

std::string GeneratedProse(size_t size) {
    constexpr uint32_t kWordCount = std::size(kWords);
    Rng rng(0x1d0c5eed);
    std::string text;
    size_t lineStart = 0;
    while (text.size() < size) {
        const uint32_t sentenceWords = 5 + rng.Below(18);
        for (uint32_t w = 0; w < sentenceWords; ++w) {
            // Square of a uniform draw: the front of the list comes up most.
            const uint32_t u = rng.Below(kWordCount);
            std::string word = kWords[u * u / kWordCount];
            if (w == 0 && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 'a' + 'A');
            text += word;
            if (w + 1 == sentenceWords) {
                text += rng.Below(8) == 0 ? "?" : ".";
            } else if (rng.Below(10) == 0) {
                text += ",";
            }
            if (text.size() - lineStart > 70) {
                text += "\n";
                lineStart = text.size();
            } else {
                text += " ";
            }
        }
        if (rng.Below(7) == 0) {
            // A paragraph ends the line the sentence left open.
            while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
            text += "\n\n";
            lineStart = text.size();
        }
    }
    text.resize(size);
    return text;
}

std::unique_ptr<Corpus> MakeCorpus(std::string name, const Bytes& text) {
    auto corpus = std::make_unique<Corpus>();
    corpus->name = std::move(name);
    corpus->textBytes = text.size();
    lum2bench::GreedyEncoder greedy;
    Bytes scratch(lum2bench::GreedyEncoder::Bound(LUM2_RECORD_SIZE));
    Bytes decoded(LUM2_RECORD_SIZE);
    for (size_t at = 0; at < text.size(); at += LUM2_RECORD_SIZE) {
        const size_t size = std::min<size_t>(LUM2_RECORD_SIZE, text.size() - at);
        Bytes record(text.begin() + at, text.begin() + at + size);
        Bytes packed(LUM2_COMPRESS_BOUND(size));
        const int32_t packedSize =
            Compress(packed.data(), static_cast<int32_t>(packed.size()), record.data(), static_cast<int32_t>(size));
        const size_t greedySize = greedy.Compress(record.data(), size, scratch.data());
        // Both encoders must round-trip, or their sizes mean nothing.
        if (packedSize < 0 ||
            DeCompress(decoded.data(), LUM2_RECORD_SIZE, packed.data(), packedSize) != int32_t(size) ||
            std::memcmp(decoded.data(), record.data(), size) != 0 ||
            DeCompress(decoded.data(), LUM2_RECORD_SIZE, scratch.data(), int32_t(greedySize)) != int32_t(size) ||
            std::memcmp(decoded.data(), record.data(), size) != 0) {
            std::fprintf(stderr, "%s: record at %zu does not round-trip\n", corpus->name.c_str(), at);
            std::exit(2);
        }
        packed.resize(packedSize);
        corpus->optimalBytes += packed.size();
        corpus->greedyBytes += greedySize;
        corpus->records.push_back(std::move(record));
        corpus->packed.push_back(std::move(packed));
    }
    return corpus;
}

void AddSizeCounters(benchmark::State& state, const Corpus& corpus, size_t compressedBytes) {
    const double processed = static_cast<double>(state.iterations()) * static_cast<double>(corpus.textBytes);
    state.SetBytesProcessed(static_cast<int64_t>(processed));
    state.counters["MB/s"] = benchmark::Counter(processed / 1e6, benchmark::Counter::kIsRate);
    state.counters["compressed"] = static_cast<double>(compressedBytes);
    state.counters["vs_text"] = static_cast<double>(compressedBytes) / static_cast<double>(corpus.textBytes);
    state.counters["vs_greedy"] = static_cast<double>(corpus.optimalBytes) / static_cast<double>(corpus.greedyBytes);
}

void Register(const Corpus& corpus) {
    benchmark::RegisterBenchmark(("Compress/" + corpus.name).c_str(), [&corpus](benchmark::State& state) {
        Bytes out(LUM2_COMPRESS_BOUND(LUM2_RECORD_SIZE));
        for (auto _ : state) {
            for (const Bytes& record : corpus.records) {
                benchmark::DoNotOptimize(Compress(out.data(), static_cast<int32_t>(out.size()), record.data(),
                                                  static_cast<int32_t>(record.size())));
                benchmark::ClobberMemory();
            }
        }
        AddSizeCounters(state, corpus, corpus.optimalBytes);
    });
    benchmark::RegisterBenchmark(("GreedyCompress/" + corpus.name).c_str(), [&corpus](benchmark::State& state) {
        lum2bench::GreedyEncoder greedy;
        Bytes out(lum2bench::GreedyEncoder::Bound(LUM2_RECORD_SIZE));
        for (auto _ : state) {
            for (const Bytes& record : corpus.records) {
                benchmark::DoNotOptimize(greedy.Compress(record.data(), record.size(), out.data()));
                benchmark::ClobberMemory();
            }
        }
        AddSizeCounters(state, corpus, corpus.greedyBytes);
    });
    benchmark::RegisterBenchmark(("DeCompress/" + corpus.name).c_str(), [&corpus](benchmark::State& state) {
        Bytes out(LUM2_RECORD_SIZE);
        for (auto _ : state) {
            for (const Bytes& packed : corpus.packed) {
                benchmark::DoNotOptimize(
                    DeCompress(out.data(), LUM2_RECORD_SIZE, packed.data(), static_cast<int32_t>(packed.size())));
                benchmark::ClobberMemory();
            }
        }
        AddSizeCounters(state, corpus, corpus.optimalBytes);
    });
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);

    std::vector<std::unique_ptr<Corpus>> corpora;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const Bytes text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.empty()) {
            std::fprintf(stderr, "%s is empty\n", argv[i]);
            return 1;
        }
        corpora.push_back(MakeCorpus(BaseName(argv[i]), text));
    }
    if (corpora.empty()) {
        const std::string prose = GeneratedProse(64 * LUM2_RECORD_SIZE);
        corpora.push_back(MakeCorpus("generated-prose", Bytes(prose.begin(), prose.end())));
    }

    for (const auto& corpus : corpora) {
        std::printf(
            "%s: %zu bytes in %zu records; optimal %zu bytes (%.4f), greedy %zu bytes (%.4f), "
            "optimal/greedy %.4f\n",
            corpus->name.c_str(), corpus->textBytes, corpus->records.size(), corpus->optimalBytes,
            double(corpus->optimalBytes) / double(corpus->textBytes), corpus->greedyBytes,
            double(corpus->greedyBytes) / double(corpus->textBytes),
            double(corpus->optimalBytes) / double(corpus->greedyBytes));
        Register(*corpus);
    }
    std::fflush(stdout);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
