#pragma once
// The program's live status as one small model: the link, the tuning status, the locked peak,
// the laser head's state and the frequency board's reports. The window feeds it from the reports
// it receives on the GUI thread; recordings, the stability view and the network publisher read it
// and subscribe to its signals. GUI thread only.

#include <QChar>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>

enum class TLinkState {
    _disconnected, // no device open (also after the operator's Disconnect)
    _connected,    // open, frames arriving
    _silent,       // open, reads succeed, but no checked frame for a while
    _lost,         // the adapter stopped answering; looking for it again
};

struct TStatusSnapshot {
    TLinkState Link = TLinkState::_disconnected;
    int TuningStatus = -1; // the controller's code, -1 before the first report
    QString TuningText;    // the status text the window shows for it
    QChar LockedPeak;      // 'a'..'n' while locked, null otherwise
    bool IodineLaserRunning = false;
    int LaserHeadState = -1; // the laser head's state code, -1 unknown or no laser head
    QString LaserHeadText;
    QString DeviceDescription;
    int32_t DeviceKind = 0;
    double CFT = 0; // cold-finger temperature as shown, in degrees Celsius; 0 before a report
    // The frequency difference set point in Hz, as the operator set it or the laser head
    // reported it; 0 before either.
    double FreqDifferenceSetHz = 0;

    bool operator==(const TStatusSnapshot&) const = default;
};

class TStatusModel : public QObject {
    Q_OBJECT
public:
    explicit TStatusModel(QObject* parent = nullptr);

    const TStatusSnapshot& Snapshot() const { return FSnapshot; }

    // Replaces the whole snapshot; Changed is emitted only when something differs.
    void Update(const TStatusSnapshot& snapshot);

    // One frequency-board report (code 166): difference in Hz and signal power, at its UTC
    // arrival time.
    void FrequencyReport(double differenceHz, double power);
    void FrequencyReportAt(const QDateTime& utc, double differenceHz, double power);

    static QString LinkStateName(TLinkState state); // "disconnected", "connected", "silent", "lost"

signals:
    void Changed(const TStatusSnapshot& snapshot);
    void FrequencyReported(const QDateTime& utc, double differenceHz, double power);

private:
    TStatusSnapshot FSnapshot;
};

// Created with the application manager; null before and after.
extern TStatusModel* StatusModel;

Q_DECLARE_METATYPE(TStatusSnapshot)
