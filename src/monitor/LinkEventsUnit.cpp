#include "monitor/LinkEventsUnit.h"

#include <QSaveFile>

TLinkEvents* LinkEvents = nullptr;

QString TLinkEvent::FormatTime(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

QString TLinkEvent::ToLine() const {
    return FormatTime(Time) + QLatin1Char(' ') + Text;
}

QString TLinkEvent::KindName(TLinkEventKind kind) {
    switch (kind) {
    case TLinkEventKind::_link_lost:
        return QStringLiteral("link_lost");
    case TLinkEventKind::_link_restored:
        return QStringLiteral("link_restored");
    case TLinkEventKind::_data_silent:
        return QStringLiteral("data_silent");
    case TLinkEventKind::_data_back:
        return QStringLiteral("data_back");
    case TLinkEventKind::_lock_reached:
        return QStringLiteral("lock_reached");
    case TLinkEventKind::_lock_lost:
        return QStringLiteral("lock_lost");
    case TLinkEventKind::_laser_head_state:
        return QStringLiteral("laser_head_state");
    case TLinkEventKind::_operator_action:
        return QStringLiteral("operator_action");
    case TLinkEventKind::_lock_released:
        return QStringLiteral("lock_released");
    case TLinkEventKind::_record_split:
        return QStringLiteral("record_split");
    }
    return QStringLiteral("unknown");
}

TLinkEvents::TLinkEvents(QObject* parent)
    : QObject(parent), FClock([] { return QDateTime::currentDateTimeUtc(); }) {
    qRegisterMetaType<TLinkEvent>();
}

void TLinkEvents::SetClock(std::function<QDateTime()> clock) {
    FClock = std::move(clock);
}

void TLinkEvents::Add(TLinkEventKind kind, const QString& text, int value) {
    TLinkEvent event;
    event.Time = FClock().toUTC();
    event.Kind = kind;
    event.Text = text;
    event.Value = value;
    if (kind == TLinkEventKind::_lock_lost) {
        ++FLockLosses;
    }
    FEvents.append(event);
    if (FEvents.size() > MaxKept) {
        FEvents.removeFirst();
    }
    emit EventAdded(event);
}

void TLinkEvents::TuningStatus(int status, const QString& statusText, bool laserRunning,
                               QChar peak) {
    constexpr int Locked = 3;
    if (status == Locked) {
        if (!FLocked) {
            FLocked = true;
            Add(TLinkEventKind::_lock_reached,
                peak.isNull() ? QStringLiteral("lock reached")
                              : QStringLiteral("lock reached (peak %1)").arg(peak),
                status);
        }
        return;
    }
    if (!FLocked)
        return;
    FLocked = false;
    if (!laserRunning)
        return;
    const QString word =
        statusText.isEmpty() ? QStringLiteral("status %1").arg(status) : statusText;
    const QDateTime now = FClock().toUTC();
    if (FLastAction.isValid() && FLastAction.msecsTo(now) >= 0 &&
        FLastAction.msecsTo(now) <= ActionGraceMs) {
        Add(TLinkEventKind::_lock_released,
            QStringLiteral("lock released (%1) after %2").arg(word, FLastActionText), status);
        return;
    }
    Add(TLinkEventKind::_lock_lost, QStringLiteral("lock lost (%1)").arg(word), status);
}

void TLinkEvents::OperatorAction(const QString& text, bool commandsLaser) {
    if (commandsLaser) {
        FLastAction = FClock().toUTC();
        FLastActionText = text;
    }
    Add(TLinkEventKind::_operator_action, QStringLiteral("operator: ") + text);
}

void TLinkEvents::Clear() {
    FEvents.clear();
    FLockLosses = 0;
}

bool TLinkEvents::SaveToFile(const QString& fileName, QString* error) const {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    for (const TLinkEvent& event : FEvents) {
        const QByteArray line = event.ToLine().toUtf8() + '\n';
        if (file.write(line) != line.size()) {
            if (error) {
                *error = file.errorString();
            }
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}
