// Faults on demand: garbage, bad checksums, answers dropped or late; and repeatability.

#include "SimTestSupport.h"

#include "protocol/SendFrameUnit.h"

#include <gtest/gtest.h>

namespace {

TEST(SimFaults, GarbageBetweenFramesLeavesTheFramesWhole) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.SetLineFaults({1, 5, 0});
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(link.Ask(1, Cmd::GetPhase).size(), 1u) << i;
    const TSimCounters counters = link.Sim.Counters();
    EXPECT_EQ(counters.GarbageBytes, 5 * counters.FramesSent); // after every frame
    // Each run holds one start marker, which fails its checksum.
    EXPECT_GE(link.Splitter.BadSums, 9);
    EXPECT_GE(link.Splitter.SkippedBytes + link.Splitter.BadSums, 45);

    link.Sim.SetLineFaults({});
    link.Sim.InjectLineBytes(QByteArray::fromHex("af0102"));
    EXPECT_EQ(link.Ask(1, Cmd::GetDelay).size(), 1u);
}

TEST(SimFaults, CorruptedChecksumsAreCaughtByTheReader) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.SetLineFaults({0, 0, 2});
    int answered = 0;
    for (int i = 0; i < 10; ++i)
        answered += static_cast<int>(link.Ask(1, Cmd::GetPhase).size());
    EXPECT_EQ(answered, 5);
    EXPECT_EQ(link.Splitter.BadSums, 5);
    EXPECT_EQ(link.Sim.Counters().FramesCorrupted, 5u);
}

TEST(SimFaults, DropsDelaysOrSpoilsTheChosenAnswers) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.AddAnswerFault({1, Cmd::GetPhase, 0, 1, TAnswerFaultKind::Drop, 0, 0});
    link.Sim.AddAnswerFault({1, Cmd::GetDelay, 0, 1, TAnswerFaultKind::Delay, 500, 0});
    link.Sim.AddAnswerFault({4, Cmd::LHGetWavelength, 0, 1, TAnswerFaultKind::CorruptChecksum});

    EXPECT_TRUE(link.Ask(1, Cmd::GetPhase).empty());
    EXPECT_EQ(link.Ask(1, Cmd::GetPhase).size(), 1u); // only the first one

    SendParamsFrame(1, Cmd::GetDelay);
    EXPECT_TRUE(TSimLink::Only(link.Pump(300), 1, Cmd::GetDelay).empty());
    EXPECT_EQ(TSimLink::Only(link.Pump(300), 1, Cmd::GetDelay).size(), 1u);

    EXPECT_TRUE(link.Ask(4, Cmd::LHGetWavelength).empty());
    EXPECT_EQ(link.Splitter.BadSums, 1);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetWavelength).size(), 1u);

    link.Sim.ClearFaults();
    link.Sim.AddAnswerFault({0, Cmd::GetFirmwareVersion, 0, -1, TAnswerFaultKind::Drop});
    SendParamsFrame(1, Cmd::GetFirmwareVersion);
    SendParamsFrame(2, Cmd::DSPGetFirmwareVersion);
    EXPECT_TRUE(TSimLink::Only(link.Pump(50), 2, 221).empty()); // any board
    EXPECT_TRUE(TSimLink::Only(link.Pump(50), 1, 221).empty());
}

QByteArray Recording(uint64_t seed) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.Seed = seed;
    o.ErrorSignalPeriodMs = 10;
    o.TestValuePeriodMs = 50;
    o.FrequencyPeriodMs = 100;
    o.ServicePeriodMs = 100;
    TSimLink link(o);
    if (!link.Connect())
        return {};
    SendParamsFrame(1, Cmd::GoToPeak, 6);
    SendParamsFrame(4, Cmd::LHStatusMode, 1);
    QByteArray bytes;
    for (const TRxFrame& f : link.Pump(3000))
        bytes.append(reinterpret_cast<const char*>(f.b), 12);
    return bytes;
}

TEST(SimFaults, TheSameSeedGivesTheSameLaser) {
    const QByteArray a = Recording(7);
    EXPECT_GT(a.size(), 12 * 400);
    EXPECT_EQ(Recording(7), a);
    EXPECT_NE(Recording(8), a);
}

} // namespace
