#pragma once
// Firmware acknowledgements: the one thing the receive thread hands over directly, without the
// GUI thread, because the GUI thread (or the update worker) is waiting for them.

#include <atomic>
#include <cstdint>

class TFirmwareAckSink {
public:
    virtual ~TFirmwareAckSink() = default;
    virtual void SetAckEvent(int32_t frameId) = 0; // signals the waiting update
    virtual void SetStatus(uint8_t status) = 0;    // boot loader's status nibble (code 249)
    virtual int32_t devId() const = 0;             // the board being programmed
};

// The firmware updater registers itself here for its lifetime (null when there is none).
extern std::atomic<TFirmwareAckSink*> FirmwareAckSink;

// The board being programmed, 0 when no update runs. While it is not 0 the receive thread
// decodes only frames from that board.
extern std::atomic<int32_t> UpdatingDeviceId;

// If code is a boot-loader answer (247, 248, 249, 250 to 254) hands it to the sink and returns
// true: for 249 the status (b2 AND 0x0F) is stored first, then the event is signalled.
bool DeliverFirmwareAck(uint8_t code, uint8_t b2);
