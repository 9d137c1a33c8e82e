#include "reference_encoder.h"

#include <algorithm>
#include <climits>

namespace lum2test {

namespace {

constexpr size_t kRecordSize = 4096;
constexpr size_t kWindow = 2047;

bool StandsAlone(uint8_t b) { return b == 0 || (b >= 0x09 && b <= 0x7F); }

bool Matches(const std::vector<uint8_t>& text, size_t at, size_t distance, size_t length) {
    for (size_t k = 0; k < length; ++k) {
        if (text[at + k] != text[at + k - distance]) return false;
    }
    return true;
}

enum class Kind { Literal, SpacePair, Run, Reference };

struct Choice {
    Kind kind = Kind::Literal;
    size_t length = 1;
    size_t distance = 0;
};

}  // namespace

std::vector<uint8_t> ReferenceCompress(const std::vector<uint8_t>& text) {
    const size_t n = text.size();
    std::vector<size_t> cost(n + 1, SIZE_MAX);
    std::vector<Choice> choice(n);
    cost[n] = 0;
    for (size_t i = n; i-- > 0;) {
        auto consider = [&](size_t price, Choice c) {
            if (cost[i + c.length] == SIZE_MAX) return;
            if (price + cost[i + c.length] < cost[i]) {
                cost[i] = price + cost[i + c.length];
                choice[i] = c;
            }
        };
        if (StandsAlone(text[i])) consider(1, {Kind::Literal, 1, 0});
        if (text[i] == 0x20 && i + 1 < n && text[i + 1] >= 0x40 && text[i + 1] <= 0x7F) {
            consider(1, {Kind::SpacePair, 2, 0});
        }
        for (size_t k = 1; k <= 8 && i + k <= n; ++k) consider(1 + k, {Kind::Run, k, 0});
        for (size_t length = 3; length <= 10 && i + length <= n; ++length) {
            for (size_t distance = 1; distance <= std::min(i, kWindow); ++distance) {
                if (Matches(text, i, distance, length)) {
                    consider(2, {Kind::Reference, length, distance});
                    break;
                }
            }
        }
    }

    std::vector<uint8_t> out;
    for (size_t i = 0; i < n; i += choice[i].length) {
        const Choice& c = choice[i];
        switch (c.kind) {
            case Kind::Literal:
                out.push_back(text[i]);
                break;
            case Kind::SpacePair:
                out.push_back(static_cast<uint8_t>(text[i + 1] | 0x80));
                break;
            case Kind::Run:
                out.push_back(static_cast<uint8_t>(c.length));
                out.insert(out.end(), text.begin() + i, text.begin() + i + c.length);
                break;
            case Kind::Reference: {
                const unsigned word = 0x8000u | unsigned(c.distance) << 3 | unsigned(c.length - 3);
                out.push_back(static_cast<uint8_t>(word >> 8));
                out.push_back(static_cast<uint8_t>(word & 0xFF));
                break;
            }
        }
    }
    return out;
}

std::optional<std::vector<uint8_t>> ReferenceDecode(const uint8_t* src, size_t size) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < size) {
        const uint8_t b = src[i++];
        if (b == 0 || (b >= 0x09 && b <= 0x7F)) {
            out.push_back(b);
        } else if (b <= 0x08) {
            if (size - i < b) return std::nullopt;
            out.insert(out.end(), src + i, src + i + b);
            i += b;
        } else if (b <= 0xBF) {
            if (i == size) return std::nullopt;
            const unsigned word = unsigned(b) << 8 | src[i++];
            const size_t distance = (word >> 3) & 0x7FF;
            const size_t length = (word & 7) + 3;
            if (distance == 0 || distance > out.size()) return std::nullopt;
            for (size_t k = 0; k < length; ++k) out.push_back(out[out.size() - distance]);
        } else {
            out.push_back(0x20);
            out.push_back(static_cast<uint8_t>(b ^ 0x80));
        }
        if (out.size() > kRecordSize) return std::nullopt;
    }
    return out;
}

}  // namespace lum2test
