#include "ui/service/LaserHeNeViewUnit.h"

#include "laser/LaserDeviceUnit.h"
#include "laser/UtilsUnit.h"
#include "link/ConnectionUnit.h"
#include "ui/controls/RealSpinEdit.h"

#include <QTimer>

TLaserHeNeStatus LaserHeNeStatus(TLaserState state, const TIodineLock& iodine,
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
    const std::function<double()>* peak = nullptr;
    if (iodine.Locked() && iodine.Peak == QLatin1Char('f'))
        peak = &fPeakValue;
    else if (iodine.Locked() && iodine.Peak == QLatin1Char('j'))
        peak = &jPeakValue;
    if (peak) {
        const double value =
            ((*peak) ? (*peak)() : 0.0) + (freqDifference ? freqDifference() : 0.0);
        s.PanelText = QStringLiteral("locked - ") + TUtils::FloatToStrFixed(value, 16, 3) +
                      LaserHeNeFrequencyUnit;
        s.PanelColor = LaserHeNeColors::Ready;
        return s;
    }
    // Ready, but the frequency is not known: say why.
    QString iodineText;
    if (iodine.Locked() && !iodine.Peak.isNull())
        iodineText =
            QStringLiteral("iodine laser locked at peak %1\n(no frequency value)").arg(iodine.Peak);
    else if (iodine.Locked())
        iodineText = QStringLiteral("iodine laser locked\n(peak not reported)");
    else if (iodine.Status < 0)
        iodineText = QStringLiteral("iodine laser status awaited");
    else
        iodineText = QStringLiteral("iodine laser not locked");
    s.PanelText = QStringLiteral("ready\n") + iodineText;
    s.PanelColor = LaserHeNeColors::ReadyNoValue;
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
    const TLaserState state = stream->FState.load();
    FLastState = state;
    Show(state);
    if (FControls.StateShown)
        FControls.StateShown(state, TServiceStreamParams::LaserStateToString(state));
}

void TLaserHeNeChartView::IodineChanged() {
    if (FLastState)
        Show(*FLastState);
}

void TLaserHeNeChartView::Show(TLaserState state) {
    TLaserHeNeStatusControls& c = FControls;
    const TLaserHeNeStatus s =
        LaserHeNeStatus(state, c.IodineLock ? c.IodineLock() : TIodineLock{}, c.GetFPeakValue,
                        c.GetJPeakValue, [&c]() -> double {
                            // Read without touching the field: the operator may be typing into it.
                            return c.FreqDifference1RealSpinEdit
                                       ? c.FreqDifference1RealSpinEdit->ShownValue()
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
}

void TLaserHeNeChartView::PaintPanel(QLabel* panel, const QColor& color) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::WindowText, color.lightness() < 140 ? Qt::white : Qt::black);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}
