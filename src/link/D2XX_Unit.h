#pragma once
// The fourteen D2XX functions the link uses, as a replaceable table.
//
// TD2XXTable is the table: the vendor library (loaded at run time), the scripted fake driver of
// the tests and the simulated laser system each provide one. The D2XX namespace holds the thin
// wrappers the transport calls: each returns true when the library's status is FT_OK and sets its
// output values to 0 when the call fails.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

#if defined(_WIN32) && !defined(_WIN64)
#define D2XX_CALL __stdcall
#else
#define D2XX_CALL
#endif

using FT_HANDLE = void*;
using FT_STATUS = uint32_t; // ULONG: 32 bits on Windows and in the vendor's Linux headers
using FT_DWORD = uint32_t;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr FT_DWORD FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr FT_DWORD FT_PURGE_RX = 1;
inline constexpr FT_DWORD FT_PURGE_TX = 2;

// The vendor's device-list node in the platform's own layout (the handle is pointer-sized).
struct FT_DEVICE_LIST_INFO_NODE {
    FT_DWORD Flags;
    FT_DWORD Type;
    FT_DWORD ID;
    FT_DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// One adapter as a transport lists it: what identifies it, apart from what the operator is told
// about it.
struct TListedAdapter {
    QString Description;  // the adapter's own USB description, whole
    QStringList Notes;    // for the operator: why it does not open, which transport serves it
    QString SerialNumber; // the USB serial number; empty where unknown
    QString PortPath;     // the port's device path; empty where unknown
    QByteArray OpenKey;   // the description field as listed, for an open by description
    uint64_t Tag = 0;     // the listing table's own reference
};

class TD2XXTable {
public:
    virtual ~TD2XXTable() = default;
    // The adapters with their identities and notes. By default read from the device-information
    // list (a count that cannot be read is that call's status; a list that cannot be read is
    // no adapter), without notes.
    virtual FT_STATUS ListAdapters(std::vector<TListedAdapter>& adapters);
    // Opens one adapter of the last listing; by default by its listed description.
    virtual FT_STATUS OpenAdapter(const TListedAdapter& adapter, FT_HANDLE* pHandle);
    virtual FT_STATUS CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) = 0;
    // Fills at most *lpdwNumDevs nodes on entry (the room the caller made); *lpdwNumDevs is the
    // number of nodes written on return.
    virtual FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, FT_DWORD* lpdwNumDevs) = 0;
    virtual FT_STATUS OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE ftHandle, FT_DWORD BaudRate) = 0;
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t WordLength,
                                             uint8_t StopBits, uint8_t Parity) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE ftHandle, FT_DWORD ReadTimeout,
                                  FT_DWORD WriteTimeout) = 0;
    virtual FT_STATUS SetLatencyTimer(FT_HANDLE ftHandle, uint8_t ucLatency) = 0;
    virtual FT_STATUS Purge(FT_HANDLE ftHandle, FT_DWORD Mask) = 0;
    virtual FT_STATUS GetQueueStatus(FT_HANDLE ftHandle, FT_DWORD* dwRxBytes) = 0;
    virtual FT_STATUS Read(FT_HANDLE ftHandle, void* lpBuffer, FT_DWORD dwBytesToRead,
                           FT_DWORD* lpBytesReturned) = 0;
    virtual FT_STATUS Write(FT_HANDLE ftHandle, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                            FT_DWORD* lpBytesWritten) = 0;
    virtual FT_STATUS CyclePort(FT_HANDLE ftHandle) = 0;
    virtual FT_STATUS GetLibraryVersion(FT_DWORD* lpdwVersion) = 0;
    virtual FT_STATUS Close(FT_HANDLE ftHandle) = 0;
};

// The table backed by the vendor library, resolved with QLibrary on first use. A missing library
// or a missing symbol makes that call fail with FT_OTHER_ERROR; nothing aborts.
class TVendorD2XXTable : public TD2XXTable {
public:
    explicit TVendorD2XXTable(const QString& libraryName = QStringLiteral("ftd2xx"));
    ~TVendorD2XXTable() override;

    bool IsLoaded();                 // the library was found (loads it if not tried yet)
    QString LibraryFileName() const; // the file actually loaded, empty if none

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

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

namespace D2XX {

// The table in use. Until SetTable is called it is the vendor library ("ftd2xx") together with
// the kernel's USB-serial driver (TTransportChoiceTable).
TD2XXTable& Table();
// Installs another table (the tests' fake, the simulator); nullptr goes back to the
// default. The caller keeps ownership and must keep the table alive while it is installed.
void SetTable(TD2XXTable* table);

bool ListAdapters(std::vector<TListedAdapter>& adapters);
bool OpenAdapter(const TListedAdapter& adapter, FT_HANDLE& handle);
bool CreateDeviceInfoList(FT_DWORD& count);
bool GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, FT_DWORD capacity, FT_DWORD& count);
bool OpenEx(const char* description, FT_DWORD flags, FT_HANDLE& handle);
bool SetBaudRate(FT_HANDLE handle, FT_DWORD baud);
bool SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity);
bool SetTimeouts(FT_HANDLE handle, FT_DWORD readTimeout, FT_DWORD writeTimeout);
bool SetLatencyTimer(FT_HANDLE handle, uint8_t latency);
bool Purge(FT_HANDLE handle, FT_DWORD mask);
bool GetQueueStatus(FT_HANDLE handle, FT_DWORD& rxBytes);
bool Read(FT_HANDLE handle, void* buffer, FT_DWORD toRead, FT_DWORD& bytesRead);
bool Write(FT_HANDLE handle, const void* buffer, FT_DWORD toWrite, FT_DWORD& bytesWritten);
bool CyclePort(FT_HANDLE handle);
bool GetLibraryVersion(FT_DWORD& version);
bool Close(FT_HANDLE handle);

} // namespace D2XX
