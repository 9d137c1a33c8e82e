// A greedy PalmDoc encoder, the baseline the optimal parse is measured
// against: at each position it takes the longest back-reference of 3 or more
// bytes, else a space pair, else a literal, else it adds the byte to a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lum2bench {

class GreedyEncoder {
public:
    GreedyEncoder();

    // Worst case for this encoder: a lone byte that needs a run costs two.
    static constexpr size_t Bound(size_t size) { return 2 * size; }

    // Encodes one record of at most 4096 bytes into out (Bound(size) bytes);
    // returns the encoded length.
    size_t Compress(const uint8_t* text, size_t size, uint8_t* out);

private:
    static constexpr int kHashBits = 12;

    void Insert(uint32_t position);
    uint32_t HashAt(uint32_t position) const;

    std::vector<uint8_t> text_;
    std::vector<int32_t> head_;
    std::vector<int32_t> previous_;
    uint32_t size_ = 0;
};

}  // namespace lum2bench
