#pragma once
// The stability page: the overlapping Allan deviation of the beat note against tau on a log-log
// chart with the chi-squared confidence interval and the identified noise type of every point,
// the Allan, modified, Hadamard, time and total deviations and Theo1 selectable instead, and
// beside it the plain statistics of the beat. 'Picture...' saves the chart as PNG or PDF. The
// live record grows by one bin a second from the status model's frequency reports; 'Open...'
// shows a file instead. 'Clear', 'Export' (the table as CSV), 'Record...' (the measurement
// recording). Refreshed once a second.

#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "stability/BeatBinnerUnit.h"
#include "stability/RecordingUnit.h"
#include "stability/StabilityAccumulatorUnit.h"
#include "stability/StabilityAnalysisUnit.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <set>

class QComboBox;
class QCustomPlot;
class QCPErrorBars;
class QCPGraph;
class QCPItemText;
class QLabel;
class QMouseEvent;
class QPushButton;

class TStabilityView : public QWidget {
    Q_OBJECT
public:
    // The optical frequency in Hz of a locked peak ('a'..'n'; null when none is locked).
    using TOpticalFrequency = std::function<double(QChar peak)>;

    // status and events: the models to follow (the program's own when null, as soon as they
    // exist).
    explicit TStabilityView(QWidget* parent = nullptr, TStatusModel* status = nullptr,
                            TLinkEvents* events = nullptr);
    ~TStabilityView() override;

    void SetOpticalFrequency(TOpticalFrequency provider) {
        FOpticalFrequency = std::move(provider);
    }

    // Asked before 'Clear' throws a live record away: true to go on. Tests answer it; by
    // default a question box.
    using TQuestion = std::function<bool(QWidget* parent, const QString& question)>;
    static void SetQuestionOverride(TQuestion question);

    // The once-a-second work: close the bin of a second that had no report, redraw.
    void TimerTick();
    void ClearButtonClick();
    void ExportButtonClick();
    void RecordButtonClick();
    void OpenButtonClick();
    // Saves the chart as a picture: PNG, or PDF when the chosen name ends in ".pdf".
    void PictureButtonClick();

    // What is shown: the live record or one read from a file.
    const TStabilityAccumulator& Shown() const;
    TDeviationKind Kind() const;
    // The shown record's table of a kind at octave taus, each point with its noise type and its
    // chi-squared interval at Confidence() (the numbers halvane-stability prints).
    QList<TDeviationPoint> AnalysedTable(TDeviationKind kind) const;
    double Confidence() const { return FConfidence; }
    // The noise marks over the points (their text, e.g. "W FM"), and the tooltip of the point
    // nearest to a position on the chart (empty when none is near).
    QStringList NoiseMarks() const;
    QString PointToolTip(const QPointF& pixel) const;
    bool ShowsFile() const { return FFileRecord != nullptr; }
    int LockLosses() const { return FLockLosses; }
    const TStabilityRecorder& Recorder() const { return FRecorder; }
    // The header block of an export of the shown record.
    QString ExportHeader() const;
    // What the page says about the record: a new record started, taus missing.
    QString RecordNote() const;

signals:
    // A recording started (the file's name) or ended (empty).
    void RecordingChanged(const QString& fileName);

private:
    // A change of the locked peak or of the set point starts a new record (with an event).
    void SplitIfSetPointChanged(const TBeatBin& bin);
    void StartNewRecord(const QString& reason, const QDateTime& at);
    void ClearLive();
    // Decade-aligned ranges: the tau axis shows only powers of ten, the deviation axis at least
    // two of them.
    void SetAxisRanges(const QList<TDeviationPoint>& table, double lo, double hi);
    // Why the longest taus are not in the table, when gaps are the reason.
    QString MissingTausNote(const QList<TDeviationPoint>& table) const;

    void Attach();
    void AddBin(const TBeatBin& bin);
    void Redraw();
    void DrawPoints(const QList<TDeviationPoint>& table);
    void DrawNoiseMarks(const QList<TDeviationPoint>& table);
    void ChartMouseMove(QMouseEvent* event);
    QByteArray ExportTableText() const;

    TStatusModel* FStatus = nullptr;
    TLinkEvents* FEvents = nullptr;
    TOpticalFrequency FOpticalFrequency;
    TBeatBinner FBinner;
    TStabilityAccumulator FLive;
    std::unique_ptr<TStabilityAccumulator> FFileRecord;
    QString FFileName;
    TStabilityRecorder FRecorder;
    int64_t FLastSecond = 0;
    bool FHasLast = false;
    int64_t FDroppedBins = 0;
    int FLockLosses = 0;
    std::set<int64_t> FUnlockedSeconds; // seconds with a report while not locked
    // The set point of the live record: the locked peak and the set frequency difference of
    // its bins (null and 0 until a bin tells them), and its first bin's time.
    QChar FRecordPeak;
    double FRecordSetPointHz = 0;
    QDateTime FRecordStart;
    QString FSplitNote;
    bool FDirty = true;
    QTimer FTimer;

    QCustomPlot* FChart = nullptr;
    QCPGraph* FGraph = nullptr;
    QCPErrorBars* FErrorBars = nullptr;
    QList<QCPItemText*> FNoiseMarks;
    QList<TDeviationPoint> FShownTable;
    double FConfidence = DefaultConfidence;
    QLabel* FConfidenceLabel = nullptr;
    QComboBox* FKindBox = nullptr;
    QLabel* FMeanLabel = nullptr;
    QLabel* FStdDevLabel = nullptr;
    QLabel* FDriftLabel = nullptr;
    QLabel* FLengthLabel = nullptr;
    QLabel* FGapsLabel = nullptr;
    QLabel* FLockLossLabel = nullptr;
    QLabel* FSourceLabel = nullptr;
    QLabel* FMessageLabel = nullptr;
    QLabel* FRecordNoteLabel = nullptr;
    QPushButton* FRecordButton = nullptr;
};
