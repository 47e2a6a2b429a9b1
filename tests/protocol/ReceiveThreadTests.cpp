// The receive thread over the fake driver: polling and bounded reads, delivery on the right
// thread in arrival order, synchronised calls, stopping, and the context's lifetime.
#include "ProtocolFixture.h"
#include "RecordingReceiver.h"
#include "laser/LaserDeviceUnit.h"
#include "protocol/ReadFrameUnit.h"

#include <QCoreApplication>
#include <QPointer>

#include <functional>
#include <memory>

namespace {

using V = std::vector<std::string>;

// Waits for a condition (never for a time): serving the GUI thread's calls meanwhile, or not.
bool WaitFor(const std::function<bool()>& done, bool serveCalls = true) {
    for (int i = 0; i < 20000; ++i) {
        if (done())
            return true;
        if (serveCalls)
            QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

QByteArray Frames(std::initializer_list<TFrame> frames) {
    QByteArray out;
    for (const TFrame& f : frames)
        out += Bytes(f);
    return out;
}

struct ReceiveThreadTest : ::testing::Test {
    OpenConnection link;
    TRecordingReceiver receiver;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<TReadILFrameThread> reader;

    void Start() {
        reader = std::make_unique<TReadILFrameThread>(&receiver, context.get());
        reader->start();
    }
    void Feed(const QByteArray& bytes) { link.fake.QueueRx(bytes); }
    bool WaitForCalls(size_t n) {
        return WaitFor([&] { return receiver.Count() >= n; });
    }
    bool WaitForChecked(uint64_t n) {
        return WaitFor([&] { return reader->FramesChecked() >= n; }, false);
    }
};

const TFrame Status = BoardFrameW(1, 3, 0, 4); // synchronised
const TFrame Phase = BoardFrameW(1, 53, 300);  // queued
const TFrame Ack = BoardFrame(1, 250, {});     // on the receive thread

} // namespace

TEST_F(ReceiveThreadTest, ReportsReachTheGuiThreadInArrivalOrder) {
    Start();
    TFrame corrupt = Phase;
    corrupt[11] ^= 0x40;
    Feed(Frames({Phase, Status, BoardFrameW(1, 53, 301), corrupt, BoardFrameW(2, 221, 0x4401)}));
    ASSERT_TRUE(WaitForCalls(7));
    EXPECT_EQ(receiver.Calls(),
              (V{"SetSpinValue(Phase,300)", "ShowTuningStatus(4)", "SetSpinValue(Phase,301)",
                 "CRCError()", "SetLabelCaption(FirmwareVersionDSP,4.4.1)",
                 "SetLabelCaption(FirmwareVersionDSP,4.4.1)", "ApplyHarmonicRule(keep)"}));
    for (const TRecord& r : receiver.Records())
        EXPECT_EQ(r.thread, QThread::currentThread()) << r.call;
    EXPECT_EQ(reader->CRCErrors(), 1u);
    EXPECT_FALSE(reader->Error());
}

TEST_F(ReceiveThreadTest, FrameSplitOverTwoReadsIsDeliveredOnceComplete) {
    Start();
    Feed(Bytes(Phase).left(5));
    ASSERT_TRUE(WaitFor([&] { return reader->BytesReceived() == 5; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.Count(), 0u);
    Feed(Bytes(Phase).mid(5));
    ASSERT_TRUE(WaitForCalls(1));
    EXPECT_EQ(receiver.Calls(), V{"SetSpinValue(Phase,300)"});
}

TEST_F(ReceiveThreadTest, SynchronisedReportRunsBeforeTheReceiveThreadGoesOn) {
    TRecordingAckSink sink;
    Start();
    Feed(Frames({Status, Ack}));
    ASSERT_TRUE(WaitFor([&] { return receiver.Count() == 1 && sink.Calls().size() == 1; }));
    const TRecord shown = receiver.Records().at(0);
    const TRecord acked = sink.Records().at(0);
    EXPECT_EQ(shown.thread, QThread::currentThread());
    EXPECT_EQ(acked.thread, reader.get());
    EXPECT_LT(shown.sequence, acked.sequence);
}

TEST_F(ReceiveThreadTest, AcknowledgementsArriveWhileTheGuiThreadWaitsForThem) {
    TRecordingAckSink sink;
    Start();
    Feed(Frames({BoardFrame(2, 249, {0x13}), BoardFrame(2, 248, {})}));
    // The GUI thread serves nothing here, as during a firmware update.
    ASSERT_TRUE(WaitFor([&] { return sink.Calls().size() == 3; }, false));
    EXPECT_EQ(sink.Calls(), (V{"SetStatus(3)", "SetAckEvent(249)", "SetAckEvent(248)"}));
    EXPECT_EQ(receiver.Count(), 0u);
}

TEST_F(ReceiveThreadTest, LaserHeadFramesGoToTheModelWhenItExists) {
    TRecordingAckSink sink;
    Start();
    Feed(Frames({BoardFrame(4, 252, {}), Phase})); // no model: dropped
    ASSERT_TRUE(WaitForCalls(1));
    TLaser laser;
    Laser = &laser;
    Feed(Frames({BoardFrame(4, 252, {})}));
    const bool arrived = WaitFor([&] { return !sink.Calls().empty(); }, false);
    reader->Stop();
    Laser = nullptr;
    ASSERT_TRUE(arrived);
    EXPECT_EQ(sink.Calls(), V{"SetAckEvent(252)"});
    EXPECT_EQ(sink.Records().at(0).thread, reader.get());
}

TEST_F(ReceiveThreadTest, ReadsNeverAskForMoreThanTheBufferCanTake) {
    // 30000 bytes queued at once: 9999 fit, the rest waits in the driver for the next cycles,
    // each read asking only for the room left beside the carried tail (9999 = 833 frames + 3).
    QByteArray stream;
    for (int i = 0; i < 2500; ++i)
        stream += Bytes(BoardFrameW(1, 53, uint16_t(i)));
    Feed(stream);
    Start();
    ASSERT_TRUE(WaitForCalls(2500));
    const auto calls = receiver.Calls();
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(calls[size_t(i)], "SetSpinValue(Phase," + std::to_string(i) + ")");
    std::vector<uint64_t> asked;
    for (const TFakeD2XX::TCall& c : link.fake.Calls())
        if (c.name == "FT_Read")
            asked.push_back(c.args.at(1));
    EXPECT_EQ(asked, (std::vector<uint64_t>{9999, 9996, 9996, 9}));
    EXPECT_EQ(reader->BytesReceived(), 30000u);
    EXPECT_EQ(reader->CRCErrors(), 0u);
}

TEST_F(ReceiveThreadTest, FailedPollsSetErrorAndLoseNoBytes) {
    link.fake.Fail("FT_GetQueueStatus");
    Start();
    ASSERT_TRUE(WaitFor([&] { return reader->Error(); }));
    link.fake.Heal("FT_GetQueueStatus");
    link.fake.Fail("FT_Read", 2);
    Feed(Bytes(Phase));
    ASSERT_TRUE(WaitForCalls(1));
    EXPECT_FALSE(reader->Error());
    EXPECT_EQ(receiver.Calls(), V{"SetSpinValue(Phase,300)"});
    EXPECT_GE(link.fake.CountOf("FT_Read"), 3);
}

TEST_F(ReceiveThreadTest, StopWhileASynchronisedCallIsPendingDoesNotDeadlock) {
    StartILFrameReader(&receiver, context.get());
    ASSERT_NE(ILFrameReader, nullptr);
    QPointer<TReadILFrameThread> thread = ILFrameReader;
    Feed(Bytes(Status));
    ASSERT_TRUE(WaitFor([&] { return thread->FramesChecked() == 1; }, false));
    // The receive thread is blocked until the GUI thread runs the call; the stop must run it.
    StopILFrameReader();
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_TRUE(thread.isNull());
    EXPECT_EQ(receiver.Calls(), V{"ShowTuningStatus(4)"});
}

TEST_F(ReceiveThreadTest, StartingAgainReplacesTheRunningThread) {
    StartILFrameReader(&receiver, context.get());
    QPointer<TReadILFrameThread> first = ILFrameReader;
    StartILFrameReader(&receiver, context.get());
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(ILFrameReader, nullptr);
    EXPECT_TRUE(ILFrameReader->isRunning());
    Feed(Bytes(Phase));
    ASSERT_TRUE(WaitForCalls(1));
    StopILFrameReader();
    EXPECT_EQ(receiver.Calls(), V{"SetSpinValue(Phase,300)"}); // delivered once
}

TEST_F(ReceiveThreadTest, NoQueuedCallRunsAfterItsContextIsDestroyed) {
    Start();
    Feed(Frames({Phase, Phase, Phase}));
    ASSERT_TRUE(WaitForChecked(3));
    context.reset(); // with three calls still posted to it
    Feed(Frames({Phase, Status}));
    ASSERT_TRUE(WaitForChecked(5));
    reader->Stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.Count(), 0u);
}

TEST_F(ReceiveThreadTest, DestroyingTheContextReleasesAThreadWaitingForIt) {
    TRecordingAckSink sink;
    Start();
    Feed(Frames({Status, Ack}));
    ASSERT_TRUE(WaitForChecked(1));
    context.reset();
    ASSERT_TRUE(WaitFor([&] { return sink.Calls().size() == 1; }, false));
    EXPECT_EQ(receiver.Count(), 0u);
}

TEST_F(ReceiveThreadTest, FailingPollsAreToldOnceQueuedAndAGlitchIsNot) {
    Start();
    // One failed poll is a glitch: nothing is told.
    link.fake.Fail("FT_GetQueueStatus", 1);
    Feed(Bytes(Phase));
    ASSERT_TRUE(WaitForCalls(1));
    EXPECT_EQ(receiver.Calls(), (V{"SetSpinValue(Phase,300)"}));
    receiver.Clear();
    // The adapter leaves the bus: told once, on the GUI thread, however long it stays away.
    link.fake.Unplug();
    ASSERT_TRUE(WaitForCalls(1));
    EXPECT_TRUE(reader->Error());
    const uint64_t polls = static_cast<uint64_t>(link.fake.CountOf("FT_GetQueueStatus"));
    ASSERT_TRUE(WaitFor([&] { return link.fake.CountOf("FT_GetQueueStatus") > int(polls + 50); }));
    EXPECT_EQ(receiver.Calls(), (V{"LinkFailed()"}));
    EXPECT_EQ(receiver.Records()[0].thread, QThread::currentThread());
}

TEST_F(ReceiveThreadTest, EachFailingStretchIsToldAgain) {
    Start();
    link.fake.Fail("FT_GetQueueStatus");
    ASSERT_TRUE(WaitForCalls(1));
    link.fake.Heal("FT_GetQueueStatus");
    ASSERT_TRUE(WaitFor([&] { return !reader->Error(); }));
    link.fake.Fail("FT_Read");
    Feed(Bytes(Phase));
    ASSERT_TRUE(WaitForCalls(2));
    EXPECT_EQ(receiver.Calls(), (V{"LinkFailed()", "LinkFailed()"}));
}

TEST_F(ReceiveThreadTest, AFailureToldAfterTheContextIsGoneReachesNobody) {
    Start();
    link.fake.Unplug();
    context.reset();
    // Told (posted) after the context is gone, then everything posted is served.
    ASSERT_TRUE(WaitFor([&] { return reader->LinkFailing(); }, false));
    QCoreApplication::processEvents();
    reader->Stop();
    EXPECT_EQ(receiver.Count(), 0u);
}
