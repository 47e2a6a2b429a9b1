#pragma once
// Simulated power-law noise for the tests of the stability analysis.

#include <random>
#include <vector>

// Power-law noise of one type as fractional frequency (Kasdin and Walter's fractional
// integration of white noise, truncated at the record's length).
inline std::vector<double> PowerLawNoise(int alpha, int n, std::mt19937_64& rng) {
    std::normal_distribution<double> gauss(0, 1);
    const bool phase = alpha > 0; // phase noise for alpha 2 and 1, frequency noise below
    const double order = phase ? (2 - alpha) / 2.0 : -alpha / 2.0; // integration order
    const int len = phase ? n + 1 : n;
    std::vector<double> h(static_cast<size_t>(len), 1.0), w(h.size()), s(h.size(), 0.0);
    for (int k = 1; k < len; ++k)
        h[k] = h[k - 1] * (order + k - 1) / k;
    for (double& v : w)
        v = gauss(rng);
    for (int i = 0; i < len; ++i)
        for (int k = 0; k <= i; ++k)
            s[i] += h[k] * w[i - k];
    for (int i = 0; phase && i < n; ++i)
        s[i] = s[i + 1] - s[i]; // the phase's steps
    s.resize(static_cast<size_t>(n));
    return s;
}
