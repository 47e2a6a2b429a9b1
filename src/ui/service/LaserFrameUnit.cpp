#include "ui/service/LaserFrameUnit.h"

#include "ui/controls/RealSpinEdit.h"
#include "ui/service/ServiceLaserViewUnit.h"
#include "ui_LaserFrameUnit.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QTabBar>
#include <qcustomplot.h>

namespace {

// Whole numbers only; limits of 0 and 0 leave a value unlimited.
void SetUpSpin(TRealSpinEdit* spin, double min, double max, bool minus) {
    spin->SetPrecision(0);
    spin->SetIncrement(1);
    spin->SetMinValue(min);
    spin->SetMaxValue(max);
    spin->SetMinus(minus);
    spin->SetValue(0);
}

// The regulation chart: five plain line series (no point marks), no legend, no title, the
// bottom axis fixed over the 100 samples kept, the left axis following the values.
void SetUpChart(Ui::TLaserFrame* c) {
    const struct {
        const char* name;
        QColor color;
        QLabel* caption;
    } series[] = {
        {"ServiceCasingTemperatureErrorSeries", QColor(255, 0, 0),
         c->ServiceCasingTemperatureErrorLabel},
        {"ServiceStabilizationErrorSeries", QColor(0, 128, 0), c->ServiceStabilizationErrorLabel},
        {"ServiceCasingTemperatureSeries", QColor(128, 128, 0), c->ServiceCasingTemperatureLabel},
        {"ServiceLaserTemperatureSeries", QColor(0, 0, 255), c->ServiceLaserTemperatureLabel},
        {"ServiceReferenceSignalSeries", QColor(255, 0, 255), c->ServiceReferenceSignalLabel},
    };
    QCustomPlot* chart = c->ServiceChart;
    for (const auto& s : series) {
        QCPGraph* graph = chart->addGraph();
        graph->setObjectName(QString::fromLatin1(s.name));
        graph->setName(QString::fromLatin1(s.name));
        graph->setPen(QPen(s.color, 1));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        graph->setAdaptiveSampling(true);
        // The caption of a series' value doubles as its legend.
        QPalette palette = s.caption->palette();
        palette.setColor(QPalette::WindowText, s.color);
        s.caption->setPalette(palette);
    }
    chart->legend->setVisible(false);
    chart->xAxis->setRange(0, 100);
    chart->xAxis2->setVisible(false);
    chart->yAxis2->setVisible(false);
    chart->yAxis->setRange(0, 1);
}

} // namespace

TLaserFrame::TLaserFrame(QWidget* owner) : QWidget(owner), ui(std::make_unique<Ui::TLaserFrame>()) {
    ui->setupUi(this);
    SetUpControls();
    ConnectHandlers();
}

TLaserFrame::~TLaserFrame() {
    // Views first: they leave their subjects and may still touch the controls.
    LHView.reset();
    ChartView.reset();
    SendFrameView.reset();
}

void TLaserFrame::SetUpControls() {
    // The stabilization page is the only one; its tab is not shown.
    ui->ServiceTerminalAndChartPageControl->tabBar()->hide();
    SetUpChart(ui.get());

    for (TRealSpinEdit* spin :
         {ui->LHSlopeRealSpinEdit, ui->LHEepromErrorCountRealSpinEdit, ui->LHArtOffsetRealSpinEdit,
          ui->LHLaserOperatingTimeRealSpinEdit, ui->LHLaserStartCountRealSpinEdit,
          ui->LHPIDParamDRealSpinEdit, ui->LHChangeStabilizationModeRealSpinEdit})
        SetUpSpin(spin, 0, 0, true);
    for (TRealSpinEdit* spin :
         {ui->LHSerialNumberPart2RealSpinEdit, ui->LHSerialNumberPart3RealSpinEdit,
          ui->LHPIDParamPRealSpinEdit, ui->LHPIDParamIRealSpinEdit})
        SetUpSpin(spin, 0, 255, false);
    for (TRealSpinEdit* spin :
         {ui->LHDACRegistryLaserTempRealSpinEdit, ui->LHDACRegistryCaseTempRealSpinEdit,
          ui->LHDACEepromLaserTempRealSpinEdit, ui->LHDACEepromCaseTempRealSpinEdit})
        SetUpSpin(spin, 0, 65535, false);
    SetUpSpin(ui->LHWavelengthRealSpinEdit, 0, 0, false);

    ui->LHHeaterOptionComboBox->setCurrentIndex(0);
    ui->LHStabilizationOptionComboBox->setCurrentIndex(0);
    ui->LHSerialNumberPart1Edit->installEventFilter(this);

    // The frame monitor works (it has a frame log to show).
    ui->ServiceShowFramesCheckBox->setEnabled(true);
    ui->ServiceClearFramesButton->setEnabled(true);
}

void TLaserFrame::ConnectHandlers() {
    // One handler per button, each a single call into LHView (none after Release).
    const std::pair<QAbstractButton*, void (TServiceLHView::*)()> clicks[] = {
        {ui->LHSlopeReadButton, &TServiceLHView::GetSlope},
        {ui->LHSlopeWriteButton, &TServiceLHView::SetSlope},
        {ui->LHEepromErrorCountReadButton, &TServiceLHView::GetEepormErrorCount},
        {ui->LHEepromErrorCountWriteButton, &TServiceLHView::SetEepormErrorCount},
        {ui->LHArtOffsetReadButton, &TServiceLHView::GetArtOffset},
        {ui->LHArtOffsetButton, &TServiceLHView::SetArtOffset},
        {ui->LHLaserOperatingTimeReadButton, &TServiceLHView::GetLaserOperationTime},
        {ui->LHLaserOperatingTimeWriteButton, &TServiceLHView::SetLaserOperationTime},
        {ui->LHLaserStartCountReadButton, &TServiceLHView::GetLaserStartCount},
        {ui->LHLaserStartCountWriteButton, &TServiceLHView::SetLaserStartCount},
        {ui->LHReadTimesButton, &TServiceLHView::GetTimes},
        {ui->LHReadFirmwareVersionButton, &TServiceLHView::GetFirmwareVersion},
        {ui->LHHeaterOptionReadButton, &TServiceLHView::GetHeaterOptions},
        {ui->LHHeaterOptionWriteButton, &TServiceLHView::SetHeaterOptions},
        {ui->LHSerialNumberReadButton, &TServiceLHView::GetSerialNumber},
        {ui->LHSerialNumberWriteButton, &TServiceLHView::SetSerialNumber},
        {ui->LHPIDReadParamButton, &TServiceLHView::GetPIDParam},
        {ui->LHPIDWriteParamButton, &TServiceLHView::SetPIDParam},
        {ui->LHChangeStabilizationModeButton, &TServiceLHView::ChangeStabilizationMode},
        {ui->LHStabilizationOptionReadButton, &TServiceLHView::GetStabilizationOptions},
        {ui->LHStabilizationOptionWriteButton, &TServiceLHView::SetStabilizationOptions},
        {ui->LHDACReadButton, &TServiceLHView::GetDACParameters},
        {ui->LHDACWriteButton, &TServiceLHView::SetDACParameters},
        {ui->LHReadLaserParametersButton, &TServiceLHView::GetLaserState},
        {ui->LHSetLaserStateButton, &TServiceLHView::SetLaserState},
        {ui->LHWavelengthReadButton, &TServiceLHView::GetWavelength},
        {ui->LHWavelengthWriteButton, &TServiceLHView::SetWavelength},
        {ui->LHReadTestButton, &TServiceLHView::GetTestValues},
    };
    for (const auto& [button, operation] : clicks)
        connect(button, &QAbstractButton::clicked, this, [this, op = operation] {
            if (LHView)
                (LHView.get()->*op)();
        });
    connect(ui->LHStatusCheckBox, &QAbstractButton::clicked, this, [this] {
        if (LHView)
            LHView->SendStatus();
    });

    connect(ui->ServiceShowChartCheckBox, &QCheckBox::toggled, this,
            &TLaserFrame::ServiceShowChartCheckBoxClick);
    connect(ui->ServiceShowFramesCheckBox, &QCheckBox::toggled, this,
            &TLaserFrame::ServiceShowFramesCheckBoxClick);
    connect(ui->ServiceClearFramesButton, &QAbstractButton::clicked, this,
            &TLaserFrame::ServiceClearFramesButtonClick);
}

void TLaserFrame::Init() {
    if (QWidget* parent = parentWidget()) {
        if (QLayout* layout = parent->layout()) {
            layout->addWidget(this);
        } else {
            setGeometry(parent->rect());
            parent->installEventFilter(this); // and follow its size
        }
    }
    show();
    raise();
    LHView = std::make_unique<TServiceLHView>(this);
    ChartView = std::make_unique<TServiceChartView>(this);
    SendFrameView = std::make_unique<TServiceSendFrameView>(this);
    // Boxes ticked before the views existed take effect now.
    ServiceShowChartCheckBoxClick();
    ServiceShowFramesCheckBoxClick();
}

void TLaserFrame::Release() {
    // reset() clears each field before the view is freed.
    LHView.reset();
    ChartView.reset();
    SendFrameView.reset();
    QCoreApplication::processEvents();
    hide();
}

bool TLaserFrame::SerialDigitKeyAccepted(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Backspace: // edits, types nothing
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    default:
        break;
    }
    const QString text = event.text();
    if (text.isEmpty())
        return true; // arrows, Home, End, modifiers
    if (text.size() != 1)
        return false;
    const QChar c = text.at(0);
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
}

bool TLaserFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->LHSerialNumberPart1Edit && event->type() == QEvent::KeyPress)
        return !SerialDigitKeyAccepted(*static_cast<QKeyEvent*>(event));
    if (watched == parentWidget() && event->type() == QEvent::Resize && !parentWidget()->layout())
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TLaserFrame::ServiceShowChartCheckBoxClick() {
    if (ChartView)
        ChartView->SetShowData(ui->ServiceShowChartCheckBox->isChecked());
}

void TLaserFrame::ServiceShowFramesCheckBoxClick() {
    if (SendFrameView)
        SendFrameView->SetShowFrames(ui->ServiceShowFramesCheckBox->isChecked());
}

void TLaserFrame::ServiceClearFramesButtonClick() {
    if (SendFrameView)
        SendFrameView->ClearFrames();
}
