#pragma once
// Finds the controls of a window or page that do not lie fully inside what their parents let
// show: a control that runs past its page, its group or the window is cut off on screen.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStringList>
#include <QWidget>

// The visible controls of top (buttons, labels, fields, lists, groups, bars, charts) whose
// rectangle is not inside the intersection of all their parents' rectangles up to top, each
// as "name [x,y w x h] outside [x,y w x h]" in top's coordinates.
inline QStringList ControlsOutside(QWidget* top) {
    QStringList outside;
    const auto isControl = [](const QWidget* w) {
        return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w) ||
               qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
               qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QGroupBox*>(w) ||
               qobject_cast<const QProgressBar*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
               w->inherits("TALProgressBar") || w->inherits("QCustomPlot") ||
               w->inherits("TRealSpinEdit");
    };
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(top) || !isControl(w))
            continue;
        // Parts of a control that scrolls its content (list rows, scroll bars) are its own.
        bool inScrolledContent = false;
        QRect clip = top->rect();
        for (QWidget* p = w->parentWidget(); p && p != top; p = p->parentWidget()) {
            if (p->isWindow()) {
                inScrolledContent = true; // a popup of its own
                break;
            }
            if (qobject_cast<QAbstractScrollArea*>(p) || qobject_cast<QComboBox*>(p)) {
                inScrolledContent = true;
                break;
            }
            clip &= QRect(p->mapTo(top, QPoint(0, 0)), p->size());
        }
        if (inScrolledContent)
            continue;
        const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
        if (!clip.contains(r)) {
            const auto text = [](const QRect& q) {
                return QStringLiteral("[%1,%2 %3x%4]")
                    .arg(q.x())
                    .arg(q.y())
                    .arg(q.width())
                    .arg(q.height());
            };
            outside << QStringLiteral("%1 %2 outside %3")
                           .arg(w->objectName().isEmpty()
                                    ? QString::fromLatin1(w->metaObject()->className())
                                    : w->objectName(),
                                text(r), text(clip));
        }
    }
    return outside;
}
