#pragma once
// The firmware programming engine: resets a board into its boot loader, erases it, writes an
// image in acknowledged 8-byte frames and restarts it, reporting progress and errors to its
// observers.

#include "firmware/AVRFirmwareParserUnit.h"
#include "firmware/DSPFirmwareParserUnit.h"
#include "laser/ObserverPatternUnit.h"
#include "protocol/FirmwareAckUnit.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

enum TFirmwareUpdaterErrors {
    _fue_none = 0,
    _fue_readfile = 1,
    _fue_erasing_timeout = 2,
    _fue_programming_timeout = 3,
    _fue_programming_error = 4,
    _fue_reset_error = 5,
    _fue_switch_to_programming = 6,
    _fue_transfer_completed = 7,
    _fue_undefined = 8, // never set by the engine
};

// "File error!", "Reset frame error!" ...; empty for _fue_none.
QString FirmwareUpdaterErrorText(TFirmwareUpdaterErrors error);

// What a board's boot loader takes: the unit its addresses count (bytes per address step; 0
// when it takes either kind of image) and the end of the memory it programs, in that unit.
struct TFirmwareTarget {
    int BytesPerAddress = 0;
    uint64_t MemoryEnd = uint64_t(1) << 32; // what the address frame can carry
};

// The boot loader of board devId (1 'VFD', 2 'DSP', 3 'FREQ', 4 'HeNe').
TFirmwareTarget FirmwareTargetOf(int32_t devId);

// Whether every byte of the image's blocks lands at its own address on the board: the image
// counts its addresses in the board's unit, and no block reaches past the end of its memory.
bool FirmwareImageFits(const TFirmwareDataList& blocks, int bytesPerAddress,
                       const TFirmwareTarget& target);

// The clock and the pauses of a programming run. Replaceable, so that a run can be driven in
// simulated time.
class TFirmwareClock {
public:
    virtual ~TFirmwareClock() = default;
    // A millisecond count that never goes back.
    virtual uint64_t NowMs() = 0;
    virtual void Sleep(uint32_t ms) = 0;
    // Waits on cond (lock held on entry and on return) until it is notified or NowMs() reaches
    // deadlineMs. May return earlier; the caller checks its condition and the time again.
    virtual void WaitUntil(std::condition_variable& cond, std::unique_lock<std::mutex>& lock,
                           uint64_t deadlineMs) = 0;
};

// The system's clock. On the application's main thread the waits keep the event loop running
// (in slices of SliceMs), so that a window stays painted and responsive during a run that was
// started there.
class TSteadyFirmwareClock : public TFirmwareClock {
public:
    static constexpr uint32_t SliceMs = 10;
    uint64_t NowMs() override;
    void Sleep(uint32_t ms) override;
    void WaitUntil(std::condition_variable& cond, std::unique_lock<std::mutex>& lock,
                   uint64_t deadlineMs) override;
};

enum class TWaitResult { wrSignaled, wrTimeout };

// A manual-reset event that carries the code of the last acknowledgement.
class TAckEvent {
public:
    explicit TAckEvent(TFirmwareClock* clock) : FClock(clock) {}

    // Stores the code, then signals; the event stays signalled until ResetEvent.
    void SetEvent(uint32_t status);
    void ResetEvent();
    // Success once the event is signalled with the code status; an acknowledgement with another
    // code does not end the wait. Timeout when Timeout ms have passed since the start.
    TWaitResult WaitFor(uint32_t Timeout, uint32_t status);

    void SetClock(TFirmwareClock* clock) { FClock = clock; }

private:
    std::mutex FMutex;
    std::condition_variable FCond;
    bool FSignalled = false;
    uint32_t FStatus = 0;
    TFirmwareClock* FClock;
};

// Runs one update on its own thread: a short pause, then the updater's Update once. Created
// suspended; freeing it waits for the run to end.
class TFirmwareUpdateThread {
public:
    using TFirmwareUpdateProc = std::function<void(const QString&)>;
    TFirmwareUpdateThread(TFirmwareUpdateProc proc, QString path, TFirmwareClock* clock);
    ~TFirmwareUpdateThread();
    TFirmwareUpdateThread(const TFirmwareUpdateThread&) = delete;
    TFirmwareUpdateThread& operator=(const TFirmwareUpdateThread&) = delete;

    void Start();
    // Asks the thread to stop. The update does not look at the request: it runs to its end.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    // Returns when the thread has ended (at once when it never started).
    void WaitFor();

    static constexpr uint32_t StartPauseMs = 100;

private:
    void Execute();

    TFirmwareUpdateProc FFUP;
    QString FPath;
    TFirmwareClock* FClock;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};

class TFirmwareUpdater : public TSubject, public TFirmwareAckSink {
public:
    // Time limits of the handshake, in milliseconds.
    static constexpr uint32_t ResetPauseMs = 200;
    static constexpr uint32_t ResetTimeoutMs = 500;
    static constexpr uint32_t SwitchTimeoutMs = 500;
    static constexpr uint32_t EraseTimeoutMs = 10000;
    static constexpr uint32_t AddressTimeoutMs = 200;
    static constexpr uint32_t DataTimeoutMs = 500;
    static constexpr uint32_t TransferCompletedTimeoutMs = 200;
    static constexpr int DataSendings = 3;
    // The boot loaders answer a reset with this code.
    static constexpr uint8_t ResetAnswer = 254;

    TFirmwareUpdater();
    ~TFirmwareUpdater() override;

    // One whole update of board devId() with the image at path, on the calling thread; returns
    // when it has finished or failed. The outcome is in Error() and ProgrammingState(). Called
    // on the application's main thread, its waits keep the event loop running. While a run is
    // going on, another Update returns at once and changes nothing.
    virtual void Update(const QString& path);
    // Stops a previous worker (waiting for its run to end), then runs Update(path) on a new
    // worker thread. onFinished, if given, runs on the worker after Update has returned (and
    // IsRunning() has turned false).
    void RunThreadedUpdate(const QString& path, std::function<void()> onFinished = {});
    // Whether an Update is running on any thread, or a worker is about to start one.
    bool IsRunning() const { return FRunning.load() || FWorkerBusy.load(); }

    QString GetErrorAsString() const { return FirmwareUpdaterErrorText(Error()); }

    TFirmwareUpdaterErrors Error() const { return FError.load(); }
    // Progress in percent; may pass 100 before the end of a run.
    int32_t ProgrammingState() const { return FProgrammingState.load(); }
    // The programming status last reported by the board (0 = good).
    int32_t Status() const { return FStatus.load(); }
    // The board to program: 1 'VFD', 2 'DSP', 3 'FREQ', 4 'HeNe'. Set before Update.
    void SetDevId(int32_t id) { FDevId.store(id); }

    // --- TFirmwareAckSink, called by the receive thread ------------------------------------
    void SetAckEvent(int32_t frameId) override;
    void SetStatus(uint8_t status) override { FStatus.store(status); }
    int32_t devId() const override { return FDevId.load(); }

    // Replaces the clock (tests drive runs in simulated time). Not during a run.
    void SetClock(std::shared_ptr<TFirmwareClock> clock);

private:
    bool LoadFirmwareFile(const QString& path);
    // True when the wait failed; the error is then set (and the event not reset).
    bool WaitForAck(uint32_t timeout, TFirmwareUpdaterErrors error, uint8_t code);
    // One reset attempt; true when it failed.
    bool SendReset();
    // A frame of the run for the board being programmed, sent as the link's reserved writer.
    void SendRunFrame(uint8_t code, const uint8_t data[8]);
    void SendRunCommand(uint8_t code);
    void SetError(TFirmwareUpdaterErrors error);
    void SetProgrammingState(int32_t state);
    void UpdateProgress(int64_t count);
    void StopWorker();

    std::unique_ptr<TFirmwareUpdateThread> FFirmwareUpdateThread;
    std::shared_ptr<TFirmwareClock> FClock;
    TAckEvent FAckEvent;
    std::atomic<int32_t> FDevId{0};
    TFirmwareFileParser* FFirmwareFileParser = nullptr;
    TAVRFileParser FAVRFileParser;
    TDSPFileParser FDSPFileParser;
    std::atomic<TFirmwareUpdaterErrors> FError{_fue_none};
    std::atomic<int32_t> FProgrammingState{0};
    std::atomic<int32_t> FStatus{0};
    int32_t FDataCount = 0;
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FWorkerBusy{false};
    uint64_t FWriteKey = 0; // the link's write reservation of the running update
};

// The one updater, created and freed by the application manager.
extern TFirmwareUpdater* FirmwareUpdater;
