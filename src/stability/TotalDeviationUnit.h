#pragma once
// Deviations computed from the phase (time error) x of a gap-free record: n points one tau0
// apart, in seconds. Definitions of W. J. Riley, "Handbook of Frequency Stability Analysis",
// NIST SP 1065 (2008), section 5.2:
//  - TOTDEV: the Allan variance of the phase extended at both ends by inverted reflection
//    (x(1 - j) = 2 x(1) - x(1 + j), x(n + j) = 2 x(n) - x(n - j)); n - 2 terms at every tau;
//  - MTOTDEV: for each of the n - 3m + 1 subsequences of 3m phase points, the linear trend
//    removed by the half-average method, the subsequence extended by uninverted even reflection
//    to 9m points, and the mean of the squares of its 6m second differences of m-point averages;
//    the variance is the mean over the subsequences / (2 tau^2);
//  - HTOTDEV: the same over the n - 1 frequency values with the Hadamard normalisation (1/6);
//    at m = 1 the overlapping Hadamard deviation;
//  - Theo1 at even m (tau = 0.75 m tau0), (n - m) m / 2 terms;
//  - MTIE: the largest peak-to-peak phase over windows of m + 1 points (n - m windows);
//  - TIE rms: the rms of the phase change over m tau0 (n - m terms).
// Each returns false when the record holds no term at that m. The sums over windows are
// straightforward loops over each window (MTOTDEV, HTOTDEV, Theo1: O(n m) per tau) or running
// (TOTDEV, MTIE, TIE rms: O(n) per tau).

#include <cstdint>

struct TPhaseResult {
    double Deviation = 0;
    int64_t Terms = 0;
};

bool TotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r);
bool ModifiedTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r);
bool HadamardTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r);
bool Theo1Deviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r);
bool Mtie(const double* x, int64_t n, int64_t m, TPhaseResult* r);
bool TieRms(const double* x, int64_t n, int64_t m, TPhaseResult* r);
