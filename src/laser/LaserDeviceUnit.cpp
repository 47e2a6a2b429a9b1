#include "laser/LaserDeviceUnit.h"

#include "protocol/FirmwareAckUnit.h"

TLaser* Laser = nullptr;

TLaser::TLaser() = default;
TLaser::~TLaser() = default;

void TLaser::DecodeFrame(const uint8_t* frame) {
    // Boot-loader answers of the laser head go straight to the firmware updater.
    DeliverFirmwareAck(frame[1], frame[2]);
}
