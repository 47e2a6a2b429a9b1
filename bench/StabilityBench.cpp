// Frequency-stability statistics, measured against their budgets: a bin arrives once a second.
//
//   BM_FullTable        all five kinds at octave taus for a 1,000,000-sample record (record
//                       built from the samples included)
//   BM_LiveUpdate       one new bin into the live accumulator of a 600,000-sample record, and
//                       the three live tables read back (what the view does once a second)
//   BM_Recompute        the straightforward alternative: the three tables recomputed from the
//                       600,000-sample record
//   BM_ReadFile         the analyser's reading of a 1,000,000-line file of fractional
//                       frequencies (parse and bin, in memory)
// Counters: x_realtime = record seconds handled per second of computation (1 bin per second).

#include "stability/DeviationUnit.h"
#include "stability/StabilityAccumulatorUnit.h"
#include "stability/StabilityFileUnit.h"

#include "StabilityBenchData.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

namespace {

// A real laser's beat, in Hz.
std::vector<double> BeatHz(size_t n) {
    return WhiteAndWalk(n, 150e6, 1500, 150);
}

constexpr double Nu = DefaultOpticalFrequencyMHz * 1e6;
constexpr TDeviationKind LiveKinds[] = {TDeviationKind::_oadev, TDeviationKind::_mdev,
                                        TDeviationKind::_ohdev};

void BM_FullTable(benchmark::State& state) {
    const std::vector<double> hz = BeatHz(1'000'000);
    for (auto _ : state) {
        TFrequencyRecord record;
        record.Reserve(static_cast<int64_t>(hz.size()));
        for (double v : hz) {
            record.Append(v / Nu);
        }
        const std::vector<int64_t> factors = AveragingFactors(TTauSpacing::_octave, record.Size());
        for (TDeviationKind kind : AllDeviationKinds) {
            benchmark::DoNotOptimize(DeviationTable(record, kind, factors, 1.0));
        }
    }
    state.counters["x_realtime"] =
        benchmark::Counter(1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullTable)->Unit(benchmark::kMillisecond);

TStabilityAccumulator& Filled() {
    static TStabilityAccumulator acc = [] {
        TStabilityAccumulator a;
        for (double v : BeatHz(600'000)) {
            a.AddBeat(v);
        }
        return a;
    }();
    return acc;
}

void BM_LiveUpdate(benchmark::State& state) {
    TStabilityAccumulator& acc = Filled();
    double v = 150e6;
    for (auto _ : state) {
        acc.AddBeat(v += 1.0);
        for (TDeviationKind kind : LiveKinds) {
            benchmark::DoNotOptimize(acc.Table(kind));
        }
        benchmark::DoNotOptimize(acc.Statistics());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LiveUpdate)->Unit(benchmark::kMicrosecond);

void BM_Recompute(benchmark::State& state) {
    TStabilityAccumulator& acc = Filled();
    const std::vector<int64_t> factors =
        AveragingFactors(TTauSpacing::_octave, acc.Record().Size());
    for (auto _ : state) {
        for (TDeviationKind kind : LiveKinds) {
            benchmark::DoNotOptimize(DeviationTable(acc.Record(), kind, factors, 1.0));
        }
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Recompute)->Unit(benchmark::kMillisecond);

void BM_ReadFile(benchmark::State& state) {
    QByteArray text;
    for (double v : BeatHz(1'000'000)) {
        text += QByteArray::number(v / Nu, 'g', 17);
        text += '\n';
    }
    for (auto _ : state) {
        TStabilityFileData data;
        QString error;
        benchmark::DoNotOptimize(
            ParseStabilityText(text, QStringLiteral("bench"), 1.0, Nu, &data, &error));
    }
    state.counters["x_realtime"] =
        benchmark::Counter(1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
