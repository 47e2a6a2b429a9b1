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

    // What identifies the device, apart from fullName (the text the device list shows, notes
    // for the operator included): the description as the adapter reports it, and where the
    // transport knows them its USB serial number and port path. Set by the device search.
    void SetIdentity(const QString& description, const QString& usbSerialNumber,
                     const QString& portPath);
    bool HasIdentity() const { return !FDescription.isEmpty(); }
    // The adapter's own description; fullName for an identity made by hand.
    const QString& description() const { return HasIdentity() ? FDescription : FFullName; }
    const QString& usbSerialNumber() const { return FUsbSerialNumber; }
    const QString& portPath() const { return FPortPath; }
    // The same device: the same kind and description, and the same USB serial number or, where
    // either has none, the same port path (where both know one). Notes play no part.
    bool SameDevice(const TDeviceID& other) const;

private:
    TConnectionType FconnectionType = _none;
    QString FFullName;
    int32_t FSerialNumber = 0;
    QString FBTRadio;
    QString FBTAddress;
    QString FDescription;
    QString FUsbSerialNumber;
    QString FPortPath;
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
