// Every kind of the stability analysis against the straightforward formula written here.
//
//   BM_Octave/<kind>        the kind's table at octave taus over 1,000,000 samples (noise
//                           identification, EDF and interval included)
//   BM_OctaveCapped/<kind>  the same at the taus of BM_OctavePlain (where that is capped)
//   BM_OctavePlain/<kind>   the same deviations by the straightforward formula (phase built,
//                           each term summed in full: MDEV / TDEV O(N m) per tau, MTIE O(N m))
//   BM_Many/<kind>          `--taus many` over 557,000 samples, the O(N)-per-tau kinds
//   BM_ManyPlain/<kind>     their straightforward formula at the same taus
// Counter: x_realtime = record seconds handled per second of computation (1 sample per second).
// The straightforward MDEV, TDEV and MTIE stop at m = 1024, MTOTDEV, TTOTDEV, HTOTDEV and Theo1
// (each window or start summed in full, O(N m) per tau) at m = 64: beyond, hours (label: the
// longest m). The analysis computes every kind at every octave tau.

#include "stability/StabilityAnalysisUnit.h"
#include "stability/TotalDeviationUnit.h"

#include "StabilityBenchData.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace {

struct TData {
    std::vector<double> Y;
    std::vector<double> X; // phase, tau0 = 1
    TFrequencyRecord Record;
    explicit TData(size_t n) : Y(WhiteAndWalk(n, 0, 3e-12, 1e-15)), X(n + 1, 0.0) {
        Record.Reserve(static_cast<int64_t>(n));
        for (size_t i = 0; i < n; ++i) {
            Record.Append(Y[i]);
            X[i + 1] = X[i] + Y[i];
        }
    }
};

const TData& Million() {
    static const TData d(1'000'000);
    return d;
}
const TData& Cs() {
    static const TData d(557'000);
    return d;
}

// The kinds whose straightforward form is O(N m) per tau with a large constant.
bool Windowed(TDeviationKind kind) {
    return kind == TDeviationKind::_mtotdev || kind == TDeviationKind::_ttotdev ||
           kind == TDeviationKind::_htotdev || kind == TDeviationKind::_theo1;
}

std::vector<int64_t> OctaveFactors(const TStabilityAnalysis& a, TDeviationKind kind) {
    return a.Factors(kind, TTauSpacing::_octave);
}

// The mean over the windows of 3m values of v of the mean square of the 6m second differences
// of m-point averages of the window, detrended by its half averages and reflected to 9m.
double PlainWindowMean(const std::vector<double>& v, int64_t m) {
    const int64_t w3 = 3 * m;
    const int64_t half = w3 / 2;
    const int64_t count = static_cast<int64_t>(v.size()) - w3 + 1;
    std::vector<double> e(static_cast<size_t>(9 * m));
    std::vector<double> c(static_cast<size_t>(9 * m + 1));
    double total = 0;
    for (int64_t s = 0; s < count; ++s) {
        double first = 0;
        double second = 0;
        for (int64_t k = 0; k < half; ++k) {
            first += v[s + k];
            second += v[s + w3 - half + k];
        }
        const double slope = (second - first) / static_cast<double>(half * (w3 - half));
        for (int64_t k = 0; k < w3; ++k) {
            const double w = v[s + k] - v[s] - slope * static_cast<double>(k);
            e[w3 - 1 - k] = w;
            e[w3 + k] = w;
            e[3 * w3 - 1 - k] = w;
        }
        // m-sums from running sums of the extension
        double acc = 0;
        c[0] = 0;
        for (int64_t k = 0; k < 3 * w3; ++k) {
            acc += e[k];
            c[k + 1] = acc;
        }
        double sum = 0;
        for (int64_t i = 0; i < 6 * m; ++i) {
            const double a =
                (c[i + m] - c[i]) - 2 * (c[i + 2 * m] - c[i + m]) + (c[i + 3 * m] - c[i + 2 * m]);
            sum += (a / static_cast<double>(m)) * (a / static_cast<double>(m));
        }
        total += sum / static_cast<double>(6 * m);
    }
    return total / static_cast<double>(count);
}

// The straightforward deviation of a kind at m from the phase x (n + 1 points).
double Plain(TDeviationKind kind, const std::vector<double>& x, int64_t m) {
    const int64_t n = static_cast<int64_t>(x.size());
    const double md = static_cast<double>(m);
    double sum = 0;
    int64_t terms = 0;
    switch (kind) {
    case TDeviationKind::_adev:
    case TDeviationKind::_oadev: {
        const int64_t step = kind == TDeviationKind::_adev ? m : 1;
        for (int64_t i = 0; i + 2 * m < n; i += step) {
            const double t = x[i + 2 * m] - 2 * x[i + m] + x[i];
            sum += t * t;
            ++terms;
        }
        return std::sqrt(sum / (2 * md * md * static_cast<double>(terms)));
    }
    case TDeviationKind::_hdev:
    case TDeviationKind::_ohdev: {
        const int64_t step = kind == TDeviationKind::_hdev ? m : 1;
        for (int64_t i = 0; i + 3 * m < n; i += step) {
            const double t = x[i + 3 * m] - 3 * x[i + 2 * m] + 3 * x[i + m] - x[i];
            sum += t * t;
            ++terms;
        }
        return std::sqrt(sum / (6 * md * md * static_cast<double>(terms)));
    }
    case TDeviationKind::_mdev:
    case TDeviationKind::_tdev: {
        for (int64_t j = 0; j + 3 * m - 1 < n; ++j) {
            double inner = 0;
            for (int64_t i = j; i < j + m; ++i) {
                inner += x[i + 2 * m] - 2 * x[i + m] + x[i];
            }
            sum += inner * inner;
            ++terms;
        }
        const double mdev = std::sqrt(sum / (2 * md * md * md * md * static_cast<double>(terms)));
        return kind == TDeviationKind::_tdev ? mdev * md / std::sqrt(3.0) : mdev;
    }
    case TDeviationKind::_totdev: {
        std::vector<double> e(static_cast<size_t>(3 * n));
        for (int64_t k = 0; k < 3 * n; ++k) {
            const int64_t i = k - n;
            e[static_cast<size_t>(k)] = i < 0       ? 2 * x[0] - x[-i]
                                        : i > n - 1 ? 2 * x[n - 1] - x[2 * (n - 1) - i]
                                                    : x[i];
        }
        for (int64_t i = 1; i <= n - 2; ++i) {
            const double t = e[i - m + n] - 2 * e[i + n] + e[i + m + n];
            sum += t * t;
        }
        return std::sqrt(sum / (2 * md * md * static_cast<double>(n - 2)));
    }
    case TDeviationKind::_mtie: {
        double best = 0;
        for (int64_t i = 0; i + m < n; ++i) {
            const auto [lo, hi] = std::minmax_element(x.begin() + i, x.begin() + i + m + 1);
            best = std::max(best, *hi - *lo);
        }
        return best;
    }
    case TDeviationKind::_tierms:
        for (int64_t i = 0; i + m < n; ++i) {
            const double d = x[i + m] - x[i];
            sum += d * d;
        }
        return std::sqrt(sum / static_cast<double>(n - m));
    case TDeviationKind::_mtotdev:
    case TDeviationKind::_ttotdev: {
        const double mtot = std::sqrt(PlainWindowMean(x, m) / (2 * md * md));
        return kind == TDeviationKind::_ttotdev ? mtot * md / std::sqrt(3.0) : mtot;
    }
    case TDeviationKind::_htotdev: {
        std::vector<double> y(x.size() - 1);
        for (size_t k = 0; k + 1 < x.size(); ++k) {
            y[k] = x[k + 1] - x[k];
        }
        return std::sqrt(PlainWindowMean(y, m) / 6);
    }
    case TDeviationKind::_theo1: {
        const int64_t h = m / 2;
        for (int64_t i = 0; i + m < n; ++i) {
            for (int64_t d = 0; d < h; ++d) {
                const double t = (x[i] - x[i - d + h]) + (x[i + m] - x[i + d + h]);
                sum += t * t / static_cast<double>(h - d);
            }
        }
        return std::sqrt(sum / (0.75 * static_cast<double>(n - m) * md * md));
    }
    }
    return 0;
}

void RealTime(benchmark::State& state, const TData& d) {
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(d.Y.size()) *
                                                          static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

// The O(N m) straightforward forms would take hours beyond these factors.
void CapQuadratic(TDeviationKind kind, std::vector<int64_t>* f) {
    const int64_t top = Windowed(kind) ? 64
                        : kind == TDeviationKind::_mdev || kind == TDeviationKind::_tdev ||
                                kind == TDeviationKind::_mtie
                            ? 1024
                        : f->empty() ? 0
                                     : f->back();
    f->erase(std::remove_if(f->begin(), f->end(), [top](int64_t m) { return m > top; }), f->end());
}

// The analysis's table of the kind at octave taus (all, or those of the straightforward form),
// timed, or the straightforward form at the latter.
enum class TOctaveRun { _all, _capped, _plain };

void OctaveRun(benchmark::State& state, TOctaveRun run) {
    const TDeviationKind kind = AllStabilityKinds[state.range(0)];
    const TData& d = Million();
    std::vector<int64_t> f = OctaveFactors(TStabilityAnalysis(d.Record, 1.0), kind);
    if (run != TOctaveRun::_all) {
        CapQuadratic(kind, &f);
    }
    for (auto _ : state) {
        if (run == TOctaveRun::_plain) {
            for (int64_t m : f) {
                benchmark::DoNotOptimize(Plain(kind, d.X, m));
            }
        } else {
            const TStabilityAnalysis a(d.Record, 1.0);
            benchmark::DoNotOptimize(a.Table(kind, f));
        }
    }
    state.SetLabel(DeviationKindName(kind).toStdString() + " m<=" + std::to_string(f.back()));
    RealTime(state, d);
}

void BM_Octave(benchmark::State& state) {
    OctaveRun(state, TOctaveRun::_all);
}
void BM_OctaveCapped(benchmark::State& state) {
    OctaveRun(state, TOctaveRun::_capped);
}
void BM_OctavePlain(benchmark::State& state) {
    OctaveRun(state, TOctaveRun::_plain);
}

// The O(N)-per-tau kinds
constexpr int LinearKinds[] = {0, 1, 2, 3, 4, 5, 6, 11, 12};

void BM_Many(benchmark::State& state) {
    const TDeviationKind kind = AllStabilityKinds[state.range(0)];
    const TData& d = Cs();
    const TStabilityAnalysis analysis(d.Record, 1.0);
    const std::vector<int64_t> f = analysis.Factors(kind, TTauSpacing::_many);
    for (auto _ : state) {
        const TStabilityAnalysis a(d.Record, 1.0);
        benchmark::DoNotOptimize(a.Table(kind, f));
    }
    state.SetLabel(DeviationKindName(kind).toStdString() + " " + std::to_string(f.size()) +
                   " taus");
    RealTime(state, d);
}

void BM_ManyPlain(benchmark::State& state) {
    const TDeviationKind kind = AllStabilityKinds[state.range(0)];
    const TData& d = Cs();
    const TStabilityAnalysis analysis(d.Record, 1.0);
    std::vector<int64_t> f = analysis.Factors(kind, TTauSpacing::_many);
    CapQuadratic(kind, &f);
    for (auto _ : state) {
        for (int64_t m : f) {
            benchmark::DoNotOptimize(Plain(kind, d.X, m));
        }
    }
    state.SetLabel(DeviationKindName(kind).toStdString() + " " + std::to_string(f.size()) +
                   " taus, m<=" + std::to_string(f.back()));
    RealTime(state, d);
}

void AllKinds(benchmark::internal::Benchmark* b) {
    for (int k = 0; k < static_cast<int>(std::size(AllStabilityKinds)); ++k) {
        b->Arg(k);
    }
}
void Linear(benchmark::internal::Benchmark* b) {
    for (int k : LinearKinds) {
        b->Arg(k);
    }
}

BENCHMARK(BM_Octave)->Apply(AllKinds)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OctaveCapped)->Apply(AllKinds)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OctavePlain)->Apply(AllKinds)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Many)->Apply(Linear)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ManyPlain)->Apply(Linear)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
