#pragma once
// The payloads of the network status stream: compact UTF-8 JSON objects, each with a "time" in
// UTC ISO 8601 with milliseconds ("2026-12-09T03:45:59.123Z"). Pure functions.

#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "stability/BeatBinnerUnit.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>

struct TMqttHealth {
    uint64_t FramesReceived = 0;
    uint64_t ChecksumErrors = 0;
    uint64_t BytesDropped = 0;
    uint64_t QueueDropped = 0; // status and event messages dropped while the broker was away
    uint64_t BeatsSkipped = 0; // beat seconds not sent because the broker was away
};

// {"online":true,"time":...}
QByteArray MqttOnlineJson(bool online, const QDateTime& time);
// {"time","link","tuning_status","tuning_text","locked_peak","iodine_laser_running",
//  "laser_head_state","laser_head_text","device","device_kind","cft"}; locked_peak is null
// while nothing is locked.
QByteArray MqttStatusJson(const TStatusSnapshot& status, const QDateTime& time);
// {"time" (start of the second),"hz","count","power"}: one second of frequency-board reports.
QByteArray MqttBeatJson(const TBeatBin& beat);
// {"time","kind","text","value"}
QByteArray MqttEventJson(const TLinkEvent& event);
// {"time","frames_received","checksum_errors","bytes_dropped","queue_dropped","beats_skipped"}
QByteArray MqttHealthJson(const TMqttHealth& health, const QDateTime& time);
