#include "link/ConnectionUnit.h"

#include <QThread>

TConnection* Connection = nullptr;

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
    if (FConnected && FConnection)
        FError = FConnection->IOWrite(Bufor, size);
    else
        FError = _error;
    return FError == _ok;
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
