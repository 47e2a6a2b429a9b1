// The service panel: what each 'Set' puts on the wire, the fields' limits, 'Read', 'Read FW',
// 'Stabilization check', the CFT captions and the green confirmation.
#include "ServiceTestSupport.h"

#include "protocol/CommandTableUnit.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/main/ServiceCommandsUnit.h"
#include "ui/main/ServicePasswordUnit.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

struct ServicePanel : ::testing::Test {
    TLinkFixture link;
    TServicePanelFrame panel;

    TRealSpinEdit* Edit(const char* name) {
        auto* e = panel.findChild<TRealSpinEdit*>(QLatin1String(name));
        EXPECT_NE(e, nullptr) << name;
        return e;
    }
    QPushButton* Button(const char* name) {
        auto* b = panel.findChild<QPushButton*>(QLatin1String(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    // Types value into the field as the operator would set it, then presses the button.
    QByteArray Set(const char* edit, double value, const char* button) {
        Edit(edit)->SetValue(value);
        link.TakeWritten();
        QTest::mouseClick(Button(button), Qt::LeftButton);
        return link.TakeWritten();
    }
};

struct TSetCase {
    const char* edit;
    double value;
    const char* button;
    uint8_t target;
    uint8_t code;
    uint16_t w0;
    uint16_t w1;
};

} // namespace

TEST_F(ServicePanel, EverySetButtonSendsItsFieldConvertedToItsCommand) {
    const TSetCase cases[] = {
        {"PhaseRealSpinEdit", 359, "SetPhaseButton", 1, 54, 359, 0},
        {"DelayRealSpinEdit", 99, "SetDelayButton", 1, 56, 99, 0},
        {"PathGainRealSpinEdit", 1500, "SetPathGainButton", 1, 58, 1500, 0},
        {"CFTRealSpinEdit", 18.7, "SetCFTButton", 1, 60, 187, 0},
        {"PRealSpinEdit", 300, "SetPButton", 1, 62, 44, 0}, // 300 cut to a byte
        {"IRealSpinEdit", 17, "SetIButton", 1, 64, 17, 0},
        {"DRealSpinEdit", 255, "SetDButton", 1, 66, 255, 0},
        {"PidGainRealSpinEdit", 200, "SetPIDGainButton", 1, 68, 200, 0},
        {"SetPointRealSpinEdit", -200, "SetPointButton", 1, 78, 56, 0},
        {"CFTTemp10RealSpinEdit", 65535, "CTFTemp10Button", 1, 84, 0xFFFF, 0},
        {"CFTTemp40RealSpinEdit", 40000, "CFTTemp40Button", 1, 86, 40000, 0},
        {"CFTOffsetRealSpinEdit", 15000, "CFTOffsetButton", 1, 88, 15000, 0},
        {"ModulationRealSpinEdit", 255, "ModulationButton", 1, 92, 255, 0},
        {"FOffsetRealSpinEdit", -5, "FOffsetButton", 1, 94, 0xFFFB, 0},
        {"LifetimeRealSpinEdit", 70000, "LifetimeButton", 2, 204, 4464, 1},
        {"MirrorSwing1RealSpinEdit", 128, "SetMirrorSwing1Button", 2, 206, 128, 0},
        {"MirrorSwing2RealSpinEdit", 255, "SetMirrorSwing2Button", 2, 207, 255, 0},
        {"MirrorSwing3RealSpinEdit", 65535, "SetMirrorSwing3Button", 2, 212, 65535, 0},
        {"OutSignalPeriodRealSpinEdit", 1999, "OutSignalPeriodButton", 2, 209, 1999, 0},
        {"MirrorsUsageRealSpinEdit", 2, "SetMirrorsUsageButton", 2, 211, 2, 0},
    };
    ASSERT_EQ(std::size(cases), ServiceSetRows.size());
    for (const TSetCase& c : cases)
        EXPECT_EQ(Set(c.edit, c.value, c.button), CommandBytes(c.target, c.code, c.w0, c.w1))
            << c.button;
}

TEST_F(ServicePanel, ConversionsCutToTheCommandsWidthWithoutWarning) {
    EXPECT_EQ(Set("CFTRealSpinEdit", 25.6, "SetCFTButton"), CommandBytes(1, 60, 0)); // 256
    EXPECT_EQ(Set("CFTRealSpinEdit", 25.5, "SetCFTButton"), CommandBytes(1, 60, 255));
    EXPECT_EQ(Set("CFTRealSpinEdit", 0.1, "SetCFTButton"), CommandBytes(1, 60, 1));
    EXPECT_EQ(Set("LifetimeRealSpinEdit", 4294967295.0, "LifetimeButton"),
              CommandBytes(2, 204, 0xFFFF, 0xFFFF));
    EXPECT_EQ(Set("LifetimeRealSpinEdit", 65536, "LifetimeButton"), CommandBytes(2, 204, 0, 1));
    EXPECT_EQ(Set("SetPointRealSpinEdit", -1, "SetPointButton"), CommandBytes(1, 78, 0xFF));
    EXPECT_EQ(Set("FOffsetRealSpinEdit", -250, "FOffsetButton"), CommandBytes(1, 94, 0xFF06));
    EXPECT_EQ(Set("PRealSpinEdit", 300, "SetPButton"), CommandBytes(1, 62, 44)); // the low byte
}

TEST_F(ServicePanel, PathGainCarriesTheStabilizationCheck) {
    auto* box = panel.findChild<QCheckBox*>(QStringLiteral("StabilizationCheckCheckBox"));
    ASSERT_NE(box, nullptr);
    Edit("PathGainRealSpinEdit")->SetValue(150);
    link.TakeWritten();
    // Ticking sends at once with 2000 added; clearing sends the plain gain.
    box->setChecked(true);
    EXPECT_EQ(link.TakeWritten(), CommandBytes(1, 58, 2150));
    EXPECT_EQ(Set("PathGainRealSpinEdit", 150, "SetPathGainButton"), CommandBytes(1, 58, 2150));
    box->setChecked(false);
    EXPECT_EQ(link.TakeWritten(), CommandBytes(1, 58, 150));
    EXPECT_EQ(Set("PathGainRealSpinEdit", 150, "SetPathGainButton"), CommandBytes(1, 58, 150));
    // Ticking the box again while it is ticked sends nothing more.
    box->setChecked(true);
    link.TakeWritten();
    box->setChecked(true);
    EXPECT_EQ(link.TakeWritten(), QByteArray());
}

TEST_F(ServicePanel, FieldsTakeTheirLimitsDecimalsAndSign) {
    struct {
        const char* edit;
        double min, max;
        int decimals;
        bool minus;
    } fields[] = {
        // Only CFT, p, i, d and Lifetime refuse the minus sign; the others clamp a negative
        // value to their minimum when it is confirmed.
        {"PhaseRealSpinEdit", 0, 360, 0, true},
        {"DelayRealSpinEdit", 0, 100, 0, true},
        {"CFTRealSpinEdit", 0, 0, 1, false},
        {"PRealSpinEdit", 0, 0, 0, false},
        {"DRealSpinEdit", 0, 0, 0, false},
        {"SetPointRealSpinEdit", -200, 200, 0, true},
        {"FOffsetRealSpinEdit", -250, 250, 0, true},
        {"LifetimeRealSpinEdit", 0, 0, 0, false},
        {"OutSignalPeriodRealSpinEdit", 500, 2000, 0, true},
        {"MirrorsUsageRealSpinEdit", 0, 2, 0, true},
    };
    // One decimal for the CFT, none elsewhere.
    Edit("CFTRealSpinEdit")->SetValue(0);
    EXPECT_EQ(Edit("CFTRealSpinEdit")->text(),
              QStringLiteral("0") + TRealSpinEdit::DecimalSeparator() + QStringLiteral("0"));
    for (const auto& f : fields) {
        TRealSpinEdit* e = Edit(f.edit);
        EXPECT_EQ(e->MinValue(), f.min) << f.edit;
        EXPECT_EQ(e->MaxValue(), f.max) << f.edit;
        EXPECT_EQ(e->Precision(), f.decimals) << f.edit;
        EXPECT_EQ(e->Minus(), f.minus) << f.edit;
        e->clear();
        QTest::keyClicks(e, QStringLiteral("-5"));
        EXPECT_EQ(e->text(), f.minus ? QStringLiteral("-5") : QStringLiteral("5")) << f.edit;
        QTest::keyClick(e, Qt::Key_Return);
        EXPECT_EQ(e->Value(), f.min == f.max ? (f.minus ? -5 : 5) : std::max(f.min, -5.0))
            << f.edit;
    }
    // Leaving a limited field pulls the value into its range; a field without limits keeps it.
    Edit("PhaseRealSpinEdit")->setText(QStringLiteral("400"));
    Edit("PhaseRealSpinEdit")->CheckValueRange();
    EXPECT_EQ(Edit("PhaseRealSpinEdit")->Value(), 360);
    Edit("LifetimeRealSpinEdit")->setText(QStringLiteral("123456789"));
    Edit("LifetimeRealSpinEdit")->CheckValueRange();
    EXPECT_EQ(Edit("LifetimeRealSpinEdit")->Value(), 123456789);
}

TEST_F(ServicePanel, ReadAsksForEverySettingInOrder) {
    QTest::mouseClick(Button("ReadParamsButton"), Qt::LeftButton);
    QByteArray expected;
    for (uint8_t code : {53, 55, 57, 59, 61, 63, 65, 67, 69, 77, 83, 85, 87, 89, 91, 93})
        expected += CommandBytes(1, code);
    for (uint8_t code : {205, 208, 210, 203})
        expected += CommandBytes(2, code);
    EXPECT_EQ(link.TakeWritten(), expected);
}

TEST_F(ServicePanel, ReadFirmwareResetsTheVersionLabelsFirst) {
    auto* il = panel.findChild<QLabel*>(QStringLiteral("ReadFirmwareVersionILLabel"));
    auto* dsp = panel.findChild<QLabel*>(QStringLiteral("ReadFirmwareVersionDSPLabel"));
    ASSERT_TRUE(il && dsp);
    EXPECT_EQ(il->text(), "0.0.00");
    EXPECT_EQ(dsp->text(), "0.0.00");
    il->setText(QStringLiteral("IL 1.2.3"));
    dsp->setText(QStringLiteral("4.4.1"));
    QTest::mouseClick(Button("ReadFWButton"), Qt::LeftButton);
    EXPECT_EQ(il->text(), "IL 0.0.00");
    EXPECT_EQ(dsp->text(), "DSP 0.0.00");
    EXPECT_EQ(link.TakeWritten(), CommandBytes(1, 221) + CommandBytes(2, 221));
}

TEST_F(ServicePanel, CFTCaptionsFollowTheOffsetField) {
    auto captions = [&] {
        return QStringList{panel.findChild<QLabel*>(QStringLiteral("CFTTemp10Label"))->text(),
                           panel.findChild<QLabel*>(QStringLiteral("CFTTemp40Label"))->text(),
                           panel.findChild<QLabel*>(QStringLiteral("CFTOffsetLabel"))->text()};
    };
    const QStringList bridge{"CFT temp 10 (bridge)", "CFT temp 30 (bridge)",
                             "CFT offset (15000=0)"};
    const QStringList plain{"CFT temp 10", "CFT temp 40", "CFT offset"};
    // Nobody has confirmed or reported an offset yet: the layout's own captions.
    EXPECT_EQ(captions(), plain);
    TRealSpinEdit* offset = Edit("CFTOffsetRealSpinEdit");
    offset->setText(QStringLiteral("29999"));
    offset->CheckValueRange(); // leaving the field confirms it
    EXPECT_EQ(captions(), bridge);
    offset->setText(QStringLiteral("30000"));
    offset->CheckValueRange(); // leaving the field confirms it
    EXPECT_EQ(captions(), plain);
    offset->setText(QStringLiteral("29999"));
    offset->setFocus();
    QTest::keyClick(offset, Qt::Key_Return);
    EXPECT_EQ(captions(), bridge);
    // A reply writes the field and then switches the captions.
    offset->SetValue(30000);
    panel.SwitchCFTCalibrationMode();
    EXPECT_EQ(captions(), plain);
}

TEST_F(ServicePanel, SetConfirmsInGreenForOneSecond) {
    // Pixels of the caption drawn in the confirmation green.
    auto greenPixels = [](QPushButton* button) {
        const QImage image = button->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.green() > 90 && c.red() < 60 && c.blue() < 60;
            }
        return count;
    };
    const QColor green(0, 0x80, 0);
    const QColor normal = TServiceSetButtonColor::NormalColor();
    // 'Lifetime' is the one Set button whose caption the style paints: green is set, not shown.
    const struct {
        const char* Button;
        bool GreenShown;
    } cases[] = {{"SetPhaseButton", true}, {"SetDelayButton", true}, {"LifetimeButton", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Button);
        QPushButton* button = Button(c.Button);
        Edit(FindServiceRowByButton(c.Button)->SpinEdit)->SetValue(1); // a value read back
        EXPECT_EQ(TServiceSetButtonColor::CaptionColor(button), normal);
        EXPECT_EQ(greenPixels(button), 0);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(TServiceSetButtonColor::CaptionColor(button), green);
        EXPECT_EQ(greenPixels(button) > 0, c.GreenShown);
        // The restore waits one second on a single-shot timer of the button.
        const auto timers =
            button->findChildren<QTimer*>(QLatin1String(TServiceSetButtonColor::TimerName));
        ASSERT_EQ(timers.size(), 1);
        EXPECT_EQ(timers[0]->interval(), 1000);
        EXPECT_TRUE(timers[0]->isSingleShot());
        EXPECT_TRUE(timers[0]->isActive());
    }
    for (const auto& c : cases) {
        QPushButton* button = Button(c.Button);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return TServiceSetButtonColor::CaptionColor(button) == normal; }, 5000))
            << c.Button;
        EXPECT_EQ(greenPixels(button), 0) << c.Button;
    }
}

TEST_F(ServicePanel, OnlyAWrittenFrameIsConfirmedInGreen) {
    // No link, then a write the adapter refuses: no green. Then written: green.
    const std::function<void()> failures[] = {[&] { link.connection.Disconnect(); },
                                              [&] {
                                                  ASSERT_TRUE(link.connection.Connect());
                                                  link.fake.Fail("FT_Write", 1);
                                              }};
    QPushButton* button = Button("SetPhaseButton");
    Edit("PhaseRealSpinEdit")->SetValue(1);
    for (const auto& fail : failures) {
        fail();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(TServiceSetButtonColor::CaptionColor(button),
                  TServiceSetButtonColor::NormalColor());
    }
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(TServiceSetButtonColor::CaptionColor(button), QColor(0, 0x80, 0));
}

TEST(ServiceSetButtonColor, APendingRestoreIsDroppedWithItsButton) {
    TLinkFixture link;
    int ran = 0;
    {
        QPushButton button;
        TServiceSetButtonColor::Confirm(&button, 20);
        TServiceSetButtonColor::Create(20, &button, [&] { ++ran; });
    }
    // The restores were due long ago; nothing ran on the freed button.
    QTest::qWait(100);
    EXPECT_EQ(ran, 0);
    QPushButton alive;
    TServiceSetButtonColor::Create(10, &alive, [&] { ++ran; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran == 1; }, 5000));
}
