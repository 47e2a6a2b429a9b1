// The link through the kernel's tty layer: halvane-sim --pty in a process of its own, the
// program's kernel-driver transport, TConnection and receive thread on this side.
//
//   BM_ReceiveThroughPty/paced      the simulator at line rate (11,520 bytes/s), error-signal
//                                   frames offered every 1 ms (more than the line carries):
//                                   frames_per_s, x_line_rate (against 960 frames/s), cpu_share
//                                   of this process (one core = 1), sim_cpu_share of halvane-sim
//   BM_ReceiveThroughPty/unpaced    the simulated line 1000 times faster and 100 error-signal
//                                   frames a millisecond: the tty path's own ceiling
//   BM_ReceiveInProcess             the same paced run on the in-process simulator (its own work
//                                   is then part of this process's CPU)
//   BM_FirmwareThroughPty/<latency> a 64 KiB colon image into the controller's boot loader, the
//                                   simulated adapter's latency timer at 5 ms (what the program
//                                   asks for while programming) or 16 ms (what a pseudo-terminal,
//                                   having no latency attribute, leaves): run_s, link_min_s (every
//                                   acknowledged frame and its answer, 24 bytes at 11,520 bytes/s;
//                                   the finish frame 12), x_link_min

#include "../tests/protocol/RecordingReceiver.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "link/ConnectionUnit.h"
#include "link/SerialPortUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "sim/SimulatorUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

constexpr double LineFramesPerS = 960;
constexpr double LineBytesPerS = 11520;
constexpr int RunSeconds = 10;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "pty_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// A real event loop: the receive thread's queued and synchronised calls are served the moment
// they are posted, as in the window.
void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The kernel-driver transport for one path, counting the bytes the program wrote.
class TCountingPort : public TSerialPortD2XXTable {
public:
    FT_STATUS Write(FT_HANDLE h, const void* b, FT_DWORD n, FT_DWORD* written) override {
        const FT_STATUS s = TSerialPortD2XXTable::Write(h, b, n, written);
        if (s == FT_OK)
            Bytes += *written;
        return s;
    }
    std::atomic<uint64_t> Bytes{0};
};

// halvane-sim with these options, and the program's link connected to it.
struct TPtySession {
    QProcess Sim;
    TCountingPort Port;
    TRecordingReceiver Receiver;
    QObject Context;
    bool Ok = false;

    explicit TPtySession(const QStringList& options) {
        App();
        Sim.start(QStringLiteral(HALVANE_SIM_PATH), QStringList{"--pty"} + options);
        if (!Sim.waitForStarted(10000))
            return;
        for (int i = 0; i < 100 && !Sim.canReadLine(); ++i)
            Sim.waitForReadyRead(100);
        const QString path = QString::fromLocal8Bit(Sim.readLine()).trimmed();
        Port.SetFixedPort(path, 111111);
        D2XX::SetTable(&Port);
        Ok = Open(Receiver, Context);
    }
    ~TPtySession() {
        Close();
        D2XX::SetTable(nullptr);
        Sim.terminate();
        Sim.waitForFinished(5000);
    }

    static bool Open(TRecordingReceiver& receiver, QObject& context) {
        Laser = new TLaser();
        Connection = new TConnection();
        QStringList names;
        Connection->GetAvailableDevices(names);
        Connection->SetDeviceID(names.value(0));
        if (!Connection->Connect())
            return false;
        StartILFrameReader(&receiver, &context);
        return true;
    }
    static void Close() {
        if (ILFrameReader)
            StopILFrameReader();
        if (Connection)
            Connection->Disconnect();
        TConnection* c = Connection;
        Connection = nullptr;
        delete c;
        TLaser* l = Laser;
        Laser = nullptr;
        delete l;
    }
};

// Frames the receive thread checked over RunSeconds after a warm-up, with this process's CPU.
void Measure(benchmark::State& state, qint64 simPid) {
    Wait(1500);
    const uint64_t framesBefore = ILFrameReader ? ILFrameReader->FramesChecked() : 0;
    const uint64_t crcBefore = ILFrameReader ? ILFrameReader->CRCErrors() : 0;
    const double cpuBefore = CpuSeconds();
    const double simBefore = simPid > 0 ? ProcessCpuSeconds(simPid) : 0;
    QElapsedTimer wall;
    wall.start();
    for (auto _ : state)
        Wait(RunSeconds * 1000);
    const double s = double(wall.nsecsElapsed()) / 1e9;
    const double frames = double(ILFrameReader->FramesChecked() - framesBefore);
    state.counters["frames_per_s"] = frames / s;
    state.counters["x_line_rate"] = frames / s / LineFramesPerS;
    state.counters["crc_errors"] = double(ILFrameReader->CRCErrors() - crcBefore);
    state.counters["cpu_share"] = (CpuSeconds() - cpuBefore) / s;
    if (simPid > 0)
        state.counters["sim_cpu_share"] = (ProcessCpuSeconds(simPid) - simBefore) / s;
}

void BM_ReceiveThroughPty(benchmark::State& state) {
    const bool unpaced = state.range(0) == 1;
    QStringList options{"--quick", "--error-period-ms=1"};
    if (unpaced)
        options << "--line-bytes-per-second=11520000"
                << "--error-frames=100";
    TPtySession session(options);
    if (!session.Ok) {
        state.SkipWithError("halvane-sim did not connect");
        return;
    }
    Measure(state, session.Sim.processId());
}

void BM_ReceiveInProcess(benchmark::State& state) {
    App();
    TSimulatorOptions o;
    o.IodineWarmUpMs = 0;
    o.ErrorSignalPeriodMs = 1;
    TSimulatedLaserSystem sim(o);
    sim.Install();
    TRecordingReceiver receiver;
    QObject context;
    if (!TPtySession::Open(receiver, context)) {
        state.SkipWithError("no connection");
    } else {
        Measure(state, 0);
    }
    TPtySession::Close();
    sim.Uninstall();
}

QString WriteImage(const QTemporaryDir& dir, unsigned bytes) {
    const QString path = dir.filePath(QStringLiteral("image64k.hex1"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    auto hex2 = [](unsigned v) {
        return QByteArray::number(v & 0xFF, 16).toUpper().rightJustified(2, '0');
    };
    for (unsigned offset = 0; offset < bytes; offset += 16) {
        if (offset % 0x10000 == 0 && offset) {
            const unsigned upper = offset >> 16;
            const unsigned sum = 2 + 4 + (upper >> 8) + (upper & 0xFF);
            f.write(":02000004" + hex2(upper >> 8) + hex2(upper) + hex2(0x100 - (sum & 0xFF)) +
                    "\r\n");
        }
        const unsigned low = offset & 0xFFFF;
        unsigned sum = 16 + (low >> 8) + (low & 0xFF);
        QByteArray line = ":10" + hex2(low >> 8) + hex2(low) + "00";
        for (unsigned i = 0; i < 16; ++i) {
            line += hex2((offset + i) * 7 + 3);
            sum += (offset + i) * 7 + 3;
        }
        f.write(line + hex2(0x100 - (sum & 0xFF)) + "\r\n");
    }
    f.write(":00000001FF\r\n");
    return path;
}

void BM_FirmwareThroughPty(benchmark::State& state) {
    TPtySession session({QStringLiteral("--latency-ms=%1").arg(state.range(0))});
    QTemporaryDir dir;
    const QString image = WriteImage(dir, 64 * 1024);
    if (!session.Ok || image.isEmpty()) {
        state.SkipWithError("halvane-sim did not connect");
        return;
    }
    double runS = 0, frames = 0;
    bool ok = true;
    QString why;
    for (auto _ : state) {
        const uint64_t before = session.Port.Bytes.load();
        TFirmwareUpdater updater;
        updater.SetDevId(BoardController);
        UpdatingDeviceId.store(BoardController);
        std::atomic<bool> done{false};
        QElapsedTimer timer;
        timer.start();
        std::thread worker([&] {
            updater.Update(image);
            done.store(true);
        });
        while (!done.load()) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        runS = double(timer.nsecsElapsed()) / 1e9;
        worker.join();
        UpdatingDeviceId.store(0);
        frames = double(session.Port.Bytes.load() - before) / 12;
        ok = updater.Error() == _fue_none && updater.ProgrammingState() == 100;
        why =
            updater.GetErrorAsString() + QStringLiteral(" at %1 %").arg(updater.ProgrammingState());
    }
    if (!ok) {
        state.SkipWithError(("the run failed: " + why).toStdString().c_str());
        return;
    }
    // Every frame but the finish is answered with one frame.
    const double minS = ((frames - 1) * 24 + 12) / LineBytesPerS;
    state.counters["frames"] = frames;
    state.counters["run_s"] = runS;
    state.counters["link_min_s"] = minS;
    state.counters["x_link_min"] = runS / minS;
}

} // namespace

BENCHMARK(BM_ReceiveThroughPty)
    ->ArgName("unpaced")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_ReceiveInProcess)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_FirmwareThroughPty)
    ->ArgName("latency_ms")
    ->Arg(5)
    ->Arg(16)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
