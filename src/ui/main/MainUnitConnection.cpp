// The operator window: device search, connect and disconnect, the connection watchdog, the
// receive thread's life and the adaptation to the device kind.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include "ui/stability/StabilityViewUnit.h"

#include "link/ConnectionUnit.h"
#include "protocol/CommandSequenceUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "ui/main/DeviceKindUnit.h"
#include "ui/main/TuningCommandsUnit.h"
#include "ui/main/TuningStatusUnit.h"

#include <QThread>
#include <QTimer>

#include <initializer_list>

void TMainForm::SearchUrzadzenButtonClick() {
    static const QString Searching = QStringLiteral("Searching...");
    if (ui->StatusLabel->text() == Searching)
        return; // a search is under way
    ui->StatusLabel->setText(Searching);
    QStringList devices;
    Connection->GetAvailableDevices(devices);
    ui->DeviceListListBox->clear();
    ui->DeviceListListBox->addItems(devices);
    if (!devices.isEmpty()) {
        ui->DeviceListListBox->setCurrentRow(0);
        ui->ConnectButton->setEnabled(true);
    } else {
        ui->ConnectButton->setEnabled(false);
    }
    ui->StatusLabel->setText(QStringLiteral("Search completed"));
}

void TMainForm::ConnectButtonClick() {
    if (UpdatingDeviceId.load() != 0)
        return; // a board is being programmed through the open link
    CRCErrorCounter = 0;
    const QListWidgetItem* selected = ui->DeviceListListBox->currentItem();
    if (!selected) {
        ui->StatusLabel->setText(QStringLiteral("Select device"));
        return;
    }
    // Another device is open: it is closed first, so that the kind the window and the command
    // sender go by is always the open device's. The open device listed with other notes is
    // still the same device.
    const TDeviceID* chosen = nullptr;
    for (const TDeviceID& device : Connection->DevicesList())
        if (device.fullName() == selected->text())
            chosen = &device;
    const bool sameDevice = chosen ? chosen->SameDevice(Connection->DeviceID())
                                   : Connection->DeviceID().fullName() == selected->text();
    if (Connection->Connected() && !sameDevice && !CloseLink()) {
        ui->StatusLabel->setText(QStringLiteral("Connection error"));
        return;
    }
    Connection->SetDeviceID(selected->text());
    ui->ConnectButton->setEnabled(false);
    // Connect may close the open handle and open it again: the receive thread reading it
    // stops first (a new one starts on the link that answers).
    StopReceiveThread();
    if (!Connection->Connect()) {
        ui->ConnectButton->setEnabled(true);
        ui->StartButton->setEnabled(false);
        ui->StatusLabel->setText(QStringLiteral("Connection error"));
        return;
    }
    ui->StatusLabel->setText(QStringLiteral("Connected"));
    StartReceiveThread();
    SendConnectRequests();
    ui->DisconnectButton->setEnabled(true);
    ResetTuningControls();
    ui->ScopeScaleComboBox->setEnabled(true);
    AdaptToDeviceKind();
    ui->ChartsPageControl->setCurrentWidget(ui->IodineTabSheet);
    LinkConnected();
    if (!FAutoConnecting)
        OperatorAction(QStringLiteral("connect ") + Connection->DeviceID().fullName(), false);
}

void TMainForm::DisconnectButtonClick() {
    if (UpdatingDeviceId.load() != 0)
        return; // a board is being programmed through the open link
    ui->DeviceListListBox->clear();
    ResetTuningControls();
    ui->ConnectButton->setEnabled(ui->DeviceListListBox->count() > 0);
    if (Connection->Connected() && !CloseLink()) {
        // The driver refused to close: the link stays in use and Disconnect may be tried again.
        ui->ScopeScaleComboBox->setEnabled(true);
        ui->StatusLabel->setText(QStringLiteral("Connection error"));
        return;
    }
    ui->StatusLabel->setText(QStringLiteral("Disconnected"));
    // Nothing reports any more: the simple page stops blinking and says so.
    BlinkTimer->stop();
    ui->SimpleStatusPanel->setText(QStringLiteral("Disconnected"));
    SetPanelColor(ui->SimpleStatusPanel, TuningColors::Grey);
    ui->DisconnectButton->setEnabled(false);
    LinkClosedByOperator();
    // The lock is not watched while the link is closed: what the laser does meanwhile is
    // neither reached nor lost here.
    if (LinkEvents)
        LinkEvents->ForgetLock();
    OperatorAction(QStringLiteral("disconnect"), false);
}

bool TMainForm::CloseLink() {
    // No driver call of the receive thread may overlap the close.
    TerminateReceiveThread();
    if (!Connection->Disconnect()) {
        StartReceiveThread(); // the link is still open: read it again
        return false;
    }
    FreeReceiveThread();
    ui->StartButton->setEnabled(false);
    return true;
}

void TMainForm::ConnectionTimerTimer() {
    if (Connection->Connected() || LinkLost())
        return; // a lost link is looked for without any tuning command
    SearchUrzadzenButtonClick();
    QThread::msleep(100);
    if (ui->DeviceListListBox->count() != 1)
        return; // with none or several the operator chooses on the main page
    FAutoConnecting = true;
    ConnectButtonClick();
    FAutoConnecting = false;
    QThread::msleep(50);
    SendCommand(StartStep2Command());
    QThread::msleep(50);
    SendCommand(StartStep2Command());
    if (Connection->Connected())
        OperatorAction(QStringLiteral("connect %1 (automatic, with Start step 2)")
                           .arg(Connection->DeviceID().fullName()));
}

void TMainForm::AdaptToDeviceKind() {
    const TDeviceKindLayout layout = DeviceKindLayout(Connection->DeviceID().serialNumber());
    IodineLaserRunning = layout.IodineLaserRunning;
    for (const QString& name : HeNeGroupNames())
        if (QWidget* group = findChild<QWidget*>(name))
            group->setVisible(layout.HeNeGroupsVisible);
    // Every chart page follows the kind, the added ones too; the stability page goes with the
    // frequency-difference page (no frequency board, no beat).
    const std::vector<bool> tabs =
        ChartTabVisibility(layout, ui->ChartsPageControl->count(),
                           FStabilityView ? ui->ChartsPageControl->indexOf(FStabilityView) : -1);
    for (int page = 0; page < static_cast<int>(tabs.size()); ++page)
        ui->ChartsPageControl->setTabVisible(page, tabs[static_cast<size_t>(page)]);
}

void TMainForm::StartReceiveThread() {
    // An earlier thread (left by a refused close) is stopped and freed before the new one.
    StopReceiveThread();
    ILFrameReader = new TReadILFrameThread(this, this);
    ILFrameReader->start();
}

void TMainForm::TerminateReceiveThread() {
    if (!ILFrameReader)
        return;
    // The wait serves pending calls; a failure report among them belongs to the thread being
    // stopped and must not stop (and free) it a second time from inside this wait.
    FStoppingReceiveThread = true;
    ILFrameReader->Stop();
    FStoppingReceiveThread = false;
}

void TMainForm::StopReceiveThread() {
    TerminateReceiveThread();
    FreeReceiveThread();
}

void TMainForm::FreeReceiveThread() {
    TReadILFrameThread* thread = ILFrameReader;
    ILFrameReader = nullptr;
    delete thread;
}

void TMainForm::FirmwareRunChanged(bool running) {
    if (!running) {
        for (const QPointer<QWidget>& w : FDisabledForRun)
            if (w)
                w->setEnabled(true);
        FDisabledForRun.clear();
        return;
    }
    // The containers of the sending controls; what was disabled before stays so afterwards.
    for (QWidget* w : std::initializer_list<QWidget*>{ui->ConnectionGroupBox, ui->ParametersPanel,
                                                      ui->SimplePeakGroupBox,
                                                      ui->FreqDifference2GroupBox, ui->ServicePanel,
                                                      ui->ServiceLaserTabSheet, ui->TestTabSheet}) {
        if (!w || w->testAttribute(Qt::WA_ForceDisabled))
            continue;
        w->setEnabled(false);
        FDisabledForRun.emplace_back(w);
    }
}
