// The peak list, the simple page, Start and Lock, the frequency difference, the tuning status
// and the controller reports that land in the window's controls.
#include "MainWindowTestSupport.h"

#include "protocol/SendFrameUnit.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/main/PeakListDelegateUnit.h"
#include "ui/main/TuningStatusUnit.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

struct TuningWindow : MainWindowTest {
    QToolButton* F = nullptr;
    QToolButton* J = nullptr;
    QLabel* Panel = nullptr;
    QListWidget* List = nullptr;

    void SetUp() override {
        MainWindowTest::SetUp();
        Create({"QRX-7A one"});
        ConnectFirstDevice();
        F = Find<QToolButton>("SimpleFPeakPngSpeedButton");
        J = Find<QToolButton>("SimpleJPeakPngSpeedButton");
        Panel = Find<QLabel>("SimpleStatusPanel");
        List = Find<QListWidget>("PeakListBox");
        ClearWire();
    }

    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < List->count(); ++i)
            rows << List->item(i)->text();
        return rows;
    }
    QColor PanelColor() const { return TMainForm::PanelColor(Panel); }
    void ReportLock(int peak) {
        form->SetLabelCaption(TLabelTarget::PeakId, QString::number(peak));
        form->ShowTuningStatus(3);
    }
};

} // namespace

TEST_F(TuningWindow, ExpectedPeaksFillTheListTheCombosAndTheSimpleButtons) {
    form->ExpectedPeaks(0x3FFF);
    const QStringList rows = Rows();
    ASSERT_EQ(rows.size(), 14);
    EXPECT_EQ(rows[0], QStringLiteral("a -> 161.039"));
    EXPECT_EQ(rows[5], QStringLiteral("f -> 473612353.597"));
    EXPECT_EQ(rows[13], QStringLiteral("n -> -301.706"));
    EXPECT_EQ(form->SetPeakListBoxIndex, 5);
    EXPECT_EQ(Find<QComboBox>("ExpectedPeaksFromComboBox")->currentIndex(), 0);
    EXPECT_EQ(Find<QComboBox>("ExpectedPeaksToComboBox")->currentIndex(), 13);
    EXPECT_EQ(form->SimpleMenuFirstPeakId, 6);
    EXPECT_EQ(form->SimpleMenuSecondPeakId, 10);
    EXPECT_FALSE(F->icon().isNull());
    EXPECT_FALSE(J->icon().isNull());

    form->ExpectedPeaks(0xFC); // c to h
    ASSERT_EQ(Rows().size(), 6);
    EXPECT_EQ(Rows()[0], QStringLiteral("c -> 144.114"));
    EXPECT_EQ(Rows()[3], QStringLiteral("f -> 473612353.597"));
    EXPECT_EQ(form->SetPeakListBoxIndex, 3);
    EXPECT_EQ(form->SimpleMenuFirstPeakId, 3);
    EXPECT_EQ(form->SimpleMenuSecondPeakId, 6);
    EXPECT_TRUE(Wire().empty());
}

TEST_F(TuningWindow, MaskWithoutAnyTablePeakChangesNothing) {
    form->ExpectedPeaks(0x3FFF);
    form->ExpectedPeaks(0xC000);
    EXPECT_EQ(Rows().size(), 14);
    EXPECT_EQ(form->FirstAvaiablePeakIndex, 0);
    EXPECT_EQ(form->LastAvaiablePeakIndex, 13);
    EXPECT_EQ(form->SimpleMenuSecondPeakId, 10);
}

TEST_F(TuningWindow, FOffsetMovesThePeaksOnTheNextListing) {
    form->ChangePeakOffset(1000);
    form->ExpectedPeaks(0x3FFF);
    EXPECT_EQ(Rows()[5], QStringLiteral("f -> 473612354.597"));
    EXPECT_EQ(Rows()[0], QStringLiteral("a -> 161.039"));
    EXPECT_DOUBLE_EQ(form->GetFPeakValue(), 473612354.597);
    EXPECT_DOUBLE_EQ(form->GetJPeakValue(), 473612354.597 - 160.461);
}

TEST_F(TuningWindow, ClickingARowMakesItTheReferenceForStart) {
    form->ExpectedPeaks(0x3FFF);
    QTest::mouseClick(List->viewport(), Qt::LeftButton, {},
                      List->visualItemRect(List->item(1)).center());
    EXPECT_EQ(form->SelectedPeakIdLB, 1);
    EXPECT_EQ(form->SetPeakListBoxIndex, 1);
    EXPECT_EQ(Rows()[0], QStringLiteral("a -> 8.831"));
    EXPECT_EQ(Rows()[1], QStringLiteral("b -> 473612505.805"));
    EXPECT_EQ(Rows()[2], QStringLiteral("c -> -8.094"));
    Find<QPushButton>("StartButton")->click();
    EXPECT_EQ(Wire().back(), (TWireFrame{1, 34, 2}));
}

TEST_F(TuningWindow, EveryClickPicksItsRowAndTheFocusAlonePicksNone) {
    auto click = [this](int row) {
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {},
                          List->visualItemRect(List->item(row)).center());
    };
    form->ExpectedPeaks(0x3FFF);
    // Tabbing into the freshly filled list moves no reference.
    ASSERT_EQ(List->currentRow(), -1);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(List, &focusIn);
    EXPECT_EQ(form->SetPeakListBoxIndex, 5);
    EXPECT_EQ(form->SelectedPeakIdLB, -1);
    // A report moves the reference back to f; a second click on the current row picks it again.
    click(1);
    form->ExpectedPeaks(0x3FFF);
    ASSERT_EQ(form->SetPeakListBoxIndex, 5);
    click(1);
    EXPECT_EQ(form->SetPeakListBoxIndex, 1);
    EXPECT_EQ(Rows()[1], QStringLiteral("b -> 473612505.805"));
}

TEST_F(TuningWindow, SelectedRowIsSilverAndTheLockedRowBold) {
    form->ExpectedPeaks(0x3FFF);
    form->show();
    List->setCurrentRow(-1);
    form->SelectedPeakIdLB = 2;
    const QRect selected = List->visualItemRect(List->item(2));
    QImage image = List->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(selected.right() - 2, selected.center().y()),
              TPeakListDelegate::SelectedRowColor);
    const QRect other = List->visualItemRect(List->item(4));
    EXPECT_NE(image.pixelColor(other.right() - 2, other.center().y()),
              TPeakListDelegate::SelectedRowColor);

    auto ink = [&](const QImage& img, const QRect& row) {
        int dark = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left(); x <= row.right(); ++x)
                dark += img.pixelColor(x, y).lightness() < 128;
        return dark;
    };
    const int normal = ink(image, other);
    form->SetLockedPeakIdLB(4); // table index 4 with the list starting at a
    image = List->viewport()->grab().toImage();
    EXPECT_GT(ink(image, other), normal);
}

TEST_F(TuningWindow, StartInAutomaticModeGoesToTheReferencePeak) {
    form->ExpectedPeaks(0x3FFF);
    Find<QLabel>("PeakLabel")->setText("f");
    Find<QPushButton>("StartButton")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 32, 1}, {1, 33, 1}, {1, 34, 6}}));
    EXPECT_TRUE(Find<QPushButton>("LockButton")->isHidden());
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("--"));
}

TEST_F(TuningWindow, StartBeforeTheExpectedPeaksAimsAtTheReferenceF) {
    Find<QPushButton>("StartButton")->click();
    EXPECT_EQ(Wire().back(), (TWireFrame{1, 34, 6}));
}

TEST_F(TuningWindow, StartInHalfAutomaticModeOffersLock) {
    form->ExpectedPeaks(0xFC);
    Find<QRadioButton>("HalfAutomaticRadioButton")->click();
    Find<QPushButton>("StartButton")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 32, 1}, {1, 33, 1}, {1, 35, 1}}));
    auto* lock = Find<QPushButton>("LockButton");
    EXPECT_FALSE(lock->isHidden());
    ClearWire();
    lock->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 36}}));
    Find<QRadioButton>("AutomaticRadioButton")->click();
    Find<QPushButton>("StartButton")->click();
    EXPECT_TRUE(lock->isHidden());
}

TEST_F(TuningWindow, SimpleButtonsGoToTheirPeakAndReleaseEachOther) {
    form->ExpectedPeaks(0x3FFF);
    form->IodineLaserRunning = true;
    form->ShowTuningStatus(0); // buttons enabled
    F->click();
    EXPECT_TRUE(F->isChecked());
    J->click();
    EXPECT_TRUE(J->isChecked());
    EXPECT_FALSE(F->isChecked());
    J->click(); // releasing sends nothing, and both may be up
    EXPECT_FALSE(J->isChecked());
    EXPECT_FALSE(F->isChecked());
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 34, 6}, {1, 34, 10}}));
}

TEST_F(TuningWindow, SimpleButtonWithoutAPeakSendsNothing) {
    form->IodineLaserRunning = true;
    form->ShowTuningStatus(0);
    F->click();
    EXPECT_TRUE(F->isChecked());
    EXPECT_TRUE(Wire().empty());
}

TEST_F(TuningWindow, FrequencyDifferenceIsSentInHertzAndCopiedToTheOtherPage) {
    auto* main = Find<TRealSpinEdit>("FreqDifference1RealSpinEdit");
    auto* simple = Find<TRealSpinEdit>("FreqDifference2RealSpinEdit");
    EXPECT_DOUBLE_EQ(main->Value(), 400.0);
    Find<QPushButton>("FreqDifferenceSet1Button")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{4, 158, 0x8400, 0x17D7}}));
    ClearWire();
    simple->SetValue(123.457);
    Find<QPushButton>("FreqDifference2Button")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{4, 158, 0xCDE8, 0x075B}})); // 123457000 Hz
    EXPECT_DOUBLE_EQ(main->Value(), 123.457);
    // Back copies the simple page's value to the main page.
    simple->SetValue(250);
    Find<QPushButton>("NextButton")->click();
    Find<QPushButton>("BackButton")->click();
    EXPECT_DOUBLE_EQ(main->Value(), 250.0);
    EXPECT_EQ(Find<QTabWidget>("PageControl")->currentWidget()->objectName(),
              QStringLiteral("SimpleMenuTabSheet"));
}

TEST_F(TuningWindow, StatusRowsSetTextsColoursBlinkAndButtons) {
    form->IodineLaserRunning = true;
    auto* status = Find<QLabel>("StatusLabel");

    form->ShowTuningStatus(0);
    EXPECT_EQ(status->text(), QStringLiteral("wait for user"));
    EXPECT_EQ(Panel->text(), QStringLiteral("wait for user"));
    EXPECT_EQ(PanelColor(), TuningColors::Blue);
    EXPECT_FALSE(form->BlinkTimer->isActive());
    EXPECT_TRUE(F->isEnabled() && J->isEnabled());

    form->ShowTuningStatus(7);
    EXPECT_EQ(status->text(), QStringLiteral("tuning - prepare"));
    EXPECT_EQ(Panel->text(), QStringLiteral("wait for device"));
    EXPECT_TRUE(form->BlinkTimer->isActive());
    EXPECT_EQ(form->BlinkTimer->interval(), 500);
    form->BlinkTimerTimer();
    EXPECT_EQ(PanelColor(), TuningColors::Yellow);
    form->BlinkTimerTimer();
    EXPECT_EQ(PanelColor(), QApplication::palette().color(QPalette::Button));
    form->BlinkTimerTimer();

    form->ShowTuningStatus(14);
    EXPECT_EQ(status->text(), QStringLiteral("not ready"));
    EXPECT_EQ(PanelColor(), TuningColors::LightRed);
    EXPECT_FALSE(form->BlinkTimer->isActive());
    EXPECT_FALSE(F->isEnabled() || J->isEnabled());

    form->ShowTuningStatus(10); // buttons unchanged
    EXPECT_EQ(Panel->text(), QStringLiteral("tuning - error"));
    EXPECT_EQ(PanelColor(), TuningColors::Red);
    EXPECT_FALSE(F->isEnabled());

    form->ShowTuningStatus(9);
    EXPECT_EQ(status->text(), QString());
    EXPECT_TRUE(form->BlinkTimer->isActive());
    EXPECT_TRUE(F->isEnabled());
    EXPECT_EQ(PanelColor(), TuningColors::Red); // blinking starts from the last colour
}

TEST_F(TuningWindow, BlinkingSurvivesReportsFasterThanItsPeriod) {
    form->IodineLaserRunning = true;
    form->ShowTuningStatus(1);
    form->ShowTuningStatus(1); // a running blink is not restarted by every report
    const QColor before = PanelColor();
    int reports = 0;
    QTimer reporter;
    QObject::connect(&reporter, &QTimer::timeout, [&] {
        form->ShowTuningStatus(1);
        ++reports;
    });
    reporter.start(100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return PanelColor() != before; }, 3000));
    EXPECT_GE(reports, 1);
}

TEST_F(TuningWindow, LockReportMarksThePeakEverywhere) {
    form->ExpectedPeaks(0x3FFF);
    form->IodineLaserRunning = true;
    form->ShowTuningStatus(1);
    ReportLock(6);
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("tuning - locked"));
    EXPECT_EQ(Panel->text(), QStringLiteral("locked at peak f -> 473612353.597 MHz"));
    EXPECT_EQ(PanelColor(), TuningColors::Green);
    EXPECT_FALSE(form->BlinkTimer->isActive());
    EXPECT_TRUE(F->isChecked());
    EXPECT_FALSE(J->isChecked());
    EXPECT_EQ(form->LockedPeakIdLB, 5);
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("f"));

    ReportLock(10);
    EXPECT_EQ(Panel->text(), QStringLiteral("locked at peak j -> 473612193.136 MHz"));
    EXPECT_TRUE(J->isChecked());
    EXPECT_FALSE(F->isChecked());

    ReportLock(14);
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("n"));
    EXPECT_EQ(Panel->text(), QStringLiteral("locked at peak n"));
    EXPECT_FALSE(F->isChecked() || J->isChecked());
    EXPECT_TRUE(Wire().empty()); // the display never sends
}

TEST_F(TuningWindow, LockedRowFollowsTheListsFirstPeak) {
    form->ExpectedPeaks(0xFC); // c to h
    form->IodineLaserRunning = true;
    ReportLock(6);
    EXPECT_EQ(form->LockedPeakIdLB, 3);
    EXPECT_TRUE(J->isChecked()); // the second button offers f here
    EXPECT_FALSE(F->isChecked());
}

TEST_F(TuningWindow, ReportsBeforeTheLaserRunsShowGrey) {
    form->ShowTuningStatus(1);
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("tuning - start"));
    EXPECT_EQ(Panel->text(), QStringLiteral("laser is off - wait"));
    EXPECT_EQ(PanelColor(), TuningColors::Grey);
    EXPECT_FALSE(form->BlinkTimer->isActive());
    EXPECT_FALSE(F->isEnabled() || J->isEnabled());
    // Enough signal power in a frequency report marks the laser running.
    form->AddFreqDiffSample(12345678, 2000);
    EXPECT_FALSE(form->IodineLaserRunning);
    form->AddFreqDiffSample(12345678, 2001);
    EXPECT_TRUE(form->IodineLaserRunning);
    EXPECT_EQ(Find<QLabel>("FreqDifferenceValueLabel")->text(), QStringLiteral("12,346 kHz"));
    EXPECT_EQ(Find<QLabel>("SignalPWRLabel")->text(), QStringLiteral("2001"));
    form->AddFreqDiffSample(0, 100); // exactly 0 Hz is ignored
    EXPECT_EQ(Find<QLabel>("SignalPWRLabel")->text(), QStringLiteral("2001"));
}

TEST_F(TuningWindow, ControllerReportsLandInTheirControls) {
    form->SetSpinValue(TSpinTarget::FreqDifference1, 250);
    form->SetSpinValue(TSpinTarget::FreqDifference2, 250);
    form->SetSpinValue(TSpinTarget::Phase, 12); // a field that is not on this window
    EXPECT_DOUBLE_EQ(Find<TRealSpinEdit>("FreqDifference1RealSpinEdit")->Value(), 250.0);
    EXPECT_DOUBLE_EQ(Find<TRealSpinEdit>("FreqDifference2RealSpinEdit")->Value(), 250.0);
    form->SetLabelCaption(TLabelTarget::CFTValue, QStringLiteral("25.3"));
    form->SetLabelCaption(TLabelTarget::Lifetime, QStringLiteral("01:15"));
    EXPECT_EQ(Find<QLabel>("CFTValueLabel")->text(), QStringLiteral("25.3"));
    EXPECT_EQ(Find<QLabel>("LifetimeLabel")->text(), QStringLiteral("01:15"));
    form->SetBarPosition(TBarTarget::TuningMirror, 42);
    form->SetBarPosition(TBarTarget::StabilizationMirror, 7);
    EXPECT_EQ(Find<TALProgressBar>("TuningMirrorALProgressBar")->Position(), 42);
    EXPECT_EQ(Find<TALProgressBar>("StabilizationMirrorALProgressBar")->Position(), 7);
    form->SetPeakLabelByIndex(0);
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("--"));
    form->SetPeakLabelByIndex(2);
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("b"));
    form->CRCError();
    form->CRCError();
    EXPECT_EQ(Find<QLabel>("CRCErrorsLabel")->text(), QStringLiteral("2"));
}

TEST_F(TuningWindow, MirrorBarsAre195By20WithOneFillColourAndAPercentSuffix) {
    const TALProgressBar defaults;
    for (const char* name : {"TuningMirrorALProgressBar", "StabilizationMirrorALProgressBar"}) {
        SCOPED_TRACE(name);
        auto* bar = Find<TALProgressBar>(name);
        EXPECT_EQ(bar->size(), QSize(195, 20));
        EXPECT_EQ(bar->BarColorStyle(), cs1Color);
        EXPECT_EQ(bar->PosTextSuffix(), QStringLiteral("%"));
        EXPECT_EQ(bar->PosTextPrefix(), defaults.PosTextPrefix());
        EXPECT_EQ(bar->Min(), 0); // the mirror positions are percentages
        EXPECT_EQ(bar->Max(), 100);
        EXPECT_EQ(bar->ShowBorder(), defaults.ShowBorder());
        EXPECT_EQ(bar->ShowPosText(), defaults.ShowPosText());
        EXPECT_EQ(bar->Direction(), defaults.Direction());
        EXPECT_EQ(bar->Percentage(), defaults.Percentage());
        EXPECT_EQ(bar->Text(), defaults.Text());
        EXPECT_EQ(bar->BarColor1(), defaults.BarColor1());
        EXPECT_EQ(bar->BackgroundColor(), defaults.BackgroundColor());
        bar->SetPosition(100);
        // A full bar in one colour: the first and the last inner column are both BarColor1,
        // away from the centred text.
        const QImage image = bar->grab().toImage();
        EXPECT_EQ(QColor(image.pixel(1, 3)), bar->BarColor1());
        EXPECT_EQ(QColor(image.pixel(193, 3)), bar->BarColor1());
    }
}

TEST_F(TuningWindow, TheLifetimeReportReachesTheMainPagesLabel) {
    // The service panel's 'Lifetime' caption has a name of its own.
    EXPECT_EQ(form->findChildren<QLabel*>(QStringLiteral("LifetimeLabel")).size(), 1);
    auto* caption = Find<QLabel>("LifetimeCaptionLabel");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("Lifetime"));
    auto* parameters = Find<QWidget>("ParametersPanel");
    auto* lifetime = parameters->findChild<QLabel*>(QStringLiteral("LifetimeLabel"));
    ASSERT_NE(lifetime, nullptr);
    // Report 123 from the controller: 75 minutes.
    TFrame f = BuildParamsFrame(0, 123, 75);
    f[10] = 0x1F;
    f[11] = FrameChecksum(f);
    fake.QueueRx(QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize));
    EXPECT_TRUE(QTest::qWaitFor([&] { return lifetime->text() == "01:15"; }, 5000))
        << lifetime->text().toStdString();
    EXPECT_EQ(caption->text(), QStringLiteral("Lifetime"));
}

TEST_F(TuningWindow, TheLaserHeadStatusNeverRewritesAFrequencyDifferenceBeingTyped) {
    auto* field = Find<TRealSpinEdit>("FreqDifference1RealSpinEdit"); // 30 to 400 MHz
    Find<QLabel>("PeakLabel")->setText(QStringLiteral("f")); // the status then reads the field
    TFrame f = BuildParamsFrame(0, 0x01, 4);                 // the laser head in measurement
    f[10] = 0x4F;
    f[11] = FrameChecksum(f);
    field->clear();
    fake.QueueRx(QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Find<QLabel>("LaserHeNeStateValueLabel")->text() == "measurement"; }, 5000));
    QTest::keyClicks(field, QStringLiteral("150"));
    Find<QPushButton>("FreqDifferenceSet1Button")->click();
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{4, 158, 0xD180, 0x08F0}})); // 150000000 Hz
}

TEST_F(TuningWindow, OnlyTheFieldsMarkedSoRefuseTheMinusSign) {
    // Typed "-5" and Enter: a field that takes the sign clamps to its minimum on confirmation.
    const struct {
        const char* Field;
        const char* Shown;
        double Confirmed;
    } cases[] = {
        {"FreqDifference1RealSpinEdit", "5", 30},  // main page: no negatives
        {"FreqDifference2RealSpinEdit", "-5", 50}, // simple page
        {"PhaseRealSpinEdit", "-5", 0},            // service panel
        {"PRealSpinEdit", "5", 5},                 // service panel: no negatives
        {"DSPPRealSpinEdit", "-5", 0},             // test page
        {"LHPIDParamDRealSpinEdit", "-5", -5},     // laser-head service page
        {"LHPIDParamPRealSpinEdit", "5", 5},       // laser-head service page: no minus
    };
    for (const auto& c : cases) {
        auto* field = Find<TRealSpinEdit>(c.Field);
        ASSERT_NE(field, nullptr);
        field->clear();
        QTest::keyClicks(field, QStringLiteral("-5"));
        EXPECT_EQ(field->text(), QLatin1String(c.Shown)) << c.Field;
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->Value(), c.Confirmed) << c.Field;
    }
}

TEST_F(TuningWindow, ComboRepliesSetTheRowWithoutSendingItBack) {
    auto* scope = Find<QComboBox>("ScopeScaleComboBox");
    auto* harmonic = Find<QComboBox>("HarmonicComboBox");
    EXPECT_EQ(scope->currentText(), QStringLiteral("4x"));
    EXPECT_EQ(harmonic->currentText(), QStringLiteral("3rd"));
    form->SetScopeScaleRow(0);
    EXPECT_EQ(scope->currentText(), QStringLiteral("1x"));
    form->SetScopeScaleRow(-1);
    EXPECT_EQ(scope->currentIndex(), -1);
    form->SetHarmonicRow(2);
    form->SetHarmonicRow(4); // beyond the rows: ignored
    EXPECT_EQ(harmonic->currentIndex(), 2);
    EXPECT_TRUE(Wire().empty());

    form->ApplyHarmonicRule(true);
    EXPECT_EQ(harmonic->count(), 4);
    form->ApplyHarmonicRule(false);
    form->ApplyHarmonicRule(false);
    EXPECT_EQ(harmonic->count(), 3);

    // The operator's choices send.
    scope->setCurrentIndex(5);
    emit scope->activated(5);
    harmonic->setCurrentIndex(1);
    emit harmonic->activated(1);
    scope->setCurrentIndex(-1);
    emit scope->activated(-1);
    EXPECT_EQ(Wire(), (std::vector<TWireFrame>{{1, 72, 6}, {1, 81, 1}}));
}

TEST_F(TuningWindow, ResetClearsTheTuningControls) {
    form->ExpectedPeaks(0x3FFF);
    form->SetLabelCaption(TLabelTarget::CFTValue, QStringLiteral("25.3"));
    form->SetPeakLabelByIndex(6);
    Find<QPushButton>("LockButton")->show();
    form->ResetTuningControls();
    EXPECT_EQ(Find<QLabel>("CFTValueLabel")->text(), QStringLiteral("0"));
    EXPECT_EQ(Find<QLabel>("LifetimeLabel")->text(), QStringLiteral("00:00"));
    EXPECT_EQ(Find<QLabel>("PeakLabel")->text(), QStringLiteral("--"));
    EXPECT_EQ(List->count(), 0);
    EXPECT_TRUE(Find<QPushButton>("LockButton")->isHidden());
    EXPECT_FALSE(Find<QComboBox>("ScopeScaleComboBox")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("StartButton")->isEnabled()); // still connected
}
