#include "stability/FourierUnit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

using TComplex = std::complex<double>;

#ifdef __linux__
constexpr size_t HugePage = size_t{1} << 21;
// Arrays from this size on are mapped on their own, in huge pages.
constexpr size_t LargeBytes = size_t{1} << 22;

size_t HugePages(size_t bytes) {
    return (bytes + HugePage - 1) / HugePage * HugePage;
}

// Mappings released lately, kept for the next arrays of their size (their pages are in place:
// a record's analysis makes the same arrays for every kind), up to CachedBytes in all.
constexpr size_t CachedBytes = size_t{96} << 20;

struct TMappingCache {
    std::mutex Lock;
    std::vector<std::pair<void*, size_t>> Free;
    size_t Bytes = 0;
};

TMappingCache& Cache() {
    static TMappingCache cache;
    return cache;
}
#endif

} // namespace

void* AllocateLarge(size_t bytes) {
#ifdef __linux__
    if (bytes >= LargeBytes) {
        const size_t rounded = HugePages(bytes);
        {
            TMappingCache& cache = Cache();
            const std::lock_guard<std::mutex> hold(cache.Lock);
            for (size_t i = 0; i < cache.Free.size(); ++i) {
                if (cache.Free[i].second == rounded) {
                    void* p = cache.Free[i].first;
                    cache.Free.erase(cache.Free.begin() + static_cast<std::ptrdiff_t>(i));
                    cache.Bytes -= rounded;
                    return p;
                }
            }
        }
        // a mapping aligned to a huge page: one page more, the ends unmapped again
        void* raw = mmap(nullptr, rounded + HugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) {
            throw std::bad_alloc();
        }
        const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
        const uintptr_t aligned = (start + HugePage - 1) / HugePage * HugePage;
        const uintptr_t end = start + rounded + HugePage;
        if (aligned > start) {
            munmap(raw, aligned - start);
        }
        if (end > aligned + rounded) {
            munmap(reinterpret_cast<void*>(aligned + rounded), end - (aligned + rounded));
        }
        madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);
        return reinterpret_cast<void*>(aligned);
    }
#endif
    return ::operator new(bytes);
}

void ReleaseLarge(void* p, [[maybe_unused]] size_t bytes) {
#ifdef __linux__
    if (bytes >= LargeBytes) {
        const size_t rounded = HugePages(bytes);
        {
            TMappingCache& cache = Cache();
            const std::lock_guard<std::mutex> hold(cache.Lock);
            if (cache.Bytes + rounded <= CachedBytes) {
                cache.Free.emplace_back(p, rounded);
                cache.Bytes += rounded;
                return;
            }
        }
        munmap(p, rounded);
        return;
    }
#endif
    ::operator delete(p);
}

namespace {

int64_t PowerOfTwoAtLeast(int64_t n) {
    int64_t p = 1;
    while (p < n) {
        p *= 2;
    }
    return p;
}

// The plain product (std::complex's operator* checks for infinities and NaN at every call).
inline TComplex Times(TComplex a, TComplex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

} // namespace

size_t ReserveFor(size_t size) {
#ifdef __linux__
    // a large mapping's pages come when first touched: room for two more doublings costs nothing
    // until it is used, and the arrays of a table grow by octaves (each new size would be a
    // fresh mapping, all of it cleared again by the kernel)
    return size >= (size_t{1} << 16) ? 4 * size : size;
#else
    return size;
#endif
}

namespace {

// Work space kept between calls (no fresh pages for every transform), contents left as they are:
// a view of the first size entries of a thread's array that only grows (a vector resized down and
// up again would clear the difference every time).
struct TScratch {
    TComplex* P;
    int64_t N;
    TComplex& operator[](size_t i) const { return P[i]; }
    TComplex* data() const { return P; }
    size_t size() const { return static_cast<size_t>(N); }
    TComplex* begin() const { return P; }
    TComplex* end() const { return P + N; }
};

TScratch Scratch(int which, int64_t size) {
    thread_local TLargeVector<TComplex> space[2];
    TLargeVector<TComplex>& v = space[which];
    if (static_cast<size_t>(size) > v.size()) {
        ResizeWork(v, static_cast<size_t>(size));
    }
    return {v.data(), size};
}

// A least-squares line C0 + C1 i through v[0..n).
struct TLine {
    long double C0 = 0;
    long double C1 = 0;
    long double At(int64_t i) const { return C0 + C1 * static_cast<long double>(i); }
};

TLine FitLine(const double* v, int64_t n) {
    long double sv = 0;
    long double sk = 0;
    long double skk = 0;
    long double skv = 0;
    for (int64_t k = 0; k < n; ++k) {
        const long double kk = static_cast<long double>(k);
        sv += v[k];
        sk += kk;
        skk += kk * kk;
        skv += kk * v[k];
    }
    const long double nn = static_cast<long double>(n);
    const long double den = nn * skk - sk * sk;
    TLine f;
    f.C1 = den != 0 ? (nn * skv - sk * sv) / den : 0;
    f.C0 = n > 0 ? (sv - f.C1 * sk) / nn : 0;
    return f;
}

// sum of i and of i^2 over i in [0, k), in integers while they are exact
long double PowerSum1To(int64_t k) {
    return static_cast<long double>(k * (k - 1) / 2);
}
long double PowerSum2To(int64_t k) {
    if (k < (int64_t{1} << 21)) {
        // k (k - 1) (2k - 1) / 6, the half product first (it is 3 times an integer)
        return static_cast<long double>(k * (k - 1) / 2 * (2 * k - 1) / 3);
    }
    const long double kk = static_cast<long double>(k);
    return (kk - 1) * kk * (2 * kk - 1) / 6;
}

// Adds to out[base + d] the parts of sum_u a[u] b[u + d] (every diagonal d in (-la, lb)) that
// involve the lines fa, fb: with a = a' + fa, b = b' + fb, the sums of a' fb, fa b' and fa fb,
// from running sums of the residues (long double).
void AddLineTerms(const double* a, int64_t la, const TLine& fa, const double* b, int64_t lb,
                  const TLine& fb, double* out, int64_t base) {
    auto sums = [](const double* v, int64_t len, const TLine& f, TLargeVector<long double>* s0,
                   TLargeVector<long double>* s1) {
        s0->resize(static_cast<size_t>(len + 1));
        s1->resize(static_cast<size_t>(len + 1));
        long double r0 = 0;
        long double r1 = 0;
        (*s0)[0] = 0;
        (*s1)[0] = 0;
        for (int64_t i = 0; i < len; ++i) {
            const long double r = static_cast<long double>(v[i]) - f.At(i);
            r0 += r;
            r1 += r * static_cast<long double>(i);
            (*s0)[static_cast<size_t>(i + 1)] = r0;
            (*s1)[static_cast<size_t>(i + 1)] = r1;
        }
    };
    thread_local TLargeVector<long double> a0;
    thread_local TLargeVector<long double> a1;
    thread_local TLargeVector<long double> b0;
    thread_local TLargeVector<long double> b1;
    sums(a, la, fa, &a0, &a1);
    sums(b, lb, fb, &b0, &b1);
    const long double q2 = fa.C1 * fb.C1;
    for (int64_t d = -(la - 1); d <= lb - 1; ++d) {
        // u in [u0, u1), v = u + d
        const int64_t u0 = std::max<int64_t>(0, -d);
        const int64_t u1 = std::min<int64_t>(la, lb - d);
        const long double dd = static_cast<long double>(d);
        // fa(u) b'(u + d): b' summed over [u0 + d, u1 + d), and u b' = (v - d) b'
        const long double bs0 = b0[static_cast<size_t>(u1 + d)] - b0[static_cast<size_t>(u0 + d)];
        const long double bs1 =
            (b1[static_cast<size_t>(u1 + d)] - b1[static_cast<size_t>(u0 + d)]) - dd * bs0;
        long double v = fa.C0 * bs0 + fa.C1 * bs1;
        // a'(u) fb(u + d)
        const long double as0 = a0[static_cast<size_t>(u1)] - a0[static_cast<size_t>(u0)];
        const long double as1 = a1[static_cast<size_t>(u1)] - a1[static_cast<size_t>(u0)];
        const long double fbd = fb.C0 + fb.C1 * dd;
        v += fbd * as0 + fb.C1 * as1;
        // fa(u) fb(u + d), a quadratic in u
        const long double q0 = fa.C0 * fbd;
        const long double q1 = fa.C0 * fb.C1 + fa.C1 * fbd;
        v += q0 * static_cast<long double>(u1 - u0) + q1 * (PowerSum1To(u1) - PowerSum1To(u0)) +
             q2 * (PowerSum2To(u1) - PowerSum2To(u0));
        out[base + d] += static_cast<double>(v);
    }
}

// Products of the diagonals computed directly below this many products.
constexpr int64_t DirectProducts = 4096;
// Triangles of this side or less are summed directly.
constexpr int64_t DirectTriangle = 48;

// The transforms proper. The correlations only multiply spectra point by point (or a frequency
// by its mirror -k), so they use a forward transform that leaves the spectrum in bit-reversed
// order (decimation in frequency) and an inverse that takes it so (decimation in time): no
// permutation. Both in radix-4 passes (two radix-2 stages in one sweep over the data, three
// twiddle products per four points), recursively over the quarters once a block is larger than
// the cache (each quarter is then finished while it is there).

// exp(-2 pi i j / (4q)), j < q, of every block size 4q = 4, 8, 16, ... one after the other (the
// block 4q's from q - 1 on); each computed directly (no accumulated rounding), kept per thread
// and grown to the largest block asked for.
const TComplex* Twiddles(int64_t n) {
    thread_local TLargeVector<TComplex> table;
    const int64_t need = n / 2 - 1; // entries for the blocks up to n
    const int64_t have = static_cast<int64_t>(table.size());
    if (have < need) {
        table.resize(static_cast<size_t>(need));
        for (int64_t q = have + 1; q <= n / 4; q *= 2) {
            TComplex* w = table.data() + q - 1;
            // the first eighth of the circle directly, the second from it by symmetry
            for (int64_t j = 0; 2 * j <= q; ++j) {
                const double angle =
                    -2 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(4 * q);
                w[j] = TComplex(std::cos(angle), std::sin(angle));
            }
            for (int64_t j = q / 2 + 1; j < q; ++j) {
                // exp(-i (pi/2 - t)) = -i conj(exp(-i t))
                const TComplex m = w[q - j];
                w[j] = TComplex(-m.imag(), -m.real());
            }
        }
    }
    return table.data();
}

// Blocks of this many points or less are transformed stage by stage (they fit in the cache).
constexpr int64_t CacheBlock = int64_t{1} << 11;

// The twiddles w, w^2, w^3 of the blocks up to this size from a table (the sweeps within the
// cache, where computing the powers would be much of the work); the longer sweeps run over
// memory and compute them.
constexpr int64_t TripleBlock = int64_t{1} << 13;

// w, w^2, w^3 for w = exp(-2 pi i j / (4q)), j < q, of every block 4q <= TripleBlock, two j at
// a time, their parts apart (w real at j, j + 1, w imaginary at j, j + 1, the same of w^2 and
// w^3: 12 values a pair); the block 4q's from 6q on (q = 1 from 0: one pair, the second a copy).
const double* Triples() {
    thread_local TLargeVector<double> table;
    if (table.empty()) {
        const TComplex* w = Twiddles(TripleBlock);
        table.resize(static_cast<size_t>(6 * TripleBlock / 4 + 6 * TripleBlock / 4));
        for (int64_t q = 1; q <= TripleBlock / 4; q *= 2) {
            double* t = table.data() + (q == 1 ? 0 : 6 * q);
            for (int64_t j = 0; j < std::max<int64_t>(q, 2); ++j) {
                const TComplex w1 = w[q - 1 + std::min(j, q - 1)];
                const TComplex w2 = Times(w1, w1);
                const TComplex w3 = Times(w2, w1);
                double* pair = t + 12 * (j / 2) + j % 2;
                pair[0] = w1.real();
                pair[2] = w1.imag();
                pair[4] = w2.real();
                pair[6] = w2.imag();
                pair[8] = w3.real();
                pair[10] = w3.imag();
            }
        }
    }
    return table.data();
}

// Where the twiddles of a sweep come from: the table of triples, or w alone and its powers
// computed.
struct TTriplesSource {
    const double* T;
    void At(int64_t j, double* w) const {
        const double* pair = T + 12 * (j / 2) + j % 2;
        for (int k = 0; k < 6; ++k) {
            w[k] = pair[2 * k];
        }
    }
};
// w, w^2, w^3 from w's parts (doubles, or pairs of them), their parts apart as in a triple.
template <typename V> inline void Powers(V w1r, V w1i, V* w) {
    const V w2r = w1r * w1r - w1i * w1i;
    const V w2i = 2 * w1r * w1i;
    w[0] = w1r;
    w[1] = w1i;
    w[2] = w2r;
    w[3] = w2i;
    w[4] = w2r * w1r - w2i * w1i;
    w[5] = w2r * w1i + w2i * w1r;
}
struct TComputedSource {
    const TComplex* W;
    void At(int64_t j, double* w) const { Powers(W[j].real(), W[j].imag(), w); }
};

// One radix-4 decimation-in-frequency sweep over the block a[0, 4q), j in [from, q);
// ZeroUpper: a[2q, 4q) is zero (neither read nor expected to have been cleared).
template <bool ZeroUpper, typename Source>
inline void ForwardSweepScalar(TComplex* a, int64_t q, int64_t from, const Source& source) {
    double* d = reinterpret_cast<double*>(a);
    double* p0 = d;
    double* p1 = d + 2 * q;
    double* p2 = d + 4 * q;
    double* p3 = d + 6 * q;
    for (int64_t j = from; j < q; ++j) {
        const double x0r = p0[2 * j];
        const double x0i = p0[2 * j + 1];
        const double x1r = p1[2 * j];
        const double x1i = p1[2 * j + 1];
        const double x2r = ZeroUpper ? 0.0 : p2[2 * j];
        const double x2i = ZeroUpper ? 0.0 : p2[2 * j + 1];
        const double x3r = ZeroUpper ? 0.0 : p3[2 * j];
        const double x3i = ZeroUpper ? 0.0 : p3[2 * j + 1];
        const double ar = x0r + x2r;
        const double ai = x0i + x2i;
        const double br = x1r + x3r;
        const double bi = x1i + x3i;
        const double cr = x0r - x2r;
        const double ci = x0i - x2i;
        const double er = x1r - x3r;
        const double ei = x1i - x3i;
        double w[6];
        source.At(j, w);
        p0[2 * j] = ar + br;
        p0[2 * j + 1] = ai + bi;
        const double t1r = ar - br;
        const double t1i = ai - bi;
        p1[2 * j] = t1r * w[2] - t1i * w[3];
        p1[2 * j + 1] = t1r * w[3] + t1i * w[2];
        // c - i e and c + i e
        const double t2r = cr + ei;
        const double t2i = ci - er;
        const double t3r = cr - ei;
        const double t3i = ci + er;
        p2[2 * j] = t2r * w[0] - t2i * w[1];
        p2[2 * j + 1] = t2r * w[1] + t2i * w[0];
        p3[2 * j] = t3r * w[4] - t3i * w[5];
        p3[2 * j + 1] = t3r * w[5] + t3i * w[4];
    }
}

// One radix-4 decimation-in-time sweep of the inverse over the block a[0, 4q), j in [from, q).
template <typename Source>
inline void InverseSweepScalar(TComplex* a, int64_t q, int64_t from, const Source& source) {
    double* d = reinterpret_cast<double*>(a);
    double* p0 = d;
    double* p1 = d + 2 * q;
    double* p2 = d + 4 * q;
    double* p3 = d + 6 * q;
    for (int64_t j = from; j < q; ++j) {
        // the inverse's twiddles: the conjugates
        double w[6];
        source.At(j, w);
        const double vr = w[0];
        const double vi = -w[1];
        const double v2r = w[2];
        const double v2i = -w[3];
        const double v3r = w[4];
        const double v3i = -w[5];
        const double x0r = p0[2 * j];
        const double x0i = p0[2 * j + 1];
        const double y1r = p1[2 * j] * v2r - p1[2 * j + 1] * v2i;
        const double y1i = p1[2 * j] * v2i + p1[2 * j + 1] * v2r;
        const double y2r = p2[2 * j] * vr - p2[2 * j + 1] * vi;
        const double y2i = p2[2 * j] * vi + p2[2 * j + 1] * vr;
        const double y3r = p3[2 * j] * v3r - p3[2 * j + 1] * v3i;
        const double y3i = p3[2 * j] * v3i + p3[2 * j + 1] * v3r;
        const double ar = x0r + y1r;
        const double ai = x0i + y1i;
        const double br = x0r - y1r;
        const double bi = x0i - y1i;
        const double cr = y2r + y3r;
        const double ci = y2i + y3i;
        const double er = y2r - y3r;
        const double ei = y2i - y3i;
        p0[2 * j] = ar + cr;
        p0[2 * j + 1] = ai + ci;
        p2[2 * j] = ar - cr;
        p2[2 * j + 1] = ai - ci;
        // b + i e and b - i e
        p1[2 * j] = br - ei;
        p1[2 * j + 1] = bi + er;
        p3[2 * j] = br + ei;
        p3[2 * j + 1] = bi - er;
    }
}

#if defined(__GNUC__) && !defined(__clang__)
// The same two j at a time in pairs of doubles (GCC's vector extension; SSE2 on x86-64): the
// real parts of j and j + 1 in one, the imaginary parts in another, the same operations.
typedef double TPair __attribute__((vector_size(16)));
typedef long long TPairMask __attribute__((vector_size(16)));

inline TPair LoadPair(const double* p) {
    TPair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void StorePair(double* p, TPair v) {
    std::memcpy(p, &v, sizeof v);
}
// the complex values p[0], p[1] as their real parts and their imaginary parts
inline void LoadTwo(const double* p, TPair* re, TPair* im) {
    const TPair a = LoadPair(p);
    const TPair b = LoadPair(p + 2);
    *re = __builtin_shuffle(a, b, TPairMask{0, 2});
    *im = __builtin_shuffle(a, b, TPairMask{1, 3});
}
inline void StoreTwo(double* p, TPair re, TPair im) {
    StorePair(p, __builtin_shuffle(re, im, TPairMask{0, 2}));
    StorePair(p + 2, __builtin_shuffle(re, im, TPairMask{1, 3}));
}
inline void PairsAt(const TTriplesSource& s, int64_t j, TPair* w) {
    const double* pair = s.T + 12 * (j / 2);
    for (int k = 0; k < 6; ++k) {
        w[k] = LoadPair(pair + 2 * k);
    }
}
inline void PairsAt(const TComputedSource& s, int64_t j, TPair* w) {
    TPair w1r;
    TPair w1i;
    LoadTwo(reinterpret_cast<const double*>(s.W + j), &w1r, &w1i);
    Powers(w1r, w1i, w);
}

template <bool ZeroUpper, typename Source>
inline void ForwardSweep(TComplex* a, int64_t q, const Source& source) {
    if (q < 2) {
        ForwardSweepScalar<ZeroUpper>(a, q, 0, source);
        return;
    }
    double* d = reinterpret_cast<double*>(a);
    double* p0 = d;
    double* p1 = d + 2 * q;
    double* p2 = d + 4 * q;
    double* p3 = d + 6 * q;
    const TPair zero = {0, 0};
    for (int64_t j = 0; j < q; j += 2) {
        TPair x0r, x0i, x1r, x1i;
        TPair x2r = zero;
        TPair x2i = zero;
        TPair x3r = zero;
        TPair x3i = zero;
        LoadTwo(p0 + 2 * j, &x0r, &x0i);
        LoadTwo(p1 + 2 * j, &x1r, &x1i);
        if constexpr (!ZeroUpper) {
            LoadTwo(p2 + 2 * j, &x2r, &x2i);
            LoadTwo(p3 + 2 * j, &x3r, &x3i);
        }
        const TPair ar = x0r + x2r;
        const TPair ai = x0i + x2i;
        const TPair br = x1r + x3r;
        const TPair bi = x1i + x3i;
        const TPair cr = x0r - x2r;
        const TPair ci = x0i - x2i;
        const TPair er = x1r - x3r;
        const TPair ei = x1i - x3i;
        TPair w[6];
        PairsAt(source, j, w);
        StoreTwo(p0 + 2 * j, ar + br, ai + bi);
        const TPair t1r = ar - br;
        const TPair t1i = ai - bi;
        StoreTwo(p1 + 2 * j, t1r * w[2] - t1i * w[3], t1r * w[3] + t1i * w[2]);
        const TPair t2r = cr + ei;
        const TPair t2i = ci - er;
        const TPair t3r = cr - ei;
        const TPair t3i = ci + er;
        StoreTwo(p2 + 2 * j, t2r * w[0] - t2i * w[1], t2r * w[1] + t2i * w[0]);
        StoreTwo(p3 + 2 * j, t3r * w[4] - t3i * w[5], t3r * w[5] + t3i * w[4]);
    }
}

template <typename Source> inline void InverseSweep(TComplex* a, int64_t q, const Source& source) {
    if (q < 2) {
        InverseSweepScalar(a, q, 0, source);
        return;
    }
    double* d = reinterpret_cast<double*>(a);
    double* p0 = d;
    double* p1 = d + 2 * q;
    double* p2 = d + 4 * q;
    double* p3 = d + 6 * q;
    for (int64_t j = 0; j < q; j += 2) {
        TPair w[6];
        PairsAt(source, j, w);
        const TPair vr = w[0];
        const TPair vi = -w[1];
        const TPair v2r = w[2];
        const TPair v2i = -w[3];
        const TPair v3r = w[4];
        const TPair v3i = -w[5];
        TPair x0r, x0i, x1r, x1i, x2r, x2i, x3r, x3i;
        LoadTwo(p0 + 2 * j, &x0r, &x0i);
        LoadTwo(p1 + 2 * j, &x1r, &x1i);
        LoadTwo(p2 + 2 * j, &x2r, &x2i);
        LoadTwo(p3 + 2 * j, &x3r, &x3i);
        const TPair y1r = x1r * v2r - x1i * v2i;
        const TPair y1i = x1r * v2i + x1i * v2r;
        const TPair y2r = x2r * vr - x2i * vi;
        const TPair y2i = x2r * vi + x2i * vr;
        const TPair y3r = x3r * v3r - x3i * v3i;
        const TPair y3i = x3r * v3i + x3i * v3r;
        const TPair ar = x0r + y1r;
        const TPair ai = x0i + y1i;
        const TPair br = x0r - y1r;
        const TPair bi = x0i - y1i;
        const TPair cr = y2r + y3r;
        const TPair ci = y2i + y3i;
        const TPair er = y2r - y3r;
        const TPair ei = y2i - y3i;
        StoreTwo(p0 + 2 * j, ar + cr, ai + ci);
        StoreTwo(p2 + 2 * j, ar - cr, ai - ci);
        StoreTwo(p1 + 2 * j, br - ei, bi + er);
        StoreTwo(p3 + 2 * j, br + ei, bi - er);
    }
}
#else
template <bool ZeroUpper, typename Source>
inline void ForwardSweep(TComplex* a, int64_t q, const Source& source) {
    ForwardSweepScalar<ZeroUpper>(a, q, 0, source);
}
template <typename Source> inline void InverseSweep(TComplex* a, int64_t q, const Source& source) {
    InverseSweepScalar(a, q, 0, source);
}
#endif

// The radix-2 stage of span 1 (an odd power of two), the same forwards and backwards.
inline void PairStage(TComplex* a, int64_t n) {
    double* d = reinterpret_cast<double*>(a);
    for (int64_t i = 0; i < 2 * n; i += 4) {
        const double ar = d[i];
        const double ai = d[i + 1];
        const double br = d[i + 2];
        const double bi = d[i + 3];
        d[i] = ar + br;
        d[i + 1] = ai + bi;
        d[i + 2] = ar - br;
        d[i + 3] = ai - bi;
    }
}

// The sweeps of q = 1 over every block of four in a[0, n) (the twiddles all 1).
inline void LastForwardSweeps(TComplex* a, int64_t n) {
    double* d = reinterpret_cast<double*>(a);
    for (int64_t i = 0; i < 2 * n; i += 8) {
        double* p = d + i;
        const double ar = p[0] + p[4];
        const double ai = p[1] + p[5];
        const double br = p[2] + p[6];
        const double bi = p[3] + p[7];
        const double cr = p[0] - p[4];
        const double ci = p[1] - p[5];
        const double er = p[2] - p[6];
        const double ei = p[3] - p[7];
        p[0] = ar + br;
        p[1] = ai + bi;
        p[2] = ar - br;
        p[3] = ai - bi;
        // c - i e and c + i e
        p[4] = cr + ei;
        p[5] = ci - er;
        p[6] = cr - ei;
        p[7] = ci + er;
    }
}

inline void LastInverseSweeps(TComplex* a, int64_t n) {
    double* d = reinterpret_cast<double*>(a);
    for (int64_t i = 0; i < 2 * n; i += 8) {
        double* p = d + i;
        const double ar = p[0] + p[2];
        const double ai = p[1] + p[3];
        const double br = p[0] - p[2];
        const double bi = p[1] - p[3];
        const double cr = p[4] + p[6];
        const double ci = p[5] + p[7];
        const double er = p[4] - p[6];
        const double ei = p[5] - p[7];
        p[0] = ar + cr;
        p[1] = ai + ci;
        p[4] = ar - cr;
        p[5] = ai - ci;
        // b + i e and b - i e
        p[2] = br - ei;
        p[3] = bi + er;
        p[6] = br + ei;
        p[7] = bi - er;
    }
}

// One sweep of q over a block, by the triples where there are some.
inline void ForwardSweepAt(TComplex* a, int64_t q, const TComplex* w, const double* triples,
                           bool zeroUpper) {
    if (4 * q <= TripleBlock) {
        const TTriplesSource source{triples + (q == 1 ? 0 : 6 * q)};
        if (zeroUpper) {
            ForwardSweep<true>(a, q, source);
        } else {
            ForwardSweep<false>(a, q, source);
        }
    } else if (zeroUpper) {
        ForwardSweep<true>(a, q, TComputedSource{w + q - 1});
    } else {
        ForwardSweep<false>(a, q, TComputedSource{w + q - 1});
    }
}

inline void InverseSweepAt(TComplex* a, int64_t q, const TComplex* w, const double* triples) {
    if (4 * q <= TripleBlock) {
        InverseSweep(a, q, TTriplesSource{triples + (q == 1 ? 0 : 6 * q)});
    } else {
        InverseSweep(a, q, TComputedSource{w + q - 1});
    }
}

void ForwardBlock(TComplex* a, int64_t n, const TComplex* w, const double* triples,
                  bool zeroUpper) {
    if (n > CacheBlock) {
        const int64_t q = n / 4;
        ForwardSweepAt(a, q, w, triples, zeroUpper);
        for (int r = 0; r < 4; ++r) {
            ForwardBlock(a + r * q, q, w, triples, false);
        }
        return;
    }
    int64_t len = n;
    for (; len >= 4; len /= 4) {
        const int64_t q = len / 4;
        if (q == 1 && len < n) {
            LastForwardSweeps(a, n);
            continue;
        }
        for (int64_t start = 0; start < n; start += len) {
            ForwardSweepAt(a + start, q, w, triples, zeroUpper && len == n);
        }
    }
    if (len == 2) {
        PairStage(a, n);
    }
}

void InverseBlock(TComplex* a, int64_t n, const TComplex* w, const double* triples) {
    if (n > CacheBlock) {
        const int64_t q = n / 4;
        for (int r = 0; r < 4; ++r) {
            InverseBlock(a + r * q, q, w, triples);
        }
        InverseSweepAt(a, q, w, triples);
        return;
    }
    int64_t len = 4;
    if (std::countr_zero(static_cast<uint64_t>(n)) % 2 == 1) {
        PairStage(a, n);
        len = 8;
    }
    for (; len <= n; len *= 4) {
        const int64_t q = len / 4;
        if (q == 1) {
            LastInverseSweeps(a, n);
            continue;
        }
        for (int64_t start = 0; start < n; start += len) {
            InverseSweepAt(a + start, q, w, triples);
        }
    }
}

// The forward transform of a[0, n) (n a power of two), the spectrum left in bit-reversed order;
// zeroUpper: a[n / 2, n) is taken as zero without being read.
void ForwardToBitOrder(TComplex* a, int64_t n, bool zeroUpper) {
    if (n < 2) {
        return;
    }
    if (n == 2) {
        if (zeroUpper) {
            a[1] = a[0];
        } else {
            PairStage(a, 2);
        }
        return;
    }
    const double* triples = Triples();
    ForwardBlock(a, n, Twiddles(n), triples, zeroUpper);
}

// The unscaled inverse of a spectrum in bit-reversed order, to natural order.
void InverseInBitOrder(TComplex* a, int64_t n) {
    if (n < 2) {
        return;
    }
    if (n == 2) {
        PairStage(a, 2);
        return;
    }
    const double* triples = Triples();
    InverseBlock(a, n, Twiddles(n), triples);
}

void BitReverse(TComplex* a, int64_t n) {
    for (int64_t i = 1, j = 0; i < n; ++i) {
        int64_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
}

// Calls f(p, r) for the positions p, r of the frequencies k and -k (mod n) of a spectrum in
// bit-reversed order, each pair once (p == r for k = 0 and k = n / 2): within each octave of
// positions [2^j, 2^(j+1)) the mirror is 3 2^j - 1 - p.
template <typename F> void ForMirrorPairs(int64_t n, F f) {
    f(int64_t{0}, int64_t{0});
    if (n > 1) {
        f(int64_t{1}, int64_t{1});
    }
    for (int64_t lo = 2; lo < n; lo *= 2) {
        for (int64_t p = lo; p < lo + lo / 2; ++p) {
            f(p, 3 * lo - 1 - p);
        }
    }
}

} // namespace

void FourierTransform(std::vector<TComplex>& a, bool inverse) {
    const int64_t n = static_cast<int64_t>(a.size());
    if (n < 2) {
        return;
    }
    if (inverse) {
        BitReverse(a.data(), n);
        InverseInBitOrder(a.data(), n);
    } else {
        ForwardToBitOrder(a.data(), n, false);
        BitReverse(a.data(), n);
    }
}

std::vector<double> AutoCorrelation(const double* x, int64_t n) {
    std::vector<double> c;
    AutoCorrelationPair(x, x, n, &c, nullptr);
    return c;
}

namespace {

// The forward transform (bit-reversed order) of z[0, size) of which z[0, filled) is written:
// the rest cleared (the upper half skipped when it is all zero).
void ForwardFilled(const TScratch& z, int64_t filled) {
    const int64_t size = static_cast<int64_t>(z.size());
    const bool zeroUpper = size >= 2 && filled <= size / 2;
    std::fill(z.begin() + filled, z.begin() + (zeroUpper ? size / 2 : size), TComplex{});
    ForwardToBitOrder(z.data(), size, zeroUpper);
}

// The power of two that brings the root sum of squares of b nearest that of a: two sequences of
// different scales share one transform by it, b scaled exactly (the transform's rounding scales
// with the larger of the two).
int BalancingExponent(double squaresA, double squaresB) {
    if (!(squaresA > 0) || !(squaresB > 0)) {
        return 0;
    }
    const long e = std::lround(0.5 * std::log2(squaresA / squaresB));
    return static_cast<int>(std::clamp(e, -300L, 300L));
}

// sum of a[i] b[i] (four running sums)
double Dot(const double* a, const double* b, int64_t n) {
    double s[4] = {0, 0, 0, 0};
    int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (int k = 0; k < 4; ++k) {
            s[k] += a[i + k] * b[i + k];
        }
    }
    for (; i < n; ++i) {
        s[0] += a[i] * b[i];
    }
    return (s[0] + s[1]) + (s[2] + s[3]);
}

// The spectra of the real and the imaginary part of a transform z at k, from z[k] and z[-k].
inline void SplitSpectra(TComplex zk, TComplex zmk, TComplex* fa, TComplex* fb) {
    const TComplex zm = std::conj(zmk);
    *fa = 0.5 * (zk + zm);
    const TComplex d = zk - zm;
    *fb = TComplex(0.5 * d.imag(), -0.5 * d.real());
}

} // namespace

double SumOfSquares(const double* v, int64_t n, double offset) {
    double s[4] = {0, 0, 0, 0};
    int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (int k = 0; k < 4; ++k) {
            const double d = v[i + k] - offset;
            s[k] += d * d;
        }
    }
    for (; i < n; ++i) {
        const double d = v[i] - offset;
        s[0] += d * d;
    }
    return (s[0] + s[1]) + (s[2] + s[3]);
}

// sum of v[i] - offset (four running sums: pipelined and vectorised, and each of a quarter of
// the terms)
double SumOf(const double* v, int64_t n, double offset) {
    double s[4] = {0, 0, 0, 0};
    int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (int k = 0; k < 4; ++k) {
            s[k] += v[i + k] - offset;
        }
    }
    for (; i < n; ++i) {
        s[0] += v[i] - offset;
    }
    return (s[0] + s[1]) + (s[2] + s[3]);
}

void AutoCorrelationPair(const double* a, const double* b, int64_t n, std::vector<double>* ca,
                         std::vector<double>* cb) {
    ca->resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
    if (cb) {
        cb->resize(ca->size());
    }
    AutoCorrelationPair(a, b, n, ca->data(), cb ? cb->data() : nullptr);
}

void AutoCorrelationPair(const double* a, const double* b, int64_t n, double* ca, double* cb) {
    if (n < 1) {
        return;
    }
    if (!cb && n >= 64) {
        // one sequence: its halves h1, h2 share a transform of half the size: the
        // autocorrelation is theirs summed plus their cross-correlation at d - |h1|
        const int64_t n1 = n / 2;
        const int64_t n2 = n - n1;
        const int64_t size = PowerOfTwoAtLeast(n);
        const TScratch z = Scratch(0, size);
        for (int64_t i = 0; i < n2; ++i) {
            z[static_cast<size_t>(i)] = TComplex(i < n1 ? a[i] : 0.0, a[n1 + i]);
        }
        ForwardFilled(z, n2);
        // |H1|^2 + |H2|^2 + i conj(H1) H2; at -k the conjugate of the second part
        ForMirrorPairs(size, [&](int64_t p, int64_t r) {
            TComplex h1;
            TComplex h2;
            SplitSpectra(z[static_cast<size_t>(p)], z[static_cast<size_t>(r)], &h1, &h2);
            const double sum = std::norm(h1) + std::norm(h2);
            const TComplex cross = Times(std::conj(h1), h2);
            z[static_cast<size_t>(p)] = TComplex(sum - cross.imag(), cross.real());
            z[static_cast<size_t>(r)] = TComplex(sum + cross.imag(), cross.real());
        });
        InverseInBitOrder(z.data(), size);
        const double scale = 1.0 / static_cast<double>(size);
        for (int64_t d = 0; d < n; ++d) {
            const int64_t e = d - n1; // the lag of the cross-correlation, in (-n1, n2)
            const double own = d < n2 ? z[static_cast<size_t>(d)].real() : 0.0;
            ca[d] = (own + z[static_cast<size_t>(e < 0 ? e + size : e)].imag()) * scale;
        }
        return;
    }
    const int64_t size = PowerOfTwoAtLeast(2 * n);
    const TScratch z = Scratch(0, size);
    for (int64_t i = 0; i < n; ++i) {
        z[static_cast<size_t>(i)] = TComplex(a[i], cb ? b[i] : 0.0);
    }
    ForwardFilled(z, n);
    // the spectra of the real and imaginary parts from Z(k) and conj(Z(-k)); their squared
    // magnitudes are the same at -k
    ForMirrorPairs(size, [&](int64_t p, int64_t r) {
        TComplex fa;
        TComplex fb;
        SplitSpectra(z[static_cast<size_t>(p)], z[static_cast<size_t>(r)], &fa, &fb);
        const TComplex v(std::norm(fa), cb ? std::norm(fb) : 0.0);
        z[static_cast<size_t>(p)] = v;
        z[static_cast<size_t>(r)] = v;
    });
    InverseInBitOrder(z.data(), size);
    const double scale = 1.0 / static_cast<double>(size);
    for (int64_t l = 0; l < n; ++l) {
        ca[l] = z[static_cast<size_t>(l)].real() * scale;
        if (cb) {
            cb[l] = z[static_cast<size_t>(l)].imag() * scale;
        }
    }
}

void AddCrossCorrelation(const double* a, int64_t la, const double* b, int64_t lb, double* out,
                         int64_t base) {
    if (la < 1 || lb < 1) {
        return;
    }
    if (la * lb <= DirectProducts) {
        for (int64_t u = 0; u < la; ++u) {
            double* o = out + base - u;
            for (int64_t v = 0; v < lb; ++v) {
                o[v] += a[u] * b[v];
            }
        }
        return;
    }
    // each taken off its mean first (the transform's rounding error scales with the sequences'
    // size: the products of the means and the rest are added exactly below, from prefix sums
    // of the residues), b brought to the scale of a (exactly, by a power of two)
    thread_local TLargeVector<double> prefix[2];
    const double* sequences[2] = {a, b};
    const int64_t lengths[2] = {la, lb};
    double means[2];
    for (int q = 0; q < 2; ++q) {
        means[q] = SumOf(sequences[q], lengths[q], 0.0) / static_cast<double>(lengths[q]);
        TLargeVector<double>& ps = prefix[q];
        ResizeWork(ps, static_cast<size_t>(lengths[q] + 1));
        double acc = 0;
        ps[0] = 0;
        for (int64_t i = 0; i < lengths[q]; ++i) {
            acc += sequences[q][i] - means[q];
            ps[static_cast<size_t>(i + 1)] = acc;
        }
    }
    // c[d] = sum_u a'[u] b'[u + d], d in (-la, lb): from conj(A') B', d taken modulo the size
    const int64_t size = PowerOfTwoAtLeast(la + lb - 1);
    const int64_t filled = std::max(la, lb);
    const TScratch z = Scratch(0, size);
    double squares[2] = {0, 0};
    for (int64_t i = 0; i < filled; ++i) {
        const double va = i < la ? static_cast<double>(a[i] - means[0]) : 0.0;
        const double vb = i < lb ? static_cast<double>(b[i] - means[1]) : 0.0;
        squares[0] += va * va;
        squares[1] += vb * vb;
        z[static_cast<size_t>(i)] = TComplex(va, vb);
    }
    const int e = BalancingExponent(squares[0], squares[1]);
    const double up = std::ldexp(1.0, e);
    for (int64_t i = 0; i < lb; ++i) {
        z[static_cast<size_t>(i)].imag(z[static_cast<size_t>(i)].imag() * up);
    }
    ForwardFilled(z, filled);
    const double unscale = std::ldexp(1.0, -e);
    ForMirrorPairs(size, [&](int64_t p, int64_t r) {
        TComplex sa;
        TComplex sb;
        SplitSpectra(z[static_cast<size_t>(p)], z[static_cast<size_t>(r)], &sa, &sb);
        const TComplex prod = unscale * Times(std::conj(sa), sb);
        z[static_cast<size_t>(p)] = prod;
        z[static_cast<size_t>(r)] = std::conj(prod); // real result
    });
    InverseInBitOrder(z.data(), size);
    const double scale = 1.0 / static_cast<double>(size);
    // with x = x' + mx: sum a b = sum a' b' + mb sum_U a' + ma sum_V b' + ma mb |U|, U the u of
    // the diagonal, V = U + d
    const TLargeVector<double>& pa = prefix[0];
    const TLargeVector<double>& pb = prefix[1];
    const double ma = means[0];
    const double mb = means[1];
    for (int64_t d = -(la - 1); d <= lb - 1; ++d) {
        const int64_t u0 = std::max<int64_t>(0, -d);
        const int64_t u1 = std::min<int64_t>(la, lb - d);
        const double terms =
            mb * (pa[static_cast<size_t>(u1)] - pa[static_cast<size_t>(u0)]) +
            ma * (pb[static_cast<size_t>(u1 + d)] - pb[static_cast<size_t>(u0 + d)]) +
            ma * mb * static_cast<double>(u1 - u0);
        out[base + d] += z[static_cast<size_t>(d < 0 ? d + size : d)].real() * scale + terms;
    }
}

void AddTriangleCorrelation(const double* a, const double* b, int64_t len, double* out,
                            int64_t base) {
    if (len < 1) {
        return;
    }
    if (len <= DirectTriangle) {
        for (int64_t u = 0; u < len; ++u) {
            double* o = out + base - u;
            for (int64_t v = 0; u + v < len; ++v) {
                o[v] += a[u] * b[v];
            }
        }
        return;
    }
    // the rectangle u < p, v < q lies under the anti-diagonal; the two corners beside it are
    // triangles of sides p and q
    const int64_t p = len / 2;
    const int64_t q = len - p;
    AddCrossCorrelation(a, p, b, q, out, base);
    AddTriangleCorrelation(a, b + q, p, out, base + q);
    AddTriangleCorrelation(a + p, b, q, out, base - p);
}

void AddWedgeCorrelation(const double* x, int64_t len, double* out, int64_t base) {
    if (len < 1) {
        return;
    }
    if (len <= 4 * DirectTriangle) {
        for (int64_t u = 0; 2 * u < len; ++u) {
            double* o = out + base - u;
            for (int64_t w = u; u + w < len; ++w) {
                o[w] += x[u] * x[w];
            }
        }
        return;
    }
    // u < a: the rectangle w < len - a (its square w < a wanted above the diagonal only) and
    // the corner triangle w >= len - a; u >= a: the same wedge, shorter by 2a
    const int64_t a = len / 4;
    AddCrossCorrelation(x, a, x, len - a, out, base);
    AddTriangleCorrelation(x, x + len - a, a, out, base + len - a);
    AddWedgeCorrelation(x + a, len - 2 * a, out, base);
}

void SegmentCorrelations(const double* a, const double* b, int64_t len, std::vector<double>* ac,
                         std::vector<double>* corr, std::vector<double>* conv) {
    const int64_t span = 2 * len - 1;
    ac->assign(static_cast<size_t>(span), 0.0);
    corr->assign(static_cast<size_t>(span), 0.0);
    conv->assign(static_cast<size_t>(span), 0.0);
    if (len < 1) {
        return;
    }
    // conv(s) = sum_u a[u] r[u + d] with r = reversed a and d = len - 1 - s
    thread_local TLargeVector<double> reversed;
    reversed.assign(a, a + len);
    std::reverse(reversed.begin(), reversed.end());
    if (len * len <= DirectProducts) {
        AddCrossCorrelation(a, len, a, len, ac->data(), len - 1);
        AddCrossCorrelation(a, len, b, len, corr->data(), len - 1);
        AddCrossCorrelation(a, len, reversed.data(), len, conv->data(), len - 1);
        std::reverse(conv->begin(), conv->end());
        return;
    }
    const TLine fa = FitLine(a, len);
    const TLine fb = FitLine(b, len);
    const TLine fr{fa.C0 + fa.C1 * static_cast<long double>(len - 1), -fa.C1};
    const int64_t size = PowerOfTwoAtLeast(span);
    const TScratch z = Scratch(0, size);
    for (int64_t i = 0; i < len; ++i) {
        z[static_cast<size_t>(i)] =
            TComplex(static_cast<double>(a[i] - fa.At(i)), static_cast<double>(b[i] - fb.At(i)));
    }
    ForwardFilled(z, len);
    const TScratch w = Scratch(1, size);
    ForMirrorPairs(size, [&](int64_t p, int64_t r) {
        const size_t at = static_cast<size_t>(p);
        const size_t mirror = static_cast<size_t>(r);
        TComplex sa;
        TComplex sb;
        SplitSpectra(z[at], z[mirror], &sa, &sb);
        // |A|^2 + i conj(A) B (both real sequences' spectra) and A^2; at -k the conjugates
        const TComplex cross = Times(std::conj(sa), sb);
        w[at] = TComplex(std::norm(sa) - cross.imag(), cross.real());
        w[mirror] = TComplex(std::norm(sa) + cross.imag(), cross.real());
        const TComplex square = Times(sa, sa);
        z[at] = square;
        z[mirror] = std::conj(square);
    });
    InverseInBitOrder(w.data(), size);
    InverseInBitOrder(z.data(), size);
    const double scale = 1.0 / static_cast<double>(size);
    for (int64_t d = -(len - 1); d <= len - 1; ++d) {
        const TComplex v = w[static_cast<size_t>(d < 0 ? d + size : d)];
        (*ac)[static_cast<size_t>(len - 1 + d)] = v.real() * scale;
        (*corr)[static_cast<size_t>(len - 1 + d)] = v.imag() * scale;
        // conv at s = len - 1 - d
        (*conv)[static_cast<size_t>(len - 1 + d)] =
            z[static_cast<size_t>(len - 1 - d)].real() * scale;
    }
    AddLineTerms(a, len, fa, a, len, fa, ac->data(), len - 1);
    AddLineTerms(a, len, fa, b, len, fb, corr->data(), len - 1);
    AddLineTerms(a, len, fa, reversed.data(), len, fr, conv->data(), len - 1);
    std::reverse(conv->begin(), conv->end());
}

void EndCorrelations(const double* h, const double* hw, const double* t, const double* tw,
                     int64_t len, double* headAc, double* tailAc, double* cross, double* convDiff) {
    if (len < 1) {
        return;
    }
    if (len * len <= DirectProducts) {
        std::fill(headAc, headAc + len, 0.0);
        std::fill(tailAc, tailAc + len, 0.0);
        std::fill(cross, cross + len, 0.0);
        std::fill(convDiff, convDiff + 2 * len - 1, 0.0);
        for (int64_t d = 0; d < len; ++d) {
            for (int64_t u = 0; u + d < len; ++u) {
                headAc[d] += h[u] * h[u + d];
                tailAc[d] += t[u] * t[u + d];
                cross[d] += h[u] * hw[u + d] + tw[u] * t[u + d];
            }
        }
        for (int64_t u = 0; u < len; ++u) {
            for (int64_t v = 0; v < len; ++v) {
                convDiff[u + v] += h[u] * h[v] - t[u] * t[v];
            }
        }
        return;
    }
    // each taken off its mean first (the transform's rounding scales with the sequences' size;
    // the products of the means and the rest are added below, from running sums of the
    // residues: terms of the size of the transform's own rounding, summed in double)
    const double* sequences[4] = {h, hw, t, tw};
    double means[4];
    double totals[4]; // of the residues
    for (int q = 0; q < 4; ++q) {
        means[q] = SumOf(sequences[q], len, 0.0) / static_cast<double>(len);
        totals[q] = SumOf(sequences[q], len, means[q]);
    }
    const int64_t size = PowerOfTwoAtLeast(2 * len - 1);
    const TScratch z = Scratch(0, size);
    const TScratch w = Scratch(1, size);
    double squares[2] = {0, 0}; // of the ends and of the weighted ones, means off
    for (int64_t i = 0; i < len; ++i) {
        const double vh = static_cast<double>(h[i] - means[0]);
        const double vhw = static_cast<double>(hw[i] - means[1]);
        const double vt = static_cast<double>(t[i] - means[2]);
        const double vtw = static_cast<double>(tw[i] - means[3]);
        squares[0] += vh * vh + vt * vt;
        squares[1] += vhw * vhw + vtw * vtw;
        z[static_cast<size_t>(i)] = TComplex(vh, vhw);
        w[static_cast<size_t>(i)] = TComplex(vt, vtw);
    }
    // the weighted ones brought to the scale of the others (exactly, by a power of two)
    const int e = BalancingExponent(squares[0], squares[1]);
    const double unscale = std::ldexp(1.0, -e);
    const double up = std::ldexp(1.0, e);
    for (int64_t i = 0; i < len; ++i) {
        z[static_cast<size_t>(i)].imag(z[static_cast<size_t>(i)].imag() * up);
        w[static_cast<size_t>(i)].imag(w[static_cast<size_t>(i)].imag() * up);
    }
    ForwardFilled(z, len);
    ForwardFilled(w, len);
    // |H|^2 + i |T|^2, and conj(H) HW + conj(TW) T + i (H^2 - T^2) (four real sequences'
    // correlations, two by each inverse); at -k the conjugates of each part
    ForMirrorPairs(size, [&](int64_t p, int64_t r) {
        const size_t at = static_cast<size_t>(p);
        const size_t mirror = static_cast<size_t>(r);
        TComplex sh;
        TComplex shw;
        TComplex st;
        TComplex stw;
        SplitSpectra(z[at], z[mirror], &sh, &shw);
        SplitSpectra(w[at], w[mirror], &st, &stw);
        const TComplex acs(std::norm(sh), std::norm(st));
        z[at] = acs;
        z[mirror] = acs;
        const TComplex s = unscale * (Times(std::conj(sh), shw) + Times(std::conj(stw), st));
        const TComplex c = Times(sh, sh) - Times(st, st);
        w[at] = TComplex(s.real() - c.imag(), s.imag() + c.real());
        w[mirror] = TComplex(s.real() + c.imag(), c.real() - s.imag());
    });
    InverseInBitOrder(z.data(), size);
    InverseInBitOrder(w.data(), size);
    const double scale = 1.0 / static_cast<double>(size);
    for (int64_t d = 0; d < len; ++d) {
        headAc[d] = z[static_cast<size_t>(d)].real() * scale;
        tailAc[d] = z[static_cast<size_t>(d)].imag() * scale;
        cross[d] = w[static_cast<size_t>(d)].real() * scale;
    }
    for (int64_t s = 0; s < 2 * len - 1; ++s) {
        convDiff[s] = w[static_cast<size_t>(s)].imag() * scale;
    }
    // the terms of the means: with x = x' + mx, sum_u a[u] b[u + d] over u < len - d is
    // sum a' b' + mb sum_{u < len - d} a' + ma sum_{v >= d} b' + ma mb (len - d)
    const double mh = means[0];
    const double mhw = means[1];
    const double mt = means[2];
    const double mtw = means[3];
    auto residue = [&](int q, int64_t i) { return sequences[q][i] - means[q]; };
    double before[4] = {0, 0, 0, 0}; // sum of the residues below d
    double after[4] = {0, 0, 0, 0};  // sum of the residues from len - d on
    for (int64_t d = 0; d < len; ++d) {
        double below[4]; // u < len - d
        double from[4];  // v >= d
        for (int q = 0; q < 4; ++q) {
            below[q] = totals[q] - after[q];
            from[q] = totals[q] - before[q];
        }
        const double count = static_cast<double>(len - d);
        headAc[d] += mh * (below[0] + from[0]) + mh * mh * count;
        tailAc[d] += mt * (below[2] + from[2]) + mt * mt * count;
        cross[d] += mhw * below[0] + mh * from[1] + mh * mhw * count + mt * below[3] +
                    mtw * from[2] + mtw * mt * count;
        for (int q = 0; q < 4; ++q) {
            before[q] += residue(q, d);
            after[q] += residue(q, len - 1 - d);
        }
    }
    // sum_{u + v = s} x[u] x[v] over u, v in [lo, hi]: sum x' x' + 2 mx sum x' + mx^2 (hi - lo + 1)
    double upTo[2] = {0, 0};  // residues of h and t up to hi = s (s < len)
    double below[2] = {0, 0}; // residues below lo = s - len + 1 (s >= len)
    for (int64_t s = 0; s < 2 * len - 1; ++s) {
        double sums[2];
        if (s < len) {
            upTo[0] += residue(0, s);
            upTo[1] += residue(2, s);
            sums[0] = upTo[0];
            sums[1] = upTo[1];
        } else {
            below[0] += residue(0, s - len);
            below[1] += residue(2, s - len);
            sums[0] = totals[0] - below[0];
            sums[1] = totals[2] - below[1];
        }
        const double count =
            static_cast<double>(std::min(s, len - 1) - std::max<int64_t>(0, s - (len - 1)) + 1);
        convDiff[s] += 2 * mh * sums[0] + mh * mh * count - (2 * mt * sums[1] + mt * mt * count);
    }
}

namespace {

// The transform work (points times depth) of one transform of size n.
double TransformWork(int64_t n) {
    return static_cast<double>(n) *
           static_cast<double>(std::countr_zero(static_cast<uint64_t>(n)) + 2);
}

// ApplyFilter's blocks: the size of the least work (transforms times their work), up to the
// whole sequence in one; *work: that work.
int64_t FilterBlockSize(int64_t lg, int64_t len, double* work) {
    const int64_t count = len - lg + 1;
    const int64_t whole = PowerOfTwoAtLeast(len);
    auto workAt = [&](int64_t s) {
        const int64_t blocks = (count + (s - lg)) / (s - lg + 1);
        const int64_t transforms = blocks == 1 ? 2 : 2 * ((blocks + 1) / 2) + 1;
        return static_cast<double>(transforms) * TransformWork(s);
    };
    int64_t size = std::min(PowerOfTwoAtLeast(std::max<int64_t>(lg + 1, 256)), whole);
    for (int64_t s = 2 * size; s <= whole; s *= 2) {
        if (workAt(s) < workAt(size)) {
            size = s;
        }
    }
    if (work) {
        *work = workAt(size);
    }
    return size;
}

} // namespace

void ApplyFilter(const double* g, int64_t lg, const double* x, int64_t len, double* out) {
    const int64_t count = len - lg + 1;
    if (count < 1 || lg < 1) {
        return;
    }
    const double gsum = SumOf(g, lg, 0.0);
    if (lg <= 16) {
        for (int64_t s = 0; s < count; ++s) {
            double v = 0;
            for (int64_t j = 0; j < lg; ++j) {
                v += g[j] * x[s + j];
            }
            out[s] = v;
        }
        return;
    }
    // overlap-save: blocks of size outputs + lg - 1, two blocks per transform (real and
    // imaginary parts), each block's mean taken off first and its product with g added back
    const int64_t size = FilterBlockSize(lg, len, nullptr);
    const int64_t step = size - lg + 1;
    const double scale = 1.0 / static_cast<double>(size);
    const TScratch z = Scratch(0, size);
    auto meanOf = [&](int64_t from, int64_t to) {
        return to > from ? SumOf(x + from, to - from, 0.0) / static_cast<double>(to - from) : 0.0;
    };
    if (count <= step) {
        // one block: it and the filter by one transform (real and imaginary part)
        const int64_t to = std::min(len, size);
        const double mean = meanOf(0, to);
        const int e = BalancingExponent(SumOfSquares(x, to, mean), SumOfSquares(g, lg, 0.0));
        const double up = std::ldexp(1.0, e);
        for (int64_t i = 0; i < to; ++i) {
            z[static_cast<size_t>(i)] = TComplex(x[i] - mean, i < lg ? g[i] * up : 0.0);
        }
        ForwardFilled(z, to);
        const double unscale = std::ldexp(1.0, -e);
        ForMirrorPairs(size, [&](int64_t p, int64_t r) {
            TComplex sx;
            TComplex sg;
            SplitSpectra(z[static_cast<size_t>(p)], z[static_cast<size_t>(r)], &sx, &sg);
            const TComplex prod = unscale * Times(sx, std::conj(sg));
            z[static_cast<size_t>(p)] = prod;
            z[static_cast<size_t>(r)] = std::conj(prod); // real result
        });
        InverseInBitOrder(z.data(), size);
        for (int64_t s = 0; s < count; ++s) {
            out[s] = z[static_cast<size_t>(s)].real() * scale + static_cast<double>(mean * gsum);
        }
        return;
    }
    const TScratch filter = Scratch(1, size);
    for (int64_t j = 0; j < lg; ++j) {
        filter[static_cast<size_t>(j)] = TComplex(g[j], 0);
    }
    ForwardFilled(filter, lg);
    for (int64_t first = 0; first < count; first += 2 * step) {
        double means[2] = {0, 0};
        int64_t ends[2] = {0, 0};
        for (int part = 0; part < 2; ++part) {
            const int64_t from = first + part * step;
            const int64_t to = std::min(len, from + size);
            means[part] = meanOf(from, to);
            ends[part] = std::max<int64_t>(0, to - from);
        }
        const double* x0 = x + first;
        const double* x1 = x + first + step;
        for (int64_t i = 0; i < size; ++i) {
            z[static_cast<size_t>(i)] = TComplex(i < ends[0] ? x0[i] - means[0] : 0.0,
                                                 i < ends[1] ? x1[i] - means[1] : 0.0);
        }
        ForwardToBitOrder(z.data(), size, false);
        for (int64_t k = 0; k < size; ++k) {
            z[static_cast<size_t>(k)] =
                Times(z[static_cast<size_t>(k)], std::conj(filter[static_cast<size_t>(k)]));
        }
        InverseInBitOrder(z.data(), size);
        for (int part = 0; part < 2; ++part) {
            const int64_t from = first + part * step;
            for (int64_t s = from; s < std::min(count, from + step); ++s) {
                const TComplex v = z[static_cast<size_t>(s - from)];
                out[s] = (part == 0 ? v.real() : v.imag()) * scale +
                         static_cast<double>(means[part] * gsum);
            }
        }
    }
}

long double FilteredDot(const double* b, const double* g, int64_t lg, const double* x, int64_t len,
                        TLargeVector<std::complex<double>>* xSpectrum) {
    const int64_t count = len - lg + 1;
    if (count < 1 || lg < 1) {
        return 0;
    }
    const int64_t size = PowerOfTwoAtLeast(len);
    double blockWork = 0;
    if (lg > 16) {
        FilterBlockSize(lg, len, &blockWork);
    }
    if (lg <= 16 || blockWork < TransformWork(size)) {
        thread_local TLargeVector<double> applied;
        ResizeWork(applied, static_cast<size_t>(count));
        ApplyFilter(g, lg, x, len, applied.data());
        return Dot(b, applied.data(), count);
    }
    // sum_s b[s] (g * x)[s] = (1 / size) sum_k conj(B_k G_k) X_k over the padded transforms
    // (no wrap: s + j < len <= size), x's mean taken off first and its products added back
    // the spectrum, and the mean after it (one more entry)
    if (static_cast<int64_t>(xSpectrum->size()) != size + 1) {
        const double xmean = SumOf(x, len, 0.0) / static_cast<double>(len);
        const TScratch z = Scratch(0, size);
        for (int64_t i = 0; i < len; ++i) {
            z[static_cast<size_t>(i)] = TComplex(x[i] - xmean, 0.0);
        }
        ForwardFilled(z, len);
        xSpectrum->reserve(static_cast<size_t>(size + 1));
        xSpectrum->assign(z.begin(), z.end());
        xSpectrum->push_back(TComplex(xmean, 0.0));
    }
    const TLargeVector<TComplex>& xs = *xSpectrum;
    const double mean = xs[static_cast<size_t>(size)].real();
    long double bsum = 0;
    long double gsum = 0;
    for (int64_t s = 0; s < count; ++s) {
        bsum += b[s];
    }
    for (int64_t j = 0; j < lg; ++j) {
        gsum += g[j];
    }
    // b and g in one transform, g brought to the scale of b (exactly, by a power of two)
    const int e = BalancingExponent(SumOfSquares(b, count, 0.0), SumOfSquares(g, lg, 0.0));
    const double up = std::ldexp(1.0, e);
    const double unscale = std::ldexp(1.0, -e);
    const TScratch z = Scratch(0, size);
    const int64_t filled = std::max(count, lg);
    for (int64_t i = 0; i < filled; ++i) {
        z[static_cast<size_t>(i)] = TComplex(i < count ? b[i] : 0.0, i < lg ? g[i] * up : 0.0);
    }
    ForwardFilled(z, filled);
    long double dot = 0;
    double block = 0;
    int64_t inBlock = 0;
    ForMirrorPairs(size, [&](int64_t p, int64_t r) {
        TComplex sb;
        TComplex sg;
        SplitSpectra(z[static_cast<size_t>(p)], z[static_cast<size_t>(r)], &sb, &sg);
        const TComplex v = Times(std::conj(Times(sb, sg)), xs[static_cast<size_t>(p)]);
        block += (p == r ? 1.0 : 2.0) * v.real(); // and the conjugate at -k
        if (++inBlock == 256) {
            dot += block;
            block = 0;
            inBlock = 0;
        }
    });
    dot += block;
    return dot * unscale / static_cast<long double>(size) +
           static_cast<long double>(mean) * bsum * gsum;
}

std::vector<double> WithoutLine(const double* v, int64_t n) {
    std::vector<double> r(static_cast<size_t>(n));
    RemoveLine(v, n, r.data());
    return r;
}

void RemoveLine(const double* v, int64_t n, double* out) {
    const TLine f = FitLine(v, n);
    for (int64_t k = 0; k < n; ++k) {
        out[k] = static_cast<double>(v[k] - f.At(k));
    }
}

long double RemoveParabola(const double* v, int64_t n, double* out) {
    if (n < 3) {
        RemoveLine(v, n, out);
        return 0;
    }
    // least squares in t = (k - c) / c, c the centre (the normal equations well conditioned:
    // the odd moments vanish), in long double
    const long double c = static_cast<long double>(n - 1) / 2;
    long double s0 = 0, s1 = 0, s2 = 0; // sums of v t^j
    long double t2 = 0, t4 = 0;         // sums of t^2, t^4
    for (int64_t k = 0; k < n; ++k) {
        const long double t = (static_cast<long double>(k) - c) / c;
        const long double tt = t * t;
        s0 += v[k];
        s1 += v[k] * t;
        s2 += v[k] * tt;
        t2 += tt;
        t4 += tt * tt;
    }
    const long double nn = static_cast<long double>(n);
    // [n t2; t2 t4] (b0, b2) = (s0, s2); b1 = s1 / t2
    const long double det = nn * t4 - t2 * t2;
    const long double b2 = det != 0 ? (nn * s2 - t2 * s0) / det : 0;
    const long double b0 = (s0 - b2 * t2) / nn;
    const long double b1 = t2 != 0 ? s1 / t2 : 0;
    for (int64_t k = 0; k < n; ++k) {
        const long double t = (static_cast<long double>(k) - c) / c;
        out[k] = static_cast<double>(v[k] - (b0 + t * (b1 + t * b2)));
    }
    return b2 / (c * c); // the coefficient of k^2
}
