#pragma once
// Live line charts on QCustomPlot: bounded series, fixed or automatic axes, zoom and scroll
// with guards, and repainting at screen rate.
//
// Samples change the series at any rate; the chart copies them into its graphs and repaints at
// most once per ReplotIntervalMs (and not at all while it is not showing), so many samples
// between two frames cost one repaint. The X value of a point is always its index in its series
// (0 ... count - 1): deleting the oldest point renumbers the rest, and the trace scrolls.

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QCPAxis;
class QCPGraph;
class QCPRange;
class QColor;
class QCustomPlot;
class QTimer;
class TChart;

// The window's screen updates, run together once per frame: a chart or label that changed asks
// for the next frame, and every change of that frame is painted in one pass. GUI thread only.
class TFrameClock : public QObject {
    Q_OBJECT
public:
    static constexpr int FrameMs = 40;
    static TFrameClock& Instance(); // lives as long as the application object

    // Runs update with the next frame, once however often it is asked for; dropped when owner
    // is freed first.
    void Schedule(QObject* owner, std::function<void()> update);

private:
    explicit TFrameClock(QObject* parent);
    void Tick();

    struct TPending {
        QObject* Owner;
        QPointer<QObject> Guard;
        std::function<void()> Update;
    };
    std::vector<TPending> FPending;
    QTimer* FTimer;
};

// One axis: its title, whether the title is shown, and a fixed range or automatic scaling.
struct TAxisSetup {
    QString Title;
    bool TitleVisible = true;
    bool Automatic = true;
    double Min = 0;
    double Max = 0;
};

// One line series of a chart: the Y values of its points, oldest first.
class TChartSeries {
public:
    TChartSeries(TChart& chart, QCPGraph* graph, QString name);

    const QString& Name() const { return FName; }
    int Count() const { return static_cast<int>(FValues.size()); }
    double X(int index) const { return index; }
    double Y(int index) const { return FValues[static_cast<size_t>(index)]; }
    QCPGraph* Graph() const { return FGraph; }

    void Add(double y);
    void DeleteFirst(); // the others move down one place
    void Clear();

    // Copies the points into the graph (X = index).
    void SyncGraph();

private:
    TChart& FChart;
    QCPGraph* FGraph;
    QString FName;
    std::deque<double> FValues;
};

class TChart : public QObject {
    Q_OBJECT
public:
    static constexpr int ReplotIntervalMs = TFrameClock::FrameMs;

    // Called after the operator zoomed the chart (once per zoom step, when it is complete).
    using TZoomHandler = std::function<void(TChart& chart)>;
    // Asked before the operator scrolls an axis to [min, max]; false refuses the scroll.
    using TScrollGuard =
        std::function<bool(const TChart& chart, const QString& axisTitle, double min, double max)>;

    TChart(QCustomPlot* plot, TAxisSetup x, TAxisSetup y);
    ~TChart() override;

    QCustomPlot* Plot() const { return FPlot; }
    QString Name() const;
    TChartSeries* AddSeries(const QString& name, const QColor& color);
    TChartSeries* Series(int index) const { return FSeries[static_cast<size_t>(index)].get(); }
    int SeriesCount() const { return static_cast<int>(FSeries.size()); }

    QCPAxis* XAxis() const;
    QCPAxis* YAxis() const;
    const TAxisSetup& XSetup() const { return FX; }
    const TAxisSetup& YSetup() const { return FY; }
    QString AxisTitle(const QCPAxis* axis) const;

    void SetZoomHandler(TZoomHandler handler) { FZoomHandler = std::move(handler); }
    void SetScrollGuard(TScrollGuard guard) { FScrollGuard = std::move(guard); }

    // Back to the unzoomed view: fixed axes to their range, automatic axes fitted to the data.
    void UndoZoom();
    // Whether the operator has zoomed or scrolled (automatic axes then stay where they are
    // until the zoom is undone, by double click).
    bool Zoomed() const { return FZoomed; }

    // A series changed: repaint with the next frame.
    void RequestReplot();
    // Copies the series into the graphs and repaints now (tests, 'show' of a hidden chart).
    void UpdateNow();
    // Repaints done since creation.
    int ReplotCount() const { return FReplotCount; }
    bool ReplotPending() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyAxisSetup(QCPAxis* axis, const TAxisSetup& setup);
    void FitAutomaticAxes();
    void SetRangeQuietly(QCPAxis* axis, double lower, double upper);
    void AxisRangeChanged(QCPAxis* axis, const QCPRange& newRange, const QCPRange& oldRange);
    void FrameTick();

    QCustomPlot* FPlot;
    TAxisSetup FX;
    TAxisSetup FY;
    std::vector<std::unique_ptr<TChartSeries>> FSeries;
    TZoomHandler FZoomHandler;
    TScrollGuard FScrollGuard;
    bool FDirty = false;
    bool FSettingRange = false; // the chart itself is moving an axis
    bool FZoomCheckPending = false;
    bool FZoomed = false;
    int FReplotCount = 0;
};
