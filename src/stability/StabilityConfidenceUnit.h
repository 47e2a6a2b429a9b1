#pragma once
// The confidence of a frequency-stability estimate: the power-law noise type at each tau, the
// equivalent degrees of freedom (EDF) of each kind of deviation for that noise, and the interval
// that the chi-squared distribution with that EDF gives.
//
// Noise type: alpha, the exponent of the fractional-frequency spectrum S_y(f) ~ f^alpha (2 white
// PM, 1 flicker PM, 0 white FM, -1 flicker FM, -2 random-walk FM; the Hadamard family also -3,
// -4). Identified at averaging factor m: with at least Lag1MinPoints averages by the lag-1
// autocorrelation of the phase decimated by m, successively differenced until it is stationary
// (delta = r1 / (1 + r1) < 0.25) or dmax differences are taken, alpha = 2 - 2 (delta + d)
// (W. J. Riley and C. A. Greenhall, "Power law noise identification using the lag 1
// autocorrelation", 2004); with fewer by the B1 ratio (standard over Allan variance of the
// m-averages, against its expected value for each noise) and, between white and flicker PM, the
// R(n) ratio (modified over Allan variance), as the frequency-stability handbook (W. J. Riley,
// NIST SP 1065, 2008, section 5.6) describes.
//
// EDF of the Allan, modified Allan, time and Hadamard deviations (overlapping or not): C. A.
// Greenhall and W. J. Riley, "Uncertainty of stability variances based on finite differences"
// (35th PTTI, 2003), its algorithm with its three tables. Total, modified total, time total,
// Hadamard total and Theo1 deviations: the empirical formulas of NIST SP 1065 (section 5.2,
// tables 5, 7 and 8 and the Theo1 formulas) and Howe's for the Hadamard total, combined as
// Stable32 combines them (the modified total's coefficients where its intervals show them).

#include <cstdint>
#include <vector>

// The regularised lower incomplete gamma function P(a, x), a > 0, x >= 0.
double RegularisedGammaP(double a, double x);
// The chi-squared distribution with nu (> 0, not necessarily whole) degrees of freedom: its CDF
// and its inverse (p in (0, 1)).
double ChiSquaredCdf(double x, double nu);
double ChiSquaredQuantile(double p, double nu);

// The two-sided interval of a deviation dev with the given EDF at the given confidence (0.683:
// the usual "1 sigma"): false when no interval can be given (edf not positive).
bool ChiSquaredInterval(double dev, double edf, double confidence, double* lower, double* upper);

// Greenhall and Riley's EDF. d: order of the phase difference (2 Allan, 3 Hadamard); m:
// averaging factor; n: number of phase points; overlapping / modified estimator. 0 when the
// estimator has no term or the noise is outside the algorithm (alpha + 2 d <= 1).
double GreenhallEdf(int alpha, int d, int64_t m, int64_t n, bool overlapping, bool modified);

// The simple EDF formulas of the overlapping Allan variance (NIST SP 1065, table 5, after Howe,
// Allan and Barnes, 1981) for alpha 2 .. -2 at m over n phase points; 0 elsewhere.
double SimpleEdf(int alpha, int64_t m, int64_t n);

// EDF of the total deviations, n phase points (frequency points plus one), T / tau = n / m.
// Total: NIST SP 1065 table 7, b T/tau - c, for the FM noises; the simple formulas for PM.
double TotalEdf(int alpha, int64_t m, int64_t n);
// Modified (and time) total: below ModifiedTotalMinFactor the modified Allan deviation's EDF
// (Greenhall and Riley); from it on b T/tau - c, with the coefficients Stable32's intervals
// follow where its tables show them (flicker PM, white and flicker FM) and SP 1065 table 8's
// elsewhere.
inline constexpr int64_t ModifiedTotalMinFactor = 10;
double ModifiedTotalEdf(int alpha, int64_t m, int64_t n);
// Hadamard total: from HadamardTotalMinFactor on Howe's (T/tau) / (b0 + b1 tau/T) for alpha 0 ..
// -4; the simple formulas for PM at every m and for alpha 0 .. -2 below; the overlapping
// Hadamard deviation's EDF for the rest.
inline constexpr int64_t HadamardTotalMinFactor = 16;
double HadamardTotalEdf(int alpha, int64_t m, int64_t n);
// Theo1 at averaging factor m (tau = 0.75 m tau0) over n phase points.
double Theo1Edf(int alpha, int64_t m, int64_t n);

// Noise identification at averaging factor m on n phase points (any units; gaps not allowed).
// dmax: highest number of differences (2 for the Allan family, 3 for the Hadamard family).
// overlapping: for an overlapping estimator the B1 ratio is judged against the expected values
// of the whole record (n - 1 samples), for a non-overlapping one against those of its averages.
// mvarOverAvar: the ratio of modified to overlapping Allan variance at m (for R(n), which also
// decides between white and flicker PM where the lag-1 method names PM on fewer than
// PmRatioMaxAverages averages); NaN when unknown. Returns false when there are too few points
// (fewer than 4 averages).
inline constexpr int64_t Lag1MinPoints = 30;
inline constexpr int64_t PmRatioMaxAverages = 64;
bool IdentifyNoise(const double* x, int64_t n, int64_t m, int dmax, bool overlapping,
                   double mvarOverAvar, int* alpha);

// Pieces exposed for the tests.
double Lag1Autocorrelation(const std::vector<double>& v);
double B1Expected(double n, int mu);
