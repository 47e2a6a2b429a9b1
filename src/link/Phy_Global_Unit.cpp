#include "link/Phy_Global_Unit.h"

TDeviceID::TDeviceID(TConnectionType connectionType, const QString& fullName, int32_t serialNumber,
                     const QString& btRadio, const QString& btAddress)
    : FconnectionType(connectionType), FFullName(fullName), FSerialNumber(serialNumber),
      FBTRadio(btRadio), FBTAddress(btAddress) {}

void TDeviceID::SetIdentity(const QString& description, const QString& usbSerialNumber,
                            const QString& portPath) {
    FDescription = description;
    FUsbSerialNumber = usbSerialNumber;
    FPortPath = portPath;
}

bool TDeviceID::SameDevice(const TDeviceID& other) const {
    if (FSerialNumber != other.FSerialNumber || description() != other.description() ||
        description().isEmpty())
        return false;
    if (!FUsbSerialNumber.isEmpty() && !other.FUsbSerialNumber.isEmpty())
        return FUsbSerialNumber == other.FUsbSerialNumber; // the port may change on the bus
    if (!FPortPath.isEmpty() && !other.FPortPath.isEmpty())
        return FPortPath == other.FPortPath;
    return true;
}

void TDevicesIDList::DevicesListToStringList(QStringList& DevicesList) const {
    for (const TDeviceID& device : *this)
        DevicesList.append(device.fullName());
}
