#pragma once
// Every command code the PC sends, by board. No other unit writes a bare command number.

#include <cstdint>

// Board numbers: the low nibble of a command frame's address byte, the high nibble of an answer's.
enum TBoard : uint8_t {
    BoardController = 1, // controller main board ('VFD')
    BoardDSP = 2,        // DSP board ('DSP')
    BoardFrequency = 3,  // frequency board ('FREQ')
    BoardLaserHead = 4,  // HeNe laser head ('HeNe')
};

inline constexpr uint8_t PCAddress = 15;
inline constexpr uint8_t FrameStart = 0xAF;
inline constexpr int FrameSize = 12;

namespace Cmd {

// Target 1, controller main board. A write code is its read code plus one.
inline constexpr uint8_t StartStep1 = 32;
inline constexpr uint8_t StartStep2 = 33;
inline constexpr uint8_t GoToPeak = 34;
inline constexpr uint8_t HalfAutomatic = 35;
inline constexpr uint8_t Lock = 36;
inline constexpr uint8_t GetPhase = 53;
inline constexpr uint8_t SetPhase = 54;
inline constexpr uint8_t GetDelay = 55;
inline constexpr uint8_t SetDelay = 56;
inline constexpr uint8_t GetPathGain = 57;
inline constexpr uint8_t SetPathGain = 58;
inline constexpr uint8_t GetCFT = 59;
inline constexpr uint8_t SetCFT = 60;
inline constexpr uint8_t GetP = 61;
inline constexpr uint8_t SetP = 62;
inline constexpr uint8_t GetI = 63;
inline constexpr uint8_t SetI = 64;
inline constexpr uint8_t GetD = 65;
inline constexpr uint8_t SetD = 66;
inline constexpr uint8_t GetPIDGain = 67;
inline constexpr uint8_t SetPIDGain = 68;
inline constexpr uint8_t GetExpectedPeaks = 69;
inline constexpr uint8_t SetExpectedPeaks = 70;
inline constexpr uint8_t GetScopeScale = 71;
inline constexpr uint8_t SetScopeScale = 72;
inline constexpr uint8_t InitRequest = 75;
inline constexpr uint8_t GetSetPoint = 77;
inline constexpr uint8_t SetSetPoint = 78;
inline constexpr uint8_t GetHarmonic = 80;
inline constexpr uint8_t SetHarmonic = 81;
inline constexpr uint8_t GetCFTTemp10 = 83;
inline constexpr uint8_t SetCFTTemp10 = 84;
inline constexpr uint8_t GetCFTTemp40 = 85;
inline constexpr uint8_t SetCFTTemp40 = 86;
inline constexpr uint8_t GetCFTOffset = 87;
inline constexpr uint8_t SetCFTOffset = 88;
inline constexpr uint8_t GetCFTRaw = 89;
inline constexpr uint8_t GetModulation = 91;
inline constexpr uint8_t SetModulation = 92;
inline constexpr uint8_t GetFOffset = 93;
inline constexpr uint8_t SetFOffset = 94;
inline constexpr uint8_t GetFirmwareVersion = 221;

// Target 2, DSP board.
inline constexpr uint8_t DSPReadPID = 201;
inline constexpr uint8_t DSPWritePID = 202;
inline constexpr uint8_t DSPGetLifetime = 203;
inline constexpr uint8_t DSPSetLifetime = 204;
inline constexpr uint8_t DSPGetMirrorSwing = 205;
inline constexpr uint8_t DSPSetMirrorSwing1 = 206;
inline constexpr uint8_t DSPSetMirrorSwing2 = 207;
inline constexpr uint8_t DSPGetOutSignalPeriod = 208;
inline constexpr uint8_t DSPSetOutSignalPeriod = 209;
inline constexpr uint8_t DSPGetMirrorsUsage = 210;
inline constexpr uint8_t DSPSetMirrorsUsage = 211;
inline constexpr uint8_t DSPSetMirrorSwing3 = 212;
inline constexpr uint8_t DSPGetFirmwareVersion = 221;

// Target 4, HeNe laser head.
inline constexpr uint8_t LHGetServiceStreamParams = 1;
inline constexpr uint8_t LHWriteDACRegistry = 2;
inline constexpr uint8_t LHWriteDACEeprom = 3;
inline constexpr uint8_t LHReadDACParameters = 4;
inline constexpr uint8_t LHChangeStabilizationMode = 6;
inline constexpr uint8_t LHSetPIDParam = 7;
inline constexpr uint8_t LHSetArtOffset = 8;
inline constexpr uint8_t LHGetArtOffset = 9;
inline constexpr uint8_t LHGetPIDParam = 39;
inline constexpr uint8_t LHChangeLaserState = 100;
inline constexpr uint8_t LHSetSlope = 144;
inline constexpr uint8_t LHGetSlope = 145;
inline constexpr uint8_t LHGetEepromErrorCount = 146;
inline constexpr uint8_t LHSetEepromErrorCount = 147;
inline constexpr uint8_t LHGetTimes = 148;
inline constexpr uint8_t LHGetLaserOperationTime = 149;
inline constexpr uint8_t LHSetLaserOperationTime = 150;
inline constexpr uint8_t LHSetLaserStartCount = 151;
inline constexpr uint8_t LHGetLaserStartCount = 152;
inline constexpr uint8_t LHGetSerialNumber = 153;
inline constexpr uint8_t LHSetSerialNumber = 154;
inline constexpr uint8_t LHGetFirmwareVersion = 155;
inline constexpr uint8_t LHSetHeaterOptions = 156;
inline constexpr uint8_t LHGetHeaterOptions = 157;
inline constexpr uint8_t LHSetWavelength = 158;
inline constexpr uint8_t LHGetWavelength = 159;
inline constexpr uint8_t LHGetTestValues = 160;
inline constexpr uint8_t LHSetStabilizationOptions = 161;
inline constexpr uint8_t LHGetStabilizationOptions = 162;
inline constexpr uint8_t LHStatusMode = 164;

// Firmware programming; the target is the board being programmed.
inline constexpr uint8_t FwAddress = 247;
inline constexpr uint8_t FwTransferCompleted = 248;
inline constexpr uint8_t FwData = 249;
inline constexpr uint8_t FwErase = 250;
inline constexpr uint8_t FwFinish = 251;
inline constexpr uint8_t FwReset = 252;
inline constexpr uint8_t FwSwitchToProgramming = 253;

} // namespace Cmd
