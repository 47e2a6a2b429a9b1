#pragma once
// The service unlock: an eight-key sequence typed anywhere in the main window, and the
// one-second green confirmation of the service panel's 'Set' buttons.

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QColor;

// Counts the keys of the sequence "47150236" typed in order.
class TServicePassword {
public:
    static constexpr const char* Sequence = "47150236";
    static constexpr int SequenceLength = 8;

    TServicePassword() = default;

    // One typed key. A key that is not the next one of the sequence restarts the count and is
    // not itself taken as a first key. True when this key completes the sequence (the count
    // then starts again).
    bool IsPasswordOK(QChar Key);

    int FCharIndex = 0; // keys of the sequence matched so far
};

// Turns a 'Set' button's caption green and, one second later, back to the normal text colour.
//
// The restore is a single-shot timer on the GUI thread bound to the button: when the button (or
// its window) is freed before the second is over, the pending restore is dropped with it and
// never touches a freed widget. Each click starts its own restore; several may be pending.
class TServiceSetButtonColor {
public:
    static constexpr int DefaultTimeInMsec = 1000;
    // The object name of a pending restore's timer (a child of its button).
    static constexpr const char* TimerName = "ServiceSetButtonColorTimer";

    // Runs func after timeInMsec on the GUI thread, unless context is freed first.
    static void Create(unsigned timeInMsec, QObject* context, std::function<void()> func);

    // Green caption now, normal caption after timeInMsec.
    static void Confirm(QAbstractButton* button, unsigned timeInMsec = DefaultTimeInMsec);
    static void SetCaptionColor(QAbstractButton* button, const QColor& color);
    static QColor CaptionColor(const QAbstractButton* button);
    static QColor ConfirmColor(); // RGB 00 80 00
    static QColor NormalColor();  // the system's window-text colour
};
