#pragma once
// The USB transport: an FTDI adapter driven through the D2XX table.

#include "link/D2XX_Unit.h"
#include "link/Phy_Global_Unit.h"

#include <atomic>

// Line settings applied after every successful open.
inline constexpr FT_DWORD LinkBaudRate = 115200;
inline constexpr uint8_t LinkDataBits = 8;
inline constexpr uint8_t LinkStopBits = 0; // one stop bit
inline constexpr uint8_t LinkParity = 0;   // none
inline constexpr FT_DWORD LinkTimeoutMs = 10000;
inline constexpr uint8_t DefaultLatencyMs = 16;
inline constexpr uint8_t HighLatencyMs = 20;
inline constexpr uint8_t LowLatencyMs = 5;
// The driver list is read into at least this many nodes (more when the driver reports more).
inline constexpr FT_DWORD DeviceListNodes = 50;

inline const char* const DescriptionWithLaserHead = "QRX-7A";
inline const char* const DescriptionSecondController = "TMVK v2";

class TUSBConnection : public TPhyLayer {
public:
    ~TUSBConnection() override = default;

    TConnectionError IOEnumDevices(TDevicesIDList& DevicesList) override;
    TConnectionError IOConnect(const TDeviceID& DeviceID) override;
    TConnectionError IODisconnect() override;
    TConnectionError IOReset() override;
    TConnectionError IOWrite(const void* Bufor, uint32_t& size) override;
    TConnectionError IORead(void* Bufor, uint32_t& size) override;
    TConnectionError IOGetReadDataCount(uint32_t& Size) override;
    QString IOGetDriverVersion() override;

    void SetDefaultLatencyTimer();
    void SetHighLatencyTimer();
    void SetLowLatencyTimer();

    FT_HANDLE Handle() const { return FUSBHandle.load(); }

    // The device kind a USB description stands for, 0 when it is none of ours.
    static int32_t KindOfDescription(const QString& description);

private:
    std::atomic<FT_HANDLE> FUSBHandle{nullptr};
};
