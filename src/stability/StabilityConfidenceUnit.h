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
// (35th PTTI, 2003), its algorithm with its three tables. Total, modified total, time total and
// Theo1 deviations: the empirical formulas of NIST SP 1065 (section 5.2, tables 7 and 8 and the
// Theo1 formulas).

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

// NIST SP 1065 EDF of the total deviations: T / tau = n / m with n phase points (or frequency
// points plus one).
double TotalEdf(int alpha, int64_t m, int64_t n);
double ModifiedTotalEdf(int alpha, int64_t m, int64_t n);
// Hadamard total deviation: Howe's (T/tau) / (b0 + b1 tau/T) for alpha 0 .. -4 beyond m = 16,
// the overlapping Hadamard deviation's EDF elsewhere.
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
