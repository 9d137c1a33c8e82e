// The PalmDoc record codec.
//
// Compress finds the smallest encoding of a record exactly. Every token has a
// fixed price (literal 1, space pair 1, back-reference 2, run 1 + its length),
// so a right-to-left dynamic programme over positions gives the optimum once
// the longest back-reference at each position is known.
//
// Finding those longest matches exactly is most of the work. A forward pass
// links every position into hash chains of its first three and of its first
// four bytes, most recent first. The backward pass then gets most positions
// for free: a match at i+1 that also matches one byte to the left gives the
// longest match at i, since no match at i can be more than one byte longer
// than the longest at i+1. Where that fails, the heads of both chains settle
// most positions. Only the rest walk the chains: to the most recent
// occurrence of three bytes, then of one byte more than the best so far, and
// so on. Every candidate is compared byte by byte, so
// hash collisions and shorter strings are skipped and the result is exact.
// A chain for every length up to 10 keeps the walks shortest, but on English
// text building eight chains costs more than the walks it saves.
#include "lum2.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

constexpr int32_t kRecordSize = LUM2_RECORD_SIZE;
constexpr int32_t kMaxDecoded = LUM2_MAX_DECODED_SIZE;
constexpr int32_t kWindow = 2047;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 10;
constexpr int kMaxRun = 8;

// Key loads read up to 10 bytes from any position of the working copy.
constexpr int32_t kPad = 16;

// Match lengths that get a chain of their own. A length without one uses the
// chain of the next shorter length that has one: that chain holds every
// occurrence too, it is only longer to walk.
constexpr int kChainLengths[] = {3, 4};
constexpr int kChains = static_cast<int>(std::size(kChainLengths));
static_assert(kChainLengths[0] == kMinMatch, "every match starts in the shortest chain");

constexpr std::array<uint8_t, kMaxMatch + 1> kChainFor = [] {
    std::array<uint8_t, kMaxMatch + 1> chainFor{};
    for (int length = 0; length <= kMaxMatch; ++length) {
        for (int c = 0; c < kChains; ++c) {
            if (kChainLengths[c] <= length) chainFor[length] = static_cast<uint8_t>(c);
        }
    }
    return chainFor;
}();

// Chain links and heads hold a position (12 bits) below the record's epoch
// (4 bits). Bumping the epoch ends every chain of the previous record at
// once, so the heads are only cleared on every 15th record. As epochs only
// grow between clearings, one comparison tells an entry of this record in
// the window from everything else: it is at least the epoch's tag plus the
// oldest position in the window. Heads of 14 bits
// rather than 13 put fewer strangers in each chain, which saves more than
// the larger table costs.
constexpr int kHeadBits = 14;
constexpr int kPosBits = 12;
constexpr uint32_t kPosMask = (1u << kPosBits) - 1;
constexpr unsigned kLastEpoch = 15;
static_assert(kRecordSize <= (1 << kPosBits), "positions must fit a link");

constexpr int32_t kBeforeText = 2;
constexpr uint16_t kNoByte = 0x100;

// Far beyond any real cost, yet small enough that adding to it cannot wrap.
constexpr uint16_t kUnreachable = 0x7FFF;

// Encoding choices recorded by the optimal parse, one per position.
enum Step : uint8_t { kLiteral = 0, kSpacePair = 1, kRun = 2, kReference = 3 };
constexpr uint8_t MakeStep(Step kind, int length) { return static_cast<uint8_t>(kind << 4 | length); }

struct Workspace {
    uint16_t head[kChains][1u << kHeadBits];
    uint16_t link[kChains][kRecordSize];  // previous position in the same chain
    unsigned epoch;
    uint8_t text[kRecordSize + kPad];
    // The text again, behind two entries that equal no byte: one a copy
    // from before the start reads, one a position without a match reads
    // (its distance is one more than its position), so whether a match
    // reaches one byte further left is a single comparison.
    uint16_t wide[kBeforeText + kRecordSize];
    uint16_t cost[kRecordSize + kMaxMatch + 1];  // bytes needed to encode text[i..n)
    uint16_t distance[kRecordSize];              // of the back-reference chosen at i
    uint8_t step[kRecordSize];
};

// Zero-initialised thread storage: no constructor, nothing to fail, and the
// heads survive between calls so the epoch scheme can work. Epoch 0 is never
// used, so the zeroed heads read as empty.
thread_local Workspace tlsWorkspace;

inline uint64_t LoadLE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline uint64_t LoadLE16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    return v;
}

// Hash of the first L bytes of a position, given its first 8 and next 2.
template <int L>
inline uint32_t ChainHash(uint64_t first8, uint64_t next2) {
    uint64_t key;
    if constexpr (L < 8)
        key = first8 & ((uint64_t{1} << (8 * L)) - 1);
    else if constexpr (L == 8)
        key = first8;
    else
        key = first8 ^ ((next2 & (L == 9 ? 0xFF : 0xFFFF)) * 0xC2B2AE3D27D4EB4Full);
    return static_cast<uint32_t>(((key + L) * 0x9E3779B97F4A7C15ull) >> (64 - kHeadBits));
}

// Links position i into every chain it fits.
template <int C = 0>
inline void LinkPosition(Workspace& ws, uint16_t tag, int32_t i, int room, uint64_t first8, uint64_t next2) {
    if constexpr (C < kChains) {
        constexpr int L = kChainLengths[C];
        if (L > room) return;
        uint16_t& head = ws.head[C][ChainHash<L>(first8, next2)];
        ws.link[C][i] = head;
        head = static_cast<uint16_t>(tag | i);
        LinkPosition<C + 1>(ws, tag, i, room, first8, next2);
    }
}

// Number of equal leading bytes at a and at the position whose bytes are
// first8/next2, at most cap. Written without branches: it runs at every
// position, and whether two strings share 8 bytes is anybody's guess. (The
// count of trailing zeros is taken of numbers known not to be zero, which
// compilers turn into a single instruction.)
inline int CommonLength(const uint8_t* text, int32_t a, uint64_t first8, uint64_t next2, int cap) {
    const uint64_t head = LoadLE64(text + a) ^ first8;
    const uint64_t tail = (LoadLE16(text + a + 8) ^ next2) | 0x10000;
    const int all8 = head == 0;
    const int length =
        (__builtin_ctzll(head | (uint64_t{1} << 63)) >> 3) + ((1 + (__builtin_ctzll(tail) >> 3)) & -all8);
    return std::min(length, cap);
}

// The length of no match at all. One rather than zero: where every byte
// stands alone, a copy of one byte then costs more than the literal and is
// never chosen, so the parse needs no test for it.
constexpr int kNoMatch = 1;

struct Match {
    int length;        // kNoMatch, or kMinMatch..kMaxMatch
    int32_t distance;  // without a match, one more than the position
};

// Longest match at i of at most cap bytes, by walking on from a match of
// best.length bytes: `entry` is the next link of `chain` to look at for
// `wanted` bytes.
Match WalkChains(const Workspace& ws, uint32_t limit, int32_t i, int cap, Match best, int wanted, int chain,
                 uint32_t entry) {
    const uint8_t* text = ws.text;
    const uint64_t first8 = LoadLE64(text + i);
    const uint64_t next2 = LoadLE16(text + i + 8);
    for (;;) {
        // The first entry of the chain that really holds `wanted` bytes of i
        // is their most recent occurrence.
        int32_t found = -1;
        int length = 0;
        while (entry >= limit) {
            const int32_t p = static_cast<int32_t>(entry & kPosMask);
            length = CommonLength(text, p, first8, next2, cap);
            if (length >= wanted) {
                found = p;
                break;
            }
            entry = ws.link[chain][p];
        }
        if (found < 0) return best;
        best = {length, i - found};
        if (length >= cap) return best;
        // Anything longer is older still: continue in the chain of the next
        // length, or further down this one when that length has no chain.
        wanted = length + 1;
        const int next = kChainFor[wanted];
        entry = next == chain ? ws.link[chain][found] : ws.link[next][i];
        chain = next;
    }
}

// 0x00 and 0x09..0x7F stand for themselves; every other byte needs a run.
inline bool StandsAlone(uint8_t b) { return b == 0 || (b >= 0x09 && b < 0x80); }

// The longest match at i, given the longest at i + 1. A match at i + 1 that
// also matches one byte to the left is the answer, since no match at i is
// more than one byte longer than the longest at i + 1. Where that fails, the
// heads of the chains settle most positions, and the same bound cuts short
// the walks that remain.
inline Match LongestMatch(const Workspace& ws, uint32_t limit, int32_t i, int room, Match right) {
    const uint8_t* text = ws.text;
    // Nothing in the window at the head of the shortest chain means no match
    // at all, and a match as long as the bound is the longest.
    const uint32_t head = ws.link[0][i];
    const int32_t p = static_cast<int32_t>(head & kPosMask);
    const bool none = head < limit;
    const bool extends = ws.wide[kBeforeText + i - right.distance] == text[i];
    // Both quick answers behind one branch: which of them it is follows
    // the text, and a match that extends implies a head in the window.
    if (extends | none) {
        const bool some = extends;
        return {some ? std::min(right.length + 1, room) : kNoMatch, some ? right.distance : i + 1};
    }
    const int cap = std::min(room, right.length >= kMinMatch ? right.length + 1 : kMinMatch);
    const uint64_t first8 = LoadLE64(text + i);
    const uint64_t next2 = LoadLE16(text + i + 8);
    const int length = CommonLength(text, p, first8, next2, cap);
    if (length >= cap) return {cap, i - p};
    if (length < kMinMatch) return WalkChains(ws, limit, i, cap, {kNoMatch, i + 1}, kMinMatch, 0, ws.link[0][p]);
    // Anything longer shares 4 bytes with i, so it is in the 4-byte chain:
    // nothing there in the window means nothing longer. Without this look
    // at its head, most walks found nothing. (i is linked in that chain,
    // since the bound leaves room for 4 bytes.)
    static_assert(kChains == 2 && kChainLengths[1] == kMinMatch + 1, "chain 1 holds every longer match");
    const uint32_t head4 = ws.link[1][i];
    const int32_t p4 = static_cast<int32_t>(head4 & kPosMask);
    if (head4 < limit) return {length, i - p};
    const int length4 = CommonLength(text, p4, first8, next2, cap);
    if (length4 >= cap) return {cap, i - p4};
    const Match best = length4 > length ? Match{length4, i - p4} : Match{length, i - p};
    return WalkChains(ws, limit, i, cap, best, best.length + 1, 1, ws.link[1][p4]);
}

// Whether no byte of text[0..n) needs a run, eight at a time (the zero
// padding stands alone). A byte needs one when its top bit is set or it is
// 1..8: with the top bit forced on, taking 1 and 9 from every byte borrows
// from none, and leaves the top bit clear just where the byte was below 1
// or below 9.
inline bool AllStandAlone(const uint8_t* text, int32_t n) {
    constexpr uint64_t kTop = 0x8080808080808080ull;
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    uint64_t needsRun = 0;
    for (int32_t i = 0; i < n; i += 8) {
        const uint64_t x = LoadLE64(text + i);
        const uint64_t up = x | kTop;
        needsRun |= x | ((up - kOnes) & ~(up - 9 * kOnes));
    }
    return (needsRun & kTop) == 0;
}

// Finds the longest match at every position from the end backwards and, in
// the same pass, the cheapest encoding of each suffix. Returns the size of
// the whole record's encoding. kTextOnly: no byte of the record needs a
// run, as in most text, which leaves runs out of the reckoning.
template <bool kTextOnly>
int32_t ParseBackwards(Workspace& ws, int32_t n, uint16_t tag) {
    const uint8_t* text = ws.text;
    uint16_t* cost = ws.cost;
    std::fill(cost + n, cost + n + kMaxMatch + 1, kUnreachable);
    cost[n] = 0;
    Match right{kNoMatch, n + 1};  // longest match at i + 1
    // First byte after i that cannot stand alone; the zero padding can.
    int32_t nearestRunByte = n + kPad;
    // The costs of the next two suffixes stay in registers: each position's
    // cost waits on them, and read back from memory they would wait on the
    // store just made.
    unsigned cost1 = 0, cost2 = kUnreachable;
    // The least chain entry in the window of i, which moves with i until
    // the window reaches the start.
    uint32_t limit = tag + static_cast<uint32_t>(std::max(n - 1 - kWindow, 0));
    // One position's work, for the last few positions, whose matches the
    // end of the record cuts short, and for all the others, where the
    // longest match is simply the longest there is.
    const auto weigh = [&](int32_t i, int room) __attribute__((always_inline)) {
        const Match here = room >= kMinMatch ? LongestMatch(ws, limit, i, room, right) : Match{kNoMatch, i + 1};
        right = here;

        const uint8_t b = text[i];
        unsigned best;
        uint8_t step;
        if (kTextOnly || StandsAlone(b)) {
            best = cost1 + 1u;
            step = MakeStep(kLiteral, 1);
            // Spaces come and go at random, so the pair (a space, then
            // 0x40..0x7F) is weighed without a branch, by masks: compilers
            // turn a choice between two values into a branch here. The
            // byte after the last is the padding, a zero. notPair is zero
            // just where the pair is possible and no dearer.
            const unsigned notPair = ((unsigned(LoadLE16(text + i)) ^ 0x4020u) & 0xC0FFu) | ((cost1 - cost2) >> 31);
            const unsigned mask = unsigned(int32_t(notPair - 1u) >> 31);
            step = static_cast<uint8_t>(step ^ ((step ^ MakeStep(kSpacePair, 2)) & mask));
            best ^= (best ^ (cost2 + 1u)) & mask;
        } else {
            // A run that starts with a byte that can stand alone is never
            // cheaper than that byte as a literal and the rest as a run, so
            // runs are only tried here.
            best = cost1 + 2u;
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
        // Every length up to the longest is on offer at the same distance.
        // Ties go to the longer copy: fewer tokens decode faster.
        unsigned refBest;
        int chosen;
        if (kTextOnly || nearestRunByte > i + kMaxMatch + 1) {
            // Where the bytes behind a position all stand alone, the rest
            // costs no more from one byte further on (a copy of 3 gives way
            // to two literals, a longer one to a copy one shorter, a pair
            // to a literal), so the longest copy is the cheapest. Without
            // a match this weighs a copy of one byte, which costs more than
            // its literal.
            chosen = here.length;
            refBest = kTextOnly || here.length >= kMinMatch ? cost[i + here.length] : kUnreachable;
        } else {
            refBest = kUnreachable;
            chosen = 0;
            // The costs past the end of the record read as unreachable.
            for (int length = kMinMatch; length <= kMaxMatch; ++length) {
                const unsigned c = length <= here.length ? cost[i + length] : kUnreachable;
                chosen = c <= refBest ? length : chosen;
                refBest = c <= refBest ? c : refBest;
            }
        }
        // The distance is only read where a copy was chosen; storing it
        // always saves a branch.
        const bool reference = refBest + 2u <= best;
        best = reference ? refBest + 2u : best;
        step = reference ? MakeStep(kReference, chosen) : step;
        ws.distance[i] = static_cast<uint16_t>(here.distance);
        cost[i] = static_cast<uint16_t>(best);
        cost2 = cost1;
        cost1 = best;
        ws.step[i] = step;
        if (!kTextOnly && !StandsAlone(b)) nearestRunByte = i;
        limit -= limit > tag;
    };
    int32_t i = n - 1;
    for (; i >= 0 && i > n - kMaxMatch; --i) weigh(i, n - i);
    // Two at a time, which halves the loop's own work.
    for (; i >= 1; i -= 2) {
        weigh(i, kMaxMatch);
        weigh(i - 1, kMaxMatch);
    }
    if (i == 0) weigh(0, kMaxMatch);
    return cost[0];
}

int32_t PlanOptimalParse(Workspace& ws, int32_t n) {
    if (++ws.epoch > kLastEpoch) {
        std::memset(ws.head, 0, sizeof ws.head);
        ws.epoch = 1;
    }
    const uint16_t tag = static_cast<uint16_t>(ws.epoch << kPosBits);
    const uint8_t* text = ws.text;

    ws.wide[0] = ws.wide[1] = kNoByte;
    for (int32_t k = 0; k < n; ++k) ws.wide[kBeforeText + k] = text[k];
    int32_t i = 0;
    // Two at a time, which halves the loop's own work.
    for (; i + kMaxMatch + 1 <= n; i += 2) {
        LinkPosition(ws, tag, i, kMaxMatch, LoadLE64(text + i), LoadLE16(text + i + 8));
        LinkPosition(ws, tag, i + 1, kMaxMatch, LoadLE64(text + i + 1), LoadLE16(text + i + 9));
    }
    for (; i + kMaxMatch <= n; ++i) LinkPosition(ws, tag, i, kMaxMatch, LoadLE64(text + i), LoadLE16(text + i + 8));
    for (; i + kMinMatch <= n; ++i) LinkPosition(ws, tag, i, n - i, LoadLE64(text + i), LoadLE16(text + i + 8));

    return AllStandAlone(text, n) ? ParseBackwards<true>(ws, n, tag) : ParseBackwards<false>(ws, n, tag);
}

void EmitParse(const Workspace& ws, int32_t n, uint8_t* out, const uint8_t* end) {
    const uint8_t* text = ws.text;
    int32_t i = 0;
    // Literals, space pairs and copies alternate at random, so they are
    // written without telling them apart: two bytes always, of which a copy
    // keeps both. The second byte may be one past the token, which is fine
    // until the last byte of the record.
    while (out + 1 < end) {
        const uint8_t step = ws.step[i];
        const int length = step & 0x0F;
        const unsigned kind = step >> 4;
        if (kind == kRun) [[unlikely]] {
            *out++ = static_cast<uint8_t>(length);
            std::memcpy(out, text + i, length);
            out += length;
            i += length;
            continue;
        }
        const unsigned word = 0x8000u | unsigned(ws.distance[i]) << 3 | unsigned(length - kMinMatch);
        const bool reference = kind == kReference;
        const unsigned single = text[i + (kind == kSpacePair)] ^ (kind == kSpacePair ? 0x80u : 0u);
        out[0] = static_cast<uint8_t>(reference ? word >> 8 : single);
        out[1] = static_cast<uint8_t>(word);
        out += 1 + reference;
        i += length;
    }
    while (i < n) {
        const uint8_t step = ws.step[i];
        const int length = step & 0x0F;
        switch (step >> 4) {
        case kLiteral: *out++ = text[i]; break;
        case kSpacePair: *out++ = static_cast<uint8_t>(text[i + 1] ^ 0x80); break;
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

// What a literal or a space pair decodes to, two bytes per first byte, with
// room behind the last to read a whole copy's worth.
constexpr std::array<uint8_t, 2 * 256 + 8> kSingles = [] {
    std::array<uint8_t, 2 * 256 + 8> singles{};
    for (unsigned b = 0; b < 256; ++b) {
        singles[2 * b] = static_cast<uint8_t>(b >= 0xC0 ? 0x20 : b);
        singles[2 * b + 1] = static_cast<uint8_t>(b >= 0xC0 ? b ^ 0x80 : 0);
    }
    return singles;
}();

// For each first byte of a token other than a run: where its output comes
// from, as an address (none for a back-reference, whose source is the
// output), and how many bytes it adds to the output (none for a
// back-reference, whose length is in its second byte).
struct Single {
    uintptr_t source;
    uintptr_t length;
};

const std::array<Single, 256> kSingle = [] {
    std::array<Single, 256> singles{};
    for (unsigned b = 0; b < 256; ++b) {
        if (b < 0x80 || b >= 0xC0)
            singles[b] = {reinterpret_cast<uintptr_t>(kSingles.data() + 2 * b), b >= 0xC0 ? 2u : 1u};
    }
    return singles;
}();

// Far enough from both ends, literals, space pairs and back-references are
// decoded the same way: ten bytes are copied from where the token's output
// comes from (an earlier stretch of the output, or the table of singles)
// and the ends move on by the token's sizes. Which of these comes next is
// anybody's guess in real text, so telling them apart by branches would
// cost more than the bytes written in vain, which the next token
// overwrites. Runs, rare in text, and copies from near by take a branch.
constexpr int32_t kSafeIn = 1 + kMaxRun;  // the longest token
constexpr int32_t kSafeOut = 10;          // every token writes 10 bytes

// Walks the tokens of a record, writing the decoded bytes when Write is set.
// Returns the decoded length, or LUM2_ERROR_CORRUPT as soon as a token is cut
// off, points outside the bytes decoded so far, or would pass limit.
template <bool Write>
int32_t Decode(uint8_t* dst, int32_t limit, const uint8_t* src, int32_t srcLen) {
    const uint8_t* in = src;
    const uint8_t* const end = src + srcLen;
    int32_t out = 0;
    // A copy from fewer than 8 bytes back reads bytes it writes, so it goes
    // byte by byte; only the check matters when nothing is written.
    constexpr int32_t kNearest = Write ? 8 : 1;
    const int32_t lastOut = limit - kSafeOut;
    if (srcLen >= kSafeIn) {
        const uint8_t* const lastIn = end - kSafeIn;
        while (in <= lastIn && out <= lastOut) {
            const unsigned b = in[0];
            const unsigned word = b << 8 | in[1];
            const int32_t distance = (word >> 3) & 0x7FF;
            // The next token's place depends on this token's size, so the
            // size is found by arithmetic rather than by another load.
            const size_t isReference = (0b0100u >> (b >> 6)) & 1;  // 0x80..0xBF
            const int32_t reference = -int32_t(isReference);
            const bool run = b - 1u < unsigned(kMaxRun);
            // Negative for a back-reference that reaches before the output
            // or comes from too near.
            if (run | ((((out - distance) | (distance - kNearest)) & reference) < 0)) [[unlikely]] {
                int32_t length = int32_t(b);
                if (run) {
                    if constexpr (Write) std::memcpy(dst + out, in + 1, size_t(length));
                    in += 1 + length;
                } else {
                    if (distance == 0 || distance > out) return LUM2_ERROR_CORRUPT;
                    length = int32_t(word & 7) + kMinMatch;
                    if constexpr (Write) {
                        uint8_t* to = dst + out;
                        for (int32_t k = 0; k < length; ++k) to[k] = to[k - distance];
                    }
                    in += 2;
                }
                out += length;
                continue;
            }
            const Single& single = kSingle[b];
            if constexpr (Write) {
                // The source is formed as a number: a back-reference's
                // source formed for another token may lie before the
                // output, unused.
                uint8_t* to = dst + out;
                const uintptr_t earlier = reinterpret_cast<uintptr_t>(to) - uintptr_t(distance);
                const uint8_t* from =
                    reinterpret_cast<const uint8_t*>(single.source + (earlier & uintptr_t(intptr_t(reference))));
                // The first 8 bytes land before the last 2 are read: a copy
                // from 8 or 9 bytes back reads some of them.
                uint64_t first;
                uint16_t last;
                std::memcpy(&first, from, 8);
                std::memcpy(to, &first, 8);
                std::memcpy(&last, from + 8, 2);
                std::memcpy(to + 8, &last, 2);
            }
            in += 1 + isReference;
            out += int32_t(single.length) + ((int32_t(word & 7) + kMinMatch) & reference);
        }
    }
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
                for (int32_t k = 0; k < length; ++k) to[k] = to[k - distance];
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

    // The address of thread storage in a shared library costs a call to
    // find. Taken once here and hidden from the optimiser, it is not
    // looked up again wherever the workspace is used.
    Workspace* workspace = &tlsWorkspace;
    asm("" : "+r"(workspace));
    Workspace& ws = *workspace;
    std::memcpy(ws.text, src, static_cast<size_t>(srcLen));
    std::memset(ws.text + srcLen, 0, kPad);

    const int32_t size = PlanOptimalParse(ws, srcLen);
    if (size > dstCapacity) return LUM2_ERROR_CAPACITY;
    EmitParse(ws, srcLen, dst, dst + size);
    return size;
}

int32_t GetUncompSize(const uint8_t* src, int32_t srcLen) {
    if (srcLen < 0 || (src == nullptr && srcLen > 0)) return LUM2_ERROR_ARGUMENT;
    return Decode<false>(nullptr, kMaxDecoded, src, srcLen);
}

int32_t DeCompress(uint8_t* dst, int32_t dstLen, const uint8_t* src, int32_t srcLen) {
    if (srcLen < 0 || dstLen < 0) return LUM2_ERROR_ARGUMENT;
    if ((src == nullptr && srcLen > 0) || (dst == nullptr && dstLen > 0)) return LUM2_ERROR_ARGUMENT;
    // A record never holds more than kMaxDecoded bytes, whatever room the
    // caller offers; this keeps the result equal to GetUncompSize's.
    return Decode<true>(dst, std::min(dstLen, kMaxDecoded), src, srcLen);
}

}  // extern "C"
