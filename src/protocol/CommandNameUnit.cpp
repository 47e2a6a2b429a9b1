#include "protocol/CommandNameUnit.h"

#include "protocol/CommandTableUnit.h"

namespace {

struct TName {
    uint8_t code;
    const char* name;
};

#define HALVANE_NAME(c)                                                                            \
    { Cmd::c, #c }

constexpr TName ControllerNames[] = {
    HALVANE_NAME(StartStep1),
    HALVANE_NAME(StartStep2),
    HALVANE_NAME(GoToPeak),
    HALVANE_NAME(HalfAutomatic),
    HALVANE_NAME(Lock),
    HALVANE_NAME(GetPhase),
    HALVANE_NAME(SetPhase),
    HALVANE_NAME(GetDelay),
    HALVANE_NAME(SetDelay),
    HALVANE_NAME(GetPathGain),
    HALVANE_NAME(SetPathGain),
    HALVANE_NAME(GetCFT),
    HALVANE_NAME(SetCFT),
    HALVANE_NAME(GetP),
    HALVANE_NAME(SetP),
    HALVANE_NAME(GetI),
    HALVANE_NAME(SetI),
    HALVANE_NAME(GetD),
    HALVANE_NAME(SetD),
    HALVANE_NAME(GetPIDGain),
    HALVANE_NAME(SetPIDGain),
    HALVANE_NAME(GetExpectedPeaks),
    HALVANE_NAME(SetExpectedPeaks),
    HALVANE_NAME(GetScopeScale),
    HALVANE_NAME(SetScopeScale),
    HALVANE_NAME(InitRequest),
    HALVANE_NAME(GetSetPoint),
    HALVANE_NAME(SetSetPoint),
    HALVANE_NAME(GetHarmonic),
    HALVANE_NAME(SetHarmonic),
    HALVANE_NAME(GetCFTTemp10),
    HALVANE_NAME(SetCFTTemp10),
    HALVANE_NAME(GetCFTTemp40),
    HALVANE_NAME(SetCFTTemp40),
    HALVANE_NAME(GetCFTOffset),
    HALVANE_NAME(SetCFTOffset),
    HALVANE_NAME(GetCFTRaw),
    HALVANE_NAME(GetModulation),
    HALVANE_NAME(SetModulation),
    HALVANE_NAME(GetFOffset),
    HALVANE_NAME(SetFOffset),
    HALVANE_NAME(GetFirmwareVersion),
};

constexpr TName DSPNames[] = {
    HALVANE_NAME(DSPReadPID),
    HALVANE_NAME(DSPWritePID),
    HALVANE_NAME(DSPGetLifetime),
    HALVANE_NAME(DSPSetLifetime),
    HALVANE_NAME(DSPGetMirrorSwing),
    HALVANE_NAME(DSPSetMirrorSwing1),
    HALVANE_NAME(DSPSetMirrorSwing2),
    HALVANE_NAME(DSPGetOutSignalPeriod),
    HALVANE_NAME(DSPSetOutSignalPeriod),
    HALVANE_NAME(DSPGetMirrorsUsage),
    HALVANE_NAME(DSPSetMirrorsUsage),
    HALVANE_NAME(DSPSetMirrorSwing3),
    HALVANE_NAME(DSPGetFirmwareVersion),
};

constexpr TName LaserHeadNames[] = {
    HALVANE_NAME(LHGetServiceStreamParams),
    HALVANE_NAME(LHWriteDACRegistry),
    HALVANE_NAME(LHWriteDACEeprom),
    HALVANE_NAME(LHReadDACParameters),
    HALVANE_NAME(LHChangeStabilizationMode),
    HALVANE_NAME(LHSetPIDParam),
    HALVANE_NAME(LHSetArtOffset),
    HALVANE_NAME(LHGetArtOffset),
    HALVANE_NAME(LHGetPIDParam),
    HALVANE_NAME(LHChangeLaserState),
    HALVANE_NAME(LHSetSlope),
    HALVANE_NAME(LHGetSlope),
    HALVANE_NAME(LHGetEepromErrorCount),
    HALVANE_NAME(LHSetEepromErrorCount),
    HALVANE_NAME(LHGetTimes),
    HALVANE_NAME(LHGetLaserOperationTime),
    HALVANE_NAME(LHSetLaserOperationTime),
    HALVANE_NAME(LHSetLaserStartCount),
    HALVANE_NAME(LHGetLaserStartCount),
    HALVANE_NAME(LHGetSerialNumber),
    HALVANE_NAME(LHSetSerialNumber),
    HALVANE_NAME(LHGetFirmwareVersion),
    HALVANE_NAME(LHSetHeaterOptions),
    HALVANE_NAME(LHGetHeaterOptions),
    HALVANE_NAME(LHSetWavelength),
    HALVANE_NAME(LHGetWavelength),
    HALVANE_NAME(LHGetTestValues),
    HALVANE_NAME(LHSetStabilizationOptions),
    HALVANE_NAME(LHGetStabilizationOptions),
    HALVANE_NAME(LHStatusMode),
};

constexpr TName FirmwareNames[] = {
    HALVANE_NAME(FwAddress),
    HALVANE_NAME(FwTransferCompleted),
    HALVANE_NAME(FwData),
    HALVANE_NAME(FwErase),
    HALVANE_NAME(FwFinish),
    HALVANE_NAME(FwReset),
    HALVANE_NAME(FwSwitchToProgramming),
};

#undef HALVANE_NAME

// Reports without a request of their own.
constexpr TName ControllerReports[] = {
    {1, "ErrorSignal"},
    {3, "TuningStatus"},
    {4, "TuningMirrorPosition"},
    {5, "StabilizationMirrorPosition"},
    {6, "PeakEvent"},
    {8, "CFTValue"},
    {9, "ServiceSample"},
    {18, "PeakNumber"},
    {123, "Lifetime"},
    {159, "FreqDifference"},
};
constexpr TName DSPReports[] = {{200, "TestValues"}};
constexpr TName FrequencyReports[] = {{166, "FrequencyReport"}};
constexpr TName LaserHeadReports[] = {{15, "ServiceWavelength"}};

template <size_t N> QString Find(const TName (&table)[N], uint8_t code) {
    for (const TName& n : table)
        if (n.code == code)
            return QString::fromLatin1(n.name);
    return {};
}

} // namespace

QString CommandName(uint8_t board, uint8_t code) {
    if (board < BoardController || board > BoardLaserHead)
        return {};
    // The boot loader of every board takes the same programming commands.
    if (QString fw = Find(FirmwareNames, code); !fw.isEmpty())
        return fw;
    switch (board) {
    case BoardController:
        return Find(ControllerNames, code);
    case BoardDSP:
        return Find(DSPNames, code);
    case BoardLaserHead:
        return Find(LaserHeadNames, code);
    default:
        return {}; // nothing but firmware commands is addressed to the frequency board
    }
}

QString ReportName(uint8_t sender, uint8_t code) {
    switch (sender) {
    case BoardController:
        return Find(ControllerReports, code);
    case BoardDSP:
        return Find(DSPReports, code);
    case BoardFrequency:
        return Find(FrequencyReports, code);
    case BoardLaserHead:
        return Find(LaserHeadReports, code);
    default:
        return {};
    }
}

QString FrameName(const uint8_t* frame) {
    const uint8_t code = frame[1];
    const uint8_t sender = frame[10] >> 4;
    const uint8_t receiver = frame[10] & 0x0F;
    if (sender == PCAddress)
        return CommandName(receiver, code);
    QString name = CommandName(sender, code);
    return name.isEmpty() ? ReportName(sender, code) : name;
}
