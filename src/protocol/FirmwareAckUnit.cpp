#include "protocol/FirmwareAckUnit.h"

#include "protocol/CommandTableUnit.h"

std::atomic<TFirmwareAckSink*> FirmwareAckSink{nullptr};
std::atomic<int32_t> UpdatingDeviceId{0};

bool DeliverFirmwareAck(uint8_t code, uint8_t b2) {
    if (code < Cmd::FwAddress || code > 254)
        return false;
    TFirmwareAckSink* sink = FirmwareAckSink.load();
    if (!sink)
        return true;
    if (code == Cmd::FwData)
        sink->SetStatus(static_cast<uint8_t>(b2 & 0x0F));
    sink->SetAckEvent(code);
    return true;
}
