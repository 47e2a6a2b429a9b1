// The operator window: the chart pages, the Test page, and the sample operations, which the
// chart feeders chart and log.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include <QFileInfo>
#include <QLabel>

#include "monitor/StatusModelUnit.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/ChartPagesUnit.h"
#include "ui/main/PeakTableUnit.h"
#include "ui/main/ServicePanelUnit.h"
#include "ui/stability/StabilityViewUnit.h"

void TMainForm::CreateCharts() {
    PlaceInto(ui->IodineTabSheet, new TIodineChartPage);
    PlaceInto(ui->LaserHeNeTabSheet, new TLaserHeNeChartPage);
    PlaceInto(ui->FreqDiffTabSheet, new TFreqDiffChartPage);
    FTestPage = new TTestPage;
    PlaceInto(ui->TestTabSheet, FTestPage);
    FCharts = std::make_unique<TChartFeeders>(this, FServicePanelFrame, IodineLaserRunning);
    // The stability of the beat note, one click beside the chart pages.
    FStabilityView = new TStabilityView;
    FStabilityView->SetOpticalFrequency([this](QChar peak) {
        if (FPeakList && !peak.isNull())
            for (int i = 0; i < FPeakList->Count(); ++i)
                if ((*FPeakList)[i].Name == QString(peak))
                    return (*FPeakList)[i].Value * 1e6;
        return PeakBaseValue * 1e6;
    });
    ui->ChartsPageControl->addTab(FStabilityView, QStringLiteral("Stability"));
    CreateRecordingLabel();
}

void TMainForm::CreateRecordingLabel() {
    // A running recording is said on every page, above the pages' own controls.
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("RecordingLabel"));
    label->setStyleSheet(QStringLiteral("QLabel { background: #fff3c4; color: #5a4500; "
                                        "border: 1px solid #c8a800; padding: 1px 6px; }"));
    label->hide();
    connect(FStabilityView, &TStabilityView::RecordingChanged, label,
            [this, label](const QString& fileName) {
                if (fileName.isEmpty()) {
                    label->hide();
                    return;
                }
                label->setText(
                    QStringLiteral("Recording to %1").arg(QFileInfo(fileName).fileName()));
                label->setToolTip(QStringLiteral("Recording to %1").arg(fileName));
                label->adjustSize();
                const QRect pages = ui->PageControl->geometry();
                label->move(pages.right() - label->width() - 6, pages.top() + 2);
                label->show();
                label->raise();
            });
}

void TMainForm::AddErrorSignalSample(uint16_t raw) {
    FCharts->AddErrorSignalSample(raw);
}

void TMainForm::AddServiceSample(int16_t value) {
    FCharts->AddServiceSample(value);
}

void TMainForm::AddTestSample(uint16_t t1, uint16_t t2, uint16_t t3, uint16_t t4) {
    FCharts->AddTestSample(t1, t2, t3, t4);
}

void TMainForm::AddFreqDiffSample(int32_t freqDiffHz, uint16_t power) {
    const bool wasRunning = IodineLaserRunning;
    FCharts->AddFreqDiffSample(freqDiffHz, power);
    if (FAwaitingRunning || wasRunning != IodineLaserRunning)
        IodineLaserRunningKnown(wasRunning);
    if (StatusModel)
        StatusModel->FrequencyReport(freqDiffHz, power);
}
