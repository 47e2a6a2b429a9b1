#pragma once
// A small deterministic random source (the same seed gives the same laser on every platform).

#include <cmath>
#include <cstdint>
#include <numbers>

class TSimRandom {
public:
    explicit TSimRandom(uint64_t seed) : FState(seed ? seed : 0x9E3779B97F4A7C15ull) {}

    // splitmix64
    uint64_t Next() {
        uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    // Uniform integer in [0, n).
    uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(Next() % n) : 0; }
    uint8_t Byte() { return static_cast<uint8_t>(Next() >> 56); }
    // Normal with mean 0 and the given standard deviation (Box-Muller, one value per call).
    double Gauss(double sigma) {
        double u1 = Uniform();
        if (u1 < 1e-300)
            u1 = 1e-300;
        const double u2 = Uniform();
        return sigma * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }

private:
    uint64_t FState;
};
