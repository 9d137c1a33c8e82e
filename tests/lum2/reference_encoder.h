// Slow, deliberately plain PalmDoc coder used to check the fast one: every
// distance and length is tried at every position, every run length anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lum2test {

// A smallest encoding of text (at most 4096 bytes), by exhaustive search.
std::vector<uint8_t> ReferenceCompress(const std::vector<uint8_t>& text);

// Decodes one record token by token; nullopt when it does not decode to at
// most 4096 bytes.
std::optional<std::vector<uint8_t>> ReferenceDecode(const uint8_t* src, size_t size);

}  // namespace lum2test
