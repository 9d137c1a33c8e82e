// The PalmDoc record codec.
//
// Compress finds the smallest encoding of a record exactly. Every token has a
// fixed price (literal 1, space pair 1, back-reference 2, run 1 + its length),
// so a right-to-left dynamic programme over positions gives the optimum once
// the longest back-reference at each position is known. Lengths are short
// (3..10) and the window small (2047), which lets the match finder keep one
// exact table per length instead of walking hash chains.
#include "lum2.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

constexpr int32_t kRecordSize = LUM2_RECORD_SIZE;
constexpr int32_t kWindow = 2047;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 10;
constexpr int kMatchLengths = kMaxMatch - kMinMatch + 1;
constexpr int kMaxRun = 8;

// Key loads read up to 10 bytes from any position of the working copy.
constexpr int32_t kPad = 16;

// One open-addressing table per match length, at most half full since a
// record has at most 4096 positions. A slot holds the position (12 bits) and
// the record's epoch (4 bits): bumping the epoch empties every table at once,
// and only every 15th record pays for clearing them.
constexpr int kSlotBits = 13;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr int kPosBits = 12;
constexpr uint16_t kPosMask = (1u << kPosBits) - 1;
constexpr unsigned kLastEpoch = 15;
static_assert(kRecordSize <= (1 << kPosBits), "positions must fit a slot");

// Encoding choices recorded by the optimal parse, one per position.
enum Step : uint8_t { kLiteral = 0, kSpacePair = 1, kRun = 2, kReference = 3 };
constexpr uint8_t MakeStep(Step kind, int length) { return static_cast<uint8_t>(kind << 4 | length); }

struct Workspace {
    uint16_t slots[kMatchLengths][1u << kSlotBits];
    unsigned epoch;
    uint8_t text[kRecordSize + kPad];
    uint16_t cost[kRecordSize + kMaxMatch + 1];  // bytes needed to encode text[i..n)
    uint16_t distance[kRecordSize];              // of the longest match at i
    uint8_t longest[kRecordSize];                // 0, or 3..10
    uint8_t step[kRecordSize];
};

// Zero-initialised thread storage: no constructor, nothing to fail, and the
// tables survive between calls so the epoch scheme can work. Epoch 0 is never
// used, so the zeroed slots read as empty.
thread_local Workspace tlsWorkspace;

inline uint64_t LoadLE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline uint32_t LoadLE16(const uint8_t* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }

// The first L bytes at a position, as an exact key: all of them in head and
// bytes 9 and 10 (when L needs them) in tail.
template <int L>
inline uint64_t KeyHead(uint64_t first8) {
    if constexpr (L >= 8) return first8;
    else return first8 & ((uint64_t{1} << (8 * L)) - 1);
}

template <int L>
inline uint32_t KeyTail(uint32_t next2) {
    if constexpr (L <= 8) return 0;
    else if constexpr (L == 9) return next2 & 0xFF;
    else return next2;
}

inline uint32_t SlotOf(uint64_t head, uint32_t tail) {
    const uint64_t mixed = (head ^ (uint64_t{tail} * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(mixed >> (64 - kSlotBits));
}

// Finds the most recent earlier position holding the same L bytes as
// position i, then makes i the most recent. Returns that earlier position, or
// -1 when the string is new in this record.
template <int L>
inline int32_t SwapMostRecent(Workspace& ws, uint16_t tag, int32_t i, uint64_t first8, uint32_t next2) {
    const uint64_t head = KeyHead<L>(first8);
    const uint32_t tail = KeyTail<L>(next2);
    uint16_t* table = ws.slots[L - kMinMatch];
    uint32_t slot = SlotOf(head, tail);
    int32_t previous = -1;
    for (;;) {
        const uint16_t entry = table[slot];
        if ((entry & ~kPosMask) != tag) break;
        const int32_t p = entry & kPosMask;
        if (KeyHead<L>(LoadLE64(ws.text + p)) == head && KeyTail<L>(LoadLE16(ws.text + p + 8)) == tail) {
            previous = p;
            break;
        }
        slot = (slot + 1) & kSlotMask;
    }
    table[slot] = static_cast<uint16_t>(tag | i);
    return previous;
}

// The nearest occurrence of the L-byte string decides whether an L-match
// exists; if it does not, no longer match can exist either, since the
// longer match's prefix would be a nearer L-match. Later lengths are still
// recorded so that later positions can find this one.
template <int L>
inline void Extend(Workspace& ws, uint16_t tag, int32_t i, int room, uint64_t first8, uint32_t next2,
                   bool& extending, int& best, int32_t& bestDistance) {
    if constexpr (L <= kMaxMatch) {
        if (L > room) return;
        const int32_t previous = SwapMostRecent<L>(ws, tag, i, first8, next2);
        if (extending && previous >= 0 && i - previous <= kWindow) {
            best = L;
            bestDistance = i - previous;
        } else {
            extending = false;
        }
        Extend<L + 1>(ws, tag, i, room, first8, next2, extending, best, bestDistance);
    }
}

void FindLongestMatches(Workspace& ws, int32_t n) {
    if (++ws.epoch > kLastEpoch) {
        std::memset(ws.slots, 0, sizeof ws.slots);
        ws.epoch = 1;
    }
    const uint16_t tag = static_cast<uint16_t>(ws.epoch << kPosBits);
    for (int32_t i = 0; i < n; ++i) {
        const int room = std::min<int32_t>(kMaxMatch, n - i);
        int best = 0;
        int32_t bestDistance = 0;
        if (room >= kMinMatch) {
            bool extending = true;
            Extend<kMinMatch>(ws, tag, i, room, LoadLE64(ws.text + i), LoadLE16(ws.text + i + 8), extending, best,
                              bestDistance);
        }
        ws.longest[i] = static_cast<uint8_t>(best);
        ws.distance[i] = static_cast<uint16_t>(bestDistance);
    }
}

// 0x00 and 0x09..0x7F stand for themselves; every other byte needs a run.
inline bool StandsAlone(uint8_t b) { return b == 0 || (b >= 0x09 && b < 0x80); }

// Fills cost[] and step[] from the end backwards. Runs are only tried where
// the byte cannot stand alone: a run that starts with a byte that can is
// never cheaper than that byte as a literal followed by the rest of the run.
int32_t PlanOptimalParse(Workspace& ws, int32_t n) {
    const uint8_t* text = ws.text;
    uint16_t* cost = ws.cost;
    cost[n] = 0;
    for (int32_t i = n - 1; i >= 0; --i) {
        const uint8_t b = text[i];
        unsigned best;
        uint8_t step;
        if (StandsAlone(b)) {
            best = cost[i + 1] + 1u;
            step = MakeStep(kLiteral, 1);
            if (b == 0x20 && i + 1 < n && text[i + 1] >= 0x40 && text[i + 1] < 0x80 && cost[i + 2] + 1u <= best) {
                best = cost[i + 2] + 1u;
                step = MakeStep(kSpacePair, 2);
            }
        } else {
            best = cost[i + 1] + 2u;
            step = MakeStep(kRun, 1);
            const int longestRun = std::min<int32_t>(kMaxRun, n - i);
            for (int k = 2; k <= longestRun; ++k) {
                const unsigned c = cost[i + k] + 1u + k;
                if (c < best) {
                    best = c;
                    step = MakeStep(kRun, k);
                }
            }
        }
        // Longest first and ties kept: fewer tokens decode faster.
        for (int length = ws.longest[i]; length >= kMinMatch; --length) {
            const unsigned c = cost[i + length] + 2u;
            if (c < best || (c == best && (step >> 4) != kReference)) {
                best = c;
                step = MakeStep(kReference, length);
            }
        }
        cost[i] = static_cast<uint16_t>(best);
        ws.step[i] = step;
    }
    return cost[0];
}

void EmitParse(const Workspace& ws, int32_t n, uint8_t* out) {
    const uint8_t* text = ws.text;
    int32_t i = 0;
    while (i < n) {
        const uint8_t step = ws.step[i];
        const int length = step & 0x0F;
        switch (step >> 4) {
            case kLiteral:
                *out++ = text[i];
                break;
            case kSpacePair:
                *out++ = static_cast<uint8_t>(text[i + 1] ^ 0x80);
                break;
            case kRun:
                *out++ = static_cast<uint8_t>(length);
                std::memcpy(out, text + i, length);
                out += length;
                break;
            default: {
                const unsigned word = 0x8000u | unsigned(ws.distance[i]) << 3 | unsigned(length - kMinMatch);
                *out++ = static_cast<uint8_t>(word >> 8);
                *out++ = static_cast<uint8_t>(word);
                break;
            }
        }
        i += length;
    }
}

// Walks the tokens of a record, writing the decoded bytes when Write is set.
// Returns the decoded length, or LUM2_ERROR_CORRUPT as soon as a token is cut
// off, points outside the bytes decoded so far, or would pass limit.
template <bool Write>
int32_t Decode(uint8_t* dst, int32_t limit, const uint8_t* src, int32_t srcLen) {
    const uint8_t* in = src;
    const uint8_t* const end = src + srcLen;
    int32_t out = 0;
    while (in < end) {
        const unsigned b = *in++;
        if (b >= 0xC0) {
            if (limit - out < 2) return LUM2_ERROR_CORRUPT;
            if constexpr (Write) {
                dst[out] = 0x20;
                dst[out + 1] = static_cast<uint8_t>(b ^ 0x80);
            }
            out += 2;
        } else if (b >= 0x80) {
            if (in == end) return LUM2_ERROR_CORRUPT;
            const unsigned word = b << 8 | *in++;
            const int32_t distance = (word >> 3) & 0x7FF;
            const int32_t length = int32_t(word & 7) + kMinMatch;
            if (distance == 0 || distance > out || limit - out < length) return LUM2_ERROR_CORRUPT;
            if constexpr (Write) {
                uint8_t* to = dst + out;
                const uint8_t* from = to - distance;
                if (distance >= length) {
                    std::memcpy(to, from, length);
                } else {
                    // The copy reads bytes it has just written: repeats a short pattern.
                    for (int32_t k = 0; k < length; ++k) to[k] = from[k];
                }
            }
            out += length;
        } else if (b >= 0x09 || b == 0) {
            if (out == limit) return LUM2_ERROR_CORRUPT;
            if constexpr (Write) dst[out] = static_cast<uint8_t>(b);
            ++out;
        } else {
            const int32_t count = static_cast<int32_t>(b);
            if (end - in < count || limit - out < count) return LUM2_ERROR_CORRUPT;
            if constexpr (Write) std::memcpy(dst + out, in, count);
            in += count;
            out += count;
        }
    }
    return out;
}

}  // namespace

extern "C" {

int32_t Compress(uint8_t* dst, int32_t dstCapacity, const uint8_t* src, int32_t srcLen) {
    if (srcLen < 0 || srcLen > kRecordSize || dstCapacity < 0) return LUM2_ERROR_ARGUMENT;
    if ((src == nullptr && srcLen > 0) || (dst == nullptr && dstCapacity > 0)) return LUM2_ERROR_ARGUMENT;
    if (srcLen == 0) return 0;

    Workspace& ws = tlsWorkspace;
    std::memcpy(ws.text, src, static_cast<size_t>(srcLen));
    std::memset(ws.text + srcLen, 0, kPad);

    FindLongestMatches(ws, srcLen);
    const int32_t size = PlanOptimalParse(ws, srcLen);
    if (size > dstCapacity) return LUM2_ERROR_CAPACITY;
    EmitParse(ws, srcLen, dst);
    return size;
}

int32_t GetUncompSize(const uint8_t* src, int32_t srcLen) {
    if (srcLen < 0 || (src == nullptr && srcLen > 0)) return LUM2_ERROR_ARGUMENT;
    return Decode<false>(nullptr, kRecordSize, src, srcLen);
}

int32_t DeCompress(uint8_t* dst, int32_t dstLen, const uint8_t* src, int32_t srcLen) {
    if (srcLen < 0 || dstLen < 0) return LUM2_ERROR_ARGUMENT;
    if ((src == nullptr && srcLen > 0) || (dst == nullptr && dstLen > 0)) return LUM2_ERROR_ARGUMENT;
    // A record never holds more than kRecordSize bytes, whatever room the
    // caller offers; this keeps the result equal to GetUncompSize's.
    return Decode<true>(dst, std::min(dstLen, kRecordSize), src, srcLen);
}

}  // extern "C"
