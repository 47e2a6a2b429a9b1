#include "net/MqttPublisherUnit.h"

#include "protocol/ReadFrameUnit.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QSysInfo>

#include <mosquitto.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// A message waiting for the broker.
struct TOut {
    QByteArray Suffix; // "status", "events", ...
    QByteArray Topic;  // the full topic; empty until a prefix is known
    QByteArray Payload;
    int Qos = 0;
    bool Retain = false;
    bool Kept = false; // status and events wait for the broker; beat and health do not
};

// Most QoS 1 messages handed to the library before it has to confirm some.
constexpr size_t MaxInFlight = 100;

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

// Everything the GUI thread, the broker thread and the library's callbacks share; guarded by
// Mutex. No mosquitto function is ever called with Mutex held.
struct TMqttPublisher::TShared {
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Stop = false;
    bool Finished = false;           // the broker thread has ended
    TMqttPublisher* Owner = nullptr; // null once the publisher is going away

    QByteArray Prefix;
    bool PrefixChanged = false;
    std::deque<TOut> Pending;
    size_t InFlight = 0; // QoS 1 messages handed to the library, not yet confirmed
    bool Connected = false;
    QByteArray LatestStatus; // sent again after every (re)connect
    uint64_t QueueDropped = 0;
    uint64_t BeatsSkipped = 0;

    // From the library's callbacks, for the broker thread.
    std::optional<int> ConnectResult;
    std::optional<int> Disconnected;
    std::vector<int> Acked;
    QString LastLogError;

    TMqttOptions Options;
    TMqttLimits Limits;

    // Called with Mutex held.
    void Push(TOut out) {
        if (!out.Kept) {
            if (!Connected)
                return;
        } else {
            while (!Pending.empty() && Pending.size() + InFlight >= size_t(Limits.QueueLimit)) {
                auto it = std::find_if(Pending.begin(), Pending.end(),
                                       [](const TOut& o) { return o.Kept; });
                if (it == Pending.end())
                    break;
                Pending.erase(it);
                ++QueueDropped;
            }
        }
        if (out.Topic.isEmpty() && !Prefix.isEmpty())
            out.Topic = Prefix + '/' + out.Suffix;
        Pending.push_back(std::move(out));
        Wake.notify_all();
    }

    void Post(TMqttState state, const QString& reason) {
        std::lock_guard g(Mutex);
        if (Owner)
            QMetaObject::invokeMethod(
                Owner, [o = Owner, state, reason] { o->OnState(state, reason); },
                Qt::QueuedConnection);
    }
};

namespace {

// The broker thread: one connection attempt after another, each with a fresh client.
class TBrokerThread {
public:
    explicit TBrokerThread(std::shared_ptr<TMqttPublisher::TShared> shared)
        : S(std::move(shared)), FBackoff(std::chrono::milliseconds(S->Limits.BackoffMinMs)) {}

    void Run();

private:
    bool StartAttempt(QString& reason);
    void EndAttempt(bool sayOffline);
    void Requeue();
    bool HandOver(std::unique_lock<std::mutex>& lock);
    void PublishNow(const QByteArray& topic, const QByteArray& payload, int qos, bool retain,
                    int* mid);
    void Fail(TMqttState state, const QString& reason);

    static void OnConnect(mosquitto*, void* obj, int rc);
    static void OnDisconnect(mosquitto*, void* obj, int rc);
    static void OnPublish(mosquitto*, void* obj, int mid);
    static void OnLog(mosquitto*, void* obj, int level, const char* text);

    std::shared_ptr<TMqttPublisher::TShared> S;
    mosquitto* FMosq = nullptr;
    QByteArray FTopicPrefix; // of the current attempt
    std::map<int, TOut> FInFlight;
    std::chrono::milliseconds FBackoff;
    Clock::time_point FNextAttempt = Clock::now();
    Clock::time_point FNextHealth;
};

// A certificate the broker's name or our authority does not match, as the library logs it.
bool IsCertificateRefusal(const QString& logError) {
    return logError.contains(QLatin1String("SSL"), Qt::CaseInsensitive) ||
           logError.contains(QLatin1String("certificate"), Qt::CaseInsensitive);
}

void TBrokerThread::OnConnect(mosquitto* mosq, void* obj, int rc) {
    auto* s = static_cast<TMqttPublisher::TShared*>(obj);
    if (rc != 0)
        mosquitto_disconnect(mosq); // no reconnect of the library's own: the thread decides
    std::lock_guard g(s->Mutex);
    s->ConnectResult = rc;
    s->Wake.notify_all();
}

void TBrokerThread::OnDisconnect(mosquitto* mosq, void* obj, int rc) {
    auto* s = static_cast<TMqttPublisher::TShared*>(obj);
    mosquitto_disconnect(mosq);
    std::lock_guard g(s->Mutex);
    s->Disconnected = rc;
    s->Wake.notify_all();
}

void TBrokerThread::OnPublish(mosquitto*, void* obj, int mid) {
    auto* s = static_cast<TMqttPublisher::TShared*>(obj);
    std::lock_guard g(s->Mutex);
    s->Acked.push_back(mid);
    s->Wake.notify_all();
}

void TBrokerThread::OnLog(mosquitto*, void* obj, int level, const char* text) {
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto* s = static_cast<TMqttPublisher::TShared*>(obj);
    std::lock_guard g(s->Mutex);
    s->LastLogError = QString::fromUtf8(text);
    s->Wake.notify_all();
}

void TBrokerThread::PublishNow(const QByteArray& topic, const QByteArray& payload, int qos,
                               bool retain, int* mid) {
    const int rc = mosquitto_publish(FMosq, mid, topic.constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS && mid)
        *mid = -1;
}

bool TBrokerThread::StartAttempt(QString& reason) {
    const TMqttOptions& o = S->Options;
    {
        std::lock_guard g(S->Mutex);
        FTopicPrefix = S->Prefix;
        S->PrefixChanged = false;
        S->ConnectResult.reset();
        S->Disconnected.reset();
        S->Acked.clear();
        S->LastLogError.clear();
    }
    const QByteArray id = QStringLiteral("halvane-%1-%2")
                              .arg(QSysInfo::machineHostName())
                              .arg(QCoreApplication::applicationPid())
                              .toUtf8()
                              .left(64);
    FMosq = mosquitto_new(id.constData(), true, S.get());
    if (!FMosq) {
        reason = QStringLiteral("out of memory");
        return false;
    }
    mosquitto_int_option(FMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(FMosq, &OnConnect);
    mosquitto_disconnect_callback_set(FMosq, &OnDisconnect);
    mosquitto_publish_callback_set(FMosq, &OnPublish);
    mosquitto_log_callback_set(FMosq, &OnLog);
    const QByteArray will = MqttOnlineJson(false, QDateTime::currentDateTimeUtc());
    const QByteArray onlineTopic = FTopicPrefix + "/online";
    mosquitto_will_set(FMosq, onlineTopic.constData(), int(will.size()), will.constData(), 1, true);
    if (!o.User.isEmpty())
        mosquitto_username_pw_set(FMosq, o.User.toUtf8().constData(),
                                  o.PasswordFile.isEmpty() ? nullptr
                                                           : o.Password.toUtf8().constData());
    if (o.Tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (!o.CaFile.isEmpty())
            rc = mosquitto_tls_set(FMosq, QFile::encodeName(o.CaFile).constData(), nullptr, nullptr,
                                   nullptr, nullptr);
        else
            rc = mosquitto_int_option(FMosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            reason = QStringLiteral("TLS: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    const int rc =
        mosquitto_connect_async(FMosq, o.Host.toUtf8().constData(), o.Port, S->Limits.KeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                      : QString::fromUtf8(mosquitto_strerror(rc));
        return false;
    }
    if (mosquitto_loop_start(FMosq) != MOSQ_ERR_SUCCESS) {
        reason = QStringLiteral("no network thread");
        return false;
    }
    return true;
}

// Ends the current client. sayOffline: publish "offline" first and give it a moment.
void TBrokerThread::EndAttempt(bool sayOffline) {
    if (!FMosq)
        return;
    if (sayOffline) {
        int mid = -1;
        const QByteArray off = MqttOnlineJson(false, QDateTime::currentDateTimeUtc());
        PublishNow(FTopicPrefix + "/online", off, 1, true, &mid);
        std::unique_lock lock(S->Mutex);
        S->Wake.wait_for(lock, 1s, [&] {
            return mid < 0 || S->Disconnected ||
                   std::find(S->Acked.begin(), S->Acked.end(), mid) != S->Acked.end();
        });
    }
    mosquitto_disconnect(FMosq);
    mosquitto_loop_stop(FMosq, false);
    mosquitto_destroy(FMosq);
    FMosq = nullptr;
    std::lock_guard g(S->Mutex);
    S->Connected = false;
    // Beat and health from before are stale now.
    std::erase_if(S->Pending, [](const TOut& o) { return !o.Kept; });
    Requeue();
}

// Unconfirmed QoS 1 messages go back to the front of the queue, in their order. Mutex held.
void TBrokerThread::Requeue() {
    for (auto it = FInFlight.rbegin(); it != FInFlight.rend(); ++it)
        S->Pending.push_front(std::move(it->second));
    FInFlight.clear();
    S->InFlight = 0;
    while (S->Pending.size() > size_t(S->Limits.QueueLimit)) {
        S->Pending.pop_front();
        ++S->QueueDropped;
    }
}

// Hands queued messages to the library. Called with the lock held; releases it around each
// library call. False when the library refused one (the connection is going).
bool TBrokerThread::HandOver(std::unique_lock<std::mutex>& lock) {
    for (int mid : S->Acked) {
        if (FInFlight.erase(mid) > 0 && S->InFlight > 0)
            --S->InFlight;
    }
    S->Acked.clear();
    while (!S->Pending.empty() && FInFlight.size() < MaxInFlight) {
        TOut out = std::move(S->Pending.front());
        S->Pending.pop_front();
        if (out.Topic.isEmpty())
            out.Topic = FTopicPrefix + '/' + out.Suffix;
        if (out.Qos > 0)
            ++S->InFlight;
        lock.unlock();
        int mid = -1;
        PublishNow(out.Topic, out.Payload, out.Qos, out.Retain, &mid);
        lock.lock();
        if (out.Qos > 0) {
            if (mid >= 0) {
                // The confirmation may already be in.
                auto acked = std::find(S->Acked.begin(), S->Acked.end(), mid);
                if (acked != S->Acked.end()) {
                    S->Acked.erase(acked);
                    --S->InFlight;
                } else {
                    FInFlight.emplace(mid, std::move(out));
                }
            } else {
                --S->InFlight;
                S->Pending.push_front(std::move(out));
                return false; // the disconnect callback follows
            }
        }
    }
    return true;
}

void TBrokerThread::Fail(TMqttState state, const QString& reason) {
    S->Post(state, reason);
    FNextAttempt = Clock::now() + FBackoff;
    // Up to a fifth more, so that many programs behind one broker do not return in step.
    FNextAttempt += std::chrono::milliseconds(
        QRandomGenerator::global()->bounded(int(FBackoff.count() / 5) + 1));
    FBackoff = std::min(FBackoff * 2, std::chrono::milliseconds(S->Limits.BackoffMaxMs));
}

void TBrokerThread::Run() {
    std::unique_lock lock(S->Mutex);
    while (!S->Stop) {
        if (S->Prefix.isEmpty()) {
            S->Wake.wait(lock, [&] { return S->Stop || !S->Prefix.isEmpty(); });
            continue;
        }
        if (Clock::now() < FNextAttempt) {
            S->Wake.wait_until(lock, FNextAttempt, [&] { return S->Stop; });
            continue;
        }
        lock.unlock();
        S->Post(TMqttState::_trying, QString());
        QString reason;
        if (!StartAttempt(reason)) {
            // The handshake can fail inside the connect call itself when the broker's
            // certificate is already in before the library first reads: that is a refusal too.
            TMqttState state = TMqttState::_trying;
            {
                std::lock_guard g(S->Mutex);
                if (IsCertificateRefusal(S->LastLogError)) {
                    reason = S->LastLogError;
                    state = TMqttState::_refused;
                }
            }
            EndAttempt(false);
            Fail(state, reason);
            lock.lock();
            continue;
        }
        lock.lock();
        // Waiting for the broker's answer.
        const auto deadline = Clock::now() + std::chrono::milliseconds(S->Limits.ConnectTimeoutMs);
        // A refused certificate ends the library's network thread without a disconnect call.
        S->Wake.wait_until(lock, deadline, [&] {
            return S->Stop || S->ConnectResult || S->Disconnected ||
                   IsCertificateRefusal(S->LastLogError);
        });
        if (S->Stop)
            break;
        if (!S->ConnectResult || *S->ConnectResult != 0) {
            QString why;
            TMqttState state = TMqttState::_trying;
            if (S->ConnectResult) {
                why = QString::fromUtf8(mosquitto_connack_string(*S->ConnectResult));
                state = TMqttState::_refused;
            } else if (!S->LastLogError.isEmpty()) {
                why = S->LastLogError;
                if (IsCertificateRefusal(why))
                    state = TMqttState::_refused;
            } else if (S->Disconnected) {
                why = QStringLiteral("connection closed");
            } else {
                why = QStringLiteral("no answer from the broker");
            }
            lock.unlock();
            EndAttempt(false);
            Fail(state, why);
            lock.lock();
            continue;
        }
        // Connected.
        FBackoff = std::chrono::milliseconds(S->Limits.BackoffMinMs);
        S->Connected = true;
        const bool statusQueued = std::any_of(S->Pending.begin(), S->Pending.end(),
                                              [](const TOut& o) { return o.Suffix == "status"; });
        const QByteArray latest = S->LatestStatus;
        lock.unlock();
        S->Post(TMqttState::_connected, QString());
        PublishNow(FTopicPrefix + "/online", MqttOnlineJson(true, QDateTime::currentDateTimeUtc()),
                   1, true, nullptr);
        lock.lock();
        if (!statusQueued && !latest.isEmpty())
            S->Pending.push_front(TOut{"status", {}, latest, 1, true, true});
        FNextHealth = Clock::now();
        bool sayOffline = false;
        while (!S->Stop && !S->Disconnected && !S->PrefixChanged) {
            if (Clock::now() >= FNextHealth) {
                TMqttHealth h;
                const TReadILFrameThread::TTotals t = TReadILFrameThread::Totals();
                h.FramesReceived = t.Frames;
                h.ChecksumErrors = t.CRCErrors;
                h.BytesDropped = t.BytesDropped;
                h.QueueDropped = S->QueueDropped;
                h.BeatsSkipped = S->BeatsSkipped;
                S->Pending.push_back(TOut{"health",
                                          {},
                                          MqttHealthJson(h, QDateTime::currentDateTimeUtc()),
                                          0,
                                          false,
                                          false});
                FNextHealth = Clock::now() + std::chrono::milliseconds(S->Limits.HealthIntervalMs);
            }
            const bool flowing = HandOver(lock);
            const auto until = flowing ? FNextHealth : std::min(FNextHealth, Clock::now() + 100ms);
            S->Wake.wait_until(lock, until, [&] {
                return S->Stop || S->Disconnected || S->PrefixChanged || !S->Acked.empty() ||
                       (flowing && !S->Pending.empty() && FInFlight.size() < MaxInFlight);
            });
        }
        sayOffline = !S->Disconnected;
        const bool prefixChanged = S->PrefixChanged && !S->Stop;
        const bool lost = S->Disconnected.has_value();
        lock.unlock();
        EndAttempt(sayOffline);
        if (lost)
            Fail(TMqttState::_trying, QStringLiteral("connection lost"));
        else if (prefixChanged)
            FNextAttempt = Clock::now();
        lock.lock();
    }
    lock.unlock();
    // A live connection said goodbye in the loop; an attempt still waiting for its answer goes.
    EndAttempt(false);
}

} // namespace

// --- TMqttPublisher ------------------------------------------------------------------------------

TMqttPublisher::TMqttPublisher(const TMqttOptions& options, const TMqttLimits& limits,
                               QObject* parent)
    : QObject(parent), FShared(std::make_shared<TShared>()), FOptions(options), FLimits(limits) {
    qRegisterMetaType<TMqttState>();
    InitLibrary();
    FShared->Owner = this;
    FShared->Options = options;
    FShared->Limits = limits;
    if (!options.TopicPrefix.isEmpty())
        FShared->Prefix = options.TopicPrefix.toUtf8();
    FBeatTimer.setInterval(250);
    connect(&FBeatTimer, &QTimer::timeout, this, &TMqttPublisher::OnBeatTimer);
    connect(&FBinner, &TBeatBinner::BinClosed, this, &TMqttPublisher::OnBeat);
}

TMqttPublisher::~TMqttPublisher() {
    std::shared_ptr<TShared> shared = FShared;
    {
        std::lock_guard g(shared->Mutex);
        shared->Owner = nullptr;
        shared->Stop = true;
        shared->Wake.notify_all();
    }
    // The thread keeps the shared part alive; a broker that does not answer is not waited for
    // beyond a bound (the thread then ends on its own, or with the process).
    if (FThread.joinable()) {
        std::unique_lock lock(shared->Mutex);
        shared->Wake.wait_for(lock, 2500ms, [&] { return shared->Finished; });
        const bool finished = shared->Finished;
        lock.unlock();
        if (finished)
            FThread.join();
        else
            FThread.detach();
    }
}

void TMqttPublisher::Start() {
    if (FStarted)
        return;
    FStarted = true;
    FThread = std::thread([shared = FShared] {
        pthread_setname_np(pthread_self(), "mqtt publisher");
        TBrokerThread(shared).Run();
        std::lock_guard g(shared->Mutex);
        shared->Finished = true;
        shared->Wake.notify_all();
    });
    FBeatTimer.start();
    OnState(FShared->Prefix.isEmpty() ? TMqttState::_waiting : TMqttState::_trying, QString());
}

void TMqttPublisher::Attach(TStatusModel* status, TLinkEvents* events) {
    if (status) {
        connect(status, &TStatusModel::Changed, this, &TMqttPublisher::PublishStatus);
        connect(status, &TStatusModel::FrequencyReported, this, &TMqttPublisher::FrequencyReport);
        PublishStatus(status->Snapshot());
    }
    if (events)
        connect(events, &TLinkEvents::EventAdded, this, &TMqttPublisher::PublishEvent);
}

void TMqttPublisher::PublishStatus(const TStatusSnapshot& status) {
    const QByteArray payload = MqttStatusJson(status, QDateTime::currentDateTimeUtc());
    std::lock_guard g(FShared->Mutex);
    if (FOptions.TopicPrefix.isEmpty() && !status.DeviceDescription.isEmpty()) {
        const QByteArray prefix = MqttTopicPrefixForDevice(status.DeviceDescription).toUtf8();
        if (prefix != FShared->Prefix) {
            FShared->PrefixChanged = !FShared->Prefix.isEmpty();
            FShared->Prefix = prefix;
        }
    }
    FShared->LatestStatus = payload;
    FShared->Push(TOut{"status", {}, payload, 1, true, true});
}

void TMqttPublisher::PublishEvent(const TLinkEvent& event) {
    const QByteArray payload = MqttEventJson(event);
    std::lock_guard g(FShared->Mutex);
    FShared->Push(TOut{"events", {}, payload, 1, false, true});
}

void TMqttPublisher::FrequencyReport(const QDateTime& utc, double differenceHz, double power) {
    FBinner.AddReport(utc, differenceHz, power);
}

void TMqttPublisher::OnBeat(const TBeatBin& bin) {
    const QByteArray payload = MqttBeatJson(bin);
    std::lock_guard g(FShared->Mutex);
    if (!FShared->Connected) {
        ++FShared->BeatsSkipped;
        return;
    }
    FShared->Push(TOut{"beat", {}, payload, 0, false, false});
}

void TMqttPublisher::OnBeatTimer() {
    // A second is over once the clock is a little past its end.
    FBinner.CloseUpTo(QDateTime::currentDateTimeUtc().addMSecs(-100));
}

void TMqttPublisher::OnState(TMqttState state, const QString& reason) {
    if (state == TMqttState::_connected)
        FLastError.clear();
    else if (!reason.isEmpty())
        FLastError = reason;
    const bool changed = state != FState;
    FState = state;
    if (changed || !reason.isEmpty())
        emit StateChanged(state, StateText());
}

QString TMqttPublisher::StateName(TMqttState state) {
    switch (state) {
    case TMqttState::_waiting:
        return QStringLiteral("waiting for a device");
    case TMqttState::_trying:
        return QStringLiteral("trying");
    case TMqttState::_connected:
        return QStringLiteral("connected");
    case TMqttState::_refused:
        return QStringLiteral("refused");
    }
    return QStringLiteral("unknown");
}

QString TMqttPublisher::StateText() const {
    QString text = QStringLiteral("MQTT: ") + StateName(FState);
    if (FState == TMqttState::_refused && !FLastError.isEmpty())
        text += QStringLiteral(" (%1)").arg(FLastError);
    return text;
}

QString TMqttPublisher::Prefix() const {
    std::lock_guard g(FShared->Mutex);
    return QString::fromUtf8(FShared->Prefix);
}

TMqttHealth TMqttPublisher::Health() const {
    TMqttHealth h;
    const TReadILFrameThread::TTotals t = TReadILFrameThread::Totals();
    h.FramesReceived = t.Frames;
    h.ChecksumErrors = t.CRCErrors;
    h.BytesDropped = t.BytesDropped;
    std::lock_guard g(FShared->Mutex);
    h.QueueDropped = FShared->QueueDropped;
    h.BeatsSkipped = FShared->BeatsSkipped;
    return h;
}
