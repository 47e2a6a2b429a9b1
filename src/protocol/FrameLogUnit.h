#pragma once
// The frame log: every frame the program writes to the link and every frame the receive thread
// takes from it, newest last, for the frame monitor of the service page.
//
// Recording is the hot path (the receive thread records at line rate, up to 960 frames/s): it
// copies one fixed-size entry into a preallocated ring under the writer lock and formats
// nothing. Readers copy entries under the reader lock and format them when they show them.
//
// The log is a subject. It does not notify once per frame: after a notification it stays quiet
// until some reader has read (ReadSince), so a busy link costs one notification per refresh of
// the monitor. An observer that subscribes reads once at once; from then on it is told about
// every frame recorded after its last read.

#include "laser/ObserverPatternUnit.h"
#include "protocol/SendFrameUnit.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <vector>

enum class TFrameDirection : uint8_t {
    Sent,     // written by the program to the link
    Received, // taken from the link by the receive thread
};

struct TFrameLogEntry {
    uint64_t Seq = 0;   // running number, 0 for the first frame the log ever recorded
    int64_t TimeUs = 0; // wall clock when recorded, microseconds since 1970-01-01 UTC
    TFrame Bytes{};     // the 12 bytes as they went over the link
    TFrameDirection Direction = TFrameDirection::Sent;
    bool ChecksumOk = true;

    uint8_t Code() const { return Bytes[1]; }
    uint8_t Address() const { return Bytes[10]; }
    uint8_t Checksum() const { return Bytes[11]; }
    // The checksum the bytes call for.
    uint8_t ExpectedChecksum() const { return FrameChecksum(Bytes); }
};

class TFrameLog : public TSubject {
public:
    static constexpr size_t DefaultCapacity = 4096;

    explicit TFrameLog(size_t capacity = DefaultCapacity);

    // Records one 12-byte frame. Any thread; never allocates.
    void Record(TFrameDirection direction, const uint8_t* frame, bool checksumOk);

    // Copies the entries numbered from on (oldest first; those already overwritten are skipped),
    // at most max of them, and moves from past the last one copied. Re-arms the notification.
    std::vector<TFrameLogEntry> ReadSince(uint64_t& from, size_t max = SIZE_MAX) const;
    // Every entry held, oldest first.
    std::vector<TFrameLogEntry> Entries() const;

    // The number the next recorded frame will get (= frames recorded so far).
    uint64_t NextSeq() const;
    // Entries held now (at most Capacity()).
    size_t Count() const;
    size_t Capacity() const { return FRing.size(); }

private:
    mutable std::shared_mutex FLock;
    std::vector<TFrameLogEntry> FRing; // entry n lives at n % capacity
    uint64_t FNext = 0;
    mutable std::atomic<bool> FNotifyPending{false};
};

// The program's frame log, created and freed by the application manager; null outside its life.
extern std::atomic<TFrameLog*> FrameLog;

// Record into FrameLog when it exists.
void RecordSentFrame(const uint8_t* frame);
void RecordReceivedFrame(const uint8_t* frame, bool checksumOk);

// --- texts of an entry, for display ----------------------------------------------------------

// "TX" for a sent frame, "RX" for a received one.
QString FrameDirectionText(TFrameDirection direction);
// Local time of day with milliseconds, "hh:mm:ss.zzz".
QString FrameTimeText(int64_t timeUs);
// The eight data bytes as upper-case hex pairs separated by spaces.
QString FrameDataText(const TFrame& bytes);
// The board a frame goes to (sent) or comes from (received): 'VFD', 'DSP', 'FREQ', 'HeNe', or
// the number when it is none of the four.
QString FrameBoardText(const TFrameLogEntry& entry);
