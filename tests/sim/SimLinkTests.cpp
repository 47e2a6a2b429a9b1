// The simulated adapter: listing, opening, line settings, pacing, latency, unplugging.

#include "SimTestSupport.h"

#include "protocol/SendFrameUnit.h"

#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(SimAdapter, IsListedAsTheControllerWithLaserHeadOrAsTheSecondModel) {
    {
        TSimLink link;
        QStringList names;
        Connection->GetAvailableDevices(names);
        ASSERT_EQ(names.size(), 1);
        EXPECT_TRUE(names[0].contains("QRX-7A"));
        EXPECT_EQ(Connection->DevicesList()[0].serialNumber(), 111111);
    }
    TSimulatorOptions second = TSimulatorOptions::ForTests();
    second.SecondModel = true;
    TSimLink link(second);
    QStringList names;
    Connection->GetAvailableDevices(names);
    ASSERT_EQ(names.size(), 1);
    EXPECT_TRUE(names[0].contains("TMVK v2"));
    EXPECT_FALSE(names[0].contains("QRX-7A"));
    EXPECT_EQ(Connection->DevicesList()[0].serialNumber(), 222222);
}

TEST(SimAdapter, LeavesTheDriverTableWhenItGoes) {
    {
        TSimulatedLaserSystem sim(TSimulatorOptions::ForTests());
        sim.Install();
        EXPECT_EQ(&D2XX::Table(), &sim);
    }
    EXPECT_EQ(dynamic_cast<TSimulatedLaserSystem*>(&D2XX::Table()), nullptr);
}

TEST(SimAdapter, OnlyTheCommandLineSwitchAsksForTheSimulator) {
    EXPECT_FALSE(ParseSimulatorArguments({"halvane"}).Requested);
    EXPECT_FALSE(ParseSimulatorArguments({"halvane", "--simulate"}).Requested);
    TSimulatorRequest first = ParseSimulatorArguments({"halvane", "--simulator"});
    EXPECT_TRUE(first.Requested);
    EXPECT_FALSE(first.Options.SecondModel);
    TSimulatorRequest second = ParseSimulatorArguments({"halvane", "--simulator=222222"});
    EXPECT_TRUE(second.Requested);
    EXPECT_TRUE(second.Options.SecondModel);
    TSimulatorRequest bad = ParseSimulatorArguments({"halvane", "--simulator=333333"});
    EXPECT_FALSE(bad.Requested);
    EXPECT_FALSE(bad.Error.isEmpty());
}

TEST(SimAdapter, RecordsTheLineSettingsOfTheConnect) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    const TSimLineSettings s = link.Sim.LineSettings();
    EXPECT_EQ(s.BaudRate, 115200u);
    EXPECT_EQ(s.WordLength, 8);
    EXPECT_EQ(s.StopBits, 0);
    EXPECT_EQ(s.Parity, 0);
    EXPECT_EQ(s.ReadTimeoutMs, 10000u);
    EXPECT_EQ(s.WriteTimeoutMs, 10000u);
    EXPECT_EQ(s.LatencyMs, 16);
    EXPECT_EQ(s.LastPurgeMask, 3u);
    EXPECT_EQ(s.Opens, 1);

    // One handle at a time, and only for its own description.
    FT_HANDLE other = nullptr;
    EXPECT_FALSE(D2XX::OpenEx(link.Sim.Description().toLatin1().constData(), 2, other));
    ASSERT_TRUE(Connection->Disconnect());
    EXPECT_FALSE(D2XX::OpenEx("QRX-7A", 2, other)); // a part of the name is not the name
    EXPECT_TRUE(D2XX::OpenEx(link.Sim.Description().toLatin1().constData(), 2, other));
    EXPECT_TRUE(D2XX::Close(other));
}

TEST(SimAdapter, AShortAnswerWaitsForTheLatencyTimer) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::GetPhase);
    // Command 12 bytes at the line rate (1.04 ms), answer delay 1 ms, then the first answer
    // byte reaches the adapter at 2.13 ms; the adapter holds it for its 16 ms.
    uint32_t count = 0;
    link.Sim.AdvanceMs(18.0);
    ASSERT_TRUE(Connection->GetReadDataCount(count));
    EXPECT_EQ(count, 0u);
    link.Sim.AdvanceMs(0.3);
    ASSERT_TRUE(Connection->GetReadDataCount(count));
    EXPECT_EQ(count, 12u);

    // With a latency timer of 5 ms the same answer comes after 7.13 ms.
    ASSERT_TRUE(Connection->Disconnect());
    FT_HANDLE h = nullptr;
    ASSERT_TRUE(D2XX::OpenEx(link.Sim.Description().toLatin1().constData(), 2, h));
    ASSERT_TRUE(D2XX::SetBaudRate(h, 115200));
    ASSERT_TRUE(D2XX::SetLatencyTimer(h, 5));
    const TFrame request = BuildParamsFrame(1, Cmd::GetPhase, 0);
    FT_DWORD n = 0;
    ASSERT_TRUE(D2XX::Write(h, request.data(), 12, n));
    link.Sim.AdvanceMs(7.0);
    ASSERT_TRUE(D2XX::GetQueueStatus(h, n));
    EXPECT_EQ(n, 0u);
    link.Sim.AdvanceMs(0.3);
    ASSERT_TRUE(D2XX::GetQueueStatus(h, n));
    EXPECT_EQ(n, 12u);
    EXPECT_TRUE(D2XX::Close(h));
}

TEST(SimAdapter, DeliversTheLineRateInFullPacketsWhenTheBoardsKeepItBusy) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.ErrorSignalPeriodMs = 1; // 2000 frames/s: twice what the line carries
    o.ServicePeriodMs = 1;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    link.Pump(100, 1); // the line is busy from here on
    const uint64_t before = link.Sim.Counters().BytesDelivered;
    bool wholePackets = true;
    std::vector<TRxFrame> frames;
    for (int ms = 0; ms < 10000; ++ms) {
        link.Sim.AdvanceMs(1);
        uint32_t count = 0;
        ASSERT_TRUE(Connection->GetReadDataCount(count));
        wholePackets = wholePackets && count % 62 == 0;
        QByteArray bytes(count, '\0');
        ASSERT_TRUE(Connection->Read(bytes.data(), count));
        link.Splitter.Feed(bytes, 0, frames);
    }
    const double delivered = static_cast<double>(link.Sim.Counters().BytesDelivered - before);
    EXPECT_NEAR(delivered / (11520.0 * 10), 1.0, 0.01);
    EXPECT_TRUE(wholePackets);
    EXPECT_GT(link.Sim.Counters().FramesLost, 0u); // the boards' queue overflowed
    EXPECT_EQ(link.Splitter.BadSums, 0);
    EXPECT_NEAR(static_cast<double>(frames.size()), 9600, 10);
}

TEST(SimAdapter, CommandsReachTheBoardsAtTheLineRate) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::GetPhase);
    SendParamsFrame(2, Cmd::DSPReadPID);
    link.Pump(20);
    const std::vector<TSimCommand> c = link.Sim.Commands();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].Target, 1);
    EXPECT_EQ(c[1].Target, 2);
    EXPECT_NEAR(static_cast<double>(c[1].TimeNs - c[0].TimeNs), 12e9 / 11520, 1);
}

TEST(SimAdapter, UnpluggedItFailsEveryTransferAndIsNotListedUntilReplugged) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.Unplug();
    uint32_t count = 5;
    EXPECT_FALSE(Connection->GetReadDataCount(count));
    EXPECT_EQ(count, 0u);
    char buffer[12];
    uint32_t size = 12;
    EXPECT_FALSE(Connection->Read(buffer, size));
    EXPECT_FALSE(Connection->Send(buffer, size));
    QStringList names;
    Connection->GetAvailableDevices(names);
    EXPECT_TRUE(names.isEmpty());

    link.Sim.Replug();
    Connection->GetAvailableDevices(names);
    EXPECT_EQ(names.size(), 1);
    EXPECT_FALSE(Connection->GetReadDataCount(count)); // the old handle stays dead
    ASSERT_TRUE(Connection->Disconnect());
    ASSERT_TRUE(link.Connect());
    EXPECT_EQ(link.Ask(1, Cmd::GetPhase).size(), 1u);
}

TEST(SimAdapter, UnplugsAtAChosenMoment) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.UnplugAtMs(link.Sim.NowNs() / 1e6 + 100);
    uint32_t count = 0;
    link.Sim.AdvanceMs(99);
    EXPECT_TRUE(Connection->GetReadDataCount(count));
    link.Sim.AdvanceMs(2);
    EXPECT_FALSE(Connection->GetReadDataCount(count));

    link.Sim.Replug();
    ASSERT_TRUE(Connection->Disconnect());
    ASSERT_TRUE(link.Connect());
    link.Sim.UnplugOnCommand(1, Cmd::GetDelay, 2);
    EXPECT_EQ(link.Ask(1, Cmd::GetDelay).size(), 1u);
    EXPECT_TRUE(link.Ask(1, Cmd::GetDelay).empty());
    EXPECT_FALSE(link.Sim.Plugged());
}

TEST(SimAdapter, ReconnectCyclesThePortAndOpensItAgain) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    Connection->SetReconnectWait([&](int ms) { link.Sim.AdvanceMs(ms); });
    ASSERT_TRUE(Connection->Reconnect());
    EXPECT_EQ(link.Sim.LineSettings().Opens, 2);
    EXPECT_EQ(link.Ask(1, Cmd::GetPhase).size(), 1u);
}

TEST(SimAdapter, AWrongBaudRateLeavesOnlyNoise) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    FT_HANDLE h = nullptr;
    ASSERT_TRUE(Connection->Disconnect());
    ASSERT_TRUE(D2XX::OpenEx(link.Sim.Description().toLatin1().constData(), 2, h));
    ASSERT_TRUE(D2XX::SetBaudRate(h, 9600));
    const TFrame request = BuildParamsFrame(1, Cmd::GetPhase, 0);
    FT_DWORD written = 0;
    ASSERT_TRUE(D2XX::Write(h, request.data(), 12, written));
    link.Sim.AdvanceMs(50);
    EXPECT_TRUE(link.Sim.Commands().empty());
    ASSERT_TRUE(D2XX::GetQueueStatus(h, written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(D2XX::Close(h));
}

TEST(SimAdapter, RunsOnTheSteadyClockWithoutBeingAdvanced) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.ManualClock = false;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::GetPhase);
    std::vector<TRxFrame> frames;
    for (int i = 0; i < 2000 && frames.empty(); ++i) {
        QThread::msleep(1);
        uint32_t count = 0;
        ASSERT_TRUE(Connection->GetReadDataCount(count));
        QByteArray bytes(count, '\0');
        ASSERT_TRUE(Connection->Read(bytes.data(), count));
        link.Splitter.Feed(bytes, 0, frames);
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].Code(), Cmd::GetPhase);
}

TEST(SimAdapter, TakesWritesFromOneThreadWhileAnotherReads) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.ManualClock = false;
    o.ErrorSignalPeriodMs = 5;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    std::atomic<bool> stop{false};
    std::mutex m;
    std::vector<TRxFrame> frames;
    std::thread reader([&] { // as the receive thread polls
        TRxSplitter splitter;
        while (!stop) {
            uint32_t count = 0;
            if (Connection->GetReadDataCount(count) && count) {
                QByteArray bytes(count, '\0');
                if (Connection->Read(bytes.data(), count)) {
                    std::lock_guard g(m);
                    splitter.Feed(bytes.left(count), 0, frames);
                }
            }
            QThread::msleep(1);
        }
    });
    for (int i = 0; i < 40; ++i)
        SendParamsFrame(1, Cmd::GetPhase);
    size_t answers = 0;
    for (int i = 0; i < 5000 && answers < 40; ++i) {
        QThread::msleep(1);
        std::lock_guard g(m);
        answers = TSimLink::Only(frames, 1, Cmd::GetPhase).size();
    }
    stop = true;
    reader.join();
    EXPECT_EQ(answers, 40u);
}

} // namespace

TEST(SimAdapter, UnplugEveryLeavesAndReturnsOnItsPeriod) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.UnplugEveryMs = 1000;
    o.UnplugForMs = 300;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    link.Sim.AdvanceMs(999);
    EXPECT_TRUE(link.Sim.Plugged());
    link.Sim.AdvanceMs(2);
    EXPECT_FALSE(link.Sim.Plugged());
    uint32_t count = 0;
    EXPECT_FALSE(Connection->GetReadDataCount(count));
    link.Sim.AdvanceMs(300);
    EXPECT_TRUE(link.Sim.Plugged());
    EXPECT_FALSE(Connection->GetReadDataCount(count)); // a new open is needed
    ASSERT_TRUE(link.Connect());
    EXPECT_TRUE(Connection->GetReadDataCount(count));
    link.Sim.AdvanceMs(700);
    EXPECT_FALSE(link.Sim.Plugged()); // the second time, 2 s after the start
}
