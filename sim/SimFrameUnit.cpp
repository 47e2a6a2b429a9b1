#include "sim/SimFrameUnit.h"

#include <algorithm>

namespace Sim {

uint8_t Sum(const uint8_t* wire) {
    uint8_t s = 0;
    for (int i = 1; i < Length - 1; ++i)
        s = static_cast<uint8_t>(s + wire[i]);
    return s;
}

TWire Pack(uint8_t sender, uint8_t receiver, uint8_t code, const TPayload& data) {
    TWire w{};
    w[0] = Marker;
    w[1] = code;
    std::copy(std::begin(data.b), std::end(data.b), w.begin() + 2);
    w[10] = static_cast<uint8_t>((sender << 4) | (receiver & 0x0F));
    w[11] = Sum(w.data());
    return w;
}

bool TSplitter::Push(uint8_t byte, TCommand& frame) {
    FBuf.push_back(byte);
    for (;;) {
        // Drop everything before the next start marker.
        auto start = std::find(FBuf.begin(), FBuf.end(), Marker);
        FBuf.erase(FBuf.begin(), start);
        if (FBuf.size() < static_cast<size_t>(Length))
            return false;
        if (Sum(FBuf.data()) == FBuf[Length - 1]) {
            frame.code = FBuf[1];
            std::copy(FBuf.begin() + 2, FBuf.begin() + 10, frame.data.b);
            frame.sender = static_cast<uint8_t>(FBuf[10] >> 4);
            frame.receiver = static_cast<uint8_t>(FBuf[10] & 0x0F);
            FBuf.erase(FBuf.begin(), FBuf.begin() + Length);
            return true;
        }
        ++FBad;
        FBuf.erase(FBuf.begin());
    }
}

} // namespace Sim
