#pragma once
// Identities of attached devices and the abstract physical layer under the connection manager.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

enum TConnectionError { _ok = 0, _error = 1 };

enum TConnectionType { _none = 0, _usb = 1, _bt = 2, _simulator = 3 };

// Device-kind codes kept in TDeviceID::serialNumber.
inline constexpr int32_t KindControllerWithLaserHead = 111111; // "QRX-7A"
inline constexpr int32_t KindSecondController = 222222;        // "TMVK v2"

// One attached device. serialNumber holds the device-kind code, not a factory serial number.
class TDeviceID {
public:
    TDeviceID() = default;
    TDeviceID(TConnectionType connectionType, const QString& fullName, int32_t serialNumber,
              const QString& btRadio, const QString& btAddress);

    void Assign(const TDeviceID& Source) { *this = Source; }

    TConnectionType connectionType() const { return FconnectionType; }
    const QString& fullName() const { return FFullName; }
    int32_t serialNumber() const { return FSerialNumber; }
    const QString& btRadio() const { return FBTRadio; }
    const QString& btAddress() const { return FBTAddress; }

private:
    TConnectionType FconnectionType = _none;
    QString FFullName;
    int32_t FSerialNumber = 0;
    QString FBTRadio;
    QString FBTAddress;
};

// The devices found by one search, in driver order.
class TDevicesIDList : public std::vector<TDeviceID> {
public:
    // Appends the full name of every item to DevicesList (which is not cleared first).
    void DevicesListToStringList(QStringList& DevicesList) const;
};

// The physical layer: opens an adapter, configures the line and moves raw bytes.
class TPhyLayer {
public:
    virtual ~TPhyLayer() = default;
    virtual TConnectionError IOEnumDevices(TDevicesIDList& DevicesList) = 0;
    virtual TConnectionError IOConnect(const TDeviceID& DeviceID) = 0;
    virtual TConnectionError IODisconnect() = 0;
    virtual TConnectionError IOReset() = 0;
    virtual TConnectionError IOWrite(const void* Bufor, uint32_t& size) = 0;
    virtual TConnectionError IORead(void* Bufor, uint32_t& size) = 0;
    virtual TConnectionError IOGetReadDataCount(uint32_t& Size) = 0;
    virtual QString IOGetDriverVersion() = 0;
};
