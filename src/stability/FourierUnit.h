#pragma once
// Correlations of real sequences by the fast Fourier transform (radix 2, complex, in place),
// for the deviations whose sums over many lags would otherwise cost O(n m).

#include <complex>
#include <cstdint>
#include <vector>

// In-place transform of a power-of-two length; inverse: the unscaled inverse transform.
void FourierTransform(std::vector<std::complex<double>>& a, bool inverse);

// c[l] = sum_i x[i] x[i + l] for l in [0, n) (the autocorrelation of x at every lag).
std::vector<double> AutoCorrelation(const double* x, int64_t n);

// The autocorrelations of two sequences of the same length at every lag, by one transform.
void AutoCorrelationPair(const double* a, const double* b, int64_t n, std::vector<double>* ca,
                         std::vector<double>* cb);

// out[base + v - u] += a[u] b[v] over u in [0, la), v in [0, lb) (every diagonal of the
// rectangle of products).
void AddCrossCorrelation(const double* a, int64_t la, const double* b, int64_t lb, double* out,
                         int64_t base);

// out[base + v - u] += a[u] b[v] over u, v in [0, len) with u + v < len (the diagonals of the
// triangle of products under the anti-diagonal), by halving: O(len log^2 len).
void AddTriangleCorrelation(const double* a, const double* b, int64_t len, double* out,
                            int64_t base);

// out[base + w - u] += x[u] x[w] over u <= w, u + w < len (the lags w - u >= 0 are the wanted
// ones; the entries below base receive the mirrored pairs of the squares and are meaningless).
// out must hold indices base - len .. base + len.
void AddWedgeCorrelation(const double* x, int64_t len, double* out, int64_t base);

// Of one sequence a and a second b of the same length (index len - 1 + d, d in (-len, len)):
// ac: sum_u a[u] a[u + d]; corr: sum_u a[u] b[u + d]; conv (index s in [0, 2 len - 1)):
// sum_{u + v = s} a[u] a[v]. Three transforms, lines taken off first.
void SegmentCorrelations(const double* a, const double* b, int64_t len, std::vector<double>* ac,
                         std::vector<double>* corr, std::vector<double>* conv);

// out[s] = sum_j g[j] x[s + j] for s in [0, len - lg] (overlap-save in blocks of about 2 lg).
void ApplyFilter(const double* g, int64_t lg, const double* x, int64_t len, double* out);

// v less its least-squares line (sums in long double).
std::vector<double> WithoutLine(const double* v, int64_t n);
