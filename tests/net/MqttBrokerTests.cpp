// The publisher against a real mosquitto broker on loopback: every topic and field, the
// retained status and the last will, a broker that goes away and comes back, a refused login,
// TLS with a certificate authority made here, and the program's answer to a bad address.
#include "BrokerFixture.h"

#include "net/MqttPublisherUnit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

#include <signal.h>

namespace {

class MqttBroker : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (!TBroker::Installed(&why))
            GTEST_SKIP() << qPrintable(why);
    }
};

TMqttLimits FastLimits() {
    TMqttLimits l;
    l.HealthIntervalMs = 300;
    l.BackoffMinMs = 50;
    l.BackoffMaxMs = 400;
    l.ConnectTimeoutMs = 5000;
    return l;
}

TMqttOptions Options(const QString& url, const QString& prefix) {
    TMqttOptions o;
    EXPECT_TRUE(ParseMqttUrl(url, o, nullptr)) << qPrintable(url);
    o.TopicPrefix = prefix;
    return o;
}

QJsonObject Json(const TReceived& r) {
    QJsonParseError e;
    const QJsonDocument d = QJsonDocument::fromJson(r.Payload, &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << r.Payload.constData();
    return d.object();
}

bool WaitForState(const TMqttPublisher& p, TMqttState state, int timeoutMs = 10000) {
    return TSubscriber::WaitFor([&] { return p.State() == state; }, timeoutMs);
}

// UTC ISO 8601 with milliseconds and a Z.
bool IsUtcTime(const QJsonValue& v) {
    const QString s = v.toString();
    return s.endsWith(QLatin1Char('Z')) && s.size() == 24 &&
           QDateTime::fromString(s, Qt::ISODateWithMs).isValid();
}

TStatusSnapshot LockedStatus() {
    TStatusSnapshot s;
    s.Link = TLinkState::_connected;
    s.TuningStatus = 3;
    s.TuningText = QStringLiteral("Locked");
    s.LockedPeak = QLatin1Char('f');
    s.IodineLaserRunning = true;
    s.LaserHeadState = 4;
    s.LaserHeadText = QStringLiteral("measurement");
    s.DeviceDescription = QStringLiteral("QRX-7A 111111");
    s.DeviceKind = 111111;
    s.CFT = 15.3;
    return s;
}

TLinkEvent Event(int value, TLinkEventKind kind = TLinkEventKind::_lock_lost) {
    TLinkEvent e;
    e.Time = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000LL + value, Qt::UTC);
    e.Kind = kind;
    e.Text = QStringLiteral("event %1").arg(value);
    e.Value = value;
    return e;
}

} // namespace

TEST_F(MqttBroker, EveryTopicCarriesItsFieldsAndAUtcTime) {
    TBroker broker;
    QString error;
    ASSERT_TRUE(broker.Start(&error)) << qPrintable(error);
    TSubscriber sub(broker.Port(), "lab/l1/#");
    ASSERT_TRUE(sub.Subscribed());

    TStatusModel status;
    TLinkEvents events;
    TMqttPublisher publisher(Options(broker.Url(), QStringLiteral("lab/l1")), FastLimits());
    publisher.Attach(&status, &events);
    publisher.Start();
    ASSERT_TRUE(WaitForState(publisher, TMqttState::_connected))
        << qPrintable(publisher.StateText());
    EXPECT_EQ(publisher.StateText(), QStringLiteral("MQTT: connected"));

    status.Update(LockedStatus());
    events.Add(TLinkEventKind::_lock_lost, QStringLiteral("lock lost (status 2)"), 2);
    // Three reports in one second, one in the next: the first second is complete.
    const QDateTime t0 =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 5, Qt::UTC);
    status.FrequencyReportAt(t0.addMSecs(100), 1000.0, 2100);
    status.FrequencyReportAt(t0.addMSecs(500), 2000.0, 2200);
    status.FrequencyReportAt(t0.addMSecs(900), 3000.0, 2300);
    status.FrequencyReportAt(t0.addMSecs(1200), 5.0, 10);

    ASSERT_TRUE(sub.WaitFor([&] {
        return !sub.On("lab/l1/beat").empty() && !sub.On("lab/l1/events").empty() &&
               !sub.On("lab/l1/health").empty() && sub.On("lab/l1/status").size() >= 2;
    }));

    const QJsonObject online = Json(sub.On("lab/l1/online").at(0));
    EXPECT_EQ(online.value(QLatin1String("online")), QJsonValue(true));
    EXPECT_TRUE(IsUtcTime(online.value(QLatin1String("time"))));

    const QJsonObject st = Json(sub.On("lab/l1/status").back());
    EXPECT_TRUE(IsUtcTime(st.value(QLatin1String("time"))));
    EXPECT_EQ(st.value(QLatin1String("link")).toString(), QStringLiteral("connected"));
    EXPECT_EQ(st.value(QLatin1String("tuning_status")).toInt(), 3);
    EXPECT_EQ(st.value(QLatin1String("tuning_text")).toString(), QStringLiteral("Locked"));
    EXPECT_EQ(st.value(QLatin1String("locked_peak")).toString(), QStringLiteral("f"));
    EXPECT_EQ(st.value(QLatin1String("iodine_laser_running")), QJsonValue(true));
    EXPECT_EQ(st.value(QLatin1String("laser_head_state")).toInt(), 4);
    EXPECT_EQ(st.value(QLatin1String("laser_head_text")).toString(), QStringLiteral("measurement"));
    EXPECT_EQ(st.value(QLatin1String("device")).toString(), QStringLiteral("QRX-7A 111111"));
    EXPECT_EQ(st.value(QLatin1String("device_kind")).toInt(), 111111);
    EXPECT_DOUBLE_EQ(st.value(QLatin1String("cft")).toDouble(), 15.3);
    // Before the first report nothing is locked: null, not an empty letter.
    EXPECT_TRUE(Json(sub.On("lab/l1/status").front()).value(QLatin1String("locked_peak")).isNull());

    const QJsonObject beat = Json(sub.On("lab/l1/beat").front());
    EXPECT_EQ(beat.value(QLatin1String("time")).toString(), TLinkEvent::FormatTime(t0));
    EXPECT_EQ(beat.value(QLatin1String("count")).toInt(), 3);
    EXPECT_DOUBLE_EQ(beat.value(QLatin1String("hz")).toDouble(), 2000.0);
    EXPECT_DOUBLE_EQ(beat.value(QLatin1String("power")).toDouble(), 2200.0);

    const QJsonObject ev = Json(sub.On("lab/l1/events").front());
    EXPECT_EQ(ev.value(QLatin1String("time")).toString(),
              TLinkEvent::FormatTime(events.Events().back().Time));
    EXPECT_EQ(ev.value(QLatin1String("kind")).toString(), QStringLiteral("lock_lost"));
    EXPECT_EQ(ev.value(QLatin1String("text")).toString(), QStringLiteral("lock lost (status 2)"));
    EXPECT_EQ(ev.value(QLatin1String("value")).toInt(), 2);
    EXPECT_FALSE(sub.On("lab/l1/events").front().Retained);

    const QJsonObject health = Json(sub.On("lab/l1/health").front());
    EXPECT_TRUE(IsUtcTime(health.value(QLatin1String("time"))));
    for (const char* key :
         {"frames_received", "checksum_errors", "bytes_dropped", "queue_dropped", "beats_skipped"})
        EXPECT_TRUE(health.value(QLatin1String(key)).isDouble()) << key;
    // Health comes again after its interval.
    EXPECT_TRUE(sub.WaitForCount("lab/l1/health", 2));

    // Nothing but the five topics.
    for (const TReceived& r : sub.Messages())
        EXPECT_TRUE(std::set<QByteArray>({"lab/l1/online", "lab/l1/status", "lab/l1/beat",
                                          "lab/l1/events", "lab/l1/health"})
                        .count(r.Topic))
            << r.Topic.constData();
}

TEST_F(MqttBroker, WithoutATopicThePrefixFollowsTheConnectedDevice) {
    TBroker broker;
    ASSERT_TRUE(broker.Start());
    TSubscriber sub(broker.Port(), "halvane/#");
    TStatusModel status;
    TMqttPublisher publisher(Options(broker.Url(), QString()), FastLimits());
    publisher.Attach(&status, nullptr);
    publisher.Start();
    // No device yet: nothing to name the topics after.
    EXPECT_EQ(publisher.StateText(), QStringLiteral("MQTT: waiting for a device"));

    TStatusSnapshot s = LockedStatus();
    s.DeviceDescription = QStringLiteral("QRX-7A a/b+c#");
    status.Update(s);
    ASSERT_TRUE(sub.WaitForCount("halvane/QRX-7A a_b_c_/status", 1));
    EXPECT_TRUE(sub.WaitForCount("halvane/QRX-7A a_b_c_/online", 1));

    // Another device: the old prefix is left offline, the new one comes online.
    s.DeviceDescription = QStringLiteral("TMVK v2");
    status.Update(s);
    ASSERT_TRUE(sub.WaitForCount("halvane/TMVK v2/online", 1));
    ASSERT_TRUE(sub.WaitForCount("halvane/QRX-7A a_b_c_/online", 2));
    const std::vector<TReceived> old = sub.On("halvane/QRX-7A a_b_c_/online");
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(Json(old[0]).value(QLatin1String("online")), QJsonValue(true));
    EXPECT_EQ(Json(old[1]).value(QLatin1String("online")), QJsonValue(false));
    EXPECT_TRUE(sub.WaitForCount("halvane/TMVK v2/status", 1));
}

TEST_F(MqttBroker, StatusIsRetainedAndTheLastWillSaysOfflineWhenTheProgramIsKilled) {
    TBroker broker;
    ASSERT_TRUE(broker.Start());
    QProcess probe;
    probe.start(QStringLiteral(PROBE_PATH),
                {QStringLiteral("--mqtt"), broker.Url(), QStringLiteral("--mqtt-topic"),
                 QStringLiteral("probe/p1")});
    ASSERT_TRUE(probe.waitForStarted(5000));
    TSubscriber first(broker.Port(), "probe/p1/status");
    ASSERT_TRUE(TSubscriber::WaitFor([&] {
        probe.waitForReadyRead(10);
        return probe.canReadLine() && probe.readLine().startsWith("connected");
    }));
    ASSERT_TRUE(first.WaitForCount("probe/p1/status", 1));
    // A subscriber that comes later still learns the status and that the laser is online.
    TSubscriber late(broker.Port(), "probe/p1/#");
    ASSERT_TRUE(late.WaitForCount("probe/p1/status", 1));
    ASSERT_TRUE(late.WaitForCount("probe/p1/online", 1));
    EXPECT_TRUE(late.On("probe/p1/status").front().Retained);
    EXPECT_EQ(Json(late.On("probe/p1/status").front()).value(QLatin1String("device")).toString(),
              QStringLiteral("QRX-7A probe"));
    EXPECT_TRUE(late.On("probe/p1/online").front().Retained);
    EXPECT_EQ(Json(late.On("probe/p1/online").front()).value(QLatin1String("online")),
              QJsonValue(true));

    ::kill(pid_t(probe.processId()), SIGKILL);
    probe.waitForFinished(5000);
    ASSERT_TRUE(late.WaitForCount("probe/p1/online", 2));
    const QJsonObject will = Json(late.On("probe/p1/online").back());
    EXPECT_EQ(will.value(QLatin1String("online")), QJsonValue(false));
    EXPECT_TRUE(IsUtcTime(will.value(QLatin1String("time"))));
    // And it stays so for whoever looks next.
    TSubscriber next(broker.Port(), "probe/p1/online");
    ASSERT_TRUE(next.WaitForCount("probe/p1/online", 1));
    EXPECT_TRUE(next.Messages().front().Retained);
    EXPECT_EQ(Json(next.Messages().front()).value(QLatin1String("online")), QJsonValue(false));
}

TEST_F(MqttBroker, ABrokerThatGoesAwayLosesNothingBeyondTheQueueAndNeverHoldsTheEventLoop) {
    TBroker broker({QStringLiteral("persistence true"),
                    QStringLiteral("persistence_location @DIR/"),
                    QStringLiteral("allow_anonymous true")});
    ASSERT_TRUE(broker.Start());
    // A subscriber whose session the broker keeps, with its QoS 1 messages, across the restart.
    auto sub = std::make_unique<TSubscriber>(broker.Port(), "r/#", "keeper", false);
    ASSERT_TRUE(sub->Subscribed());

    TMqttLimits limits = FastLimits();
    limits.QueueLimit = 20;
    TStatusModel status;
    TLinkEvents events;
    TMqttPublisher publisher(Options(broker.Url(), QStringLiteral("r")), limits);
    publisher.Attach(&status, nullptr);
    publisher.Start();
    ASSERT_TRUE(WaitForState(publisher, TMqttState::_connected));

    // The GUI thread's loop: a 10 ms timer whose largest gap is the worst lag. The test's own
    // blocking calls (stopping and starting the broker) are no part of it: the measure restarts.
    QElapsedTimer tick;
    tick.start();
    qint64 worstLagMs = 0;
    QTimer lagTimer;
    lagTimer.setInterval(10);
    QObject::connect(&lagTimer, &QTimer::timeout,
                     [&] { worstLagMs = std::max(worstLagMs, tick.restart() - 10); });
    lagTimer.start();

    for (int i = 0; i < 5; ++i)
        publisher.PublishEvent(Event(i));
    ASSERT_TRUE(sub->WaitForCount("r/events", 5));

    broker.Stop();
    tick.restart();
    ASSERT_TRUE(WaitForState(publisher, TMqttState::_trying));
    // 30 events while away: the queue keeps the newest 20. Beat seconds from the gap go.
    for (int i = 5; i < 35; ++i)
        publisher.PublishEvent(Event(i));
    const QDateTime t0 =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 9, Qt::UTC);
    for (int i = 0; i < 4; ++i)
        publisher.FrequencyReport(t0.addSecs(i), 100.0 * i, 3000);
    TSubscriber::WaitFor([] { return false; }, 500); // a while away, trying again meanwhile

    ASSERT_TRUE(broker.Start());
    tick.restart();
    ASSERT_TRUE(WaitForState(publisher, TMqttState::_connected, 15000));
    ASSERT_TRUE(TSubscriber::WaitFor(
        [&] {
            std::set<int> seen;
            for (const TReceived& r : sub->On("r/events"))
                seen.insert(Json(r).value(QLatin1String("value")).toInt());
            return seen.size() >= 25;
        },
        20000));
    std::set<int> seen;
    for (const TReceived& r : sub->On("r/events"))
        seen.insert(Json(r).value(QLatin1String("value")).toInt());
    std::set<int> expected;
    for (int i = 0; i < 5; ++i)
        expected.insert(i);
    for (int i = 15; i < 35; ++i)
        expected.insert(i);
    EXPECT_EQ(seen, expected);
    // The health message counts what the queue dropped (the ten oldest events at least, more if
    // the loss took long to notice) and the beat seconds skipped.
    const uint64_t dropped = publisher.Health().QueueDropped;
    EXPECT_GE(dropped, 10u);
    ASSERT_TRUE(TSubscriber::WaitFor(
        [&] {
            for (const TReceived& r : sub->On("r/health"))
                if (Json(r).value(QLatin1String("queue_dropped")).toInt() == int(dropped))
                    return true;
            return false;
        },
        30000))
        << dropped;
    EXPECT_EQ(publisher.Health().BeatsSkipped, 4u);
    EXPECT_TRUE(sub->On("r/beat").empty());
    // A sanity bound far above a normal loop's lag, not a speed figure: a publisher that waited
    // out its connect timeout (5 s here) inside the loop would pass it.
    EXPECT_LT(worstLagMs, 2000);
}

TEST_F(MqttBroker, AWrongPasswordIsRefusedWithTheBrokersReasonAndTheRightOneGetsIn) {
    TBroker broker(
        {QStringLiteral("allow_anonymous false"), QStringLiteral("password_file @DIR/passwd")});
    const QString passwd = QDir(broker.Dir()).filePath(QStringLiteral("passwd"));
    QByteArray out;
    ASSERT_EQ(RunProgram(QStringLiteral("mosquitto_passwd"),
                         {QStringLiteral("-b"), QStringLiteral("-c"), passwd,
                          QStringLiteral("laser"), QStringLiteral("right one")},
                         &out),
              0)
        << out.constData();
    QString error;
    ASSERT_TRUE(broker.Start(&error)) << qPrintable(error);

    for (const QString& password : {QStringLiteral("wrong"), QStringLiteral("right one")}) {
        TMqttOptions o = Options(broker.Url(), QStringLiteral("pw"));
        o.User = QStringLiteral("laser");
        o.Password = password;
        o.PasswordFile = QStringLiteral("pw-file");
        TMqttPublisher publisher(o, FastLimits());
        publisher.Start();
        if (password == QLatin1String("wrong")) {
            ASSERT_TRUE(WaitForState(publisher, TMqttState::_refused));
            EXPECT_TRUE(publisher.StateText().startsWith(QLatin1String("MQTT: refused (")))
                << qPrintable(publisher.StateText());
            EXPECT_GT(publisher.StateText().size(), QStringLiteral("MQTT: refused ()").size());
        } else {
            EXPECT_TRUE(WaitForState(publisher, TMqttState::_connected))
                << qPrintable(publisher.StateText());
        }
    }
}

TEST_F(MqttBroker, TlsWithTheTestsOwnAuthorityAndNotWithAnother) {
    TBroker broker(
        {QStringLiteral("allow_anonymous true"), QStringLiteral("listener @PORT0 127.0.0.1"),
         QStringLiteral("cafile @DIR/ca.crt"), QStringLiteral("certfile @DIR/server.crt"),
         QStringLiteral("keyfile @DIR/server.key")});
    const QDir dir(broker.Dir());
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    {
        QFile ext(path("ext.cnf"));
        ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1\n");
    }
    const QString openssl = QStringLiteral("openssl");
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                         QStringLiteral("-nodes")};
    QByteArray out;
    for (const char* ca : {"ca", "other"})
        ASSERT_EQ(
            RunProgram(
                openssl,
                QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
                    QStringList{QStringLiteral("-keyout"), path(ca) + ".key",
                                QStringLiteral("-out"), path(ca) + ".crt", QStringLiteral("-days"),
                                QStringLiteral("2"), QStringLiteral("-subj"),
                                QStringLiteral("/CN=Halvane test CA %1").arg(QLatin1String(ca))},
                &out),
            0)
            << out.constData();
    ASSERT_EQ(RunProgram(openssl,
                         QStringList{QStringLiteral("req")} + ec +
                             QStringList{QStringLiteral("-keyout"), path("server.key"),
                                         QStringLiteral("-out"), path("server.csr"),
                                         QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")},
                         &out),
              0)
        << out.constData();
    ASSERT_EQ(
        RunProgram(openssl,
                   {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    path("server.csr"), QStringLiteral("-CA"), path("ca.crt"),
                    QStringLiteral("-CAkey"), path("ca.key"), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-out"), path("server.crt"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-extfile"), path("ext.cnf")},
                   &out),
        0)
        << out.constData();
    QString error;
    ASSERT_TRUE(broker.Start(&error)) << qPrintable(error);
    TSubscriber sub(broker.Port(), "tls/#");
    const QString url = QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.ExtraPort(0));
    {
        TMqttOptions o = Options(url, QStringLiteral("tls"));
        o.CaFile = path("ca.crt");
        TStatusModel status;
        status.Update(LockedStatus());
        TMqttPublisher publisher(o, FastLimits());
        publisher.Attach(&status, nullptr);
        publisher.Start();
        ASSERT_TRUE(WaitForState(publisher, TMqttState::_connected))
            << qPrintable(publisher.StateText());
        EXPECT_TRUE(sub.WaitForCount("tls/status", 1));
    }
    {
        TMqttOptions o = Options(url, QStringLiteral("tls2"));
        o.CaFile = path("other.crt");
        TMqttPublisher publisher(o, FastLimits());
        publisher.Start();
        ASSERT_TRUE(WaitForState(publisher, TMqttState::_refused))
            << qPrintable(publisher.StateText());
        EXPECT_TRUE(
            publisher.StateText().contains(QLatin1String("certificate"), Qt::CaseInsensitive))
            << qPrintable(publisher.StateText());
        EXPECT_TRUE(sub.On("tls2/online").empty());
    }
}

#ifdef HALVANE_PATH
TEST(MqttProgram, AnAddressThatDoesNotParseEndsTheProgramWithStatus2AndSaysWhy) {
    for (const char* url : {"mqtt//broker", "tcp://broker:1883", "mqtt://broker:70000"}) {
        QByteArray out;
        EXPECT_EQ(RunProgram(QStringLiteral(HALVANE_PATH),
                             {QStringLiteral("--mqtt"), QString::fromLatin1(url)}, &out),
                  2)
            << url;
        EXPECT_TRUE(out.contains(url)) << out.constData();
    }
    QByteArray help;
    EXPECT_EQ(RunProgram(QStringLiteral(HALVANE_PATH), {QStringLiteral("--help")}, &help), 0);
    for (const char* flag : {"--mqtt URL", "--mqtt-ca FILE", "--mqtt-user NAME",
                             "--mqtt-password-file FILE", "--mqtt-topic PREFIX"})
        EXPECT_TRUE(help.contains(flag)) << flag;
}
#endif
