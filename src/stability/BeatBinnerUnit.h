#pragma once
// Averages the frequency board's reports into bins of one second on the UTC clock. A bin is
// closed (and announced) by the first report of a later second or by CloseUpTo, which the owner
// calls from a timer so that the last bin of a run does not wait for the next report. A second
// without any report produces no bin: it is a gap, visible as a jump in the start times.
// GUI thread only.

#include <QDateTime>
#include <QList>
#include <QObject>

#include <cstdint>

class TStatusModel;

struct TBeatBin {
    QDateTime Start;   // UTC, a whole second
    double MeanHz = 0; // mean frequency difference of the reports in the bin
    int Reports = 0;   // number of reports averaged (at least 1 for a closed bin)
    double MeanPower = 0;

    // Whole seconds since the Unix epoch of Start.
    int64_t Second() const { return Start.toSecsSinceEpoch(); }
};

class TBeatBinner : public QObject {
    Q_OBJECT
public:
    explicit TBeatBinner(QObject* parent = nullptr);

    // Subscribes to the model's frequency reports (nullptr: detach).
    void Attach(TStatusModel* model);

    // One report at its UTC time. Returns the bin it closed, if any (and emits BinClosed for
    // it). Reports of a second before the open bin (a clock stepped back) are dropped and
    // counted; non-finite values are dropped too.
    QList<TBeatBin> AddReport(const QDateTime& utc, double hz, double power);

    // Closes the open bin when utc lies in a later second. Returns the closed bin, if any.
    QList<TBeatBin> CloseUpTo(const QDateTime& utc);

    // Forgets the open bin without announcing it.
    void Reset();

    bool HasOpenBin() const { return FCount > 0; }
    int DroppedReports() const { return FDropped; }

    // Whole seconds of the UTC time (floor, also before 1970).
    static int64_t SecondOf(const QDateTime& utc);

signals:
    void BinClosed(const TBeatBin& bin);

private:
    QList<TBeatBin> CloseOpen();

    TStatusModel* FModel = nullptr;
    QMetaObject::Connection FConnection;
    int64_t FSecond = 0;
    int FCount = 0;
    double FSumHz = 0;
    double FSumPower = 0;
    int FDropped = 0;
};

Q_DECLARE_METATYPE(TBeatBin)
