// The operator window against the simulated laser system, end to end: the watchdog connects,
// the replies fill the window, Start and the simple buttons lock the laser where asked.
#include "app/GlobalUnit.h"
#include "link/ConnectionUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "protocol/FrameLogUnit.h"
#include "sim/SimulatorUnit.h"
#include "stability/BeatBinnerUnit.h"
#include "ui/main/MainUnit.h"
#include "ui/main/TuningStatusUnit.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

struct SimulatorWindow : ::testing::Test {
    std::unique_ptr<TSimulatedLaserSystem> sim;
    std::unique_ptr<TMainForm> form;

    static void SetUpTestSuite() {
        TApplicationManager::SetInstanceCheck([] { return true; });
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void Start(bool secondModel = false, int statusPeriodMs = 0, int noCountEvery = 0) {
        TSimulatorOptions options = TSimulatorOptions::ForTests();
        options.SecondModel = secondModel;
        options.NoCountEveryReports = noCountEvery;
        options.StatusPeriodMs = statusPeriodMs;
        options.FrequencyPeriodMs = 50; // the frequency board tells when the laser runs
        sim = std::make_unique<TSimulatedLaserSystem>(options);
        sim->Install();
        form = std::make_unique<TMainForm>();
    }

    void TearDown() override {
        form.reset();
        sim.reset();
    }

    // Moves simulated time on in small steps while the window's events run.
    bool RunUntil(const std::function<bool()>& done, int simulatedMs = 5000) {
        for (int t = 0; t < simulatedMs; t += 5) {
            sim->AdvanceMs(5);
            QTest::qWait(1);
            if (done())
                return true;
        }
        return done();
    }

    template <class T> T* Find(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Panel() const { return Find<QLabel>("SimpleStatusPanel")->text(); }
};

} // namespace

TEST_F(SimulatorWindow, WatchdogConnectsAndStartLocksOnTheReferencePeak) {
    Start();
    form->ConnectionTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    RunUntil([] { return false; }, 20); // let the commands reach the boards
    std::vector<std::pair<int, int>> received;
    for (const TSimCommand& c : sim->Commands())
        if (c.Target != 4 || c.Code != 1) // the laser-head status view polls on its own timer
            received.emplace_back(c.Target, c.Code);
    const std::vector<std::pair<int, int>> expected{{1, 93},  {1, 71},  {1, 75}, {1, 80}, {1, 69},
                                                    {4, 159}, {2, 221}, {1, 33}, {1, 33}};
    EXPECT_EQ(received, expected);

    auto* list = Find<QListWidget>("PeakListBox");
    ASSERT_TRUE(RunUntil([&] { return list->count() == 14; }));
    EXPECT_EQ(list->item(5)->text(), QStringLiteral("f -> 473612353.597"));
    ASSERT_TRUE(RunUntil([&] { return form->IodineLaserRunning; }));

    Find<QPushButton>("StartButton")->click();
    ASSERT_TRUE(RunUntil([&] { return Panel().startsWith("locked at peak f"); }));
    EXPECT_EQ(Panel(), QStringLiteral("locked at peak f -> 473612353.597 MHz"));
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("tuning - locked"));
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("f"));
    EXPECT_EQ(TMainForm::PanelColor(Find<QLabel>("SimpleStatusPanel")), TuningColors::Green);
    EXPECT_EQ(form->LockedPeakIdLB, 5);
    EXPECT_TRUE(Find<QToolButton>("SimpleFPeakPngSpeedButton")->isChecked());
    EXPECT_EQ(sim->LockedPeak(), 6);

    // The operator picks j on the simple page.
    Find<QToolButton>("SimpleJPeakPngSpeedButton")->click();
    ASSERT_TRUE(RunUntil([&] { return Panel().startsWith("locked at peak j"); }));
    EXPECT_EQ(sim->LockedPeak(), 10);
    EXPECT_TRUE(Find<QToolButton>("SimpleJPeakPngSpeedButton")->isChecked());
    EXPECT_FALSE(Find<QToolButton>("SimpleFPeakPngSpeedButton")->isChecked());
    EXPECT_EQ(form->CRCErrorCounter, 0u);
}

TEST_F(SimulatorWindow, SecondModelRunsWithoutTheLaserHead) {
    Start(true);
    form->ConnectionTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    EXPECT_TRUE(form->IodineLaserRunning);
    EXPECT_TRUE(Find<QWidget>("FreqDifference2GroupBox")->isHidden());
    Find<QPushButton>("StartButton")->click();
    ASSERT_TRUE(RunUntil([&] { return Panel().startsWith("locked at peak f"); }));
    for (const TSimCommand& c : sim->Commands())
        EXPECT_NE(c.Target, 4); // nothing for a laser head that is not there
}

// The cable is pulled while the laser is locked and put back: the window finds the device again
// by itself, sends the connect requests and no tuning command, and the laser is still locked.
TEST_F(SimulatorWindow, ALockedLaserStaysLockedThroughAnUnplugAndTheReconnect) {
    Start(false, 200); // the controller repeats its status, as the real one does
    form->ConnectionTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    ASSERT_TRUE(RunUntil([&] { return form->IodineLaserRunning; }));
    Find<QPushButton>("StartButton")->click();
    ASSERT_TRUE(RunUntil([&] { return sim->LockedPeak() == 6; }));
    ASSERT_TRUE(RunUntil([&] { return StatusModel->Snapshot().LaserHeadState == 4; }));
    auto headEvents = [] {
        QStringList texts;
        for (const TLinkEvent& e : LinkEvents->Events())
            if (e.Kind == TLinkEventKind::_laser_head_state)
                texts << e.Text;
        return texts;
    };
    const QStringList before = headEvents();
    ASSERT_FALSE(before.isEmpty());
    EXPECT_EQ(before.back(), QStringLiteral("laser head: measurement"));
    sim->Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LinkLost(); }, 5000));
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Connection error"));
    EXPECT_EQ(sim->LineSettings().Closes, 1); // the dead handle is released
    sim->ClearCommands();
    sim->Replug();
    form->RecoveryTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    form->ConnectionTimerTimer(); // the simple page's watchdog adds nothing either
    ASSERT_TRUE(RunUntil([&] { return Panel().startsWith("locked at peak f"); }));
    std::vector<std::pair<int, int>> received;
    for (const TSimCommand& c : sim->Commands())
        if (c.Target != 4 || c.Code != 1)
            received.emplace_back(c.Target, c.Code);
    const std::vector<std::pair<int, int>> expected{{1, 93}, {1, 71},  {1, 75}, {1, 80},
                                                    {1, 69}, {4, 159}, {2, 221}};
    EXPECT_EQ(received, expected);
    EXPECT_EQ(sim->LockedPeak(), 6);
    EXPECT_EQ(sim->LineSettings().Opens, 2);
    // The head is seen again in the state it had: the model knows it, no new event.
    ASSERT_TRUE(RunUntil([&] { return StatusModel->Snapshot().LaserHeadState == 4; }));
    EXPECT_EQ(headEvents(), before);
    EXPECT_EQ(LinkEvents->LockLossCount(), 0);
}

// The frequency board sends reports that counted nothing (0 Hz) before the beat is there and
// now and then among the real ones: the status model, and so the stability bins, the recording
// and the network beat that follow it, take only the real ones.
TEST_F(SimulatorWindow, ZeroHertzReportsReachNoConsumer) {
    Start(false, 0, 4); // every fourth report counts nothing, also with the beat
    std::vector<double> reported;
    QObject::connect(StatusModel, &TStatusModel::FrequencyReported, form.get(),
                     [&](const QDateTime&, double hz, double) { reported.push_back(hz); });
    TBeatBinner binner;
    binner.Attach(StatusModel);
    int binned = 0;
    QObject::connect(&binner, &TBeatBinner::BinClosed,
                     [&](const TBeatBin& bin) { binned += bin.Reports; });
    uint64_t from = FrameLog.load()->NextSeq();
    form->ConnectionTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    ASSERT_TRUE(RunUntil([&] { return reported.size() >= 12; }));

    int zerosWithBeat = 0; // as the receive thread took them from the line
    for (const TFrameLogEntry& e : FrameLog.load()->ReadSince(from))
        zerosWithBeat += e.Code() == 166 && e.Address() == 0x3F && !e.Bytes[2] && !e.Bytes[3] &&
                         !e.Bytes[4] && !e.Bytes[5] && (e.Bytes[6] | e.Bytes[7] << 8) > 2000;
    EXPECT_GE(zerosWithBeat, 2);
    EXPECT_EQ(std::count(reported.begin(), reported.end(), 0.0), 0);
    binner.CloseUpTo(QDateTime::currentDateTimeUtc().addSecs(10));
    EXPECT_EQ(binned, int(reported.size()));
}
