#pragma once
// Averages the frequency board's reports into bins of one second on the UTC clock. A bin is
// closed (and announced) by the first report of a later second or by CloseUpTo, which the owner
// calls from a timer so that the last bin of a run does not wait for the next report. A second
// without any report produces no bin: it is a gap, visible as a jump in the start times.
// Attached to the status model, each bin also tells the set point it was taken at: the locked
// peak and the set frequency difference, both only when they held for the whole bin (a change
// of the lock, the peak or the set point while the bin is open, or between two bins, makes the
// bin unsteady). GUI thread only.

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
    bool Steady = true;    // no change of lock, peak or set point while the bin was open
    bool Locked = false;   // the iodine laser was locked (on Peak) for the whole bin
    QChar Peak = QChar();  // the locked peak for the whole bin, null otherwise
    double SetPointHz = 0; // the set frequency difference for the whole bin, 0 unknown

    // Whole seconds since the Unix epoch of Start.
    int64_t Second() const { return Start.toSecsSinceEpoch(); }
};

class TBeatBinner : public QObject {
    Q_OBJECT
public:
    explicit TBeatBinner(QObject* parent = nullptr);

    // Subscribes to the model's frequency reports and changes (nullptr: detach).
    void Attach(TStatusModel* model);
    // What the model said changed: the open bin (or the next one, when none is open) is not
    // steady when the lock, the locked peak or the set point changed.
    void StatusChanged(int tuningStatus, QChar lockedPeak, double setPointHz);

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
    QMetaObject::Connection FChangeConnection;
    // The set point as the model last said (status 3 is locked).
    bool FLocked = false;
    QChar FPeak;
    double FSetPointHz = 0;
    bool FStatusKnown = false;
    int FTuningStatus = -1;
    // The open bin's set point, taken at its first report, and whether it held.
    bool FOpenSteady = true;
    bool FOpenLocked = false;
    QChar FOpenPeak;
    double FOpenSetPointHz = 0;
    bool FNextUnsteady = false; // a change came while no bin was open
    int64_t FSecond = 0;
    int FCount = 0;
    double FSumHz = 0;
    double FSumPower = 0;
    int FDropped = 0;
};

Q_DECLARE_METATYPE(TBeatBin)
