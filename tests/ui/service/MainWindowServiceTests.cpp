// The service views in the operator window, end to end against the simulated laser system:
// the laser head's status on the main pages, the service frame on its page, the frame monitor
// showing the real traffic, and a clean close.
#include "ServiceTestSupport.h"
#include "app/GlobalUnit.h"
#include "sim/SimulatorUnit.h"
#include "ui/main/MainUnit.h"
#include "ui/service/FrameMonitorUnit.h"
#include "ui/service/LaserHeNeViewUnit.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

struct ServiceInWindow : ::testing::Test {
    std::unique_ptr<TSimulatedLaserSystem> sim;
    std::unique_ptr<TMainForm> form;

    static void SetUpTestSuite() {
        TApplicationManager::SetInstanceCheck([] { return true; });
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void SetUp() override {
        sim = std::make_unique<TSimulatedLaserSystem>(TSimulatorOptions::ForTests());
        sim->Install();
        form = std::make_unique<TMainForm>();
    }
    void TearDown() override {
        form.reset();
        sim.reset();
    }
    // Moves simulated time on while the window's events run; the status view's poll is driven
    // here too, so that it does not depend on the machine's speed.
    bool RunUntil(const std::function<bool()>& done, int simulatedMs = 20000) {
        for (int t = 0; t < simulatedMs; t += 5) {
            sim->AdvanceMs(5);
            if (t % 200 == 0 && form->LaserHeNeChartView)
                form->LaserHeNeChartView->FTimerTimer();
            QTest::qWait(1);
            if (done())
                return true;
        }
        return done();
    }
    template <class T = QWidget> T* Find(const char* name) const {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString Text(const char* name) const { return Find<QLabel>(name)->text(); }
};

} // namespace

TEST_F(ServiceInWindow, LaserHeadStatusReachesTheMainPages) {
    ASSERT_NE(form->FLaserFrame, nullptr);
    EXPECT_EQ(form->FLaserFrame->parentWidget(), Find("ServiceLaserTabSheet"));
    ASSERT_TRUE(form->LaserHeNeChartView);
    EXPECT_TRUE(form->LaserHeNeChartView->ShowData());

    form->ConnectionTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    ASSERT_TRUE(RunUntil([&] { return Text("StatusHeNeLabel") == "ready"; }));
    EXPECT_EQ(Text("LaserHeNeStateValueLabel"), "measurement");
    EXPECT_TRUE(Text("SimpleStatusHeNePanel").startsWith("ready\n")); // no lock, no frequency

    Find<QPushButton>("StartButton")->click();
    ASSERT_TRUE(RunUntil([&] { return Text("SimpleStatusHeNePanel").startsWith("locked - "); }));
    EXPECT_TRUE(Text("SimpleStatusHeNePanel").endsWith(" MHz"));
}

// Whatever the iodine laser does, the two pages agree about the HeNe laser, and a frequency in
// green is shown only while the iodine laser is locked on the peak it is computed from.
TEST_F(ServiceInWindow, TheHeNePanelNeverShowsAFrequencyThatIsNotLocked) {
    auto* panel = Find<QLabel>("SimpleStatusHeNePanel");
    // At every turn of a step: a frequency when green and only then, and only while locked on f
    // or j; "not ready" only in its colour and as the service page says. The first fault is told.
    const auto run = [&](const char* step, const std::function<bool()>& done) {
        return RunUntil([&] {
            const QString text = panel->text();
            const QColor colour = TMainForm::PanelColor(panel);
            const bool value = text.startsWith("locked - ");
            // What the window knows of the lock (the simulator is a report ahead of it).
            const QChar peak = form->FIodineStatus == 3 ? form->FIodineLockedPeak : QChar();
            EXPECT_TRUE(HasFailure() ||
                        (value == (colour == QColor(0, 128, 0)) &&
                         (!value || peak == 'f' || peak == 'j') &&
                         (text != "not ready" ||
                          (colour == QColor(243, 105, 113) && Text("StatusHeNeLabel") == text))))
                << step << ": " << text.toStdString() << " in " << colour.name().toStdString();
            return done();
        });
    };
    form->ConnectionTimerTimer();
    form->IodineLaserRunning = true; // the simulator's frequency board is quiet here
    ASSERT_TRUE(run("head ready", [&] { return Text("StatusHeNeLabel") == "ready"; }));
    Find<QPushButton>("StartButton")->click(); // automatic, on the reference peak f
    ASSERT_TRUE(run("lock on f", [&] { return panel->text().startsWith("locked - "); }));
    form->PeakListBoxClick(12 - form->FirstAvaiablePeakIndex); // m: no frequency of its own
    Find<QPushButton>("StartButton")->click();
    ASSERT_TRUE(run("lock on m", [&] {
        return panel->text() == "ready\niodine laser locked at peak m\n(no frequency value)";
    }));
    SaveScreenshot(form.get(), "simple-page-locked-on-m.png"); // the simple page, still shown
    Find<QToolButton>("SimpleJPeakPngSpeedButton")->click();   // j, from the simple page
    ASSERT_TRUE(run("to j", [&] { return panel->text().startsWith("locked - "); }));
    sim->DropLock();
    ASSERT_TRUE(run("lock dropped", [&] { return form->FIodineStatus != 3; }));
}

TEST_F(ServiceInWindow, ServicePageReadsTheLaserHeadAndShowsTheTraffic) {
    form->ConnectionTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    form->show();
    Find<QTabWidget>("PageControl")->setCurrentWidget(Find("ServiceLaserTabSheet"));
    Find<QAbstractButton>("ServiceShowFramesCheckBox")->click();
    Find<QAbstractButton>("ServiceShowChartCheckBox")->click();
    Find<QAbstractButton>("LHSerialNumberReadButton")->click();
    Find<QAbstractButton>("LHReadFirmwareVersionButton")->click();
    ASSERT_TRUE(RunUntil([&] { return Text("LHFirmwareVersionValueLabel") != "--"; }));

    TFrameLogModel* frames = form->FLaserFrame->SendFrameView->Model();
    ASSERT_TRUE(RunUntil([&] {
        for (int row = 0; row < frames->rowCount(); ++row)
            if (frames->Entry(row).Direction == TFrameDirection::Received &&
                TFrameLogModel::CellText(frames->Entry(row), TFrameLogModel::ColCommand) ==
                    "LHGetFirmwareVersion")
                return true;
        return false;
    }));
    bool sentSerialRequest = false;
    for (int row = 0; row < frames->rowCount(); ++row)
        sentSerialRequest =
            sentSerialRequest || (frames->Entry(row).Direction == TFrameDirection::Sent &&
                                  frames->Entry(row).Code() == 153);
    EXPECT_TRUE(sentSerialRequest);
    for (int i = 0; i < 30; ++i) {
        form->FLaserFrame->ChartView->FTimerTimer();
        RunUntil([] { return false; }, 200);
    }
    SaveScreenshot(form.get(), "service-page-in-window.png");
    form.reset(); // closes with the monitor and the chart running
    EXPECT_EQ(FrameLog.load(), nullptr);
}
