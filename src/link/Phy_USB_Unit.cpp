#include "link/Phy_USB_Unit.h"

#include <cstring>
#include <exception>

namespace {

// The 64-byte description field up to its first NUL, from the system's 8-bit code page. The
// field is not trusted to hold a NUL at all.
QString DescriptionText(const FT_DEVICE_LIST_INFO_NODE& node) {
    const char* d = node.Description;
    const size_t n = strnlen(d, sizeof node.Description);
    return QString::fromLocal8Bit(d, static_cast<qsizetype>(n));
}

} // namespace

int32_t TUSBConnection::KindOfDescription(const QString& description) {
    if (description.contains(QLatin1String(DescriptionWithLaserHead), Qt::CaseSensitive))
        return KindControllerWithLaserHead;
    if (description.contains(QLatin1String(DescriptionSecondController), Qt::CaseSensitive))
        return KindSecondController;
    return 0;
}

bool TUSBConnection::ReadDeviceList(std::vector<FT_DEVICE_LIST_INFO_NODE>& nodes) {
    nodes.clear();
    FT_DWORD count = 0;
    if (!D2XX::CreateDeviceInfoList(count))
        return false;
    if (count == 0)
        return true;
    // Room for every node the driver reports, never fewer than the 50 of the classic array.
    nodes.resize(std::max(count, DeviceListNodes));
    std::memset(static_cast<void*>(nodes.data()), 0, nodes.size() * sizeof(nodes[0]));
    FT_DWORD got = 0;
    if (!D2XX::GetDeviceInfoList(nodes.data(), static_cast<FT_DWORD>(nodes.size()), got))
        got = 0;
    nodes.resize(std::min<size_t>(got, count));
    return true;
}

TConnectionError TUSBConnection::IOEnumDevices(TDevicesIDList& DevicesList) {
    try {
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes;
        if (!ReadDeviceList(nodes))
            return _error;
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            const QString description = DescriptionText(node);
            const int32_t kind = KindOfDescription(description);
            if (kind != 0)
                DevicesList.push_back(TDeviceID(_usb, description, kind, QString(), QString()));
        }
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
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes;
        if (!ReadDeviceList(nodes) || nodes.empty())
            return _error;
        // The first adapter whose description contains the selected name and that opens is the
        // one used; later matches are left alone, so no handle is ever opened and forgotten.
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            if (!DescriptionText(node).contains(DeviceID.fullName(), Qt::CaseSensitive))
                continue;
            char description[sizeof node.Description + 1] = {};
            std::memcpy(description, node.Description, sizeof node.Description);
            FT_HANDLE handle = nullptr;
            if (!D2XX::OpenEx(description, FT_OPEN_BY_DESCRIPTION, handle))
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
