// The operator window: controller reports that land in the window's controls. Every operation
// runs on the GUI thread (the receive thread queues or synchronises it).
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include "ui/controls/SystemSoundUnit.h"
#include "ui/main/ServicePanelUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLocale>

namespace {

QString SpinTargetName(TSpinTarget target) {
    switch (target) {
    case TSpinTarget::Phase:
        return QStringLiteral("PhaseRealSpinEdit");
    case TSpinTarget::Delay:
        return QStringLiteral("DelayRealSpinEdit");
    case TSpinTarget::PathGain:
        return QStringLiteral("PathGainRealSpinEdit");
    case TSpinTarget::CFT:
        return QStringLiteral("CFTRealSpinEdit");
    case TSpinTarget::P:
        return QStringLiteral("PRealSpinEdit");
    case TSpinTarget::I:
        return QStringLiteral("IRealSpinEdit");
    case TSpinTarget::D:
        return QStringLiteral("DRealSpinEdit");
    case TSpinTarget::PidGain:
        return QStringLiteral("PidGainRealSpinEdit");
    case TSpinTarget::SetPoint:
        return QStringLiteral("SetPointRealSpinEdit");
    case TSpinTarget::CFTTemp10:
        return QStringLiteral("CFTTemp10RealSpinEdit");
    case TSpinTarget::CFTTemp40:
        return QStringLiteral("CFTTemp40RealSpinEdit");
    case TSpinTarget::CFTOffset:
        return QStringLiteral("CFTOffsetRealSpinEdit");
    case TSpinTarget::Modulation:
        return QStringLiteral("ModulationRealSpinEdit");
    case TSpinTarget::FOffset:
        return QStringLiteral("FOffsetRealSpinEdit");
    case TSpinTarget::FreqDifference1:
        return QStringLiteral("FreqDifference1RealSpinEdit");
    case TSpinTarget::FreqDifference2:
        return QStringLiteral("FreqDifference2RealSpinEdit");
    case TSpinTarget::DSPP:
        return QStringLiteral("DSPPRealSpinEdit");
    case TSpinTarget::DSPI:
        return QStringLiteral("DSPIRealSpinEdit");
    case TSpinTarget::DSPD:
        return QStringLiteral("DSPDRealSpinEdit");
    case TSpinTarget::Lifetime:
        return QStringLiteral("LifetimeRealSpinEdit");
    case TSpinTarget::MirrorSwing1:
        return QStringLiteral("MirrorSwing1RealSpinEdit");
    case TSpinTarget::MirrorSwing2:
        return QStringLiteral("MirrorSwing2RealSpinEdit");
    case TSpinTarget::MirrorSwing3:
        return QStringLiteral("MirrorSwing3RealSpinEdit");
    case TSpinTarget::OutSignalPeriod:
        return QStringLiteral("OutSignalPeriodRealSpinEdit");
    case TSpinTarget::MirrorsUsage:
        return QStringLiteral("MirrorsUsageRealSpinEdit");
    }
    return QString();
}

QString LabelTargetName(TLabelTarget target) {
    switch (target) {
    case TLabelTarget::CFTValue:
        return QStringLiteral("CFTValueLabel");
    case TLabelTarget::CFTRaw:
        return QStringLiteral("CFTRawLabel");
    case TLabelTarget::Lifetime:
        return QStringLiteral("LifetimeLabel");
    case TLabelTarget::PeakId:
        return QStringLiteral("PeakIdLabel");
    case TLabelTarget::FirmwareVersionIL:
        return QStringLiteral("ReadFirmwareVersionILLabel");
    case TLabelTarget::FirmwareVersionDSP:
        return QStringLiteral("ReadFirmwareVersionDSPLabel");
    }
    return QString();
}

} // namespace

void TMainForm::CRCError() {
    ++CRCErrorCounter;
    ui->CRCErrorsLabel->setText(QString::number(CRCErrorCounter));
}

// The service-panel fields live on the panel that the service commands fill; a report for a
// field that is not on the window is dropped.
void TMainForm::SetSpinValue(TSpinTarget target, double value) {
    if (auto* spin = findChild<TRealSpinEdit*>(SpinTargetName(target)))
        spin->SetValue(value);
}

void TMainForm::SetLabelCaption(TLabelTarget target, const QString& caption) {
    // The main page's own labels by their fields; the others are on the service panel.
    QLabel* label = nullptr;
    switch (target) {
    case TLabelTarget::CFTValue:
        label = ui->CFTValueLabel;
        break;
    case TLabelTarget::Lifetime:
        label = ui->LifetimeLabel;
        break;
    case TLabelTarget::PeakId:
        label = ui->PeakIdLabel;
        break;
    default:
        label = FServicePanelFrame ? FServicePanelFrame->findChild<QLabel*>(LabelTargetName(target))
                                   : nullptr;
        break;
    }
    if (label)
        label->setText(caption);
    FeedLabelCaption(target, caption);
}

void TMainForm::SetBarPosition(TBarTarget target, int position) {
    TALProgressBar* bar = target == TBarTarget::TuningMirror ? ui->TuningMirrorALProgressBar
                                                             : ui->StabilizationMirrorALProgressBar;
    bar->SetPosition(position);
}

void TMainForm::TickStabilizationCheck() {
    if (auto* box = findChild<QCheckBox*>(QStringLiteral("StabilizationCheckCheckBox")))
        box->setChecked(true);
}

void TMainForm::SetScopeScaleRow(int row) {
    ui->ScopeScaleComboBox->setCurrentIndex(row >= 0 && row < ui->ScopeScaleComboBox->count() ? row
                                                                                              : -1);
}

void TMainForm::SetHarmonicRow(int row) {
    if (row >= 0 && row < ui->HarmonicComboBox->count())
        ui->HarmonicComboBox->setCurrentIndex(row);
}

void TMainForm::ApplyHarmonicRule(bool keepFourthHarmonic) {
    if (!keepFourthHarmonic && ui->HarmonicComboBox->count() > 3)
        ui->HarmonicComboBox->removeItem(ui->HarmonicComboBox->count() - 1);
}

void TMainForm::Beep() {
    PlaySystemSound(TSystemSound::Default);
}

void TMainForm::ErrorBeep() {
    PlaySystemSound(TSystemSound::Error);
}
