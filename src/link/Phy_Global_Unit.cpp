#include "link/Phy_Global_Unit.h"

TDeviceID::TDeviceID(TConnectionType connectionType, const QString& fullName, int32_t serialNumber,
                     const QString& btRadio, const QString& btAddress)
    : FconnectionType(connectionType), FFullName(fullName), FSerialNumber(serialNumber),
      FBTRadio(btRadio), FBTAddress(btAddress) {}

void TDevicesIDList::DevicesListToStringList(QStringList& DevicesList) const {
    for (const TDeviceID& device : *this)
        DevicesList.append(device.fullName());
}
