// The transform-based correlations of the total deviations against plain sums over every
// product, on sequences with the level and slope of real phase records, at lengths on both sides
// of the direct sums.

#include "stability/FourierUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<double> Sequence(size_t n, double level, double slope, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss(0, 1);
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = level + slope * static_cast<double>(i) + gauss(rng);
    return v;
}

// Every diagonal d (index a.size() - 1 + d) of a[u] b[v] over the pairs that pass keep(u, v):
// the sum and the sum of magnitudes (the scale of its rounding).
struct TDiagonals {
    std::vector<long double> Sum, Scale;
};
template <typename Keep>
TDiagonals Direct(const std::vector<double>& a, const std::vector<double>& b, Keep keep) {
    const size_t la = a.size();
    TDiagonals d{std::vector<long double>(la + b.size() - 1), {}};
    d.Scale = d.Sum;
    for (size_t u = 0; u < la; ++u)
        for (size_t v = 0; v < b.size(); ++v)
            if (keep(u, v)) {
                d.Sum[la - 1 + v - u] += static_cast<long double>(a[u]) * b[v];
                d.Scale[la - 1 + v - u] += std::fabs(static_cast<long double>(a[u]) * b[v]);
            }
    return d;
}

} // namespace

TEST(FourierCorrelations, EveryFormAgreesWithThePlainSumsOfProducts) {
    const struct {
        size_t La, Lb;
        double Level, Slope;
    } cases[] = {
        {7, 40, 0, 0},         {40, 100, 0, 0},     {150, 90, 3e5, -40},
        {301, 301, -2e4, 7.5}, {97, 533, 1e6, 2e3},
    };
    const auto all = [](size_t, size_t) { return true; };
    for (const auto& c : cases) {
        const std::vector<double> a = Sequence(c.La, c.Level, c.Slope, 1);
        const std::vector<double> b = Sequence(c.Lb, -c.Level, 2 * c.Slope, 2);
        std::vector<double> cross(c.La + c.Lb - 1);
        AddCrossCorrelation(a.data(), c.La, b.data(), c.Lb, cross.data(), c.La - 1);

        // the square forms of a's and b's first n values
        const size_t n = std::min(c.La, c.Lb);
        const std::vector<double> first(a.begin(), a.begin() + n), sq(b.begin(), b.begin() + n);
        const std::vector<double> reversed(first.rbegin(), first.rend());
        std::vector<double> tri(2 * n - 1), wedge(2 * n + 1), ac, corr, conv;
        AddTriangleCorrelation(first.data(), sq.data(), n, tri.data(), n - 1);
        AddWedgeCorrelation(sq.data(), n, wedge.data(), n);
        SegmentCorrelations(first.data(), sq.data(), n, &ac, &corr, &conv);
        std::reverse(conv.begin(), conv.end()); // reversed: the diagonals of first by reversed

        // a filter over every window of the longer sequence: the diagonals lg - 1 + start
        const std::vector<double>& x = c.La > c.Lb ? a : b;
        const std::vector<double>& g = c.La > c.Lb ? b : a;
        std::vector<double> applied(x.size() - g.size() + 1);
        ApplyFilter(g.data(), g.size(), x.data(), x.size(), applied.data());

        const struct {
            const char* Name;
            const double* Got;
            TDiagonals Want;
            size_t From, Count; // the diagonals compared
        } forms[] = {
            {"cross", cross.data(), Direct(a, b, all), 0, cross.size()},
            {"triangle", tri.data(),
             Direct(first, sq, [n](size_t u, size_t v) { return u + v < n; }), 0, tri.size()},
            {"wedge (lags >= 0)", wedge.data() + n,
             Direct(sq, sq, [n](size_t u, size_t v) { return u <= v && u + v < n; }), n - 1, n},
            {"autocorrelation", ac.data(), Direct(first, first, all), 0, tri.size()},
            {"correlation", corr.data(), Direct(first, sq, all), 0, tri.size()},
            {"convolution", conv.data(), Direct(first, reversed, all), 0, tri.size()},
            {"filter", applied.data(), Direct(g, x, all), g.size() - 1, applied.size()},
        };
        for (const auto& f : forms)
            for (size_t i = 0; i < f.Count; ++i)
                EXPECT_NEAR(f.Got[i], static_cast<double>(f.Want.Sum[f.From + i]),
                            1e-11 * static_cast<double>(f.Want.Scale[f.From + i]) + 1e-9)
                    << f.Name << ", lengths " << c.La << " and " << c.Lb << ", index " << i;
    }
}
