// The simulated laser system against the line rate (11,520 bytes/s = 960 frames/s), read
// through the program's link every 3 ms as the receive thread reads it.
//
//   line_rate_ratio   bytes delivered over 10 s of the steady clock / (11,520 x elapsed s)
//   x_line_rate       how many times faster than the line the simulator can run when its clock
//                     is driven (boards, line, adapter and reads together)

#include "link/ConnectionUnit.h"
#include "sim/SimulatorUnit.h"

#include <QThread>

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

// The boards send twice what the line carries, so the line is never idle.
TSimulatorOptions Flooding(bool manualClock) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.ManualClock = manualClock;
    o.ErrorSignalPeriodMs = 1;
    o.ServicePeriodMs = 1;
    return o;
}

bool Open(TConnection& c) {
    QStringList names;
    c.GetAvailableDevices(names);
    if (names.isEmpty())
        return false;
    c.SetDeviceID(names.first());
    return c.Connect();
}

uint64_t Drain(TConnection& c, std::vector<char>& buffer) {
    uint32_t count = 0;
    if (!c.GetReadDataCount(count) || count == 0)
        return 0;
    if (buffer.size() < count)
        buffer.resize(count);
    return c.Read(buffer.data(), count) ? count : 0;
}

void BM_LinePacingOnTheSteadyClock(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        TSimulatedLaserSystem sim(Flooding(false));
        sim.Install();
        TConnection c;
        if (!Open(c)) {
            state.SkipWithError("the simulated adapter did not open");
            return;
        }
        std::vector<char> buffer;
        const Clock::time_point warm = Clock::now() + std::chrono::milliseconds(300);
        while (Clock::now() < warm) {
            Drain(c, buffer);
            QThread::msleep(3);
        }
        Drain(c, buffer);
        const Clock::time_point start = Clock::now();
        uint64_t bytes = 0;
        while (Clock::now() - start < std::chrono::seconds(10)) {
            QThread::msleep(3);
            bytes += Drain(c, buffer);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["line_rate_ratio"] = static_cast<double>(bytes) / (11520.0 * seconds);
        state.counters["frames_per_s"] = static_cast<double>(bytes) / 12 / seconds;
        c.Disconnect();
    }
}
BENCHMARK(BM_LinePacingOnTheSteadyClock)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SimulatedLinkSpeed(benchmark::State& state) {
    TSimulatedLaserSystem sim(Flooding(true));
    sim.Install();
    TConnection c;
    if (!Open(c)) {
        state.SkipWithError("the simulated adapter did not open");
        return;
    }
    std::vector<char> buffer;
    for (auto _ : state) {
        for (int step = 0; step < 3334; ++step) { // 10 s of line time in 3 ms polls
            sim.AdvanceMs(3);
            benchmark::DoNotOptimize(Drain(c, buffer));
        }
    }
    state.counters["x_line_rate"] = benchmark::Counter(
        10.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    c.Disconnect();
}
BENCHMARK(BM_SimulatedLinkSpeed)->Unit(benchmark::kMillisecond);

} // namespace
