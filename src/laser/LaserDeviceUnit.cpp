#include "laser/LaserDeviceUnit.h"

#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"

#include <utility>

TLaser* Laser = nullptr;

namespace {

// Answer codes of the laser head: an answer carries the code of its request.
namespace Answer {
constexpr uint8_t StreamParams = Cmd::LHGetServiceStreamParams;
constexpr uint8_t DACParameters = Cmd::LHReadDACParameters;
constexpr uint8_t ArtOffset = Cmd::LHGetArtOffset;
constexpr uint8_t ServiceWavelength = 0x0F; // the laser head sends it unrequested
constexpr uint8_t PIDParam = Cmd::LHGetPIDParam;
constexpr uint8_t Slope = Cmd::LHGetSlope;
constexpr uint8_t EepromErrorCount = Cmd::LHGetEepromErrorCount;
constexpr uint8_t Times = Cmd::LHGetTimes;
constexpr uint8_t LaserOperationTime = Cmd::LHGetLaserOperationTime;
constexpr uint8_t LaserStartCount = Cmd::LHGetLaserStartCount;
constexpr uint8_t SerialNumber = Cmd::LHGetSerialNumber;
constexpr uint8_t FirmwareVersion = Cmd::LHGetFirmwareVersion;
constexpr uint8_t HeaterOptions = Cmd::LHGetHeaterOptions;
constexpr uint8_t Wavelength = Cmd::LHGetWavelength;
constexpr uint8_t TestValues = Cmd::LHGetTestValues;
constexpr uint8_t StabilizationOptions = Cmd::LHGetStabilizationOptions;
} // namespace Answer

// Payload readers; i is the frame index of the lowest byte.
uint16_t U16(const uint8_t* f, int i) {
    return static_cast<uint16_t>(f[i] | (f[i + 1] << 8));
}
int16_t S16(const uint8_t* f, int i) {
    return static_cast<int16_t>(U16(f, i));
}
uint32_t U32(const uint8_t* f, int i) {
    return static_cast<uint32_t>(f[i]) | (static_cast<uint32_t>(f[i + 1]) << 8) |
           (static_cast<uint32_t>(f[i + 2]) << 16) | (static_cast<uint32_t>(f[i + 3]) << 24);
}
int32_t S32(const uint8_t* f, int i) {
    return static_cast<int32_t>(U32(f, i));
}

} // namespace

TLaser::TLaser()
    : FServiceParameters(std::make_unique<TServiceParameters>()),
      FLHParameters(std::make_unique<TLHParameters>()) {}

TLaser::~TLaser() {
    FServiceParameters.reset();
    FLHParameters.reset();
}

void TLaser::SetFreqDifferenceHandler(TFreqDifferenceHandler handler) {
    TFreqDifferenceHandler old;
    {
        std::lock_guard lock(FHandlerMutex);
        old = std::exchange(FFreqDifferenceHandler, std::move(handler));
    }
    // The old handler (and what it captured) dies here, outside the lock.
}

void TLaser::FreqDifferenceChanged(double hz) {
    std::lock_guard lock(FHandlerMutex);
    if (FFreqDifferenceHandler)
        FFreqDifferenceHandler(hz);
}

void TLaser::DecodeFrame(const uint8_t* f) {
    if (!f)
        return;
    const uint8_t code = f[1];
    TLHParameters& lh = *FLHParameters;

    switch (code) {
    case Answer::StreamParams: {
        TServiceStreamParams& s = *FServiceParameters->StreamParams();
        s.StoreStream(f[2], f[3], U16(f, 4), U16(f, 6), U16(f, 8));
        s.NotifyAllObservers();
        return;
    }
    case Answer::ServiceWavelength:
        FServiceParameters->LaserWavelengthCalculator()->SetWavelength(S32(f, 2) / 1000000.0);
        FServiceParameters->NotifyAllObservers();
        return;
    case Answer::DACParameters:
        lh.FDACEepromLaserTemp = U16(f, 2);
        lh.FDACEepromCaseTemp = U16(f, 4);
        lh.FDACRegistryLaserTemp = U16(f, 6);
        lh.FDACRegistryCaseTemp = U16(f, 8);
        break;
    case Answer::ArtOffset:
        lh.FArtOffset = S16(f, 2);
        break;
    case Answer::PIDParam:
        lh.FPID_P = f[2];
        lh.FPID_I = f[3];
        lh.FPID_D = U16(f, 4);
        lh.AddRawSignalAmplification(U16(f, 6));
        lh.FSignalOffset = U16(f, 8);
        break;
    case Answer::Slope:
        lh.FSlope = U16(f, 2);
        break;
    case Answer::EepromErrorCount:
        lh.FEEpromErrorCount = U16(f, 2);
        break;
    case Answer::Times:
        lh.FTimeFromStart = U32(f, 2);
        lh.FStabilizationTime = U32(f, 6);
        break;
    case Answer::LaserOperationTime:
        lh.FLaserOperationTime = U32(f, 2);
        break;
    case Answer::LaserStartCount:
        lh.FLaserStartCount = U16(f, 2);
        break;
    case Answer::SerialNumber:
        lh.AddRawSerialNumber(f[2], f[4], f[6]);
        break;
    case Answer::FirmwareVersion:
        lh.AddRawFirmwareVersion(f[2], f[4]);
        break;
    case Answer::HeaterOptions:
        lh.FHeaterOption = f[2];
        break;
    case Answer::Wavelength:
        lh.AddRawWaveLength(U32(f, 2));
        lh.MarkAnswered(code);
        lh.NotifyAllObservers();
        FreqDifferenceChanged(lh.LaserWavelengthCalculator()->Wavelength());
        return;
    case Answer::TestValues:
        lh.FTest1 = S16(f, 2);
        lh.FTest2 = S16(f, 4);
        lh.FTest3 = S16(f, 6);
        lh.FTest4 = S16(f, 8);
        break;
    case Answer::StabilizationOptions:
        lh.FStabilizationOption = f[2];
        break;
    default:
        // Boot-loader answers (247 to 254) signal the waiting firmware update; anything else,
        // the write codes among them, is not an answer and changes nothing.
        DeliverFirmwareAck(code, f[2]);
        return;
    }
    lh.MarkAnswered(code);
    lh.NotifyAllObservers();
}
