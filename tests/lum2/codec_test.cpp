// Tests of the PalmDoc record codec and the Palm clock in liblum2. The codec
// is checked against a slow, deliberately plain coder: every distance and
// length is tried at every position, every run length anywhere, and a
// decoder that takes one token at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "lum2.h"
#include "process.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kRecord = LUM2_RECORD_SIZE;
constexpr int32_t kMaxDecoded = LUM2_MAX_DECODED_SIZE;

bool StandsAlone(uint8_t b) { return b == 0 || (b >= 0x09 && b <= 0x7F); }

// The size of a smallest encoding of text, by exhaustive search from the
// end: at each position the token that leaves the cheapest rest.
size_t ReferenceCompressedSize(const Bytes& text) {
    const size_t n = text.size();
    std::vector<size_t> cost(n + 1, SIZE_MAX);
    cost[n] = 0;
    for (size_t i = n; i-- > 0;) {
        auto consider = [&](size_t price, size_t length) {
            if (cost[i + length] != SIZE_MAX) cost[i] = std::min(cost[i], price + cost[i + length]);
        };
        if (StandsAlone(text[i])) consider(1, 1);
        if (text[i] == 0x20 && i + 1 < n && text[i + 1] >= 0x40 && text[i + 1] <= 0x7F) consider(1, 2);  // space pair
        for (size_t k = 1; k <= 8 && i + k <= n; ++k) consider(1 + k, k);  // a run of k bytes
        // A copy of any length up to the longest match at any distance in the window.
        const size_t most = std::min<size_t>(10, n - i);
        size_t longest = 0;
        for (size_t distance = 1; distance <= std::min<size_t>(i, 2047) && longest < most; ++distance) {
            size_t length = 0;
            while (length < most && text[i + length] == text[i + length - distance]) ++length;
            longest = std::max(longest, length);
        }
        for (size_t length = 3; length <= longest; ++length) consider(2, length);
    }
    return cost[0];
}

// Decodes a record token by token; nullopt when it does not decode to at
// most a record.
std::optional<Bytes> ReferenceDecode(const uint8_t* src, size_t size) {
    Bytes out;
    for (size_t i = 0; i < size;) {
        const uint8_t b = src[i++];
        if (StandsAlone(b)) {
            out.push_back(b);
        } else if (b <= 0x08) {
            if (size - i < b) return std::nullopt;
            out.insert(out.end(), src + i, src + i + b);
            i += b;
        } else if (b <= 0xBF) {
            if (i == size) return std::nullopt;
            const unsigned word = unsigned(b) << 8 | src[i++];
            const size_t distance = (word >> 3) & 0x7FF, length = (word & 7) + 3;
            if (distance == 0 || distance > out.size()) return std::nullopt;
            for (size_t k = 0; k < length; ++k) out.push_back(out[out.size() - distance]);
        } else {
            out.insert(out.end(), {0x20, static_cast<uint8_t>(b ^ 0x80)});
        }
        if (out.size() > static_cast<size_t>(kRecord)) return std::nullopt;
    }
    return out;
}

// splitmix64: the same sequence on every platform, unlike std distributions.
struct Rng {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
};

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes CompressOrFail(const Bytes& text) {
    Bytes out(LUM2_COMPRESS_BOUND(text.size()));
    const int32_t size = Compress(out.data(), static_cast<int32_t>(out.size()), text.data(),
                                  static_cast<int32_t>(text.size()));
    EXPECT_GE(size, 0);
    out.resize(size < 0 ? 0 : size);
    return out;
}

std::optional<Bytes> Decompress(const Bytes& record) {
    Bytes out(kRecord);
    const int32_t size = DeCompress(out.data(), kRecord, record.data(), static_cast<int32_t>(record.size()));
    return size < 0 ? std::nullopt : std::optional<Bytes>(Bytes(out.begin(), out.begin() + size));
}

// Words of English text in sentences, for the matches and space pairs that
// real text offers.
std::string Prose(size_t size, uint64_t seed) {
    static const std::vector<std::string> kWords = [] {
        std::istringstream list(
            "the of and to in a is that for it as was with be by on not he this are or his from at which but have an "
            "had they you were their one all we can her has there been if more when will would who so no river "
            "morning letter garden Palm record quietly beneath library window evening journey harbour remember "
            "question thousand carriage Elizabeth Darcy London Monday");
        return std::vector<std::string>(std::istream_iterator<std::string>(list), {});
    }();
    Rng rng{seed};
    std::string text;
    while (text.size() < size) {
        text += kWords[rng.Below(static_cast<uint32_t>(kWords.size()))];
        text += rng.Below(10) == 0 ? ".\n" : rng.Below(9) == 0 ? ", " : " ";
    }
    text.resize(size);
    return text;
}

// High-bit bytes in which no 3-byte string occurs twice, so nothing can be
// copied and every byte must travel in a run.
Bytes UnrepeatableHighBytes(size_t size, uint64_t seed) {
    Rng rng{seed};
    Bytes out;
    std::set<uint32_t> seen;
    while (out.size() < size) {
        const uint8_t b = static_cast<uint8_t>(0x80 | rng.Below(128));
        if (out.size() < 2 || seen.insert(uint32_t(out[out.size() - 2]) << 16 | uint32_t(out.back()) << 8 | b).second) {
            out.push_back(b);
        }
    }
    return out;
}

// Text built from the pieces that make the parse interesting: short matches
// from a small alphabet, bytes that need runs, spaces before 0x40..0x7F,
// zero bytes, and copies of earlier stretches (overlapping ones included).
Bytes MixedRecord(size_t size, Rng& rng) {
    const uint32_t alphabet = 2 + rng.Below(6);
    Bytes out;
    while (out.size() < size) {
        switch (rng.Below(10)) {
            case 0: out.push_back(static_cast<uint8_t>(0x80 | rng.Below(128))); break;
            case 1: out.push_back(static_cast<uint8_t>(1 + rng.Below(8))); break;
            case 2: out.insert(out.end(), {0x20, static_cast<uint8_t>(0x40 + rng.Below(64))}); break;
            case 3: out.push_back(0); break;
            case 4:
                if (!out.empty()) {
                    const size_t distance = 1 + rng.Below(static_cast<uint32_t>(std::min<size_t>(out.size(), 40)));
                    for (size_t k = 1 + rng.Below(14); k > 0; --k) out.push_back(out[out.size() - distance]);
                }
                break;
            default: out.push_back(static_cast<uint8_t>('a' + rng.Below(alphabet))); break;
        }
    }
    out.resize(size);
    return out;
}

Bytes SmallAlphabet(size_t size, uint32_t alphabet, Rng& rng) {
    Bytes out(size);
    for (auto& b : out) b = static_cast<uint8_t>('a' + rng.Below(alphabet));
    return out;
}

void ExpectOptimalAndLossless(const Bytes& text, const std::string& what) {
    SCOPED_TRACE(what + ", " + std::to_string(text.size()) + " bytes");
    const Bytes packed = CompressOrFail(text);
    EXPECT_EQ(packed.size(), ReferenceCompressedSize(text));
    EXPECT_EQ(GetUncompSize(packed.data(), static_cast<int32_t>(packed.size())), static_cast<int32_t>(text.size()));
    EXPECT_TRUE(Decompress(packed) == text);
    // A second, independent decoder guards against a fault the codec's
    // encoder and decoder share.
    EXPECT_TRUE(ReferenceDecode(packed.data(), packed.size()) == text);
}

// --- Optimal parse -----------------------------------------------------------

TEST(CompressOptimal, MatchesExhaustiveSearchOnEveryKindOfText) {
    Rng rng{1};
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        const size_t size = rng.Below(240);
        Bytes text(size);
        if (round % 4 == 0) text = MixedRecord(size, rng);
        else if (round % 4 == 1) text = SmallAlphabet(size, 2 + rng.Below(3), rng);
        else if (round % 4 == 2) text = ToBytes(Prose(size, rng.Next()));
        else for (auto& b : text) b = static_cast<uint8_t>(rng.Below(4) == 0 ? 0x20 : rng.Next());
        ExpectOptimalAndLossless(text, "round " + std::to_string(round));
    }
    // Whole records.
    rng = Rng{2};
    Bytes periodic(kRecord);
    for (size_t i = 0; i < periodic.size(); ++i) periodic[i] = static_cast<uint8_t>(0x80 + i % 2047 % 97);
    const std::pair<std::string, Bytes> full[] = {
        {"prose", ToBytes(Prose(kRecord, 7))}, {"mixed", MixedRecord(kRecord, rng)},
        {"two letters", SmallAlphabet(kRecord, 2, rng)}, {"five letters", SmallAlphabet(kRecord, 5, rng)},
        {"zeros", Bytes(kRecord, 0)}, {"period 2047", periodic}};
    for (const auto& [what, text] : full) ExpectOptimalAndLossless(text, what);
}

TEST(CompressOptimal, MatchesReachExactlyTheWindow) {
    // A marker repeated 2047 bytes later costs one copy; one byte further, ten literals.
    const Bytes marker = ToBytes("QWERTYUIOP");
    for (const auto& [distance, extra] : {std::pair{2047u, 2u}, std::pair{2048u, 10u}}) {
        Bytes text = marker;
        const Bytes filler = UnrepeatableHighBytes(distance - marker.size(), 3);
        text.insert(text.end(), filler.begin(), filler.end());
        const size_t alone = CompressOrFail(text).size();
        text.insert(text.end(), marker.begin(), marker.end());
        EXPECT_EQ(CompressOrFail(text).size(), alone + extra) << distance;
        ExpectOptimalAndLossless(text, "distance " + std::to_string(distance));
    }
}

TEST(CompressOptimal, EarlierRecordsLeaveNoTrace) {
    // Records made of the same stretches in another order: a match finder
    // that remembered a previous record would offer copies that are not there.
    const std::string prose = Prose(900, 11);
    for (int round = 0; round < 40; ++round) {
        const size_t cut = (round * 97) % prose.size();
        const std::string rotated = prose.substr(cut) + prose.substr(0, cut);
        ExpectOptimalAndLossless(ToBytes(rotated.substr(0, 300 + round * 13)), "round " + std::to_string(round));
    }
}

// --- Sizes and capacity ------------------------------------------------------

TEST(CompressLimits, NothingIsWrittenBeyondTheCapacityAndTheBoundIsReached) {
    // High-bit text without repeats needs all 4608 bytes of the bound (CompressOrFail offers no more);
    // prose ends in two-byte writes.
    EXPECT_EQ(CompressOrFail(UnrepeatableHighBytes(kRecord, 4)).size(), 4608u);
    for (const Bytes& text : {UnrepeatableHighBytes(kRecord, 4), ToBytes(Prose(kRecord, 8))}) {
        const int32_t needed = static_cast<int32_t>(CompressOrFail(text).size());
        for (int32_t capacity : {0, 1, needed / 2, needed - 1}) {
            Bytes out(needed + 64, 0xA5);
            EXPECT_EQ(Compress(out.data(), capacity, text.data(), kRecord), LUM2_ERROR_CAPACITY) << capacity;
            EXPECT_EQ(std::count(out.begin() + capacity, out.end(), 0xA5), needed + 64 - capacity) << capacity;
        }
        Bytes exact(needed);
        EXPECT_EQ(Compress(exact.data(), needed, text.data(), kRecord), needed);
        EXPECT_TRUE(Decompress(exact) == text);
    }
}

TEST(CompressLimits, BadArgumentsAreRefused) {
    uint8_t out[16];
    const uint8_t text[kRecord + 1] = {};
    constexpr int32_t kArgument = LUM2_ERROR_ARGUMENT;
    const std::pair<int32_t, int32_t> calls[] = {  // {what the call returned, what it should}
        {Compress(out, 16, nullptr, 4), kArgument}, {Compress(nullptr, 16, text, 4), kArgument},
        {Compress(out, 16, text, -1), kArgument}, {Compress(out, -1, text, 4), kArgument},
        {Compress(out, 16, text, kRecord + 1), kArgument}, {Compress(nullptr, 0, nullptr, 0), 0},
        {Compress(nullptr, 0, text, 4), LUM2_ERROR_CAPACITY}, {GetUncompSize(nullptr, 3), kArgument},
        {GetUncompSize(text, -1), kArgument}, {GetUncompSize(nullptr, 0), 0},
        {DeCompress(nullptr, 16, text, 3), kArgument}, {DeCompress(out, 16, nullptr, 3), kArgument},
        {DeCompress(out, -1, text, 3), kArgument}, {DeCompress(out, 16, text, -1), kArgument},
        {DeCompress(nullptr, 0, nullptr, 0), 0}};
    for (std::size_t k = 0; k < std::size(calls); ++k) EXPECT_EQ(calls[k].first, calls[k].second) << "call " << k;
}

// --- Decoding ------------------------------------------------------------------

TEST(Decode, EveryTokenKind) {
    const Bytes record = {
        'a', 'b', 'c',           // literals
        0x00, 0x09, 0x7F,        // literal bytes at the ends of their range
        0x03, 0x80, 0x01, 0xFF,  // a run carries bytes that cannot stand alone
        0xC8, 0xFF, 0xC0,        // space pairs: " H", " \x7F", " @"
        0x80, 0x4F,              // distance 9, length 10: copies an earlier stretch
        0x80, 0x0F,              // distance 1, length 10: repeats the last byte
        0x80, 0x12,              // distance 2, length 5: repeats the last two bytes
    };
    Bytes expected = {'a', 'b', 'c', 0x00, 0x09, 0x7F, 0x80, 0x01, 0xFF, ' ', 'H', ' ', 0x7F, ' ', '@'};
    for (int k = 0; k < 10; ++k) expected.push_back(expected[expected.size() - 9]);
    for (int k = 0; k < 10; ++k) expected.push_back(expected.back());
    for (int k = 0; k < 5; ++k) expected.push_back(expected[expected.size() - 2]);
    EXPECT_EQ(GetUncompSize(record.data(), static_cast<int32_t>(record.size())), static_cast<int32_t>(expected.size()));
    EXPECT_TRUE(Decompress(record) == expected);
}

Bytes Repeated(size_t count, uint8_t b, Bytes tail) {
    Bytes out(count, b);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST(Decode, DamagedRecordsAreCorruptAndEachTokenKindMayFillARecordExactly) {
    constexpr int32_t kBad = LUM2_ERROR_CORRUPT;
    std::vector<std::tuple<std::string, Bytes, int32_t>> cases = {
        {"distance 0", {'a', 'b', 'c', 0x80, 0x00}, kBad}, {"reference with nothing decoded", {0x80, 0x08}, kBad},
        {"distance 0 with longest length", {'a', 'b', 'c', 0x80, 0x07}, kBad},
        {"reference before the start", {'a', 'b', 0x80, 0x18}, kBad}, {"run count alone", {'a', 0x01}, kBad},
        {"reference far before the start", {'a', 0xBF, 0xFF}, kBad}, {"truncated run", {0x05, 'a', 'b'}, kBad},
        {"truncated reference", {'a', 'b', 'c', 0x80}, kBad},
        {"literals past the largest record", Repeated(kMaxDecoded + 1, 'a', {}), kBad},
        {"reference past the largest record", Repeated(kMaxDecoded - 2, 'a', {0x80, 0x08}), kBad},
        {"space pair past the largest record", Repeated(kMaxDecoded - 1, 'a', {0xC1}), kBad},
        {"run past the largest record", Repeated(kMaxDecoded - 6, 'a', {0x07, 1, 2, 3, 4, 5, 6, 7}), kBad}};
    // Records LUM2 writes, and the largest that other writers' files hold.
    for (const int32_t full : {kRecord, kMaxDecoded}) {
        for (const Bytes& record : {Repeated(full, 'a', {}), Repeated(full - 3, 'a', {0x80, 0x08}),
                                    Repeated(full - 2, 'a', {0xC1}), Repeated(full - 7, 'a', {7, 1, 2, 3, 4, 5, 6, 7})}) {
            cases.emplace_back(std::to_string(full) + " bytes ending in " + std::to_string(record.back()), record, full);
        }
    }
    for (const auto& [name, record, result] : cases) {
        const int32_t size = static_cast<int32_t>(record.size()), room = result < 0 ? 2 * kMaxDecoded : result;
        EXPECT_EQ(GetUncompSize(record.data(), size), result) << name;
        Bytes out(static_cast<size_t>(room));
        EXPECT_EQ(DeCompress(out.data(), room, record.data(), size), result) << name;
    }
}

TEST(Decode, SmallerDestinationFailsWithoutWritingPastIt) {
    const Bytes text = ToBytes(Prose(3000, 12));
    const Bytes packed = CompressOrFail(text);
    const int32_t packedSize = static_cast<int32_t>(packed.size()), full = static_cast<int32_t>(text.size());
    for (int32_t room : {0, 1, 100, full - 1}) {
        Bytes out(full + 64, 0x5A);
        EXPECT_EQ(DeCompress(out.data(), room, packed.data(), packedSize), LUM2_ERROR_CORRUPT) << room;
        EXPECT_EQ(std::count(out.begin() + room, out.end(), 0x5A), out.end() - out.begin() - room) << room;
    }
}

TEST(Decode, AgreesWithTheReferenceDecoderOnArbitraryBytes) {
    // Mostly well-formed token streams with the odd bad token, so that both
    // the decoding and the rejecting paths are exercised.
    Rng rng{13};
    for (int round = 0; round < 20000; ++round) {
        Bytes record;
        size_t decoded = 0;
        for (size_t t = 0, tokens = rng.Below(400); t < tokens; ++t) {
            const uint32_t kind = rng.Below(8);
            if (kind < 3) {
                record.push_back(static_cast<uint8_t>(0x09 + rng.Below(0x77)));
                decoded += 1;
            } else if (kind < 5 && decoded > 0) {
                const uint32_t distance = 1 + rng.Below(static_cast<uint32_t>(std::min<size_t>(decoded + 1, 2047)));
                const uint32_t word = 0x8000u | distance << 3 | rng.Below(8);
                record.insert(record.end(), {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
                decoded += (word & 7) + 3;
            } else if (kind == 5) {
                record.push_back(static_cast<uint8_t>(0xC0 + rng.Below(64)));
                decoded += 2;
            } else if (kind == 6) {
                const uint8_t count = static_cast<uint8_t>(1 + rng.Below(8));
                record.push_back(count);
                for (int k = 0; k < count; ++k) record.push_back(static_cast<uint8_t>(rng.Next()));
                decoded += count;
            } else {
                record.push_back(static_cast<uint8_t>(rng.Next()));
            }
        }
        if (rng.Below(4) == 0 && !record.empty()) record.resize(rng.Below(static_cast<uint32_t>(record.size())));
        const auto expected = ReferenceDecode(record.data(), record.size());
        const int32_t size = static_cast<int32_t>(record.size());
        Bytes out(kRecord + 32);
        const int32_t written = DeCompress(out.data(), static_cast<int32_t>(out.size()), record.data(), size);
        ASSERT_EQ(written, expected ? static_cast<int32_t>(expected->size()) : LUM2_ERROR_CORRUPT) << round;
        ASSERT_EQ(GetUncompSize(record.data(), size), written) << round;
        ASSERT_TRUE(!expected || std::equal(expected->begin(), expected->end(), out.begin())) << round;
    }
}

// --- Palm clock ------------------------------------------------------------------

TEST(PalmTime, FollowsTheLocalZone) {
    // POSIX zones count westwards: EAST-3 is three hours east of Greenwich.
    for (const auto& [tz, offset] : {std::pair{"UTC0", 0}, {"EAST-3", 3 * 3600}, {"WEST5", -5 * 3600}}) {
        const lum2::test::ScopedEnvironment zone("TZ", tz);
        tzset();
        const int64_t before = static_cast<int64_t>(std::time(nullptr));
        const int64_t palmMinusUtc = static_cast<int32_t>(CalcPalmTime() - static_cast<uint32_t>(before + 2082844800));
        EXPECT_LE(std::llabs(palmMinusUtc - offset), 2) << tz;
    }
    tzset();  // the zone the test started in
}

}  // namespace
