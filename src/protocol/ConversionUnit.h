#pragma once
// The value conversions the senders use.

#include <cmath>
#include <cstdint>

namespace Conv {

// Cuts a real value toward zero (out-of-range values saturate instead of being undefined).
int64_t Trunc(double v);
// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int64_t Round(double v);
// Only bits 0-7 of the value, as the word's first byte.
inline uint16_t LowByte(int64_t v) {
    return static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFF);
}
// The low 16 bits (two's complement for negative values).
inline uint16_t Low16(int64_t v) {
    return static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF);
}
// The high 16 bits of the value's low 32 bits.
inline uint16_t High16(int64_t v) {
    return static_cast<uint16_t>((static_cast<uint64_t>(v) >> 16) & 0xFFFF);
}

} // namespace Conv
