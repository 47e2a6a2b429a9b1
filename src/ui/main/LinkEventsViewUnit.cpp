#include "ui/main/LinkEventsViewUnit.h"

#include "app/LogUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "ui/main/SaveDialogUnit.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TLinkEventsView::TLinkEventsView(TLinkEvents* events, QWidget* parent)
    : QWidget(parent), FEvents(events) {
    setObjectName(QStringLiteral("LinkEventsView"));
    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("LinkEventsListBox"));
    FList->setUniformItemSizes(true);
    FLockLosses = new QLabel(this);
    FLockLosses->setObjectName(QStringLiteral("LockLossCountLabel"));
    FSaveResult = new QLabel(this);
    FSaveResult->setObjectName(QStringLiteral("SaveEventsResultLabel"));
    FSave = new QPushButton(QStringLiteral("Save"), this);
    FSave->setObjectName(QStringLiteral("SaveEventsButton"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(FLockLosses);
    bottom->addStretch(1);
    bottom->addWidget(FSaveResult);
    bottom->addWidget(FSave);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FList, 1);
    layout->addLayout(bottom);

    connect(FSave, &QPushButton::clicked, this, &TLinkEventsView::SaveEventsButtonClick);
    FLockLosses->setText(LockLossText(0));
    if (FEvents) {
        // Newest first, as they arrived before the view existed too.
        for (const TLinkEvent& event : FEvents->Events())
            EventAdded(event);
        connect(FEvents, &TLinkEvents::EventAdded, this, &TLinkEventsView::EventAdded);
    }
}

QString TLinkEventsView::LockLossText(int count) {
    return QStringLiteral("Lock losses since start: ") + QString::number(count);
}

QString TLinkEventsView::LatestEventText(int lockLosses, const TLinkEvent& event,
                                         const QFontMetrics& metrics, int width) {
    const QString lead = LockLossText(lockLosses) + QStringLiteral("   Latest: ") +
                         event.Time.toUTC().toString(QStringLiteral("HH:mm:ss")) +
                         QStringLiteral(" UTC ");
    auto fits = [&](const QString& text) { return metrics.horizontalAdvance(text) <= width; };
    QString text = event.Text;
    if (fits(lead + text))
        return lead + text;
    // The detail in parentheses at the end goes first ("link lost (QRX-7A ...)").
    if (text.endsWith(QLatin1Char(')'))) {
        const qsizetype open = text.lastIndexOf(QStringLiteral(" ("));
        if (open > 0)
            text = text.left(open);
        if (fits(lead + text))
            return lead + text;
    }
    // Then whole words from the end.
    QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString more = QString(QChar(0x2026));
    while (words.size() > 1) {
        words.removeLast();
        const QString shorter = lead + words.join(QLatin1Char(' ')) + more;
        if (fits(shorter))
            return shorter;
    }
    return lead + (words.isEmpty() ? QString() : words.first()) + more;
}

void TLinkEventsView::EventAdded(const TLinkEvent& event) {
    FList->insertItem(0, event.ToLine());
    while (FList->count() > ShownEvents)
        delete FList->takeItem(FList->count() - 1);
    if (FEvents)
        FLockLosses->setText(LockLossText(FEvents->LockLossCount()));
}

void TLinkEventsView::SaveEventsButtonClick() {
    if (!FEvents)
        return;
    const QString fileName = ShowSaveDialog(
        this, TSaveDialogRequest{QStringLiteral("Event list (*.txt)"), QStringLiteral("txt"),
                                 QStringLiteral("events.txt")});
    if (fileName.isEmpty())
        return; // cancelled
    QString error;
    if (FEvents->SaveToFile(fileName, &error))
        FSaveResult->setText(QStringLiteral("Saved"));
    else
        FSaveResult->setText(QStringLiteral("Not saved: ") + error);
}
