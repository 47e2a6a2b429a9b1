#include "ui/main/ServicePasswordUnit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPalette>
#include <QTimer>

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

// --- TServiceSetButtonColor ---------------------------------------------------------------------

void TServiceSetButtonColor::Create(unsigned timeInMsec, QObject* context,
                                    std::function<void()> func) {
    if (!context || !func)
        return;
    // A named child timer of the context: it dies with the context, and its interval is the
    // delay that is actually waited.
    auto* timer = new QTimer(context);
    timer->setObjectName(QLatin1String(TimerName));
    timer->setSingleShot(true);
    timer->setInterval(static_cast<int>(timeInMsec));
    QObject::connect(timer, &QTimer::timeout, context, [timer, func = std::move(func)] {
        func();
        timer->deleteLater();
    });
    timer->start();
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
