#include "ui/service/LaserHeNeViewUnit.h"

#include "laser/LaserDeviceUnit.h"
#include "laser/UtilsUnit.h"
#include "link/ConnectionUnit.h"
#include "ui/controls/RealSpinEdit.h"

#include <QTimer>

TLaserHeNeStatus LaserHeNeStatus(TLaserState state, const QString& peakLabel,
                                 const std::function<double()>& fPeakValue,
                                 const std::function<double()>& jPeakValue,
                                 const std::function<double()>& freqDifference) {
    TLaserHeNeStatus s;
    s.StateText = TServiceStreamParams::LaserStateToString(state);
    if (state != TLaserState::_measurement) {
        s.StatusText = QStringLiteral("not ready");
        s.PanelText = QStringLiteral("not ready");
        s.PanelColor = LaserHeNeColors::NotReady;
        return s;
    }
    s.StatusText = QStringLiteral("ready");
    s.PanelColor = LaserHeNeColors::Ready;
    const std::function<double()>* peak = nullptr;
    if (peakLabel == QLatin1String("f"))
        peak = &fPeakValue;
    else if (peakLabel == QLatin1String("j"))
        peak = &jPeakValue;
    if (peak) {
        const double value =
            ((*peak) ? (*peak)() : 0.0) + (freqDifference ? freqDifference() : 0.0);
        s.PanelText = QStringLiteral("locked - ") + TUtils::FloatToStrFixed(value, 16, 3) +
                      LaserHeNeFrequencyUnit;
    }
    return s;
}

TLaserHeNeChartView::TLaserHeNeChartView(TLaserHeNeStatusControls controls)
    : FControls(std::move(controls)) {
    FTimer = new QTimer(this);
    FTimer->setInterval(PollIntervalMs);
    connect(FTimer, &QTimer::timeout, this, &TLaserHeNeChartView::FTimerTimer);
    FShowData = false;
    FLaser = Laser;
}

TLaserHeNeChartView::~TLaserHeNeChartView() {
    SetShowData(false);
}

void TLaserHeNeChartView::SetShowData(bool value) {
    FShowData = value;
    if (!FLaser)
        return;
    // Joins and leaves once however often it is switched (see TServiceChartView).
    if (value) {
        TServiceStreamParams* stream =
            FLaser->ServiceParameters() ? FLaser->ServiceParameters()->StreamParams() : nullptr;
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

void TLaserHeNeChartView::FTimerTimer() {
    // Only the controller with a laser head is asked; an empty selection is no such controller.
    TConnection* connection = Connection;
    if (!connection || connection->DeviceID().serialNumber() != KindControllerWithLaserHead)
        return;
    if (connection->WritingReserved())
        return; // a firmware run has the link: the poll pauses
    if (FPollRequest)
        FPollRequest();
    else if (FLaser && FLaser->ServiceParameters() && FLaser->ServiceParameters()->StreamParams())
        FLaser->ServiceParameters()->StreamParams()->SendGetServiceStreamParamsFrame();
}

void TLaserHeNeChartView::Notify(TSubject* Subject) {
    if (auto* stream = dynamic_cast<TServiceStreamParams*>(Subject))
        QMetaObject::invokeMethod(
            this, [this, stream] { UpdateStatus(stream); }, Qt::QueuedConnection);
}

void TLaserHeNeChartView::UpdateStatus(TServiceStreamParams* stream) {
    TLaserHeNeStatusControls& c = FControls;
    const QString peakLabel = c.PeakLabel ? c.PeakLabel->text() : QString();
    // One read of the state: the receive thread may store the next frame's meanwhile, and the
    // code reported must be the one the texts were made from.
    const TLaserState state = stream->FState.load();
    const TLaserHeNeStatus s =
        LaserHeNeStatus(state, peakLabel, c.GetFPeakValue, c.GetJPeakValue, [&c]() -> double {
            // Read without touching the field: the operator may be typing into it.
            return c.FreqDifference1RealSpinEdit ? c.FreqDifference1RealSpinEdit->ShownValue()
                                                 : 0.0;
        });
    if (c.LaserHeNeStateValueLabel)
        c.LaserHeNeStateValueLabel->setText(s.StateText);
    if (c.StatusHeNeLabel)
        c.StatusHeNeLabel->setText(s.StatusText);
    if (QLabel* panel = c.SimpleStatusHeNePanel) {
        if (s.PanelText)
            panel->setText(*s.PanelText);
        if (c.SetPanelColor)
            c.SetPanelColor(panel, s.PanelColor);
        else
            PaintPanel(panel, s.PanelColor);
    }
    if (c.StateShown)
        c.StateShown(state, s.StateText);
}

void TLaserHeNeChartView::PaintPanel(QLabel* panel, const QColor& color) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::WindowText, color.lightness() < 140 ? Qt::white : Qt::black);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}
