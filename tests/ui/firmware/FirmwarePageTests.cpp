// The firmware page of the operator window, programming the boards of the simulated laser
// system through the program's own link, receive thread and programming engine.
#include "../../firmware/FirmwareFiles.h"
#include "support/LayoutCheck.h"
#include "support/SimFirmwareClock.h"

#include "app/GlobalUnit.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/SendFrameUnit.h"
#include "sim/SimulatorUnit.h"
#include "ui/firmware/FirmwareUpdateViewUnit.h"
#include "ui/main/MainUnit.h"
#include "ui/service/LaserFrameUnit.h"
#include "ui/service/LaserHeNeViewUnit.h"
#include "ui/service/ServiceLaserViewUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>

using namespace fwtest;

namespace {

QByteArray ToBytes(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// What the page showed of one run and how things stood while it went on.
struct TRun {
    bool Ended = false;
    bool ButtonsDisabledDuring = false;
    int DeviceIdDuring = 0;
    int ObserversDuring = 0;
    int LatencyDuring = 0;
};

struct FirmwarePage : ::testing::Test {
    std::unique_ptr<TSimulatedLaserSystem> sim;
    std::unique_ptr<TMainForm> form;
    std::shared_ptr<TSimFirmwareClock> clock;
    TSimulatorOptions Options = TSimulatorOptions::ForTests();
    TServiceMasterFirmwareUpdateView* view = nullptr;
    TImageFolder files;
    QStringList texts;         // every status text, in order
    std::vector<int> progress; // every value the bar took

    // Two blocks: 40 bytes at 0 (records of 16, 16 and 8), 17 bytes at 0x100.
    const Bytes first = Range(40, 0x20);
    const Bytes second = Range(17, 0xA0);

    static void SetUpTestSuite() {
        TApplicationManager::SetInstanceCheck([] { return true; });
        QApplication::setQuitOnLastWindowClosed(false);
        if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
            QApplication::setStyle(style);
            QApplication::setPalette(style->standardPalette());
        }
    }

    void SetUp() override {
        sim = std::make_unique<TSimulatedLaserSystem>(Options);
        sim->Install();
        form = std::make_unique<TMainForm>();
        ASSERT_NE(FirmwareUpdater, nullptr);
        clock = std::make_shared<TSimFirmwareClock>(*sim);
        FirmwareUpdater->SetClock(clock);
        view = form->FirmwareUpdateView;
        ASSERT_NE(view, nullptr);
        QObject::connect(view, &TServiceMasterFirmwareUpdateView::StatusTextShown, view,
                         [this](const QString& t) { texts << t; });
        QObject::connect(Find<QProgressBar>("MasterFirmwareUpdateProgressBar"),
                         &QProgressBar::valueChanged, view,
                         [this](int v) { progress.push_back(v); });
        ShowPage("FirmwareUpdateTabSheet");
    }

    void TearDown() override {
        TServiceMasterFirmwareUpdateView::SetOpenFileDialog({});
        form.reset();
        sim.reset();
        EXPECT_EQ(UpdatingDeviceId.load(), 0);
    }

    template <class T> T* Find(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QComboBox* Board() const { return Find<QComboBox>("MasterFirmwareUpdateDeviceIdComboBox"); }
    QLineEdit* PathEdit() const { return Find<QLineEdit>("MasterFirmwareUpdatePathEdit"); }
    QPushButton* OpenButton() const { return Find<QPushButton>("MasterFirmwareUpdateOpenButton"); }
    QPushButton* ProgramButton() const {
        return Find<QPushButton>("MasterFirmwareUpdateProgramButton");
    }
    QString Status() const { return Find<QLabel>("MasterFirmwareUpdateStatusLabel")->text(); }
    int Bar() const { return Find<QProgressBar>("MasterFirmwareUpdateProgressBar")->value(); }

    void ShowPage(const char* name) {
        Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>(name));
    }

    // Moves simulated time on while the window serves its events.
    void RunSimMs(int ms) {
        for (int t = 0; t < ms; t += 5) {
            sim->AdvanceMs(5);
            QTest::qWait(1);
        }
    }

    // Connects from the main page and lets the start-up requests come and go.
    void Connect() {
        form->ConnectButtonClick();
        ASSERT_TRUE(Connection->Connected());
        RunSimMs(100);
        sim->ClearCommands();
    }

    // Chooses the board (1 to 4) and the file, clicks "Program" and serves the window until the
    // run has ended.
    TRun Program(int board, const QString& path) {
        Board()->setCurrentIndex(board - 1);
        PathEdit()->setText(path);
        ProgramButton()->click();
        TRun run;
        run.ButtonsDisabledDuring = !ProgramButton()->isEnabled() && !OpenButton()->isEnabled();
        run.DeviceIdDuring = UpdatingDeviceId.load();
        run.ObserversDuring = FirmwareUpdater->ObserversCount();
        run.LatencyDuring = sim->LineSettings().LatencyMs;
        run.Ended = WaitForRunEnd();
        return run;
    }

    bool WaitForRunEnd() {
        QElapsedTimer waited;
        waited.start();
        while (view->Running() && waited.elapsed() < 60000)
            QTest::qWait(2);
        return !view->Running();
    }

    // The page is back at rest: buttons enabled, board no longer named, view unsubscribed.
    void ExpectIdle() const {
        EXPECT_TRUE(ProgramButton()->isEnabled());
        EXPECT_TRUE(OpenButton()->isEnabled());
        EXPECT_EQ(UpdatingDeviceId.load(), 0);
        EXPECT_EQ(FirmwareUpdater->ObserversCount(), 0);
    }

    int CommandsWithCode(uint8_t code) {
        const std::vector<TSimCommand> all = sim->Commands();
        return int(std::count_if(all.begin(), all.end(),
                                 [code](const TSimCommand& c) { return c.Code == code; }));
    }

    // 1 KiB in one block.
    QString LargeImage(const QString& name) {
        std::vector<QByteArray> records;
        for (unsigned offset = 0; offset < 1024; offset += 16)
            records.push_back(ColonData(offset, Range(16, offset)));
        records.push_back(ColonEnd());
        return files.Write(name, records);
    }

    QString ColonImage(const QString& name) {
        return files.Write(name, {ColonData(0, Bytes(first.begin(), first.begin() + 16)),
                                  ColonData(16, Bytes(first.begin() + 16, first.begin() + 32)),
                                  ColonData(32, Bytes(first.begin() + 32, first.end())),
                                  ColonData(0x100, second), ColonEnd()});
    }
};

// --- whole runs on each board ------------------------------------------------------------------

struct TBoardCase {
    int Board;
    const char* FileName;
    bool Percent;
    int ReadLagMs = 0; // a busy host: the receive thread runs on this long after each read
};

void PrintTo(const TBoardCase& c, std::ostream* os) {
    *os << "board " << c.Board << ", " << c.FileName;
}

struct FirmwarePageBoards : FirmwarePage, ::testing::WithParamInterface<TBoardCase> {
    FirmwarePageBoards() { Options.ReadReturnLagMs = GetParam().ReadLagMs; }
};

TEST_P(FirmwarePageBoards, ProgramsTheImageAndEndsWithSuccess) {
    const TBoardCase c = GetParam();
    Connect();
    const QString image =
        c.Percent ? files.Write(c.FileName,
                                {PercentData(0, first), PercentData(0x100, second), PercentEnd()})
                  : ColonImage(c.FileName);
    EXPECT_EQ(FirmwareUpdater->ObserversCount(), 0); // subscribed only during a run

    const TRun run = Program(c.Board, image);
    ASSERT_TRUE(run.Ended);
    EXPECT_TRUE(run.ButtonsDisabledDuring);
    EXPECT_EQ(run.DeviceIdDuring, c.Board);
    EXPECT_EQ(run.ObserversDuring, 1);
    EXPECT_EQ(run.LatencyDuring, 5); // the short latency timer while programming
    EXPECT_EQ(sim->LineSettings().LatencyMs, 16);

    EXPECT_EQ(Status(), QStringLiteral("Success"));
    EXPECT_EQ(texts.count(QStringLiteral("Success")), 1);
    EXPECT_TRUE(texts.contains(QStringLiteral("Programming...")));
    EXPECT_EQ(Bar(), 100);
    // The bar moved through the run, not just to its end.
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](int v) {
        return v > 0 && v < 100;
    })) << ::testing::PrintToString(progress);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    EXPECT_EQ(sim->Programmed(uint8_t(c.Board), 0, int(first.size())), ToBytes(first));
    EXPECT_EQ(sim->Programmed(uint8_t(c.Board), 0x100, int(second.size())), ToBytes(second));
    RunSimMs(400); // the finish frame is not awaited: the board restarts after it
    EXPECT_EQ(sim->Finishes(uint8_t(c.Board)), 1);
    EXPECT_FALSE(sim->InBootLoader(uint8_t(c.Board)));
    // The laser-head status view polls the head on its own timer (target 4, code 1); every
    // other frame of the run goes to the board being programmed.
    for (const TSimCommand& command : sim->Commands()) {
        if (command.Target != 4 || command.Code != 1) {
            EXPECT_EQ(command.Target, c.Board) << int(command.Code);
        }
    }
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(, FirmwarePageBoards,
                         ::testing::Values(TBoardCase{1, "controller.hex1", false},
                                           TBoardCase{2, "dsp.x00", true},
                                           TBoardCase{4, "head.hex2", false},
                                           TBoardCase{1, "busy-host.hex1", false, 20}),
                         [](const auto& i) {
                             return std::to_string(i.param.Board) +
                                    (i.param.ReadLagMs ? "Busy" : "");
                         });

// --- failures --------------------------------------------------------------------------------

TEST_F(FirmwarePage, ABadFileShowsFileErrorAndSendsNothing) {
    Connect();
    // The record names sixteen data bytes and carries four.
    const QString image = files.Write("short.hex1", {":1000000001020304", ColonEnd()});
    const TRun run = Program(1, image);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(Status(), QStringLiteral("File error!"));
    EXPECT_TRUE(sim->Commands().empty());
    ExpectIdle();
}

TEST_F(FirmwarePage, ABoardThatNeverAnswersEndsWithTheResetError) {
    Connect();
    sim->AddAnswerFault({1, TFirmwareUpdater::ResetAnswer, 0, -1, TAnswerFaultKind::Drop, 0, 0});
    const TRun run = Program(1, ColonImage("silent.hex1"));
    ASSERT_TRUE(run.Ended);
    EXPECT_TRUE(run.ButtonsDisabledDuring);
    EXPECT_EQ(Status(), QStringLiteral("Reset frame error!"));
    // The first miss is shown and cleared for the second attempt.
    EXPECT_EQ(texts, (QStringList{"Reset frame error!", "Programming...", "Reset frame error!",
                                  "Reset frame error!"}));
    const std::vector<TSimCommand> sent = sim->Commands();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Code, Cmd::FwReset);
    EXPECT_EQ(sent[1].Code, Cmd::FwReset);
    EXPECT_GE(sent[1].TimeNs - sent[0].TimeNs, 700 * 1000000LL);
    ExpectIdle();
}

TEST_F(FirmwarePage, ABadStatusFromTheBoardEndsWithProgrammingError) {
    Connect();
    sim->AddAnswerFault({1, Cmd::FwData, 2, 1, TAnswerFaultKind::BadStatus, 0, 3});
    const TRun run = Program(1, ColonImage("bad-status.hex1"));
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(Status(), QStringLiteral("Programming error!"));
    EXPECT_FALSE(texts.contains(QStringLiteral("Success")));
    EXPECT_GT(Bar(), 0); // two frames went through
    EXPECT_LT(Bar(), 100);
    EXPECT_EQ(CommandsWithCode(Cmd::FwData), 3);
    EXPECT_EQ(CommandsWithCode(Cmd::FwTransferCompleted), 0);
    EXPECT_EQ(CommandsWithCode(Cmd::FwFinish), 0);
    ExpectIdle();
}

TEST_F(FirmwarePage, AFullBarBeforeTheLastFramesIsNoSuccess) {
    Connect();
    // Nine bytes count 8 and go out as 16 slots: the progress passes 100 after the first frame.
    const QString image = files.Write("nine.hex1", {ColonData(0, Range(9)), ColonEnd()});
    sim->AddAnswerFault({1, Cmd::FwTransferCompleted, 0, -1, TAnswerFaultKind::Drop, 0, 0});
    const TRun run = Program(1, image);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 1);
    EXPECT_FALSE(texts.contains(QStringLiteral("Success"))) << texts.join(" | ").toStdString();
    EXPECT_EQ(Status(), QStringLiteral("Transfer completed frame error!"));
    EXPECT_EQ(CommandsWithCode(Cmd::FwFinish), 0);
    ExpectIdle();
}

TEST_F(FirmwarePage, ProgramAsksForABoardAndThenForAFile) {
    Connect();
    ProgramButton()->click();
    EXPECT_EQ(Status(), QStringLiteral("Select device"));
    EXPECT_TRUE(ProgramButton()->isEnabled());

    Board()->setCurrentIndex(0);
    for (const QString& path : {QString(), files.Path("missing.hex1"), QDir::tempPath()}) {
        PathEdit()->setText(path);
        ProgramButton()->click();
        EXPECT_EQ(Status(), QStringLiteral("Select file")) << path.toStdString();
        EXPECT_FALSE(view->Running());
        ExpectIdle();
    }
    QTest::qWait(10);
    EXPECT_TRUE(sim->Commands().empty());
}

TEST_F(FirmwarePage, AFileNoParserTakesIsAFileErrorAndSendsNothing) {
    Connect();
    const QString image = files.Write("meter.xxx", {ColonData(0, Range(8)), ColonEnd()});
    const TRun run = Program(3, image);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(Status(), QStringLiteral("File error!"));
    EXPECT_TRUE(sim->Commands().empty());
    ExpectIdle();
}

// --- the file dialog -------------------------------------------------------------------------

TEST_F(FirmwarePage, TheFileDialogOffersTheBoardsFilesAndFillsThePath) {
    QStringList filters;
    QString answer = files.Path("chosen.hex1");
    TServiceMasterFirmwareUpdateView::SetOpenFileDialog([&](QWidget*, const QString& filter) {
        filters << filter;
        return answer;
    });
    OpenButton()->click(); // no board yet: no filter
    EXPECT_EQ(PathEdit()->text(), answer);
    for (int i = 0; i < 4; ++i) {
        Board()->setCurrentIndex(i);
        OpenButton()->click();
    }
    EXPECT_EQ(filters, (QStringList{"", "VFD firmware files (*.hex1)", "DSP firmware files (*.x00)",
                                    "FreqMeter firmware files (*.xxx)",
                                    "Laser HeNe firmware files (*.hex2)"}));
    EXPECT_EQ(PathEdit()->text(), answer); // a change of board by code keeps the path

    answer.clear(); // cancelled: the earlier path is gone too
    OpenButton()->click();
    EXPECT_TRUE(PathEdit()->text().isEmpty());
}

TEST_F(FirmwarePage, ChoosingAnotherBoardEmptiesThePath) {
    form->show();
    PathEdit()->setText(files.Path("image.hex1"));
    QTest::keyClick(Board(), Qt::Key_Down);
    EXPECT_EQ(Board()->currentIndex(), 0);
    EXPECT_TRUE(PathEdit()->text().isEmpty());
}

// --- the window during a run ---------------------------------------------------------------

TEST_F(FirmwarePage, AnotherPageShowsNothingOfTheRunButItsOutcome) {
    Connect();
    ShowPage("MainTabSheet");
    const TRun run = Program(1, ColonImage("unseen.hex1"));
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(texts, QStringList{"Success"});
    EXPECT_EQ(progress, std::vector<int>{100});
    ExpectIdle();
}

TEST_F(FirmwarePage, TheWindowNeitherClosesNorDisconnectsDuringARun) {
    form->show();
    Connect();
    Board()->setCurrentIndex(0);
    PathEdit()->setText(ColonImage("busy.hex1"));
    ProgramButton()->click();
    ASSERT_TRUE(view->Running());
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    Find<QPushButton>("DisconnectButton")->click();
    form->DisconnectButtonClick();
    EXPECT_TRUE(Connection->Connected());
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(Status(), QStringLiteral("Success"));
    EXPECT_EQ(sim->Programmed(1, 0x100, int(second.size())), ToBytes(second));

    form->DisconnectButtonClick();
    EXPECT_FALSE(Connection->Connected());
    EXPECT_TRUE(form->close());
}

TEST_F(FirmwarePage, FreeingTheWindowDuringARunWaitsForItsEnd) {
    Connect();
    Board()->setCurrentIndex(0);
    PathEdit()->setText(LargeImage("cut.hex1"));
    ProgramButton()->click();
    // Let the run reach its data frames, then take the window away under it.
    QElapsedTimer waited;
    waited.start();
    while (!texts.contains(QStringLiteral("Programming...")) && waited.elapsed() < 30000)
        QTest::qWait(1);
    ASSERT_TRUE(texts.contains(QStringLiteral("Programming...")));
    clock->SetReaderPresent(false); // the receive thread stops first
    form.reset();
    EXPECT_EQ(FirmwareUpdater, nullptr);
    EXPECT_EQ(UpdatingDeviceId.load(), 0);
    EXPECT_EQ(sim->Finishes(1), 0); // the board stays in its boot loader
    EXPECT_TRUE(sim->InBootLoader(1));
}

TEST_F(FirmwarePage, AnUnplugDuringARunEndsItWithItsOwnErrorThenTheLinkIsFoundAgain) {
    Connect();
    sim->UnplugOnCommand(1, Cmd::FwData, 2);
    Board()->setCurrentIndex(0);
    PathEdit()->setText(LargeImage("unplugged.hex1"));
    ProgramButton()->click();
    // While the run goes on, the adapter is back at once: no reconnect interrupts the run.
    bool reopenedDuringRun = false;
    QElapsedTimer waited;
    waited.start();
    while (view->Running() && waited.elapsed() < 60000) {
        if (!sim->Plugged())
            sim->Replug();
        form->RecoveryTimerTimer();
        reopenedDuringRun |= sim->LineSettings().Opens > 1;
        QTest::qWait(2);
    }
    ASSERT_FALSE(view->Running());
    if (!sim->Plugged()) // the run can end on the unplug before the loop above looked again
        sim->Replug();
    EXPECT_FALSE(reopenedDuringRun);
    EXPECT_TRUE(Status().endsWith(QStringLiteral("error!"))) << Status().toStdString();
    ExpectIdle();
    // The run has ended: the loss is shown, then the device is connected again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LinkLost(); }, 5000));
    // The recovery's looks, with the window turning between them as its timer has it.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (form->LinkLost())
                form->RecoveryTimerTimer();
            return !form->LinkLost();
        },
        30000));
    EXPECT_TRUE(Connection->Connected());
    EXPECT_EQ(sim->LineSettings().Opens, 2);
    EXPECT_EQ(sim->LineSettings().Closes, 1);
}

TEST_F(FirmwarePage, AHeNeRunHasTheLinkToItselfFromItsFirstResetToItsEnd) {
    form->show();
    Connect();
    ASSERT_TRUE(Program(1, ColonImage("before.hex1")).Ended);
    ASSERT_EQ(Status(), QStringLiteral("Success"));
    // The service chart polls the laser head beside the main window's laser-head view.
    Find<QCheckBox>("ServiceShowChartCheckBox")->setChecked(true);
    sim->ClearCommands();
    const char* const sending[] = {"ConnectionGroupBox",   "ParametersPanel",
                                   "SimplePeakGroupBox",   "ServicePanel",
                                   "ServiceLaserTabSheet", "TestTabSheet"};

    Board()->setCurrentIndex(3);
    PathEdit()->setText(ColonImage("head.hex2"));
    ProgramButton()->click();
    // The last run's outcome does not stay up through this one's reset and erase.
    EXPECT_EQ(Status(), QStringLiteral("Programming..."));
    EXPECT_EQ(Bar(), 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return Connection->WritingReserved(); }, 30000));
    bool controlsDisabled = true;
    while (view->Running()) {
        // Both polls come due, and other senders try, all the time the run lasts.
        form->LaserHeNeChartView->FTimerTimer();
        form->FLaserFrame->ChartView->FTimerTimer();
        SendParamsFrame(1, Cmd::GetPhase);
        for (const char* name : sending)
            controlsDisabled &= !Find<QWidget>(name)->isEnabled();
        QTest::qWait(2);
    }
    EXPECT_TRUE(controlsDisabled);
    EXPECT_EQ(Status(), QStringLiteral("Success"));
    RunSimMs(20); // the last frame, not awaited, reaches the board
    const std::vector<TSimCommand> wire = sim->Commands();
    const auto reset = std::find_if(wire.begin(), wire.end(), [](const TSimCommand& c) {
        return c.Target == 4 && c.Code == Cmd::FwReset;
    });
    const auto finish = std::find_if(reset, wire.end(), [](const TSimCommand& c) {
        return c.Target == 4 && c.Code == Cmd::FwFinish;
    });
    ASSERT_NE(finish, wire.end());
    EXPECT_GT(finish - reset, 8); // the image went out in between
    for (auto c = reset; c != finish; ++c)
        EXPECT_TRUE(c->Target == 4 && c->Code >= Cmd::FwAddress &&
                    c->Code <= Cmd::FwSwitchToProgramming)
            << "target " << int(c->Target) << " code " << int(c->Code);
    EXPECT_EQ(sim->Counters().BadCommandFrames, 0u);
    // Afterwards the controls and the polls are back.
    for (const char* name : sending)
        EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
    sim->ClearCommands();
    form->LaserHeNeChartView->FTimerTimer();
    RunSimMs(20);
    EXPECT_GE(CommandsWithCode(Cmd::LHGetServiceStreamParams), 1);
}

// --- a picture of the page -----------------------------------------------------------------

TEST_F(FirmwarePage, ScreenshotsDuringAndAfterAGoodRun) {
    form->show();
    form->SetTabsVisible(true);
    ShowPage("FirmwareUpdateTabSheet");
    Connect();
    const QDir dir(QStringLiteral(SCREENSHOT_DIR));
    Board()->setCurrentIndex(0);
    PathEdit()->setText(LargeImage("firmware.hex1"));
    ProgramButton()->click();
    QElapsedTimer waited;
    waited.start();
    while (Bar() < 30 && waited.elapsed() < 30000)
        QTest::qWait(1);
    ASSERT_EQ(Status(), QStringLiteral("Programming..."));
    EXPECT_EQ(ControlsOutside(form.get()), QStringList()); // every control shows in full
    EXPECT_TRUE(form->grab().toImage().save(
        dir.filePath(QStringLiteral("halvane-firmware-page-running.png"))));

    ASSERT_TRUE(WaitForRunEnd());
    ASSERT_EQ(Status(), QStringLiteral("Success"));
    QTest::qWait(10);
    EXPECT_EQ(ControlsOutside(form.get()), QStringList());
    EXPECT_TRUE(
        form->grab().toImage().save(dir.filePath(QStringLiteral("halvane-firmware-page.png"))));
}

} // namespace
