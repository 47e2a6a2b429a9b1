#include "laser/LaserUnit.h"

#include "laser/UtilsUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/ConversionUnit.h"
#include "protocol/SendFrameUnit.h"

// --- TLHSerialNumber --------------------------------------------------------------------------

uint8_t TLHSerialNumber::GetRawModelAndNumber() const {
    return static_cast<uint8_t>((Model * 16u + Number) % 256u);
}

void TLHSerialNumber::SetRawModelAndNumber(uint8_t value) {
    Model = static_cast<uint8_t>(value >> 4);
    Number = static_cast<uint8_t>(value & 0x0F);
}

// --- TLaserWavelengthCalculator ---------------------------------------------------------------

namespace {
constexpr double B = TLaserWavelengthCalculator::BaseFrequencyMHz;
} // namespace

TLaserWavelengthCalculator::TLaserWavelengthCalculator()
    : FPeakList{B + 299.931, B + 291.1,   B + 283.006, B + 165.116, B + 152.255,
                B + 138.892, B + 125.694, B + 21.939,  B + 0.0,     B - 21.569,
                B - 129.95,  B - 137.994, B - 153.801, B - 162.814} {}

QStringList TLaserWavelengthCalculator::GetPeakList() const {
    QStringList lines;
    for (int i = 0; i < PeakCount; ++i)
        lines << QChar(u'a' + i) + QLatin1Char(' ') + TUtils::FloatToStrFixed(FPeakList[i], 12, 3);
    return lines;
}

double TLaserWavelengthCalculator::PeakFrequency(int32_t index) const {
    if (index < 0 || index >= PeakCount)
        return 0.0;
    return FPeakList[static_cast<size_t>(index)];
}

double TLaserWavelengthCalculator::AddPeakToSpace(int32_t index) {
    if (index < 0 || index >= PeakCount)
        return 0.0;
    const double frequency = FSpace.load() + FPeakList[static_cast<size_t>(index)];
    FWavelength.store(LightSpeedTimes1000 / frequency);
    return frequency;
}

QString TLaserWavelengthCalculator::GetWavelengthAsString() const {
    return TUtils::FloatToStrFixed(FWavelength.load(), 9, 6);
}

// --- TServiceStreamParams ---------------------------------------------------------------------

namespace {
const char* const StateTexts[LaserStateCount] = {
    "start",
    "preheating",
    "laser heating",
    "stabilization loop - ON",
    "measurement",
    "programming",
    "LH laser temp stab",
    "unable to work",
    "not used",
    "pomiar check",
    "jump",
    "phase change up",
    "phase change down",
    "error",
    "high temp",
};
} // namespace

void TServiceStreamParams::SetState(int32_t raw) {
    FRawState.store(raw);
    FState.store(raw >= 0 && raw < LaserStateCount ? static_cast<TLaserState>(raw)
                                                   : TLaserState::_measurement);
}

void TServiceStreamParams::StoreStream(uint8_t rawState, int32_t casingTemperatureError,
                                       int32_t stabilizationError, int32_t casingTemperature,
                                       int32_t laserTemperature) {
    std::lock_guard lock(FStreamMutex);
    SetState(rawState);
    FCasingTemperatureError.store(casingTemperatureError);
    FStabilizationError.store(stabilizationError);
    FCasingTemperature.store(casingTemperature);
    FLaserTemperature.store(laserTemperature);
}

TServiceStreamSnapshot TServiceStreamParams::Snapshot() const {
    std::lock_guard lock(FStreamMutex);
    return {FCasingTemperatureError.load(),
            FStabilizationError.load(),
            FCasingTemperature.load(),
            FLaserTemperature.load(),
            FState.load(),
            FRawState.load()};
}

QString TServiceStreamParams::LaserStateToString(TLaserState state) {
    const auto i = static_cast<int>(state);
    return QString::fromLatin1(StateTexts[i < LaserStateCount ? i : 4]);
}

QString TServiceStreamParams::GetStateAsString() const {
    return LaserStateToString(FState.load());
}

QString TServiceStreamParams::GetRawStateAsString() const {
    return QString::number(FRawState.load());
}

QStringList TServiceStreamParams::GetAllStatesAsStringList() {
    QStringList list;
    for (const char* t : StateTexts)
        list << QString::fromLatin1(t);
    return list;
}

TLaserState TServiceStreamParams::StringToLaserState(const QString& text) {
    for (int i = 0; i < LaserStateCount; ++i)
        if (text == QLatin1String(StateTexts[i]))
            return static_cast<TLaserState>(i);
    return TLaserState::_measurement;
}

void TServiceStreamParams::ChangeLaserState(TLaserState state) const {
    SendParamsFrame(BoardLaserHead, Cmd::LHChangeLaserState, static_cast<uint8_t>(state));
}

void TServiceStreamParams::SendGetServiceStreamParamsFrame() const {
    SendParamsFrame(BoardLaserHead, Cmd::LHGetServiceStreamParams);
}

QString TServiceStreamParams::GetRawCasingTemperatureAsString() const {
    return QString::number(FCasingTemperature.load());
}

QString TServiceStreamParams::GetRawCasingTemperatureErrorAsString() const {
    return QString::number(FCasingTemperatureError.load());
}

QString TServiceStreamParams::GetRawLaserTemperatureAsString() const {
    return QString::number(FLaserTemperature.load());
}

QString TServiceStreamParams::GetStabilizationErrorAsString() const {
    return QString::number(FStabilizationError.load());
}

QString TServiceStreamParams::GetLaserHeaterPowerAsString() const {
    return QString::number(FLaserHeaterPower.load());
}

QString TServiceStreamParams::GetReferenceSignalAsString() const {
    return QString::number(FReferenceSignal.load());
}

double TServiceStreamParams::CasingTemperatureToCelsius(int32_t raw) {
    // The offset is taken off in integers (64 bits, so no raw value wraps).
    return static_cast<double>(static_cast<int64_t>(raw) - 2370) / 10.92;
}

double TServiceStreamParams::LaserTemperatureToCelsius(int32_t raw) {
    return static_cast<double>(static_cast<int64_t>(raw) - 2370) / 10.92;
}

double TServiceStreamParams::CasingTemperatureErrorToCelsius(int32_t raw) {
    return static_cast<double>(static_cast<int64_t>(raw) - 682) / 13.65;
}

QString TServiceStreamParams::CelsiusToString(double celsius) {
    return TUtils::FloatToStrFixed(celsius, 8, 1) + QStringLiteral(" \u00B0C");
}

QString TServiceStreamParams::GetCasingTemperatureAsString() const {
    return CelsiusToString(CasingTemperatureToCelsius(FCasingTemperature.load()));
}

QString TServiceStreamParams::GetCasingTemperatureErrorAsString() const {
    return CelsiusToString(CasingTemperatureErrorToCelsius(FCasingTemperatureError.load()));
}

QString TServiceStreamParams::GetLaserTemperatureAsString() const {
    return CelsiusToString(LaserTemperatureToCelsius(FLaserTemperature.load()));
}

// --- TLHParameters ----------------------------------------------------------------------------

namespace {
void SendToHead(uint8_t code, uint16_t W0 = 0, uint16_t W1 = 0, uint16_t W2 = 0, uint16_t W3 = 0) {
    SendParamsFrame(BoardLaserHead, code, W0, W1, W2, W3);
}
} // namespace

TLHParameters::TLHParameters()
    : FLaserWavelengthCalculator(std::make_unique<TLaserWavelengthCalculator>()) {}

TLHParameters::~TLHParameters() = default;

void TLHParameters::AddRawFirmwareVersion(uint8_t model, uint8_t number) {
    TLHSerialNumber v;
    v.Model = model;
    v.Number = number;
    FFirmwareVersion.store(v);
}

void TLHParameters::AddRawSerialNumber(uint8_t modelAndNumber, uint8_t month, uint8_t year) {
    TLHSerialNumber v;
    v.SetRawModelAndNumber(modelAndNumber);
    v.Month = month;
    v.Year = year;
    FSerialNumber.store(v);
}

void TLHParameters::AddRawSignalAmplification(int32_t code) {
    if (code != 0)
        FSignalAmplification.store(32.0 / code);
}

void TLHParameters::AddRawWaveLength(uint32_t raw) {
    FLaserWavelengthCalculator->SetWavelength(static_cast<double>(raw));
}

void TLHParameters::SendGetArtOffsetFrame() const {
    SendToHead(Cmd::LHGetArtOffset);
}

void TLHParameters::SendSetArtOffsetFrame(int64_t value) const {
    SendToHead(Cmd::LHSetArtOffset, Conv::Low16(value));
}

void TLHParameters::SendGetSlopeFrame() const {
    SendToHead(Cmd::LHGetSlope);
}

void TLHParameters::SendSetSlopeFrame(int64_t value) const {
    SendToHead(Cmd::LHSetSlope, Conv::Low16(value));
}

void TLHParameters::SendGetEepormErrorCountFrame() const {
    SendToHead(Cmd::LHGetEepromErrorCount);
}

void TLHParameters::SendSetEepormErrorCountFrame(int64_t value) const {
    SendToHead(Cmd::LHSetEepromErrorCount, Conv::Low16(value));
}

void TLHParameters::SendGetTimesFrame() const {
    SendToHead(Cmd::LHGetTimes);
}

void TLHParameters::SendGetLaserOperationTimeFrame() const {
    SendToHead(Cmd::LHGetLaserOperationTime);
}

void TLHParameters::SendSetLaserOperationTimeFrame(int64_t units20Min) const {
    SendToHead(Cmd::LHSetLaserOperationTime, Conv::Low16(units20Min));
}

void TLHParameters::SendSetLaserStartCountFrame(int64_t value) const {
    SendToHead(Cmd::LHSetLaserStartCount, Conv::Low16(value));
}

void TLHParameters::SendGetLaserStartCountFrame() const {
    SendToHead(Cmd::LHGetLaserStartCount);
}

void TLHParameters::SendGetSerialNumberFrame() const {
    SendToHead(Cmd::LHGetSerialNumber);
}

void TLHParameters::SendSetSerialNumberFrame(const TLHSerialNumber& packed) const {
    SendToHead(Cmd::LHSetSerialNumber, packed.GetRawModelAndNumber(), packed.Month, packed.Year);
}

void TLHParameters::SendGetFirmwareVersionFrame() const {
    SendToHead(Cmd::LHGetFirmwareVersion);
}

void TLHParameters::SendSetHeaterOptionsFrame(int64_t option) const {
    SendToHead(Cmd::LHSetHeaterOptions, Conv::LowByte(option));
}

void TLHParameters::SendGetHeaterOptionsFrame() const {
    SendToHead(Cmd::LHGetHeaterOptions);
}

void TLHParameters::SendSetWavelengthFrame(double value) const {
    const int64_t hz = Conv::Round(value);
    SendToHead(Cmd::LHSetWavelength, Conv::Low16(hz), Conv::High16(hz));
}

void TLHParameters::SendGetWavelengthFrame() const {
    SendToHead(Cmd::LHGetWavelength);
}

void TLHParameters::SendGetTestValuesFrame() const {
    SendToHead(Cmd::LHGetTestValues);
}

void TLHParameters::SendSetStabilizationOptionsFrame(int64_t option) const {
    SendToHead(Cmd::LHSetStabilizationOptions, Conv::LowByte(option));
}

void TLHParameters::SendGetStabilizationOptionsFrame() const {
    SendToHead(Cmd::LHGetStabilizationOptions);
}

void TLHParameters::SendStatusMode(int64_t mode) const {
    SendToHead(Cmd::LHStatusMode, Conv::Low16(mode));
}

void TLHParameters::SendGetPIDParamFrame() const {
    SendToHead(Cmd::LHGetPIDParam);
}

void TLHParameters::SendSetPIDParamFrame() const {
    SendToHead(Cmd::LHSetPIDParam, Conv::LowByte(FPID_I.load()), Conv::LowByte(FPID_P.load()),
               Conv::Low16(FPID_D.load()));
}

void TLHParameters::SendReadDACParametersFrame() const {
    SendToHead(Cmd::LHReadDACParameters);
}

void TLHParameters::SendWriteDACParametersFrame() const {
    SendToHead(Cmd::LHWriteDACRegistry, Conv::Low16(FDACRegistryLaserTemp.load()),
               Conv::Low16(FDACRegistryCaseTemp.load()));
    SendToHead(Cmd::LHWriteDACEeprom, Conv::Low16(FDACEepromLaserTemp.load()),
               Conv::Low16(FDACEepromCaseTemp.load()));
}

void TLHParameters::SendChangeStabilizationMode(int64_t mode) const {
    SendToHead(Cmd::LHChangeStabilizationMode, Conv::LowByte(mode));
}

void TLHParameters::SendGetAllParametersFrame() const {}

// --- TServiceParameters -----------------------------------------------------------------------

TServiceParameters::TServiceParameters()
    : FStreamParams(std::make_unique<TServiceStreamParams>()),
      FLaserWavelengthCalculator(std::make_unique<TLaserWavelengthCalculator>()) {}

TServiceParameters::~TServiceParameters() {
    FStreamParams.reset();
    FLaserWavelengthCalculator.reset();
}

QString TServiceParameters::AmplificationChannel1ToString() const {
    return QString::number(FAmplificationChannel1.load());
}

QString TServiceParameters::AmplificationChannel2ToString() const {
    return QString::number(FAmplificationChannel2.load());
}

QString TServiceParameters::OffsetChannel1ToString() const {
    return QString::number(FOffsetChannel1.load());
}

QString TServiceParameters::OffsetChannel2ToString() const {
    return QString::number(FOffsetChannel2.load());
}

QString TServiceParameters::PhaseToString() const {
    return TUtils::FloatToStrShortest(FPhase.load());
}
