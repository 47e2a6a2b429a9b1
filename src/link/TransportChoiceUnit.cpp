#include "link/TransportChoiceUnit.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_DWORD OpenBySerialNumber = 1;

std::vector<FT_DEVICE_LIST_INFO_NODE> ListOf(TD2XXTable& table) {
    FT_DWORD count = 0;
    if (table.CreateDeviceInfoList(&count) != FT_OK || count == 0)
        return {};
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    std::memset(static_cast<void*>(nodes.data()), 0, nodes.size() * sizeof(nodes[0]));
    FT_DWORD got = count;
    if (table.GetDeviceInfoList(nodes.data(), &got) != FT_OK)
        return {};
    nodes.resize(std::min(got, count));
    return nodes;
}

std::string Field(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

void Mark(char (&description)[64], const char* note) {
    const size_t noteLength = std::strlen(note);
    const size_t keep =
        std::min(strnlen(description, sizeof description), sizeof description - 1 - noteLength);
    std::memcpy(description + keep, note, noteLength);
    description[keep + noteLength] = '\0';
}

} // namespace

TTransportChoiceTable::TTransportChoiceTable(TD2XXTable& vendor, TD2XXTable& kernel)
    : FVendor(vendor), FKernel(kernel) {}

std::vector<TTransportChoiceTable::TEntry> TTransportChoiceTable::Build() {
    const std::vector<FT_DEVICE_LIST_INFO_NODE> vendor = ListOf(FVendor);
    const std::vector<FT_DEVICE_LIST_INFO_NODE> kernel = ListOf(FKernel);
    std::vector<TEntry> entries;
    for (const FT_DEVICE_LIST_INFO_NODE& n : vendor) {
        TEntry e;
        e.Node = n;
        e.Source = &FVendor;
        std::memcpy(e.SourceDescription, n.Description, sizeof n.Description);
        entries.push_back(e);
    }
    size_t fromVendor = entries.size();
    for (const FT_DEVICE_LIST_INFO_NODE& n : kernel) {
        const std::string serial = Field(n.SerialNumber, sizeof n.SerialNumber);
        auto same =
            std::find_if(entries.begin(), entries.begin() + fromVendor, [&](const TEntry& e) {
                return !serial.empty() &&
                       Field(e.Node.SerialNumber, sizeof e.Node.SerialNumber) == serial;
            });
        if (same != entries.begin() + fromVendor) {
            std::memcpy(same->KernelDescription, n.Description, sizeof n.Description);
            continue;
        }
        TEntry e;
        e.Node = n;
        e.Source = &FKernel;
        std::memcpy(e.SourceDescription, n.Description, sizeof n.Description);
        entries.push_back(e);
    }
    if (fromVendor > 0 && entries.size() > fromVendor)
        for (TEntry& e : entries)
            Mark(e.Node.Description, e.Source == &FVendor ? ViaVendorNote : ViaKernelNote);
    return entries;
}

bool TTransportChoiceTable::VendorPresent() {
    auto* vendor = dynamic_cast<TVendorD2XXTable*>(&FVendor);
    return !vendor || vendor->IsLoaded(); // a stand-in table is always there
}

FT_STATUS TTransportChoiceTable::ListAdapters(std::vector<TListedAdapter>& adapters) {
    adapters.clear();
    std::vector<TListedAdapter> vendor, kernel;
    const FT_STATUS vendorStatus = FVendor.ListAdapters(vendor);
    if (vendorStatus != FT_OK)
        vendor.clear();
    if (FKernel.ListAdapters(kernel) != FT_OK)
        kernel.clear();
    if (vendorStatus != FT_OK && kernel.empty() && VendorPresent())
        return vendorStatus; // the library is there and cannot say what is attached

    std::vector<TAdapterEntry> entries;
    for (const TListedAdapter& a : vendor)
        entries.push_back({a, &FVendor, a, false, {}});
    const size_t fromVendor = entries.size();
    for (const TListedAdapter& a : kernel) {
        const auto same = std::find_if(
            entries.begin(), entries.begin() + fromVendor, [&](const TAdapterEntry& e) {
                return !a.SerialNumber.isEmpty() && e.Own.SerialNumber == a.SerialNumber;
            });
        if (same != entries.begin() + fromVendor) {
            same->HasKernelTwin = true;
            same->KernelTwin = a;
            if (same->Listed.PortPath.isEmpty())
                same->Listed.PortPath = a.PortPath;
            continue;
        }
        entries.push_back({a, &FKernel, a, false, {}});
    }
    const bool both = fromVendor > 0 && entries.size() > fromVendor;
    for (size_t i = 0; i < entries.size(); ++i) {
        TAdapterEntry& e = entries[i];
        if (both)
            e.Listed.Notes << (e.Source == &FVendor ? QStringLiteral("D2XX")
                                                    : QStringLiteral("kernel driver"));
        e.Listed.Tag = i;
        adapters.push_back(e.Listed);
    }
    std::lock_guard g(FMutex);
    FAdapters = std::move(entries);
    return FT_OK;
}

FT_STATUS TTransportChoiceTable::OpenAdapter(const TListedAdapter& adapter, FT_HANDLE* pHandle) {
    if (!pHandle)
        return FT_INVALID_PARAMETER;
    TAdapterEntry entry;
    {
        std::lock_guard g(FMutex);
        auto same = [&](const TAdapterEntry& e) {
            return e.Listed.Description == adapter.Description &&
                   e.Listed.SerialNumber == adapter.SerialNumber &&
                   e.Listed.PortPath == adapter.PortPath;
        };
        auto it = adapter.Tag < FAdapters.size() && same(FAdapters[adapter.Tag])
                      ? FAdapters.begin() + static_cast<std::ptrdiff_t>(adapter.Tag)
                      : std::find_if(FAdapters.begin(), FAdapters.end(), same);
        if (it == FAdapters.end())
            return FT_DEVICE_NOT_FOUND;
        entry = *it;
    }
    TD2XXTable* used = entry.Source;
    FT_STATUS status = used->OpenAdapter(entry.Own, pHandle);
    if (status != FT_OK && entry.HasKernelTwin) {
        // Listed by the vendor library, still held by the kernel driver.
        used = &FKernel;
        status = used->OpenAdapter(entry.KernelTwin, pHandle);
    }
    if (status == FT_OK) {
        std::lock_guard g(FMutex);
        FOpen[*pHandle] = used;
    }
    return status;
}

FT_STATUS TTransportChoiceTable::CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) {
    std::vector<TEntry> entries = Build();
    std::lock_guard g(FMutex);
    FListed = std::move(entries);
    *lpdwNumDevs = static_cast<FT_DWORD>(FListed.size());
    return FT_OK;
}

FT_STATUS TTransportChoiceTable::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest,
                                                   FT_DWORD* lpdwNumDevs) {
    std::vector<TEntry> entries = Build();
    std::lock_guard g(FMutex);
    FListed = std::move(entries);
    const FT_DWORD n = std::min<FT_DWORD>(*lpdwNumDevs, static_cast<FT_DWORD>(FListed.size()));
    for (FT_DWORD i = 0; i < n; ++i)
        pDest[i] = FListed[i].Node;
    *lpdwNumDevs = n;
    return FT_OK;
}

FT_STATUS TTransportChoiceTable::OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) {
    if (!pArg1 || !pHandle)
        return FT_INVALID_PARAMETER;
    const char* arg = static_cast<const char*>(pArg1);
    std::vector<TEntry> listed;
    {
        std::lock_guard g(FMutex);
        listed = FListed;
    }
    if (listed.empty())
        listed = Build();
    FT_STATUS status = FT_DEVICE_NOT_FOUND;
    for (TEntry& e : listed) {
        const bool match =
            Flags == OpenBySerialNumber
                ? std::strncmp(arg, e.Node.SerialNumber, sizeof e.Node.SerialNumber) == 0
                : std::strncmp(arg, e.Node.Description, sizeof e.Node.Description) == 0;
        if (!match)
            continue;
        TD2XXTable* used = e.Source;
        void* own = Flags == OpenBySerialNumber ? static_cast<void*>(e.Node.SerialNumber)
                                                : static_cast<void*>(e.SourceDescription);
        status = used->OpenEx(own, Flags, pHandle);
        if (status != FT_OK && e.KernelDescription[0] != '\0') {
            // Listed by the vendor library, still held by the kernel driver.
            used = &FKernel;
            own = Flags == OpenBySerialNumber ? static_cast<void*>(e.Node.SerialNumber)
                                              : static_cast<void*>(e.KernelDescription);
            status = used->OpenEx(own, Flags, pHandle);
        }
        if (status == FT_OK) {
            std::lock_guard g(FMutex);
            FOpen[*pHandle] = used;
            return FT_OK;
        }
    }
    return status;
}

TD2XXTable* TTransportChoiceTable::Owner(FT_HANDLE h) {
    std::lock_guard g(FMutex);
    auto it = FOpen.find(h);
    return it == FOpen.end() ? nullptr : it->second;
}

FT_STATUS TTransportChoiceTable::SetBaudRate(FT_HANDLE h, FT_DWORD BaudRate) {
    TD2XXTable* t = Owner(h);
    return t ? t->SetBaudRate(h, BaudRate) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::SetDataCharacteristics(FT_HANDLE h, uint8_t WordLength,
                                                        uint8_t StopBits, uint8_t Parity) {
    TD2XXTable* t = Owner(h);
    return t ? t->SetDataCharacteristics(h, WordLength, StopBits, Parity) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::SetTimeouts(FT_HANDLE h, FT_DWORD ReadTimeout,
                                             FT_DWORD WriteTimeout) {
    TD2XXTable* t = Owner(h);
    return t ? t->SetTimeouts(h, ReadTimeout, WriteTimeout) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::SetLatencyTimer(FT_HANDLE h, uint8_t ucLatency) {
    TD2XXTable* t = Owner(h);
    return t ? t->SetLatencyTimer(h, ucLatency) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::Purge(FT_HANDLE h, FT_DWORD Mask) {
    TD2XXTable* t = Owner(h);
    return t ? t->Purge(h, Mask) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::GetQueueStatus(FT_HANDLE h, FT_DWORD* dwRxBytes) {
    TD2XXTable* t = Owner(h);
    return t ? t->GetQueueStatus(h, dwRxBytes) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::Read(FT_HANDLE h, void* lpBuffer, FT_DWORD dwBytesToRead,
                                      FT_DWORD* lpBytesReturned) {
    TD2XXTable* t = Owner(h);
    return t ? t->Read(h, lpBuffer, dwBytesToRead, lpBytesReturned) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::Write(FT_HANDLE h, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                                       FT_DWORD* lpBytesWritten) {
    TD2XXTable* t = Owner(h);
    return t ? t->Write(h, lpBuffer, dwBytesToWrite, lpBytesWritten) : FT_INVALID_HANDLE;
}
FT_STATUS TTransportChoiceTable::CyclePort(FT_HANDLE h) {
    TD2XXTable* t = Owner(h);
    return t ? t->CyclePort(h) : FT_INVALID_HANDLE;
}

FT_STATUS TTransportChoiceTable::GetLibraryVersion(FT_DWORD* lpdwVersion) {
    // The vendor library's version where it is there, else the kernel driver's.
    if (FVendor.GetLibraryVersion(lpdwVersion) == FT_OK)
        return FT_OK;
    return FKernel.GetLibraryVersion(lpdwVersion);
}

FT_STATUS TTransportChoiceTable::Close(FT_HANDLE h) {
    TD2XXTable* t = Owner(h);
    if (!t)
        return FT_INVALID_HANDLE;
    const FT_STATUS s = t->Close(h);
    if (s == FT_OK) {
        std::lock_guard g(FMutex);
        FOpen.erase(h);
    }
    return s;
}
