#include "ui/service/ServiceLaserViewUnit.h"

#include "laser/LaserDeviceUnit.h"
#include "laser/UtilsUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/ConversionUnit.h"
#include "protocol/FrameLogUnit.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/service/FrameMonitorUnit.h"
#include "ui/service/LaserFrameUnit.h"
#include "ui_LaserFrameUnit.h"

#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>

namespace {

// The stream-state object of laser, if it has one.
TServiceStreamParams* StreamOf(TLaser* laser) {
    if (!laser || !laser->ServiceParameters())
        return nullptr;
    return laser->ServiceParameters()->StreamParams();
}

// The row an option box shows: the row whose text the box shows, -1 for free text.
int ShownRow(const QComboBox* box) {
    const int row = box->currentIndex();
    if (row >= 0 && box->itemText(row) == box->currentText())
        return row;
    return -1;
}

void ShowOption(QComboBox* box, uint32_t code) {
    const int row = TServiceLHView::OptionRow(code, box->count());
    box->setCurrentIndex(row);
    if (row < 0)
        box->setEditText(QString::number(code));
}

int32_t TruncatedValue(TRealSpinEdit* spin) {
    return static_cast<int32_t>(Conv::Trunc(spin->Value()));
}

} // namespace

// ================================================================================================
// TServiceLHView

TServiceLHView::TServiceLHView(TLaserFrame* frame) : FLaserFrame(frame) {
    Ui::TLaserFrame* c = frame->Controls();
    c->LHLaserStateComboBox->clear();
    c->LHLaserStateComboBox->addItems(TServiceStreamParams::GetAllStatesAsStringList());
    {
        const TLaserWavelengthCalculator calculator;
        c->LHWavelengthPeakComboBox->clear();
        c->LHWavelengthPeakComboBox->addItems(calculator.GetPeakList());
    }
    // Nothing is selected until a state is read: 'Set' before that sends measurement.
    c->LHLaserStateComboBox->setCurrentIndex(-1);
    c->LHWavelengthPeakComboBox->setCurrentIndex(-1);
    // The laser head's values are unread until it answers or the technician types them; each
    // Write waits for every field it sends.
    const struct {
        QAbstractButton* Write;
        std::initializer_list<TRealSpinEdit*> Fields;
    } writes[] = {
        {c->LHSlopeWriteButton, {c->LHSlopeRealSpinEdit}},
        {c->LHEepromErrorCountWriteButton, {c->LHEepromErrorCountRealSpinEdit}},
        {c->LHArtOffsetButton, {c->LHArtOffsetRealSpinEdit}},
        {c->LHLaserOperatingTimeWriteButton, {c->LHLaserOperatingTimeRealSpinEdit}},
        {c->LHLaserStartCountWriteButton, {c->LHLaserStartCountRealSpinEdit}},
        {c->LHSerialNumberWriteButton,
         {c->LHSerialNumberPart2RealSpinEdit, c->LHSerialNumberPart3RealSpinEdit}},
        {c->LHPIDWriteParamButton,
         {c->LHPIDParamPRealSpinEdit, c->LHPIDParamIRealSpinEdit, c->LHPIDParamDRealSpinEdit}},
        {c->LHChangeStabilizationModeButton, {c->LHChangeStabilizationModeRealSpinEdit}},
        {c->LHDACWriteButton,
         {c->LHDACRegistryLaserTempRealSpinEdit, c->LHDACRegistryCaseTempRealSpinEdit,
          c->LHDACEepromLaserTempRealSpinEdit, c->LHDACEepromCaseTempRealSpinEdit}},
        {c->LHWavelengthWriteButton, {c->LHWavelengthRealSpinEdit}},
    };
    for (const auto& write : writes) {
        for (TRealSpinEdit* field : write.Fields)
            field->SetUnread();
        EnableWhenRead(write.Write, write.Fields);
    }

    FStateReadTimer = new QTimer(this);
    FStateReadTimer->setSingleShot(true);
    FStateReadTimer->setInterval(LaserStateReadMs);
    connect(FStateReadTimer, &QTimer::timeout, this, &TServiceLHView::EndLaserStateRead);

    FLaser = Laser;
    if (FLaser && FLaser->LHParameters()) {
        FSubscribed = FLaser->LHParameters();
        FSubscribed->AddObserver(this);
    }
}

TServiceLHView::~TServiceLHView() {
    EndLaserStateRead();
    if (FSubscribed)
        FSubscribed->RemoveObserver(this);
    FSubscribed = nullptr;
}

void TServiceLHView::Notify(TSubject* Subject) {
    // Receive thread: only post. The view is the context, so nothing runs once it is gone.
    if (auto* stream = dynamic_cast<TServiceStreamParams*>(Subject))
        QMetaObject::invokeMethod(
            this, [this, stream] { UpdateState(stream); }, Qt::QueuedConnection);
    else if (dynamic_cast<TLHParameters*>(Subject))
        QMetaObject::invokeMethod(
            this, [this] { UpdateParameters(); }, Qt::QueuedConnection);
}

bool TServiceLHView::FrameShowing() const {
    // The frame's own visibility (cleared by Release), not whether its page is in front: the
    // panel stays current while the technician looks at another page.
    return FLaserFrame && !FLaserFrame->isHidden();
}

void TServiceLHView::UpdateState(TServiceStreamParams* stream) {
    if (!FrameShowing())
        return;
    Ui::TLaserFrame* c = FLaserFrame->Controls();
    c->LHLaserStateComboBox->setCurrentIndex(static_cast<int>(stream->FState.load()));
    c->LHRawLaserStateLabel->setText(stream->GetRawStateAsString());
}

void TServiceLHView::UpdateParameters() {
    if (!FrameShowing() || !FLaser || !FLaser->LHParameters())
        return;
    Ui::TLaserFrame* c = FLaserFrame->Controls();
    const TLHParameters& p = *FLaser->LHParameters();
    // A field whose request the head never answered stays unread: the model's start value is
    // no reading.
    const auto show = [&p](TRealSpinEdit* field, uint8_t request, double value) {
        if (p.Answered(request))
            field->SetValue(value);
    };
    show(c->LHSlopeRealSpinEdit, Cmd::LHGetSlope, p.FSlope.load());
    show(c->LHArtOffsetRealSpinEdit, Cmd::LHGetArtOffset, p.FArtOffset.load());
    show(c->LHEepromErrorCountRealSpinEdit, Cmd::LHGetEepromErrorCount, p.FEEpromErrorCount.load());
    ShowOption(c->LHHeaterOptionComboBox, p.FHeaterOption.load());
    show(c->LHWavelengthRealSpinEdit, Cmd::LHGetWavelength,
         p.LaserWavelengthCalculator()->Wavelength());
    show(c->LHLaserStartCountRealSpinEdit, Cmd::LHGetLaserStartCount, p.FLaserStartCount.load());
    const uint32_t operationTime = p.FLaserOperationTime.load();
    show(c->LHLaserOperatingTimeRealSpinEdit, Cmd::LHGetLaserOperationTime, operationTime);
    c->LHLaserOperatingTimeValueLabel->setText(TUtils::LaserOperationTimeToStr(operationTime));
    c->LHFirmwareVersionValueLabel->setText(FirmwareVersionText(p.FFirmwareVersion.load()));
    c->LHTimeFromStartValueLabel->setText(TUtils::MsTimeToStr(p.FTimeFromStart.load()));
    c->LHStabilizationTimeValueLabel->setText(TUtils::MsTimeToStr(p.FStabilizationTime.load()));
    const TLHSerialNumber serial = p.FSerialNumber.load();
    c->LHSerialNumberPart1Edit->setText(QString::number(serial.Number, 16).toUpper());
    show(c->LHSerialNumberPart2RealSpinEdit, Cmd::LHGetSerialNumber, serial.Month);
    show(c->LHSerialNumberPart3RealSpinEdit, Cmd::LHGetSerialNumber, serial.Year);
    show(c->LHDACRegistryLaserTempRealSpinEdit, Cmd::LHReadDACParameters,
         p.FDACRegistryLaserTemp.load());
    show(c->LHDACRegistryCaseTempRealSpinEdit, Cmd::LHReadDACParameters,
         p.FDACRegistryCaseTemp.load());
    show(c->LHDACEepromLaserTempRealSpinEdit, Cmd::LHReadDACParameters,
         p.FDACEepromLaserTemp.load());
    show(c->LHDACEepromCaseTempRealSpinEdit, Cmd::LHReadDACParameters, p.FDACEepromCaseTemp.load());
    show(c->LHPIDParamPRealSpinEdit, Cmd::LHGetPIDParam, p.FPID_P.load());
    show(c->LHPIDParamIRealSpinEdit, Cmd::LHGetPIDParam, p.FPID_I.load());
    show(c->LHPIDParamDRealSpinEdit, Cmd::LHGetPIDParam, p.FPID_D.load());
    c->LHTestLabel->setText(TestValuesText(p.FTest1.load(), p.FTest2.load(), p.FTest3.load(),
                                           p.FTest4.load(), p.FTest5.load(), p.FTest6.load()));
    c->LHSignalAmplificationValueLabel->setText(
        SignalAmplificationText(p.FSignalAmplification.load()));
    c->LHSignalOffsetValueLabel->setText(SignalOffsetText(p.FSignalOffset.load()));
    ShowOption(c->LHStabilizationOptionComboBox, p.FStabilizationOption.load());
}

// --- commands -----------------------------------------------------------------------------------
// Every command goes through the laser's parameter set; without one nothing is sent.

std::pair<TLHParameters*, Ui::TLaserFrame*> TServiceLHView::Target() const {
    if (!FLaser || !FLaser->LHParameters() || !FLaserFrame)
        return {nullptr, nullptr};
    return {FLaser->LHParameters(), FLaserFrame->Controls()};
}

void TServiceLHView::GetSlope() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetSlopeFrame();
}

void TServiceLHView::SetSlope() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendSetSlopeFrame(Conv::Trunc(c->LHSlopeRealSpinEdit->Value()));
}

void TServiceLHView::GetEepormErrorCount() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetEepormErrorCountFrame();
}

void TServiceLHView::SetEepormErrorCount() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendSetEepormErrorCountFrame(Conv::Trunc(c->LHEepromErrorCountRealSpinEdit->Value()));
}

void TServiceLHView::GetArtOffset() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetArtOffsetFrame();
}

void TServiceLHView::SetArtOffset() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendSetArtOffsetFrame(Conv::Trunc(c->LHArtOffsetRealSpinEdit->Value()));
}

void TServiceLHView::GetLaserOperationTime() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetLaserOperationTimeFrame();
}

void TServiceLHView::SetLaserOperationTime() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendSetLaserOperationTimeFrame(Conv::Trunc(c->LHLaserOperatingTimeRealSpinEdit->Value()));
}

void TServiceLHView::GetLaserStartCount() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetLaserStartCountFrame();
}

void TServiceLHView::SetLaserStartCount() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendSetLaserStartCountFrame(Conv::Trunc(c->LHLaserStartCountRealSpinEdit->Value()));
}

void TServiceLHView::GetTimes() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetTimesFrame();
}

void TServiceLHView::GetFirmwareVersion() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetFirmwareVersionFrame();
}

void TServiceLHView::GetHeaterOptions() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetHeaterOptionsFrame();
}

void TServiceLHView::SetHeaterOptions() {
    const auto [p, c] = Target();
    if (!p)
        return;
    const QComboBox* box = c->LHHeaterOptionComboBox;
    p->SendSetHeaterOptionsFrame(OptionCode(ShownRow(box), box->currentText()));
}

void TServiceLHView::GetSerialNumber() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetSerialNumberFrame();
}

void TServiceLHView::SetSerialNumber() {
    const auto [p, c] = Target();
    if (!p)
        return;
    TLHSerialNumber serial;
    serial.Model = 3;
    serial.Number = SerialDigit(c->LHSerialNumberPart1Edit->text());
    serial.Month =
        static_cast<uint8_t>(Conv::LowByte(TruncatedValue(c->LHSerialNumberPart2RealSpinEdit)));
    serial.Year =
        static_cast<uint8_t>(Conv::LowByte(TruncatedValue(c->LHSerialNumberPart3RealSpinEdit)));
    p->SendSetSerialNumberFrame(serial);
}

void TServiceLHView::GetPIDParam() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetPIDParamFrame();
}

void TServiceLHView::SetPIDParam() {
    const auto [p, c] = Target();
    if (!p)
        return;
    // The write sends the fields: store the new gains first.
    p->FPID_P = TruncatedValue(c->LHPIDParamPRealSpinEdit);
    p->FPID_I = TruncatedValue(c->LHPIDParamIRealSpinEdit);
    p->FPID_D = TruncatedValue(c->LHPIDParamDRealSpinEdit);
    p->SendSetPIDParamFrame();
}

void TServiceLHView::ChangeStabilizationMode() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendChangeStabilizationMode(Conv::Trunc(c->LHChangeStabilizationModeRealSpinEdit->Value()));
}

void TServiceLHView::GetStabilizationOptions() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetStabilizationOptionsFrame();
}

void TServiceLHView::SetStabilizationOptions() {
    const auto [p, c] = Target();
    if (!p)
        return;
    const QComboBox* box = c->LHStabilizationOptionComboBox;
    p->SendSetStabilizationOptionsFrame(OptionCode(ShownRow(box), box->currentText()));
}

void TServiceLHView::GetDACParameters() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendReadDACParametersFrame();
}

void TServiceLHView::SetDACParameters() {
    const auto [p, c] = Target();
    if (!p)
        return;
    // The write sends the fields: store the new values first, rounded (halves to even).
    p->FDACRegistryLaserTemp =
        static_cast<int32_t>(Conv::Round(c->LHDACRegistryLaserTempRealSpinEdit->Value()));
    p->FDACRegistryCaseTemp =
        static_cast<int32_t>(Conv::Round(c->LHDACRegistryCaseTempRealSpinEdit->Value()));
    p->FDACEepromLaserTemp =
        static_cast<int32_t>(Conv::Round(c->LHDACEepromLaserTempRealSpinEdit->Value()));
    p->FDACEepromCaseTemp =
        static_cast<int32_t>(Conv::Round(c->LHDACEepromCaseTempRealSpinEdit->Value()));
    p->SendWriteDACParametersFrame();
}

void TServiceLHView::GetLaserState() {
    TServiceStreamParams* stream = StreamOf(FLaser);
    if (!stream)
        return;
    if (!FStateReadSubject) {
        FStateReadSubject = stream;
        stream->AddObserver(this);
    }
    stream->SendGetServiceStreamParamsFrame();
    FStateReadTimer->start();
}

void TServiceLHView::EndLaserStateRead() {
    FStateReadTimer->stop();
    if (TServiceStreamParams* stream = FStateReadSubject) {
        FStateReadSubject = nullptr;
        stream->RemoveObserver(this);
    }
}

void TServiceLHView::SetLaserState() {
    TServiceStreamParams* stream = StreamOf(FLaser);
    if (!stream || !FLaserFrame)
        return;
    stream->ChangeLaserState(TServiceStreamParams::StringToLaserState(
        FLaserFrame->Controls()->LHLaserStateComboBox->currentText()));
}

void TServiceLHView::GetWavelength() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetWavelengthFrame();
}

void TServiceLHView::SetWavelength() {
    const auto [p, c] = Target();
    if (!p)
        return;
    const double value = c->LHWavelengthRealSpinEdit->Value();
    p->LaserWavelengthCalculator()->SetWavelength(value);
    p->SendSetWavelengthFrame(value);
}

void TServiceLHView::GetTestValues() {
    TLHParameters* p = Target().first;
    if (!p)
        return;
    p->SendGetTestValuesFrame();
}

void TServiceLHView::SendStatus() {
    const auto [p, c] = Target();
    if (!p)
        return;
    p->SendStatusMode(c->LHStatusCheckBox->isChecked() ? 1 : 0);
}

void TServiceLHView::GetAllParameters() {}

// --- rules --------------------------------------------------------------------------------------

int TServiceLHView::OptionRow(uint32_t code, int rowCount) {
    if (code == 255)
        return 0;
    return code < static_cast<uint32_t>(std::max(rowCount, 0)) ? static_cast<int>(code) : -1;
}

int64_t TServiceLHView::OptionCode(int row, const QString& text) {
    if (row < 0) {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok, 10);
        return ok ? value : 255;
    }
    return row == 0 ? 255 : row;
}

uint8_t TServiceLHView::SerialDigit(const QString& text) {
    bool ok = false;
    // One digit, 0 to F: a larger number would carry into the model nibble.
    const QString digit = text.trimmed();
    const uint value = digit.toUInt(&ok, 16);
    return ok && digit.size() == 1 ? static_cast<uint8_t>(value) : 0;
}

QString TServiceLHView::FirmwareVersionText(const TLHSerialNumber& version) {
    return QStringLiteral("%1.%2")
        .arg(version.Model)
        .arg(version.Number, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString TServiceLHView::TestValuesText(int32_t t1, int32_t t2, int32_t t3, int32_t t4, int32_t t5,
                                       int32_t t6) {
    return QString::asprintf("%d %d %d %d %d %d", t1, t2, t3, t4, t5, t6);
}

QString TServiceLHView::SignalAmplificationText(double amplification) {
    return QStringLiteral("Signal amp. ") + TUtils::FloatToStrFixed(amplification, 15, 2);
}

QString TServiceLHView::SignalOffsetText(int32_t offset) {
    return QStringLiteral("Signal offset %1").arg(offset);
}

// ================================================================================================
// TServiceChartView

TServiceChartView::TServiceChartView(TLaserFrame* frame) : FLaserFrame(frame) {
    FTimer = new QTimer(this);
    FTimer->setInterval(PollIntervalMs);
    connect(FTimer, &QTimer::timeout, this, &TServiceChartView::FTimerTimer);
    FShowData = false;
    FLaser = Laser;
}

TServiceChartView::~TServiceChartView() {
    SetShowData(false);
}

void TServiceChartView::SetShowData(bool value) {
    FShowData = value;
    if (!FLaser)
        return;
    // Joins and leaves once however often it is switched: a second entry in the subject's list
    // would outlive the view.
    if (value) {
        TServiceStreamParams* stream = StreamOf(FLaser);
        if (stream && !FSubscribed) {
            FTimer->start();
            FSubscribed = stream;
            stream->AddObserver(this);
        }
    } else if (TServiceStreamParams* stream = FSubscribed) {
        FTimer->stop();
        FSubscribed = nullptr;
        stream->RemoveObserver(this);
    }
}

void TServiceChartView::FTimerTimer() {
    if (TConnection* connection = Connection; connection && connection->WritingReserved())
        return; // a firmware run has the link: the poll pauses
    if (TServiceStreamParams* stream = StreamOf(FLaser))
        stream->SendGetServiceStreamParamsFrame();
}

void TServiceChartView::Notify(TSubject* Subject) {
    if (auto* stream = dynamic_cast<TServiceStreamParams*>(Subject))
        QMetaObject::invokeMethod(
            this, [this, stream] { UpdateChart(stream); }, Qt::QueuedConnection);
}

void TServiceChartView::UpdateChart(TServiceStreamParams* stream) {
    if (!FLaserFrame || FLaserFrame->isHidden())
        return;
    Ui::TLaserFrame* c = FLaserFrame->Controls();
    const TServiceStreamSnapshot s = stream->Snapshot();
    const int32_t reference = stream->FReferenceSignal.load();
    const int32_t heaterPower = stream->FLaserHeaterPower.load();
    c->ServiceCasingTemperatureErrorValueLabel->setText(QString::number(s.CasingTemperatureError));
    c->ServiceStabilizationErrorValueLabel->setText(QString::number(s.StabilizationError));
    c->ServiceCasingTemperatureValueLabel->setText(QString::number(s.CasingTemperature));
    c->ServiceLaserTemperatureValueLabel->setText(QString::number(s.LaserTemperature));
    c->ServiceReferenceSignalValueLabel->setText(QString::number(reference));
    c->ServiceLaserHeaterPowerValueLabel->setText(QString::number(heaterPower));
    c->ServiceStateValueLabel->setText(TServiceStreamParams::LaserStateToString(s.State));

    QCustomPlot* chart = c->ServiceChart;
    const double values[] = {double(s.CasingTemperatureError), double(s.StabilizationError),
                             double(s.CasingTemperature), double(s.LaserTemperature),
                             double(reference)};
    const int series = std::min(chart->graphCount(), int(std::size(values)));
    for (int i = 0; i < series; ++i) {
        QCPGraph* graph = chart->graph(i);
        graph->addData(graph->dataCount(), values[i]);
    }
    if (chart->graphCount() > 0 && chart->graph(0)->dataCount() > PointLimit) {
        // Drop the oldest point of every series and number the rest 0 .. count - 1.
        for (int i = 0; i < chart->graphCount(); ++i) {
            QCPGraph* graph = chart->graph(i);
            const auto data = graph->data();
            if (data->isEmpty())
                continue;
            QVector<double> keys;
            QVector<double> ys;
            keys.reserve(data->size());
            ys.reserve(data->size());
            for (auto it = data->constBegin() + 1; it != data->constEnd(); ++it) {
                keys.push_back(keys.size());
                ys.push_back(it->value);
            }
            graph->setData(keys, ys, true);
        }
    }
    chart->yAxis->rescale(true);
    chart->replot(QCustomPlot::rpQueuedReplot);
}

// ================================================================================================
// TServiceSendFrameView

TServiceSendFrameView::TServiceSendFrameView(TLaserFrame* frame, TFrameLog* log)
    : FLog(log ? log : FrameLog.load()), FLaserFrame(frame) {
    FModel = new TFrameLogModel(this);
    FRefreshTimer = new QTimer(this);
    FRefreshTimer->setSingleShot(true);
    connect(FRefreshTimer, &QTimer::timeout, this, &TServiceSendFrameView::Refresh);
    QTableView* list = frame->Controls()->ServiceFramesListBox;
    list->setModel(FModel);
    TFrameLogModel::SetUpView(list);
}

TServiceSendFrameView::~TServiceSendFrameView() {
    SetShowFrames(false);
    if (FLaserFrame)
        FLaserFrame->Controls()->ServiceFramesListBox->setModel(nullptr);
}

void TServiceSendFrameView::SetShowFrames(bool value) {
    FShowFrames = value;
    if (!FLog)
        return;
    if (value && !FSubscribed) {
        FSubscribed = true;
        FLog->AddObserver(this);
        ScheduleRefresh(); // whatever came before the subscription
    } else if (!value && FSubscribed) {
        FSubscribed = false;
        FLog->RemoveObserver(this);
        FRefreshTimer->stop();
    }
}

void TServiceSendFrameView::ClearFrames() {
    FModel->Clear();
    if (FLog)
        FCursor = FLog->NextSeq();
    if (FLaserFrame)
        FLaserFrame->Controls()->ServiceFramesCountLabel->clear();
}

void TServiceSendFrameView::Notify(TSubject* Subject) {
    if (!dynamic_cast<TFrameLog*>(Subject))
        return;
    // At most one posted call at a time, however many frames arrive.
    if (FRefreshPosted.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FRefreshPosted = false;
            ScheduleRefresh();
        },
        Qt::QueuedConnection);
}

void TServiceSendFrameView::ScheduleRefresh() {
    if (!FShowFrames || FRefreshTimer->isActive())
        return;
    const qint64 since = FSinceRefresh.isValid() ? FSinceRefresh.elapsed() : RefreshIntervalMs;
    FRefreshTimer->start(static_cast<int>(std::max<qint64>(0, RefreshIntervalMs - since)));
}

void TServiceSendFrameView::Refresh() {
    FRefreshTimer->stop();
    FSinceRefresh.start();
    if (!FShowFrames || !FLog || !FLaserFrame)
        return;
    QTableView* list = FLaserFrame->Controls()->ServiceFramesListBox;
    // Follow the newest frame unless the technician has picked an older one.
    const int rowsBefore = FModel->rowCount();
    const QModelIndex current = list->currentIndex();
    const bool follow = !current.isValid() || current.row() == rowsBefore - 1;

    FModel->Append(FLog->ReadSince(FCursor));

    const int rows = FModel->rowCount();
    if (follow && rows > 0) {
        const QModelIndex last = FModel->index(rows - 1, 0);
        list->selectionModel()->setCurrentIndex(last, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        list->scrollToBottom();
    }
    QString count = QStringLiteral("%1 frames").arg(FModel->Shown());
    if (FModel->Bad() > 0)
        count += QStringLiteral(", %1 bad").arg(FModel->Bad());
    if (FModel->Missed() > 0)
        count += QStringLiteral(", %1 not shown").arg(FModel->Missed());
    FLaserFrame->Controls()->ServiceFramesCountLabel->setText(count);
}
