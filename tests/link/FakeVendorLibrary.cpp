// A tiny libftd2xx / ftd2xx.dll stand-in with the vendor's C entry points: one adapter
// "QRX-7A 0001" with a loop-back plug (what is written comes back to be read).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>

namespace {
struct Node {
    uint32_t Flags, Type, ID, LocId;
    char SerialNumber[16];
    char Description[64];
    void* ftHandle;
};
int Handle = 7;
std::mutex Lock;
std::deque<uint8_t> LoopBack;
} // namespace

extern "C" {
uint32_t FT_CreateDeviceInfoList(uint32_t* n) {
    *n = 1;
    return 0;
}
uint32_t FT_GetDeviceInfoList(Node* nodes, uint32_t* n) {
    std::memset(nodes, 0, sizeof(Node));
    std::strcpy(nodes[0].Description, "QRX-7A 0001");
    *n = 1;
    return 0;
}
uint32_t FT_OpenEx(void* arg, uint32_t flags, void** h) {
    if (flags != 2 || std::strcmp(static_cast<const char*>(arg), "QRX-7A 0001") != 0)
        return 2;
    *h = &Handle;
    return 0;
}
uint32_t FT_SetBaudRate(void*, uint32_t) {
    return 0;
}
uint32_t FT_SetDataCharacteristics(void*, uint8_t, uint8_t, uint8_t) {
    return 0;
}
uint32_t FT_SetTimeouts(void*, uint32_t, uint32_t) {
    return 0;
}
uint32_t FT_SetLatencyTimer(void*, uint8_t) {
    return 0;
}
uint32_t FT_Purge(void*, uint32_t) {
    std::lock_guard guard(Lock);
    LoopBack.clear();
    return 0;
}
uint32_t FT_GetQueueStatus(void*, uint32_t* n) {
    std::lock_guard guard(Lock);
    *n = static_cast<uint32_t>(LoopBack.size());
    return 0;
}
uint32_t FT_Read(void*, void* buffer, uint32_t len, uint32_t* n) {
    std::lock_guard guard(Lock);
    *n = std::min(len, static_cast<uint32_t>(LoopBack.size()));
    std::copy_n(LoopBack.begin(), *n, static_cast<uint8_t*>(buffer));
    LoopBack.erase(LoopBack.begin(), LoopBack.begin() + *n);
    return 0;
}
uint32_t FT_Write(void*, const void* buffer, uint32_t len, uint32_t* n) {
    std::lock_guard guard(Lock);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    LoopBack.insert(LoopBack.end(), bytes, bytes + len);
    *n = len;
    return 0;
}
uint32_t FT_CyclePort(void*) {
    return 0;
}
uint32_t FT_GetLibraryVersion(uint32_t* v) {
    *v = 0x00030216;
    return 0;
}
uint32_t FT_Close(void*) {
    std::lock_guard guard(Lock);
    LoopBack.clear();
    return 0;
}
}
