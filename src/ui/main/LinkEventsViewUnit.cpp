#include "ui/main/LinkEventsViewUnit.h"

#include "app/LogUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "ui/main/SaveDialogUnit.h"

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
