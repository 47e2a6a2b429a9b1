#include "protocol/ReadFrameUnit.h"

#include "laser/LaserDeviceUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/FrameLogUnit.h"
#include "protocol/SendFrameUnit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>

TReadILFrameThread* ILFrameReader = nullptr;

// --- TReadILFrame -------------------------------------------------------------------------------

bool TReadILFrame::Decode(const uint8_t* frameBuffer, size_t frameBufferSize,
                          size_t& DecodedBytesCount) {
    DecodedBytesCount = 0;
    if (frameBufferSize < FrameSize)
        return false;
    FFrame = frameBuffer;
    DecodeSTDFrame(DecodedBytesCount);
    return true;
}

void TReadILFrame::DecodeSTDFrame(size_t& DecodedBytesCount) {
    const bool checksumOk = FrameChecksum(FFrame) == FFrame[11];
    RecordReceivedFrame(FFrame, checksumOk); // the frame monitor sees good and bad candidates
    if (!checksumOk) {
        FDispatcher.CRCError();
        DecodedBytesCount = 1; // a frame may start inside the rejected bytes
        return;
    }
    DecodedBytesCount = FrameSize;
    FDispatcher.FrameChecked(FFrame);
    if ((FFrame[10] & 0x0F) != PCAddress)
        return; // for another receiver
    const int sender = FFrame[10] >> 4;
    if (UpdatingDeviceId.load() != 0) {
        // While a board is programmed only its own frames are decoded.
        TFirmwareAckSink* sink = FirmwareAckSink.load();
        const int32_t devId = sink ? sink->devId() : UpdatingDeviceId.load();
        if (sender != devId)
            return;
    }
    try {
        switch (sender) {
        case BoardController:
            ReadControllerFrame();
            break;
        case BoardDSP:
            ReadDSPFrame();
            break;
        case BoardFrequency:
            ReadFrequencyFrame();
            break;
        case BoardLaserHead:
            FDispatcher.LaserHeadFrame(FFrame);
            break;
        default:
            break; // no such board
        }
    } catch (...) {
        // A failing handler costs this frame only.
    }
}

void TReadILFrame::ReadControllerFrame() {
    DeliverAll(DecodeControllerBoardFrame(FFrame, FLocale));
}
void TReadILFrame::ReadDSPFrame() {
    DeliverAll(DecodeDSPFrame(FFrame));
}
void TReadILFrame::ReadFrequencyFrame() {
    DeliverAll(DecodeFrequencyBoardFrame(FFrame));
}

void TReadILFrame::DeliverAll(const TDecodedFrame& decoded) {
    for (const TDecodedReport& report : decoded)
        FDispatcher.Deliver(report);
}

// --- TFrameExtractor ----------------------------------------------------------------------------

TFrameExtractor::TFrameExtractor(TFrameDispatcher& dispatcher, QLocale locale)
    : FDispatcher(dispatcher), FLocale(std::move(locale)),
      FBuffer(std::make_unique<uint8_t[]>(BufferSize)) {}

void TFrameExtractor::Extract(uint32_t newBytes) {
    const size_t count = FCarry + std::min(newBytes, FreeSpace());
    uint8_t* const buffer = FBuffer.get();
    size_t position = 0;
    FCarry = 0;
    while (position < count) {
        // Garbage is skipped up to the next start marker.
        const void* start = std::memchr(buffer + position, FrameStart, count - position);
        if (!start) {
            FDropped += count - position;
            break;
        }
        const size_t found = static_cast<size_t>(static_cast<const uint8_t*>(start) - buffer);
        FDropped += found - position;
        position = found;
        TReadILFrame decoder(FDispatcher, FLocale);
        size_t decoded = 0;
        if (!decoder.Decode(buffer + position, count - position, decoded)) {
            // Fewer than 12 bytes from a start marker: keep them for the next cycle.
            FCarry = static_cast<uint32_t>(count - position);
            std::memmove(buffer, buffer + position, FCarry);
            break;
        }
        if (decoded == 1)
            ++FDropped; // a checksum error: the scan resumes at the next byte
        position += decoded;
    }
}

void TFrameExtractor::Feed(const uint8_t* data, size_t size) {
    while (size > 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, FreeSpace()));
        std::memcpy(FreeData(), data, n);
        Extract(n);
        data += n;
        size -= n;
    }
}

// --- TReadILFrameThread -------------------------------------------------------------------------

namespace {

// Program-wide sums of every receive thread's counters.
std::atomic<uint64_t> TotalBytes{0};
std::atomic<uint64_t> TotalFrames{0};
std::atomic<uint64_t> TotalCRCErrors{0};
std::atomic<uint64_t> TotalDropped{0};
std::atomic<uint64_t> TotalReadsInHand{0};

// Counts one read from its start until every frame in it has been handed on.
struct TReadInHand {
    TReadInHand() { TotalReadsInHand.fetch_add(1); }
    ~TReadInHand() { TotalReadsInHand.fetch_sub(1); }
    TReadInHand(const TReadInHand&) = delete;
    TReadInHand& operator=(const TReadInHand&) = delete;
};

} // namespace

TReadILFrameThread::TTotals TReadILFrameThread::Totals() {
    TTotals t;
    t.Bytes = TotalBytes.load(std::memory_order_relaxed);
    t.Frames = TotalFrames.load(std::memory_order_relaxed);
    t.CRCErrors = TotalCRCErrors.load(std::memory_order_relaxed);
    t.BytesDropped = TotalDropped.load(std::memory_order_relaxed);
    t.ReadsInHand = TotalReadsInHand.load();
    return t;
}

TReadILFrameThread::TReadILFrameThread(TControllerReceiver* receiver, QObject* context,
                                       QObject* parent)
    : QThread(parent), FReceiver(receiver), FConnection(Connection), FContext(context),
      FExtractor(*this) {
    if (context) {
        // Runs on the thread destroying the context, before its posted calls are discarded;
        // from then on nothing more is posted to it.
        connect(
            context, &QObject::destroyed, this,
            [this] {
                std::lock_guard g(FContextMutex);
                FContext = nullptr;
            },
            Qt::DirectConnection);
    }
}

TReadILFrameThread::~TReadILFrameThread() {
    Stop();
}

void TReadILFrameThread::Stop() {
    requestInterruption();
    if (QThread::currentThread() == this)
        return;
    // A plain wait() here would deadlock against a synchronised call waiting for this thread's
    // event loop; serve the calls (but no user input) until the loop has ended.
    while (!wait(QDeadlineTimer(5)))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TReadILFrameThread::run() {
    FError = false;
    while (!isInterruptionRequested()) {
        PollOnce();
        CheckFailing();
        QThread::msleep(PollIntervalMs);
    }
    // An incomplete frame left in the buffer is never completed now.
    const uint32_t carry = FExtractor.Carry();
    FDropped.fetch_add(carry, std::memory_order_relaxed);
    TotalDropped.fetch_add(carry, std::memory_order_relaxed);
}

void TReadILFrameThread::CheckFailing() {
    if (!FError.load(std::memory_order_relaxed)) {
        FFailingSinceNs = -1;
        FFailureReported = false;
        return;
    }
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (FFailingSinceNs < 0)
        FFailingSinceNs = now;
    const int64_t failingMs = (now - FFailingSinceNs) / 1000000;
    if (!FFailureReported && failingMs >= LinkFailureMs) {
        FFailureReported = true;
        PostLinkFailed(static_cast<uint32_t>(failingMs));
    }
}

void TReadILFrameThread::PollOnce() {
    if (!FConnection) {
        FError = true;
        return;
    }
    uint32_t count = 0;
    if (!FConnection->GetReadDataCount(count)) {
        FError = true;
        return;
    }
    FError = false;
    if (count == 0)
        return; // nothing new: the carried bytes stay as they are
    // Never more than the buffer can take; whatever stays queued is read in the next cycle.
    const uint32_t room = FExtractor.FreeSpace();
    uint32_t size = std::min(count, room);
    const TReadInHand inHand;
    if (!FConnection->Read(FExtractor.FreeData(), size)) {
        FError = true;
        return;
    }
    size = std::min(size, room); // a driver reporting more than asked is not believed
    FBytes.fetch_add(size, std::memory_order_relaxed);
    TotalBytes.fetch_add(size, std::memory_order_relaxed);
    if (size > 0) {
        const uint64_t before = FExtractor.Dropped();
        FExtractor.Extract(size);
        const uint64_t dropped = FExtractor.Dropped() - before;
        if (dropped > 0) {
            FDropped.fetch_add(dropped, std::memory_order_relaxed);
            TotalDropped.fetch_add(dropped, std::memory_order_relaxed);
        }
    }
}

void TReadILFrameThread::CRCError() {
    FCRCErrors.fetch_add(1, std::memory_order_relaxed);
    TotalCRCErrors.fetch_add(1, std::memory_order_relaxed);
    Queue(TDecodedReport(TDelivery::Queued).Add(Act::CRCError{}));
}

void TReadILFrameThread::FrameChecked(const uint8_t*) {
    FFrames.fetch_add(1, std::memory_order_relaxed);
    TotalFrames.fetch_add(1, std::memory_order_relaxed);
}

void TReadILFrameThread::Deliver(const TDecodedReport& report) {
    switch (report.delivery) {
    case TDelivery::Queued:
        Queue(report);
        break;
    case TDelivery::Synchronised:
        Synchronize(report);
        break;
    case TDelivery::ReceiveThread:
        // Firmware acknowledgements only: the GUI thread is waiting for them.
        for (const TAction& action : report)
            if (const auto* ack = std::get_if<Act::FirmwareAck>(&action))
                DeliverFirmwareAck(ack->code, ack->b2);
        break;
    }
}

void TReadILFrameThread::LaserHeadFrame(const uint8_t* frame) {
    if (TLaser* laser = Laser)
        laser->DecodeFrame(frame);
}

namespace {

// Qt hands a posted call to the other thread with primitives a race detector cannot see. This
// mutex, held while posting and taken by the call before it reads its values, makes the
// hand-over visible (and costs one uncontended lock per call).
std::mutex PostMutex;

void EnterPostedCall() {
    std::lock_guard g(PostMutex);
}

// Wakes the receive thread waiting for a synchronised call when the last copy of the posted
// call is destroyed: after it ran, or when it was discarded unrun with its context.
struct TSyncDone {
    std::mutex mutex;
    std::condition_variable condition;
    bool done = false;

    void Wait() {
        std::unique_lock lock(mutex);
        condition.wait(lock, [this] { return done; });
    }
};
struct TSyncRelease {
    std::shared_ptr<TSyncDone> sync;
    explicit TSyncRelease(std::shared_ptr<TSyncDone> s) : sync(std::move(s)) {}
    TSyncRelease(const TSyncRelease&) = delete;
    TSyncRelease& operator=(const TSyncRelease&) = delete;
    ~TSyncRelease() {
        {
            std::lock_guard g(sync->mutex);
            sync->done = true;
        }
        sync->condition.notify_one();
    }
};

} // namespace

void TReadILFrameThread::Queue(const TDecodedReport& report) {
    std::lock_guard g(FContextMutex);
    if (!FContext || !FReceiver)
        return;
    std::lock_guard post(PostMutex);
    QMetaObject::invokeMethod(
        FContext,
        [receiver = FReceiver, report] {
            EnterPostedCall();
            ApplyControllerReport(*receiver, report);
        },
        Qt::QueuedConnection);
}

void TReadILFrameThread::PostLinkFailed(uint32_t failingMs) {
    std::lock_guard g(FContextMutex);
    if (!FContext || !FReceiver)
        return;
    std::lock_guard post(PostMutex);
    QMetaObject::invokeMethod(
        FContext,
        [receiver = FReceiver, failingMs] {
            EnterPostedCall();
            receiver->LinkFailed(failingMs);
        },
        Qt::QueuedConnection);
}

void TReadILFrameThread::Synchronize(const TDecodedReport& report) {
    // Like a blocking queued call, but posted under the context guard so that nothing is ever
    // posted to a destroyed context, and woken also when the call is discarded unrun. The call
    // reads the report in place: this thread waits until the call is gone.
    auto sync = std::make_shared<TSyncDone>();
    {
        std::lock_guard g(FContextMutex);
        if (!FContext || !FReceiver)
            return;
        if (FContext->thread() == QThread::currentThread()) {
            ApplyControllerReport(*FReceiver, report);
            return;
        }
        auto release = std::make_shared<TSyncRelease>(sync);
        std::lock_guard post(PostMutex);
        QMetaObject::invokeMethod(
            FContext,
            [receiver = FReceiver, r = &report, release] {
                EnterPostedCall();
                ApplyControllerReport(*receiver, *r);
            },
            Qt::QueuedConnection);
    }
    sync->Wait();
}

// --- the global ---------------------------------------------------------------------------------

void StartILFrameReader(TControllerReceiver* receiver, QObject* context) {
    StopILFrameReader();
    auto* thread = new TReadILFrameThread(receiver, context);
    thread->start();
    ILFrameReader = thread;
}

void StopILFrameReader() {
    TReadILFrameThread* thread = ILFrameReader;
    ILFrameReader = nullptr;
    if (thread) {
        thread->Stop();
        delete thread;
    }
}
