#pragma once
// The single owner of the link to the laser system.

#include "link/Phy_USB_Unit.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

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

    // Writes the bytes whole: one writer at a time, a short write of the driver followed by the
    // rest (as long as the line takes bytes at all), so that a frame is never cut or mixed with
    // another thread's. Refused (false, nothing written) while a reservation is held and the
    // calling thread does not send as its holder.
    bool Send(const void* Bufor, uint32_t& size);
    bool Read(void* bufor, uint32_t& size);
    bool GetReadDataCount(uint32_t& size);
    QString GetDriverVersion();
    // The adapter's latency timer: 5 ms while firmware is programmed (each acknowledgement
    // then reaches the PC sooner), the 16 ms default otherwise. Nothing happens without an
    // open transport.
    void SetLowLatencyTimer();
    void SetDefaultLatencyTimer();

    // --- one writer on the link -------------------------------------------------------------
    // Reserves the link's writing for one user (a firmware run): from now on only what is sent
    // inside a TLinkWriteScope with the returned key is written. Returns 0 (nothing reserved)
    // while another reservation holds. Returns once no other write is under way.
    uint64_t ReserveWriting();
    void ReleaseWriting(uint64_t key);
    bool WritingReserved() const { return FReservation.load() != 0; }
    // Whether a frame sent now on the calling thread would be let through by the reservation.
    bool MayWrite() const;

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
    std::mutex FWriteMutex; // one writer at a time, whole buffers
    std::atomic<uint64_t> FReservation{0};
    uint64_t FLastKey = 0;
};

// Frames sent on this thread while it lives are the reservation's own (key from
// TConnection::ReserveWriting). Scopes nest; the inner key holds until it ends.
class TLinkWriteScope {
public:
    explicit TLinkWriteScope(uint64_t key);
    ~TLinkWriteScope();
    TLinkWriteScope(const TLinkWriteScope&) = delete;
    TLinkWriteScope& operator=(const TLinkWriteScope&) = delete;

private:
    uint64_t FPrevious;
};

// The one connection of the run, created and freed by the main window.
extern TConnection* Connection;
