// The tuning-status presentation, row by row, with the lock display and the blink colours.
#include "ui/main/TuningStatusUnit.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct TuningStatus : ::testing::Test {
    TPeakList peaks;
    const QLocale english{QLocale::English, QLocale::UnitedStates};
    void SetUp() override { peaks.CreatePeakList(); }
    TTuningStatusView Show(uint32_t code, const QString& peakId = QString(), bool running = true,
                           int first = 6, int second = 10) {
        return TuningStatusView(code, running, peakId, first, second, peaks, english);
    }
};

struct TRow {
    uint32_t code;
    const char* status;
    const char* panel;
    std::optional<QColor> color;
    TBlinkChange blink;
    std::optional<bool> buttonsEnabled;
};

const QString WaitForDevice = QStringLiteral("wait for device");

} // namespace

TEST_F(TuningStatus, EveryCodeWhileTheIodineLaserRuns) {
    using namespace TuningColors;
    const auto On = TBlinkChange::On;
    const auto Off = TBlinkChange::Off;
    const TRow rows[] = {
        {0, "wait for user", "wait for user", Blue, Off, true},
        {1, "tuning - start", "wait for device", std::nullopt, On, true},
        {2, "tuning - lock try", "wait for device", std::nullopt, On, true},
        {3, "tuning - locked", "tuning - locked", Green, Off, std::nullopt},
        {4, "unlocked", "wait for device", std::nullopt, On, true},
        {5, "tuning - stop", "wait for device", std::nullopt, On, true},
        {6, "learning", "wait for device", std::nullopt, On, true},
        {7, "tuning - prepare", "wait for device", std::nullopt, On, true},
        {8, "learning", "wait for device", std::nullopt, On, true},
        {9, "", "wait for device", std::nullopt, On, true},
        {10, "tuning - error", "tuning - error", Red, Off, std::nullopt},
        {11, "tuning - wait", "wait for device", std::nullopt, On, true},
        {12, "tuning - phase", "wait for device", std::nullopt, On, true},
        {13, "tuning - wait", "wait for device", std::nullopt, On, true},
        {14, "not ready", "not ready", LightRed, Off, false},
        {15, "", "wait for device", std::nullopt, On, true},
        {65535, "", "wait for device", std::nullopt, On, true},
    };
    for (const TRow& row : rows) {
        const TTuningStatusView view = Show(row.code);
        SCOPED_TRACE(row.code);
        EXPECT_EQ(view.StatusText, QString::fromLatin1(row.status));
        EXPECT_EQ(view.PanelText, QString::fromLatin1(row.panel));
        EXPECT_EQ(view.PanelColor, row.color);
        EXPECT_EQ(view.Blink, row.blink);
        EXPECT_EQ(view.ButtonsEnabled, row.buttonsEnabled);
        EXPECT_FALSE(view.LockedPeakNumber.has_value());
    }
}

TEST_F(TuningStatus, WaitingForTheOperatorReleasesBothButtons) {
    const TTuningStatusView view = Show(0);
    EXPECT_EQ(view.FirstButtonDown, false);
    EXPECT_EQ(view.SecondButtonDown, false);
    EXPECT_FALSE(Show(1).FirstButtonDown.has_value());
    EXPECT_FALSE(Show(14).SecondButtonDown.has_value());
}

TEST_F(TuningStatus, UntilTheLaserRunsEveryReportShowsGreyWithTheButtonsDisabled) {
    for (uint32_t code : {0u, 1u, 3u, 10u, 14u, 20u}) {
        const TTuningStatusView view = Show(code, QString(), false);
        SCOPED_TRACE(code);
        EXPECT_EQ(view.StatusText, TuningStatusText(code));
        EXPECT_EQ(view.PanelText, QStringLiteral("laser is off - wait"));
        EXPECT_EQ(view.PanelColor, TuningColors::Grey);
        EXPECT_EQ(view.ButtonsEnabled, false);
        EXPECT_EQ(view.Blink, TBlinkChange::Unchanged);
    }
}

TEST_F(TuningStatus, LockAtFShowsItsFrequencyAndPressesItsButton) {
    const TTuningStatusView view = Show(3, QStringLiteral("6"));
    EXPECT_EQ(view.StatusText, QStringLiteral("tuning - locked"));
    EXPECT_EQ(view.PanelText, QStringLiteral("locked at peak f -> 473612353.597 MHz"));
    EXPECT_EQ(view.FirstButtonDown, true);
    EXPECT_EQ(view.SecondButtonDown, false);
    EXPECT_EQ(view.LockedPeakNumber, 6);
    EXPECT_EQ(view.PanelColor, TuningColors::Green);
}

TEST_F(TuningStatus, LockAtJFollowsTheFOffset) {
    peaks.ChangePeakOffset(1000);
    const TTuningStatusView view = Show(3, QStringLiteral("10"));
    EXPECT_EQ(view.PanelText, QStringLiteral("locked at peak j -> 473612194.136 MHz"));
    EXPECT_EQ(view.FirstButtonDown, false);
    EXPECT_EQ(view.SecondButtonDown, true);
    EXPECT_EQ(view.LockedPeakNumber, 10);
}

TEST_F(TuningStatus, LockAtAnotherPeakNamesItWithoutFrequency) {
    const TTuningStatusView view = Show(3, QStringLiteral("14"));
    EXPECT_EQ(view.PanelText, QStringLiteral("locked at peak n"));
    EXPECT_EQ(view.FirstButtonDown, false);
    EXPECT_EQ(view.SecondButtonDown, false);
    EXPECT_EQ(view.LockedPeakNumber, 14);
}

TEST_F(TuningStatus, LockPressesTheButtonThatOffersTheLockedPeak) {
    // Short range: the first button offers c, the second f.
    const TTuningStatusView atF = Show(3, QStringLiteral("6"), true, 3, 6);
    EXPECT_EQ(atF.FirstButtonDown, false);
    EXPECT_EQ(atF.SecondButtonDown, true);
    const TTuningStatusView atC = Show(3, QStringLiteral("3"), true, 3, 6);
    EXPECT_EQ(atC.PanelText, QStringLiteral("locked at peak c"));
    EXPECT_EQ(atC.FirstButtonDown, true);
    EXPECT_EQ(atC.SecondButtonDown, false);
}

TEST_F(TuningStatus, LockWithoutAPeakNumberChangesNothingElse) {
    for (const QString& text : {QString(), QStringLiteral("x"), QStringLiteral("1.5")}) {
        const TTuningStatusView view = Show(3, text);
        EXPECT_EQ(view.PanelText, QStringLiteral("tuning - locked"));
        EXPECT_FALSE(view.LockedPeakNumber.has_value());
        EXPECT_FALSE(view.FirstButtonDown.has_value());
        EXPECT_FALSE(view.SecondButtonDown.has_value());
    }
}

TEST_F(TuningStatus, LockWhileTheLaserIsOffStillMarksThePeak) {
    const TTuningStatusView view = Show(3, QStringLiteral("6"), false);
    EXPECT_EQ(view.PanelText, QStringLiteral("laser is off - wait"));
    EXPECT_EQ(view.LockedPeakNumber, 6);
    EXPECT_EQ(view.FirstButtonDown, true);
    EXPECT_EQ(view.ButtonsEnabled, false);
}

TEST_F(TuningStatus, LockedFrequencyUsesTheLocalesSeparator) {
    const TTuningStatusView view = TuningStatusView(3, true, QStringLiteral("6"), 6, 10, peaks,
                                                    QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(view.PanelText, QStringLiteral("locked at peak f -> 473612353,597 MHz"));
}

TEST(BlinkColors, YellowAlternatesWithTheButtonFace) {
    const QColor face(0xEF, 0xEF, 0xEF);
    EXPECT_EQ(BlinkColor(TuningColors::Yellow, face), face);
    EXPECT_EQ(BlinkColor(face, face), TuningColors::Yellow);
    EXPECT_EQ(BlinkColor(TuningColors::Blue, face), TuningColors::Yellow);
}

TEST(BlinkColors, PanelTextStaysReadable) {
    EXPECT_EQ(PanelTextColor(TuningColors::Blue), QColor(Qt::white));
    EXPECT_EQ(PanelTextColor(TuningColors::Green), QColor(Qt::white));
    EXPECT_EQ(PanelTextColor(TuningColors::Yellow), QColor(Qt::black));
    EXPECT_EQ(PanelTextColor(TuningColors::LightRed), QColor(Qt::black));
}
