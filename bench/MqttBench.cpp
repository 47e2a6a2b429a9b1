// The network status stream under the link's full line rate, against a real mosquitto broker on
// loopback (started here with a throw-away configuration).
//
// The simulated laser system streams at full line rate through the receive thread; a small
// receiver feeds the status model from it as the window does (frequency reports, tuning status).
// Every 100 ms a tuning-status frame with a new value is put on the simulated line.
//
//   1. baseline: the same load, no publisher                 -> CPU share of one core
//   2. publishing, with a loopback subscriber on the status   -> CPU share, added CPU; delay from
//      the status frame's injection on the line to its message at the subscriber (p50/p99/max)
//   3. the broker down for --down-seconds with 200 events/s   -> resident memory over time, the
//      queue's drops; then the broker back: time until the queue is empty
//
// Usage: mqtt_bench [--seconds=20] [--down-seconds=60] [--error-period-ms=1]

#include "link/ConnectionUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "net/MqttPublisherUnit.h"
#include "protocol/ControllerReceiverUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "sim/SimFrameUnit.h"
#include "sim/SimulatorUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds of this process's threads with the given name ("mqtt publisher", the client
// library's "mosquitto loop").
double ThreadCpuSeconds(const QList<QByteArray>& names) {
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < 0 || !names.contains(stat.mid(open + 1, close - open - 1)))
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        // After the name: state is field 3 of stat; utime and stime are fields 14 and 15.
        total += (fields.value(11).toDouble() + fields.value(12).toDouble()) /
                 double(sysconf(_SC_CLK_TCK));
    }
    return total;
}

// CPU seconds of every thread of this process, by thread name.
std::map<QByteArray, double> CpuByThread() {
    std::map<QByteArray, double> out;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        out[stat.mid(open + 1, close - open - 1)] +=
            (fields.value(11).toDouble() + fields.value(12).toDouble()) /
            double(sysconf(_SC_CLK_TCK));
    }
    return out;
}

long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// Runs the event loop for ms milliseconds (sleeping while there is nothing to do).
void Serve(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class TBroker {
public:
    bool Start() {
        if (!Port)
            Port = FreePort();
        QFile f(Dir.filePath(QStringLiteral("m.conf")));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n%2")
                    .arg(Port)
                    .arg(::geteuid() == 0 ? QStringLiteral("user root\n") : QString())
                    .toUtf8());
        f.close();
        P.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), f.fileName()});
        if (!P.waitForStarted(5000))
            return false;
        Serve(500);
        return P.state() == QProcess::Running;
    }
    void Stop() {
        P.terminate();
        P.waitForFinished(5000);
    }
    QTemporaryDir Dir;
    QProcess P;
    int Port = 0;
};

// The window's part, reduced to what the status model needs.
class TModelFeeder : public QObject, public TControllerReceiver {
public:
    explicit TModelFeeder(TStatusModel& model) : Model(model) {}
    void CRCError() override {}
    void AddErrorSignalSample(uint16_t) override {}
    void AddServiceSample(int16_t) override {}
    void AddTestSample(uint16_t, uint16_t, uint16_t, uint16_t) override {}
    void AddFreqDiffSample(int32_t hz, uint16_t power) override {
        Model.FrequencyReport(hz, power);
    }
    void ShowTuningStatus(uint16_t state) override {
        if (!ReceivedNs.count(state))
            ReceivedNs[state] = NowNs();
        TStatusSnapshot s = Model.Snapshot();
        s.TuningStatus = state;
        s.TuningText = QStringLiteral("status %1").arg(state);
        Model.Update(s);
    }
    void ExpectedPeaks(uint16_t) override {}
    void ChangePeakOffset(int16_t) override {}
    void SetPeakLabelByIndex(int) override {}
    void SwitchCFTCalibrationMode() override {}
    void SetSpinValue(TSpinTarget, double) override {}
    void SetLabelCaption(TLabelTarget, const QString&) override {}
    void SetBarPosition(TBarTarget, int) override {}
    void TickStabilizationCheck() override {}
    void SetScopeScaleRow(int) override {}
    void SetHarmonicRow(int) override {}
    void ApplyHarmonicRule(bool) override {}
    void Beep() override {}
    void ErrorBeep() override {}
    TStatusModel& Model;
    std::map<int, int64_t> ReceivedNs; // tuning status value -> its report on the GUI thread
};

struct TArrivals {
    std::mutex Mutex;
    std::map<int, int64_t> AtNs; // tuning status value -> first arrival
    size_t Messages = 0;
};

void OnMessage(mosquitto*, void* obj, const mosquitto_message* m) {
    const int64_t now = NowNs();
    auto* a = static_cast<TArrivals*>(obj);
    const QJsonObject o =
        QJsonDocument::fromJson(QByteArray(static_cast<const char*>(m->payload), m->payloadlen))
            .object();
    std::lock_guard g(a->Mutex);
    ++a->Messages;
    const int v = o.value(QLatin1String("tuning_status")).toInt(-1);
    if (v >= 0 && !a->AtNs.count(v))
        a->AtNs[v] = now;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

int Arg(const QStringList& args, const QString& name, int fallback) {
    for (const QString& a : args)
        if (a.startsWith(name + QLatin1Char('=')))
            return a.mid(name.size() + 1).toInt();
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = Arg(app.arguments(), QStringLiteral("--seconds"), 20);
    const int downSeconds = Arg(app.arguments(), QStringLiteral("--down-seconds"), 60);

    TBroker broker;
    if (!broker.Start()) {
        std::fprintf(stderr, "mosquitto does not start\n");
        return 1;
    }
    TSimulatorOptions so;
    // 1 ms offers more than the line carries (the line is the limit, and a frame put on it waits
    // behind the boards' queue); 2 ms leaves room.
    so.ErrorSignalPeriodMs = Arg(app.arguments(), QStringLiteral("--error-period-ms"), 1);
    so.ServicePeriodMs = 10;
    TSimulatedLaserSystem sim(so);
    sim.Install();
    Connection = new TConnection;
    QStringList names;
    Connection->GetAvailableDevices(names);
    if (names.isEmpty()) {
        std::fprintf(stderr, "no simulated device\n");
        return 1;
    }
    Connection->SetDeviceID(names.first());
    if (!Connection->Connect()) {
        std::fprintf(stderr, "simulator does not connect\n");
        return 1;
    }
    TStatusModel model;
    TLinkEvents events;
    TStatusSnapshot s;
    s.Link = TLinkState::_connected;
    s.DeviceDescription = names.first();
    s.DeviceKind = 111111;
    model.Update(s);
    TModelFeeder feeder(model);
    StartILFrameReader(&feeder, &feeder);

    // A new tuning-status value on the line every 100 ms (values 100, 101, ...).
    std::map<int, int64_t> injectedNs;
    int nextValue = 100;
    QTimer injector;
    injector.setInterval(100);
    QObject::connect(&injector, &QTimer::timeout, [&] {
        const int v = nextValue++;
        const Sim::TWire w = Sim::Pack(1, Sim::PCNode, 3, Sim::TPayload().Word(1, uint16_t(v)));
        injectedNs[v] = NowNs();
        sim.InjectLineBytes(QByteArray(reinterpret_cast<const char*>(w.data()), Sim::Length));
    });
    injector.start();

    Serve(2000); // warm-up
    const auto measure = [&](const char* name) {
        const auto frames0 = TReadILFrameThread::Totals().Frames;
        const double cpu0 = CpuSeconds();
        const double net0 = ThreadCpuSeconds({"mqtt publisher", "mosquitto loop"});
        const std::map<QByteArray, double> threads0 = CpuByThread();
        QElapsedTimer t;
        t.start();
        Serve(seconds * 1000);
        const double wall = t.elapsed() / 1000.0;
        const double cpu = (CpuSeconds() - cpu0) / wall;
        const double fps = double(TReadILFrameThread::Totals().Frames - frames0) / wall;
        const double net = (ThreadCpuSeconds({"mqtt publisher", "mosquitto loop"}) - net0) / wall;
        std::printf("%-11s CPU %.2f %% of a core, %.0f frames/s = %.3f x line rate (960/s); "
                    "publisher and client-library threads %.3f %% of a core\n",
                    name, 100 * cpu, fps, fps / 960.0, 100 * net);
        for (const auto& [thread, seconds] : CpuByThread())
            std::printf("    thread %-16s %.2f %% of a core\n", thread.constData(),
                        100 * (seconds - (threads0.count(thread) ? threads0.at(thread) : 0)) /
                            wall);
        return cpu;
    };
    const double baseline = measure("baseline");

    TMqttOptions o;
    ParseMqttUrl(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.Port), o, nullptr);
    o.TopicPrefix = QStringLiteral("bench/l1");
    auto publisher = std::make_unique<TMqttPublisher>(o);
    publisher->Attach(&model, &events);
    publisher->Start();
    TArrivals arrivals;
    mosquitto_lib_init();
    mosquitto* sub = mosquitto_new(nullptr, true, &arrivals);
    mosquitto_message_callback_set(sub, &OnMessage);
    mosquitto_connect(sub, "127.0.0.1", broker.Port, 30);
    mosquitto_subscribe(sub, nullptr, "bench/l1/status", 1);
    mosquitto_loop_start(sub);
    Serve(1000);
    const int firstMeasured = nextValue;
    const double publishing = measure("publishing");
    const int lastMeasured = nextValue - 1;
    std::printf("added by publishing: %.2f %% of a core\n", 100 * (publishing - baseline));
    Serve(500);
    std::vector<double> delaysMs, fromReportMs;
    int missing = 0;
    {
        std::lock_guard g(arrivals.Mutex);
        for (int v = firstMeasured; v <= lastMeasured; ++v) {
            auto a = arrivals.AtNs.find(v);
            if (a == arrivals.AtNs.end())
                ++missing;
            else {
                delaysMs.push_back((a->second - injectedNs[v]) / 1e6);
                fromReportMs.push_back((a->second - feeder.ReceivedNs[v]) / 1e6);
            }
        }
    }
    std::printf("status frame on the line -> subscriber: %zu messages, p50 %.1f ms, p99 %.1f ms, "
                "max %.1f ms, %d missing\n",
                delaysMs.size(), Percentile(delaysMs, 0.5), Percentile(delaysMs, 0.99),
                delaysMs.empty() ? 0.0 : *std::max_element(delaysMs.begin(), delaysMs.end()),
                missing);

    std::printf("status report on the GUI thread -> subscriber: p50 %.1f ms, p99 %.1f ms, max "
                "%.1f ms\n",
                Percentile(fromReportMs, 0.5), Percentile(fromReportMs, 0.99),
                fromReportMs.empty() ? 0.0
                                     : *std::max_element(fromReportMs.begin(), fromReportMs.end()));

    // The broker away for a while, with far more events than usual.
    broker.Stop();
    QTimer eventer;
    eventer.setInterval(5);
    int eventCount = 0;
    QObject::connect(&eventer, &QTimer::timeout, [&] {
        events.Add(TLinkEventKind::_laser_head_state,
                   QStringLiteral("bench event %1").arg(eventCount), eventCount);
        ++eventCount;
    });
    eventer.start();
    const long rss0 = ResidentKiB();
    std::printf("broker down: RSS %ld KiB at start\n", rss0);
    for (int i = 1; i <= downSeconds; ++i) {
        Serve(1000);
        if (i % 10 == 0 || i == downSeconds)
            std::printf("broker down %3d s: RSS %ld KiB (%+ld), %d events, queue dropped %llu\n", i,
                        ResidentKiB(), ResidentKiB() - rss0, eventCount,
                        static_cast<unsigned long long>(publisher->Health().QueueDropped));
    }
    eventer.stop();
    broker.Start();
    QElapsedTimer back;
    back.start();
    while (publisher->State() != TMqttState::_connected && back.elapsed() < 60000)
        Serve(10);
    std::printf("broker back: connected after %lld ms\n", static_cast<long long>(back.elapsed()));

    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, false);
    mosquitto_destroy(sub);
    publisher.reset();
    injector.stop();
    StopILFrameReader();
    Connection->Disconnect();
    delete Connection;
    Connection = nullptr;
    broker.Stop();
    return 0;
}
