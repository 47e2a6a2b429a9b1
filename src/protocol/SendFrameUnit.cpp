#include "protocol/SendFrameUnit.h"

#include "link/ConnectionUnit.h"
#include "protocol/FrameLogUnit.h"

uint8_t FrameChecksum(const uint8_t* frame) {
    unsigned sum = 0;
    for (int i = 1; i <= 10; ++i)
        sum += frame[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

TFrame BuildFrame(uint8_t target, uint8_t code, const uint8_t data[8]) {
    TFrame f{};
    f[0] = FrameStart;
    f[1] = code;
    for (int i = 0; i < 8; ++i)
        f[2 + i] = data[i];
    f[10] = static_cast<uint8_t>((target + 0xF0) & 0xFF);
    f[11] = FrameChecksum(f);
    return f;
}

TFrame BuildParamsFrame(uint8_t target, uint8_t code, uint16_t W0, uint16_t W1, uint16_t W2,
                        uint16_t W3) {
    const uint16_t words[4] = {W0, W1, W2, W3};
    uint8_t data[8];
    for (int i = 0; i < 4; ++i) {
        data[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
        data[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
    return BuildFrame(target, code, data);
}

bool TargetAllowedForKind(uint8_t target, int32_t kind) {
    return kind != KindSecondController || target == BoardController || target == BoardDSP;
}

bool SendFrame(uint8_t target, uint8_t code, const uint8_t data[8]) {
    TConnection* c = Connection;
    if (!c)
        return false;
    const TFrame f = BuildFrame(target, code, data);
    if (!TargetAllowedForKind(target, c->DeviceID().serialNumber()))
        return false;
    uint32_t size = FrameSize;
    // A frame the link refuses (it serves a firmware run) never went out: it is not logged.
    if (c->Connected() && c->MayWrite())
        RecordSentFrame(f.data()); // before the write: an answer is never logged ahead of it
    return c->Send(f.data(), size) && size == FrameSize;
}

bool SendParamsFrame(uint8_t target, uint8_t code, uint16_t W0, uint16_t W1, uint16_t W2,
                     uint16_t W3) {
    const TFrame f = BuildParamsFrame(target, code, W0, W1, W2, W3);
    return SendFrame(target, code, f.data() + 2);
}
