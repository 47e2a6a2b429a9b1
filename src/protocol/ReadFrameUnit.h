#pragma once
// The receive side of the link: the thread that polls the connection, the buffer that cuts the
// byte stream into checked 12-byte frames, and the dispatch of each frame by its sender.
//
//   TFrameExtractor    the 9999-byte buffer with the carried tail of an incomplete frame; finds
//                      candidates (0xAF) and hands each to a TReadILFrame. No thread, no I/O.
//   TReadILFrame       one candidate: checksum, receiver nibble, firmware-update filter,
//                      dispatch by sender (1, 2, 3 decoded here; 4 to the laser-head model).
//   TReadILFrameThread polls Connection every 3 ms and delivers the decoded reports to a
//                      TControllerReceiver on the GUI thread.

#include "protocol/ControllerDecodeUnit.h"
#include "protocol/ControllerReceiverUnit.h"

#include <QLocale>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class TConnection;

// Where TReadILFrame hands what it found. All of it runs on the thread doing the extraction.
class TFrameDispatcher {
public:
    virtual ~TFrameDispatcher() = default;
    // A candidate frame failed its checksum.
    virtual void CRCError() = 0;
    // A frame passed its checksum (before the receiver and sender checks); for counting and
    // logging. Must not keep the pointer.
    virtual void FrameChecked(const uint8_t* /*frame*/) {}
    // Decoded values of a controller board's frame, with their delivery mode.
    virtual void Deliver(const TDecodedReport& report) = 0;
    // A checked frame of the laser head (sender 4) for the PC.
    virtual void LaserHeadFrame(const uint8_t* frame) = 0;
};

// The decoder of one candidate frame; made for each candidate and dropped once it is consumed.
class TReadILFrame {
public:
    TReadILFrame(TFrameDispatcher& dispatcher, const QLocale& locale)
        : FDispatcher(dispatcher), FLocale(locale) {}

    // frameBuffer points at a candidate start, frameBufferSize bytes are available from there.
    // Returns false when fewer than 12 bytes are available (wait for more). Otherwise the
    // candidate was dealt with and DecodedBytesCount bytes may be dropped: 1 after a checksum
    // error (the scan resumes at the next byte), 12 for every frame that passed it.
    bool Decode(const uint8_t* frameBuffer, size_t frameBufferSize, size_t& DecodedBytesCount);

private:
    void DecodeSTDFrame(size_t& DecodedBytesCount);
    void ReadControllerFrame();
    void ReadDSPFrame();
    void ReadFrequencyFrame();
    void DeliverAll(const TDecodedFrame& decoded);

    TFrameDispatcher& FDispatcher;
    const QLocale& FLocale;
    const uint8_t* FFrame = nullptr;
};

// The receive buffer. A poll cycle writes new bytes at FreeData() (at most FreeSpace() of them)
// and calls Extract; every complete candidate is handed on, an incomplete tail (fewer than 12
// bytes, starting with 0xAF) is kept at the start of the buffer for the next cycle.
class TFrameExtractor {
public:
    static constexpr uint32_t BufferSize = 9999;

    explicit TFrameExtractor(TFrameDispatcher& dispatcher, QLocale locale = QLocale());

    uint8_t* FreeData() { return FBuffer.get() + FCarry; }
    // Never less than BufferSize - 11: a carry is always shorter than one frame.
    uint32_t FreeSpace() const { return BufferSize - FCarry; }
    uint32_t Carry() const { return FCarry; }
    // Bytes thrown away so far: garbage before a start marker, and one byte per checksum error.
    uint64_t Dropped() const { return FDropped; }

    // Extracts frames from the carry plus newBytes bytes just written at FreeData().
    void Extract(uint32_t newBytes);
    // Passes any amount of bytes through the buffer (in pieces of at most FreeSpace()).
    void Feed(const uint8_t* data, size_t size);

private:
    TFrameDispatcher& FDispatcher;
    QLocale FLocale;
    uint32_t FCarry = 0;
    uint64_t FDropped = 0;
    // On the heap at its exact size, so that a sanitizer sees any access past its end.
    std::unique_ptr<uint8_t[]> FBuffer;
};

// The receive thread.
//
// receiver gets every decoded controller value; context is the GUI-thread object the calls are
// marshalled to (the main window; usually receiver and context are the same object). Queued
// reports run later with copied values; synchronised reports run while this thread waits;
// firmware acknowledgements are handled on this thread. No call reaches receiver after context
// is destroyed, so receiver must live at least as long as context.
//
// Stop() (and the destructor) must be called on context's thread: it keeps serving that
// thread's pending calls while it waits, so a thread blocked in a synchronised call can end.
// Stop the thread before the connection is closed, so that no read is under way on a closed
// handle.
class TReadILFrameThread : public QThread, private TFrameDispatcher {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 3;
    // Polls that keep failing for this long mean the adapter is gone (one failed poll is a
    // glitch): the receiver is told once per failing stretch, queued, with LinkFailed.
    static constexpr int LinkFailureMs = 300;

    // Reads through the global Connection as it is now. The thread is not started.
    TReadILFrameThread(TControllerReceiver* receiver, QObject* context, QObject* parent = nullptr);
    ~TReadILFrameThread() override;

    // Asks the loop to end and waits for it, serving pending calls meanwhile.
    void Stop();

    // True after a failed queue-status or read call in the last poll cycle.
    bool Error() const { return FError.load(std::memory_order_relaxed); }
    // True from the moment LinkFailed is told until a poll succeeds again.
    bool LinkFailing() const { return FFailureReported.load(); }

    // Diagnostic counters.
    uint64_t BytesReceived() const { return FBytes.load(std::memory_order_relaxed); }
    uint64_t FramesChecked() const { return FFrames.load(std::memory_order_relaxed); }
    uint64_t CRCErrors() const { return FCRCErrors.load(std::memory_order_relaxed); }
    uint64_t BytesDropped() const { return FDropped.load(std::memory_order_relaxed); }

    // The same counters summed over every receive thread since the program started (the bytes
    // still waiting as an incomplete frame when a thread ends count as dropped). Any thread.
    struct TTotals {
        uint64_t Bytes = 0;
        uint64_t Frames = 0;
        uint64_t CRCErrors = 0;
        uint64_t BytesDropped = 0;
        // Reads under way: from the driver call until the frames in them are handed on (a
        // boot-loader answer is with the firmware engine once this is 0 again).
        uint64_t ReadsInHand = 0;
    };
    static TTotals Totals();

protected:
    void run() override; // Execute

private:
    void PollOnce();
    // After a poll: tracks how long the polls have been failing and tells the receiver once.
    void CheckFailing();
    void PostLinkFailed(uint32_t failingMs);

    void CRCError() override;
    void FrameChecked(const uint8_t* frame) override;
    void Deliver(const TDecodedReport& report) override;
    void LaserHeadFrame(const uint8_t* frame) override;

    void Queue(const TDecodedReport& report);
    void Synchronize(const TDecodedReport& report);

    TControllerReceiver* const FReceiver;
    TConnection* const FConnection;
    std::mutex FContextMutex; // guards FContext against its destruction on the GUI thread
    QObject* FContext;
    TFrameExtractor FExtractor;
    std::atomic<bool> FError{false};
    int64_t FFailingSinceNs = -1; // steady clock; -1 while the polls succeed
    std::atomic<bool> FFailureReported{false};
    std::atomic<uint64_t> FBytes{0};
    std::atomic<uint64_t> FFrames{0};
    std::atomic<uint64_t> FCRCErrors{0};
    std::atomic<uint64_t> FDropped{0};
};

// The running receive thread, present only while connected. GUI thread only.
extern TReadILFrameThread* ILFrameReader;

// Stops and frees a previous thread, then creates and starts ILFrameReader.
void StartILFrameReader(TControllerReceiver* receiver, QObject* context);
// Stops ILFrameReader (serving pending calls), clears the global, frees the thread.
void StopILFrameReader();
