#pragma once
// Drives the simulated laser system through the program's own link (TConnection and the frame
// senders) and cuts what comes back into frames.

#include "link/ConnectionUnit.h"
#include "sim/SimulatorUnit.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

struct TRxFrame {
    uint8_t b[12] = {};
    uint8_t Code() const { return b[1]; }
    uint8_t Sender() const { return b[10] >> 4; }
    uint8_t Receiver() const { return b[10] & 0x0F; }
    uint16_t W(int i = 0) const { return static_cast<uint16_t>(b[2 + 2 * i] | b[3 + 2 * i] << 8); }
    uint32_t L(int i = 0) const {
        return static_cast<uint32_t>(W(2 * i)) | static_cast<uint32_t>(W(2 * i + 1)) << 16;
    }
    int64_t TimeNs = 0; // simulated time of the read that brought it
};

// Start marker, twelve bytes, checksum; a bad candidate costs one byte.
class TRxSplitter {
public:
    void Feed(const QByteArray& bytes, int64_t timeNs, std::vector<TRxFrame>& out);
    int BadSums = 0;
    int SkippedBytes = 0;

private:
    QByteArray FPending;
};

class TSimLink {
public:
    explicit TSimLink(const TSimulatorOptions& options = TSimulatorOptions::ForTests());
    ~TSimLink();

    bool Connect(); // search, select the first device, connect
    // Moves the clock on in steps, reading what arrives as the receive thread would.
    std::vector<TRxFrame> Pump(double ms, double stepMs = 3);
    // Frames of one sender and code among those.
    static std::vector<TRxFrame> Only(const std::vector<TRxFrame>& frames, uint8_t sender,
                                      uint8_t code);
    // Sends one request and returns the frames of that code from that board within 50 ms.
    std::vector<TRxFrame> Ask(uint8_t target, uint8_t code, uint16_t w0 = 0, uint16_t w1 = 0,
                              uint16_t w2 = 0, uint16_t w3 = 0);

    TSimulatedLaserSystem Sim;
    TRxSplitter Splitter;
};
