#pragma once
// The laser-head model's root: owns the parameters and the streamed state, decodes the laser
// head's frames on the receive thread.

#include <cstdint>

class TLaser {
public:
    TLaser();
    ~TLaser();
    TLaser(const TLaser&) = delete;
    TLaser& operator=(const TLaser&) = delete;

    // One checked 12-byte frame from the laser head (sender 4); runs on the receive thread.
    void DecodeFrame(const uint8_t* frame);
};

// The one laser-head model, created and freed by the application manager.
extern TLaser* Laser;
