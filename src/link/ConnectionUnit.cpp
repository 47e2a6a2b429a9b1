#include "link/ConnectionUnit.h"

#include <QThread>

#include <algorithm>

TConnection* Connection = nullptr;

namespace {
// The reservation key the calling thread sends with (0: none).
thread_local uint64_t CurrentWriteKey = 0;
} // namespace

TLinkWriteScope::TLinkWriteScope(uint64_t key) : FPrevious(CurrentWriteKey) {
    CurrentWriteKey = key;
}

TLinkWriteScope::~TLinkWriteScope() {
    CurrentWriteKey = FPrevious;
}

TConnection::TConnection()
    : FReconnectWait([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }) {}

TConnection::~TConnection() {
    // The owner disconnects before freeing; the transport, the selection and the list go here.
    FConnection.reset();
    FDevicesList.clear();
}

void TConnection::GetAvailableDevices(QStringList& DeviceList) {
    TUSBConnection search; // a short-lived transport just for this search
    FDevicesList.clear();
    FError = search.IOEnumDevices(FDevicesList);
    FDevicesList.DevicesListToStringList(DeviceList);
}

void TConnection::SetDeviceID(const QString& name) {
    for (const TDeviceID& device : FDevicesList)
        if (device.fullName() == name)
            FSelectedDevice.Assign(device);
}

bool TConnection::Connect() {
    if (FSelectedDevice.fullName().isEmpty())
        return false;
    if (!FConnection)
        FConnection = std::make_unique<TUSBConnection>();
    FConnected = CheckConnection();
    if (!FConnected)
        FError = FConnection->IOConnect(FSelectedDevice);
    if (FError == _error)
        return false;
    FConnected = true;
    return true;
}

bool TConnection::Connect(const TDeviceID& DeviceID) {
    FSelectedDevice.Assign(DeviceID);
    return Connect();
}

bool TConnection::CheckConnection() {
    FError = _error;
    if (FConnection) {
        uint32_t count = 0;
        FError = FConnection->IOGetReadDataCount(count);
    }
    return FError == _ok;
}

bool TConnection::Disconnect() {
    if (FConnected)
        FError = FConnection ? FConnection->IODisconnect() : _ok;
    else
        FError = _ok;
    if (FError == _error)
        return false;
    FConnected = false;
    return true;
}

bool TConnection::Reconnect() {
    if (FSelectedDevice.fullName().isEmpty() || !FConnection)
        return false;
    FError = FConnection->IOReset();
    if (FError == _error)
        return false;
    FError = FConnection->IODisconnect();
    if (FError == _error)
        return false;
    FReconnectWait(ReconnectWaitMs);
    FError = FConnection->IOConnect(FSelectedDevice);
    if (FError == _error)
        return false;
    FConnected = true;
    return true;
}

bool TConnection::Send(const void* Bufor, uint32_t& size) {
    std::lock_guard lock(FWriteMutex);
    const uint64_t reserved = FReservation.load();
    if (reserved != 0 && CurrentWriteKey != reserved)
        return false; // the link serves a reservation: nothing else goes out
    if (!FConnected || !FConnection) {
        FError = _error;
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(Bufor);
    const uint32_t wanted = size;
    uint32_t done = 0;
    TConnectionError result = _ok;
    do {
        uint32_t part = wanted - done;
        result = FConnection->IOWrite(bytes + done, part);
        if (result != _ok || part == 0)
            break; // failed, or the line takes nothing more: the count says what went
        done += std::min(part, wanted - done);
    } while (done < wanted);
    size = result == _ok ? done : 0;
    FError = result;
    return result == _ok;
}

uint64_t TConnection::ReserveWriting() {
    std::lock_guard lock(FWriteMutex);
    if (FReservation.load() != 0)
        return 0;
    const uint64_t key = ++FLastKey;
    FReservation.store(key);
    return key;
}

void TConnection::ReleaseWriting(uint64_t key) {
    std::lock_guard lock(FWriteMutex);
    if (key != 0 && FReservation.load() == key)
        FReservation.store(0);
}

bool TConnection::MayWrite() const {
    const uint64_t reserved = FReservation.load();
    return reserved == 0 || CurrentWriteKey == reserved;
}

bool TConnection::Read(void* bufor, uint32_t& size) {
    if (FConnected && FConnection) {
        FError = FConnection->IORead(bufor, size);
    } else {
        size = 0;
        FError = _error;
    }
    return FError == _ok;
}

bool TConnection::GetReadDataCount(uint32_t& size) {
    if (FConnected && FConnection) {
        FError = FConnection->IOGetReadDataCount(size);
    } else {
        size = 0;
        FError = _error;
    }
    return FError == _ok;
}

QString TConnection::GetDriverVersion() {
    return FConnection ? FConnection->IOGetDriverVersion() : QString();
}

void TConnection::SetLowLatencyTimer() {
    if (FConnected && FConnection)
        FConnection->SetLowLatencyTimer();
}

void TConnection::SetDefaultLatencyTimer() {
    if (FConnected && FConnection)
        FConnection->SetDefaultLatencyTimer();
}
