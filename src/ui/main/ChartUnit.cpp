#include "ui/main/ChartUnit.h"

#include <qcustomplot.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>

// --- TFrameClock ---------------------------------------------------------------------------------

TFrameClock& TFrameClock::Instance() {
    static QPointer<TFrameClock> clock;
    if (!clock)
        clock = new TFrameClock(QCoreApplication::instance());
    return *clock;
}

TFrameClock::TFrameClock(QObject* parent) : QObject(parent), FTimer(new QTimer(this)) {
    FTimer->setSingleShot(true);
    FTimer->setInterval(FrameMs);
    connect(FTimer, &QTimer::timeout, this, &TFrameClock::Tick);
}

void TFrameClock::Schedule(QObject* owner, std::function<void()> update) {
    for (TPending& p : FPending)
        if (p.Owner == owner && p.Guard) {
            p.Update = std::move(update);
            return;
        }
    FPending.push_back({owner, owner, std::move(update)});
    if (!FTimer->isActive())
        FTimer->start();
}

void TFrameClock::Tick() {
    // An update may ask for the next frame again.
    std::vector<TPending> due;
    due.swap(FPending);
    for (TPending& p : due)
        if (p.Guard)
            p.Update();
}

// --- TChartSeries -------------------------------------------------------------------------------

TChartSeries::TChartSeries(TChart& chart, QCPGraph* graph, QString name)
    : FChart(chart), FGraph(graph), FName(std::move(name)) {}

void TChartSeries::Add(double y) {
    FValues.push_back(y);
    FChart.RequestReplot();
}

void TChartSeries::DeleteFirst() {
    if (FValues.empty())
        return;
    FValues.pop_front();
    FChart.RequestReplot();
}

void TChartSeries::Clear() {
    FValues.clear();
    FChart.RequestReplot();
}

void TChartSeries::SyncGraph() {
    QVector<QCPGraphData> points;
    points.reserve(static_cast<int>(FValues.size()));
    double x = 0;
    for (double y : FValues)
        points.append(QCPGraphData(x++, y));
    FGraph->data()->set(points, true);
}

// --- TChart -------------------------------------------------------------------------------------

TChart::TChart(QCustomPlot* plot, TAxisSetup x, TAxisSetup y)
    : QObject(nullptr), FPlot(plot), FX(std::move(x)), FY(std::move(y)) {
    // The plot paints every pixel itself: nothing beneath it needs painting with it.
    FPlot->setAttribute(Qt::WA_OpaquePaintEvent);
    FPlot->legend->setVisible(false);
    FPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    FPlot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    FPlot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    FPlot->setPlottingHint(QCP::phFastPolylines, true);
    FPlot->setNoAntialiasingOnDrag(true);
    ApplyAxisSetup(FPlot->xAxis, FX);
    ApplyAxisSetup(FPlot->yAxis, FY);

    for (QCPAxis* axis : {FPlot->xAxis, FPlot->yAxis}) {
        connect(axis, qOverload<const QCPRange&, const QCPRange&>(&QCPAxis::rangeChanged), this,
                [this, axis](const QCPRange& newRange, const QCPRange& oldRange) {
                    AxisRangeChanged(axis, newRange, oldRange);
                });
    }
    connect(FPlot, &QCustomPlot::mouseDoubleClick, this, [this] { UndoZoom(); });
    connect(FPlot, &QCustomPlot::afterReplot, this, [this] { ++FReplotCount; });
    FPlot->installEventFilter(this);
}

TChart::~TChart() = default;

QString TChart::Name() const {
    return FPlot->objectName();
}

TChartSeries* TChart::AddSeries(const QString& name, const QColor& color) {
    QCPGraph* graph = FPlot->addGraph(FPlot->xAxis, FPlot->yAxis);
    graph->setName(name);
    graph->setPen(QPen(color, 1));
    FSeries.push_back(std::make_unique<TChartSeries>(*this, graph, name));
    return FSeries.back().get();
}

QCPAxis* TChart::XAxis() const {
    return FPlot->xAxis;
}

QCPAxis* TChart::YAxis() const {
    return FPlot->yAxis;
}

QString TChart::AxisTitle(const QCPAxis* axis) const {
    if (axis == FPlot->xAxis)
        return FX.Title;
    if (axis == FPlot->yAxis)
        return FY.Title;
    return QString();
}

void TChart::ApplyAxisSetup(QCPAxis* axis, const TAxisSetup& setup) {
    axis->setLabel(setup.TitleVisible ? setup.Title : QString());
    if (!setup.Automatic)
        SetRangeQuietly(axis, setup.Min, setup.Max);
}

void TChart::SetRangeQuietly(QCPAxis* axis, double lower, double upper) {
    const bool setting = FSettingRange;
    FSettingRange = true;
    axis->setRange(lower, upper);
    FSettingRange = setting;
}

void TChart::FitAutomaticAxes() {
    if (FZoomed)
        return;
    int count = 0;
    double low = 0;
    double high = 0;
    bool any = false;
    for (const auto& series : FSeries) {
        count = std::max(count, series->Count());
        for (int i = 0; i < series->Count(); ++i) {
            const double y = series->Y(i);
            if (!any) {
                low = high = y;
                any = true;
            } else {
                low = std::min(low, y);
                high = std::max(high, y);
            }
        }
    }
    if (!any)
        return;
    if (FX.Automatic)
        SetRangeQuietly(FPlot->xAxis, 0, count > 1 ? count - 1 : 1);
    if (FY.Automatic) {
        // A flat trace still gets a readable axis; otherwise a small margin around the data.
        const double margin =
            high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(low) * 0.05);
        SetRangeQuietly(FPlot->yAxis, low - margin, high + margin);
    }
}

void TChart::UndoZoom() {
    FZoomed = false;
    if (!FX.Automatic)
        SetRangeQuietly(FPlot->xAxis, FX.Min, FX.Max);
    if (!FY.Automatic)
        SetRangeQuietly(FPlot->yAxis, FY.Min, FY.Max);
    FitAutomaticAxes();
    RequestReplot();
}

void TChart::AxisRangeChanged(QCPAxis* axis, const QCPRange& newRange, const QCPRange& oldRange) {
    if (FSettingRange)
        return;
    const double oldSize = oldRange.size();
    const double newSize = newRange.size();
    const bool zoom =
        std::fabs(newSize - oldSize) > 1e-9 * std::max(std::fabs(oldSize), std::fabs(newSize));
    if (zoom) {
        FZoomed = true;
        // A zoom step changes both axes one after the other; look at the chart once it is done.
        if (!FZoomCheckPending) {
            FZoomCheckPending = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    FZoomCheckPending = false;
                    if (FZoomHandler)
                        FZoomHandler(*this);
                },
                Qt::QueuedConnection);
        }
        return;
    }
    if (FScrollGuard && !FScrollGuard(*this, AxisTitle(axis), newRange.lower, newRange.upper)) {
        SetRangeQuietly(axis, oldRange.lower, oldRange.upper);
        RequestReplot();
        return;
    }
    FZoomed = true;
}

void TChart::RequestReplot() {
    FDirty = true;
    TFrameClock::Instance().Schedule(this, [this] { FrameTick(); });
}

bool TChart::ReplotPending() const {
    return FDirty;
}

void TChart::UpdateNow() {
    for (const auto& series : FSeries)
        series->SyncGraph();
    FitAutomaticAxes();
    FDirty = false;
    FPlot->replot();
}

void TChart::FrameTick() {
    // A chart that is not showing keeps its changes until it shows again.
    if (!FPlot->isVisible())
        return;
    UpdateNow();
}

bool TChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FPlot && event->type() == QEvent::Show && FDirty)
        RequestReplot();
    return QObject::eventFilter(watched, event);
}
