#pragma once
// Correlations of real sequences by the fast Fourier transform (radix 4, complex, in place; two
// real sequences to a transform), for the deviations whose sums over many lags would otherwise
// cost O(n m).

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

// Storage of the large work arrays (the transforms' buffers, the records' correlations): on
// Linux, from 4 MB on, mapped in transparent huge pages where the kernel grants them (a few
// faults instead of thousands on first touch, fewer TLB misses in the transforms' long
// strides); the mappings released last are kept for the next arrays of their size (up to
// 96 MB), whose pages are then in place.
void* AllocateLarge(size_t bytes);
void ReleaseLarge(void* p, size_t bytes);

// The capacity to reserve for a work array of size elements that will grow (on Linux, beyond
// it: the pages past what is used are never touched).
size_t ReserveFor(size_t size);

template <typename T> struct TLargeAllocator {
    using value_type = T;
    TLargeAllocator() = default;
    template <typename U> TLargeAllocator(const TLargeAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { ReleaseLarge(p, n * sizeof(T)); }
    friend bool operator==(const TLargeAllocator&, const TLargeAllocator&) { return true; }
};
template <typename T> using TLargeVector = std::vector<T, TLargeAllocator<T>>;

// A work array resized to n, its contents not kept where it must grow (no copy), its capacity
// by ReserveFor.
template <typename T> void ResizeWork(TLargeVector<T>& v, size_t n) {
    if (n > v.capacity()) {
        TLargeVector<T>().swap(v);
        v.reserve(ReserveFor(n));
    }
    v.resize(n);
}

// In-place transform of a power-of-two length; inverse: the unscaled inverse transform.
void FourierTransform(std::vector<std::complex<double>>& a, bool inverse);

// c[l] = sum_i x[i] x[i + l] for l in [0, n) (the autocorrelation of x at every lag).
std::vector<double> AutoCorrelation(const double* x, int64_t n);

// The autocorrelations of two sequences of the same length at every lag, by one transform.
void AutoCorrelationPair(const double* a, const double* b, int64_t n, std::vector<double>* ca,
                         std::vector<double>* cb);
// The same into ca[0, n) and cb[0, n) (cb null: a's alone).
void AutoCorrelationPair(const double* a, const double* b, int64_t n, double* ca, double* cb);

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

// Of the first len values h and the last len values t of a sequence, and of weighted copies hw
// and tw of them, at the lags d in [0, len): headAc[d] = sum_u h[u] h[u + d], tailAc[d] =
// sum_u t[u] t[u + d], cross[d] = sum_u (h[u] hw[u + d] + tw[u] t[u + d]); at s in
// [0, 2 len - 1): convDiff[s] = sum_{u + v = s} (h[u] h[v] - t[u] t[v]). Four transforms, means
// taken off first.
void EndCorrelations(const double* h, const double* hw, const double* t, const double* tw,
                     int64_t len, double* headAc, double* tailAc, double* cross, double* convDiff);

// out[s] = sum_j g[j] x[s + j] for s in [0, len - lg] (overlap-save, in blocks of the size of
// the least work).
void ApplyFilter(const double* g, int64_t lg, const double* x, int64_t len, double* out);

// sum_{s < count} b[s] sum_{j < lg} g[j] x[s + j], count = len - lg + 1: by ApplyFilter, or
// where one transform of the whole sequence is less work, from x's transform (made in *xSpectrum
// at the first such call, kept for the next ones with the same x and len) and one of b and g
// together, no inverse.
long double FilteredDot(const double* b, const double* g, int64_t lg, const double* x, int64_t len,
                        TLargeVector<std::complex<double>>* xSpectrum);

// sum of (v[i] - offset)^2 in double (four running sums).
double SumOfSquares(const double* v, int64_t n, double offset);

// v less its least-squares line (sums in long double).
std::vector<double> WithoutLine(const double* v, int64_t n);
// The same into out[0, n) (out may be v).
void RemoveLine(const double* v, int64_t n, double* out);
// v less its least-squares parabola, into out[0, n) (out may be v); returns the parabola's
// coefficient of k^2 (0 below three points, where a line is removed).
long double RemoveParabola(const double* v, int64_t n, double* out);
