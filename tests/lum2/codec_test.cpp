// Tests of the PalmDoc record codec and the Palm clock in liblum2.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lum2.h"
#include "reference_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kRecord = LUM2_RECORD_SIZE;
constexpr int32_t kMaxDecoded = LUM2_MAX_DECODED_SIZE;

// splitmix64: the same sequence on every platform, unlike std distributions.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

private:
    uint64_t state_;
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
    if (size < 0) return std::nullopt;
    out.resize(size);
    return out;
}

std::string Prose(size_t size, uint64_t seed) {
    static const char* const kWords[] = {
        "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be", "by",
        "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an", "had",
        "they", "you", "were", "their", "one", "all", "we", "can", "her", "has", "there", "been", "if",
        "more", "when", "will", "would", "who", "so", "no", "river", "morning", "letter", "garden",
        "Palm", "record", "quietly", "beneath", "library", "window", "evening", "journey", "harbour",
        "remember", "question", "thousand", "carriage", "Elizabeth", "Darcy", "London", "Monday"};
    Rng rng(seed);
    std::string text;
    while (text.size() < size) {
        const uint32_t words = 4 + rng.Below(14);
        for (uint32_t w = 0; w < words; ++w) {
            std::string word = kWords[rng.Below(std::size(kWords))];
            if (w == 0) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
            text += word;
            if (w + 1 < words) text += rng.Below(9) == 0 ? ", " : " ";
        }
        text += rng.Below(6) == 0 ? ".\n\n" : ". ";
    }
    text.resize(size);
    return text;
}

// High-bit bytes in which no 3-byte string occurs twice, so nothing can be
// copied and every byte must travel in a run.
Bytes UnrepeatableHighBytes(size_t size, uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    std::set<uint32_t> seen;
    while (out.size() < size) {
        const uint8_t b = static_cast<uint8_t>(0x80 | rng.Below(128));
        if (out.size() >= 2) {
            const uint32_t key = uint32_t(out[out.size() - 2]) << 16 | uint32_t(out.back()) << 8 | b;
            if (!seen.insert(key).second) continue;
        }
        out.push_back(b);
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
            case 0:
                out.push_back(static_cast<uint8_t>(0x80 | rng.Below(128)));
                break;
            case 1:
                out.push_back(static_cast<uint8_t>(1 + rng.Below(8)));
                break;
            case 2:
                out.push_back(0x20);
                out.push_back(static_cast<uint8_t>(0x40 + rng.Below(64)));
                break;
            case 3:
                out.push_back(0);
                break;
            case 4:
                if (!out.empty()) {
                    const size_t distance = 1 + rng.Below(static_cast<uint32_t>(std::min<size_t>(out.size(), 40)));
                    const size_t length = 1 + rng.Below(14);
                    for (size_t k = 0; k < length; ++k) out.push_back(out[out.size() - distance]);
                }
                break;
            default:
                out.push_back(static_cast<uint8_t>('a' + rng.Below(alphabet)));
                break;
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
    const Bytes reference = lum2test::ReferenceCompress(text);
    EXPECT_EQ(packed.size(), reference.size());
    const auto unpacked = Decompress(packed);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_TRUE(*unpacked == text);
    // A second, independent decoder guards against a fault the codec's
    // encoder and decoder share.
    EXPECT_TRUE(lum2test::ReferenceDecode(packed.data(), packed.size()) == text);
}

// --- Optimal parse -----------------------------------------------------------

TEST(CompressOptimal, SmallRecordsMatchExhaustiveSearch) {
    Rng rng(1);
    for (int round = 0; round < 3000; ++round) {
        const size_t size = rng.Below(240);
        Bytes text;
        switch (round % 4) {
            case 0: text = MixedRecord(size, rng); break;
            case 1: text = SmallAlphabet(size, 2 + rng.Below(3), rng); break;
            case 2: text = ToBytes(Prose(size, rng.Next())); break;
            default:
                text.resize(size);
                for (auto& b : text) b = static_cast<uint8_t>(rng.Below(4) == 0 ? 0x20 : rng.Next());
                break;
        }
        ExpectOptimalAndLossless(text, "round " + std::to_string(round));
        if (HasFailure()) break;
    }
}

TEST(CompressOptimal, FullRecordsMatchExhaustiveSearch) {
    Rng rng(2);
    ExpectOptimalAndLossless(ToBytes(Prose(kRecord, 7)), "prose");
    ExpectOptimalAndLossless(MixedRecord(kRecord, rng), "mixed");
    ExpectOptimalAndLossless(SmallAlphabet(kRecord, 2, rng), "two letters");
    ExpectOptimalAndLossless(SmallAlphabet(kRecord, 5, rng), "five letters");
    Bytes zeros(kRecord, 0);
    ExpectOptimalAndLossless(zeros, "zeros");
    Bytes periodic(kRecord);
    for (size_t i = 0; i < periodic.size(); ++i) periodic[i] = static_cast<uint8_t>(0x80 + i % 2047 % 97);
    ExpectOptimalAndLossless(periodic, "period 2047");
}

TEST(CompressOptimal, MatchesReachExactlyTheWindow) {
    const Bytes marker = ToBytes("QWERTYUIOP");
    auto build = [&](size_t gap, bool repeat) {
        Bytes text = marker;
        const Bytes filler = UnrepeatableHighBytes(gap, 3);
        text.insert(text.end(), filler.begin(), filler.end());
        if (repeat) text.insert(text.end(), marker.begin(), marker.end());
        return text;
    };
    // Marker repeated 2047 bytes later: one back-reference covers it.
    const Bytes near = build(2047 - marker.size(), true);
    EXPECT_EQ(CompressOrFail(near).size(), CompressOrFail(build(2047 - marker.size(), false)).size() + 2);
    ExpectOptimalAndLossless(near, "distance 2047");
    // One byte further and it is out of reach: ten literals.
    const Bytes far = build(2048 - marker.size(), true);
    EXPECT_EQ(CompressOrFail(far).size(), CompressOrFail(build(2048 - marker.size(), false)).size() + 10);
    ExpectOptimalAndLossless(far, "distance 2048");
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

TEST(CompressOptimal, RealTextMatchesExhaustiveSearch) {
    std::ifstream in("/usr/share/common-licenses/GPL-3", std::ios::binary);
    if (!in) GTEST_SKIP() << "no license text on this machine";
    const Bytes text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = 0; at < text.size() && at < 4 * kRecord; at += kRecord) {
        const size_t size = std::min<size_t>(kRecord, text.size() - at);
        ExpectOptimalAndLossless(Bytes(text.begin() + at, text.begin() + at + size), "GPL-3 at " + std::to_string(at));
    }
}

// --- Sizes and capacity ------------------------------------------------------

TEST(CompressLimits, HighBitTextTakesTheWholeBound) {
    const Bytes text = UnrepeatableHighBytes(kRecord, 4);
    Bytes out(LUM2_COMPRESS_BOUND(kRecord));
    EXPECT_EQ(Compress(out.data(), static_cast<int32_t>(out.size()), text.data(), kRecord), 4608);
    EXPECT_LE(4608, LUM2_COMPRESS_BOUND(kRecord));
    EXPECT_EQ(Compress(out.data(), 4608, text.data(), kRecord), 4608);
    EXPECT_EQ(Compress(out.data(), 4607, text.data(), kRecord), LUM2_ERROR_CAPACITY);
    out.resize(4608);
    EXPECT_TRUE(Decompress(out) == text);
}

TEST(CompressLimits, RandomBytesStayWithinTheBound) {
    Rng rng(5);
    for (int round = 0; round < 200; ++round) {
        Bytes text(rng.Below(kRecord + 1));
        for (auto& b : text) b = static_cast<uint8_t>(rng.Next());
        const Bytes packed = CompressOrFail(text);
        EXPECT_LE(packed.size(), LUM2_COMPRESS_BOUND(text.size()));
        EXPECT_TRUE(Decompress(packed) == text);
    }
}

TEST(CompressLimits, TooSmallDestinationIsLeftAloneBeyondCapacity) {
    const Bytes text = ToBytes(Prose(kRecord, 8));
    const int32_t needed = static_cast<int32_t>(CompressOrFail(text).size());
    constexpr uint8_t kGuard = 0xA5;
    for (int32_t capacity : {0, 1, needed / 2, needed - 1}) {
        Bytes out(needed + 64, kGuard);
        EXPECT_EQ(Compress(out.data(), capacity, text.data(), kRecord), LUM2_ERROR_CAPACITY) << capacity;
        for (size_t k = capacity; k < out.size(); ++k) ASSERT_EQ(out[k], kGuard) << "capacity " << capacity;
    }
    Bytes exact(needed);
    EXPECT_EQ(Compress(exact.data(), needed, text.data(), kRecord), needed);
}

TEST(CompressLimits, BadArgumentsAreRefused) {
    uint8_t out[16];
    const uint8_t text[kRecord + 1] = {};
    EXPECT_EQ(Compress(out, sizeof out, nullptr, 4), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(Compress(nullptr, 16, text, 4), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(Compress(out, sizeof out, text, -1), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(Compress(out, -1, text, 4), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(Compress(out, sizeof out, text, kRecord + 1), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(Compress(nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(Compress(nullptr, 0, text, 4), LUM2_ERROR_CAPACITY);
    EXPECT_EQ(GetUncompSize(nullptr, 3), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(GetUncompSize(text, -1), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(GetUncompSize(nullptr, 0), 0);
    EXPECT_EQ(DeCompress(nullptr, 16, text, 3), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(DeCompress(out, sizeof out, nullptr, 3), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(DeCompress(out, -1, text, 3), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(DeCompress(out, sizeof out, text, -1), LUM2_ERROR_ARGUMENT);
    EXPECT_EQ(DeCompress(nullptr, 0, nullptr, 0), 0);
}

// --- Round trips ---------------------------------------------------------------

TEST(RoundTrip, EverySizeUpToARecord) {
    const Bytes prose = ToBytes(Prose(kRecord, 9));
    for (size_t size = 0; size <= kRecord; ++size) {
        const Bytes text(prose.begin(), prose.begin() + size);
        const Bytes packed = CompressOrFail(text);
        ASSERT_EQ(GetUncompSize(packed.data(), static_cast<int32_t>(packed.size())), static_cast<int32_t>(size));
        ASSERT_TRUE(Decompress(packed) == text) << size;
    }
}

TEST(RoundTrip, BoundarySizesOfEveryKindOfText) {
    Rng rng(10);
    for (size_t size : {1, 2, 3, 7, 8, 9, 10, 11, 17, 2046, 2047, 2048, 2049, 4088, 4095, 4096}) {
        for (const Bytes& text : {MixedRecord(size, rng), UnrepeatableHighBytes(size, size), Bytes(size, 0x20),
                                  Bytes(size, 0xFF), Bytes(size, 0x05)}) {
            const Bytes packed = CompressOrFail(text);
            EXPECT_TRUE(Decompress(packed) == text) << size;
        }
    }
}

// --- Decoding ------------------------------------------------------------------

TEST(Decode, EveryTokenKind) {
    const Bytes record = {
        'a', 'b', 'c',        // literals
        0x00, 0x09, 0x7F,     // literal bytes at the ends of their range
        0x03, 0x80, 0x01, 0xFF,  // a run carries bytes that cannot stand alone
        0xC8, 0xFF, 0xC0,     // space pairs: " H", " \x7F", " @"
        0x80, 0x4F,           // distance 9, length 10: copies an earlier stretch
        0x80, 0x0F,           // distance 1, length 10: repeats the last byte
        0x80, 0x12,           // distance 2, length 5: repeats the last two bytes
    };
    Bytes expected = {'a', 'b', 'c', 0x00, 0x09, 0x7F, 0x80, 0x01, 0xFF, ' ', 'H', ' ', 0x7F, ' ', '@'};
    for (int k = 0; k < 10; ++k) expected.push_back(expected[expected.size() - 9]);
    for (int k = 0; k < 10; ++k) expected.push_back(expected.back());
    for (int k = 0; k < 5; ++k) expected.push_back(expected[expected.size() - 2]);
    EXPECT_EQ(GetUncompSize(record.data(), static_cast<int32_t>(record.size())), static_cast<int32_t>(expected.size()));
    EXPECT_TRUE(Decompress(record) == expected);
}

struct Damaged {
    const char* name;
    Bytes record;
};

Bytes Repeated(size_t count, uint8_t b, Bytes tail) {
    Bytes out(count, b);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST(Decode, DamagedRecordsAreCorrupt) {
    const std::vector<Damaged> cases = {
        {"distance 0", {'a', 'b', 'c', 0x80, 0x00}},
        {"distance 0 with longest length", {'a', 'b', 'c', 0x80, 0x07}},
        {"reference with nothing decoded", {0x80, 0x08}},
        {"reference before the start", {'a', 'b', 0x80, 0x18}},
        {"reference far before the start", {'a', 0xBF, 0xFF}},
        {"truncated reference", {'a', 'b', 'c', 0x80}},
        {"truncated run", {0x05, 'a', 'b'}},
        {"run count alone", {'a', 0x01}},
        {"literals past the largest record", Repeated(kMaxDecoded + 1, 'a', {})},
        {"reference past the largest record", Repeated(kMaxDecoded - 2, 'a', {0x80, 0x08})},
        {"space pair past the largest record", Repeated(kMaxDecoded - 1, 'a', {0xC1})},
        {"run past the largest record", Repeated(kMaxDecoded - 6, 'a', {0x07, 1, 2, 3, 4, 5, 6, 7})},
    };
    for (const Damaged& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t size = static_cast<int32_t>(c.record.size());
        EXPECT_EQ(GetUncompSize(c.record.data(), size), LUM2_ERROR_CORRUPT);
        Bytes out(2 * kMaxDecoded);
        EXPECT_EQ(DeCompress(out.data(), static_cast<int32_t>(out.size()), c.record.data(), size), LUM2_ERROR_CORRUPT);
    }
}

TEST(Decode, EachTokenKindMayFillARecordExactly) {
    // Records LUM2 writes, and the largest that other writers' files hold.
    for (const int32_t full : {kRecord, kMaxDecoded}) {
        for (const Bytes& record : {Repeated(full, 'a', {}), Repeated(full - 3, 'a', {0x80, 0x08}),
                                    Repeated(full - 2, 'a', {0xC1}), Repeated(full - 7, 'a', {0x07, 1, 2, 3, 4, 5, 6, 7})}) {
            EXPECT_EQ(GetUncompSize(record.data(), static_cast<int32_t>(record.size())), full);
            Bytes out(static_cast<size_t>(full));
            EXPECT_EQ(DeCompress(out.data(), full, record.data(), static_cast<int32_t>(record.size())), full);
        }
    }
}

TEST(Decode, SmallerDestinationFailsWithoutWritingPastIt) {
    const Bytes text = ToBytes(Prose(3000, 12));
    const Bytes packed = CompressOrFail(text);
    const int32_t packedSize = static_cast<int32_t>(packed.size());
    const int32_t full = static_cast<int32_t>(text.size());
    constexpr uint8_t kGuard = 0x5A;
    for (int32_t room : {0, 1, 100, full - 1}) {
        Bytes out(full + 64, kGuard);
        EXPECT_EQ(DeCompress(out.data(), room, packed.data(), packedSize), LUM2_ERROR_CORRUPT) << room;
        for (size_t k = room; k < out.size(); ++k) ASSERT_EQ(out[k], kGuard) << "room " << room;
    }
    // More room than needed: the caller sees the real length.
    Bytes roomy(full + 500);
    EXPECT_EQ(DeCompress(roomy.data(), static_cast<int32_t>(roomy.size()), packed.data(), packedSize), full);
}

TEST(Decode, AgreesWithTheReferenceDecoderOnArbitraryBytes) {
    // Mostly well-formed token streams with the odd bad token, so that both
    // the decoding and the rejecting paths are exercised.
    Rng rng(13);
    for (int round = 0; round < 20000; ++round) {
        Bytes record;
        const size_t tokens = rng.Below(400);
        size_t decoded = 0;
        for (size_t t = 0; t < tokens; ++t) {
            const uint32_t kind = rng.Below(8);
            if (kind < 3) {
                record.push_back(static_cast<uint8_t>(0x09 + rng.Below(0x77)));
                decoded += 1;
            } else if (kind < 5 && decoded > 0) {
                const uint32_t distance = 1 + rng.Below(static_cast<uint32_t>(std::min<size_t>(decoded + 1, 2047)));
                const uint32_t word = 0x8000u | distance << 3 | rng.Below(8);
                record.push_back(static_cast<uint8_t>(word >> 8));
                record.push_back(static_cast<uint8_t>(word));
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
        const auto expected = lum2test::ReferenceDecode(record.data(), record.size());
        const int32_t size = static_cast<int32_t>(record.size());
        Bytes out(kRecord + 32);
        const int32_t written = DeCompress(out.data(), static_cast<int32_t>(out.size()), record.data(), size);
        const int32_t predicted = GetUncompSize(record.data(), size);
        if (!expected) {
            ASSERT_EQ(written, LUM2_ERROR_CORRUPT) << "round " << round;
            ASSERT_EQ(predicted, LUM2_ERROR_CORRUPT) << "round " << round;
        } else {
            ASSERT_EQ(written, static_cast<int32_t>(expected->size())) << "round " << round;
            ASSERT_EQ(predicted, written) << "round " << round;
            ASSERT_TRUE(std::equal(expected->begin(), expected->end(), out.begin())) << "round " << round;
        }
    }
}

// --- Palm clock ------------------------------------------------------------------

class PalmTime : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        if (tz) saved_ = tz;
    }
    void TearDown() override {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    // Palm time minus the UTC-based count for the same moment, in seconds.
    static int64_t OffsetFromUtc() {
        const int64_t before = static_cast<int64_t>(std::time(nullptr));
        const uint32_t palm = CalcPalmTime();
        const uint32_t utc = static_cast<uint32_t>(before + 2082844800);
        return static_cast<int32_t>(palm - utc);
    }
    std::optional<std::string> saved_;
};

TEST_F(PalmTime, IsWithinADayOfUtc) {
    const int64_t offset = OffsetFromUtc();
    EXPECT_LE(std::llabs(offset), 86400);
}

TEST_F(PalmTime, FollowsTheLocalZone) {
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_LE(std::llabs(OffsetFromUtc()), 2);
    // POSIX zones count westwards: three hours east of Greenwich.
    setenv("TZ", "EAST-3", 1);
    tzset();
    EXPECT_LE(std::llabs(OffsetFromUtc() - 3 * 3600), 2);
    setenv("TZ", "WEST5", 1);
    tzset();
    EXPECT_LE(std::llabs(OffsetFromUtc() + 5 * 3600), 2);
}

}  // namespace
