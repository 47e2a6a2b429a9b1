#include "link/Phy_USB_Unit.h"

#include <cstring>
#include <exception>

namespace {

// The device a listed adapter of this kind is: the text the device list shows (the description
// with the notes for the operator), and what identifies it.
TDeviceID ListedDevice(const TListedAdapter& adapter, int32_t kind) {
    QString shown = adapter.Description;
    for (const QString& note : adapter.Notes)
        shown += QStringLiteral(" (") + note + QLatin1Char(')');
    TDeviceID device(_usb, shown, kind, QString(), QString());
    device.SetIdentity(adapter.Description, adapter.SerialNumber, adapter.PortPath);
    return device;
}

} // namespace

int32_t TUSBConnection::KindOfDescription(const QString& description) {
    if (description.contains(QLatin1String(DescriptionWithLaserHead), Qt::CaseSensitive))
        return KindControllerWithLaserHead;
    if (description.contains(QLatin1String(DescriptionSecondController), Qt::CaseSensitive))
        return KindSecondController;
    return 0;
}

TConnectionError TUSBConnection::IOEnumDevices(TDevicesIDList& DevicesList) {
    try {
        std::vector<TListedAdapter> adapters;
        if (!D2XX::ListAdapters(adapters))
            return _error;
        // The kind follows the adapter's own description, whatever notes the list adds.
        for (const TListedAdapter& adapter : adapters)
            if (const int32_t kind = KindOfDescription(adapter.Description))
                DevicesList.push_back(ListedDevice(adapter, kind));
        return _ok;
    } catch (const std::exception&) {
        return _error;
    }
}

TConnectionError TUSBConnection::IOConnect(const TDeviceID& DeviceID) {
    TConnectionError result = _error;
    try {
        // A handle still held (a link whose adapter vanished, or one that failed its line
        // settings) is released before another is opened: the driver keeps one per open.
        if (FT_HANDLE stale = FUSBHandle.exchange(nullptr))
            D2XX::Close(stale);
        std::vector<TListedAdapter> adapters;
        if (!D2XX::ListAdapters(adapters) || adapters.empty())
            return _error;
        // A device found by a search is matched by its identity, whatever notes the list shows
        // meanwhile; one named by hand by a text the listed name contains. The first match
        // that opens is the one used; later matches are left alone, so no handle is ever
        // opened and forgotten.
        for (const TListedAdapter& adapter : adapters) {
            const TDeviceID listed = ListedDevice(adapter, KindOfDescription(adapter.Description));
            if (DeviceID.HasIdentity()
                    ? !listed.SameDevice(DeviceID)
                    : !listed.fullName().contains(DeviceID.fullName(), Qt::CaseSensitive))
                continue;
            FT_HANDLE handle = nullptr;
            if (!D2XX::OpenAdapter(adapter, handle))
                continue;
            FUSBHandle.store(handle);
            if (D2XX::SetBaudRate(handle, LinkBaudRate) &&
                D2XX::SetDataCharacteristics(handle, LinkDataBits, LinkStopBits, LinkParity) &&
                D2XX::SetTimeouts(handle, LinkTimeoutMs, LinkTimeoutMs) &&
                D2XX::Purge(handle, FT_PURGE_RX | FT_PURGE_TX))
                result = _ok;
            SetDefaultLatencyTimer();
            break;
        }
    } catch (const std::exception&) {
        result = _error;
    }
    return result;
}

TConnectionError TUSBConnection::IODisconnect() {
    FT_HANDLE handle = FUSBHandle.load();
    if (!handle)
        return _ok;
    if (!D2XX::Close(handle))
        return _error;
    FUSBHandle.store(nullptr);
    return _ok;
}

TConnectionError TUSBConnection::IOReset() {
    FT_HANDLE handle = FUSBHandle.load();
    if (!handle)
        return _ok;
    return D2XX::CyclePort(handle) ? _ok : _error;
}

TConnectionError TUSBConnection::IOWrite(const void* Bufor, uint32_t& size) {
    FT_DWORD written = 0;
    const bool ok = D2XX::Write(FUSBHandle.load(), Bufor, size, written);
    size = written;
    return ok ? _ok : _error;
}

TConnectionError TUSBConnection::IORead(void* Bufor, uint32_t& size) {
    FT_DWORD got = 0;
    const bool ok = D2XX::Read(FUSBHandle.load(), Bufor, size, got);
    size = got;
    return ok ? _ok : _error;
}

TConnectionError TUSBConnection::IOGetReadDataCount(uint32_t& Size) {
    FT_DWORD queued = 0;
    const bool ok = D2XX::GetQueueStatus(FUSBHandle.load(), queued);
    Size = queued;
    return ok ? _ok : _error;
}

QString TUSBConnection::IOGetDriverVersion() {
    FT_DWORD version = 0;
    D2XX::GetLibraryVersion(version);
    return QStringLiteral("FTDI dll version: ") + QString::number(version);
}

void TUSBConnection::SetDefaultLatencyTimer() {
    D2XX::SetLatencyTimer(FUSBHandle.load(), DefaultLatencyMs);
}
void TUSBConnection::SetHighLatencyTimer() {
    D2XX::SetLatencyTimer(FUSBHandle.load(), HighLatencyMs);
}
void TUSBConnection::SetLowLatencyTimer() {
    D2XX::SetLatencyTimer(FUSBHandle.load(), LowLatencyMs);
}
