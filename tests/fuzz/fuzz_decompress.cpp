// Feeds arbitrary bytes to the record decoder, and through the encoder and
// back. Buffers are allocated at their exact sizes so that a write one byte
// too far is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "lum2.h"

namespace {

std::unique_ptr<uint8_t[]> Exact(int32_t size) { return std::make_unique<uint8_t[]>(size > 0 ? size : 1); }

// Decodes straight away, then again after sizing the record: the size and
// both decodes must agree.
void DecodeAsRecord(const uint8_t* data, int32_t size) {
    auto roomy = Exact(LUM2_MAX_DECODED_SIZE);
    const int32_t straight = DeCompress(roomy.get(), LUM2_MAX_DECODED_SIZE, data, size);
    for (int sized = 0; sized < 2; ++sized) {
        const int32_t decoded = sized ? GetUncompSize(data, size) : straight;
        if (decoded != straight) std::abort();
        if (decoded < 0) {
            if (decoded != LUM2_ERROR_CORRUPT) std::abort();
            continue;
        }
        if (decoded > LUM2_MAX_DECODED_SIZE) std::abort();
        auto out = Exact(decoded);
        if (DeCompress(out.get(), decoded, data, size) != decoded) std::abort();
        if (std::memcmp(out.get(), roomy.get(), static_cast<size_t>(decoded)) != 0) std::abort();
        if (decoded > 0) {
            auto tight = Exact(decoded - 1);
            if (DeCompress(tight.get(), decoded - 1, data, size) != LUM2_ERROR_CORRUPT) std::abort();
        }
    }
}

void RoundTrip(const uint8_t* data, int32_t size) {
    const int32_t bound = LUM2_COMPRESS_BOUND(size);
    auto packed = Exact(bound);
    const int32_t packedSize = Compress(packed.get(), bound, data, size);
    if (packedSize < 0 || packedSize > bound) std::abort();
    if (size > 0 && packedSize == 0) std::abort();
    auto back = Exact(size);
    if (DeCompress(back.get(), size, packed.get(), packedSize) != size) std::abort();
    if (size > 0 && std::memcmp(back.get(), data, static_cast<size_t>(size)) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A record LUM2 writes is at most 4608 bytes compressed; longer inputs
    // still decode (and are rejected once past 65,535 bytes of output).
    const int32_t recordSize = static_cast<int32_t>(size < (1u << 20) ? size : (1u << 20));
    DecodeAsRecord(data, recordSize);
    RoundTrip(data, recordSize < LUM2_RECORD_SIZE ? recordSize : LUM2_RECORD_SIZE);
    return 0;
}
