#include "link/D2XX_Unit.h"

#ifndef _WIN32
#include "link/SerialPortUnit.h"
#include "link/TransportChoiceUnit.h"
#endif

#include <QLibrary>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Listing with identities

FT_STATUS TD2XXTable::ListAdapters(std::vector<TListedAdapter>& adapters) {
    adapters.clear();
    FT_DWORD count = 0;
    const FT_STATUS status = CreateDeviceInfoList(&count);
    if (status != FT_OK || count == 0)
        return status;
    // Room for every node reported, never fewer than the 50 of the classic array.
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(std::max<FT_DWORD>(count, 50));
    std::memset(static_cast<void*>(nodes.data()), 0, nodes.size() * sizeof(nodes[0]));
    FT_DWORD got = static_cast<FT_DWORD>(nodes.size());
    if (GetDeviceInfoList(nodes.data(), &got) != FT_OK)
        got = 0;
    got = std::min({got, count, static_cast<FT_DWORD>(nodes.size())});
    for (FT_DWORD i = 0; i < got; ++i) {
        const FT_DEVICE_LIST_INFO_NODE& n = nodes[i];
        // Neither field is trusted to hold its NUL.
        TListedAdapter a;
        a.OpenKey =
            QByteArray(n.Description, qsizetype(strnlen(n.Description, sizeof n.Description)));
        a.Description = QString::fromLocal8Bit(a.OpenKey);
        a.SerialNumber = QString::fromLatin1(
            n.SerialNumber, qsizetype(strnlen(n.SerialNumber, sizeof n.SerialNumber)));
        a.Tag = i;
        adapters.push_back(a);
    }
    return FT_OK;
}

FT_STATUS TD2XXTable::OpenAdapter(const TListedAdapter& adapter, FT_HANDLE* pHandle) {
    char description[65] = {};
    std::memcpy(description, adapter.OpenKey.constData(),
                std::min<size_t>(64, static_cast<size_t>(adapter.OpenKey.size())));
    return OpenEx(description, FT_OPEN_BY_DESCRIPTION, pHandle);
}

// ---------------------------------------------------------------------------------------------
// Vendor library

namespace {
using PCreateDeviceInfoList = FT_STATUS(D2XX_CALL*)(FT_DWORD*);
using PGetDeviceInfoList = FT_STATUS(D2XX_CALL*)(FT_DEVICE_LIST_INFO_NODE*, FT_DWORD*);
using POpenEx = FT_STATUS(D2XX_CALL*)(void*, FT_DWORD, FT_HANDLE*);
using PSetBaudRate = FT_STATUS(D2XX_CALL*)(FT_HANDLE, FT_DWORD);
using PSetDataCharacteristics = FT_STATUS(D2XX_CALL*)(FT_HANDLE, uint8_t, uint8_t, uint8_t);
using PSetTimeouts = FT_STATUS(D2XX_CALL*)(FT_HANDLE, FT_DWORD, FT_DWORD);
using PSetLatencyTimer = FT_STATUS(D2XX_CALL*)(FT_HANDLE, uint8_t);
using PPurge = FT_STATUS(D2XX_CALL*)(FT_HANDLE, FT_DWORD);
using PGetQueueStatus = FT_STATUS(D2XX_CALL*)(FT_HANDLE, FT_DWORD*);
using PRead = FT_STATUS(D2XX_CALL*)(FT_HANDLE, void*, FT_DWORD, FT_DWORD*);
using PWrite = FT_STATUS(D2XX_CALL*)(FT_HANDLE, const void*, FT_DWORD, FT_DWORD*);
using PCyclePort = FT_STATUS(D2XX_CALL*)(FT_HANDLE);
using PGetLibraryVersion = FT_STATUS(D2XX_CALL*)(FT_DWORD*);
using PClose = FT_STATUS(D2XX_CALL*)(FT_HANDLE);
} // namespace

struct TVendorD2XXTable::TImpl {
    QLibrary library;
    std::once_flag loaded;
    bool ok = false;
    PCreateDeviceInfoList createDeviceInfoList = nullptr;
    PGetDeviceInfoList getDeviceInfoList = nullptr;
    POpenEx openEx = nullptr;
    PSetBaudRate setBaudRate = nullptr;
    PSetDataCharacteristics setDataCharacteristics = nullptr;
    PSetTimeouts setTimeouts = nullptr;
    PSetLatencyTimer setLatencyTimer = nullptr;
    PPurge purge = nullptr;
    PGetQueueStatus getQueueStatus = nullptr;
    PRead read = nullptr;
    PWrite write = nullptr;
    PCyclePort cyclePort = nullptr;
    PGetLibraryVersion getLibraryVersion = nullptr;
    PClose close = nullptr;

    template <typename F> void resolve(F& target, const char* name) {
        target = reinterpret_cast<F>(library.resolve(name));
    }

    void load() {
        std::call_once(loaded, [this] {
            ok = library.load();
            if (!ok)
                return;
            resolve(createDeviceInfoList, "FT_CreateDeviceInfoList");
            resolve(getDeviceInfoList, "FT_GetDeviceInfoList");
            resolve(openEx, "FT_OpenEx");
            resolve(setBaudRate, "FT_SetBaudRate");
            resolve(setDataCharacteristics, "FT_SetDataCharacteristics");
            resolve(setTimeouts, "FT_SetTimeouts");
            resolve(setLatencyTimer, "FT_SetLatencyTimer");
            resolve(purge, "FT_Purge");
            resolve(getQueueStatus, "FT_GetQueueStatus");
            resolve(read, "FT_Read");
            resolve(write, "FT_Write");
            resolve(cyclePort, "FT_CyclePort");
            resolve(getLibraryVersion, "FT_GetLibraryVersion");
            resolve(close, "FT_Close");
        });
    }

    // Calls the entry point if the library and the symbol are there, else fails cleanly.
    // (The entry point is named by member so that it is read after the library is loaded.)
    template <typename F, typename... A> FT_STATUS call(F TImpl::*entry, A... args) {
        load();
        F fn = this->*entry;
        if (!fn)
            return FT_OTHER_ERROR;
        return fn(args...);
    }
};

TVendorD2XXTable::TVendorD2XXTable(const QString& libraryName) : FImpl(std::make_unique<TImpl>()) {
    FImpl->library.setFileName(libraryName);
}

TVendorD2XXTable::~TVendorD2XXTable() = default;

bool TVendorD2XXTable::IsLoaded() {
    FImpl->load();
    return FImpl->ok;
}

QString TVendorD2XXTable::LibraryFileName() const {
    return FImpl->ok ? FImpl->library.fileName() : QString();
}

FT_STATUS TVendorD2XXTable::CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) {
    return FImpl->call(&TImpl::createDeviceInfoList, lpdwNumDevs);
}

FT_STATUS TVendorD2XXTable::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest,
                                              FT_DWORD* lpdwNumDevs) {
    // The vendor call writes one node per device of its current list and takes no capacity.
    // Rebuild the list, read it into room of its own size, and hand over what fits.
    FImpl->load();
    if (!FImpl->createDeviceInfoList || !FImpl->getDeviceInfoList)
        return FT_OTHER_ERROR;
    const FT_DWORD capacity = *lpdwNumDevs;
    FT_DWORD count = 0;
    FT_STATUS status = FImpl->createDeviceInfoList(&count);
    if (status != FT_OK)
        return status;
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(std::max<FT_DWORD>(count, 1));
    FT_DWORD written = count;
    status = FImpl->getDeviceInfoList(nodes.data(), &written);
    if (status != FT_OK)
        return status;
    const FT_DWORD n = std::min({written, count, capacity});
    std::copy_n(nodes.begin(), n, pDest);
    *lpdwNumDevs = n;
    return FT_OK;
}

FT_STATUS TVendorD2XXTable::OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) {
    return FImpl->call(&TImpl::openEx, pArg1, Flags, pHandle);
}
FT_STATUS TVendorD2XXTable::SetBaudRate(FT_HANDLE h, FT_DWORD BaudRate) {
    return FImpl->call(&TImpl::setBaudRate, h, BaudRate);
}
FT_STATUS TVendorD2XXTable::SetDataCharacteristics(FT_HANDLE h, uint8_t WordLength,
                                                   uint8_t StopBits, uint8_t Parity) {
    return FImpl->call(&TImpl::setDataCharacteristics, h, WordLength, StopBits, Parity);
}
FT_STATUS TVendorD2XXTable::SetTimeouts(FT_HANDLE h, FT_DWORD ReadTimeout, FT_DWORD WriteTimeout) {
    return FImpl->call(&TImpl::setTimeouts, h, ReadTimeout, WriteTimeout);
}
FT_STATUS TVendorD2XXTable::SetLatencyTimer(FT_HANDLE h, uint8_t ucLatency) {
    return FImpl->call(&TImpl::setLatencyTimer, h, ucLatency);
}
FT_STATUS TVendorD2XXTable::Purge(FT_HANDLE h, FT_DWORD Mask) {
    return FImpl->call(&TImpl::purge, h, Mask);
}
FT_STATUS TVendorD2XXTable::GetQueueStatus(FT_HANDLE h, FT_DWORD* dwRxBytes) {
    return FImpl->call(&TImpl::getQueueStatus, h, dwRxBytes);
}
FT_STATUS TVendorD2XXTable::Read(FT_HANDLE h, void* lpBuffer, FT_DWORD dwBytesToRead,
                                 FT_DWORD* lpBytesReturned) {
    return FImpl->call(&TImpl::read, h, lpBuffer, dwBytesToRead, lpBytesReturned);
}
FT_STATUS TVendorD2XXTable::Write(FT_HANDLE h, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                                  FT_DWORD* lpBytesWritten) {
    return FImpl->call(&TImpl::write, h, lpBuffer, dwBytesToWrite, lpBytesWritten);
}
FT_STATUS TVendorD2XXTable::CyclePort(FT_HANDLE h) {
    return FImpl->call(&TImpl::cyclePort, h);
}
FT_STATUS TVendorD2XXTable::GetLibraryVersion(FT_DWORD* lpdwVersion) {
    return FImpl->call(&TImpl::getLibraryVersion, lpdwVersion);
}
FT_STATUS TVendorD2XXTable::Close(FT_HANDLE h) {
    return FImpl->call(&TImpl::close, h);
}

// ---------------------------------------------------------------------------------------------
// Table selection and wrappers

namespace {
// The program's own choice: the vendor library where it loads and lists adapters, the kernel's
// USB-serial driver for the rest. On Windows the vendor's driver is the only way to the adapter.
TD2XXTable& DefaultTable() {
    static TVendorD2XXTable vendor;
#ifdef _WIN32
    return vendor;
#else
    static TSerialPortD2XXTable kernel;
    static TTransportChoiceTable choice(vendor, kernel);
    return choice;
#endif
}
std::atomic<TD2XXTable*> CurrentTable{nullptr};
} // namespace

namespace D2XX {

TD2XXTable& Table() {
    TD2XXTable* t = CurrentTable.load(std::memory_order_acquire);
    return t ? *t : DefaultTable();
}

void SetTable(TD2XXTable* table) {
    CurrentTable.store(table, std::memory_order_release);
}

bool ListAdapters(std::vector<TListedAdapter>& adapters) {
    adapters.clear();
    if (Table().ListAdapters(adapters) == FT_OK)
        return true;
    adapters.clear();
    return false;
}

bool OpenAdapter(const TListedAdapter& adapter, FT_HANDLE& handle) {
    handle = nullptr;
    if (Table().OpenAdapter(adapter, &handle) == FT_OK)
        return true;
    handle = nullptr;
    return false;
}

bool CreateDeviceInfoList(FT_DWORD& count) {
    count = 0;
    if (Table().CreateDeviceInfoList(&count) == FT_OK)
        return true;
    count = 0;
    return false;
}

bool GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, FT_DWORD capacity, FT_DWORD& count) {
    count = capacity;
    if (Table().GetDeviceInfoList(nodes, &count) == FT_OK) {
        count = std::min(count, capacity);
        return true;
    }
    count = 0;
    return false;
}

bool OpenEx(const char* description, FT_DWORD flags, FT_HANDLE& handle) {
    handle = nullptr;
    // The vendor takes a non-const pointer but only reads the description.
    if (Table().OpenEx(const_cast<char*>(description), flags, &handle) == FT_OK)
        return true;
    handle = nullptr;
    return false;
}

bool SetBaudRate(FT_HANDLE handle, FT_DWORD baud) {
    return Table().SetBaudRate(handle, baud) == FT_OK;
}

bool SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                            uint8_t parity) {
    return Table().SetDataCharacteristics(handle, wordLength, stopBits, parity) == FT_OK;
}

bool SetTimeouts(FT_HANDLE handle, FT_DWORD readTimeout, FT_DWORD writeTimeout) {
    return Table().SetTimeouts(handle, readTimeout, writeTimeout) == FT_OK;
}

bool SetLatencyTimer(FT_HANDLE handle, uint8_t latency) {
    return Table().SetLatencyTimer(handle, latency) == FT_OK;
}

bool Purge(FT_HANDLE handle, FT_DWORD mask) {
    return Table().Purge(handle, mask) == FT_OK;
}

bool GetQueueStatus(FT_HANDLE handle, FT_DWORD& rxBytes) {
    rxBytes = 0;
    if (Table().GetQueueStatus(handle, &rxBytes) == FT_OK)
        return true;
    rxBytes = 0;
    return false;
}

bool Read(FT_HANDLE handle, void* buffer, FT_DWORD toRead, FT_DWORD& bytesRead) {
    bytesRead = 0;
    if (Table().Read(handle, buffer, toRead, &bytesRead) == FT_OK) {
        bytesRead = std::min(bytesRead, toRead);
        return true;
    }
    bytesRead = 0;
    return false;
}

bool Write(FT_HANDLE handle, const void* buffer, FT_DWORD toWrite, FT_DWORD& bytesWritten) {
    bytesWritten = 0;
    if (Table().Write(handle, buffer, toWrite, &bytesWritten) == FT_OK) {
        bytesWritten = std::min(bytesWritten, toWrite);
        return true;
    }
    bytesWritten = 0;
    return false;
}

bool CyclePort(FT_HANDLE handle) {
    return Table().CyclePort(handle) == FT_OK;
}

bool GetLibraryVersion(FT_DWORD& version) {
    version = 0;
    if (Table().GetLibraryVersion(&version) == FT_OK)
        return true;
    version = 0;
    return false;
}

bool Close(FT_HANDLE handle) {
    return Table().Close(handle) == FT_OK;
}

} // namespace D2XX
