#pragma once
// What a tuning status report of the controller shows: the status texts, the colour of the
// simple page's status panel, the blink timer, the two simple-page buttons and the locked peak.
// Pure presentation: the window applies the result to its controls.

#include "ui/main/PeakTableUnit.h"

#include <QColor>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace TuningColors {
inline const QColor Yellow{0xFF, 0xFF, 0x00};   // blinking phase
inline const QColor Blue{0x00, 0x00, 0xFF};     // waiting for the operator
inline const QColor Green{0x00, 0x80, 0x00};    // locked
inline const QColor Red{0xFF, 0x00, 0x00};      // tuning error
inline const QColor LightRed{0xF3, 0x69, 0x71}; // not ready
inline const QColor Grey{0xA0, 0xA0, 0xA4};     // the iodine laser is off
} // namespace TuningColors

enum class TBlinkChange { Unchanged, On, Off };

struct TTuningStatusView {
    QString StatusText;               // StatusLabel
    QString PanelText;                // SimpleStatusPanel
    std::optional<QColor> PanelColor; // none: the panel keeps its colour (or blinks)
    TBlinkChange Blink = TBlinkChange::Unchanged;
    std::optional<bool> ButtonsEnabled;   // both simple buttons
    std::optional<bool> FirstButtonDown;  // SimpleFPeakPngSpeedButton
    std::optional<bool> SecondButtonDown; // SimpleJPeakPngSpeedButton
    std::optional<int> LockedPeakNumber;  // lock report: the peak number n (1 = a)
};

// The status text of a state code (empty above 14 and for 9).
QString TuningStatusText(uint32_t code);

// The presentation of status code for the current window state:
//   iodineLaserRunning   whether the iodine laser is known to run
//   peakIdText           the last peak number the controller reported (PeakIdLabel)
//   firstButtonPeak, secondButtonPeak  the peak numbers the simple buttons offer (-1 = none)
// On a lock report the button offering the locked peak goes down and the other one up.
TTuningStatusView TuningStatusView(uint32_t code, bool iodineLaserRunning,
                                   const QString& peakIdText, int firstButtonPeak,
                                   int secondButtonPeak, const TPeakList& peaks,
                                   const QLocale& locale);

// The next colour of a blinking panel: yellow alternates with the button face.
QColor BlinkColor(const QColor& current, const QColor& buttonFace);

// A readable text colour on a panel of the given background.
QColor PanelTextColor(const QColor& background);

// Unit written after a locked frequency.
inline const QString FrequencyUnitSuffix = QStringLiteral(" MHz");
