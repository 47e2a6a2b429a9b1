// The frame log's recording, the receive thread's extra work per frame, measured against the
// link's line rate (960 frames/s).
//
//   BM_Record          one frame recorded, nobody watching
//   BM_RecordWatched   the same with the frame monitor subscribed and reading every 40 frames
//                      (one screen refresh at full line rate holds about 38 frames)

#include "laser/ObserverPatternUnit.h"
#include "protocol/FrameLogUnit.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double LineRateFramesPerSecond = 960.0;

TFrame SampleFrame() {
    const uint8_t data[8] = {4, 170, 0x35, 0x01, 0x5F, 0x0A, 0x2E, 0x0B};
    TFrame f = BuildFrame(0, 1, data);
    f[10] = 0x4F;
    f[11] = FrameChecksum(f);
    return f;
}

void SetRateCounters(benchmark::State& state) {
    const double frames = double(state.iterations());
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["x_line_rate"] =
        benchmark::Counter(frames / LineRateFramesPerSecond, benchmark::Counter::kIsRate);
}

void BM_Record(benchmark::State& state) {
    TFrameLog log;
    const TFrame f = SampleFrame();
    for (auto _ : state)
        log.Record(TFrameDirection::Received, f.data(), true);
    SetRateCounters(state);
}
BENCHMARK(BM_Record);

struct TQuiet : TObserver {
    uint64_t notified = 0;
    void Notify(TSubject*) override { ++notified; }
};

void BM_RecordWatched(benchmark::State& state) {
    TFrameLog log;
    TQuiet monitor;
    log.AddObserver(&monitor);
    const TFrame f = SampleFrame();
    uint64_t cursor = 0;
    int n = 0;
    for (auto _ : state) {
        log.Record(TFrameDirection::Received, f.data(), true);
        if (++n == 40) {
            n = 0;
            benchmark::DoNotOptimize(log.ReadSince(cursor));
        }
    }
    log.RemoveObserver(&monitor);
    SetRateCounters(state);
    state.counters["notifications"] = double(monitor.notified);
}
BENCHMARK(BM_RecordWatched);

} // namespace

BENCHMARK_MAIN();
