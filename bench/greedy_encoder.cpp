#include "greedy_encoder.h"

#include <algorithm>
#include <cstring>

namespace lum2bench {

namespace {

constexpr uint32_t kRecordSize = 4096;
constexpr uint32_t kWindow = 2047;
constexpr uint32_t kMaxMatch = 10;
constexpr uint32_t kPad = 16;

bool StandsAlone(uint8_t b) { return b == 0 || (b >= 0x09 && b < 0x80); }

}  // namespace

GreedyEncoder::GreedyEncoder() : text_(kRecordSize + kPad), head_(size_t{1} << kHashBits), previous_(kRecordSize) {}

uint32_t GreedyEncoder::HashAt(uint32_t position) const {
    const uint32_t key = text_[position] | uint32_t(text_[position + 1]) << 8 | uint32_t(text_[position + 2]) << 16;
    return (key * 2654435761u) >> (32 - kHashBits);
}

void GreedyEncoder::Insert(uint32_t position) {
    if (position + 3 > size_) return;
    const uint32_t h = HashAt(position);
    previous_[position] = head_[h];
    head_[h] = static_cast<int32_t>(position);
}

size_t GreedyEncoder::Compress(const uint8_t* text, size_t size, uint8_t* out) {
    size_ = static_cast<uint32_t>(std::min<size_t>(size, kRecordSize));
    std::memcpy(text_.data(), text, size_);
    std::memset(text_.data() + size_, 0, kPad);
    std::fill(head_.begin(), head_.end(), -1);

    uint8_t* const start = out;
    uint8_t* run = nullptr;  // count byte of the open run, if any
    auto closeRun = [&] { run = nullptr; };

    uint32_t i = 0;
    while (i < size_) {
        // Longest match in the window, walking every earlier position with
        // the same three-byte hash.
        uint32_t bestLength = 0;
        uint32_t bestDistance = 0;
        const uint32_t room = std::min(kMaxMatch, size_ - i);
        if (room >= 3) {
            for (int32_t p = head_[HashAt(i)]; p >= 0 && i - uint32_t(p) <= kWindow; p = previous_[p]) {
                uint32_t length = 0;
                while (length < room && text_[p + length] == text_[i + length]) ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = i - uint32_t(p);
                    if (length == room) break;
                }
            }
        }

        const uint8_t b = text_[i];
        if (bestLength >= 3) {
            closeRun();
            const uint32_t word = 0x8000u | bestDistance << 3 | (bestLength - 3);
            *out++ = static_cast<uint8_t>(word >> 8);
            *out++ = static_cast<uint8_t>(word);
            for (uint32_t k = 0; k < bestLength; ++k) Insert(i + k);
            i += bestLength;
        } else if (b == 0x20 && i + 1 < size_ && text_[i + 1] >= 0x40 && text_[i + 1] < 0x80) {
            closeRun();
            *out++ = static_cast<uint8_t>(text_[i + 1] ^ 0x80);
            Insert(i);
            Insert(i + 1);
            i += 2;
        } else if (StandsAlone(b)) {
            closeRun();
            *out++ = b;
            Insert(i);
            ++i;
        } else {
            if (run == nullptr || *run == 8) {
                run = out++;
                *run = 0;
            }
            ++*run;
            *out++ = b;
            Insert(i);
            ++i;
        }
    }
    return static_cast<size_t>(out - start);
}

}  // namespace lum2bench
