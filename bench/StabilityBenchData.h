#pragma once
// The records of the stability benchmarks: white noise plus a slow random walk (a real
// oscillator's shape), fixed seed.

#include <random>
#include <vector>

inline std::vector<double> WhiteAndWalk(size_t n, double offset, double white, double walk) {
    std::mt19937_64 rng(1);
    std::normal_distribution<double> gauss(0, 1);
    std::vector<double> v(n);
    double level = 0;
    for (double& s : v) {
        level += walk * gauss(rng);
        s = offset + white * gauss(rng) + level;
    }
    return v;
}
