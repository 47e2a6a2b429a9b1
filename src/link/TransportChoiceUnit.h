#pragma once
// Which transport reaches an adapter: the vendor library where it loads and lists adapters,
// the kernel's USB-serial driver for the rest (on a Linux machine without the vendor library:
// for all of them).
//
// An adapter both see (the same USB serial number) is listed once, through the vendor library;
// should the vendor library fail to open it (the kernel driver still holds it), the kernel
// driver opens it. Only when both transports contribute devices does the device list say which
// one each came through: " (D2XX)" or " (kernel driver)" after the description.

#include "link/D2XX_Unit.h"

#include <QString>

#include <map>
#include <mutex>
#include <vector>

inline const char* const ViaVendorNote = " (D2XX)";
inline const char* const ViaKernelNote = " (kernel driver)";

class TTransportChoiceTable : public TD2XXTable {
public:
    // Both tables stay the caller's and must outlive this one.
    TTransportChoiceTable(TD2XXTable& vendor, TD2XXTable& kernel);

    // The adapters of both, each once; the transport is named in the notes when both list
    // adapters. A vendor library that is there but cannot count its adapters is an error,
    // unless the kernel driver lists adapters.
    FT_STATUS ListAdapters(std::vector<TListedAdapter>& adapters) override;
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

private:
    struct TEntry {
        FT_DEVICE_LIST_INFO_NODE Node{}; // as listed here (description possibly marked)
        TD2XXTable* Source = nullptr;
        char SourceDescription[64] = {}; // as its own table lists it
        char KernelDescription[64] = {}; // the same adapter through the kernel driver, if any
    };
    struct TAdapterEntry {
        TListedAdapter Listed;        // as listed here
        TD2XXTable* Source = nullptr; // the transport that listed it
        TListedAdapter Own;           // as its own table lists it
        bool HasKernelTwin = false;   // also listed by the kernel driver
        TListedAdapter KernelTwin;
    };
    std::vector<TEntry> Build();
    bool VendorPresent();
    TD2XXTable* Owner(FT_HANDLE h);

    TD2XXTable& FVendor;
    TD2XXTable& FKernel;
    std::mutex FMutex;
    std::vector<TEntry> FListed;
    std::vector<TAdapterEntry> FAdapters;
    std::map<FT_HANDLE, TD2XXTable*> FOpen;
};
