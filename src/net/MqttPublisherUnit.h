#pragma once
// The network status stream: publishes the live status, the beat note, the events and the link
// counters to an MQTT broker, read-only (it subscribes to nothing). All broker work runs on a
// thread of its own (and the client library's network thread); the GUI thread only hands over
// small messages into a bounded queue and never waits for the network.
//
// Topics under a prefix (--mqtt-topic, or "halvane/<device description>"):
//   online  {"online":true,...} retained; the broker publishes {"online":false,...} (the last
//           will, its time is when that connection was made) when the program vanishes
//   status  retained, QoS 1, on every change of the status model
//   beat    QoS 0, once a second with reports: mean frequency difference, count, mean power
//   events  QoS 1, not retained, every recorded event
//   health  QoS 0, every 10 s: receive counters and what the stream itself dropped
// While the broker is away status and events wait in the queue (the oldest dropped first beyond
// its limit, counted in health) and go out when it is back; beat and health from the gap are
// dropped.

#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "net/MqttMessagesUnit.h"
#include "net/MqttOptionsUnit.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <thread>

enum class TMqttState {
    _waiting, // no topic prefix yet: waiting for a device description
    _trying,  // connecting, or waiting to try again
    _connected,
    _refused, // the broker or its certificate said no; tried again later
};

struct TMqttLimits {
    int QueueLimit = 5000; // status and event messages kept while the broker is away
    int HealthIntervalMs = 10000;
    int ConnectTimeoutMs = 10000; // from the start of an attempt to the broker's answer
    int BackoffMinMs = 500;       // doubles after each failed attempt ...
    int BackoffMaxMs = 30000;     // ... up to this
    int KeepAliveS = 10;
};

class TMqttPublisher : public QObject {
    Q_OBJECT
public:
    explicit TMqttPublisher(const TMqttOptions& options, const TMqttLimits& limits = {},
                            QObject* parent = nullptr);
    // Says "offline" on a live connection and disconnects (waiting at most about two seconds).
    ~TMqttPublisher() override;

    // Follows the models' signals (either may be null); publishes the current status at once.
    void Attach(TStatusModel* status, TLinkEvents* events);
    // Starts the broker thread.
    void Start();

    TMqttState State() const { return FState; }
    // "MQTT: connected", "MQTT: trying", "MQTT: refused (reason)", "MQTT: waiting for a device".
    QString StateText() const;
    // The reason of the last failed attempt ("" after a success).
    QString LastError() const { return FLastError; }
    QString Prefix() const;
    TMqttHealth Health() const;

    // What the model signals call; tests call them directly.
    void PublishStatus(const TStatusSnapshot& status);
    void PublishEvent(const TLinkEvent& event);
    void FrequencyReport(const QDateTime& utc, double differenceHz, double power);

    static QString StateName(TMqttState state);

    struct TShared;

signals:
    void StateChanged(TMqttState state, const QString& text);

private:
    void OnBeat(const TBeatBin& bin);
    void OnBeatTimer();
    void OnState(TMqttState state, const QString& reason);

    std::shared_ptr<TShared> FShared;
    TMqttOptions FOptions;
    TMqttLimits FLimits;
    TMqttState FState = TMqttState::_waiting;
    QString FLastError;
    TBeatBinner FBinner;
    QTimer FBeatTimer;
    bool FStarted = false;
    std::thread FThread;
};

Q_DECLARE_METATYPE(TMqttState)
