// The link's health against the simulated laser system in real time, through the operator
// window as it runs:
//   - from the unplug (the next poll fails) to "Connection error" in StatusLabel,
//   - from the adapter's return to the first checked frame of the reconnected link (the window
//     looks once a second, so this includes the wait for its next look),
//   - the process's CPU share while it looks for a device that stays away.
// Times are reported in milliseconds and as a share of the 1.5 s the operator may wait.
//
// Usage: link_health_bench [--benchmark_repetitions=N] (any Qt platform; offscreen by default)

#include "app/GlobalUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "sim/SimulatorUnit.h"
#include "ui/main/MainUnit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

namespace {

constexpr double OperatorWaitMs = 1500;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident set size in KiB.
long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Runs the event loop until done() or the limit; the elapsed milliseconds, or -1.
double RunUntil(const std::function<bool()>& done, int limitMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

struct TRig {
    TSimulatedLaserSystem Sim;
    std::unique_ptr<TMainForm> Form;
    QLabel* Status = nullptr;

    TRig() {
        Sim.Install();
        Form = std::make_unique<TMainForm>();
        Status = Form->findChild<QLabel*>(QStringLiteral("StatusLabel"));
        Form->SearchUrzadzenButtonClick();
        Form->findChild<QPushButton*>(QStringLiteral("ConnectButton"))->click();
        RunUntil([&] { return ILFrameReader && ILFrameReader->FramesChecked() > 10; });
    }
    ~TRig() {
        Form.reset();
        Sim.Uninstall();
    }
    bool Flowing() const { return ILFrameReader && ILFrameReader->FramesChecked() > 0; }
};

TRig& Rig() {
    static TRig* rig = new TRig; // lives to the end of the process
    return *rig;
}

// Mean and worst time over the iterations, and the mean as a share of the operator's 1.5 s.
void Report(benchmark::State& state, double total, double worst) {
    const double mean = total / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["mean_ms"] = mean;
    state.counters["worst_ms"] = worst;
    state.counters["mean_share_of_1.5s"] = mean / OperatorWaitMs;
}

void BM_UnplugToConnectionError(benchmark::State& state) {
    TRig& rig = Rig();
    double total = 0, worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!rig.Flowing()) {
            rig.Sim.Replug();
            RunUntil([&] { return rig.Flowing(); });
        }
        state.ResumeTiming();
        rig.Sim.Unplug();
        const double ms =
            RunUntil([&] { return rig.Status->text() == QLatin1String("Connection error"); });
        state.SetIterationTime(ms / 1000);
        total += ms;
        worst = std::max(worst, ms);
        state.PauseTiming();
        rig.Sim.Replug();
        RunUntil([&] { return rig.Flowing(); });
        state.ResumeTiming();
    }
    Report(state, total, worst);
}
BENCHMARK(BM_UnplugToConnectionError)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

void BM_ReturnToFirstFrame(benchmark::State& state) {
    TRig& rig = Rig();
    double total = 0, worst = 0;
    int phase = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.Sim.Unplug();
        RunUntil([&] { return rig.Form->LinkLost() && !ILFrameReader; });
        // The return falls anywhere within the window's look period.
        RunUntil([] { return false; }, 137 * (phase++ % 7 + 1));
        state.ResumeTiming();
        rig.Sim.Replug();
        const double ms = RunUntil([&] { return rig.Flowing(); });
        state.SetIterationTime(ms / 1000);
        total += ms;
        worst = std::max(worst, ms);
    }
    Report(state, total, worst);
}
BENCHMARK(BM_ReturnToFirstFrame)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

void BM_CpuWhileLooking(benchmark::State& state) {
    TRig& rig = Rig();
    rig.Sim.Unplug();
    RunUntil([&] { return rig.Form->LinkLost() && !ILFrameReader; });
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        // Idle in the event loop as the program does; the looks come once a second.
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const double share =
            (CpuSeconds() - cpu0) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
        state.SetIterationTime(static_cast<double>(wall.nsecsElapsed()) / 1e9);
        state.counters["cpu_share_of_a_core"] = share;
    }
    rig.Sim.Replug();
    RunUntil([&] { return rig.Flowing(); });
}
BENCHMARK(BM_CpuWhileLooking)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident memory over many unplug and return cycles (after a first cycle has warmed up).
void BM_UnplugCyclesMemory(benchmark::State& state) {
    TRig& rig = Rig();
    auto cycle = [&] {
        rig.Sim.Unplug();
        RunUntil([&] { return rig.Form->LinkLost() && !ILFrameReader; });
        rig.Sim.Replug();
        RunUntil([&] { return rig.Flowing(); });
    };
    cycle();
    const long before = ResidentKiB();
    int cycles = 0;
    for (auto _ : state) {
        cycle();
        ++cycles;
    }
    const long after = ResidentKiB();
    state.counters["rss_before_kib"] = static_cast<double>(before);
    state.counters["rss_growth_kib_per_cycle"] =
        static_cast<double>(after - before) / std::max(cycles, 1);
}
BENCHMARK(BM_UnplugCyclesMemory)->Iterations(30)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TApplicationManager::SetInstanceCheck([] { return true; });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
