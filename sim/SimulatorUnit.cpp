#include "sim/SimulatorUnit.h"

#include "link/Phy_Global_Unit.h"
#include "sim/SimBoardsUnit.h"

#include <QThread>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace {

constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_DWORD OpenBySerialNumber = 1;
constexpr size_t ChipPacket = 62;             // payload of one USB packet from the adapter
constexpr size_t DriverQueueBytes = 1u << 20; // the driver's receive queue
constexpr size_t CommandRecord = 100000;
const char* const SimSerialNumber = "HSIM0001";

} // namespace

struct TSimulatedLaserSystem::TImpl : Sim::TBus {
    explicit TImpl(const TSimulatorOptions& options)
        : FOptions(options), FRandom(options.Seed), FEpoch(std::chrono::steady_clock::now()) {
        if (FOptions.LineBytesPerSecond <= 0)
            FOptions.LineBytesPerSecond = 11520;
        QString d = FOptions.Description;
        if (d.isEmpty())
            d = FOptions.SecondModel ? QStringLiteral("TMVK v2 Simulator")
                                     : QStringLiteral("QRX-7A Simulator");
        FDescription = d.toLatin1().left(63);

        FController = std::make_unique<Sim::TControllerBoard>(*this);
        FDSP = std::make_unique<Sim::TDSPBoard>(*this);
        FBoards[1] = FController.get();
        FBoards[2] = FDSP.get();
        if (!FOptions.SecondModel) {
            FHead = std::make_unique<Sim::TLaserHeadBoard>(*this);
            FFrequency = std::make_unique<Sim::TFrequencyBoard>(*this, *FController, FHead.get());
            FBoards[3] = FFrequency.get();
            FBoards[4] = FHead.get();
        }
        for (Sim::TBoard* b : FBoards)
            if (b)
                b->Start();
        if (FOptions.UnplugEveryMs > 0)
            ScheduleUnplug();
        if (FOptions.UnlockEveryMs > 0)
            ScheduleUnlock();
    }

    // Demonstrations: the adapter leaves and comes back, the lock drops, on a fixed period.
    void ScheduleUnplug() {
        At(FNow + static_cast<int64_t>(FOptions.UnplugEveryMs) * Sim::NsPerMs, [this] {
            DoUnplug();
            At(FNow + static_cast<int64_t>(std::max(FOptions.UnplugForMs, 0)) * Sim::NsPerMs,
               [this] { FPlugged = true; });
            ScheduleUnplug();
        });
    }
    void ScheduleUnlock() {
        At(FNow + static_cast<int64_t>(FOptions.UnlockEveryMs) * Sim::NsPerMs, [this] {
            FController->LoseLock();
            ScheduleUnlock();
        });
    }

    // --- TBus (called with FMutex held, from inside RunTo) ---------------------------------
    int64_t Now() const override { return FNow; }
    void At(int64_t timeNs, std::function<void()> action) override {
        FEvents.emplace(std::make_pair(std::max(timeNs, FNow), FSequence++), std::move(action));
    }
    TSimRandom& Random() override { return FRandom; }
    const TSimulatorOptions& Options() const override { return FOptions; }

    void Send(uint8_t sender, uint8_t code, const Sim::TPayload& data) override {
        Sim::TPayload payload = data;
        bool corrupt = false;
        for (TFaultState& f : FAnswerFaults) {
            const TAnswerFault& r = f.rule;
            if ((r.Board != 0 && r.Board != sender) || r.Code != code)
                continue;
            const int index = f.seen++;
            if (index < r.Skip || (r.Count >= 0 && index >= r.Skip + r.Count))
                continue;
            switch (r.Kind) {
            case TAnswerFaultKind::Drop:
                return;
            case TAnswerFaultKind::Delay:
                At(FNow + static_cast<int64_t>(r.DelayMs) * Sim::NsPerMs,
                   [this, sender, code, payload, corrupt] { Put(sender, code, payload, corrupt); });
                return;
            case TAnswerFaultKind::CorruptChecksum:
                corrupt = true;
                break;
            case TAnswerFaultKind::BadStatus:
                payload.b[0] = static_cast<uint8_t>((payload.b[0] & 0xF0) | (r.Status & 0x0F));
                break;
            }
        }
        Put(sender, code, payload, corrupt);
    }

    // --- the line to the PC -----------------------------------------------------------------
    bool Listening() const { return FPlugged && !FCycling && FHandle != 0 && !FDead; }
    bool SettingsMatch() const {
        return FSettings.BaudRate == 115200 && FSettings.WordLength == 8 &&
               FSettings.StopBits == 0 && FSettings.Parity == 0;
    }

    void Put(uint8_t sender, uint8_t code, const Sim::TPayload& payload, bool corrupt) {
        ++FCounters.FramesSent;
        const uint64_t n = ++FLineFrames;
        Sim::TWire wire = Sim::Pack(sender, Sim::PCNode, code, payload);
        const TLineFaults& lf = FLineFaults;
        if (corrupt || (lf.CorruptEveryFrames > 0 && n % lf.CorruptEveryFrames == 0)) {
            wire[11] ^= 0x5A;
            ++FCounters.FramesCorrupted;
        }
        if (!Listening() || FLine.size() + wire.size() >
                                static_cast<size_t>(std::max(FOptions.BoardQueueBytes, 12))) {
            ++FCounters.FramesLost;
            return;
        }
        LineAppend(wire.data(), wire.size());
        if (lf.GarbageEveryFrames > 0 && n % lf.GarbageEveryFrames == 0 && lf.GarbageBytes > 0) {
            std::vector<uint8_t> garbage(static_cast<size_t>(lf.GarbageBytes));
            for (uint8_t& g : garbage)
                g = FRandom.Byte();
            garbage[FRandom.Below(static_cast<uint32_t>(garbage.size()))] = Sim::Marker;
            LineAppend(garbage.data(), garbage.size());
            FCounters.GarbageBytes += garbage.size();
        }
    }

    void LineAppend(const uint8_t* bytes, size_t n) {
        if (n == 0)
            return;
        if (FLine.empty()) {
            FLineEpoch = FNow;
            FLineSent = 0;
        }
        FLine.insert(FLine.end(), bytes, bytes + n);
    }

    int64_t ByteTime(int64_t epoch, int64_t k) const {
        return epoch + (k * 1'000'000'000LL) / FOptions.LineBytesPerSecond;
    }

    int64_t LatencyNs() const {
        return static_cast<int64_t>(std::max<int>(FSettings.LatencyMs, 1)) * Sim::NsPerMs;
    }

    // A byte has crossed the line into the adapter.
    void ChipTake(uint8_t b) {
        if (!Listening())
            return;
        if (!SettingsMatch())
            b ^= 0xA5; // wrong baud rate or format: the adapter reads noise
        if (FChip.empty())
            FChipFirst = FNow;
        FChip.push_back(b);
        if (FChip.size() >= ChipPacket)
            Flush();
    }

    void Flush() {
        const size_t room = DriverQueueBytes - std::min(DriverQueueBytes, FRx.size());
        const size_t n = std::min(room, FChip.size());
        FRx.insert(FRx.end(), FChip.begin(), FChip.begin() + static_cast<std::ptrdiff_t>(n));
        FCounters.BytesDelivered += n;
        FChip.clear();
    }

    // --- the line from the PC ---------------------------------------------------------------
    void TxAppend(const uint8_t* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (FTx.empty()) { // the line was idle
                FTxEpoch = FNow;
                FTxSent = 0;
            }
            FTx.emplace_back(ByteTime(FTxEpoch, ++FTxSent), bytes[i]);
        }
    }

    void DeviceTake(uint8_t b) {
        if (!SettingsMatch())
            b ^= 0xA5;
        Sim::TCommand c;
        const uint64_t badBefore = FSplitter.BadFrames();
        const bool complete = FSplitter.Push(b, c);
        FCounters.BadCommandFrames += FSplitter.BadFrames() - badBefore;
        if (!complete || c.sender != Sim::PCNode)
            return;
        ++FCounters.CommandFrames;
        TSimCommand rec;
        rec.TimeNs = FNow;
        rec.Target = c.receiver;
        rec.Code = c.code;
        std::copy(std::begin(c.data.b), std::end(c.data.b), rec.Data.begin());
        if (FCommands.size() >= CommandRecord)
            FCommands.erase(FCommands.begin(), FCommands.begin() + CommandRecord / 10);
        FCommands.push_back(rec);
        if (Sim::TBoard* board = FBoards[c.receiver & 0x0F])
            board->Receive(c);
        for (TUnplugTrigger& t : FUnplugTriggers)
            if (t.target == c.receiver && t.code == c.code && ++t.seen == t.nth)
                DoUnplug();
    }

    // --- time -------------------------------------------------------------------------------
    int64_t Clock() const {
        int64_t t = FOffset;
        if (!FOptions.ManualClock)
            t += std::chrono::duration_cast<std::chrono::nanoseconds>(
                     std::chrono::steady_clock::now() - FEpoch)
                     .count();
        return t;
    }

    // Runs everything that falls due up to target, in time order.
    void RunTo(int64_t target) {
        constexpr int64_t never = LLONG_MAX;
        for (;;) {
            const int64_t tTx = FTx.empty() ? never : FTx.front().first;
            const int64_t tLine = FLine.empty() ? never : ByteTime(FLineEpoch, FLineSent + 1);
            const int64_t tFlush = FChip.empty() ? never : FChipFirst + LatencyNs();
            const int64_t tEvent = FEvents.empty() ? never : FEvents.begin()->first.first;
            const int64_t t = std::min({tTx, tLine, tFlush, tEvent});
            if (t == never || t > target)
                break;
            FNow = std::max(FNow, t);
            if (t == tTx) {
                const uint8_t b = FTx.front().second;
                FTx.pop_front();
                DeviceTake(b);
            } else if (t == tLine) {
                const uint8_t b = FLine.front();
                FLine.pop_front();
                ++FLineSent;
                ChipTake(b);
            } else if (t == tFlush) {
                Flush();
            } else {
                auto node = FEvents.extract(FEvents.begin());
                node.mapped()();
            }
        }
        FNow = std::max(FNow, target);
    }

    void Sync() { RunTo(Clock()); }

    // --- adapter ----------------------------------------------------------------------------
    FT_STATUS Check(FT_HANDLE h) const {
        if (FHandle == 0 || reinterpret_cast<uintptr_t>(h) != FHandle)
            return FT_INVALID_HANDLE;
        if (FDead || !FPlugged)
            return FT_IO_ERROR;
        return FT_OK;
    }

    void DropTraffic() {
        FChip.clear();
        FRx.clear();
        FTx.clear();
        FLine.clear();
        FSplitter.Clear();
    }

    void DoUnplug() {
        FPlugged = false;
        if (FHandle != 0)
            FDead = true;
        DropTraffic();
    }

    Sim::TBoard* BoardWithLoader(uint8_t board) const {
        return board < 16 && FBoards[board] && FBoards[board]->Loader() ? FBoards[board] : nullptr;
    }

    struct TFaultState {
        TAnswerFault rule;
        int seen = 0;
    };
    struct TUnplugTrigger {
        uint8_t target, code;
        int nth, seen;
    };

    TSimulatorOptions FOptions;
    QByteArray FDescription;
    std::mutex FMutex;
    TSimRandom FRandom;
    std::chrono::steady_clock::time_point FEpoch;
    int64_t FOffset = 0;
    int64_t FNow = 0;
    uint64_t FSequence = 0;
    std::map<std::pair<int64_t, uint64_t>, std::function<void()>> FEvents;

    std::unique_ptr<Sim::TControllerBoard> FController;
    std::unique_ptr<Sim::TDSPBoard> FDSP;
    std::unique_ptr<Sim::TLaserHeadBoard> FHead;
    std::unique_ptr<Sim::TFrequencyBoard> FFrequency;
    Sim::TBoard* FBoards[16] = {};

    bool FPlugged = true;
    bool FCycling = false;
    uintptr_t FHandle = 0;
    bool FDead = false;
    uintptr_t FNextHandle = 0x51A0;
    TSimLineSettings FSettings;

    std::deque<uint8_t> FLine; // waiting for the line to the PC
    int64_t FLineEpoch = 0;
    int64_t FLineSent = 0;
    uint64_t FLineFrames = 0;
    std::vector<uint8_t> FChip; // gathered in the adapter
    int64_t FChipFirst = 0;
    std::deque<uint8_t> FRx; // the driver's receive queue

    std::deque<std::pair<int64_t, uint8_t>> FTx; // on the line to the boards
    int64_t FTxEpoch = 0;
    int64_t FTxSent = 0;
    Sim::TSplitter FSplitter;
    std::vector<TSimCommand> FCommands;

    std::vector<TFaultState> FAnswerFaults;
    TLineFaults FLineFaults;
    std::vector<TUnplugTrigger> FUnplugTriggers;
    TSimCounters FCounters;
};

// ---------------------------------------------------------------------------------------------

TSimulatedLaserSystem::TSimulatedLaserSystem(const TSimulatorOptions& options)
    : F(std::make_unique<TImpl>(options)) {}

TSimulatedLaserSystem::~TSimulatedLaserSystem() {
    Uninstall();
}

void TSimulatedLaserSystem::Install() {
    D2XX::SetTable(this);
}

void TSimulatedLaserSystem::Uninstall() {
    if (&D2XX::Table() == this)
        D2XX::SetTable(nullptr);
}

const TSimulatorOptions& TSimulatedLaserSystem::Options() const {
    return F->FOptions;
}

QString TSimulatedLaserSystem::Description() const {
    return QString::fromLatin1(F->FDescription);
}

QString TSimulatedLaserSystem::ModelName() const {
    return F->FOptions.SecondModel ? QStringLiteral("TMVK v2") : QStringLiteral("QRX-7A");
}

int32_t TSimulatedLaserSystem::Kind() const {
    return F->FOptions.SecondModel ? KindSecondController : KindControllerWithLaserHead;
}

void TSimulatedLaserSystem::Advance(std::chrono::nanoseconds step) {
    std::lock_guard g(F->FMutex);
    F->FOffset += std::max<int64_t>(step.count(), 0);
    F->Sync();
}

void TSimulatedLaserSystem::AdvanceMs(double ms) {
    Advance(std::chrono::nanoseconds(static_cast<int64_t>(ms * 1e6)));
}

int64_t TSimulatedLaserSystem::NowNs() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FNow;
}

void TSimulatedLaserSystem::AddAnswerFault(const TAnswerFault& fault) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FAnswerFaults.push_back({fault, 0});
}

void TSimulatedLaserSystem::SetLineFaults(const TLineFaults& faults) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FLineFaults = faults;
}

void TSimulatedLaserSystem::ClearFaults() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FAnswerFaults.clear();
    F->FLineFaults = {};
    F->FUnplugTriggers.clear();
}

void TSimulatedLaserSystem::InjectLineBytes(const QByteArray& bytes) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (!F->Listening())
        return;
    F->LineAppend(reinterpret_cast<const uint8_t*>(bytes.constData()),
                  static_cast<size_t>(bytes.size()));
    F->FCounters.GarbageBytes += static_cast<uint64_t>(bytes.size());
}

void TSimulatedLaserSystem::Unplug() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->DoUnplug();
}

void TSimulatedLaserSystem::Replug() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FPlugged = true;
}

bool TSimulatedLaserSystem::Plugged() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FPlugged;
}

void TSimulatedLaserSystem::UnplugAtMs(double simulatedMs) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    TImpl* impl = F.get();
    F->At(static_cast<int64_t>(simulatedMs * 1e6), [impl] { impl->DoUnplug(); });
}

void TSimulatedLaserSystem::DropLock() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FController->LoseLock();
}

void TSimulatedLaserSystem::UnplugOnCommand(uint8_t target, uint8_t code, int nth) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FUnplugTriggers.push_back({target, code, std::max(nth, 1), 0});
}

TSimLineSettings TSimulatedLaserSystem::LineSettings() {
    std::lock_guard g(F->FMutex);
    return F->FSettings;
}

std::vector<TSimCommand> TSimulatedLaserSystem::Commands() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FCommands;
}

void TSimulatedLaserSystem::ClearCommands() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    F->FCommands.clear();
}

TSimCounters TSimulatedLaserSystem::Counters() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FCounters;
}

uint16_t TSimulatedLaserSystem::TuningStatus() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FController->TuningStatus();
}

int TSimulatedLaserSystem::LockedPeak() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FController->LockedPeak();
}

uint16_t TSimulatedLaserSystem::ControllerSetting(uint8_t readCode) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FController->Setting(readCode);
}

int TSimulatedLaserSystem::LaserHeadState() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FHead ? F->FHead->State() : -1;
}

uint32_t TSimulatedLaserSystem::LaserHeadFrequencyDifference() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FHead ? F->FHead->FrequencyDifference() : 0;
}

bool TSimulatedLaserSystem::LaserHeadStatusMode() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FHead && F->FHead->StatusMode();
}

uint16_t TSimulatedLaserSystem::DSPOutSignalPeriod() {
    std::lock_guard g(F->FMutex);
    F->Sync();
    return F->FDSP->OutSignalPeriod();
}

bool TSimulatedLaserSystem::InBootLoader(uint8_t board) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    const Sim::TBoard* b = F->BoardWithLoader(board);
    return b && !b->Loader()->ApplicationRunning();
}

int TSimulatedLaserSystem::Erases(uint8_t board) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    const Sim::TBoard* b = F->BoardWithLoader(board);
    return b ? b->Loader()->Erases() : 0;
}

int TSimulatedLaserSystem::Finishes(uint8_t board) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    const Sim::TBoard* b = F->BoardWithLoader(board);
    return b ? b->Loader()->Finishes() : 0;
}

QByteArray TSimulatedLaserSystem::Programmed(uint8_t board, uint32_t address, int length) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    QByteArray out(std::max(length, 0), '\xFF');
    if (const Sim::TBoard* b = F->BoardWithLoader(board)) {
        const uint64_t start = uint64_t(address) * uint64_t(b->Loader()->BytesPerAddress());
        for (int i = 0; i < out.size(); ++i)
            out[i] = static_cast<char>(b->Loader()->Byte(start + static_cast<uint64_t>(i)));
    }
    return out;
}

// --- the D2XX table ------------------------------------------------------------------------

FT_STATUS TSimulatedLaserSystem::CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    *lpdwNumDevs = (F->FPlugged && !F->FCycling) ? 1 : 0;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest,
                                                   FT_DWORD* lpdwNumDevs) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    const FT_DWORD listed = (F->FPlugged && !F->FCycling) ? 1 : 0;
    const FT_DWORD n = std::min(*lpdwNumDevs, listed);
    for (FT_DWORD i = 0; i < n; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = pDest[i];
        std::memset(static_cast<void*>(&node), 0, sizeof node);
        const bool open = F->FHandle != 0 && !F->FDead;
        node.Flags = open ? 1 : 0;
        node.Type = 5; // FT232R
        node.ID = 0x04036001;
        node.LocId = 0x2111;
        std::strncpy(node.SerialNumber, SimSerialNumber, sizeof node.SerialNumber - 1);
        std::memcpy(node.Description, F->FDescription.constData(),
                    std::min<size_t>(static_cast<size_t>(F->FDescription.size()),
                                     sizeof node.Description - 1));
        node.ftHandle = open ? reinterpret_cast<FT_HANDLE>(F->FHandle) : nullptr;
    }
    *lpdwNumDevs = n;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (!pArg1 || !pHandle)
        return FT_INVALID_PARAMETER;
    const char* arg = static_cast<const char*>(pArg1);
    bool match = false;
    if (Flags == FT_OPEN_BY_DESCRIPTION)
        match = std::strncmp(arg, F->FDescription.constData(), 64) == 0;
    else if (Flags == OpenBySerialNumber)
        match = std::strncmp(arg, SimSerialNumber, 16) == 0;
    else
        return FT_INVALID_PARAMETER;
    if (!match || !F->FPlugged || F->FCycling)
        return FT_DEVICE_NOT_FOUND;
    if (F->FHandle != 0 && !F->FDead)
        return FT_DEVICE_NOT_OPENED; // open already
    F->FHandle = F->FNextHandle++;
    F->FDead = false;
    const TSimLineSettings before = F->FSettings;
    F->FSettings = TSimLineSettings{};
    F->FSettings.Opens = before.Opens + 1;
    F->FSettings.Closes = before.Closes;
    F->DropTraffic();
    *pHandle = reinterpret_cast<FT_HANDLE>(F->FHandle);
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::SetBaudRate(FT_HANDLE h, FT_DWORD BaudRate) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    if (BaudRate == 0)
        return FT_INVALID_PARAMETER;
    F->FSettings.BaudRate = BaudRate;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::SetDataCharacteristics(FT_HANDLE h, uint8_t WordLength,
                                                        uint8_t StopBits, uint8_t Parity) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    F->FSettings.WordLength = WordLength;
    F->FSettings.StopBits = StopBits;
    F->FSettings.Parity = Parity;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::SetTimeouts(FT_HANDLE h, FT_DWORD ReadTimeout,
                                             FT_DWORD WriteTimeout) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    F->FSettings.ReadTimeoutMs = ReadTimeout;
    F->FSettings.WriteTimeoutMs = WriteTimeout;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::SetLatencyTimer(FT_HANDLE h, uint8_t ucLatency) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    if (ucLatency < 2)
        return FT_INVALID_PARAMETER;
    F->FSettings.LatencyMs = ucLatency;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::Purge(FT_HANDLE h, FT_DWORD Mask) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    if (Mask & FT_PURGE_RX) {
        F->FChip.clear();
        F->FRx.clear();
    }
    if (Mask & FT_PURGE_TX) {
        F->FTx.clear();
    }
    F->FSettings.LastPurgeMask = Mask;
    ++F->FSettings.Purges;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::GetQueueStatus(FT_HANDLE h, FT_DWORD* dwRxBytes) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    *dwRxBytes = static_cast<FT_DWORD>(F->FRx.size());
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::Read(FT_HANDLE h, void* lpBuffer, FT_DWORD dwBytesToRead,
                                      FT_DWORD* lpBytesReturned) {
    std::unique_lock g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    // As the driver does: wait for the bytes asked for, up to the read timeout. A manual clock
    // cannot move while we wait, so it returns what is there.
    if (!F->FOptions.ManualClock && F->FRx.size() < dwBytesToRead && F->FSettings.ReadTimeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(F->FSettings.ReadTimeoutMs);
        while (F->FRx.size() < dwBytesToRead && std::chrono::steady_clock::now() < deadline) {
            g.unlock();
            QThread::msleep(1);
            g.lock();
            F->Sync();
            if (FT_STATUS s = F->Check(h); s != FT_OK)
                return s;
        }
    }
    const size_t n = std::min<size_t>(dwBytesToRead, F->FRx.size());
    std::copy_n(F->FRx.begin(), n, static_cast<uint8_t*>(lpBuffer));
    F->FRx.erase(F->FRx.begin(), F->FRx.begin() + static_cast<std::ptrdiff_t>(n));
    F->FCounters.BytesRead += n;
    *lpBytesReturned = static_cast<FT_DWORD>(n);
    if (const int lag = F->FOptions.ReadReturnLagMs; lag > 0 && n > 0) {
        g.unlock();
        QThread::msleep(static_cast<unsigned long>(lag));
    }
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::Write(FT_HANDLE h, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                                       FT_DWORD* lpBytesWritten) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    F->TxAppend(static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite);
    *lpBytesWritten = dwBytesToWrite;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::CyclePort(FT_HANDLE h) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (FT_STATUS s = F->Check(h); s != FT_OK)
        return s;
    // The adapter leaves the bus and comes back: the handle is done with, the device is listed
    // again after the re-enumeration.
    F->FDead = true;
    F->FCycling = true;
    F->DropTraffic();
    TImpl* impl = F.get();
    F->At(F->FNow + static_cast<int64_t>(std::max(F->FOptions.CyclePortMs, 0)) * Sim::NsPerMs,
          [impl] { impl->FCycling = false; });
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::GetLibraryVersion(FT_DWORD* lpdwVersion) {
    *lpdwVersion = 0x00030219;
    return FT_OK;
}

FT_STATUS TSimulatedLaserSystem::Close(FT_HANDLE h) {
    std::lock_guard g(F->FMutex);
    F->Sync();
    if (F->FHandle == 0 || reinterpret_cast<uintptr_t>(h) != F->FHandle)
        return FT_INVALID_HANDLE;
    F->FHandle = 0;
    F->FDead = false;
    ++F->FSettings.Closes;
    F->DropTraffic();
    return FT_OK;
}

// ---------------------------------------------------------------------------------------------

TSimulatorRequest ParseSimulatorArguments(const QStringList& arguments) {
    TSimulatorRequest r;
    for (const QString& a : arguments) {
        if (a == QLatin1String("--simulator")) {
            r.Requested = true;
            r.Options.SecondModel = false;
        } else if (a.startsWith(QLatin1String("--simulator="))) {
            const QString model = a.mid(static_cast<qsizetype>(qstrlen("--simulator="))).toLower();
            if (model == QLatin1String("111111") || model == QLatin1String("qrx-7a")) {
                r.Requested = true;
                r.Options.SecondModel = false;
            } else if (model == QLatin1String("222222") || model == QLatin1String("tmvk")) {
                r.Requested = true;
                r.Options.SecondModel = true;
            } else {
                r.Requested = false;
                r.Error = QStringLiteral("Unknown simulator model \"%1\" (use 111111 or 222222)")
                              .arg(a.mid(12));
                return r;
            }
        }
    }
    return r;
}
