#pragma once
// Building and sending the 12-byte command frame.
//
//   b0 0xAF | b1 code | b2..b9 data | b10 0xF0 + target | b11 (b1 + ... + b10) mod 256

#include "protocol/CommandTableUnit.h"

#include <array>
#include <cstdint>

using TFrame = std::array<uint8_t, FrameSize>;

// (b1 + ... + b10) mod 256; b0 is not included. Used by both directions.
uint8_t FrameChecksum(const uint8_t* frame);
inline uint8_t FrameChecksum(const TFrame& frame) {
    return FrameChecksum(frame.data());
}

// The frame SendFrame would write (no device-kind filter, no I/O).
TFrame BuildFrame(uint8_t target, uint8_t code, const uint8_t data[8]);
TFrame BuildParamsFrame(uint8_t target, uint8_t code, uint16_t W0, uint16_t W1 = 0, uint16_t W2 = 0,
                        uint16_t W3 = 0);

// Writes one frame through Connection. With a kind-222222 device selected only targets 1 and 2
// are written; anything else is dropped without notice. True when the whole frame was written
// (false: no link, a dropped frame or a failed or short write); callers may ignore it.
bool SendFrame(uint8_t target, uint8_t code, const uint8_t data[8]);
// Packs four 16-bit words little-endian into the eight data bytes and sends them.
bool SendParamsFrame(uint8_t target, uint8_t code, uint16_t W0 = 0, uint16_t W1 = 0,
                     uint16_t W2 = 0, uint16_t W3 = 0);

// Whether a frame for target may be written to the selected device kind.
bool TargetAllowedForKind(uint8_t target, int32_t kind);
