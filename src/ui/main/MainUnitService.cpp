// The operator window: the hidden service panel, its unlock by the typed key sequence, 'Hide'
// and the expected peaks. The panel's settings, 'Read' and 'Read FW' are TServicePanelFrame's.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include "protocol/CommandSequenceUnit.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/ServiceCommandsUnit.h"
#include "ui/main/ServicePanelUnit.h"
#include "ui/main/ServicePasswordUnit.h"
#include "ui_ServicePanelUnit.h"

#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int UnlockedExtraWidth = 18; // window = PageControl + ServicePanel + 18 (1821)
constexpr int HiddenExtraWidth = 12;   // window = PageControl + 12 (1139)
} // namespace

void TMainForm::CreateServicePanel() {
    FServicePanelFrame = new TServicePanelFrame(ui->ServicePanel);
    // The expected-peaks choice and the corrupt-frame counter are the window's own controls;
    // they take their places on the panel.
    ui->ExpectedPeaksGroupBox->setMinimumSize(ui->ExpectedPeaksGroupBox->size());
    FServicePanelFrame->ExpectedPeaksPlace()->layout()->addWidget(ui->ExpectedPeaksGroupBox);
    FServicePanelFrame->CRCErrorsPlace()->layout()->addWidget(ui->CRCErrorsCaptionLabel);
    FServicePanelFrame->CRCErrorsPlace()->layout()->addWidget(ui->CRCErrorsLabel);
    auto* layout = new QVBoxLayout(ui->ServicePanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FServicePanelFrame);

    Ui::TServicePanelFrame& panel = FServicePanelFrame->Controls();
    connect(panel.HideButton, &QPushButton::clicked, this, &TMainForm::HideButtonClick);
    connect(panel.SetExpectedPeaksButton, &QPushButton::clicked, this,
            &TMainForm::SetExpectedPeaksButtonClick);

    FServicePassword = std::make_unique<TServicePassword>();
    connect(this, &TMainForm::KeyPreview, this, &TMainForm::FormKeyPress);
}

void TMainForm::ReleaseServicePanel() {
    FCharts.reset(); // closes the error-signal and test logs
    FServicePassword.reset();
}

void TMainForm::FormKeyPress(QChar Key) {
    if (!FServicePassword || !FServicePassword->IsPasswordOK(Key))
        return;
    const int width = ui->PageControl->width() + ui->ServicePanel->width() + UnlockedExtraWidth;
    QWidget* client = ClientArea();
    client->setFixedWidth(width);
    // Docked to the right, over the full height.
    ui->ServicePanel->setGeometry(width - ui->ServicePanel->width(), 0, ui->ServicePanel->width(),
                                  client->height());
    FitToScreen();
    ui->ServicePanel->show();
    SetTabsVisible(true);
    // The wider window stays on its screen.
    if (const QScreen* screen = this->screen()) {
        const QPoint topLeft = OnScreenTopLeft(frameGeometry(), screen->availableGeometry());
        if (topLeft != frameGeometry().topLeft())
            move(topLeft);
    }
}

QPoint TMainForm::OnScreenTopLeft(const QRect& frame, const QRect& available) {
    int x = frame.x();
    if (frame.right() > available.right())
        x -= frame.right() - available.right();
    x = std::max(x, available.left());
    return {x, frame.y()};
}

void TMainForm::HideButtonClick() {
    SendHideRequests();
    ui->ServicePanel->hide();
    ClientArea()->setFixedWidth(ui->PageControl->width() + HiddenExtraWidth);
    FitToScreen();
}

void TMainForm::SetExpectedPeaksButtonClick() {
    const int from = ui->ExpectedPeaksFromComboBox->currentIndex();
    const int to = ui->ExpectedPeaksToComboBox->currentIndex();
    if (from < 0 || to < 0)
        return;
    if (SendSetExpectedPeaks(static_cast<uint16_t>(FPeakList->MaskOfRange(from, to)))) {
        OperatorAction(QStringLiteral("service value set: expected peaks %1 to %2")
                           .arg(FPeakList->PeakNameByNumber(std::min(from, to) + 1),
                                FPeakList->PeakNameByNumber(std::max(from, to) + 1)));
        TServiceSetButtonColor::Confirm(FServicePanelFrame->Controls().SetExpectedPeaksButton);
    }
}

void TMainForm::SwitchCFTCalibrationMode() {
    FServicePanelFrame->SwitchCFTCalibrationMode();
}
