#include "firmware/FirmwareUpdaterUnit.h"

#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/SendFrameUnit.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

TFirmwareUpdater* FirmwareUpdater = nullptr;

QString FirmwareUpdaterErrorText(TFirmwareUpdaterErrors error) {
    switch (error) {
    case _fue_none:
        return {};
    case _fue_readfile:
        return QStringLiteral("File error!");
    case _fue_erasing_timeout:
        return QStringLiteral("Erasing memory timeout!");
    case _fue_programming_timeout:
        return QStringLiteral("Programming timeout!");
    case _fue_programming_error:
        return QStringLiteral("Programming error!");
    case _fue_reset_error:
        return QStringLiteral("Reset frame error!");
    case _fue_switch_to_programming:
        return QStringLiteral("Switch to programming frame error!");
    case _fue_transfer_completed:
        return QStringLiteral("Transfer completed frame error!");
    case _fue_undefined:
        break;
    }
    return QStringLiteral("Undefined error!");
}

// --- boards -----------------------------------------------------------------------------------

TFirmwareTarget FirmwareTargetOf(int32_t devId) {
    // The controller main board and the laser head carry microcontrollers with 256 KiB of
    // byte-addressed program memory; the DSP board's memory counts 16-bit words. Of the
    // frequency board's boot loader nothing is known.
    constexpr uint64_t MicrocontrollerMemory = 256 * 1024;
    switch (devId) {
    case 1:
    case 4:
        return {1, MicrocontrollerMemory};
    case 2:
        return {2};
    default:
        return {};
    }
}

bool FirmwareImageFits(const TFirmwareDataList& blocks, int bytesPerAddress,
                       const TFirmwareTarget& target) {
    if (bytesPerAddress < 1 ||
        (target.BytesPerAddress != 0 && target.BytesPerAddress != bytesPerAddress))
        return false;
    for (const TFirmwareData& block : blocks) {
        // An empty block only sends its address: nothing is programmed there.
        const uint64_t steps =
            (block.Data.size() + size_t(bytesPerAddress) - 1) / size_t(bytesPerAddress);
        if (steps > 0 && uint64_t(block.address) + steps > target.MemoryEnd)
            return false;
    }
    return true;
}

// --- clock ------------------------------------------------------------------------------------

namespace {
bool OnMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}
} // namespace

uint64_t TSteadyFirmwareClock::NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TSteadyFirmwareClock::Sleep(uint32_t ms) {
    if (!OnMainThread()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    const uint64_t end = NowMs() + ms;
    for (uint64_t now = NowMs(); now < end; now = NowMs()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(SliceMs));
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<uint64_t>(end - now, SliceMs)));
    }
}

void TSteadyFirmwareClock::WaitUntil(std::condition_variable& cond,
                                     std::unique_lock<std::mutex>& lock, uint64_t deadlineMs) {
    const uint64_t now = NowMs();
    if (now >= deadlineMs)
        return;
    if (!OnMainThread()) {
        cond.wait_for(lock, std::chrono::milliseconds(deadlineMs - now));
        return;
    }
    // A slice of waiting, then the window's pending events (without the lock: an event may
    // lead to an acknowledgement being delivered on this thread).
    cond.wait_for(lock, std::chrono::milliseconds(std::min<uint64_t>(deadlineMs - now, SliceMs)));
    lock.unlock();
    QCoreApplication::processEvents();
    lock.lock();
}

// --- acknowledgement event --------------------------------------------------------------------

void TAckEvent::SetEvent(uint32_t status) {
    {
        std::lock_guard lock(FMutex);
        FStatus = status;
        FSignalled = true;
    }
    FCond.notify_all();
}

void TAckEvent::ResetEvent() {
    std::lock_guard lock(FMutex);
    FSignalled = false;
}

TWaitResult TAckEvent::WaitFor(uint32_t Timeout, uint32_t status) {
    const uint64_t start = FClock->NowMs();
    const uint64_t deadline = start + Timeout;
    std::unique_lock lock(FMutex);
    for (;;) {
        // A signal with another code leaves the event signalled; the wait goes on until the
        // awaited code is stored or the time is up, woken by each new signal.
        if (FSignalled && FStatus == status)
            return TWaitResult::wrSignaled;
        if (FClock->NowMs() >= deadline)
            return TWaitResult::wrTimeout;
        FClock->WaitUntil(FCond, lock, deadline);
    }
}

// --- worker -----------------------------------------------------------------------------------

TFirmwareUpdateThread::TFirmwareUpdateThread(TFirmwareUpdateProc proc, QString path,
                                             TFirmwareClock* clock)
    : FFUP(std::move(proc)), FPath(std::move(path)), FClock(clock) {}

TFirmwareUpdateThread::~TFirmwareUpdateThread() {
    WaitFor();
}

void TFirmwareUpdateThread::Start() {
    if (!FThread.joinable())
        FThread = std::thread([this] { Execute(); });
}

void TFirmwareUpdateThread::WaitFor() {
    if (FThread.joinable())
        FThread.join();
}

void TFirmwareUpdateThread::Execute() {
    FClock->Sleep(StartPauseMs);
    FFUP(FPath);
}

// --- updater ----------------------------------------------------------------------------------

TFirmwareUpdater::TFirmwareUpdater()
    : FClock(std::make_shared<TSteadyFirmwareClock>()), FAckEvent(FClock.get()) {
    FirmwareAckSink.store(this);
}

TFirmwareUpdater::~TFirmwareUpdater() {
    // A running update still needs its acknowledgements: let it end first.
    StopWorker();
    TFirmwareAckSink* self = this;
    FirmwareAckSink.compare_exchange_strong(self, nullptr);
}

void TFirmwareUpdater::SetClock(std::shared_ptr<TFirmwareClock> clock) {
    FClock = std::move(clock);
    FAckEvent.SetClock(FClock.get());
}

void TFirmwareUpdater::StopWorker() {
    // The running update is not interrupted: the wait lasts until it has ended.
    std::unique_ptr<TFirmwareUpdateThread> worker = std::move(FFirmwareUpdateThread);
    if (!worker)
        return;
    worker->Terminate();
    worker->WaitFor();
}

void TFirmwareUpdater::RunThreadedUpdate(const QString& path, std::function<void()> onFinished) {
    StopWorker();
    FWorkerBusy.store(true);
    auto proc = [this, done = std::move(onFinished)](const QString& p) {
        Update(p);
        FWorkerBusy.store(false);
        if (done)
            done();
    };
    FFirmwareUpdateThread =
        std::make_unique<TFirmwareUpdateThread>(std::move(proc), path, FClock.get());
    FFirmwareUpdateThread->Start();
}

void TFirmwareUpdater::SetAckEvent(int32_t frameId) {
    FAckEvent.SetEvent(static_cast<uint32_t>(frameId));
}

void TFirmwareUpdater::SetError(TFirmwareUpdaterErrors error) {
    FError.store(error);
    NotifyAllObservers();
}

void TFirmwareUpdater::SetProgrammingState(int32_t state) {
    FProgrammingState.store(state);
    NotifyAllObservers();
}

void TFirmwareUpdater::UpdateProgress(int64_t count) {
    // An image whose blocks hold at most one byte each counts nothing to divide by: the bar
    // then stays at 0 until the run's final 100.
    if (FDataCount <= 0) {
        SetProgrammingState(0);
        return;
    }
    const double percent = std::trunc(double(count) * 100.0 / double(FDataCount));
    SetProgrammingState(static_cast<int32_t>(std::min(percent, double(INT32_MAX))));
}

bool TFirmwareUpdater::LoadFirmwareFile(const QString& path) {
    FFirmwareFileParser = nullptr;
    try {
        TFirmwareFileParser* parser = nullptr;
        if (FAVRFileParser.CheckFileExt(path))
            parser = &FAVRFileParser;
        else if (FDSPFileParser.CheckFileExt(path))
            parser = &FDSPFileParser;
        else {
            // No parser takes this kind of file (the 'FREQ' board's .xxx among them): a file
            // error, reported before anything is sent.
            SetError(_fue_readfile);
            return false;
        }
        FFirmwareFileParser = parser;
        // An image the board cannot take at its own addresses (too large for its memory, or
        // counted in another unit) is refused before anything is sent.
        if (!parser->Init(path) ||
            !FirmwareImageFits(parser->DataToSend(), parser->BytesPerAddress(),
                               FirmwareTargetOf(FDevId.load()))) {
            SetError(_fue_readfile);
            return false;
        }
        return true;
    } catch (const std::exception&) {
        SetError(_fue_readfile);
        return false;
    }
}

bool TFirmwareUpdater::WaitForAck(uint32_t timeout, TFirmwareUpdaterErrors error, uint8_t code) {
    if (FAckEvent.WaitFor(timeout, code) == TWaitResult::wrSignaled) {
        FAckEvent.ResetEvent();
        return false;
    }
    SetError(error);
    return true;
}

void TFirmwareUpdater::SendRunFrame(uint8_t code, const uint8_t data[8]) {
    const TLinkWriteScope own(FWriteKey);
    SendFrame(static_cast<uint8_t>(FDevId.load()), code, data);
}

void TFirmwareUpdater::SendRunCommand(uint8_t code) {
    const uint8_t none[8] = {};
    SendRunFrame(code, none);
}

bool TFirmwareUpdater::SendReset() {
    FAckEvent.ResetEvent();
    SendRunCommand(Cmd::FwReset);
    // Whatever arrives while the board restarts into its boot loader is discarded.
    FClock->Sleep(ResetPauseMs);
    FAckEvent.ResetEvent();
    return WaitForAck(ResetTimeoutMs, _fue_reset_error, ResetAnswer);
}

void TFirmwareUpdater::Update(const QString& path) {
    // One run at a time: a second Update meanwhile (from another thread, or from an event
    // handled during a wait on the main thread) would interleave its frames with this one's.
    bool idle = false;
    if (!FRunning.compare_exchange_strong(idle, true))
        return;
    // From the first reset to the end, the link carries the run's frames and nothing else: a
    // boot loader takes any frame for its board as part of the handshake.
    struct TRunning {
        std::atomic<bool>& flag;
        uint64_t& key;
        ~TRunning() {
            if (TConnection* c = Connection; c && key != 0)
                c->ReleaseWriting(key);
            key = 0;
            flag.store(false);
        }
    } running{FRunning, FWriteKey};

    FError.store(_fue_none);
    if (!LoadFirmwareFile(path))
        return;
    if (TConnection* c = Connection)
        FWriteKey = c->ReserveWriting();

    if (SendReset()) {
        SetError(_fue_none);
        if (SendReset())
            return;
    }
    SendRunCommand(Cmd::FwSwitchToProgramming);
    if (WaitForAck(SwitchTimeoutMs, _fue_switch_to_programming, Cmd::FwSwitchToProgramming))
        return;
    SendRunCommand(Cmd::FwErase);
    if (WaitForAck(EraseTimeoutMs, _fue_erasing_timeout, Cmd::FwErase))
        return;

    FDataCount = FFirmwareFileParser->GetDataCount();
    SetProgrammingState(0);
    int64_t counter = 0; // every slot sent, filler included
    for (const TFirmwareData& block : FFirmwareFileParser->DataToSend()) {
        if (FError.load() != _fue_none)
            break;
        // The block address, most significant byte first.
        const uint8_t address[8] = {uint8_t(block.address >> 24),
                                    uint8_t(block.address >> 16),
                                    uint8_t(block.address >> 8),
                                    uint8_t(block.address),
                                    0,
                                    0,
                                    0,
                                    0};
        SendRunFrame(Cmd::FwAddress, address);
        // A missing address answer sets the error; the block's data still follows and the run
        // stops before the next block.
        WaitForAck(AddressTimeoutMs, _fue_programming_timeout, Cmd::FwAddress);

        size_t position = 0;
        while (position < block.Data.size()) {
            uint8_t frame[8];
            for (uint8_t& slot : frame) {
                slot = position < block.Data.size() ? block.Data[position++] : 0xFF;
                ++counter;
            }
            bool answered = false;
            for (int sending = 0; sending < DataSendings && !answered; ++sending) {
                SendRunFrame(Cmd::FwData, frame);
                answered = !WaitForAck(DataTimeoutMs, _fue_programming_timeout, Cmd::FwData);
            }
            if (!answered)
                FStatus.store(1);
            if (FStatus.load() != 0) {
                SetError(_fue_programming_error);
                break;
            }
            UpdateProgress(counter);
        }
    }

    if (FError.load() != _fue_none)
        return;
    SendRunCommand(Cmd::FwTransferCompleted);
    if (WaitForAck(TransferCompletedTimeoutMs, _fue_transfer_completed, Cmd::FwTransferCompleted))
        return;
    SendRunCommand(Cmd::FwFinish);
    SetProgrammingState(100);
}
