#include "ui/main/ServicePanelUnit.h"

#include "monitor/LinkEventsUnit.h"
#include "protocol/CommandSequenceUnit.h"
#include "ui/main/ServiceCommandsUnit.h"
#include "ui/main/ServicePasswordUnit.h"

#include "ui_ServicePanelUnit.h"

#include <QApplication>
#include <QLocale>
#include <QPalette>

TServicePanelFrame::TServicePanelFrame(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TServicePanelFrame>()) {
    ui->setupUi(this);
    for (const TServiceSetRow& row : ServiceSetRows) {
        TRealSpinEdit* edit = SpinEdit(row);
        // A field without limits has equal minimum and maximum.
        edit->SetMinValue(row.Limited ? row.Min : 0);
        edit->SetMaxValue(row.Limited ? row.Max : 0);
        edit->SetMinus(row.Minus);
        edit->SetPrecision(row.Decimals);
        // No value until 'Read' brings the controller's or the technician types one; Set waits
        // for it, so that no servo ever gets a value nobody chose.
        edit->SetUnread();
        QAbstractButton* button = Button(row);
        EnableWhenRead(button, {edit});
        connect(button, &QAbstractButton::clicked, this, [this, &row] { SetButtonClick(row); });
    }
    // 'Stabilization check' sends the path gain with its tick.
    EnableWhenRead(ui->StabilizationCheckCheckBox, {ui->PathGainRealSpinEdit});
    // Every Set button shows its own caption colour except 'Lifetime', whose caption the visual
    // style paints: its green confirmation is set but never seen. Disabled, it looks disabled.
    const QPalette palette = QApplication::palette();
    ui->LifetimeButton->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; } QPushButton:disabled { color: %2; }")
            .arg(palette.color(QPalette::ButtonText).name(),
                 palette.color(QPalette::Disabled, QPalette::ButtonText).name()));
    connect(ui->ReadParamsButton, &QPushButton::clicked, this, [this] { ReadParamsButtonClick(); });
    connect(ui->ReadFWButton, &QPushButton::clicked, this, [this] { ReadFWButtonClick(); });
    connect(ui->StabilizationCheckCheckBox, &QCheckBox::toggled, this,
            [this] { StabilizationCheckCheckBoxClick(); });
    connect(ui->CFTOffsetRealSpinEdit, &TRealSpinEdit::OnConfirm, this,
            [this] { CFTOffsetRealSpinEditConfirm(); });
    // The calibration captions switch only on a confirmed or reported offset, not for the
    // field's start value.
}

TServicePanelFrame::~TServicePanelFrame() = default;

TRealSpinEdit* TServicePanelFrame::SpinEdit(const TServiceSetRow& row) const {
    return findChild<TRealSpinEdit*>(QLatin1String(row.SpinEdit));
}

QAbstractButton* TServicePanelFrame::Button(const TServiceSetRow& row) const {
    return findChild<QAbstractButton*>(QLatin1String(row.Button));
}

QWidget* TServicePanelFrame::ExpectedPeaksPlace() const {
    return ui->ExpectedPeaksPlace;
}

QWidget* TServicePanelFrame::CRCErrorsPlace() const {
    return ui->CRCErrorsPlace;
}

void TServicePanelFrame::SetButtonClick(const TServiceSetRow& row) {
    const double value = SpinEdit(row)->Value();
    // Green confirms a frame that went out; nothing written, nothing confirmed.
    if (!SendServiceSetRow(row, value, ui->StabilizationCheckCheckBox->isChecked()))
        return;
    TServiceSetButtonColor::Confirm(Button(row));
    if (LinkEvents)
        LinkEvents->OperatorAction(QStringLiteral("service value set: %1 = %2")
                                       .arg(QString::fromUtf8(row.Caption).trimmed(),
                                            QLocale().toString(value, 'f', row.Decimals)));
}

void TServicePanelFrame::ReadParamsButtonClick() {
    SendReadParamsRequests();
}

void TServicePanelFrame::ReadFWButtonClick() {
    ui->ReadFirmwareVersionILLabel->setText(QStringLiteral("IL 0.0.00"));
    ui->ReadFirmwareVersionDSPLabel->setText(QStringLiteral("DSP 0.0.00"));
    SendReadFirmwareRequests();
}

void TServicePanelFrame::StabilizationCheckCheckBoxClick() {
    if (ui->PathGainRealSpinEdit->Unread())
        return; // no path gain to send with the tick
    SendStabilizationCheck(ui->PathGainRealSpinEdit->Value(),
                           ui->StabilizationCheckCheckBox->isChecked());
}

void TServicePanelFrame::CFTOffsetRealSpinEditConfirm() {
    SwitchCFTCalibrationMode();
}

void TServicePanelFrame::SwitchCFTCalibrationMode() {
    const TCFTCaptions captions = CFTCalibrationCaptions(ui->CFTOffsetRealSpinEdit->Value());
    ui->CFTTemp10Label->setText(QLatin1String(captions.Temp10));
    ui->CFTTemp40Label->setText(QLatin1String(captions.Temp40));
    ui->CFTOffsetLabel->setText(QLatin1String(captions.Offset));
}
