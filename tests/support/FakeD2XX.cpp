#include "support/FakeD2XX.h"

#include <QThread>

#include <algorithm>
#include <cstring>

TFakeD2XX::TFakeD2XX() {
    D2XX::SetTable(this);
}
TFakeD2XX::~TFakeD2XX() {
    ReleaseReads();
    D2XX::SetTable(nullptr);
}

void TFakeD2XX::SetDevices(std::vector<std::string> descriptions) {
    std::lock_guard g(FMutex);
    FDevices = std::move(descriptions);
}

void TFakeD2XX::Unplug() {
    std::lock_guard g(FMutex);
    if (!FPlugged)
        return;
    FPlugged = false;
    FUnplugged = std::move(FDevices);
    FDevices.clear();
    FDead.insert(FDead.end(), FOpen.begin(), FOpen.end());
}

void TFakeD2XX::Plug() {
    std::lock_guard g(FMutex);
    if (FPlugged)
        return;
    FPlugged = true;
    FDevices = std::move(FUnplugged);
    FUnplugged.clear();
    FRx.clear();
}

void TFakeD2XX::SetReadDelayMs(int ms) {
    std::lock_guard g(FMutex);
    FReadDelayMs = ms;
}

void TFakeD2XX::HoldReads() {
    std::lock_guard g(FMutex);
    FReadsHeld = true;
}

void TFakeD2XX::ReleaseReads() {
    std::lock_guard g(FMutex);
    FReadsHeld = false;
    FReadGate.notify_all();
}

int TFakeD2XX::HeldReads() const {
    std::lock_guard g(FMutex);
    return FHeldReads;
}

int TFakeD2XX::RxQueued() const {
    std::lock_guard g(FMutex);
    return static_cast<int>(FRx.size());
}

int TFakeD2XX::Opens() const {
    std::lock_guard g(FMutex);
    return FOpens;
}

int TFakeD2XX::Closes() const {
    std::lock_guard g(FMutex);
    return FCloses;
}

int TFakeD2XX::ReadsInProgress() const {
    std::lock_guard g(FMutex);
    return static_cast<int>(FReading.size());
}

int TFakeD2XX::ClosesDuringRead() const {
    std::lock_guard g(FMutex);
    return FClosesDuringRead;
}

int TFakeD2XX::MostOpenHandles() const {
    std::lock_guard g(FMutex);
    return FMostOpen;
}

void TFakeD2XX::Fail(const std::string& call, int times) {
    std::lock_guard g(FMutex);
    FFailures[call] = times;
}

void TFakeD2XX::Heal(const std::string& call) {
    std::lock_guard g(FMutex);
    FFailures.erase(call);
}

void TFakeD2XX::SetWriteLimit(uint32_t maxBytesPerWrite) {
    std::lock_guard g(FMutex);
    FWriteLimit = maxBytesPerWrite;
}

void TFakeD2XX::QueueRx(const QByteArray& bytes) {
    std::lock_guard g(FMutex);
    FRx.append(bytes);
}

std::vector<TFakeD2XX::TCall> TFakeD2XX::Calls() const {
    std::lock_guard g(FMutex);
    return FCalls;
}

std::vector<std::string> TFakeD2XX::CallNames() const {
    std::lock_guard g(FMutex);
    std::vector<std::string> names;
    for (const TCall& c : FCalls)
        names.push_back(c.name);
    return names;
}

int TFakeD2XX::CountOf(const std::string& name) const {
    std::lock_guard g(FMutex);
    return static_cast<int>(std::count_if(FCalls.begin(), FCalls.end(),
                                          [&](const TCall& c) { return c.name == name; }));
}

QByteArray TFakeD2XX::Written() const {
    std::lock_guard g(FMutex);
    return FWritten;
}

void TFakeD2XX::ClearRecord() {
    std::lock_guard g(FMutex);
    FCalls.clear();
    FWritten.clear();
}

int TFakeD2XX::OpenHandles() const {
    std::lock_guard g(FMutex);
    return static_cast<int>(FOpen.size());
}

bool TFakeD2XX::Record(const std::string& name, std::vector<uint64_t> args, std::string text) {
    FCalls.push_back({name, std::move(args), std::move(text)});
    auto it = FFailures.find(name);
    if (it == FFailures.end())
        return false;
    if (it->second < 0)
        return true;
    if (--it->second == 0)
        FFailures.erase(it);
    return true;
}

bool TFakeD2XX::IsOpen(FT_HANDLE h) const {
    const auto v = reinterpret_cast<uintptr_t>(h);
    return std::find(FOpen.begin(), FOpen.end(), v) != FOpen.end() &&
           std::find(FDead.begin(), FDead.end(), v) == FDead.end();
}

static uint64_t H(FT_HANDLE h) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h));
}

FT_STATUS TFakeD2XX::CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) {
    std::lock_guard g(FMutex);
    if (Record("FT_CreateDeviceInfoList", {}))
        return FT_IO_ERROR;
    *lpdwNumDevs = static_cast<FT_DWORD>(FDevices.size());
    return FT_OK;
}

FT_STATUS TFakeD2XX::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, FT_DWORD* lpdwNumDevs) {
    std::lock_guard g(FMutex);
    const FT_DWORD capacity = *lpdwNumDevs;
    if (Record("FT_GetDeviceInfoList", {capacity}))
        return FT_IO_ERROR;
    const FT_DWORD n = std::min<FT_DWORD>(capacity, static_cast<FT_DWORD>(FDevices.size()));
    for (FT_DWORD i = 0; i < n; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = pDest[i];
        std::memset(static_cast<void*>(&node), 0, sizeof node);
        node.ID = 0x04036001;
        node.LocId = 0x100 + i;
        std::snprintf(node.SerialNumber, sizeof node.SerialNumber, "FT%06u", unsigned(i));
        // Exactly 64 characters fill the field without a terminating NUL, as the driver may.
        std::memcpy(node.Description, FDevices[i].data(),
                    std::min(FDevices[i].size(), sizeof node.Description));
    }
    *lpdwNumDevs = n;
    return FT_OK;
}

FT_STATUS TFakeD2XX::OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) {
    std::lock_guard g(FMutex);
    const std::string description = static_cast<const char*>(pArg1);
    if (Record("FT_OpenEx", {Flags}, description))
        return FT_DEVICE_NOT_OPENED;
    if (std::find(FDevices.begin(), FDevices.end(), description) == FDevices.end())
        return FT_DEVICE_NOT_FOUND;
    const uintptr_t h = FNextHandle++;
    FOpen.push_back(h);
    ++FOpens;
    FMostOpen = std::max(FMostOpen, static_cast<int>(FOpen.size()));
    *pHandle = reinterpret_cast<FT_HANDLE>(h);
    return FT_OK;
}

FT_STATUS TFakeD2XX::SetBaudRate(FT_HANDLE h, FT_DWORD BaudRate) {
    std::lock_guard g(FMutex);
    if (Record("FT_SetBaudRate", {H(h), BaudRate}) || !IsOpen(h))
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS TFakeD2XX::SetDataCharacteristics(FT_HANDLE h, uint8_t WordLength, uint8_t StopBits,
                                            uint8_t Parity) {
    std::lock_guard g(FMutex);
    if (Record("FT_SetDataCharacteristics", {H(h), WordLength, StopBits, Parity}) || !IsOpen(h))
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS TFakeD2XX::SetTimeouts(FT_HANDLE h, FT_DWORD ReadTimeout, FT_DWORD WriteTimeout) {
    std::lock_guard g(FMutex);
    if (Record("FT_SetTimeouts", {H(h), ReadTimeout, WriteTimeout}) || !IsOpen(h))
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS TFakeD2XX::SetLatencyTimer(FT_HANDLE h, uint8_t ucLatency) {
    std::lock_guard g(FMutex);
    if (Record("FT_SetLatencyTimer", {H(h), ucLatency}) || !IsOpen(h))
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS TFakeD2XX::Purge(FT_HANDLE h, FT_DWORD Mask) {
    std::lock_guard g(FMutex);
    if (Record("FT_Purge", {H(h), Mask}) || !IsOpen(h))
        return FT_IO_ERROR;
    if (Mask & FT_PURGE_RX)
        FRx.clear();
    return FT_OK;
}

FT_STATUS TFakeD2XX::GetQueueStatus(FT_HANDLE h, FT_DWORD* dwRxBytes) {
    std::lock_guard g(FMutex);
    if (Record("FT_GetQueueStatus", {H(h)}) || !IsOpen(h))
        return FT_IO_ERROR;
    *dwRxBytes = static_cast<FT_DWORD>(FRx.size());
    return FT_OK;
}

FT_STATUS TFakeD2XX::Read(FT_HANDLE h, void* lpBuffer, FT_DWORD dwBytesToRead,
                          FT_DWORD* lpBytesReturned) {
    int delay = 0;
    {
        std::unique_lock lock(FMutex);
        if (FReadsHeld) {
            ++FHeldReads;
            FReadGate.wait(lock, [this] { return !FReadsHeld; });
            --FHeldReads;
        }
        delay = FReadDelayMs;
        FReading.push_back(reinterpret_cast<uintptr_t>(h));
    }
    if (delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay)); // the driver blocks, unlocked
    std::lock_guard g(FMutex);
    FReading.erase(std::find(FReading.begin(), FReading.end(), reinterpret_cast<uintptr_t>(h)));
    if (Record("FT_Read", {H(h), dwBytesToRead}) || !IsOpen(h))
        return FT_IO_ERROR;
    const FT_DWORD n = std::min<FT_DWORD>(dwBytesToRead, static_cast<FT_DWORD>(FRx.size()));
    std::memcpy(lpBuffer, FRx.constData(), n);
    FRx.remove(0, n);
    *lpBytesReturned = n;
    return FT_OK;
}

FT_STATUS TFakeD2XX::Write(FT_HANDLE h, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                           FT_DWORD* lpBytesWritten) {
    std::lock_guard g(FMutex);
    if (Record("FT_Write", {H(h), dwBytesToWrite}) || !IsOpen(h))
        return FT_IO_ERROR;
    const FT_DWORD n = std::min(dwBytesToWrite, FWriteLimit);
    FWritten.append(static_cast<const char*>(lpBuffer), n);
    *lpBytesWritten = n;
    return FT_OK;
}

FT_STATUS TFakeD2XX::CyclePort(FT_HANDLE h) {
    std::lock_guard g(FMutex);
    if (Record("FT_CyclePort", {H(h)}) || !IsOpen(h))
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS TFakeD2XX::GetLibraryVersion(FT_DWORD* lpdwVersion) {
    std::lock_guard g(FMutex);
    if (Record("FT_GetLibraryVersion", {}))
        return FT_IO_ERROR;
    *lpdwVersion = FLibraryVersion;
    return FT_OK;
}

FT_STATUS TFakeD2XX::Close(FT_HANDLE h) {
    std::lock_guard g(FMutex);
    const auto v = reinterpret_cast<uintptr_t>(h);
    const auto open = std::find(FOpen.begin(), FOpen.end(), v);
    if (std::find(FReading.begin(), FReading.end(), v) != FReading.end())
        ++FClosesDuringRead;
    if (Record("FT_Close", {H(h)}) || open == FOpen.end())
        return FT_INVALID_HANDLE;
    // A handle of an unplugged adapter is released all the same.
    FOpen.erase(open);
    FDead.erase(std::remove(FDead.begin(), FDead.end(), v), FDead.end());
    ++FCloses;
    return FT_OK;
}
