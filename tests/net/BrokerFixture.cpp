#include "BrokerFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

namespace {

bool PortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

int RunProgram(const QString& program, const QStringList& args, QByteArray* output, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    if (output)
        *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool TBroker::Installed(QString* why) {
    if (QFileInfo(QString::fromLatin1(Program)).isExecutable())
        return true;
    if (why)
        *why = QStringLiteral("mosquitto is not installed (%1 missing; scripts/setup.sh "
                              "installs it)")
                   .arg(QString::fromLatin1(Program));
    return false;
}

TBroker::TBroker(QStringList extraConfig) : FExtraConfig(std::move(extraConfig)) {
    FProcess.setProcessChannelMode(QProcess::MergedChannels);
}

TBroker::~TBroker() {
    Stop();
}

bool TBroker::Start(QString* error) {
    if (FPort == 0)
        FPort = FreeLoopbackPort();
    QStringList lines{QStringLiteral("listener %1 127.0.0.1").arg(FPort)};
    // Run as root, mosquitto would drop to its own user, who may not read this test's folder.
    if (::geteuid() == 0)
        lines << QStringLiteral("user root");
    // A listener of mosquitto 2 refuses anonymous clients unless told otherwise.
    if (!FExtraConfig.join(QLatin1Char('\n')).contains(QLatin1String("allow_anonymous")))
        lines << QStringLiteral("allow_anonymous true");
    for (QString line : FExtraConfig) {
        for (int n = 0; line.contains(QStringLiteral("@PORT%1").arg(n)); ++n) {
            if (FExtraPorts.size() <= size_t(n))
                FExtraPorts.push_back(FreeLoopbackPort());
            line.replace(QStringLiteral("@PORT%1").arg(n), QString::number(FExtraPorts[size_t(n)]));
        }
        line.replace(QStringLiteral("@DIR"), FDir.path());
        lines << line;
    }
    // Options that apply to the first listener must come before the next one; callers write
    // them in order. Defaults for everything else.
    const QString conf = FDir.filePath(QStringLiteral("mosquitto.conf"));
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    f.close();
    FProcess.start(QString::fromLatin1(Program), {QStringLiteral("-c"), conf});
    if (!FProcess.waitForStarted(5000))
        return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        if (FProcess.state() != QProcess::Running)
            break;
        if (PortAccepts(FPort))
            return true;
        QThread::msleep(20);
    }
    if (error)
        *error = QString::fromUtf8(FProcess.readAll());
    Stop();
    return false;
}

void TBroker::Stop() {
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(2000);
    }
}

// --- TSubscriber ---------------------------------------------------------------------------------

TSubscriber::TSubscriber(int port, const QByteArray& filter, const QByteArray& id,
                         bool cleanSession)
    : FFilter(filter) {
    mosquitto_lib_init();
    FMosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), cleanSession, this);
    mosquitto_connect_callback_set(FMosq, &OnConnect);
    mosquitto_subscribe_callback_set(FMosq, &OnSubscribe);
    mosquitto_message_callback_set(FMosq, &OnMessage);
    mosquitto_connect(FMosq, "127.0.0.1", port, 30);
    mosquitto_loop_start(FMosq);
    WaitFor([this] { return Subscribed(); }, 10000);
}

TSubscriber::~TSubscriber() {
    mosquitto_disconnect(FMosq);
    mosquitto_loop_stop(FMosq, false);
    mosquitto_destroy(FMosq);
}

void TSubscriber::OnConnect(mosquitto* m, void* obj, int rc) {
    auto* self = static_cast<TSubscriber*>(obj);
    if (rc == 0)
        mosquitto_subscribe(m, nullptr, self->FFilter.constData(), 1);
}

void TSubscriber::OnSubscribe(mosquitto*, void* obj, int, int, const int*) {
    auto* self = static_cast<TSubscriber*>(obj);
    std::lock_guard g(self->FMutex);
    self->FSubscribed = true;
}

void TSubscriber::OnMessage(mosquitto*, void* obj, const mosquitto_message* m) {
    auto* self = static_cast<TSubscriber*>(obj);
    TReceived r;
    r.Topic = QByteArray(m->topic);
    r.Payload = QByteArray(static_cast<const char*>(m->payload), m->payloadlen);
    r.Retained = m->retain;
    std::lock_guard g(self->FMutex);
    self->FMessages.push_back(std::move(r));
}

bool TSubscriber::Subscribed() const {
    std::lock_guard g(FMutex);
    return FSubscribed;
}

std::vector<TReceived> TSubscriber::Messages() const {
    std::lock_guard g(FMutex);
    return FMessages;
}

std::vector<TReceived> TSubscriber::On(const QByteArray& topic) const {
    std::vector<TReceived> out;
    for (const TReceived& r : Messages())
        if (r.Topic == topic)
            out.push_back(r);
    return out;
}

bool TSubscriber::WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

bool TSubscriber::WaitForCount(const QByteArray& topic, size_t count, int timeoutMs) const {
    return WaitFor([&] { return On(topic).size() >= count; }, timeoutMs);
}
