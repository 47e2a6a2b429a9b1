// The operator window: a link whose adapter vanished is shown as lost at once and reconnected by
// itself when the same device is listed again; a laser that sends nothing is said so; the link
// and lock events and the live status model are fed from the reports the window receives.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include "laser/LaserUnit.h"
#include "link/ConnectionUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "protocol/CommandSequenceUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/main/LinkEventsViewUnit.h"
#include "ui/main/TuningStatusUnit.h"

#include <QCoreApplication>
#include <QGraphicsColorizeEffect>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

const QString LinkLostPanelText = QStringLiteral("link lost - looking for the device");
const QString LinkLostText = QStringLiteral("link lost");
const QString NoDataText = QStringLiteral("no data from the laser");
const QString NoValue = QStringLiteral("--");
const QString DisconnectedText = QStringLiteral("disconnected");
const QString LinkBackText = QStringLiteral("link back - waiting for status");

void AddEvent(TLinkEventKind kind, const QString& text, int value = 0) {
    if (LinkEvents)
        LinkEvents->Add(kind, text, value);
}

} // namespace

void TMainForm::CreateLinkHealth() {
    RecoveryTimer = new QTimer(this);
    RecoveryTimer->setObjectName(QStringLiteral("RecoveryTimer"));
    RecoveryTimer->setInterval(RecoveryIntervalMs);
    connect(RecoveryTimer, &QTimer::timeout, this, &TMainForm::RecoveryTimerTimer);
    SilenceTimer = new QTimer(this);
    SilenceTimer->setObjectName(QStringLiteral("SilenceTimer"));
    SilenceTimer->setInterval(SilenceCheckMs);
    connect(SilenceTimer, &QTimer::timeout, this, &TMainForm::SilenceTimerTimer);
    FHealthClock.start();

    // The event list is a page of its own beside the charts on the main page.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("LinkEventsTabSheet"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    FLinkEventsView = new TLinkEventsView(LinkEvents, page);
    layout->addWidget(FLinkEventsView);
    ui->ChartsPageControl->addTab(page, QStringLiteral("Events"));
    // The latest event stays in sight on the main page whichever chart page is shown, below the
    // charts and inside the page also when the page tabs show.
    auto* latest = new QLabel(ui->MainTabSheet);
    latest->setObjectName(QStringLiteral("LatestEventLabel"));
    const QRect charts = ui->ChartsPageControl->geometry();
    latest->setGeometry(charts.left() + 212, charts.bottom() + 4, charts.width() - 212, 20);
    latest->setText(TLinkEventsView::LockLossText(0));
    if (LinkEvents)
        connect(LinkEvents, &TLinkEvents::EventAdded, latest, [latest](const TLinkEvent& event) {
            if (!LinkEvents)
                return;
            // The count first; a long event is shown in a shorter form, never cut in a word.
            latest->setText(TLinkEventsView::LatestEventText(
                LinkEvents->LockLossCount(), event, latest->fontMetrics(), latest->width()));
            latest->setToolTip(event.ToLine());
        });
}

void TMainForm::ReleaseLinkHealth() {
    if (RecoveryTimer)
        RecoveryTimer->stop();
    if (SilenceTimer)
        SilenceTimer->stop();
    FLinkLost = false;
    FLinkLostPending = false;
}

void TMainForm::UpdateStatusModel(const std::function<void(TStatusSnapshot&)>& change) {
    if (!StatusModel)
        return;
    TStatusSnapshot snapshot = StatusModel->Snapshot();
    change(snapshot);
    StatusModel->Update(snapshot);
}

// --- connect, disconnect -----------------------------------------------------------------------

void TMainForm::LinkConnected() {
    const bool restored = LinkLost();
    ForgetIodineStatus();
    FLinkLost = false;
    FLinkLostPending = false;
    RecoveryTimer->stop();
    ShowLinkLive();
    FSilenceWatch.Start(FHealthClock.elapsed(), ILFrameReader ? ILFrameReader->FramesChecked() : 0);
    SilenceTimer->start();
    const TDeviceID device = Connection->DeviceID();
    UpdateStatusModel([&](TStatusSnapshot& s) {
        s.Link = TLinkState::_connected;
        s.DeviceDescription = device.fullName();
        s.DeviceKind = device.serialNumber();
        s.IodineLaserRunning = IodineLaserRunning;
    });
    if (restored)
        AddEvent(TLinkEventKind::_link_restored,
                 QStringLiteral("link restored (") + device.fullName() + QLatin1Char(')'));
}

void TMainForm::LinkClosedByOperator() {
    if (Connection->Connected())
        return; // the close was refused: the link is still in use
    // The operator's own Disconnect ends any looking for a lost device.
    ForgetIodineStatus();
    FLinkLost = false;
    FLinkLostPending = false;
    RecoveryTimer->stop();
    SilenceTimer->stop();
    FAwaitingRunning = false;
    // Nothing is live any more: shown as after a lost link.
    ShowNoLiveValues(DisconnectedText, DisconnectedText);
    UpdateStatusModel([](TStatusSnapshot& s) { s.Link = TLinkState::_disconnected; });
}

// --- link lost ---------------------------------------------------------------------------------

void TMainForm::LinkFailed(uint32_t /*failingMs*/) {
    if (FDestroyed || FStoppingReceiveThread || LinkLost() || !ILFrameReader ||
        !ILFrameReader->LinkFailing() || !Connection->Connected())
        return; // already handled, or the report of a thread that has been replaced
    if (UpdatingDeviceId.load() != 0) {
        // A firmware run is never interrupted here: it ends with its own timeout error, then
        // the loss is handled.
        FLinkLostPending = true;
        RecoveryTimer->start();
        return;
    }
    EnterLinkLost();
}

void TMainForm::EnterLinkLost() {
    FLinkLost = true;
    FLinkLostPending = false;
    FLostDevice = Connection->DeviceID();
    SilenceTimer->stop();
    // The usual stop: pending synchronised calls are served while waiting for the thread. Then
    // the stale handle is released; a refused close leaves the connection marked open, and the
    // next open releases the handle all the same.
    TerminateReceiveThread();
    Connection->Disconnect();
    FreeReceiveThread();
    // Reports queued before the thread ended land now, not over the lost-link display.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    ForgetIodineStatus();
    ShowLinkLost();
    UpdateStatusModel([](TStatusSnapshot& s) {
        s.Link = TLinkState::_lost;
        s.LockedPeak = QChar();
        s.LaserHeadState = -1;
        s.LaserHeadText.clear();
    });
    AddEvent(TLinkEventKind::_link_lost,
             QStringLiteral("link lost (") + FLostDevice.fullName() + QLatin1Char(')'));
    RecoveryTimer->start();
}

void TMainForm::ShowLinkLost() {
    ui->StatusLabel->setText(QStringLiteral("Connection error"));
    ShowNoLiveValues(LinkLostPanelText, LinkLostText);
    ui->DisconnectButton->setEnabled(true); // the operator may end the looking
}

void TMainForm::ShowNoLiveValues(const QString& iodineText, const QString& heNeText) {
    BlinkTimer->stop();
    ui->SimpleStatusPanel->setText(iodineText);
    SetPanelColor(ui->SimpleStatusPanel, TuningColors::Grey);
    ui->SimpleStatusHeNePanel->setText(heNeText);
    SetPanelColor(ui->SimpleStatusHeNePanel, TuningColors::Grey);
    ui->StatusHeNeLabel->setText(heNeText);
    // No reading stays on screen as if it were live.
    for (QLabel* value : {ui->CFTValueLabel, ui->LifetimeLabel, ui->FreqDifferenceValueLabel,
                          ui->SignalPWRLabel, ui->LaserHeNeStateValueLabel, ui->PeakLabel})
        value->setText(NoValue);
    for (QWidget* live : LiveWidgets())
        live->setEnabled(false);
    // The mirror bars draw no disabled look of their own: they show no position instead.
    for (TALProgressBar* bar :
         {ui->TuningMirrorALProgressBar, ui->StabilizationMirrorALProgressBar}) {
        if (!bar->property("ShowPosTextWhenLive").isValid())
            bar->setProperty("ShowPosTextWhenLive", bar->ShowPosText());
        bar->SetShowPosText(false);
        bar->SetPosition(0);
    }
    // The charts keep their last traces, greyed.
    for (QWidget* chart : ChartSheets()) {
        if (chart->graphicsEffect())
            continue;
        auto* grey = new QGraphicsColorizeEffect(chart);
        grey->setColor(QColor(0xA0, 0xA0, 0xA4));
        grey->setStrength(1.0);
        chart->setGraphicsEffect(grey);
    }
    ui->StartButton->setEnabled(false);
    ui->LockButton->hide();
}

std::vector<QWidget*> TMainForm::LiveWidgets() const {
    return {ui->CFTGroupBox,
            ui->LifetimeGroupBox,
            ui->FreqInfoGroupBox,
            ui->PeakGroupBox,
            ui->FreqDifference1GroupBox,
            ui->FreqDifference2GroupBox,
            ui->TuningMirrorALProgressBar,
            ui->StabilizationMirrorALProgressBar,
            ui->PeakListBox,
            ui->SimplePeakGroupBox,
            ui->LaserHeNeStateValueLabel};
}

std::vector<QWidget*> TMainForm::ChartSheets() const {
    return {ui->IodineTabSheet, ui->LaserHeNeTabSheet, ui->FreqDiffTabSheet};
}

void TMainForm::ShowLinkLive() {
    for (QWidget* live : LiveWidgets())
        live->setEnabled(true);
    for (QWidget* chart : ChartSheets())
        chart->setGraphicsEffect(nullptr);
    for (TALProgressBar* bar :
         {ui->TuningMirrorALProgressBar, ui->StabilizationMirrorALProgressBar}) {
        const QVariant showText = bar->property("ShowPosTextWhenLive");
        if (showText.isValid()) {
            bar->SetShowPosText(showText.toBool());
            bar->setProperty("ShowPosTextWhenLive", QVariant());
        }
    }
    // The panels wait for the next reports.
    for (QLabel* panel : {ui->SimpleStatusPanel, ui->SimpleStatusHeNePanel}) {
        if (panel->text() == LinkLostPanelText || panel->text() == LinkLostText ||
            panel->text() == NoDataText || panel->text() == DisconnectedText) {
            panel->clear();
            SetPanelColor(panel, ButtonFaceColor());
        }
    }
    if (ui->StatusHeNeLabel->text() == LinkLostText ||
        ui->StatusHeNeLabel->text() == DisconnectedText)
        ui->StatusHeNeLabel->clear();
}

// --- looking for the lost device ---------------------------------------------------------------

void TMainForm::RecoveryTimerTimer() {
    if (FDestroyed)
        return;
    if (UpdatingDeviceId.load() != 0)
        return; // never during a firmware run
    if (FLinkLostPending) {
        EnterLinkLost();
        return;
    }
    if (!FLinkLost) {
        RecoveryTimer->stop();
        return;
    }
    QStringList names;
    Connection->GetAvailableDevices(names);
    const auto device = FindLostDevice(Connection->DevicesList(), FLostDevice);
    if (!device)
        return; // not back, back twice, or back as another kind: keep looking, or let the
                // operator choose
    ReconnectLostDevice(*device);
}

void TMainForm::ReconnectLostDevice(const TDeviceID& device) {
    ui->DeviceListListBox->clear();
    ui->DeviceListListBox->addItem(device.fullName());
    ui->DeviceListListBox->setCurrentRow(0);
    CRCErrorCounter = 0;
    StopReceiveThread(); // none reads the handle Connect may close
    if (!Connection->Connect(device))
        return; // listed but not open yet: the next look tries again
    // The connect sequence of the operator's Connect, without any tuning command: a laser that
    // stayed locked while the cable was out stays locked.
    ui->StatusLabel->setText(QStringLiteral("Connected"));
    const bool wasRunning = IodineLaserRunning;
    StartReceiveThread();
    SendConnectRequests();
    ui->ConnectButton->setEnabled(false);
    ui->DisconnectButton->setEnabled(true);
    ResetTuningControls();
    ui->ScopeScaleComboBox->setEnabled(true);
    AdaptToDeviceKind();
    ui->ChartsPageControl->setCurrentWidget(ui->IodineTabSheet);
    LinkConnected();
    // The laser ran before the link was lost: until a frequency report says whether it still
    // does, the simple page says that the link is back and the status is awaited.
    FAwaitingRunning = wasRunning && !IodineLaserRunning;
    ui->SimpleStatusPanel->setText(LinkBackText);
    SetPanelColor(ui->SimpleStatusPanel, ButtonFaceColor());
}

void TMainForm::IodineLaserRunningKnown(bool wasRunning) {
    const bool awaited = FAwaitingRunning;
    FAwaitingRunning = false;
    // The latest status is shown again as soon as it is known whether the laser runs: the
    // buttons follow it without waiting for the next change of status.
    if ((awaited || wasRunning != IodineLaserRunning) && FIodineStatus >= 0)
        ShowTuningStatus(static_cast<uint16_t>(FIodineStatus));
    else if (awaited && ui->SimpleStatusPanel->text() == LinkBackText)
        ui->SimpleStatusPanel->setText(IodineLaserRunning ? QString()
                                                          : QStringLiteral("laser is off - wait"));
}

// --- a silent laser ----------------------------------------------------------------------------

void TMainForm::SilenceTimerTimer() {
    if (FDestroyed || !ILFrameReader || LinkLost())
        return;
    const int64_t now = FHealthClock.elapsed();
    if (UpdatingDeviceId.load() != 0) {
        // A board in its boot loader streams nothing: not a silent laser.
        FSilenceWatch.Start(now, ILFrameReader->FramesChecked());
        return;
    }
    switch (FSilenceWatch.Tick(now, ILFrameReader->FramesChecked())) {
    case TSilenceWatch::_silent:
        ui->StatusLabel->setText(NoDataText);
        BlinkTimer->stop();
        ui->SimpleStatusPanel->setText(NoDataText);
        SetPanelColor(ui->SimpleStatusPanel, TuningColors::Grey);
        UpdateStatusModel([](TStatusSnapshot& s) { s.Link = TLinkState::_silent; });
        AddEvent(TLinkEventKind::_data_silent, QStringLiteral("no data from the laser"));
        break;
    case TSilenceWatch::_back:
        if (ui->StatusLabel->text() == NoDataText)
            ui->StatusLabel->setText(StatusModel ? StatusModel->Snapshot().TuningText
                                                 : QStringLiteral("Connected"));
        if (ui->SimpleStatusPanel->text() == NoDataText) {
            ui->SimpleStatusPanel->clear();
            SetPanelColor(ui->SimpleStatusPanel, ButtonFaceColor());
        }
        UpdateStatusModel([](TStatusSnapshot& s) { s.Link = TLinkState::_connected; });
        AddEvent(TLinkEventKind::_data_back, QStringLiteral("data back"));
        break;
    case TSilenceWatch::_none:
        break;
    }
}

// --- the status model --------------------------------------------------------------------------

void TMainForm::FeedTuningStatus(uint16_t state, const QString& text) {
    // The model first: an event's row in a recording carries the state after the event.
    const QChar locked = state == 3 ? FIodineLockedPeak : QChar();
    UpdateStatusModel([&](TStatusSnapshot& s) {
        s.TuningStatus = state;
        s.TuningText = text;
        s.LockedPeak = locked;
        s.IodineLaserRunning = IodineLaserRunning;
    });
    if (LinkEvents)
        LinkEvents->TuningStatus(state, text, IodineLaserRunning, locked);
}

void TMainForm::OperatorAction(const QString& text, bool commandsLaser) {
    if (LinkEvents)
        LinkEvents->OperatorAction(text, commandsLaser);
}

void TMainForm::FeedLabelCaption(TLabelTarget target, const QString& caption) {
    if (target != TLabelTarget::CFTValue)
        return;
    bool ok = false;
    const double cft = QLocale().toDouble(caption, &ok);
    if (ok)
        UpdateStatusModel([&](TStatusSnapshot& s) { s.CFT = cft; });
}

void TMainForm::LaserHeadStateShown(TLaserState state, const QString& text) {
    if (LinkLost())
        return;
    const int code = static_cast<int>(state);
    UpdateStatusModel([&](TStatusSnapshot& s) {
        s.LaserHeadState = code;
        s.LaserHeadText = text;
    });
    // A change of the head's state is an event; the same state seen again after a lost link
    // is not.
    if (code == FLaserHeadState)
        return;
    FLaserHeadState = code;
    AddEvent(TLinkEventKind::_laser_head_state, QStringLiteral("laser head: ") + text, code);
}
