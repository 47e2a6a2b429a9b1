#pragma once
// A real mosquitto broker for the tests: a throw-away configuration in a temporary folder, a
// free loopback port, started and stopped by the test. And a subscriber on the client library
// that records what arrives.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <mutex>
#include <vector>

struct mosquitto;

class TBroker {
public:
    static constexpr const char* Program = "/usr/sbin/mosquitto";
    // False (with a message for GTEST_SKIP) when mosquitto is not installed.
    static bool Installed(QString* why);

    explicit TBroker(QStringList extraConfig = {});
    ~TBroker();

    // Writes the configuration and starts the broker on a free loopback port (the same port
    // again after a Stop). False with the broker's own output when it does not come up.
    bool Start(QString* error = nullptr);
    void Stop(); // SIGTERM and wait: a persistent broker saves its sessions
    int Port() const { return FPort; }
    // Extra listener ports asked for with "listener @PORTn" in extraConfig.
    int ExtraPort(int n) const { return FExtraPorts.at(size_t(n)); }
    QString Dir() const { return FDir.path(); }
    QString Url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(FPort); }

private:
    QTemporaryDir FDir;
    QStringList FExtraConfig;
    QProcess FProcess;
    int FPort = 0;
    std::vector<int> FExtraPorts;
};

struct TReceived {
    QByteArray Topic;
    QByteArray Payload;
    bool Retained = false;
};

// Subscribes to one topic filter on a broker and keeps everything that arrives.
class TSubscriber {
public:
    // cleanSession false + a fixed id: the broker keeps QoS 1 messages for it while it is away.
    TSubscriber(int port, const QByteArray& filter, const QByteArray& id = {},
                bool cleanSession = true);
    ~TSubscriber();
    bool Subscribed() const;

    std::vector<TReceived> Messages() const;
    std::vector<TReceived> On(const QByteArray& topic) const;
    // Serves the Qt event loop until pred holds or timeoutMs passed; returns pred's last value.
    static bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000);
    bool WaitForCount(const QByteArray& topic, size_t count, int timeoutMs = 10000) const;

private:
    static void OnConnect(mosquitto*, void*, int);
    static void OnSubscribe(mosquitto*, void*, int, int, const int*);
    static void OnMessage(mosquitto*, void*, const struct mosquitto_message*);
    mosquitto* FMosq = nullptr;
    QByteArray FFilter;
    mutable std::mutex FMutex;
    std::vector<TReceived> FMessages;
    bool FSubscribed = false;
};

// A free TCP port on 127.0.0.1 (bound, read, released).
int FreeLoopbackPort();
// Runs a program to its end (bounded); its exit code, or -1.
int RunProgram(const QString& program, const QStringList& args, QByteArray* output = nullptr,
               int timeoutMs = 30000);
