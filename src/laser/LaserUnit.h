#pragma once
// The laser head's parameters, its streamed state and its peak table.
//
// The decoder stores into these objects on the receive thread; the views read them on the GUI
// thread, and the service panel writes a few of them before sending. Every value field is
// therefore atomic: a view may show fields of two consecutive frames side by side, but never a
// torn value. TServiceStreamParams::Snapshot gives one frame's readings together.

#include "laser/ObserverPatternUnit.h"

#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// Serial number (Model, Number, Month, Year) or firmware version (Model, Number) of the laser
// head. Aligned as a 32-bit word, so that the model's std::atomic of it is a plain lock-free
// word: with one-byte alignment clang calls the out-of-line __atomic_store, which only
// libatomic provides.
struct alignas(4) TLHSerialNumber {
    uint8_t Model = 0;
    uint8_t Number = 0;
    uint8_t Month = 0;
    uint8_t Year = 0;

    // (Model * 16 + Number) mod 256: a Number above 15 carries into the model nibble.
    uint8_t GetRawModelAndNumber() const;
    // Model := value >> 4, Number := value AND 0x0F.
    void SetRawModelAndNumber(uint8_t value);

    bool operator==(const TLHSerialNumber&) const = default;
};

// The fourteen iodine peaks a..n the laser can be locked to, and a wavelength computed from one.
// The laser-head parameter objects use FWavelength to hold the reported frequency difference.
class TLaserWavelengthCalculator {
public:
    static constexpr int PeakCount = 14;
    static constexpr double BaseFrequencyMHz = 473612214.705;
    // Speed of light in m/s times 1000: a frequency in MHz gives a wavelength in nm.
    static constexpr double LightSpeedTimes1000 = 299792458000.0;

    TLaserWavelengthCalculator();

    // One line per peak, a..n: the letter, a space, the frequency with 3 decimals (at most 12
    // significant digits) and the locale's decimal separator.
    QStringList GetPeakList() const;
    // Frequency of peak index plus Space (MHz), storing the matching vacuum wavelength (nm) in
    // Wavelength; 0 and nothing changed when the index is not 0..13.
    double AddPeakToSpace(int32_t index);
    // Wavelength with 6 decimals, at most 9 significant digits, locale separator.
    QString GetWavelengthAsString() const;

    // Peak frequency in MHz (index 0..13; 0 outside).
    double PeakFrequency(int32_t index) const;

    int32_t Space() const { return FSpace.load(); }
    void SetSpace(int32_t value) { FSpace.store(value); }
    double Wavelength() const { return FWavelength.load(); }
    void SetWavelength(double value) { FWavelength.store(value); }

private:
    const std::array<double, PeakCount> FPeakList;
    std::atomic<int32_t> FSpace{0};
    std::atomic<double> FWavelength{0.0};
};

// The fifteen states of the laser head, as numbered on the wire. _measurement is the working
// state and the fallback for anything that names no state.
enum class TLaserState : uint8_t {
    _start = 0,
    _preheating = 1,
    _laser_heating = 2,
    _stabilization_loop_ON = 3,
    _measurement = 4,
    _programming = 5,
    _LH_laser_temp_stab = 6,
    _unable_to_work = 7,
    _not_used = 8,
    _pomiar_check = 9,
    _jump = 10,
    _phase_change_up = 11,
    _phase_change_down = 12,
    _error = 13,
    _high_temp = 14,
};
inline constexpr int LaserStateCount = 15;

// One status-stream answer's readings, read together.
struct TServiceStreamSnapshot {
    int32_t CasingTemperatureError = 0;
    int32_t StabilizationError = 0;
    int32_t CasingTemperature = 0;
    int32_t LaserTemperature = 0;
    TLaserState State = TLaserState::_start;
    int32_t RawState = 0;
};

// The laser head's running state, filled by the status-stream answer.
class TServiceStreamParams : public TSubject {
public:
    TServiceStreamParams() = default;

    // Raw readings (see the status-stream answer); the heater power and the reference signal
    // are not reported by the laser head and stay 0.
    std::atomic<int32_t> FCasingTemperatureError{0};
    std::atomic<int32_t> FStabilizationError{0};
    std::atomic<int32_t> FCasingTemperature{0};
    std::atomic<int32_t> FLaserTemperature{0};
    std::atomic<int32_t> FLaserHeaterPower{0};
    std::atomic<int32_t> FReferenceSignal{0};
    std::atomic<TLaserState> FState{TLaserState::_start};
    std::atomic<int32_t> FRawState{0};

    // FRawState := raw; FState := raw when it is 0..14, else _measurement.
    void SetState(int32_t raw);
    // Stores one status-stream answer (state through SetState); Snapshot never sees half of it.
    void StoreStream(uint8_t rawState, int32_t casingTemperatureError, int32_t stabilizationError,
                     int32_t casingTemperature, int32_t laserTemperature);
    TServiceStreamSnapshot Snapshot() const;

    QString GetStateAsString() const;
    QString GetRawStateAsString() const;
    static QString LaserStateToString(TLaserState state);
    // The fifteen display texts in state order.
    static QStringList GetAllStatesAsStringList();
    // The state whose text equals text exactly (case-sensitive); _measurement when none does.
    static TLaserState StringToLaserState(const QString& text);

    // Asks the laser head to switch to state (command 100, state number in byte 2).
    void ChangeLaserState(TLaserState state) const;
    // Requests one status-stream answer (command 1, zero payload).
    void SendGetServiceStreamParamsFrame() const;

    QString GetRawCasingTemperatureAsString() const;
    QString GetRawCasingTemperatureErrorAsString() const;
    QString GetRawLaserTemperatureAsString() const;
    QString GetStabilizationErrorAsString() const;
    QString GetLaserHeaterPowerAsString() const;
    QString GetReferenceSignalAsString() const;
    // Degrees Celsius, one decimal, locale separator, then " °C".
    QString GetCasingTemperatureAsString() const;
    QString GetCasingTemperatureErrorAsString() const;
    QString GetLaserTemperatureAsString() const;

    // The conversions behind the texts above.
    static double CasingTemperatureToCelsius(int32_t raw);
    static double LaserTemperatureToCelsius(int32_t raw);
    static double CasingTemperatureErrorToCelsius(int32_t raw);
    static QString CelsiusToString(double celsius);

private:
    mutable std::mutex FStreamMutex; // makes a stored answer and a snapshot whole
};

// Every configuration and service value of the laser head, and the commands that read and
// write them (all to board 4, sent from the GUI thread; none waits for an answer).
class TLHParameters : public TSubject {
public:
    TLHParameters();
    ~TLHParameters() override;

    // Its Wavelength holds the laser head's frequency difference in hertz.
    TLaserWavelengthCalculator* LaserWavelengthCalculator() const {
        return FLaserWavelengthCalculator.get();
    }

    std::atomic<int32_t> FArtOffset{0};           // signed 16 bits on the wire
    std::atomic<uint32_t> FSlope{0};              // 16 bits on the wire
    std::atomic<uint32_t> FEEpromErrorCount{0};   // 16 bits on the wire
    std::atomic<uint32_t> FTimeFromStart{0};      // ms
    std::atomic<uint32_t> FStabilizationTime{0};  // ms
    std::atomic<uint32_t> FLaserOperationTime{0}; // units of 20 minutes; read 32, written 16 bits
    std::atomic<uint32_t> FLaserStartCount{0};    // 16 bits on the wire
    std::atomic<TLHSerialNumber> FSerialNumber{TLHSerialNumber{}};
    std::atomic<TLHSerialNumber> FFirmwareVersion{TLHSerialNumber{}}; // Model.Number only
    std::atomic<uint32_t> FHeaterOption{0};        // 1 normal, 2 green, 255 undefined
    std::atomic<int32_t> FPID_P{0};                // 8 bits on the wire
    std::atomic<int32_t> FPID_I{0};                // 8 bits on the wire
    std::atomic<int32_t> FPID_D{0};                // 16 bits on the wire
    std::atomic<double> FSignalAmplification{0.0}; // 32 / raw gain code
    std::atomic<int32_t> FSignalOffset{0};
    std::atomic<int32_t> FDACRegistryLaserTemp{0};
    std::atomic<int32_t> FDACRegistryCaseTemp{0};
    std::atomic<int32_t> FDACEepromLaserTemp{0};
    std::atomic<int32_t> FDACEepromCaseTemp{0};
    std::atomic<uint32_t> FStabilizationOption{0}; // 1 red, 2 green, 3 red long, 255 undefined
    std::atomic<int32_t> FTest1{0};
    std::atomic<int32_t> FTest2{0};
    std::atomic<int32_t> FTest3{0};
    std::atomic<int32_t> FTest4{0};
    std::atomic<int32_t> FTest5{0}; // never reported, stays 0
    std::atomic<int32_t> FTest6{0}; // never reported, stays 0

    // Whether the laser head has answered the request with this code since start (an answer
    // carries its request's code): the fields of a request never answered hold no reading.
    bool Answered(uint8_t requestCode) const { return FAnswered[requestCode].load(); }
    void MarkAnswered(uint8_t requestCode) { FAnswered[requestCode].store(true); }

    // Setters of the decoder.
    void AddRawFirmwareVersion(uint8_t model, uint8_t number);
    void AddRawSerialNumber(uint8_t modelAndNumber, uint8_t month, uint8_t year);
    // 32.0 / code; a code of 0 leaves the amplification as it was.
    void AddRawSignalAmplification(int32_t code);
    void AddRawWaveLength(uint32_t raw);

    // Commands. Values are cut to the low bits of their slot.
    void SendGetArtOffsetFrame() const;
    void SendSetArtOffsetFrame(int64_t value) const;
    void SendGetSlopeFrame() const;
    void SendSetSlopeFrame(int64_t value) const;
    void SendGetEepormErrorCountFrame() const;
    void SendSetEepormErrorCountFrame(int64_t value) const;
    void SendGetTimesFrame() const;
    void SendGetLaserOperationTimeFrame() const;
    void SendSetLaserOperationTimeFrame(int64_t units20Min) const;
    void SendSetLaserStartCountFrame(int64_t value) const;
    void SendGetLaserStartCountFrame() const;
    void SendGetSerialNumberFrame() const;
    // b2 = GetRawModelAndNumber, b4-5 = Month, b6-7 = Year.
    void SendSetSerialNumberFrame(const TLHSerialNumber& packed) const;
    void SendGetFirmwareVersionFrame() const;
    void SendSetHeaterOptionsFrame(int64_t option) const;
    void SendGetHeaterOptionsFrame() const;
    // The frequency difference in hertz, rounded half to even, as 32 bits in b2-5.
    void SendSetWavelengthFrame(double value) const;
    void SendGetWavelengthFrame() const;
    void SendGetTestValuesFrame() const;
    void SendSetStabilizationOptionsFrame(int64_t option) const;
    void SendGetStabilizationOptionsFrame() const;
    // 1 = status on, 0 = off.
    void SendStatusMode(int64_t mode) const;
    void SendGetPIDParamFrame() const;
    // Sends the current FPID_I (b2), FPID_P (b4) and FPID_D (b6-7): store them first.
    void SendSetPIDParamFrame() const;
    void SendReadDACParametersFrame() const;
    // Two frames, registers first, then EEPROM, from the current DAC fields: store them first.
    void SendWriteDACParametersFrame() const;
    void SendChangeStabilizationMode(int64_t mode) const;
    // Sends nothing (no single request reads every parameter).
    void SendGetAllParametersFrame() const;

private:
    std::unique_ptr<TLaserWavelengthCalculator> FLaserWavelengthCalculator;
    std::array<std::atomic<bool>, 256> FAnswered{};
};

// Service values of the laser head and its streamed state.
class TServiceParameters : public TSubject {
public:
    TServiceParameters();
    ~TServiceParameters() override;

    TServiceStreamParams* StreamParams() const { return FStreamParams.get(); }
    // Its Wavelength receives the laser head's unrequested wavelength report.
    TLaserWavelengthCalculator* LaserWavelengthCalculator() const {
        return FLaserWavelengthCalculator.get();
    }

    // Not filled by any frame; they stay 0.
    std::atomic<double> FPhase{0.0};
    std::atomic<int32_t> FOffsetChannel1{0};
    std::atomic<int32_t> FOffsetChannel2{0};
    std::atomic<int32_t> FAmplificationChannel1{0};
    std::atomic<int32_t> FAmplificationChannel2{0};
    std::atomic<int32_t> FRF_ASR_Channel1{0};
    std::atomic<int32_t> FRF_ALR_Channel1{0};
    std::atomic<int32_t> FRF_ASR_Channel2{0};
    std::atomic<int32_t> FRF_ALR_Channel2{0};

    QString AmplificationChannel1ToString() const;
    QString AmplificationChannel2ToString() const;
    QString OffsetChannel1ToString() const;
    QString OffsetChannel2ToString() const;
    QString PhaseToString() const;

private:
    std::unique_ptr<TServiceStreamParams> FStreamParams;
    std::unique_ptr<TLaserWavelengthCalculator> FLaserWavelengthCalculator;
};
