// The operator window: the chart pages, the Test page, and the sample operations, which the
// chart feeders chart and log.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

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
    FCharts->AddFreqDiffSample(freqDiffHz, power);
    if (StatusModel)
        StatusModel->FrequencyReport(freqDiffHz, power);
}
