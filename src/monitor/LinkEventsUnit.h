#pragma once
// The record of what happened to the link and the lock while the program runs: link lost and
// restored, data silent and back, lock reached and lost, laser-head state changes, and what the
// operator commanded. A lock that ends within ActionGraceMs after an operator's action is that
// action's doing, not a lock loss: it is recorded as released and not counted. Each event
// carries its UTC wall-clock time. Windows, recordings and the network publisher subscribe to
// EventAdded; none of them owns the record. GUI thread only (the receive thread reaches it
// through queued calls).

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

enum class TLinkEventKind {
    _link_lost,
    _link_restored,
    _data_silent,
    _data_back,
    _lock_reached,
    _lock_lost,
    _laser_head_state,
    _operator_action, // connect, disconnect, Start, a peak chosen, Lock, a value set, ...
    _lock_released,   // the lock ended right after an operator's action
    _record_split,    // the stability record started anew at another set point
};

struct TLinkEvent {
    QDateTime Time; // UTC
    TLinkEventKind Kind = TLinkEventKind::_link_lost;
    QString Text;  // what a person reads: "link lost", "laser head: measurement"
    int Value = 0; // the status or state code the event is about, where there is one

    // "2026-12-09T03:45:59.123Z" (ISO 8601, UTC, milliseconds).
    static QString FormatTime(const QDateTime& time);
    // One line of the saved list: the time first, then the text.
    QString ToLine() const;
    // A short machine name of the kind: "link_lost", "lock_reached", ...
    static QString KindName(TLinkEventKind kind);
};

class TLinkEvents : public QObject {
    Q_OBJECT
public:
    // How many events are kept for the window; the oldest go first. Subscribers see every one.
    static constexpr int MaxKept = 10000;
    // A lock that ends this soon after an operator's action is that action's doing.
    static constexpr int ActionGraceMs = 5000;

    explicit TLinkEvents(QObject* parent = nullptr);

    // Records an event at the clock's time (UTC now unless SetClock replaced it).
    void Add(TLinkEventKind kind, const QString& text, int value = 0);

    // The tuning status as reported by the controller: status 3 is "locked", statusText the
    // word shown for status, peak the locked peak's letter (null when the report named none).
    // Lock reached on the change to 3; on any other status after 3 while the iodine laser runs,
    // lock released when an operator's action came within ActionGraceMs before, else lock lost.
    void TuningStatus(int status, const QString& statusText, bool laserRunning,
                      QChar peak = QChar());
    // An action of the operator (or of the program on the operator's behalf): recorded, and,
    // when it commands the laser (commandsLaser), a lock ending soon after is put down to it.
    // Opening or closing the link commands nothing.
    void OperatorAction(const QString& text, bool commandsLaser = true);
    // The link was closed: the lock is no longer watched until the next status report.
    void ForgetLock() { FLocked = false; }

    const QList<TLinkEvent>& Events() const { return FEvents; }
    int LockLossCount() const { return FLockLosses; }
    void Clear();

    // Writes one event per line, UTC time first. False with a reason when the file cannot be
    // written completely.
    bool SaveToFile(const QString& fileName, QString* error = nullptr) const;

    // Tests replace the wall clock.
    void SetClock(std::function<QDateTime()> clock);

signals:
    void EventAdded(const TLinkEvent& event);

private:
    std::function<QDateTime()> FClock;
    QList<TLinkEvent> FEvents;
    int FLockLosses = 0;
    bool FLocked = false;
    QDateTime FLastAction; // UTC time of the operator's latest action
    QString FLastActionText;
};

// The program's record, created with the application manager; null before and after.
extern TLinkEvents* LinkEvents;

Q_DECLARE_METATYPE(TLinkEvent)
