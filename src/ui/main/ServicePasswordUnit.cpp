#include "ui/main/ServicePasswordUnit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QTimer>
#include <QWidget>
#include <QWindow>

// --- TServicePassword ---------------------------------------------------------------------------

bool TServicePassword::IsPasswordOK(QChar Key) {
    ++FCharIndex;
    if (Key != QLatin1Char(Sequence[FCharIndex - 1]))
        FCharIndex = 0;
    if (FCharIndex == SequenceLength) {
        FCharIndex = 0;
        return true;
    }
    return false;
}

// --- TWindowKeyPreview --------------------------------------------------------------------------

TWindowKeyPreview::TWindowKeyPreview(QWidget* window, std::function<void(QChar)> handler)
    : QObject(window), FWindow(window), FHandler(std::move(handler)) {
    window->installEventFilter(this);
    WatchNativeWindow();
}

TWindowKeyPreview::~TWindowKeyPreview() {
    if (FNativeWindow)
        FNativeWindow->removeEventFilter(this);
}

void TWindowKeyPreview::WatchNativeWindow() {
    QWindow* native = FWindow ? FWindow->windowHandle() : nullptr;
    if (native == FNativeWindow.data())
        return;
    if (FNativeWindow)
        FNativeWindow->removeEventFilter(this);
    FNativeWindow = native;
    if (native)
        native->installEventFilter(this);
}

bool TWindowKeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FWindow.data()) {
        // The native window exists from the first show on and may be replaced.
        if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange)
            WatchNativeWindow();
    } else if (watched == FNativeWindow.data() && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty() && FHandler)
            FHandler(text.at(0));
    }
    return QObject::eventFilter(watched, event); // never consumed
}

// --- TServiceSetButtonColor ---------------------------------------------------------------------

void TServiceSetButtonColor::Create(unsigned timeInMsec, QObject* context,
                                    std::function<void()> func) {
    if (!context || !func)
        return;
    QTimer::singleShot(static_cast<int>(timeInMsec), context, std::move(func));
}

void TServiceSetButtonColor::Confirm(QAbstractButton* button, unsigned timeInMsec) {
    if (!button)
        return;
    SetCaptionColor(button, ConfirmColor());
    Create(timeInMsec, button, [button] { SetCaptionColor(button, NormalColor()); });
}

void TServiceSetButtonColor::SetCaptionColor(QAbstractButton* button, const QColor& color) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    button->setPalette(palette);
}

QColor TServiceSetButtonColor::CaptionColor(const QAbstractButton* button) {
    return button->palette().color(QPalette::ButtonText);
}

QColor TServiceSetButtonColor::ConfirmColor() {
    return QColor(0x00, 0x80, 0x00);
}

QColor TServiceSetButtonColor::NormalColor() {
    return QApplication::palette().color(QPalette::WindowText);
}
