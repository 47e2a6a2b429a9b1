#pragma once
// A scripted fake D2XX driver: records every call with its arguments and every byte written,
// and plays scripted results. Installs itself as the D2XX table for its lifetime.

#include "link/D2XX_Unit.h"

#include <QByteArray>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class TFakeD2XX : public TD2XXTable {
public:
    struct TCall {
        std::string name;
        std::vector<uint64_t> args; // numeric arguments in order (handles as integers)
        std::string text;           // the description passed to OpenEx
    };

    TFakeD2XX();
    ~TFakeD2XX() override;

    // --- script ---------------------------------------------------------------------------
    void SetDevices(std::vector<std::string> descriptions);
    // The named call ("FT_Write", ...) fails from now on / for its next n calls.
    void Fail(const std::string& call, int times = -1);
    void Heal(const std::string& call);
    void SetWriteLimit(uint32_t maxBytesPerWrite); // short writes
    void QueueRx(const QByteArray& bytes);         // bytes the adapter has received
    void SetLibraryVersion(uint32_t version) { FLibraryVersion = version; }
    // The adapter leaves the bus: it is no longer listed, every call on a handle opened before
    // fails (FT_IO_ERROR) except Close, which releases it. Plug lists it again (a new open is
    // needed).
    void Unplug();
    void Plug();
    // Every FT_Read blocks this long before it answers (a read hanging for its timeout).
    void SetReadDelayMs(int ms);
    // A gate in front of FT_Read: while it is held, every read stops at its start (the driver
    // blocking in the call) until ReleaseReads, so that a test can act while a read is surely
    // under way. HeldReads tells how many reads wait at the gate now.
    void HoldReads();
    void ReleaseReads();
    int HeldReads() const;

    // --- record ---------------------------------------------------------------------------
    std::vector<TCall> Calls() const;
    std::vector<std::string> CallNames() const;
    int CountOf(const std::string& name) const;
    QByteArray Written() const;
    int RxQueued() const; // received bytes no read has taken yet
    void ClearRecord();
    int OpenHandles() const;
    int Opens() const;            // handles ever opened
    int Closes() const;           // handles ever released
    int MostOpenHandles() const;  // the most handles open at one time
    int ReadsInProgress() const;  // FT_Read calls not yet returned
    int ClosesDuringRead() const; // FT_Close of a handle while an FT_Read on it had not returned

    // --- table ----------------------------------------------------------------------------
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
    // Records the call and tells whether the script makes it fail. Caller holds FMutex.
    bool Record(const std::string& name, std::vector<uint64_t> args, std::string text = {});
    bool IsOpen(FT_HANDLE h) const;

    mutable std::mutex FMutex;
    std::vector<std::string> FDevices;
    std::map<std::string, int> FFailures; // -1 = always
    uint32_t FWriteLimit = UINT32_MAX;
    QByteArray FRx;
    QByteArray FWritten;
    uint32_t FLibraryVersion = 0x00010426;
    std::vector<TCall> FCalls;
    std::vector<uintptr_t> FOpen;
    std::vector<uintptr_t> FDead; // opened before an unplug
    std::vector<std::string> FUnplugged;
    bool FPlugged = true;
    int FReadDelayMs = 0;
    bool FReadsHeld = false;
    int FHeldReads = 0;
    std::condition_variable FReadGate;
    int FOpens = 0;
    int FCloses = 0;
    int FMostOpen = 0;
    uintptr_t FNextHandle = 0x100;
    std::vector<uintptr_t> FReading; // one entry per FT_Read under way
    int FClosesDuringRead = 0;
};
