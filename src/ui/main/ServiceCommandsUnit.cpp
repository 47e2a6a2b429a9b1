#include "ui/main/ServiceCommandsUnit.h"

#include "protocol/CommandTableUnit.h"
#include "protocol/ConversionUnit.h"
#include "protocol/SendFrameUnit.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr double Any = 0; // limits of a field that accepts any value (Limited = false)
} // namespace

// clang-format off
const std::array<TServiceSetRow, 20> ServiceSetRows{{
    // Button                 SpinEdit                       Caption               Limited  Min    Max    Minus  Dec  Conversion                       Target           Code                      ReadBack
    {"SetPhaseButton",        "PhaseRealSpinEdit",           "Phase",              true,    0,     360,   true,  0, TServiceConversion::Word16,     BoardController, Cmd::SetPhase,            TSpinTarget::Phase},
    {"SetDelayButton",        "DelayRealSpinEdit",           "Delay",              true,    0,     100,   true,  0, TServiceConversion::LowByte,    BoardController, Cmd::SetDelay,            TSpinTarget::Delay},
    {"SetPathGainButton",     "PathGainRealSpinEdit",        "Path gain",          true,    0,     2000,  true,  0, TServiceConversion::PathGain,   BoardController, Cmd::SetPathGain,         TSpinTarget::PathGain},
    {"SetCFTButton",          "CFTRealSpinEdit",             "CFT",                false,   Any,   Any,   false, 1, TServiceConversion::CFTTenths,  BoardController, Cmd::SetCFT,              TSpinTarget::CFT},
    {"SetPButton",            "PRealSpinEdit",               "p",                  false,   Any,   Any,   false, 0, TServiceConversion::LowByte,    BoardController, Cmd::SetP,                TSpinTarget::P},
    {"SetIButton",            "IRealSpinEdit",               "i",                  false,   Any,   Any,   false, 0, TServiceConversion::LowByte,    BoardController, Cmd::SetI,                TSpinTarget::I},
    {"SetDButton",            "DRealSpinEdit",               "d",                  false,   Any,   Any,   false, 0, TServiceConversion::LowByte,    BoardController, Cmd::SetD,                TSpinTarget::D},
    {"SetPIDGainButton",      "PidGainRealSpinEdit",         "PID gain",           true,    0,     255,   true,  0, TServiceConversion::LowByte,    BoardController, Cmd::SetPIDGain,          TSpinTarget::PidGain},
    {"SetPointButton",        "SetPointRealSpinEdit",        "Set point",          true,    -200,  200,   true,  0, TServiceConversion::LowByte,    BoardController, Cmd::SetSetPoint,         TSpinTarget::SetPoint},
    {"CTFTemp10Button",       "CFTTemp10RealSpinEdit",       "CFT temp 10",        true,    0,     65535, true,  0, TServiceConversion::Word16,     BoardController, Cmd::SetCFTTemp10,        TSpinTarget::CFTTemp10},
    {"CFTTemp40Button",       "CFTTemp40RealSpinEdit",       "CFT temp 40",        true,    0,     65535, true,  0, TServiceConversion::Word16,     BoardController, Cmd::SetCFTTemp40,        TSpinTarget::CFTTemp40},
    {"CFTOffsetButton",       "CFTOffsetRealSpinEdit",       "CFT offset",         true,    0,     65535, true,  0, TServiceConversion::Word16,     BoardController, Cmd::SetCFTOffset,        TSpinTarget::CFTOffset},
    {"ModulationButton",      "ModulationRealSpinEdit",      "Modulation",         true,    0,     255,   true,  0, TServiceConversion::Word16,     BoardController, Cmd::SetModulation,       TSpinTarget::Modulation},
    {"FOffsetButton",         "FOffsetRealSpinEdit",         "f offset [kHz]",     true,    -250,  250,   true,  0, TServiceConversion::Word16,     BoardController, Cmd::SetFOffset,          TSpinTarget::FOffset},
    {"LifetimeButton",        "LifetimeRealSpinEdit",        "Lifetime",           false,   Any,   Any,   false, 0, TServiceConversion::Lifetime32, BoardDSP,        Cmd::DSPSetLifetime,      TSpinTarget::Lifetime},
    {"SetMirrorSwing1Button", "MirrorSwing1RealSpinEdit",    "1",                  true,    0,     255,   true,  0, TServiceConversion::LowByte,    BoardDSP,        Cmd::DSPSetMirrorSwing1,  TSpinTarget::MirrorSwing1},
    {"SetMirrorSwing2Button", "MirrorSwing2RealSpinEdit",    "2",                  true,    0,     255,   true,  0, TServiceConversion::LowByte,    BoardDSP,        Cmd::DSPSetMirrorSwing2,  TSpinTarget::MirrorSwing2},
    {"SetMirrorSwing3Button", "MirrorSwing3RealSpinEdit",    "3",                  true,    0,     65535, true,  0, TServiceConversion::Word16,     BoardDSP,        Cmd::DSPSetMirrorSwing3,  TSpinTarget::MirrorSwing3},
    {"OutSignalPeriodButton", "OutSignalPeriodRealSpinEdit", "Out signal period",  true,    500,   2000,  true,  0, TServiceConversion::Word16,     BoardDSP,        Cmd::DSPSetOutSignalPeriod, TSpinTarget::OutSignalPeriod},
    {"SetMirrorsUsageButton", "MirrorsUsageRealSpinEdit",    "Mirrors usage",      true,    0,     2,     true,  0, TServiceConversion::LowByte,    BoardDSP,        Cmd::DSPSetMirrorsUsage,  TSpinTarget::MirrorsUsage},
}};
// clang-format on

const TServiceSetRow* FindServiceRowByButton(const char* button) {
    for (const TServiceSetRow& row : ServiceSetRows)
        if (std::strcmp(row.Button, button) == 0)
            return &row;
    return nullptr;
}

const TServiceSetRow* FindServiceRowBySpinEdit(const char* spinEdit) {
    for (const TServiceSetRow& row : ServiceSetRows)
        if (std::strcmp(row.SpinEdit, spinEdit) == 0)
            return &row;
    return nullptr;
}

TServiceWords ServiceSetWords(const TServiceSetRow& row, double value, bool stabilizationCheck) {
    switch (row.Conversion) {
    case TServiceConversion::Word16:
        return {Conv::Low16(Conv::Trunc(value)), 0};
    case TServiceConversion::LowByte:
        return {Conv::LowByte(Conv::Trunc(value)), 0};
    case TServiceConversion::CFTTenths:
        return {Conv::LowByte(Conv::Trunc(value * 10)), 0};
    case TServiceConversion::PathGain: {
        const int64_t t = Conv::Trunc(value);
        return {Conv::Low16(stabilizationCheck ? t + 2000 : t), 0};
    }
    case TServiceConversion::Lifetime32: {
        const int64_t t = Conv::Trunc(value);
        return {Conv::Low16(t), Conv::High16(t)};
    }
    }
    return {};
}

bool SendServiceSetRow(const TServiceSetRow& row, double value, bool stabilizationCheck) {
    const TServiceWords words = ServiceSetWords(row, value, stabilizationCheck);
    return SendParamsFrame(row.Target, row.Code, words.W0, words.W1);
}

uint16_t StabilizationCheckWord(double pathGain, bool ticked) {
    const int64_t t = std::llabs(Conv::Trunc(pathGain));
    return Conv::Low16(ticked ? t + 2000 : t);
}

void SendStabilizationCheck(double pathGain, bool ticked) {
    SendParamsFrame(BoardController, Cmd::SetPathGain, StabilizationCheckWord(pathGain, ticked));
}

void SendDSPWritePID(double p, double i, double d) {
    SendParamsFrame(BoardDSP, Cmd::DSPWritePID, Conv::Low16(Conv::Trunc(p)),
                    Conv::Low16(Conv::Trunc(i)), Conv::Low16(Conv::Trunc(d)));
}

void SendDSPReadPID() {
    SendParamsFrame(BoardDSP, Cmd::DSPReadPID);
}

bool SendSetExpectedPeaks(uint16_t mask) {
    return SendParamsFrame(BoardController, Cmd::SetExpectedPeaks, mask);
}

TCFTCaptions CFTCalibrationCaptions(double cftOffset) {
    if (cftOffset < 30000)
        return {"CFT temp 10 (bridge)", "CFT temp 30 (bridge)", "CFT offset (15000=0)"};
    return {"CFT temp 10", "CFT temp 40", "CFT offset"};
}
