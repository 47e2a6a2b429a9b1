#pragma once
// The boards' own frame code: packing, checksum and the board-side byte splitter.
//
// Deliberately written apart from the program's sender and receive thread, so that a fault in
// either one shows up against the other.
//
//   0xAF | code | 8 data bytes | sender << 4 | receiver | (bytes 1..10) mod 256

#include <array>
#include <cstdint>
#include <vector>

namespace Sim {

inline constexpr uint8_t Marker = 0xAF;
inline constexpr uint8_t PCNode = 15;
inline constexpr int Length = 12;

using TWire = std::array<uint8_t, Length>;

// Eight data bytes with little-endian helpers (the firmware address alone is big-endian).
struct TPayload {
    uint8_t b[8] = {};

    TPayload& Byte(int i, uint8_t v) {
        b[i] = v;
        return *this;
    }
    TPayload& Word(int i, uint16_t v) { // i-th 16-bit word: bytes 2i, 2i + 1
        b[2 * i] = static_cast<uint8_t>(v);
        b[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        return *this;
    }
    TPayload& Long(int i, uint32_t v) { // i-th 32-bit value: bytes 4i .. 4i + 3
        for (int k = 0; k < 4; ++k)
            b[4 * i + k] = static_cast<uint8_t>(v >> (8 * k));
        return *this;
    }
    uint16_t Word(int i) const { return static_cast<uint16_t>(b[2 * i] | (b[2 * i + 1] << 8)); }
    uint32_t Long(int i) const {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k)
            v = (v << 8) | b[4 * i + k];
        return v;
    }
    uint32_t BigEndianLong() const {
        return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    }
};

// A frame as a board sees it.
struct TCommand {
    uint8_t code = 0;
    uint8_t sender = 0;
    uint8_t receiver = 0;
    TPayload data;
};

uint8_t Sum(const uint8_t* wire); // (bytes 1..10) mod 256
TWire Pack(uint8_t sender, uint8_t receiver, uint8_t code, const TPayload& data);

// Finds frames in the bytes the boards receive: a frame starts at 0xAF and is kept when its sum
// holds; otherwise the scan moves on by one byte.
class TSplitter {
public:
    // Takes one byte; returns true and fills frame when it completed a good frame.
    bool Push(uint8_t byte, TCommand& frame);
    uint64_t BadFrames() const { return FBad; }
    void Clear() { FBuf.clear(); }

private:
    std::vector<uint8_t> FBuf;
    uint64_t FBad = 0;
};

} // namespace Sim
