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

// The ends' correlations of the window sums, the autocorrelations and the filtered dot product
// against their plain sums (scale: the sum of the magnitudes of the products), at lengths on
// both sides of the direct sums.
TEST(FourierCorrelations, TheEndsAutocorrelationsAndFilteredDotAgreeWithTheirPlainSums) {
    const struct {
        size_t Len;
        double Level, Slope;
    } cases[] = {{40, 0, 0}, {150, 3e5, -40}, {301, -2e4, 7.5}};
    auto near = [](double got, long double sum, long double scale, const char* what, size_t i) {
        EXPECT_NEAR(got, static_cast<double>(sum), 1e-11 * static_cast<double>(scale) + 1e-9)
            << what << ", index " << i;
    };
    for (const auto& c : cases) {
        const size_t n = c.Len;
        const std::vector<double> h = Sequence(n, c.Level, c.Slope, 3);
        const std::vector<double> t = Sequence(n, -c.Level, c.Slope, 4);
        std::vector<double> hw(n), tw(n); // weighted as the window sums weigh them
        for (size_t j = 0; j < n; ++j) {
            hw[j] = static_cast<double>(n - j) * h[j];
            tw[j] = static_cast<double>(j + 1) * t[j];
        }
        std::vector<double> headAc(n), tailAc(n), cross(n), convDiff(2 * n - 1), single(n),
            pairA(n), pairB(n);
        EndCorrelations(h.data(), hw.data(), t.data(), tw.data(), static_cast<int64_t>(n),
                        headAc.data(), tailAc.data(), cross.data(), convDiff.data());
        AutoCorrelationPair(h.data(), nullptr, static_cast<int64_t>(n), single.data(), nullptr);
        AutoCorrelationPair(h.data(), t.data(), static_cast<int64_t>(n), pairA.data(),
                            pairB.data());
        for (size_t d = 0; d < n; ++d) {
            long double s[3] = {0, 0, 0}, m[3] = {0, 0, 0}; // head, tail, cross
            for (size_t u = 0; u + d < n; ++u) {
                const long double p[3] = {static_cast<long double>(h[u]) * h[u + d],
                                          static_cast<long double>(t[u]) * t[u + d],
                                          static_cast<long double>(h[u]) * hw[u + d] +
                                              static_cast<long double>(tw[u]) * t[u + d]};
                for (int k = 0; k < 3; ++k) {
                    s[k] += p[k];
                    m[k] += std::fabs(p[k]);
                }
            }
            near(headAc[d], s[0], m[0], "head", d);
            near(single[d], s[0], m[0], "autocorrelation", d);
            near(pairA[d], s[0], m[0], "pair, first", d);
            near(tailAc[d], s[1], m[1], "tail", d);
            near(pairB[d], s[1], m[1], "pair, second", d);
            near(cross[d], s[2], m[2], "weighted cross", d);
        }
        for (size_t k = 0; k + 1 < 2 * n; ++k) {
            long double sum = 0, scale = 0;
            for (size_t u = k >= n ? k - n + 1 : 0; u <= std::min(k, n - 1); ++u) {
                const long double p = static_cast<long double>(h[u]) * h[k - u] -
                                      static_cast<long double>(t[u]) * t[k - u];
                sum += p;
                scale += std::fabs(static_cast<long double>(h[u]) * h[k - u]) +
                         std::fabs(static_cast<long double>(t[u]) * t[k - u]);
            }
            near(convDiff[k], sum, scale, "convolution difference", k);
        }
    }
    // sum_s b[s] sum_j g[j] x[s + j]: short filters (direct), long ones (one transform of the
    // whole sequence, kept for the next call with the same x)
    const std::vector<double> x = Sequence(1000, 2e3, 0.5, 5);
    TLargeVector<std::complex<double>> spectrum;
    for (size_t lg : {size_t{9}, size_t{100}, size_t{600}, size_t{990}}) {
        const std::vector<double> g = Sequence(lg, 0, 0, 6);
        const std::vector<double> b = Sequence(x.size() - lg + 1, 1, 0, 7);
        long double sum = 0, scale = 0;
        for (size_t s = 0; s < b.size(); ++s)
            for (size_t j = 0; j < lg; ++j) {
                sum += static_cast<long double>(b[s]) * g[j] * x[s + j];
                scale += std::fabs(static_cast<long double>(b[s]) * g[j] * x[s + j]);
            }
        const long double got = FilteredDot(b.data(), g.data(), static_cast<int64_t>(lg), x.data(),
                                            static_cast<int64_t>(x.size()), &spectrum);
        near(static_cast<double>(got), sum, scale, "filtered dot, filter length", lg);
    }
}
