#include "protocol/FrameLogUnit.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

std::atomic<TFrameLog*> FrameLog{nullptr};

TFrameLog::TFrameLog(size_t capacity) : FRing(std::max<size_t>(capacity, 1)) {}

void TFrameLog::Record(TFrameDirection direction, const uint8_t* frame, bool checksumOk) {
    const int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    {
        std::unique_lock lock(FLock);
        TFrameLogEntry& e = FRing[FNext % FRing.size()];
        e.Seq = FNext++;
        e.TimeUs = now;
        std::memcpy(e.Bytes.data(), frame, FrameSize);
        e.Direction = direction;
        e.ChecksumOk = checksumOk;
    }
    // One notification until a reader has caught up.
    if (!FNotifyPending.exchange(true))
        NotifyAllObservers();
}

std::vector<TFrameLogEntry> TFrameLog::ReadSince(uint64_t& from, size_t max) const {
    // Re-armed before reading: a frame recorded from now on notifies again, and whatever was
    // recorded before is in this copy.
    FNotifyPending.store(false);
    std::shared_lock lock(FLock);
    const uint64_t oldest = FNext > FRing.size() ? FNext - FRing.size() : 0;
    uint64_t first = std::max(from, oldest);
    if (first > FNext)
        first = FNext; // a cursor from the future (another log) starts over at the end
    const uint64_t n = std::min<uint64_t>(FNext - first, max);
    std::vector<TFrameLogEntry> out;
    out.reserve(static_cast<size_t>(n));
    for (uint64_t s = first; s < first + n; ++s)
        out.push_back(FRing[s % FRing.size()]);
    from = first + n;
    return out;
}

std::vector<TFrameLogEntry> TFrameLog::Entries() const {
    std::shared_lock lock(FLock);
    const uint64_t oldest = FNext > FRing.size() ? FNext - FRing.size() : 0;
    std::vector<TFrameLogEntry> out;
    out.reserve(static_cast<size_t>(FNext - oldest));
    for (uint64_t s = oldest; s < FNext; ++s)
        out.push_back(FRing[s % FRing.size()]);
    return out;
}

uint64_t TFrameLog::NextSeq() const {
    std::shared_lock lock(FLock);
    return FNext;
}

size_t TFrameLog::Count() const {
    std::shared_lock lock(FLock);
    return static_cast<size_t>(std::min<uint64_t>(FNext, FRing.size()));
}

void RecordSentFrame(const uint8_t* frame) {
    if (TFrameLog* log = FrameLog.load())
        log->Record(TFrameDirection::Sent, frame, FrameChecksum(frame) == frame[11]);
}

void RecordReceivedFrame(const uint8_t* frame, bool checksumOk) {
    if (TFrameLog* log = FrameLog.load())
        log->Record(TFrameDirection::Received, frame, checksumOk);
}

QString FrameDirectionText(TFrameDirection direction) {
    return direction == TFrameDirection::Sent ? QStringLiteral("TX") : QStringLiteral("RX");
}

QString FrameTimeText(int64_t timeUs) {
    return QDateTime::fromMSecsSinceEpoch(timeUs / 1000).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString FrameDataText(const TFrame& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    QString s(8 * 3 - 1, QLatin1Char(' '));
    for (int i = 0; i < 8; ++i) {
        s[3 * i] = QLatin1Char(digits[bytes[2 + i] >> 4]);
        s[3 * i + 1] = QLatin1Char(digits[bytes[2 + i] & 0x0F]);
    }
    return s;
}

QString FrameBoardText(const TFrameLogEntry& entry) {
    const int board =
        entry.Direction == TFrameDirection::Sent ? entry.Address() & 0x0F : entry.Address() >> 4;
    switch (board) {
    case BoardController:
        return QStringLiteral("VFD");
    case BoardDSP:
        return QStringLiteral("DSP");
    case BoardFrequency:
        return QStringLiteral("FREQ");
    case BoardLaserHead:
        return QStringLiteral("HeNe");
    default:
        return QString::number(board);
    }
}

// --- command names (until the command table's own names are available) ----------------------

namespace {

struct TName {
    uint8_t code;
    const char* name;
};

constexpr TName ControllerNames[] = {
    {Cmd::StartStep1, "StartStep1"},
    {Cmd::StartStep2, "StartStep2"},
    {Cmd::GoToPeak, "GoToPeak"},
    {Cmd::HalfAutomatic, "HalfAutomatic"},
    {Cmd::Lock, "Lock"},
    {Cmd::GetPhase, "GetPhase"},
    {Cmd::SetPhase, "SetPhase"},
    {Cmd::GetDelay, "GetDelay"},
    {Cmd::SetDelay, "SetDelay"},
    {Cmd::GetPathGain, "GetPathGain"},
    {Cmd::SetPathGain, "SetPathGain"},
    {Cmd::GetCFT, "GetCFT"},
    {Cmd::SetCFT, "SetCFT"},
    {Cmd::GetP, "GetP"},
    {Cmd::SetP, "SetP"},
    {Cmd::GetI, "GetI"},
    {Cmd::SetI, "SetI"},
    {Cmd::GetD, "GetD"},
    {Cmd::SetD, "SetD"},
    {Cmd::GetPIDGain, "GetPIDGain"},
    {Cmd::SetPIDGain, "SetPIDGain"},
    {Cmd::GetExpectedPeaks, "GetExpectedPeaks"},
    {Cmd::SetExpectedPeaks, "SetExpectedPeaks"},
    {Cmd::GetScopeScale, "GetScopeScale"},
    {Cmd::SetScopeScale, "SetScopeScale"},
    {Cmd::InitRequest, "InitRequest"},
    {Cmd::GetSetPoint, "GetSetPoint"},
    {Cmd::SetSetPoint, "SetSetPoint"},
    {Cmd::GetHarmonic, "GetHarmonic"},
    {Cmd::SetHarmonic, "SetHarmonic"},
    {Cmd::GetCFTTemp10, "GetCFTTemp10"},
    {Cmd::SetCFTTemp10, "SetCFTTemp10"},
    {Cmd::GetCFTTemp40, "GetCFTTemp40"},
    {Cmd::SetCFTTemp40, "SetCFTTemp40"},
    {Cmd::GetCFTOffset, "GetCFTOffset"},
    {Cmd::SetCFTOffset, "SetCFTOffset"},
    {Cmd::GetCFTRaw, "GetCFTRaw"},
    {Cmd::GetModulation, "GetModulation"},
    {Cmd::SetModulation, "SetModulation"},
    {Cmd::GetFOffset, "GetFOffset"},
    {Cmd::SetFOffset, "SetFOffset"},
    {Cmd::GetFirmwareVersion, "GetFirmwareVersion"},
};

constexpr TName DSPNames[] = {
    {Cmd::DSPReadPID, "DSPReadPID"},
    {Cmd::DSPWritePID, "DSPWritePID"},
    {Cmd::DSPGetLifetime, "DSPGetLifetime"},
    {Cmd::DSPSetLifetime, "DSPSetLifetime"},
    {Cmd::DSPGetMirrorSwing, "DSPGetMirrorSwing"},
    {Cmd::DSPSetMirrorSwing1, "DSPSetMirrorSwing1"},
    {Cmd::DSPSetMirrorSwing2, "DSPSetMirrorSwing2"},
    {Cmd::DSPGetOutSignalPeriod, "DSPGetOutSignalPeriod"},
    {Cmd::DSPSetOutSignalPeriod, "DSPSetOutSignalPeriod"},
    {Cmd::DSPGetMirrorsUsage, "DSPGetMirrorsUsage"},
    {Cmd::DSPSetMirrorsUsage, "DSPSetMirrorsUsage"},
    {Cmd::DSPSetMirrorSwing3, "DSPSetMirrorSwing3"},
    {Cmd::DSPGetFirmwareVersion, "DSPGetFirmwareVersion"},
};

constexpr TName LaserHeadNames[] = {
    {Cmd::LHGetServiceStreamParams, "LHGetServiceStreamParams"},
    {Cmd::LHWriteDACRegistry, "LHWriteDACRegistry"},
    {Cmd::LHWriteDACEeprom, "LHWriteDACEeprom"},
    {Cmd::LHReadDACParameters, "LHReadDACParameters"},
    {Cmd::LHChangeStabilizationMode, "LHChangeStabilizationMode"},
    {Cmd::LHSetPIDParam, "LHSetPIDParam"},
    {Cmd::LHSetArtOffset, "LHSetArtOffset"},
    {Cmd::LHGetArtOffset, "LHGetArtOffset"},
    {Cmd::LHGetPIDParam, "LHGetPIDParam"},
    {Cmd::LHChangeLaserState, "LHChangeLaserState"},
    {Cmd::LHSetSlope, "LHSetSlope"},
    {Cmd::LHGetSlope, "LHGetSlope"},
    {Cmd::LHGetEepromErrorCount, "LHGetEepromErrorCount"},
    {Cmd::LHSetEepromErrorCount, "LHSetEepromErrorCount"},
    {Cmd::LHGetTimes, "LHGetTimes"},
    {Cmd::LHGetLaserOperationTime, "LHGetLaserOperationTime"},
    {Cmd::LHSetLaserOperationTime, "LHSetLaserOperationTime"},
    {Cmd::LHSetLaserStartCount, "LHSetLaserStartCount"},
    {Cmd::LHGetLaserStartCount, "LHGetLaserStartCount"},
    {Cmd::LHGetSerialNumber, "LHGetSerialNumber"},
    {Cmd::LHSetSerialNumber, "LHSetSerialNumber"},
    {Cmd::LHGetFirmwareVersion, "LHGetFirmwareVersion"},
    {Cmd::LHSetHeaterOptions, "LHSetHeaterOptions"},
    {Cmd::LHGetHeaterOptions, "LHGetHeaterOptions"},
    {Cmd::LHSetWavelength, "LHSetWavelength"},
    {Cmd::LHGetWavelength, "LHGetWavelength"},
    {Cmd::LHGetTestValues, "LHGetTestValues"},
    {Cmd::LHSetStabilizationOptions, "LHSetStabilizationOptions"},
    {Cmd::LHGetStabilizationOptions, "LHGetStabilizationOptions"},
    {Cmd::LHStatusMode, "LHStatusMode"},
};

constexpr TName FirmwareNames[] = {
    {Cmd::FwAddress, "FwAddress"},
    {Cmd::FwTransferCompleted, "FwTransferCompleted"},
    {Cmd::FwData, "FwData"},
    {Cmd::FwErase, "FwErase"},
    {Cmd::FwFinish, "FwFinish"},
    {Cmd::FwReset, "FwReset"},
    {Cmd::FwSwitchToProgramming, "FwSwitchToProgramming"},
};

template <size_t N> const char* Find(const TName (&names)[N], uint8_t code) {
    for (const TName& n : names)
        if (n.code == code)
            return n.name;
    return nullptr;
}

} // namespace

QString FrameCommandText(const TFrameLogEntry& entry) {
    const int board =
        entry.Direction == TFrameDirection::Sent ? entry.Address() & 0x0F : entry.Address() >> 4;
    const uint8_t code = entry.Code();
    const char* name = nullptr;
    switch (board) {
    case BoardController:
        name = Find(ControllerNames, code);
        break;
    case BoardDSP:
        name = Find(DSPNames, code);
        break;
    case BoardLaserHead:
        name = Find(LaserHeadNames, code);
        break;
    default:
        break;
    }
    if (!name)
        name = Find(FirmwareNames, code);
    return name ? QString::fromLatin1(name) : QString();
}
