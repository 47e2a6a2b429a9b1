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
