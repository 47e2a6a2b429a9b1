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
// Each returns false when the record holds no term at that m. TOTDEV, MTIE and TIE rms are
// running sums, O(n) per tau. MTOTDEV, HTOTDEV and Theo1, O(n m) per tau in their definitions,
// are summed directly only where that is cheap; beyond, from the record's autocorrelation and
// correlations of its ends (Fourier transforms, FourierUnit.h): O(n log n) once per record, then
// O(n log m) per tau for MTOTDEV / HTOTDEV and O(n + m log^2 m) for Theo1 (TTotalWindowSums,
// TTheo1Sums; pass one to share it between the taus of a table).

#include "stability/FourierUnit.h"

#include <cstdint>
#include <vector>

struct TPhaseResult {
    double Deviation = 0;
    int64_t Terms = 0;
};

// The core of MTOTDEV and HTOTDEV over one sequence v (phase, or frequency for HTOTDEV): the mean
// over its windows of 3m values of the mean square of the 6m second differences of m-point
// averages of the detrended, reflected window. Windows times 3m up to a few million: each
// window summed directly; beyond: the Toeplitz-plus-Hankel form (TotalDeviationUnit.cpp),
// O(n log n) once and O(n log m) per factor.
class TTotalWindowSums {
public:
    TTotalWindowSums(const double* v, int64_t len); // v must outlive this
    double Mean(int64_t m, int64_t* windows) const;
    // The sum over the windows of the sums of squares by the transforms (for checks).
    long double FastSum(int64_t m) const;

private:
    void Prepare() const;
    long double DriftTerms(int64_t m, TLargeVector<double>* p, TLargeVector<double>* windows,
                           TLargeVector<double>* ring) const;

    int64_t FLen;
    const double* FRaw;
    mutable long double FCurvature = 0;                   // of the least-squares parabola
    mutable TLargeVector<double> FX;                      // v without it
    mutable TLargeVector<double> FCorrelation;            // its autocorrelation
    mutable TLargeVector<double> FPrefix;                 // its prefix sums, a line off
    mutable TLargeVector<std::complex<double>> FSpectrum; // its transform, padded (FilteredDot)
};

// Theo1 of one record at several factors: the record's autocorrelation (one Fourier transform)
// is shared by the factors. A factor whose direct sum is small is summed directly; the others
// from the autocorrelations (least-squares line removed first), O(n + m log^2 m) each.
class TTheo1Sums {
public:
    TTheo1Sums(const double* x, int64_t n); // x must outlive this
    bool Deviation(int64_t m, double tau0, TPhaseResult* r) const;
    // The weighted sum of squares at m by the transforms, whatever its size (for checks).
    long double FastSum(int64_t m) const;

private:
    const TLargeVector<double>& Detrended() const;

    int64_t FN;
    const double* FRaw;
    mutable long double FCurvature = 0; // of the least-squares parabola
    mutable TLargeVector<double> FX;    // x without it
    mutable TLargeVector<long double> FSquares;
    mutable TLargeVector<long double> FSums;
    mutable TLargeVector<double> FCorrelation;
};

bool TotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r);
// phase: the window sums of x (built here when null).
bool ModifiedTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r,
                            const TTotalWindowSums* phase = nullptr);
// frequency: the window sums of y = (x[k + 1] - x[k]) / tau0 (built here when null).
bool HadamardTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r,
                            const TTotalWindowSums* frequency = nullptr);
bool Theo1Deviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r,
                    const TTheo1Sums* sums = nullptr);
bool Mtie(const double* x, int64_t n, int64_t m, TPhaseResult* r);
bool TieRms(const double* x, int64_t n, int64_t m, TPhaseResult* r);
