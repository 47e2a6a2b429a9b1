#include "net/MqttMessagesUnit.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString Time(const QDateTime& time) {
    return TLinkEvent::FormatTime(time);
}

// JSON numbers are doubles; counters stay exact up to 2^53.
QJsonValue Count(uint64_t value) {
    return QJsonValue(static_cast<double>(value));
}

} // namespace

QByteArray MqttOnlineJson(bool online, const QDateTime& time) {
    return Compact({{QStringLiteral("online"), online}, {QStringLiteral("time"), Time(time)}});
}

QByteArray MqttStatusJson(const TStatusSnapshot& s, const QDateTime& time) {
    QJsonObject o;
    o[QStringLiteral("time")] = Time(time);
    o[QStringLiteral("link")] = TStatusModel::LinkStateName(s.Link);
    o[QStringLiteral("tuning_status")] = s.TuningStatus;
    o[QStringLiteral("tuning_text")] = s.TuningText;
    o[QStringLiteral("locked_peak")] =
        s.LockedPeak.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString(s.LockedPeak));
    o[QStringLiteral("iodine_laser_running")] = s.IodineLaserRunning;
    o[QStringLiteral("laser_head_state")] = s.LaserHeadState;
    o[QStringLiteral("laser_head_text")] = s.LaserHeadText;
    o[QStringLiteral("device")] = s.DeviceDescription;
    o[QStringLiteral("device_kind")] = static_cast<double>(s.DeviceKind);
    o[QStringLiteral("cft")] = s.CFT;
    return Compact(o);
}

QByteArray MqttBeatJson(const TBeatBin& beat) {
    return Compact({{QStringLiteral("time"), Time(beat.Start)},
                    {QStringLiteral("hz"), beat.MeanHz},
                    {QStringLiteral("count"), beat.Reports},
                    {QStringLiteral("power"), beat.MeanPower}});
}

QByteArray MqttEventJson(const TLinkEvent& event) {
    return Compact({{QStringLiteral("time"), Time(event.Time)},
                    {QStringLiteral("kind"), TLinkEvent::KindName(event.Kind)},
                    {QStringLiteral("text"), event.Text},
                    {QStringLiteral("value"), event.Value}});
}

QByteArray MqttHealthJson(const TMqttHealth& h, const QDateTime& time) {
    return Compact({{QStringLiteral("time"), Time(time)},
                    {QStringLiteral("frames_received"), Count(h.FramesReceived)},
                    {QStringLiteral("checksum_errors"), Count(h.ChecksumErrors)},
                    {QStringLiteral("bytes_dropped"), Count(h.BytesDropped)},
                    {QStringLiteral("queue_dropped"), Count(h.QueueDropped)},
                    {QStringLiteral("beats_skipped"), Count(h.BeatsSkipped)}});
}
