#pragma once
// The adapter through the kernel's own USB-serial driver (ftdi_sio: /dev/ttyUSBn), offered as a
// D2XX table so that everything from TUSBConnection up runs unchanged on it.
//
// Listing reads sysfs: every USB serial tty with its USB product string as the description and
// its USB serial number as the serial number. The data path is plain POSIX termios on the file
// descriptor, so that the receive thread may read while the GUI thread writes.
//
//   - open: 115200 baud, 8 data bits, no parity, one stop bit, raw, no flow control; the port is
//     taken exclusively (another open of it is refused as busy);
//   - latency timer: written to the adapter's sysfs attribute where that is writable, silently
//     nothing where it is not (a pseudo-terminal has none);
//   - purge: both queues flushed; queue status: the bytes waiting;
//   - read: waits up to the read timeout for the bytes asked for and returns what came;
//   - write: finishes the whole buffer within the write timeout; what did not go is reported in
//     the count, never counted as written;
//   - port cycle: a USB port reset where the device node allows it, else a close and reopen;
//   - a device that vanished (unplugged, the far end of a pseudo-terminal gone) fails every
//     call on its handle, as with the vendor library.
//
// A port the user may not open is still listed, its description carrying
// " (no permission: see README)"; a fixed port (--port) that is missing, not a terminal or busy
// carries the reason the same way, so the device list says what is wrong.

#include "link/D2XX_Unit.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

inline const char* const NoPermissionNote = "no permission: see README";

class TSerialPortD2XXTable : public TD2XXTable {
public:
    // One listed port.
    struct TPort {
        QString Description;   // as listed by the device-information list (with any note)
        QString Product;       // the USB product string, whole (a fixed port: its model and path)
        QString Note;          // what is wrong with it for the operator; empty when nothing
        QString SerialNumber;  // the USB serial number
        QString DevicePath;    // /dev/ttyUSB0
        QString LatencyPath;   // the sysfs latency_timer attribute, empty if none
        QString UsbDevicePath; // /dev/bus/usb/BBB/DDD for a port reset, empty if unknown
        uint16_t VendorId = 0;
        uint16_t ProductId = 0;
    };

    // sysfsRoot and devRoot are "/sys" and "/dev" on a real machine.
    explicit TSerialPortD2XXTable(const QString& sysfsRoot = QStringLiteral("/sys"),
                                  const QString& devRoot = QStringLiteral("/dev"));
    ~TSerialPortD2XXTable() override;

    // Lists only this device path, described as "<model> on <path>" for the given device kind
    // (111111: "QRX-7A", 222222: "TMVK v2"), in place of the sysfs scan.
    void SetFixedPort(const QString& path, int32_t kind);

    // The ports as the next listing sees them.
    std::vector<TPort> ScanPorts();

    // Each port with its product string whole, the note apart, its serial number and path.
    FT_STATUS ListAdapters(std::vector<TListedAdapter>& adapters) override;
    // Opens the port at the listed path.
    FT_STATUS OpenAdapter(const TListedAdapter& adapter, FT_HANDLE* pHandle) override;
    FT_STATUS CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) override;
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, FT_DWORD* lpdwNumDevs) override;
    FT_STATUS OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) override;
    FT_STATUS SetBaudRate(FT_HANDLE ftHandle, FT_DWORD BaudRate) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t WordLength, uint8_t StopBits,
                                     uint8_t Parity) override;
    FT_STATUS SetTimeouts(FT_HANDLE ftHandle, FT_DWORD ReadTimeout, FT_DWORD WriteTimeout) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE ftHandle, uint8_t ucLatency) override;
    FT_STATUS Purge(FT_HANDLE ftHandle, FT_DWORD Mask) override;
    FT_STATUS GetQueueStatus(FT_HANDLE ftHandle, FT_DWORD* dwRxBytes) override;
    FT_STATUS Read(FT_HANDLE ftHandle, void* lpBuffer, FT_DWORD dwBytesToRead,
                   FT_DWORD* lpBytesReturned) override;
    FT_STATUS Write(FT_HANDLE ftHandle, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                    FT_DWORD* lpBytesWritten) override;
    FT_STATUS CyclePort(FT_HANDLE ftHandle) override;
    FT_STATUS GetLibraryVersion(FT_DWORD* lpdwVersion) override;
    FT_STATUS Close(FT_HANDLE ftHandle) override;

    struct TOpenPort;

private:
    std::shared_ptr<TOpenPort> Find(FT_HANDLE h);
    FT_STATUS OpenPort(const TPort& port, FT_HANDLE* pHandle);
    void FillNodes(const std::vector<TPort>& ports, FT_DEVICE_LIST_INFO_NODE* nodes, FT_DWORD n);

    QString FSysfsRoot;
    QString FDevRoot;
    QString FFixedPath;
    int32_t FFixedKind = 0;
    std::mutex FMutex;
    std::vector<TPort> FListed;              // the last listing
    std::map<QString, QString> FOpenFailure; // device path -> why its last open failed
    std::map<FT_HANDLE, std::shared_ptr<TOpenPort>> FOpen;
};

// The model name a fixed port of this kind is described with.
QString SerialPortModelName(int32_t kind);
