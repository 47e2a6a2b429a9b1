// The service panel and the charts inside the operator window: unlock by typing, 'Hide', the
// read-back of every setting into its own field, the path-gain reply, the expected peaks, the
// sample operations and a log through the window, and a pending confirmation at window close.
#include "../main/MainWindowTestSupport.h"

#include "app/LogUnit.h"
#include "protocol/SendFrameUnit.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/SaveDialogUnit.h"
#include "ui/main/ServiceCommandsUnit.h"
#include "ui/main/ServicePanelUnit.h"
#include "ui/main/ServicePasswordUnit.h"

#include <QCheckBox>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vector>

namespace {

struct ServiceWindow : MainWindowTest {
    void Open() {
        Create({"QRX-7A 1234"});
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    // Types into the focused control, as the keyboard does.
    void Type(QWidget* into, const char* keys) {
        into->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([into] { return into->hasFocus(); }, 2000));
        QTest::keyClicks(into, QString::fromLatin1(keys));
    }
    bool PanelShown() { return Find<QWidget>("ServicePanel")->isVisible(); }
    int VisibleTabs() {
        auto* pages = Find<QTabWidget>("PageControl");
        int n = 0;
        for (int i = 0; i < pages->count(); ++i)
            n += pages->isTabVisible(i) ? 1 : 0;
        return n;
    }
};

} // namespace

TEST_F(ServiceWindow, TheKeySequenceTypedAnywhereUnlocksThePanel) {
    Open();
    EXPECT_FALSE(PanelShown());
    EXPECT_EQ(form->width(), 1133);
    EXPECT_EQ(VisibleTabs(), 0);

    // Typed into an edit field, split over two fields: the fields keep what was typed.
    auto* freq = Find<TRealSpinEdit>("FreqDifference2RealSpinEdit");
    freq->clear();
    Type(freq, "4715");
    EXPECT_EQ(freq->text(), "4715");
    EXPECT_FALSE(PanelShown());
    Type(form.get(), "0236");
    EXPECT_TRUE(PanelShown());
    EXPECT_EQ(form->width(), 1821);
    EXPECT_EQ(Find<QWidget>("ServicePanel")->geometry(), QRect(1821 - 676, 0, 676, 691));
    EXPECT_EQ(VisibleTabs(), 5);

    // 'Hide' asks for the expected peaks, narrows the window and leaves the tabs visible.
    ConnectFirstDevice();
    ClearWire();
    QTest::mouseClick(Find<QPushButton>("HideButton"), Qt::LeftButton);
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 69}}));
    EXPECT_FALSE(PanelShown());
    EXPECT_EQ(form->width(), 1139);
    EXPECT_EQ(VisibleTabs(), 5);

    // Typing the sequence again shows it again.
    Type(form.get(), "47150236");
    EXPECT_TRUE(PanelShown());
    EXPECT_EQ(form->width(), 1821);
}

TEST_F(ServiceWindow, TheWidenedWindowStaysOnItsScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const struct {
        QRect Frame;
        QRect Available;
        QPoint TopLeft;
    } cases[] = {
        {{100, 50, 1821, 691}, screen, {99, 50}}, // moved left by what passes the right edge
        {{40, 50, 1821, 691}, screen, {40, 50}},  // already inside
        {{900, 50, 1821, 691}, {0, 0, 1280, 1024}, {0, 50}},        // wider than the screen
        {{2100, 10, 1821, 691}, {1920, 0, 1920, 1080}, {2019, 10}}, // the second screen
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMainForm::OnScreenTopLeft(c.Frame, c.Available), c.TopLeft) << c.Frame.x();

    // The real window on the test screen, placed so that the wider window would leave it.
    Open();
    const QRect available = form->screen()->availableGeometry();
    form->move(available.right() - form->width(), available.top() + 10);
    Type(form.get(), "47150236");
    ASSERT_TRUE(PanelShown());
    const QRect frame = form->frameGeometry();
    if (frame.width() <= available.width())
        EXPECT_LE(frame.right(), available.right());
    else
        EXPECT_EQ(frame.left(), available.left()); // the left edge stays visible
    EXPECT_GE(frame.left(), available.left());
}

TEST_F(ServiceWindow, OnAScreenTooSmallTheWindowFitsAndEveryControlStaysReachable) {
    // The test screens: "Desktop", "Laptop" 1366 x 768, "Scaled" 1920 x 1080 at 150 %.
    for (QScreen* screen : QGuiApplication::screens()) {
        SCOPED_TRACE(screen->name().toStdString());
        Create({"QRX-7A 1234"});
        form->setScreen(screen);
        form->move(screen->availableGeometry().topLeft());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        for (QChar key : QStringLiteral("47150236"))
            form->FormKeyPress(key);
        EXPECT_TRUE(screen->availableGeometry().contains(form->frameGeometry()));
        EXPECT_EQ(form->size() == QSize(1821, 691), screen->name() == "Desktop");
        auto* scroll = Find<QScrollArea>("ClientScrollArea");
        for (const char* name : {"SetMirrorsUsageButton", "HideButton", "NextButton"}) {
            QWidget* control = Find<QWidget>(name);
            scroll->ensureWidgetVisible(control, 0, 0);
            const QRect area(control->mapTo(form.get(), QPoint(0, 0)), control->size());
            EXPECT_TRUE(scroll->viewport()->geometry().contains(area)) << name;
        }
        form.reset();
    }
}

TEST_F(ServiceWindow, AWrongKeyRestartsTheSequence) {
    Open();
    Type(form.get(), "4715023947150236");
    EXPECT_TRUE(PanelShown());
    Find<QPushButton>("HideButton")->click();
    Type(form.get(), "471547150236"); // the wrong '4' does not start a new sequence
    EXPECT_FALSE(PanelShown());
    Type(form.get(), "x");
    Type(form.get(), "47150236");
    EXPECT_TRUE(PanelShown());
}

TEST_F(ServiceWindow, EveryReplyLandsInTheFieldItsSetButtonSends) {
    Create({"QRX-7A 1234"});
    ConnectFirstDevice();
    // One reply from the wire per row (board, code, words), the value the field then shows, and
    // what its Set button sends back (code, W0, W1).
    const struct {
        int Board, Code;
        uint16_t W0, W1, W2;
        const char* Field;
        double Shown;
        const char* Button;
        int SetCode;
        uint16_t SetW0, SetW1;
    } rows[] = {
        {1, 53, 123, 0, 0, "PhaseRealSpinEdit", 123, "SetPhaseButton", 54, 123, 0},
        {1, 55, 45, 0, 0, "DelayRealSpinEdit", 45, "SetDelayButton", 56, 45, 0},
        {1, 57, 123, 0, 0, "PathGainRealSpinEdit", 123, "SetPathGainButton", 58, 123, 0},
        {1, 59, 187, 0, 0, "CFTRealSpinEdit", 18.7, "SetCFTButton", 60, 187, 0},
        {1, 61, 11, 0, 0, "PRealSpinEdit", 11, "SetPButton", 62, 11, 0},
        {1, 63, 12, 0, 0, "IRealSpinEdit", 12, "SetIButton", 64, 12, 0},
        {1, 65, 13, 0, 0, "DRealSpinEdit", 13, "SetDButton", 66, 13, 0},
        {1, 67, 200, 0, 0, "PidGainRealSpinEdit", 200, "SetPIDGainButton", 68, 200, 0},
        {1, 77, 0xFB, 0, 0, "SetPointRealSpinEdit", -5, "SetPointButton", 78, 0xFB, 0},
        {1, 83, 4000, 0, 0, "CFTTemp10RealSpinEdit", 4000, "CTFTemp10Button", 84, 4000, 0},
        {1, 85, 5000, 0, 0, "CFTTemp40RealSpinEdit", 5000, "CFTTemp40Button", 86, 5000, 0},
        {1, 87, 31000, 0, 0, "CFTOffsetRealSpinEdit", 31000, "CFTOffsetButton", 88, 31000, 0},
        {1, 91, 77, 0, 0, "ModulationRealSpinEdit", 77, "ModulationButton", 92, 77, 0},
        {1, 93, 0xFFFB, 0, 0, "FOffsetRealSpinEdit", -5, "FOffsetButton", 94, 0xFFFB, 0},
        {2, 203, 4464, 1, 0, "LifetimeRealSpinEdit", 70000, "LifetimeButton", 204, 4464, 1},
        {2, 205, 21, 22, 33333, "MirrorSwing1RealSpinEdit", 21, "SetMirrorSwing1Button", 206, 21,
         0},
        {2, 205, 21, 22, 33333, "MirrorSwing2RealSpinEdit", 22, "SetMirrorSwing2Button", 207, 22,
         0},
        {2, 205, 21, 22, 33333, "MirrorSwing3RealSpinEdit", 33333, "SetMirrorSwing3Button", 212,
         33333, 0},
        {2, 208, 1500, 0, 0, "OutSignalPeriodRealSpinEdit", 1500, "OutSignalPeriodButton", 209,
         1500, 0},
        {2, 210, 2, 0, 0, "MirrorsUsageRealSpinEdit", 2, "SetMirrorsUsageButton", 211, 2, 0},
    };
    for (const auto& r : rows) {
        TFrame f = BuildParamsFrame(0, static_cast<uint8_t>(r.Code), r.W0, r.W1, r.W2);
        f[10] = static_cast<uint8_t>(r.Board << 4 | 0x0F); // from that board to the PC
        f[11] = FrameChecksum(f.data());
        fake.QueueRx(QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize));
        auto* field = Find<TRealSpinEdit>(r.Field);
        EXPECT_TRUE(QTest::qWaitFor([&] { return field->Value() == r.Shown; }, 5000))
            << r.Field << " shows " << field->text().toStdString();
    }
    ClearWire();
    std::vector<TWireFrame> expected;
    for (const auto& r : rows) {
        Find<QPushButton>(r.Button)->click();
        expected.push_back({r.Board, r.SetCode, r.SetW0, r.SetW1});
    }
    EXPECT_EQ(Wire(), expected);
    EXPECT_FALSE(Find<QCheckBox>("StabilizationCheckCheckBox")->isChecked());
    EXPECT_EQ(Find<QLabel>("CFTOffsetLabel")->text(), "CFT offset"); // 31000: plain captions

    form->SetLabelCaption(TLabelTarget::CFTRaw, QStringLiteral("CFT Raw: 812"));
    form->SetLabelCaption(TLabelTarget::FirmwareVersionIL, QStringLiteral("IL 1.2.3"));
    form->SetLabelCaption(TLabelTarget::FirmwareVersionDSP, QStringLiteral("4.4.1"));
    EXPECT_EQ(Find<QLabel>("CFTRawLabel")->text(), "CFT Raw: 812");
    EXPECT_EQ(Find<QLabel>("ReadFirmwareVersionILLabel")->text(), "IL 1.2.3");
    EXPECT_EQ(Find<QLabel>("ReadFirmwareVersionDSPLabel")->text(), "4.4.1");

    // The counter of corrupt frames sits on the panel.
    form->CRCError();
    form->CRCError();
    EXPECT_EQ(Find<QLabel>("CRCErrorsLabel")->text(), "2");
    EXPECT_TRUE(Find<QWidget>("ServicePanel")->isAncestorOf(Find<QLabel>("CRCErrorsLabel")));
}

TEST_F(ServiceWindow, ASetOrWriteSendsOnlyWhatWasReadOrTyped) {
    Create({"QRX-7A 1234"});
    ConnectFirstDevice();
    // Each write with a field it sends, and whether the answers below read that field.
    const struct {
        const char* Button;
        const char* Field;
        bool Read;
    } writes[] = {{"SetPButton", "PRealSpinEdit", true},
                  {"SetPIDGainButton", "PidGainRealSpinEdit", false},
                  {"DSPWritePIDButton", "DSPDRealSpinEdit", false},
                  {"LHPIDWriteParamButton", "LHPIDParamDRealSpinEdit", true},
                  {"LHDACWriteButton", "LHDACEepromCaseTempRealSpinEdit", false}};
    for (const auto& w : writes) {
        Find<TRealSpinEdit>(w.Field)->CheckValueRange(); // left untouched: still no value
        EXPECT_EQ(Find<TRealSpinEdit>(w.Field)->placeholderText(), "unread") << w.Field;
        EXPECT_FALSE(Find<QPushButton>(w.Button)->isEnabled()) << w.Button;
    }
    EXPECT_FALSE(Find<QCheckBox>("StabilizationCheckCheckBox")->isEnabled()); // sends path gain
    // The controller's p, then the laser head's PID gains (which read none of its DAC values).
    for (const TWireFrame& a : {TWireFrame{1, 61, 11}, TWireFrame{4, 39, 0x0807, 300}}) {
        TFrame f = BuildParamsFrame(0, static_cast<uint8_t>(a.Code), a.W0, a.W1);
        f[10] = static_cast<uint8_t>(a.Target << 4 | 0x0F);
        f[11] = FrameChecksum(f.data());
        fake.QueueRx(QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize));
    }
    for (const auto& w : writes)
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return Find<QPushButton>(w.Button)->isEnabled() == w.Read; }, 5000))
            << w.Button;
    QTest::keyClicks(Find<TRealSpinEdit>("PidGainRealSpinEdit"), QStringLiteral("9")); // typed
    ClearWire();
    Find<QPushButton>("SetPIDGainButton")->click();
    Find<QPushButton>("SetPButton")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 68, 9}, {1, 62, 11}}));
}

TEST_F(ServiceWindow, APathGainReplyAbove2000TicksTheBoxWhichSendsTheGainAgain) {
    Create({"QRX-7A 1234"});
    ConnectFirstDevice();
    ClearWire();
    // What the decoder does for a reply of 2150: the field gets 150, then the box is ticked.
    form->SetSpinValue(TSpinTarget::PathGain, 150);
    form->TickStabilizationCheck();
    EXPECT_TRUE(Find<QCheckBox>("StabilizationCheckCheckBox")->isChecked());
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 58, 2150}}));
    ClearWire();
    form->SetSpinValue(TSpinTarget::PathGain, 300);
    form->TickStabilizationCheck(); // already ticked: no click, nothing sent
    EXPECT_EQ(Wire(), std::vector<TWireFrame>{});
}

TEST_F(ServiceWindow, ExpectedPeaksSendTheMaskOfTheChosenRange) {
    Create({"QRX-7A 1234"});
    ConnectFirstDevice();
    ClearWire();
    Find<QComboBox>("ExpectedPeaksFromComboBox")->setCurrentIndex(7); // h
    Find<QComboBox>("ExpectedPeaksToComboBox")->setCurrentIndex(2);   // c
    auto* set = Find<QPushButton>("SetExpectedPeaksButton");
    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 70, 4 + 8 + 16 + 32 + 64 + 128}}));
    EXPECT_EQ(TServiceSetButtonColor::CaptionColor(set), QColor(0, 0x80, 0));
}

TEST_F(ServiceWindow, TheTestPageWritesAndReadsTheDSPsPID) {
    Create({"QRX-7A 1234"});
    ConnectFirstDevice();
    ClearWire();
    Find<TRealSpinEdit>("DSPPRealSpinEdit")->SetValue(255);
    Find<TRealSpinEdit>("DSPIRealSpinEdit")->SetValue(7);
    Find<TRealSpinEdit>("DSPDRealSpinEdit")->SetValue(65535);
    Find<QPushButton>("DSPWritePIDButton")->click();
    Find<QPushButton>("DSPReadPIDButton")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{2, 202, 255, 7, 65535}, {2, 201}}));
    // Neither button is confirmed in green.
    EXPECT_EQ(TServiceSetButtonColor::CaptionColor(Find<QPushButton>("DSPWritePIDButton")),
              TServiceSetButtonColor::NormalColor());
}

TEST_F(ServiceWindow, SamplesReachTheChartsAndTheLogThroughTheWindow) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("freq.txt"));
    SetSaveDialogOverride([&](const TSaveDialogRequest&) { return file; });
    Create({"QRX-7A 1234"});
    form->AddErrorSignalSample(17640);
    form->AddServiceSample(5); // 'Enable chart' is off at start
    form->AddTestSample(1, 2, 3, 4);
    EXPECT_EQ(form->Charts()->DataSeries().Count(), 1);
    EXPECT_EQ(form->Charts()->DataSeries().Y(0), 0);
    EXPECT_EQ(form->Charts()->ServiceSeries().Count(), 0);
    EXPECT_EQ(form->Charts()->TestSeries(3).Y(0), 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Find<QLabel>("Test3Label")->text() == "3"; }, 5000));

    EXPECT_FALSE(form->IodineLaserRunning);
    Find<QCheckBox>("FreqDiffLogCheckBox")->setChecked(true);
    form->AddFreqDiffSample(12345678, 2001);
    EXPECT_TRUE(form->IodineLaserRunning);
    EXPECT_EQ(Find<QLabel>("FreqDifferenceValueLabel")->text(), "12,346 kHz");
    EXPECT_EQ(Find<QLabel>("SignalPWRLabel")->text(), "2001");
    // Logged by the application's LogFile; closed with the window.
    form.reset();
    SetSaveDialogOverride({});
    EXPECT_EQ(LogFile, nullptr);
    QFile log(file);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray line = log.readAll();
    EXPECT_TRUE(line.endsWith(";12345\r\n")) << line.constData();
    EXPECT_EQ(line.count('\n'), 1);
}

TEST_F(ServiceWindow, AConfirmationPendingWhenTheWindowClosesIsDroppedSafely) {
    Open();
    Type(form.get(), "47150236");
    ConnectFirstDevice();
    std::vector<QPointer<QTimer>> pending;
    for (const char* name : {"SetPhaseButton", "LifetimeButton"}) {
        auto* button = Find<QPushButton>(name);
        Find<TRealSpinEdit>(FindServiceRowByButton(name)->SpinEdit)->SetValue(1);
        QTest::mouseClick(button, Qt::LeftButton);
        const auto timers =
            button->findChildren<QTimer*>(QLatin1String(TServiceSetButtonColor::TimerName));
        ASSERT_EQ(timers.size(), 1) << name;
        EXPECT_TRUE(timers[0]->isActive()) << name;
        pending.emplace_back(timers[0]);
    }
    form.reset();
    // The pending restores went with their buttons: nothing is left to run on a freed button.
    for (const QPointer<QTimer>& timer : pending)
        EXPECT_TRUE(timer.isNull());
}
