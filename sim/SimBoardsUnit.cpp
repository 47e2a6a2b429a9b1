#include "sim/SimBoardsUnit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Sim {

namespace {

template <typename T> T Clamp(double v, double lo, double hi) {
    return static_cast<T>(std::lround(std::clamp(v, lo, hi)));
}

// Command and answer codes the boards know. (The boards keep their own list: they are not the
// program and do not borrow its table.)
namespace Code {
constexpr uint8_t ErrorSignal = 1, TuningStatus = 3, TuningMirror = 4, StabilizationMirror = 5,
                  PeakEvent = 6, CFTValue = 8, ServiceSample = 9, PeakNumber = 18, Lifetime = 123;
constexpr uint8_t StartStep1 = 32, StartStep2 = 33, GoToPeak = 34, HalfAutomatic = 35, Lock = 36,
                  SetExpectedPeaks = 70, InitRequest = 75, GetCFTRaw = 89, FirmwareVersion = 221;
constexpr uint8_t TestValues = 200;
constexpr uint8_t FrequencyReport = 166;
constexpr uint8_t FwAddress = 247, FwTransferCompleted = 248, FwData = 249, FwErase = 250,
                  FwFinish = 251, FwReset = 252, FwSwitch = 253, FwResetDone = 254;
} // namespace Code

} // namespace

// ---------------------------------------------------------------------------------------------
// Boot loader

TBootLoader::TBootLoader(TBus& bus, uint8_t board, std::function<void()> restarted)
    : FBus(bus), FBoard(board), FRestarted(std::move(restarted)),
      FBytesPerAddress(board == 2 ? 2 : 1) {}

uint8_t TBootLoader::Byte(uint64_t offset) const {
    auto it = FMemory.find(offset);
    return it == FMemory.end() ? 0xFF : it->second;
}

void TBootLoader::Reply(uint8_t code, const TPayload& data) {
    FBus.At(FBus.Now() + FBus.Options().AnswerDelayMs * NsPerMs,
            [this, code, data] { FBus.Send(FBoard, code, data); });
}

bool TBootLoader::Receive(const TCommand& c) {
    const TSimulatorOptions& o = FBus.Options();
    if (c.code == Code::FwReset) {
        // The board drops what it was doing and restarts into its boot loader, which reports
        // once it is up.
        FPhase = Rebooting;
        const uint64_t generation = ++FGeneration;
        FBus.At(FBus.Now() + o.RebootMs * NsPerMs, [this, generation] {
            if (generation != FGeneration)
                return;
            FPhase = Waiting;
            FBus.Send(FBoard, Code::FwResetDone, {});
        });
        return true;
    }
    if (FPhase == Application)
        return false;

    switch (c.code) {
    case Code::FwSwitch:
        if (FPhase == Waiting || FPhase == Programming || FPhase == Erased || FPhase == Completed) {
            FPhase = Programming;
            Reply(Code::FwSwitch);
        }
        break;
    case Code::FwErase:
        if (FPhase == Programming || FPhase == Erased || FPhase == Completed) {
            FPhase = Erasing;
            const uint64_t generation = ++FGeneration;
            FBus.At(FBus.Now() + o.EraseMs * NsPerMs, [this, generation] {
                if (generation != FGeneration)
                    return;
                FMemory.clear();
                FAddressSet = false;
                ++FErases;
                FPhase = Erased;
                FBus.Send(FBoard, Code::FwErase, {});
            });
        }
        break;
    case Code::FwAddress:
        if (FPhase == Erased) {
            FAddress = c.data.BigEndianLong();
            FAddressSet = true;
            Reply(Code::FwAddress);
        }
        break;
    case Code::FwData: {
        uint8_t status = StatusGood;
        if (FPhase != Erased) {
            status = StatusNotErased;
        } else if (!FAddressSet) {
            status = StatusNoAddress;
        } else {
            const uint64_t start = uint64_t(FAddress) * uint64_t(FBytesPerAddress);
            for (int k = 0; k < 8; ++k) {
                const uint64_t a = start + static_cast<uint64_t>(k);
                const uint8_t v = static_cast<uint8_t>(Byte(a) & c.data.b[k]);
                if (v == 0xFF)
                    FMemory.erase(a);
                else
                    FMemory[a] = v;
            }
            FAddress += static_cast<uint32_t>(8 / FBytesPerAddress);
        }
        if (FPhase != Rebooting && FPhase != Erasing)
            Reply(Code::FwData, TPayload().Byte(0, status));
        break;
    }
    case Code::FwTransferCompleted:
        if (FPhase == Erased) {
            FPhase = Completed;
            Reply(Code::FwTransferCompleted);
        }
        break;
    case Code::FwFinish: {
        // Not acknowledged: the board starts its application after a reboot.
        FPhase = Rebooting;
        const uint64_t generation = ++FGeneration;
        FBus.At(FBus.Now() + o.RebootMs * NsPerMs, [this, generation] {
            if (generation != FGeneration)
                return;
            FPhase = Application;
            ++FFinishes;
            FRestarted();
        });
        break;
    }
    default:
        break; // the boot loader knows nothing else
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Board

TBoard::TBoard(TBus& bus, uint8_t number, bool withBootLoader) : FBus(bus), FNumber(number) {
    if (withBootLoader)
        FLoader = std::make_unique<TBootLoader>(bus, number, [this] { Restarted(); });
}

void TBoard::Receive(const TCommand& c) {
    if (FLoader && FLoader->Receive(c))
        return;
    Command(c);
}

void TBoard::Reply(uint8_t code, const TPayload& data) {
    Later(Options().AnswerDelayMs, [this, code, data] {
        if (Running())
            FBus.Send(FNumber, code, data);
    });
}

void TBoard::Stream(uint8_t code, const TPayload& data) {
    if (Running())
        FBus.Send(FNumber, code, data);
}

void TBoard::Later(int ms, std::function<void()> action) {
    FBus.At(FBus.Now() + static_cast<int64_t>(std::max(ms, 0)) * NsPerMs, std::move(action));
}

void TBoard::Every(std::function<int()> periodMs, std::function<void()> action) {
    Tick(std::make_shared<std::function<int()>>(std::move(periodMs)),
         std::make_shared<std::function<void()>>(std::move(action)));
}

void TBoard::Tick(std::shared_ptr<std::function<int()>> period,
                  std::shared_ptr<std::function<void()>> action) {
    const int ms = (*period)();
    Later(ms > 0 ? ms : 100, [this, period, action] {
        if ((*period)() > 0 && Running())
            (*action)();
        Tick(period, action);
    });
}

// ---------------------------------------------------------------------------------------------
// Controller main board

namespace {

// Distances of the fourteen iodine components from component f, MHz (a .. n).
constexpr double PeakOffsets[14] = {161.039,  152.208,  144.114,  26.224,   13.363,
                                    0,        -13.198,  -116.953, -138.892, -160.461,
                                    -268.842, -276.886, -292.693, -301.706};
// Relative line strengths, so that the scan does not look like a comb.
constexpr double PeakStrengths[14] = {0.55, 0.60, 0.62, 0.85, 0.90, 1.00, 0.92,
                                      0.70, 0.68, 0.74, 0.50, 0.50, 0.46, 0.45};
constexpr double LineWidthMHz = 2.5;
// The tuning mirror's whole travel, MHz from peak f.
constexpr double TravelLo = -330, TravelHi = 190;

double Lerp(double a, double b, double f) {
    return a + (b - a) * std::clamp(f, 0.0, 1.0);
}

} // namespace

double TControllerBoard::PeakOffsetMHz(int peak) {
    return peak >= 1 && peak <= 14 ? PeakOffsets[peak - 1] : 0.0;
}

TControllerBoard::TControllerBoard(TBus& bus) : TBoard(bus, 1, true) {
    FSettings = {
        {53, 120},    // phase
        {55, 12},     // delay
        {57, 850},    // path gain
        {59, 150},    // CFT set point, 0.1 degC
        {61, 40},     // P
        {63, 18},     // I
        {65, 6},      // D
        {67, 10},     // PID gain
        {69, 0x3FFF}, // expected peaks: a to n
        {71, 3},      // scope scale "4x"
        {77, 0},      // set point
        {80, 0},      // harmonic "3rd"
        {83, 1600},   // CFT raw reading at 10 degC
        {85, 3400},   // CFT raw reading at 40 degC
        {87, 0},      // CFT offset
        {91, 6},      // modulation
        {93, 0},      // f offset, kHz
    };
}

uint16_t TControllerBoard::Setting(uint8_t readCode) const {
    auto it = FSettings.find(readCode);
    return it == FSettings.end() ? 0 : it->second;
}

void TControllerBoard::Start() {
    const TSimulatorOptions& o = Options();
    FCFTTime = Now();
    double lo = 0, hi = 0;
    ScanRange(lo, hi);
    FX0 = FX1 = (lo + hi) / 2;
    if (o.IodineWarmUpMs > 0) {
        FMode = _not_ready;
        FStatus = 14;
        Step(o.IodineWarmUpMs, [this] {
            Enter(_idle);
            SetStatus(0);
        });
    } else {
        FMode = _idle;
        FStatus = 0;
    }

    Every([this] { return Options().StatusPeriodMs; }, [this] { ReportState(false); });
    Every([this] { return Options().ErrorSignalPeriodMs; },
          [this] {
              for (int i = 0; i < std::max(Options().ErrorSignalFrames, 1); ++i)
                  Stream(Code::ErrorSignal, TPayload().Word(0, ErrorSignalWord()));
          });
    Every([this] { return Options().MirrorPeriodMs; },
          [this] {
              const double x = XNominal();
              Stream(Code::TuningMirror,
                     TPayload().Byte(
                         0, Clamp<uint8_t>((x - TravelLo) / (TravelHi - TravelLo) * 100, 0, 100)));
              if (FMode == _locked)
                  FStabMirror = 50 + (FStabMirror - 50) * 0.98 + Random().Gauss(0.4);
              else
                  FStabMirror = 50;
              Stream(Code::StabilizationMirror,
                     TPayload().Byte(0, Clamp<uint8_t>(FStabMirror, 5, 95)));
          });
    Every([this] { return Options().CFTPeriodMs; },
          [this] {
              Stream(Code::CFTValue,
                     TPayload().Word(0, Clamp<uint16_t>(CFTTemperature() * 10, 0, 65535)));
          });
    Every([this] { return Options().ServicePeriodMs; },
          [this] {
              if (FMode == _locked)
                  FServo = std::clamp(0.995 * FServo + Random().Gauss(60), -32000.0, 32000.0);
              else
                  FServo = Random().Gauss(40);
              Stream(Code::ServiceSample,
                     TPayload().Word(
                         0, static_cast<uint16_t>(static_cast<int16_t>(std::lround(FServo)))));
          });
    Every([this] { return Options().LifetimePeriodMs; },
          [this] {
              Stream(Code::Lifetime,
                     TPayload().Long(0, static_cast<uint32_t>(Now() / (60'000 * NsPerMs))));
          });
}

void TControllerBoard::Restarted() {
    FLearned = false;
    FPendingPeak = 0;
    Enter(_idle);
    SetStatus(0);
}

void TControllerBoard::Command(const TCommand& c) {
    const uint16_t w = c.data.Word(0);
    switch (c.code) {
    case Code::StartStep1:
        if (FMode == _not_ready)
            return;
        if (FMode == _locked)
            SetStatus(5); // tuning - stop
        Prepare();
        return;
    case Code::StartStep2:
        if (FMode == _not_ready || FMode == _learning)
            return;
        Learn();
        return;
    case Code::GoToPeak:
        if (FMode == _not_ready)
            return;
        if (!PeakExpected(w)) {
            Enter(_failed);
            SetStatus(10); // tuning - error
            PeakEvent(3, static_cast<uint8_t>(w));
            return;
        }
        if (!FLearned) {
            FPendingPeak = w;
            if (FMode != _learning)
                Learn();
            return;
        }
        if (FMode == _locked && FPeak == w) {
            Stream(Code::PeakNumber, TPayload().Byte(0, static_cast<uint8_t>(FPeak)));
            SetStatus(3);
            return;
        }
        GoTo(w);
        return;
    case Code::HalfAutomatic:
        if (FMode == _not_ready)
            return;
        Scan();
        return;
    case Code::Lock:
        if (FMode != _scanning)
            return;
        {
            const int peak = NearestExpectedPeak(XNominal());
            PeakEvent(1, static_cast<uint8_t>(peak));
            TryLock(peak);
        }
        return;
    case Code::InitRequest:
        ReportState(true);
        return;
    case Code::GetCFTRaw:
        Reply(Code::GetCFTRaw, TPayload().Word(0, CFTRaw()));
        return;
    case Code::FirmwareVersion:
        Reply(Code::FirmwareVersion, TPayload().Word(0, Options().ControllerFirmwareVersion));
        return;
    default:
        break;
    }
    // Settings: a read code answers with its value, the next code up writes it.
    if (auto it = FSettings.find(c.code); it != FSettings.end()) {
        Reply(c.code, TPayload().Word(0, it->second));
    } else if (auto wr = FSettings.find(static_cast<uint8_t>(c.code - 1)); wr != FSettings.end()) {
        wr->second = w;
        if (c.code == Code::SetExpectedPeaks)
            FLearned = false; // a new range must be learnt again
    }
}

void TControllerBoard::SetStatus(uint16_t status) {
    FStatus = status;
    Stream(Code::TuningStatus, TPayload().Word(1, status));
}

void TControllerBoard::PeakEvent(uint8_t event, uint8_t peak) {
    Stream(Code::PeakEvent, TPayload().Byte(0, event).Byte(1, peak));
}

void TControllerBoard::ReportState(bool asAnswer) {
    auto send = [this, asAnswer](uint8_t code, const TPayload& p) {
        if (asAnswer)
            Reply(code, p);
        else
            Stream(code, p);
    };
    if (FMode == _locked)
        send(Code::PeakNumber, TPayload().Byte(0, static_cast<uint8_t>(FPeak)));
    send(Code::TuningStatus, TPayload().Word(1, FStatus));
    if (!asAnswer)
        return;
    const double x = XNominal();
    send(Code::TuningMirror,
         TPayload().Byte(0, Clamp<uint8_t>((x - TravelLo) / (TravelHi - TravelLo) * 100, 0, 100)));
    send(Code::StabilizationMirror, TPayload().Byte(0, Clamp<uint8_t>(FStabMirror, 5, 95)));
    send(Code::CFTValue, TPayload().Word(0, Clamp<uint16_t>(CFTTemperature() * 10, 0, 65535)));
    send(Code::Lifetime, TPayload().Long(0, static_cast<uint32_t>(Now() / (60'000 * NsPerMs))));
}

void TControllerBoard::Enter(TMode mode) {
    FX0 = XNominal(); // continue from where the mirror is
    FT0 = Now();
    FMode = mode;
    ++FGeneration;
}

void TControllerBoard::Step(int ms, std::function<void()> action) {
    const uint64_t generation = FGeneration;
    Later(ms, [this, generation, action] {
        if (generation == FGeneration)
            action();
    });
}

void TControllerBoard::Prepare() {
    Enter(_preparing);
    double lo = 0, hi = 0;
    ScanRange(lo, hi);
    FX1 = (lo + hi) / 2;
    FT1 = FT0 + Options().PrepareMs * NsPerMs;
    SetStatus(7); // tuning - prepare
    Step(Options().PrepareMs, [this] {
        Enter(_idle);
        SetStatus(0);
    });
}

void TControllerBoard::Learn() {
    Enter(_learning);
    ScanRange(FX0, FX1);
    std::swap(FX0, FX1); // from the high end down, a to n
    const int ms = std::max(Options().LearnMs, 1);
    FT1 = FT0 + ms * NsPerMs;
    SetStatus(1); // tuning - start
    Step(ms / 10, [this] { SetStatus(6); });
    Step(ms, [this] {
        FLearned = true;
        if (FPendingPeak) {
            const int peak = FPendingPeak;
            FPendingPeak = 0;
            GoTo(peak);
        } else {
            Enter(_idle);
            SetStatus(0);
        }
    });
}

void TControllerBoard::LoseLock() {
    if (FMode == _locked)
        GoTo(FPeak);
}

void TControllerBoard::GoTo(int peak) {
    if (FMode == _locked)
        SetStatus(4); // unlocked
    Enter(_moving);
    FPeak = peak;
    FX1 = PeakOffsetMHz(peak) + 0.8; // the coarse move ends near the line
    FT1 = FT0 + std::max(Options().TuneMs, 1) * NsPerMs;
    SetStatus(11); // tuning - wait
    Step(Options().TuneMs, [this, peak] {
        PeakEvent(1, static_cast<uint8_t>(peak));
        TryLock(peak);
    });
}

void TControllerBoard::TryLock(int peak) {
    Enter(_lock_try);
    FPeak = peak;
    FX1 = PeakOffsetMHz(peak);
    FT1 = FT0 + std::max(Options().LockTryMs, 1) * NsPerMs;
    SetStatus(2); // tuning - lock try
    Step(Options().LockTryMs, [this, peak] {
        Enter(_locked);
        Stream(Code::PeakNumber, TPayload().Byte(0, static_cast<uint8_t>(peak)));
        SetStatus(3); // tuning - locked
        PeakEvent(2, static_cast<uint8_t>(peak));
    });
}

void TControllerBoard::Scan() {
    Enter(_scanning);
    FLearned = true;
    SetStatus(1);
}

bool TControllerBoard::PeakExpected(int peak) const {
    return peak >= 1 && peak <= 14 && (Setting(69) & (1u << (peak - 1)));
}

int TControllerBoard::NearestExpectedPeak(double x) const {
    int best = 6;
    double bestDistance = 1e9;
    for (int p = 1; p <= 14; ++p) {
        const double d = std::abs(PeakOffsets[p - 1] - x);
        if (PeakExpected(p) && d < bestDistance) {
            best = p;
            bestDistance = d;
        }
    }
    return best;
}

void TControllerBoard::ScanRange(double& lo, double& hi) const {
    lo = 1e9;
    hi = -1e9;
    for (int p = 1; p <= 14; ++p)
        if (PeakExpected(p)) {
            lo = std::min(lo, PeakOffsets[p - 1]);
            hi = std::max(hi, PeakOffsets[p - 1]);
        }
    if (lo > hi) { // nothing expected: the whole table
        lo = PeakOffsets[13];
        hi = PeakOffsets[0];
    }
    lo = std::max(lo - 20, TravelLo);
    hi = std::min(hi + 20, TravelHi);
}

double TControllerBoard::XNominal() const {
    const double t = static_cast<double>(Now() - FT0);
    const double span = static_cast<double>(std::max<int64_t>(FT1 - FT0, 1));
    switch (FMode) {
    case _preparing:
    case _moving:
    case _learning:
        return Lerp(FX0, FX1, t / span);
    case _lock_try:
        return FX1 + (FX0 - FX1) * std::exp(-t / (span / 4));
    case _locked:
        return PeakOffsetMHz(FPeak);
    case _scanning: {
        double lo = 0, hi = 0;
        ScanRange(lo, hi);
        const double period = std::max(Options().ScanPeriodMs, 1) * static_cast<double>(NsPerMs);
        const double phase = std::fmod(t, period) / period;
        return phase < 0.5 ? Lerp(hi, lo, phase * 2) : Lerp(lo, hi, phase * 2 - 1);
    }
    default:
        return FX0;
    }
}

double TControllerBoard::Signal(double x) const {
    const uint16_t harmonic = Setting(80);
    double sum = 0;
    for (int i = 0; i < 14; ++i) {
        const double u = (x - PeakOffsets[i]) / LineWidthMHz;
        const double g = std::exp(-u * u / 2);
        const double u2 = u * u;
        double shape = 0;
        switch (harmonic) {
        case 1: // 5th
            shape = 5000 * (u2 * u2 * u - 10 * u2 * u + 15 * u) * g / 5.8;
            break;
        case 2: // 7th
            shape = 3000 * (u2 * u2 * u2 * u - 21 * u2 * u2 * u + 105 * u2 * u - 105 * u) * g / 36;
            break;
        case 3: // the scope shows the 2nd
            shape = 9000 * (u2 - 1) * g;
            break;
        default: // 3rd
            shape = 9000 * (u2 * u - 3 * u) * g / 1.38;
            break;
        }
        sum += PeakStrengths[i] * shape;
    }
    return sum;
}

uint16_t TControllerBoard::ErrorSignalWord() {
    double x = XNominal();
    if (FMode == _locked)
        x += Random().Gauss(0.012);
    const int row = std::clamp(static_cast<int>(Setting(71)) - 1, 0, 5);
    const double gain = std::ldexp(1.0, row) / 4; // "4x" is the natural size
    const double y = std::clamp(gain * Signal(x) + Random().Gauss(60), -17280.0, 17280.0);
    return Clamp<uint16_t>(17640 - y, 0, 65535);
}

double TControllerBoard::CFTTemperature() {
    const double dt = static_cast<double>(Now() - FCFTTime) / 1e9;
    FCFTTime = Now();
    const double target = Setting(59) / 10.0;
    FCFT += (target - FCFT) * (1 - std::exp(-dt / 20.0));
    return FCFT + Random().Gauss(0.03);
}

uint16_t TControllerBoard::CFTRaw() {
    const double t = CFTTemperature();
    const double raw10 = Setting(83), raw40 = Setting(85);
    const double offset = static_cast<int16_t>(Setting(87));
    return Clamp<uint16_t>(raw10 + (t - 10) * (raw40 - raw10) / 30 - offset + Random().Gauss(1.5),
                           0, 65535);
}

// ---------------------------------------------------------------------------------------------
// DSP board

TDSPBoard::TDSPBoard(TBus& bus) : TBoard(bus, 2, true) {}

void TDSPBoard::Start() {
    FLifetimeEpoch = Now();
    FPeriod = static_cast<uint16_t>(std::clamp(Options().TestValuePeriodMs, 0, 65535));
    Every([this] { return static_cast<int>(FPeriod); },
          [this] {
              Stream(
                  Code::TestValues,
                  TPayload()
                      .Word(0, Clamp<uint16_t>(2048 + Random().Gauss(12), 0, 4095))
                      .Word(1, Clamp<uint16_t>(1500 + 10.0 * FSwing1 + Random().Gauss(3), 0, 65535))
                      .Word(2, Clamp<uint16_t>(1500 + 10.0 * FSwing2 + Random().Gauss(3), 0, 65535))
                      .Word(3, FCounter++));
          });
}

void TDSPBoard::Command(const TCommand& c) {
    const uint16_t w0 = c.data.Word(0);
    switch (c.code) {
    case 201:
        Reply(201, TPayload().Word(0, FP).Word(1, FI).Word(2, FD));
        break;
    case 202:
        FP = w0;
        FI = c.data.Word(1);
        FD = c.data.Word(2);
        break;
    case 203: // lifetime in hours, counting on while the board runs
        Reply(203, TPayload().Long(0, FLifetime + static_cast<uint32_t>((Now() - FLifetimeEpoch) /
                                                                        (3'600'000 * NsPerMs))));
        break;
    case 204:
        FLifetime = c.data.Long(0);
        FLifetimeEpoch = Now();
        break;
    case 205:
        Reply(205, TPayload().Word(0, FSwing1).Word(1, FSwing2).Word(2, FSwing3));
        break;
    case 206:
        FSwing1 = w0;
        break;
    case 207:
        FSwing2 = w0;
        break;
    case 212:
        FSwing3 = w0;
        break;
    case 208:
        Reply(208, TPayload().Word(0, FPeriod));
        break;
    case 209: // the output period is the test-value stream's period (0 stops it)
        FPeriod = w0;
        break;
    case 210:
        Reply(210, TPayload().Word(0, FUsage));
        break;
    case 211:
        FUsage = w0;
        break;
    case Code::FirmwareVersion:
        Reply(Code::FirmwareVersion, TPayload().Word(0, Options().DSPFirmwareVersion));
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Frequency board

TFrequencyBoard::TFrequencyBoard(TBus& bus, const TControllerBoard& controller,
                                 const TLaserHeadBoard* head)
    : TBoard(bus, 3, false), FController(controller), FHead(head) {}

void TFrequencyBoard::Start() {
    Every([this] { return Options().FrequencyPeriodMs; }, [this] { Report(); });
}

void TFrequencyBoard::Report() {
    const bool beat = FController.IodineRunning() && FHead && FHead->Lasing();
    const double power = beat ? 2450 + Random().Gauss(35) : 180 + Random().Gauss(15);
    double difference = 0; // no beat, nothing counted
    const int noCountEvery = Options().NoCountEveryReports;
    const bool missed = noCountEvery > 0 && ++FReports % noCountEvery == 0;
    if (power > 2000 && !missed) {
        const double set = static_cast<double>(FHead->FrequencyDifference());
        FWalk += Random().Gauss(Options().RandomWalkStepHz);
        if (FHead->Stabilized() && FController.Locked()) {
            difference = set + FWalk + Random().Gauss(Options().WhiteFrequencyNoiseHz);
        } else {
            // One of the two lasers is not locked: the beat wanders by megahertz.
            difference = set + 1.5e6 + 4e6 * std::sin(2 * std::numbers::pi * Seconds() / 37) +
                         Random().Gauss(20e3);
        }
    }
    const int32_t hz = Clamp<int32_t>(difference, -2147483648.0, 2147483647.0);
    Stream(Code::FrequencyReport,
           TPayload().Long(0, static_cast<uint32_t>(hz)).Word(2, Clamp<uint16_t>(power, 0, 65535)));
}

// ---------------------------------------------------------------------------------------------
// Laser head

TLaserHeadBoard::TLaserHeadBoard(TBus& bus) : TBoard(bus, 4, true) {}

void TLaserHeadBoard::Start() {
    FOperationEpoch = Now();
    FTempTime = Now();
    FFrequencyDifference = Options().FrequencyDifferenceHz;
    EnterState(0);
    Every([this] { return FStatusMode ? Options().LaserHeadStatusPeriodMs : 0; },
          [this] { Stream(1, StatusPayload()); });
}

void TLaserHeadBoard::Restarted() {
    EnterState(0);
}

void TLaserHeadBoard::EnterState(uint8_t state) {
    UpdateTemperatures();
    FState = state;
    FStateSince = Now();
    const uint64_t generation = ++FGeneration;
    if (state == 0) {
        FStartTime = Now();
        ++FStartCount;
    }
    if (state == 4) {
        FMeasurementSince = Now();
        // Locked: the head reports its vacuum wavelength (nm x 1e6), peak f plus the offset.
        const double mhz = 473612353.597 + FFrequencyDifference / 1e6;
        Stream(15,
               TPayload().Long(0, static_cast<uint32_t>(std::lround(299792458000.0 / mhz * 1e6))));
    }
    // start -> preheating -> laser heating -> stabilization loop - ON -> measurement
    if (state <= 3)
        Later(Options().LaserHeadStateMs, [this, generation] {
            if (generation == FGeneration)
                EnterState(static_cast<uint8_t>(FState + 1));
        });
}

void TLaserHeadBoard::UpdateTemperatures() {
    const double dt = static_cast<double>(Now() - FTempTime);
    FTempTime = Now();
    const double tau = std::max(Options().LaserHeadStateMs / 3.0, 1.0) * NsPerMs;
    const double k = 1 - std::exp(-dt / tau);
    const bool heating = FState != 7 && FState != 13; // unable to work, error: heaters off
    const double ambient = 22.0;
    const double caseTarget = heating && FState >= 1 ? Celsius(FDACRegCase / 16.0) : ambient;
    const double laserTarget = heating && FState >= 2 ? Celsius(FDACRegLaser / 16.0) : ambient;
    FCase += (caseTarget - FCase) * k;
    FLaser += (laserTarget - FLaser) * k;
}

TPayload TLaserHeadBoard::StatusPayload() {
    UpdateTemperatures();
    const double since = static_cast<double>(Now() - FStateSince) / 1e9;
    double stabilization = 0;
    if (FState == 4)
        stabilization = 2048 + Random().Gauss(6);
    else if (FState == 3)
        stabilization = 2048 + 800 * std::exp(-since * 3) + Random().Gauss(20);
    else
        stabilization = 2048 + 1500 * std::sin(since / 0.7) + Random().Gauss(50);
    const double caseError = 128 + (FCase - Celsius(FDACRegCase / 16.0)) * 10;
    return TPayload()
        .Byte(0, FState)
        .Byte(1, Clamp<uint8_t>(caseError, 0, 255))
        .Word(1, Clamp<uint16_t>(stabilization, 0, 4095))
        .Word(2, Clamp<uint16_t>(Raw(FCase) + Random().Gauss(0.6), 0, 65535))
        .Word(3, Clamp<uint16_t>(Raw(FLaser) + Random().Gauss(0.6), 0, 65535));
}

void TLaserHeadBoard::Command(const TCommand& c) {
    const uint16_t w0 = c.data.Word(0);
    const uint8_t b2 = c.data.b[0];
    switch (c.code) {
    case 1:
        Reply(1, StatusPayload());
        break;
    case 2:
        FDACRegLaser = w0;
        FDACRegCase = c.data.Word(1);
        break;
    case 3:
        FDACEepLaser = w0;
        FDACEepCase = c.data.Word(1);
        break;
    case 4:
        Reply(4, TPayload()
                     .Word(0, FDACEepLaser)
                     .Word(1, FDACEepCase)
                     .Word(2, FDACRegLaser)
                     .Word(3, FDACRegCase));
        break;
    case 6:
        FStabilizationMode = b2;
        break;
    case 7: // I in byte 2, P in byte 4, D in bytes 6-7
        FPID_I = b2;
        FPID_P = c.data.b[2];
        FPID_D = c.data.Word(2);
        break;
    case 8:
        FArtOffset = static_cast<int16_t>(w0);
        break;
    case 9:
        Reply(9, TPayload().Word(0, static_cast<uint16_t>(FArtOffset)));
        break;
    case 39: // P in byte 2, I in byte 3
        Reply(39, TPayload()
                      .Byte(0, FPID_P)
                      .Byte(1, FPID_I)
                      .Word(1, FPID_D)
                      .Word(2, FGainCode)
                      .Word(3, FSignalOffset));
        break;
    case 100:
        if (b2 <= 14)
            EnterState(b2);
        break;
    case 144:
        FSlope = w0;
        break;
    case 145:
        Reply(145, TPayload().Word(0, FSlope));
        break;
    case 146:
        Reply(146, TPayload().Word(0, FEepromErrors));
        break;
    case 147:
        FEepromErrors = w0;
        break;
    case 148: {
        const int64_t fromStart = (Now() - FStartTime) / NsPerMs;
        const int64_t stabilized = FState == 4 ? (Now() - FMeasurementSince) / NsPerMs : 0;
        Reply(148, TPayload()
                       .Long(0, static_cast<uint32_t>(fromStart))
                       .Long(1, static_cast<uint32_t>(stabilized)));
        break;
    }
    case 149:
        Reply(149,
              TPayload().Long(0, FOperationTime + static_cast<uint32_t>((Now() - FOperationEpoch) /
                                                                        (20 * 60'000 * NsPerMs))));
        break;
    case 150:
        FOperationTime = w0;
        FOperationEpoch = Now();
        break;
    case 151:
        FStartCount = w0;
        break;
    case 152:
        Reply(152, TPayload().Word(0, FStartCount));
        break;
    case 153:
        Reply(153, TPayload().Word(0, FSerialRaw).Word(1, FSerialMonth).Word(2, FSerialYear));
        break;
    case 154:
        FSerialRaw = b2;
        FSerialMonth = c.data.b[2];
        FSerialYear = c.data.b[4];
        break;
    case 155:
        Reply(155, TPayload().Byte(0, FFirmwareModel).Byte(2, FFirmwareNumber));
        break;
    case 156:
        FHeaterOption = b2;
        break;
    case 157:
        Reply(157, TPayload().Byte(0, FHeaterOption));
        break;
    case 158:
        FFrequencyDifference = c.data.Long(0);
        break;
    case 159:
        Reply(159, TPayload().Long(0, FFrequencyDifference));
        break;
    case 160: {
        UpdateTemperatures();
        const double laserPower = (Celsius(FDACRegLaser / 16.0) - FLaser) * 40 + 300;
        const double casePower = (Celsius(FDACRegCase / 16.0) - FCase) * 40 + 200;
        const double photo = Lasing() ? 1800 + Random().Gauss(8) : Random().Gauss(3);
        Reply(160, TPayload()
                       .Word(0, static_cast<uint16_t>(Clamp<int16_t>(laserPower, -32768, 32767)))
                       .Word(1, static_cast<uint16_t>(Clamp<int16_t>(casePower, -32768, 32767)))
                       .Word(2, static_cast<uint16_t>(Clamp<int16_t>(photo, -32768, 32767)))
                       .Word(3, static_cast<uint16_t>(
                                    Clamp<int16_t>(Random().Gauss(5), -32768, 32767))));
        break;
    }
    case 161:
        FStabilizationOption = b2;
        break;
    case 162:
        Reply(162, TPayload().Byte(0, FStabilizationOption));
        break;
    case 164: // 1: the head sends its status on its own
        FStatusMode = w0 != 0;
        break;
    default:
        break;
    }
}

} // namespace Sim
