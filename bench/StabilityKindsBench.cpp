// Every kind of the stability analysis against the straightforward formula written here.
//
//   BM_Octave/<kind>        the kind's table at octave taus over 1,000,000 samples (noise
//                           identification, EDF and interval included)
//   BM_OctavePlain/<kind>   the same deviations by the straightforward formula (phase built,
//                           each term summed in full: MDEV / TDEV O(N m) per tau, MTIE O(N m))
//   BM_Many/<kind>          `--taus many` over 557,000 samples, the O(N)-per-tau kinds
//   BM_ManyPlain/<kind>     their straightforward formula at the same taus
// MTOTDEV, TTOTDEV, HTOTDEV and Theo1 are O(N m) per tau here as in their textbook form: their
// octave tables stop at m = 64 (their straightforward form is the same loop); the
// straightforward MDEV, TDEV and MTIE stop at m = 1024 (label: the longest m).

#include "stability/StabilityAnalysisUnit.h"
#include "stability/TotalDeviationUnit.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

std::vector<double> WhiteAndWalk(size_t n) {
    std::mt19937_64 rng(1);
    std::normal_distribution<double> gauss(0, 1);
    std::vector<double> y(n);
    double walk = 0;
    for (double& v : y) {
        walk += 1e-15 * gauss(rng);
        v = 3e-12 * gauss(rng) + walk;
    }
    return y;
}

struct TData {
    std::vector<double> Y;
    std::vector<double> X; // phase, tau0 = 1
    TFrequencyRecord Record;
    explicit TData(size_t n) : Y(WhiteAndWalk(n)), X(n + 1, 0.0) {
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

bool Textbook(TDeviationKind kind) {
    return kind == TDeviationKind::_mtotdev || kind == TDeviationKind::_ttotdev ||
           kind == TDeviationKind::_htotdev || kind == TDeviationKind::_theo1;
}

std::vector<int64_t> OctaveFactors(const TStabilityAnalysis& a, TDeviationKind kind) {
    std::vector<int64_t> f = a.Factors(kind, TTauSpacing::_octave);
    if (Textbook(kind)) {
        f.erase(std::remove_if(f.begin(), f.end(), [](int64_t m) { return m > 64; }), f.end());
    }
    return f;
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
    default: {
        TPhaseResult r;
        const int64_t len = static_cast<int64_t>(x.size());
        if (kind == TDeviationKind::_theo1) {
            Theo1Deviation(x.data(), len, m, 1, &r);
        } else if (kind == TDeviationKind::_htotdev) {
            HadamardTotalDeviation(x.data(), len, m, 1, &r);
        } else {
            ModifiedTotalDeviation(x.data(), len, m, 1, &r);
        }
        return r.Deviation;
    }
    }
}

// The O(N m) straightforward MDEV, TDEV and MTIE would take hours beyond m = 1024.
void CapQuadratic(TDeviationKind kind, std::vector<int64_t>* f) {
    if (kind == TDeviationKind::_mdev || kind == TDeviationKind::_tdev ||
        kind == TDeviationKind::_mtie) {
        f->erase(std::remove_if(f->begin(), f->end(), [](int64_t m) { return m > 1024; }),
                 f->end());
    }
}

void BM_Octave(benchmark::State& state) {
    const TDeviationKind kind = AllStabilityKinds[state.range(0)];
    const TData& d = Million();
    const TStabilityAnalysis analysis(d.Record, 1.0);
    const std::vector<int64_t> f = OctaveFactors(analysis, kind);
    for (auto _ : state) {
        const TStabilityAnalysis a(d.Record, 1.0);
        benchmark::DoNotOptimize(a.Table(kind, f));
    }
    state.SetLabel(DeviationKindName(kind).toStdString() + " m<=" + std::to_string(f.back()));
}

void BM_OctavePlain(benchmark::State& state) {
    const TDeviationKind kind = AllStabilityKinds[state.range(0)];
    const TData& d = Million();
    const TStabilityAnalysis analysis(d.Record, 1.0);
    std::vector<int64_t> f = OctaveFactors(analysis, kind);
    CapQuadratic(kind, &f);
    for (auto _ : state) {
        for (int64_t m : f) {
            benchmark::DoNotOptimize(Plain(kind, d.X, m));
        }
    }
    state.SetLabel(DeviationKindName(kind).toStdString() + " m<=" + std::to_string(f.back()));
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
BENCHMARK(BM_OctavePlain)->Apply(AllKinds)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Many)->Apply(Linear)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ManyPlain)->Apply(Linear)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
