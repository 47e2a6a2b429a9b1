// The laser head's status on the main window: the texts and colours of each state, the locked
// frequency, and the poll that only a controller with a laser head gets.
#include "ServiceTestSupport.h"
#include "ui/service/LaserHeNeViewUnit.h"

#include <QLocale>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Stand-ins for the main window's controls.
struct TMainControls {
    QWidget window;
    QLabel* state = new QLabel(QStringLiteral("--"), &window);
    QLabel* status = new QLabel(QStringLiteral("--"), &window);
    QLabel* panel = new QLabel(QStringLiteral("--"), &window);
    TRealSpinEdit* freqDifference = new TRealSpinEdit(&window);
    double fPeak = 1000.25;
    double jPeak = 2000.5;
    TIodineLock iodine;

    TLaserHeNeStatusControls Controls() {
        return {state,
                status,
                panel,
                freqDifference,
                [this] { return fPeak; },
                [this] { return jPeak; },
                {},
                {},
                [this] { return iodine; }};
    }
    static QColor Colour(QLabel* l) { return l->palette().color(QPalette::Window); }
};

class LaserHeNeView : public ServiceFixture {
protected:
    void SetUp() override { view = std::make_unique<TLaserHeNeChartView>(main.Controls()); }
    void TearDown() override {
        view.reset();
        ServiceFixture::TearDown();
    }
    TServiceStreamParams& Stream() { return *laser->ServiceParameters()->StreamParams(); }
    void State(uint8_t state) {
        Laser->DecodeFrame(LaserAnswer(0x01, {state}).data());
        QCoreApplication::processEvents();
    }

    TMainControls main;
    std::unique_ptr<TLaserHeNeChartView> view;
};

} // namespace

TEST_F(LaserHeNeView, NotReadyInRedForAnyStateButMeasurement) {
    view->SetShowData(true);
    State(3);
    EXPECT_EQ(main.state->text(), "stabilization loop - ON");
    EXPECT_EQ(main.status->text(), "not ready");
    EXPECT_EQ(main.panel->text(), "not ready");
    EXPECT_EQ(TMainControls::Colour(main.panel), QColor(243, 105, 113));
}

TEST_F(LaserHeNeView, ReadyOnPeakFShowsTheLockedFrequency) {
    const TLocaleScope english{QLocale(QLocale::English)};
    view->SetShowData(true);
    main.iodine = {3, QLatin1Char('f')};
    main.freqDifference->SetValue(150);
    State(4);
    EXPECT_EQ(main.state->text(), "measurement");
    EXPECT_EQ(main.status->text(), "ready");
    EXPECT_EQ(main.panel->text(), "locked - 1150.250 MHz");
    EXPECT_EQ(TMainControls::Colour(main.panel), QColor(0, 128, 0));

    main.iodine = {3, QLatin1Char('j')};
    State(20); // no such state: shown as measurement
    EXPECT_EQ(main.panel->text(), "locked - 2150.500 MHz");
}

TEST_F(LaserHeNeView, LockedFrequencyUsesTheLocaleSeparator) {
    const TLocaleScope polish{QLocale(QLocale::Polish)};
    view->SetShowData(true);
    main.iodine = {3, QLatin1Char('f')};
    main.freqDifference->SetValue(150);
    State(4);
    EXPECT_EQ(main.panel->text(), "locked - 1150,250 MHz");
}

TEST_F(LaserHeNeView, AFrequencyInGreenOnlyWhileTheIodineLaserIsLockedOnFOrJ) {
    // Locked on f or j: ReadyOnPeakFShowsTheLockedFrequency. Otherwise the panel says why not.
    const struct {
        TIodineLock Iodine;
        const char* Panel;
    } cases[] = {
        {{3, u'm'}, "ready\niodine laser locked at peak m\n(no frequency value)"},
        {{3, QChar()}, "ready\niodine laser locked\n(peak not reported)"},
        {{0, QChar()}, "ready\niodine laser not locked"},
        {{4, u'f'}, "ready\niodine laser not locked"},
        {{-1, QChar()}, "ready\niodine laser status awaited"},
    };
    view->SetShowData(true);
    main.freqDifference->SetValue(150);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "iodine status " << c.Iodine.Status << ", peak "
                                          << int(c.Iodine.Peak.unicode()));
        State(3); // every case starts from another text
        main.iodine = c.Iodine;
        State(4);
        EXPECT_EQ(main.status->text(), "ready");
        EXPECT_EQ(main.panel->text(), c.Panel);
        EXPECT_EQ(TMainControls::Colour(main.panel), QColor(176, 196, 222));
    }
}

TEST_F(LaserHeNeView, StatusRulesWithoutWidgets) {
    int asked = 0;
    const auto f = [&] {
        ++asked;
        return 1.0;
    };
    const TIodineLock lockedF{3, QLatin1Char('f')};
    const TLaserHeNeStatus s =
        LaserHeNeStatus(TLaserState::_error, lockedF, f, f, [] { return 2.0; });
    EXPECT_EQ(s.StatusText, "not ready");
    EXPECT_EQ(asked, 0) << "the peak table is read only when locked";
    LaserHeNeStatus(TLaserState::_measurement, TIodineLock{4, QChar()}, f, f, {});
    EXPECT_EQ(asked, 0);
}

TEST_F(LaserHeNeView, TheStateCodeReportedIsTheOneItsTextsWereMadeFrom) {
    TLaserState shown = TLaserState::_error;
    TLaserHeNeStatusControls c = main.Controls();
    c.GetFPeakValue = [] { // meanwhile the receive thread stores the next answer
        Laser->DecodeFrame(LaserAnswer(0x01, {3}).data());
        return 1000.25;
    };
    c.StateShown = [&](TLaserState state, const QString&) { shown = state; };
    view = std::make_unique<TLaserHeNeChartView>(c);
    main.iodine = {3, QLatin1Char('f')}; // locked on f
    Laser->DecodeFrame(LaserAnswer(0x01, {4}).data());
    view->UpdateStatus(&Stream());
    EXPECT_EQ(main.state->text(), "measurement");
    EXPECT_EQ(shown, TLaserState::_measurement);
}

TEST_F(LaserHeNeView, WindowCanPaintItsOwnPanels) {
    QColor painted;
    TLaserHeNeStatusControls c = main.Controls();
    c.SetPanelColor = [&](QLabel*, const QColor& colour) { painted = colour; };
    view = std::make_unique<TLaserHeNeChartView>(c);
    view->SetShowData(true);
    State(2);
    EXPECT_EQ(painted, QColor(243, 105, 113));
}

TEST_F(LaserHeNeView, MissingControlsAreSkipped) {
    view->SetShowData(true);
    Laser->DecodeFrame(LaserAnswer(0x01, {4}).data());
    delete main.panel;
    delete main.freqDifference;
    main.iodine = {3, QLatin1Char('f')};
    QCoreApplication::processEvents();
    EXPECT_EQ(main.status->text(), "ready");
}

TEST_F(LaserHeNeView, ShowDataSwitchesThePollAndTheSubscription) {
    EXPECT_FALSE(view->Timer()->isActive());
    view->SetShowData(true);
    view->SetShowData(true);
    EXPECT_TRUE(view->Timer()->isActive());
    EXPECT_EQ(view->Timer()->interval(), 200);
    EXPECT_EQ(Stream().ObserversCount(), 1);
    view->SetShowData(false);
    EXPECT_FALSE(view->Timer()->isActive());
    EXPECT_EQ(Stream().ObserversCount(), 0);
    view->SetShowData(true);
    view.reset();
    EXPECT_EQ(Stream().ObserversCount(), 0) << "the destructor switches it off";
}

TEST_F(LaserHeNeView, PollAsksOnlyAControllerWithALaserHead) {
    Connect("QRX-7A one");
    view->FTimerTimer();
    view->FTimerTimer();
    view->FTimerTimer();
    const std::vector<QByteArray> frames = TakeFrames();
    ASSERT_EQ(frames.size(), 3u) << "one request per tick";
    for (const QByteArray& f : frames) {
        EXPECT_EQ(uint8_t(f[1]), 1);
        EXPECT_EQ(uint8_t(f[10]), 0xF4);
    }
}

TEST_F(LaserHeNeView, PollSendsNothingToTheSecondControllerModel) {
    // The view itself decides not to ask (the frame sender would also drop the request).
    const struct {
        const char* Device;
        int Requests;
    } cases[] = {{"TMVK v2 one", 0}, {"QRX-7A one", 1}};
    for (const auto& c : cases) {
        Connect(c.Device);
        int requests = 0;
        view->SetPollRequest([&] { ++requests; });
        view->FTimerTimer();
        EXPECT_EQ(requests, c.Requests) << c.Device;
        view->SetPollRequest({});
        view->FTimerTimer();
        EXPECT_EQ(TakeFrames().size(), size_t(c.Requests)) << c.Device;
    }
}

TEST_F(LaserHeNeView, PollSendsNothingWithoutASelectedDevice) {
    view->FTimerTimer();
    EXPECT_TRUE(TakeFrames().empty());
    // An open link whose device carries no kind code: still nothing.
    fake.SetDevices({"QRX-7A one"});
    ASSERT_TRUE(connection->Connect(TDeviceID(_usb, "QRX-7A one", 0, {}, {})));
    fake.ClearRecord();
    view->FTimerTimer();
    EXPECT_TRUE(TakeFrames().empty());
    Laser->ServiceParameters()->StreamParams()->SendGetServiceStreamParamsFrame();
    EXPECT_EQ(TakeFrames().size(), 1u) << "the link itself works";
}

TEST_F(LaserHeNeView, UpdatesPendingWhenTheViewIsFreedNeverRun) {
    view->SetShowData(true);
    Laser->DecodeFrame(LaserAnswer(0x01, {4}).data());
    view.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(main.status->text(), "--");
}
