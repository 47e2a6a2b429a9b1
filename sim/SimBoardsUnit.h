#pragma once
// The four boards of the simulated laser system and the boot loader three of them carry.
//
// Each board sees only the bus: simulated time, a scheduler, and a way to put a frame on the
// line to the PC. Nothing here knows about the adapter, the driver or the program.

#include "sim/SimFrameUnit.h"
#include "sim/SimOptionsUnit.h"
#include "sim/SimRandomUnit.h"

#include <functional>
#include <map>
#include <memory>

namespace Sim {

inline constexpr int64_t NsPerMs = 1'000'000;

class TBus {
public:
    virtual ~TBus() = default;
    virtual int64_t Now() const = 0; // simulated time, ns
    virtual void At(int64_t timeNs, std::function<void()> action) = 0;
    // A frame from board `sender` to the PC, put on the line now.
    virtual void Send(uint8_t sender, uint8_t code, const TPayload& data) = 0;
    virtual TSimRandom& Random() = 0;
    virtual const TSimulatorOptions& Options() const = 0;
};

// The boot loader of boards 1, 2 and 4: reset, switch, erase, address, data, transfer
// completed, finish. Memory reads 0xFF where nothing is programmed; programming can only clear
// bits, as flash does. The DSP board (2) counts its addresses in 16-bit words (a data frame's
// 8 bytes fill 4 of them), the other two in bytes.
class TBootLoader {
public:
    enum TPhase { Application, Rebooting, Waiting, Programming, Erasing, Erased, Completed };

    // Status nibbles of the data acknowledgement.
    static constexpr uint8_t StatusGood = 0;
    static constexpr uint8_t StatusNoAddress = 2;
    static constexpr uint8_t StatusNotErased = 3;

    TBootLoader(TBus& bus, uint8_t board, std::function<void()> restarted);

    // Takes the frame when it belongs to the boot loader or the application is not running.
    bool Receive(const TCommand& c);
    TPhase Phase() const { return FPhase; }
    bool ApplicationRunning() const { return FPhase == Application; }
    // The byte at this offset from the start of the memory (address x BytesPerAddress()).
    uint8_t Byte(uint64_t offset) const;
    int BytesPerAddress() const { return FBytesPerAddress; }
    size_t ProgrammedBytes() const { return FMemory.size(); }
    int Erases() const { return FErases; }
    int Finishes() const { return FFinishes; }

private:
    void Reply(uint8_t code, const TPayload& data = {});

    TBus& FBus;
    uint8_t FBoard;
    std::function<void()> FRestarted;
    TPhase FPhase = Application;
    uint64_t FGeneration = 0; // a newer reset or erase cancels a pending one
    int FBytesPerAddress;
    std::map<uint64_t, uint8_t> FMemory; // by byte offset
    uint32_t FAddress = 0;               // in the board's unit
    bool FAddressSet = false;
    int FErases = 0;
    int FFinishes = 0;
};

class TBoard {
public:
    TBoard(TBus& bus, uint8_t number, bool withBootLoader);
    virtual ~TBoard() = default;
    TBoard(const TBoard&) = delete;
    TBoard& operator=(const TBoard&) = delete;

    uint8_t Number() const { return FNumber; }
    // A good frame addressed to this board.
    void Receive(const TCommand& c);
    // Power-on: schedules the board's streams.
    virtual void Start() {}
    bool Running() const { return !FLoader || FLoader->ApplicationRunning(); }
    const TBootLoader* Loader() const { return FLoader.get(); }

protected:
    virtual void Command(const TCommand& c) = 0;
    // The application starts again after a firmware finish.
    virtual void Restarted() {}
    // The answer to a command, after the board's answer delay.
    void Reply(uint8_t code, const TPayload& data = {});
    // A frame the board sends on its own, now (not while its boot loader runs).
    void Stream(uint8_t code, const TPayload& data = {});
    // Runs action every periodMs() ms; a period of 0 or less pauses it (looked at again every
    // 100 ms), so a period may change while the board runs.
    void Every(std::function<int()> periodMs, std::function<void()> action);
    int64_t Now() const { return FBus.Now(); }
    double Seconds() const { return static_cast<double>(FBus.Now()) / 1e9; }
    TSimRandom& Random() { return FBus.Random(); }
    const TSimulatorOptions& Options() const { return FBus.Options(); }
    void Later(int ms, std::function<void()> action);

    TBus& FBus;

private:
    void Tick(std::shared_ptr<std::function<int()>> period,
              std::shared_ptr<std::function<void()>> action);

    uint8_t FNumber;
    std::unique_ptr<TBootLoader> FLoader;
};

// Controller main board (sender 1): settings with read-back, the tuning state machine and the
// error-signal, mirror, CFT, service and lifetime streams.
class TControllerBoard : public TBoard {
public:
    enum TMode {
        _not_ready,
        _idle,
        _preparing,
        _learning,
        _moving,
        _lock_try,
        _locked,
        _scanning,
        _failed
    };

    explicit TControllerBoard(TBus& bus);
    void Start() override;

    uint16_t TuningStatus() const { return FStatus; }
    TMode Mode() const { return FMode; }
    bool Locked() const { return FMode == _locked; }
    int LockedPeak() const { return FMode == _locked ? FPeak : 0; }
    bool IodineRunning() const { return FMode != _not_ready; }
    uint16_t Setting(uint8_t readCode) const;
    // The peak's distance from peak f in MHz (1 = a ... 14 = n).
    static double PeakOffsetMHz(int peak);
    // Out of lock ("unlocked"), then onto the same peak and locked again; nothing unless locked.
    void LoseLock();

protected:
    void Command(const TCommand& c) override;
    void Restarted() override;

private:
    void SetStatus(uint16_t status);
    void PeakEvent(uint8_t event, uint8_t peak);
    void ReportState(bool asAnswer);
    // Mode changes; each bumps the generation so that pending steps of the old mode lapse.
    void Enter(TMode mode);
    void Step(int ms, std::function<void()> action);
    void Prepare();
    void Learn();
    void GoTo(int peak);
    void TryLock(int peak);
    void Scan();
    bool PeakExpected(int peak) const;
    int NearestExpectedPeak(double x) const;
    void ScanRange(double& lo, double& hi) const;
    double XNominal() const; // tuning position, MHz from peak f, without jitter
    double Signal(double x) const;
    uint16_t ErrorSignalWord();
    double CFTTemperature();
    uint16_t CFTRaw();

    std::map<uint8_t, uint16_t> FSettings; // by read code
    TMode FMode = _not_ready;
    uint16_t FStatus = 14;
    uint64_t FGeneration = 0;
    bool FLearned = false;
    int FPendingPeak = 0; // asked for while learning
    int FPeak = 0;        // peak moved to, trying or locked
    double FX0 = 0, FX1 = 0;
    int64_t FT0 = 0, FT1 = 0;
    double FStabMirror = 50;
    double FServo = 0;
    double FCFT = 22.0;
    int64_t FCFTTime = 0;
};

// DSP board (sender 2): PID, lifetime, mirror swings, output period, mirror usage, firmware
// version, and the test-value stream.
class TDSPBoard : public TBoard {
public:
    explicit TDSPBoard(TBus& bus);
    void Start() override;
    uint16_t OutSignalPeriod() const { return FPeriod; }

protected:
    void Command(const TCommand& c) override;

private:
    uint16_t FP = 120, FI = 25, FD = 4;
    uint32_t FLifetime = 18250;
    int64_t FLifetimeEpoch = 0;
    uint16_t FSwing1 = 40, FSwing2 = 45, FSwing3 = 1200;
    uint16_t FPeriod = 100;
    uint16_t FUsage = 3;
    uint16_t FCounter = 0;
};

class TLaserHeadBoard;

// Frequency board (sender 3): the beat between the HeNe laser and the iodine-locked laser.
class TFrequencyBoard : public TBoard {
public:
    TFrequencyBoard(TBus& bus, const TControllerBoard& controller, const TLaserHeadBoard* head);
    void Start() override;

protected:
    void Command(const TCommand&) override {} // it takes no commands

private:
    void Report();

    const TControllerBoard& FController;
    const TLaserHeadBoard* FHead;
    double FWalk = 0;
    int64_t FReports = 0;
};

// HeNe laser head (sender 4): every parameter with read-back, the warm-up from start to
// measurement, raw temperatures, and the status answer.
class TLaserHeadBoard : public TBoard {
public:
    explicit TLaserHeadBoard(TBus& bus);
    void Start() override;

    uint8_t State() const { return FState; }
    bool Lasing() const { return FState >= 2 && FState <= 4; }
    bool Stabilized() const { return FState == 4; }
    uint32_t FrequencyDifference() const { return FFrequencyDifference; }
    bool StatusMode() const { return FStatusMode; }
    uint8_t StabilizationMode() const { return FStabilizationMode; }

protected:
    void Command(const TCommand& c) override;
    void Restarted() override;

private:
    void EnterState(uint8_t state);
    void UpdateTemperatures();
    TPayload StatusPayload();
    static uint16_t Raw(double celsius) { return static_cast<uint16_t>(2370 + 10.92 * celsius); }
    static double Celsius(double raw) { return (raw - 2370) / 10.92; }

    uint8_t FState = 0;
    uint64_t FGeneration = 0;
    int64_t FStateSince = 0, FStartTime = 0, FMeasurementSince = 0;
    double FCase = 22.0, FLaser = 22.0;
    int64_t FTempTime = 0;
    bool FStatusMode = false;
    uint8_t FStabilizationMode = 0;
    uint16_t FDACRegLaser = 44912, FDACRegCase = 43168; // targets: raw temperature x 16
    uint16_t FDACEepLaser = 44912, FDACEepCase = 43168;
    int16_t FArtOffset = -12;
    uint16_t FSlope = 850;
    uint16_t FEepromErrors = 0;
    uint32_t FOperationTime = 5210; // 20-minute units
    int64_t FOperationEpoch = 0;
    uint16_t FStartCount = 311;
    uint8_t FSerialRaw = 0x35, FSerialMonth = 7, FSerialYear = 23;
    uint8_t FFirmwareModel = 2, FFirmwareNumber = 0x1A;
    uint8_t FHeaterOption = 1;
    uint8_t FStabilizationOption = 1;
    uint8_t FPID_P = 12, FPID_I = 30;
    uint16_t FPID_D = 150;
    uint16_t FGainCode = 8;
    uint16_t FSignalOffset = 120;
    uint32_t FFrequencyDifference = 0;
};

} // namespace Sim
