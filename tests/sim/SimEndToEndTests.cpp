// The whole receive path against the simulated laser system: the program's connection, its
// senders, its receive thread and decoders, and the laser-head model, as the window uses them.
#include "../protocol/RecordingReceiver.h"
#include "laser/LaserDeviceUnit.h"
#include "laser/LaserUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandSequenceUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "protocol/SendFrameUnit.h"
#include "sim/SimulatorUnit.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

struct EndToEnd : ::testing::Test {
    TSimulatedLaserSystem Sim{Options()};
    TRecordingReceiver Receiver;
    QObject Context;

    static TSimulatorOptions Options() {
        TSimulatorOptions o = TSimulatorOptions::ForTests();
        o.ErrorSignalPeriodMs = 10;
        return o;
    }

    void SetUp() override {
        Sim.Install();
        Laser = new TLaser();
        Connection = new TConnection();
        QStringList names;
        Connection->GetAvailableDevices(names);
        ASSERT_EQ(names.size(), 1);
        Connection->SetDeviceID(names.front());
        ASSERT_TRUE(Connection->Connect());
        StartILFrameReader(&Receiver, &Context);
    }

    void TearDown() override {
        StopILFrameReader(); // before the connection closes
        Connection->Disconnect();
        TConnection* c = Connection;
        Connection = nullptr;
        delete c;
        TLaser* l = Laser;
        Laser = nullptr;
        delete l;
    }

    // Moves the simulated clock on while the GUI side serves the receive thread's calls, until
    // done() holds or the simulated time runs out.
    bool PumpUntil(double maxMs, const std::function<bool()>& done) {
        for (double t = 0; t < maxMs; t += 3) {
            Sim.AdvanceMs(3);
            QCoreApplication::processEvents();
            QThread::usleep(300);
            if (done())
                return true;
        }
        QCoreApplication::processEvents();
        return done();
    }

    bool Saw(const std::string& prefix) const {
        const auto calls = Receiver.Calls();
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
};

} // namespace

TEST_F(EndToEnd, StartUpRequestsComeBackIntoTheirControls) {
    SendConnectRequests();
    ASSERT_TRUE(PumpUntil(1000, [&] {
        return Saw("SetSpinValue(FOffset") && Saw("SetScopeScaleRow(") && Saw("SetHarmonicRow(") &&
               Saw("ExpectedPeaks(") && Saw("SetLabelCaption(FirmwareVersionDSP");
    })) << ::testing::PrintToString(Receiver.Calls());
    EXPECT_FALSE(Saw("CRCError"));
    // Every report ran on the GUI thread.
    for (const TRecord& r : Receiver.Records())
        EXPECT_EQ(r.thread, QThread::currentThread()) << r.call;
}

TEST_F(EndToEnd, AutomaticSearchLocksOnTheChosenPeak) {
    SendConnectRequests();
    SendParamsFrame(BoardController, Cmd::StartStep1, 1);
    SendParamsFrame(BoardController, Cmd::StartStep2, 1);
    PumpUntil(2000, [&] { return false; }); // the controller learns the peaks
    SendParamsFrame(BoardController, Cmd::GoToPeak, 6);
    ASSERT_TRUE(PumpUntil(20000, [&] { return Sim.LockedPeak() != 0; }));
    EXPECT_EQ(Sim.LockedPeak(), 6);
    ASSERT_TRUE(PumpUntil(1000, [&] {
        const auto calls = Receiver.Calls();
        auto last = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& c) {
            return c.rfind("ShowTuningStatus(", 0) == 0;
        });
        return last != calls.rend() &&
               *last == "ShowTuningStatus(" + std::to_string(Sim.TuningStatus()) + ")";
    }));
    EXPECT_TRUE(Saw("SetLabelCaption(PeakId"));
    EXPECT_TRUE(Saw("AddErrorSignalSample("));
    EXPECT_FALSE(Saw("CRCError"));
}

TEST_F(EndToEnd, LaserHeadAnswersReachTheModel) {
    std::atomic<int> changes{0};
    Laser->SetFreqDifferenceHandler([&](double) { ++changes; });
    SendConnectRequests(); // includes the laser head's wavelength request
    ASSERT_TRUE(PumpUntil(1000, [&] { return changes.load() > 0; }));
    Laser->SetFreqDifferenceHandler({});
    Laser->LHParameters()->SendGetSlopeFrame();
    EXPECT_TRUE(PumpUntil(1000, [&] { return Laser->LHParameters()->FSlope.load() != 0; }));
}
