// The numbers of a Palm database are big-endian: 16-bit words and 32-bit
// longs, high byte first, at any byte position of a buffer.
#pragma once

#include <cstdint>

namespace lum2 {

// The word at in[0..1].
inline uint16_t GetWord(const uint8_t* in) { return static_cast<uint16_t>((in[0] << 8) | in[1]); }

// The long at in[0..3].
inline uint32_t GetLong(const uint8_t* in) {
    return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | in[3];
}

// Stores the low 16 bits of value at out[0..1].
inline void PutWord(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

// Stores value at out[0..3].
inline void PutLong(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

}  // namespace lum2
