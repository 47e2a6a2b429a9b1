// The four boards as the program meets them: answers, read-back, tuning, streams.

#include "SimTestSupport.h"

#include "protocol/SendFrameUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The tuning states reported in a run, in order, without repeats.
std::vector<uint16_t> Statuses(const std::vector<TRxFrame>& frames) {
    std::vector<uint16_t> s;
    for (const TRxFrame& f : TSimLink::Only(frames, 1, 3))
        if (s.empty() || s.back() != f.W(1))
            s.push_back(f.W(1));
    return s;
}

bool InOrder(const std::vector<uint16_t>& seen, const std::vector<uint16_t>& wanted) {
    auto it = seen.begin();
    for (uint16_t w : wanted) {
        it = std::find(it, seen.end(), w);
        if (it == seen.end())
            return false;
        ++it;
    }
    return true;
}

TEST(SimController, AnswersEveryReadRequestWithItsOwnCodeAndPlausibleValues) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    for (uint8_t code :
         {53, 55, 57, 59, 61, 63, 65, 67, 69, 71, 77, 80, 83, 85, 87, 89, 91, 93, 221}) {
        const std::vector<TRxFrame> answer = link.Ask(1, code);
        ASSERT_EQ(answer.size(), 1u) << int(code);
        EXPECT_EQ(answer[0].Receiver(), 15);
    }
    EXPECT_NE(link.Ask(1, Cmd::GetExpectedPeaks)[0].W(), 0);
    EXPECT_LE(link.Ask(1, Cmd::GetExpectedPeaks)[0].W(), 0x3FFF);
    const uint16_t scale = link.Ask(1, Cmd::GetScopeScale)[0].W();
    EXPECT_TRUE(scale >= 1 && scale <= 6);
    EXPECT_LT(link.Ask(1, Cmd::GetHarmonic)[0].W(), 4);
    EXPECT_EQ(link.Ask(1, Cmd::GetFirmwareVersion)[0].W(), 0x1203);
    const uint16_t raw = link.Ask(1, Cmd::GetCFTRaw)[0].W();
    EXPECT_TRUE(raw > 1600 && raw < 3400) << raw; // between the 10 and 40 degC readings
}

TEST(SimController, HoldsWhatIsWrittenAndReadsItBack) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    uint16_t value = 300;
    for (uint8_t read : {53, 55, 57, 59, 61, 63, 65, 67, 69, 71, 77, 80, 83, 85, 87, 91, 93}) {
        ++value;
        SendParamsFrame(1, static_cast<uint8_t>(read + 1), value);
        const std::vector<TRxFrame> answer = link.Ask(1, read);
        ASSERT_EQ(answer.size(), 1u) << int(read);
        EXPECT_EQ(answer[0].W(), value) << int(read);
    }
    EXPECT_TRUE(link.Pump(100).empty()); // writes are not answered
}

TEST(SimController, AnswersTheSevenStartUpRequests) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    for (uint8_t code : {93, 71, 75, 80, 69})
        SendParamsFrame(1, code);
    SendParamsFrame(4, Cmd::LHGetWavelength);
    SendParamsFrame(2, Cmd::DSPGetFirmwareVersion);
    const std::vector<TRxFrame> frames = link.Pump(60);
    for (uint8_t code : {93, 71, 80, 69, 3})
        EXPECT_EQ(TSimLink::Only(frames, 1, code).size(), 1u) << int(code);
    ASSERT_EQ(TSimLink::Only(frames, 4, 159).size(), 1u);
    EXPECT_EQ(TSimLink::Only(frames, 4, 159)[0].L(), 150000000u);
    ASSERT_EQ(TSimLink::Only(frames, 2, 221).size(), 1u);
    EXPECT_EQ(TSimLink::Only(frames, 2, 221)[0].W(), 0x4401);
}

TEST(SimController, AnAutomaticRunLocksAtTheRequestedPeak) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::StartStep1, 1);
    SendParamsFrame(1, Cmd::StartStep2, 1);
    SendParamsFrame(1, Cmd::GoToPeak, 6);
    std::vector<TRxFrame> frames = link.Pump(1000);
    // prepare, start, learning, wait, lock try, locked
    EXPECT_TRUE(InOrder(Statuses(frames), {1, 6, 11, 2, 3})) << Statuses(frames).size();
    EXPECT_EQ(Statuses(frames).back(), 3);
    EXPECT_EQ(link.Sim.LockedPeak(), 6);
    // The peak number comes just before the locked status, the peak events around it.
    auto locked = std::find_if(frames.begin(), frames.end(),
                               [](const TRxFrame& f) { return f.Code() == 3 && f.W(1) == 3; });
    ASSERT_NE(locked, frames.begin());
    EXPECT_EQ((locked - 1)->Code(), 18);
    EXPECT_EQ((locked - 1)->b[2], 6);
    const std::vector<TRxFrame> events = TSimLink::Only(frames, 1, 6);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].b[2], 1); // found: the peak label is set
    EXPECT_EQ(events[0].b[3], 6);
    EXPECT_EQ(events[1].b[2], 2); // locked: a beep

    // Another peak: unlocked first, then locked there.
    SendParamsFrame(1, Cmd::GoToPeak, 10);
    frames = link.Pump(1000);
    EXPECT_TRUE(InOrder(Statuses(frames), {4, 11, 2, 3}));
    EXPECT_EQ(link.Sim.LockedPeak(), 10);
    EXPECT_EQ(TSimLink::Only(frames, 1, 18).back().b[2], 10);
}

TEST(SimController, APeakOutsideTheExpectedRangeIsATuningError) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::SetExpectedPeaks, 0x00FC); // c to h
    SendParamsFrame(1, Cmd::GoToPeak, 10);
    const std::vector<TRxFrame> frames = link.Pump(500);
    EXPECT_EQ(Statuses(frames), std::vector<uint16_t>{10});
    ASSERT_EQ(TSimLink::Only(frames, 1, 6).size(), 1u);
    EXPECT_EQ(TSimLink::Only(frames, 1, 6)[0].b[2], 3); // the error beep
}

TEST(SimController, HalfAutomaticLocksOnThePeakShownWhenLockIsPressed) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::StartStep1, 1);
    SendParamsFrame(1, Cmd::StartStep2, 1);
    link.Pump(400);
    SendParamsFrame(1, Cmd::HalfAutomatic, 1);
    link.Pump(130);
    EXPECT_EQ(link.Sim.TuningStatus(), 1);
    SendParamsFrame(1, Cmd::Lock);
    const std::vector<TRxFrame> frames = link.Pump(300);
    EXPECT_TRUE(InOrder(Statuses(frames), {2, 3}));
    ASSERT_NE(link.Sim.LockedPeak(), 0);
    EXPECT_EQ(TSimLink::Only(frames, 1, 18).back().b[2], link.Sim.LockedPeak());
}

TEST(SimController, TheErrorSignalScansThePeaksAndIsQuietWhenLocked) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.ErrorSignalPeriodMs = 2;
    o.LearnMs = 2000;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::StartStep2, 1);
    std::vector<TRxFrame> scan = TSimLink::Only(link.Pump(2000), 1, 1);
    ASSERT_GT(scan.size(), 900u);
    int lo = 100000, hi = -100000;
    for (const TRxFrame& f : scan) {
        lo = std::min(lo, 17640 - f.W());
        hi = std::max(hi, 17640 - f.W());
    }
    EXPECT_GT(hi - lo, 10000); // the lines sweep by
    EXPECT_GE(lo, -17280);
    EXPECT_LE(hi, 17280);

    SendParamsFrame(1, Cmd::GoToPeak, 6);
    link.Pump(500);
    ASSERT_EQ(link.Sim.LockedPeak(), 6);
    const std::vector<TRxFrame> locked = TSimLink::Only(link.Pump(1000), 1, 1);
    double sum = 0, sum2 = 0;
    for (const TRxFrame& f : locked) {
        const double y = 17640 - f.W();
        sum += y;
        sum2 += y * y;
    }
    const double n = static_cast<double>(locked.size());
    EXPECT_LT(std::abs(sum / n), 100);
    EXPECT_LT(std::sqrt(sum2 / n - (sum / n) * (sum / n)), 600);
}

TEST(SimController, WaitsForItsIodineLaserBeforeTuning) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.IodineWarmUpMs = 1000;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::GoToPeak, 6);
    SendParamsFrame(1, Cmd::InitRequest);
    std::vector<TRxFrame> frames = link.Pump(100);
    EXPECT_EQ(Statuses(frames), std::vector<uint16_t>{14}); // not ready; the command is ignored
    frames = link.Pump(1000);
    EXPECT_EQ(Statuses(frames), std::vector<uint16_t>{0}); // wait for user
}

TEST(SimController, StreamsMirrorsCFTServiceSamplesAndLifetime) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.MirrorPeriodMs = 200;
    o.CFTPeriodMs = 1000;
    o.ServicePeriodMs = 100;
    o.LifetimePeriodMs = 60000;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    const std::vector<TRxFrame> frames = link.Pump(180100, 10);
    EXPECT_NEAR(TSimLink::Only(frames, 1, 4).size(), 900, 2);
    EXPECT_NEAR(TSimLink::Only(frames, 1, 5).size(), 900, 2);
    EXPECT_NEAR(TSimLink::Only(frames, 1, 9).size(), 1800, 2);
    for (const TRxFrame& f : TSimLink::Only(frames, 1, 4))
        ASSERT_LE(f.b[2], 100);
    // The cold finger settles from the room to its set point of 15.0 degC.
    const std::vector<TRxFrame> cft = TSimLink::Only(frames, 1, 8);
    ASSERT_NEAR(cft.size(), 180, 1);
    EXPECT_GT(cft.front().W(), 200);
    EXPECT_NEAR(cft.back().W(), 150, 2);
    const std::vector<TRxFrame> lifetime = TSimLink::Only(frames, 1, 123);
    ASSERT_EQ(lifetime.size(), 3u);
    EXPECT_EQ(lifetime[2].L(), 3u); // minutes since power-on
}

TEST(SimDSP, AnswersItsRequestsAndHoldsItsWrites) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(2, Cmd::DSPWritePID, 11, 22, 33);
    SendParamsFrame(2, Cmd::DSPSetLifetime, 0x5678, 0x0012);
    SendParamsFrame(2, Cmd::DSPSetMirrorSwing1, 7);
    SendParamsFrame(2, Cmd::DSPSetMirrorSwing2, 8);
    SendParamsFrame(2, Cmd::DSPSetMirrorSwing3, 900);
    SendParamsFrame(2, Cmd::DSPSetOutSignalPeriod, 250);
    SendParamsFrame(2, Cmd::DSPSetMirrorsUsage, 2);
    const TRxFrame pid = link.Ask(2, Cmd::DSPReadPID).at(0);
    EXPECT_EQ(pid.W(0), 11);
    EXPECT_EQ(pid.W(1), 22);
    EXPECT_EQ(pid.W(2), 33);
    EXPECT_EQ(link.Ask(2, Cmd::DSPGetLifetime).at(0).L(), 0x00125678u);
    const TRxFrame swing = link.Ask(2, Cmd::DSPGetMirrorSwing).at(0);
    EXPECT_EQ(swing.W(0), 7);
    EXPECT_EQ(swing.W(1), 8);
    EXPECT_EQ(swing.W(2), 900);
    EXPECT_EQ(link.Ask(2, Cmd::DSPGetOutSignalPeriod).at(0).W(), 250);
    EXPECT_EQ(link.Ask(2, Cmd::DSPGetMirrorsUsage).at(0).W(), 2);
}

TEST(SimDSP, ReportsTheFirmwareVersionItWasGiven) {
    for (uint16_t version : {0x4401, 0x4400}) {
        TSimulatorOptions o = TSimulatorOptions::ForTests();
        o.DSPFirmwareVersion = version;
        TSimLink link(o);
        ASSERT_TRUE(link.Connect());
        EXPECT_EQ(link.Ask(2, Cmd::DSPGetFirmwareVersion).at(0).W(), version);
    }
}

TEST(SimDSP, SendsTestValuesAtItsOutputPeriod) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(2, Cmd::DSPSetOutSignalPeriod, 50);
    const std::vector<TRxFrame> tests = TSimLink::Only(link.Pump(2000), 2, 200);
    EXPECT_NEAR(tests.size(), 40, 3);
    for (size_t i = 1; i < tests.size(); ++i)
        ASSERT_EQ(tests[i].W(3), static_cast<uint16_t>(tests[i - 1].W(3) + 1)); // none lost
    SendParamsFrame(2, Cmd::DSPSetOutSignalPeriod, 0);
    link.Pump(100);
    EXPECT_TRUE(TSimLink::Only(link.Pump(1000), 2, 200).empty());
}

TEST(SimFrequencyBoard, ReportsTheSetDifferenceWithNoiseOnceBothLasersRun) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.FrequencyPeriodMs = 100;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    // The laser head has not started lasing: no beat, nothing counted.
    std::vector<TRxFrame> reports = TSimLink::Only(link.Pump(150), 3, 166);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].L(), 0u);
    EXPECT_LT(reports[0].W(2), 2000);

    SendParamsFrame(4, Cmd::LHSetWavelength, 0xB280, 0x0EE6); // 250,000,000 Hz
    SendParamsFrame(1, Cmd::GoToPeak, 6);
    link.Pump(1000);
    ASSERT_EQ(link.Sim.LaserHeadState(), 4);
    reports = TSimLink::Only(link.Pump(60000, 10), 3, 166);
    ASSERT_EQ(reports.size(), 600u);
    double sum = 0, sum2 = 0;
    for (const TRxFrame& f : reports) {
        ASSERT_GT(f.W(2), 2000);
        const double d = static_cast<int32_t>(f.L()) - 250e6;
        sum += d;
        sum2 += d * d;
    }
    const double mean = sum / 600, sd = std::sqrt(sum2 / 600 - mean * mean);
    EXPECT_LT(std::abs(mean), 20e3);
    EXPECT_GT(sd, 500);
    EXPECT_LT(sd, 20e3);
}

TEST(SimLaserHead, WarmsUpToMeasurementWithRisingTemperatures) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    std::vector<TRxFrame> status;
    for (int i = 0; i < 40; ++i) {
        SendParamsFrame(4, Cmd::LHGetServiceStreamParams);
        for (const TRxFrame& f : TSimLink::Only(link.Pump(20), 4, 1))
            status.push_back(f);
    }
    ASSERT_EQ(status.size(), 40u);
    std::vector<uint16_t> states;
    for (const TRxFrame& f : status)
        if (states.empty() || states.back() != f.b[2])
            states.push_back(f.b[2]);
    EXPECT_EQ(states, (std::vector<uint16_t>{0, 1, 2, 3, 4}));
    EXPECT_GT(status.back().W(2), status.front().W(2) + 50);  // casing, raw
    EXPECT_GT(status.back().W(3), status.front().W(3) + 150); // laser, raw
    EXPECT_NEAR(status.back().W(1), 2048, 60);                // stabilization error settled
}

TEST(SimLaserHead, HoldsEveryWriteAndAnswersEveryRead) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(4, Cmd::LHWriteDACRegistry, 40000, 41000);
    SendParamsFrame(4, Cmd::LHWriteDACEeprom, 42000, 43000);
    SendParamsFrame(4, Cmd::LHSetPIDParam, 20, 10, 300); // I, P, D
    SendParamsFrame(4, Cmd::LHSetArtOffset, 0xFFFF);
    SendParamsFrame(4, Cmd::LHSetSlope, 777);
    SendParamsFrame(4, Cmd::LHSetEepromErrorCount, 3);
    SendParamsFrame(4, Cmd::LHSetLaserOperationTime, 4464);
    SendParamsFrame(4, Cmd::LHSetLaserStartCount, 99);
    SendParamsFrame(4, Cmd::LHSetSerialNumber, 0x3F, 7, 23);
    SendParamsFrame(4, Cmd::LHSetHeaterOptions, 2);
    SendParamsFrame(4, Cmd::LHSetStabilizationOptions, 3);
    SendParamsFrame(4, Cmd::LHSetWavelength, 0xE100, 0x05F5); // 100,000,000 Hz

    const TRxFrame dac = link.Ask(4, Cmd::LHReadDACParameters).at(0);
    EXPECT_EQ(dac.W(0), 42000); // EEPROM first
    EXPECT_EQ(dac.W(1), 43000);
    EXPECT_EQ(dac.W(2), 40000);
    EXPECT_EQ(dac.W(3), 41000);
    const TRxFrame pid = link.Ask(4, Cmd::LHGetPIDParam).at(0);
    EXPECT_EQ(pid.b[2], 10); // P first in the answer
    EXPECT_EQ(pid.b[3], 20);
    EXPECT_EQ(pid.W(1), 300);
    EXPECT_NE(pid.W(2), 0); // a gain code
    EXPECT_EQ(link.Ask(4, Cmd::LHGetArtOffset).at(0).W(), 0xFFFF);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetSlope).at(0).W(), 777);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetEepromErrorCount).at(0).W(), 3);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetLaserOperationTime).at(0).L(), 4464u);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetLaserStartCount).at(0).W(), 99);
    const TRxFrame serial = link.Ask(4, Cmd::LHGetSerialNumber).at(0);
    EXPECT_EQ(serial.b[2], 0x3F);
    EXPECT_EQ(serial.b[4], 7);
    EXPECT_EQ(serial.b[6], 23);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetHeaterOptions).at(0).b[2], 2);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetStabilizationOptions).at(0).b[2], 3);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetWavelength).at(0).L(), 100000000u);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetFirmwareVersion).size(), 1u);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetTestValues).size(), 1u);
    const TRxFrame times = link.Ask(4, Cmd::LHGetTimes).at(0);
    EXPECT_GT(times.L(0), 0u); // ms since the laser started
}

TEST(SimLaserHead, ChangesStateOnCommandAndStreamsItsStatusWhenAsked) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Pump(600);
    ASSERT_EQ(link.Sim.LaserHeadState(), 4);
    const uint16_t starts = link.Ask(4, Cmd::LHGetLaserStartCount).at(0).W();
    SendParamsFrame(4, Cmd::LHChangeLaserState, 0); // start again
    link.Pump(20);
    EXPECT_EQ(link.Sim.LaserHeadState(), 0);
    EXPECT_EQ(link.Ask(4, Cmd::LHGetLaserStartCount).at(0).W(), starts + 1);
    SendParamsFrame(4, Cmd::LHChangeLaserState, 13); // error: held
    link.Pump(1000);
    EXPECT_EQ(link.Sim.LaserHeadState(), 13);

    SendParamsFrame(4, Cmd::LHStatusMode, 1);
    EXPECT_NEAR(TSimLink::Only(link.Pump(2000), 4, 1).size(), 10, 1);
    SendParamsFrame(4, Cmd::LHStatusMode, 0);
    link.Pump(300);
    EXPECT_TRUE(TSimLink::Only(link.Pump(1000), 4, 1).empty());
}

TEST(SimSecondModel, HasNeitherLaserHeadNorFrequencyBoard) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.SecondModel = true;
    o.FrequencyPeriodMs = 100;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    EXPECT_EQ(link.Sim.LaserHeadState(), -1);
    EXPECT_EQ(link.Ask(1, Cmd::GetPhase).size(), 1u);
    EXPECT_EQ(link.Ask(2, Cmd::DSPReadPID).size(), 1u);
    // Written past the program's own filter, a laser-head request still finds nobody.
    FT_HANDLE h = nullptr;
    ASSERT_TRUE(Connection->Disconnect());
    ASSERT_TRUE(D2XX::OpenEx(link.Sim.Description().toLatin1().constData(), 2, h));
    ASSERT_TRUE(D2XX::SetBaudRate(h, 115200));
    const TFrame request = BuildParamsFrame(4, Cmd::LHGetWavelength, 0);
    FT_DWORD n = 0;
    ASSERT_TRUE(D2XX::Write(h, request.data(), 12, n));
    link.Sim.AdvanceMs(2000);
    ASSERT_TRUE(D2XX::GetQueueStatus(h, n));
    EXPECT_EQ(n, 0u); // neither an answer nor a frequency report
    EXPECT_EQ(link.Sim.Commands().back().Target, 4);
    EXPECT_TRUE(D2XX::Close(h));
}

} // namespace

TEST(SimController, DropsOutOfLockAndLocksAgainByItself) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.DropLock(); // not locked: nothing happens
    EXPECT_TRUE(Statuses(link.Pump(100)).empty());
    SendParamsFrame(1, Cmd::StartStep1, 1);
    SendParamsFrame(1, Cmd::StartStep2, 1);
    SendParamsFrame(1, Cmd::GoToPeak, 6);
    link.Pump(1000);
    ASSERT_EQ(link.Sim.LockedPeak(), 6);
    link.Sim.DropLock();
    EXPECT_EQ(link.Sim.LockedPeak(), 0);
    const std::vector<TRxFrame> frames = link.Pump(1000);
    EXPECT_TRUE(InOrder(Statuses(frames), {4, 11, 2, 3}));
    EXPECT_EQ(link.Sim.LockedPeak(), 6);
}

TEST(SimController, UnlockEveryDropsTheLockOnItsPeriod) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.UnlockEveryMs = 2000;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::StartStep1, 1);
    SendParamsFrame(1, Cmd::StartStep2, 1);
    SendParamsFrame(1, Cmd::GoToPeak, 6);
    const std::vector<TRxFrame> frames = link.Pump(4500, 10);
    const std::vector<uint16_t> s = Statuses(frames);
    // Locked, lost at 2 s, locked again, lost at 4 s, locked again.
    EXPECT_TRUE(InOrder(s, {3, 4, 3, 4, 3})) << s.size();
    EXPECT_EQ(std::count(s.begin(), s.end(), uint16_t(4)), 2);
}
