#pragma once
// The single owner of the link to the laser system.

#include "link/Phy_USB_Unit.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class TConnection {
public:
    TConnection();
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Searches for adapters and appends the full name of each one found to DeviceList.
    void GetAvailableDevices(QStringList& DeviceList);
    // Selects the listed device whose full name equals name (the last equal entry wins).
    void SetDeviceID(const QString& name);

    bool Connect();
    bool Connect(const TDeviceID& DeviceID);
    bool CheckConnection();
    bool Disconnect();
    bool Reconnect();

    bool Send(const void* Bufor, uint32_t& size);
    bool Read(void* bufor, uint32_t& size);
    bool GetReadDataCount(uint32_t& size);
    QString GetDriverVersion();
    // The adapter's latency timer: 5 ms while firmware is programmed (each acknowledgement
    // then reaches the PC sooner), the 16 ms default otherwise. Nothing happens without an
    // open transport.
    void SetLowLatencyTimer();
    void SetDefaultLatencyTimer();

    const TDeviceID& DeviceID() const { return FSelectedDevice; }
    bool Connected() const { return FConnected.load(); }
    TConnectionError Error() const { return FError.load(); }
    const TDevicesIDList& DevicesList() const { return FDevicesList; }
    bool HasTransport() const { return FConnection != nullptr; }

    // The wait Reconnect gives the adapter to come back; replaceable so tests need not sleep.
    static constexpr int ReconnectWaitMs = 4780;
    void SetReconnectWait(std::function<void(int ms)> wait) { FReconnectWait = std::move(wait); }

private:
    std::unique_ptr<TUSBConnection> FConnection;
    TDeviceID FSelectedDevice;
    std::atomic<bool> FConnected{false};
    std::atomic<TConnectionError> FError{_ok};
    TDevicesIDList FDevicesList;
    std::function<void(int ms)> FReconnectWait;
};

// The one connection of the run, created and freed by the main window.
extern TConnection* Connection;
