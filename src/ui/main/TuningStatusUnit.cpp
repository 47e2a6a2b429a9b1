#include "ui/main/TuningStatusUnit.h"

#include <iterator>

QString TuningStatusText(uint32_t code) {
    static const char* const Texts[] = {
        "wait for user",     // 0
        "tuning - start",    // 1
        "tuning - lock try", // 2
        "tuning - locked",   // 3
        "unlocked",          // 4
        "tuning - stop",     // 5
        "learning",          // 6
        "tuning - prepare",  // 7
        "learning",          // 8
        "",                  // 9
        "tuning - error",    // 10
        "tuning - wait",     // 11
        "tuning - phase",    // 12
        "tuning - wait",     // 13
        "not ready",         // 14
    };
    if (code < std::size(Texts))
        return QString::fromLatin1(Texts[code]);
    return QString();
}

namespace {

// The peak number in the hidden peak label, when it holds one that names a character.
std::optional<int> PeakNumberOf(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n + 96 < 0 || n + 96 > 0xFFFF)
        return std::nullopt;
    return n;
}

} // namespace

TTuningStatusView TuningStatusView(uint32_t code, bool iodineLaserRunning,
                                   const QString& peakIdText, int firstButtonPeak,
                                   int secondButtonPeak, const TPeakList& peaks,
                                   const QLocale& locale) {
    TTuningStatusView view;
    view.StatusText = TuningStatusText(code);
    QString text = view.StatusText;

    if (code == 3) {
        if (const std::optional<int> n = PeakNumberOf(peakIdText)) {
            const QChar letter(static_cast<char16_t>(*n + 96));
            text = QStringLiteral("locked at peak ") + letter;
            if (letter == QLatin1Char('f') && peaks.Count() > PeakIndexF)
                text += QStringLiteral(" -> ") + FixedText(peaks[PeakIndexF].Value, 3, locale) +
                        FrequencyUnitSuffix;
            else if (letter == QLatin1Char('j') && peaks.Count() > PeakIndexJ)
                text += QStringLiteral(" -> ") + FixedText(peaks[PeakIndexJ].Value, 3, locale) +
                        FrequencyUnitSuffix;
            view.FirstButtonDown = firstButtonPeak != -1 && firstButtonPeak == *n;
            view.SecondButtonDown =
                !*view.FirstButtonDown && secondButtonPeak != -1 && secondButtonPeak == *n;
            view.LockedPeakNumber = *n;
        }
    }
    view.PanelText = text;

    if (!iodineLaserRunning) {
        view.ButtonsEnabled = false;
        view.PanelColor = TuningColors::Grey;
        view.PanelText = QStringLiteral("laser is off - wait");
        return view;
    }

    switch (code) {
    case 0:
        view.Blink = TBlinkChange::Off;
        view.ButtonsEnabled = true;
        view.FirstButtonDown = false;
        view.SecondButtonDown = false;
        view.PanelColor = TuningColors::Blue;
        break;
    case 3:
        view.Blink = TBlinkChange::Off;
        view.PanelColor = TuningColors::Green;
        break;
    case 10:
        view.Blink = TBlinkChange::Off;
        view.PanelColor = TuningColors::Red;
        break;
    case 14:
        view.Blink = TBlinkChange::Off;
        view.ButtonsEnabled = false;
        view.PanelColor = TuningColors::LightRed;
        break;
    default: // 1, 2, 4 to 9, 11 to 13 and every code above 14: the controller is busy
        view.Blink = TBlinkChange::On;
        view.ButtonsEnabled = true;
        view.PanelText = QStringLiteral("wait for device");
        break;
    }
    return view;
}

QColor BlinkColor(const QColor& current, const QColor& buttonFace) {
    return current == TuningColors::Yellow ? buttonFace : TuningColors::Yellow;
}

QColor PanelTextColor(const QColor& background) {
    // Perceived brightness (ITU-R BT.601 weights).
    const int luma =
        (299 * background.red() + 587 * background.green() + 114 * background.blue()) / 1000;
    return luma < 140 ? QColor(Qt::white) : QColor(Qt::black);
}
