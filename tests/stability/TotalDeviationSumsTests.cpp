// The transform forms of MTOTDEV / HTOTDEV (the window sums) and of Theo1 against their
// definitions summed in full, on simulated records of the five common noises, with a frequency
// offset as real records have. The definition here is written out independently of the
// library: every window detrended, reflected and differenced; every Theo1 term squared.

#include "PowerLawNoise.h"
#include "stability/TotalDeviationUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Phase of power-law noise (alpha 2 to -2) with a level, a frequency offset of 3e-9 and a
// frequency drift (per sample).
std::vector<double> Phase(int alpha, int64_t n, uint64_t seed, double drift) {
    std::mt19937_64 rng(seed);
    const std::vector<double> y = PowerLawNoise(alpha, static_cast<int>(n - 1), rng);
    std::vector<double> x(static_cast<size_t>(n));
    double sum = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i);
        x[i] = 5e-6 + 3e-9 * t + 0.5 * drift * t * t + 1e-10 * sum;
        sum += i < y.size() ? y[i] : 0;
    }
    return x;
}

long double WindowSumByDefinition(const std::vector<double>& v, int64_t m) {
    const int64_t w3 = 3 * m;
    const int64_t half = w3 / 2;
    long double total = 0;
    for (size_t s = 0; s + w3 <= v.size(); ++s) {
        double first = 0, second = 0;
        for (int64_t k = 0; k < half; ++k) {
            first += v[s + k] - v[s];
            second += v[s + w3 - half + k] - v[s];
        }
        const double slope = (second - first) / static_cast<double>(half * (w3 - half));
        std::vector<double> e(static_cast<size_t>(3 * w3));
        for (int64_t k = 0; k < w3; ++k) {
            const double w = v[s + k] - v[s] - slope * static_cast<double>(k);
            e[w3 - 1 - k] = e[w3 + k] = e[3 * w3 - 1 - k] = w;
        }
        for (int64_t i = 0; i < 6 * m; ++i) {
            double a = 0;
            for (int64_t k = 0; k < m; ++k)
                a += e[i + k] - 2 * e[i + m + k] + e[i + 2 * m + k];
            total += static_cast<long double>(a / m) * (a / m);
        }
    }
    return total;
}

long double Theo1SumByDefinition(const std::vector<double>& x, int64_t m) {
    const int64_t n = static_cast<int64_t>(x.size());
    long double total = 0;
    for (int64_t i = 0; i + m < n; ++i) {
        for (int64_t delta = 1; delta <= m / 2; ++delta) {
            const double t = (x[i] - x[i + delta]) - (x[i + m - delta] - x[i + m]);
            total += static_cast<long double>(t) * t / delta;
        }
    }
    return total;
}

} // namespace

TEST(TotalDeviationSums, WindowSumsAndTheo1ByTransformsEqualTheDefinition) {
    const struct {
        int Alpha;
        int64_t N;
        std::vector<int64_t> Factors;
        double Drift = 0;
    } cases[] = {
        {2, 601, {1, 2, 7, 32, 64, 200}},
        {1, 777, {2, 16, 50, 128, 258}},
        {0, 1000, {1, 3, 40, 96, 333}},
        {-1, 640, {4, 33, 100, 212}},
        {-2, 1200, {2, 8, 64, 150, 399}},
        // a drift that moves the phase 5000 times further than the noise over the record: the
        // transforms' rounding scales with the record, not with what the windows see of it
        {0, 100'000, {1, 3, 8}, 3e-14},
    };
    for (const auto& c : cases) {
        const std::vector<double> x = Phase(c.Alpha, c.N, 7 + c.Alpha, c.Drift);
        const TTotalWindowSums window(x.data(), c.N);
        const TTheo1Sums theo1(x.data(), c.N);
        for (int64_t m : c.Factors) {
            EXPECT_NEAR(static_cast<double>(window.FastSum(m) / WindowSumByDefinition(x, m)), 1.0,
                        1e-8)
                << "window sum, alpha " << c.Alpha << " n " << c.N << " m " << m;
            const int64_t even = m + m % 2; // Theo1's factors are even
            if (even >= c.N)
                continue;
            EXPECT_NEAR(static_cast<double>(theo1.FastSum(even) / Theo1SumByDefinition(x, even)),
                        1.0, 1e-8)
                << "Theo1, alpha " << c.Alpha << " n " << c.N << " m " << even;
        }
    }
}

// A record of random-walk FM alone, a million samples: it wanders a million times further from
// its parabola than its steps, and the transforms' rounding, a share of that, would be most of
// the short-tau sums. The deviations fall back to their definitions there.
TEST(TotalDeviationSums, ARandomWalkFmRecordOfAMillionSamplesKeepsItsShortTaus) {
    const int64_t n = 1'000'000;
    std::mt19937_64 rng(5);
    std::normal_distribution<double> gauss;
    std::vector<double> x(static_cast<size_t>(n));
    double y = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        y += 1e-14 * gauss(rng);
        x[i] = x[i - 1] + y;
    }
    TPhaseResult r;
    ASSERT_TRUE(ModifiedTotalDeviation(x.data(), n, 1, 1.0, &r));
    const double windows = static_cast<double>(n - 2);
    EXPECT_NEAR(r.Deviation /
                    std::sqrt(static_cast<double>(WindowSumByDefinition(x, 1)) / (6 * windows) / 2),
                1.0, 1e-7);
    ASSERT_TRUE(Theo1Deviation(x.data(), n, 64, 1.0, &r));
    EXPECT_NEAR(r.Deviation / std::sqrt(static_cast<double>(Theo1SumByDefinition(x, 64)) /
                                        (0.75 * static_cast<double>(n - 64) * 64 * 64)),
                1.0, 1e-7);
}

// MTIE by blocks of the window's length against every window's extremes found directly, at
// window lengths that divide the record, leave a short last block, or take it whole.
TEST(TotalDeviationSums, MtieByBlocksEqualsTheLargestSpanOfEveryWindow) {
    const std::vector<double> x = Phase(-1, 1000, 11, 0);
    for (int64_t n : {int64_t{2}, int64_t{7}, int64_t{1000}}) {
        for (int64_t m : {int64_t{1}, int64_t{3}, int64_t{4}, int64_t{99}, int64_t{249}, n - 1}) {
            if (m < 1 || m > n - 1)
                continue;
            double best = 0;
            for (int64_t i = 0; i + m < n; ++i) {
                const auto [lo, hi] = std::minmax_element(x.begin() + i, x.begin() + i + m + 1);
                best = std::max(best, *hi - *lo);
            }
            TPhaseResult r;
            ASSERT_TRUE(Mtie(x.data(), n, m, &r));
            EXPECT_EQ(r.Deviation, best) << "n " << n << " m " << m;
            EXPECT_EQ(r.Terms, n - m);
        }
    }
}
