// The transform-based correlations of the total deviations against plain sums over every
// product, on sequences with the level and slope of real phase records, at lengths on both sides
// of the direct sums.

#include "stability/FourierUnit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<double> Sequence(int64_t n, double level, double slope, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss(0, 1);
    std::vector<double> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        v[static_cast<size_t>(i)] = level + slope * static_cast<double>(i) + gauss(rng);
    }
    return v;
}

// Every diagonal d (index la - 1 + d) of a[u] b[v] over the pairs that pass keep(u, v): the sum
// and the sum of magnitudes (the scale of its rounding).
template <typename Keep>
void Direct(const std::vector<double>& a, const std::vector<double>& b, Keep keep,
            std::vector<long double>* sum, std::vector<long double>* scale) {
    const int64_t la = static_cast<int64_t>(a.size());
    const int64_t lb = static_cast<int64_t>(b.size());
    sum->assign(static_cast<size_t>(la + lb - 1), 0);
    scale->assign(static_cast<size_t>(la + lb - 1), 0);
    for (int64_t u = 0; u < la; ++u) {
        for (int64_t v = 0; v < lb; ++v) {
            if (keep(u, v)) {
                const long double p = static_cast<long double>(a[u]) * b[v];
                (*sum)[static_cast<size_t>(la - 1 + v - u)] += p;
                (*scale)[static_cast<size_t>(la - 1 + v - u)] += std::fabs(p);
            }
        }
    }
}

void ExpectNear(const double* got, const std::vector<long double>& sum,
                const std::vector<long double>& scale, const char* what, int64_t n) {
    for (size_t i = 0; i < sum.size(); ++i) {
        EXPECT_NEAR(got[i], static_cast<double>(sum[i]), 1e-11 * scale[i] + 1e-9)
            << what << " n " << n << " diagonal " << i;
    }
}

struct TCase {
    int64_t La;
    int64_t Lb;
    double Level;
    double Slope;
};

const TCase Cases[] = {
    {7, 40, 0, 0}, {40, 100, 0, 0}, {150, 90, 3e5, -40}, {301, 301, -2e4, 7.5}, {97, 533, 1e6, 2e3},
};

} // namespace

TEST(FourierCorrelations, EveryFormAgreesWithThePlainSumsOfProducts) {
    for (const TCase& c : Cases) {
        const std::vector<double> a = Sequence(c.La, c.Level, c.Slope, 1);
        const std::vector<double> b = Sequence(c.Lb, -c.Level, 2 * c.Slope, 2);
        std::vector<long double> sum;
        std::vector<long double> scale;
        const auto all = [](int64_t, int64_t) { return true; };

        std::vector<double> out(static_cast<size_t>(c.La + c.Lb - 1));
        AddCrossCorrelation(a.data(), c.La, b.data(), c.Lb, out.data(), c.La - 1);
        Direct(a, b, all, &sum, &scale);
        ExpectNear(out.data(), sum, scale, "cross", c.La);

        // the triangle under the anti-diagonal and the wedge (u <= v) of a with itself
        const std::vector<double> sq(b.begin(), b.begin() + std::min(c.La, c.Lb));
        const int64_t n = static_cast<int64_t>(sq.size());
        std::vector<double> tri(static_cast<size_t>(2 * n - 1));
        AddTriangleCorrelation(a.data(), sq.data(), n, tri.data(), n - 1);
        Direct(
            std::vector<double>(a.begin(), a.begin() + n), sq,
            [n](int64_t u, int64_t v) { return u + v < n; }, &sum, &scale);
        ExpectNear(tri.data(), sum, scale, "triangle", n);
        std::vector<double> wedge(static_cast<size_t>(2 * n + 1));
        AddWedgeCorrelation(sq.data(), n, wedge.data(), n);
        Direct(
            sq, sq, [n](int64_t u, int64_t v) { return u <= v && u + v < n; }, &sum, &scale);
        for (int64_t d = 0; d < n; ++d) {
            EXPECT_NEAR(wedge[static_cast<size_t>(n + d)],
                        static_cast<double>(sum[static_cast<size_t>(n - 1 + d)]),
                        1e-11 * scale[static_cast<size_t>(n - 1 + d)] + 1e-9)
                << "wedge n " << n << " lag " << d;
        }

        // a segment's autocorrelation, correlation with a second and self-convolution
        std::vector<double> ac;
        std::vector<double> corr;
        std::vector<double> conv;
        const std::vector<double> first(a.begin(), a.begin() + n);
        SegmentCorrelations(first.data(), sq.data(), n, &ac, &corr, &conv);
        Direct(first, first, all, &sum, &scale);
        ExpectNear(ac.data(), sum, scale, "autocorrelation", n);
        Direct(first, sq, all, &sum, &scale);
        ExpectNear(corr.data(), sum, scale, "correlation", n);
        std::vector<double> reversed(first.rbegin(), first.rend());
        Direct(first, reversed, all, &sum, &scale); // index n - 1 + d holds conv at n - 1 - d
        std::reverse(sum.begin(), sum.end());
        std::reverse(scale.begin(), scale.end());
        ExpectNear(conv.data(), sum, scale, "convolution", n);

        // a filter over every window of the longer sequence
        const std::vector<double>& x = c.La > c.Lb ? a : b;
        const std::vector<double>& g = c.La > c.Lb ? b : a;
        const int64_t count = static_cast<int64_t>(x.size() - g.size()) + 1;
        std::vector<double> applied(static_cast<size_t>(count));
        ApplyFilter(g.data(), static_cast<int64_t>(g.size()), x.data(),
                    static_cast<int64_t>(x.size()), applied.data());
        for (int64_t s = 0; s < count; ++s) {
            long double v = 0;
            long double mag = 0;
            for (size_t j = 0; j < g.size(); ++j) {
                v += static_cast<long double>(g[j]) * x[s + j];
                mag += std::fabs(static_cast<long double>(g[j]) * x[s + j]);
            }
            EXPECT_NEAR(applied[static_cast<size_t>(s)], static_cast<double>(v),
                        1e-11 * static_cast<double>(mag) + 1e-9)
                << "filter n " << x.size() << " start " << s;
        }
    }
}
