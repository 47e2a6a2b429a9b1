#include "stability/FourierUnit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using TComplex = std::complex<double>;

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

// Work space kept between calls (no fresh pages for every transform): size entries, those from
// filled on zero (the caller writes the first filled).
std::vector<TComplex>& Scratch(int which, int64_t size, int64_t filled) {
    thread_local std::vector<TComplex> space[2];
    std::vector<TComplex>& v = space[which];
    v.resize(static_cast<size_t>(size));
    std::fill(v.begin() + std::min(filled, size), v.end(), TComplex{});
    return v;
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

// sum of i and of i^2 over i in [lo, hi)
long double PowerSum1(int64_t lo, int64_t hi) {
    auto s = [](long double k) { return k * (k - 1) / 2; }; // sum over [0, k)
    return s(static_cast<long double>(hi)) - s(static_cast<long double>(lo));
}
long double PowerSum2(int64_t lo, int64_t hi) {
    auto s = [](long double k) { return (k - 1) * k * (2 * k - 1) / 6; };
    return s(static_cast<long double>(hi)) - s(static_cast<long double>(lo));
}

// Adds to out[base + d] the parts of sum_u a[u] b[u + d] (every diagonal d in (-la, lb)) that
// involve the lines fa, fb: with a = a' + fa, b = b' + fb, the sums of a' fb, fa b' and fa fb,
// from running sums of the residues (long double).
void AddLineTerms(const double* a, int64_t la, const TLine& fa, const double* b, int64_t lb,
                  const TLine& fb, double* out, int64_t base) {
    auto sums = [](const double* v, int64_t len, const TLine& f, std::vector<long double>* s0,
                   std::vector<long double>* s1) {
        s0->assign(static_cast<size_t>(len + 1), 0);
        s1->assign(static_cast<size_t>(len + 1), 0);
        for (int64_t i = 0; i < len; ++i) {
            const long double r = static_cast<long double>(v[i]) - f.At(i);
            (*s0)[static_cast<size_t>(i + 1)] = (*s0)[static_cast<size_t>(i)] + r;
            (*s1)[static_cast<size_t>(i + 1)] =
                (*s1)[static_cast<size_t>(i)] + r * static_cast<long double>(i);
        }
    };
    thread_local std::vector<long double> a0;
    thread_local std::vector<long double> a1;
    thread_local std::vector<long double> b0;
    thread_local std::vector<long double> b1;
    sums(a, la, fa, &a0, &a1);
    sums(b, lb, fb, &b0, &b1);
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
        v += (fb.C0 + fb.C1 * dd) * as0 + fb.C1 * as1;
        // fa(u) fb(u + d), a quadratic in u
        const long double q0 = fa.C0 * (fb.C0 + fb.C1 * dd);
        const long double q1 = fa.C0 * fb.C1 + fa.C1 * (fb.C0 + fb.C1 * dd);
        const long double q2 = fa.C1 * fb.C1;
        v += q0 * static_cast<long double>(u1 - u0) + q1 * PowerSum1(u0, u1) +
             q2 * PowerSum2(u0, u1);
        out[base + d] += static_cast<double>(v);
    }
}

// Products of the diagonals computed directly below this many products.
constexpr int64_t DirectProducts = 4096;
// Triangles of this side or less are summed directly.
constexpr int64_t DirectTriangle = 48;

} // namespace

void FourierTransform(std::vector<TComplex>& a, bool inverse) {
    const int64_t n = static_cast<int64_t>(a.size());
    if (n < 2) {
        return;
    }
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
    // twiddles exp(-2 pi i k / len), k < len / 2, of every stage len, one after the other
    // (stage len from len / 2 - 1 on), each computed directly (no accumulated rounding)
    thread_local std::vector<TComplex> twiddles;
    if (static_cast<int64_t>(twiddles.size()) < n - 1) {
        twiddles.resize(static_cast<size_t>(n - 1));
        for (int64_t len = 2; len <= n; len *= 2) {
            for (int64_t k = 0; k < len / 2; ++k) {
                const double angle =
                    -2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(len);
                twiddles[static_cast<size_t>(len / 2 - 1 + k)] =
                    TComplex(std::cos(angle), std::sin(angle));
            }
        }
    }
    const double sign = inverse ? -1.0 : 1.0;
    TComplex* data = a.data();
    // the butterflies of stage len over [start, end)
    auto stage = [&](int64_t len, int64_t from, int64_t to) {
        const int64_t half = len / 2;
        const TComplex* w = twiddles.data() + half - 1;
        for (int64_t start = from; start < to; start += len) {
            TComplex* p = data + start;
            for (int64_t k = 0; k < half; ++k) {
                const double wr = w[k].real();
                const double wi = sign * w[k].imag();
                const double br = p[k + half].real();
                const double bi = p[k + half].imag();
                const TComplex t(br * wr - bi * wi, br * wi + bi * wr);
                p[k + half] = p[k] - t;
                p[k] += t;
            }
        }
    };
    // the stages within a block of the cache's size block by block, the longer ones after
    constexpr int64_t Block = int64_t{1} << 12;
    const int64_t block = std::min(n, Block);
    for (int64_t from = 0; from < n; from += block) {
        for (int64_t len = 2; len <= block; len *= 2) {
            stage(len, from, from + block);
        }
    }
    for (int64_t len = 2 * block; len <= n; len *= 2) {
        stage(len, 0, n);
    }
}

std::vector<double> AutoCorrelation(const double* x, int64_t n) {
    std::vector<double> c;
    AutoCorrelationPair(x, x, n, &c, nullptr);
    return c;
}

void AutoCorrelationPair(const double* a, const double* b, int64_t n, std::vector<double>* ca,
                         std::vector<double>* cb) {
    const int64_t size = PowerOfTwoAtLeast(2 * n);
    std::vector<TComplex>& z = Scratch(0, size, n);
    for (int64_t i = 0; i < n; ++i) {
        z[static_cast<size_t>(i)] = TComplex(a[i], cb ? b[i] : 0.0);
    }
    FourierTransform(z, false);
    // the spectra of the real and imaginary parts from Z(k) and conj(Z(-k))
    std::vector<TComplex>& p = Scratch(1, size, size);
    for (int64_t k = 0; k < size; ++k) {
        const TComplex zk = z[static_cast<size_t>(k)];
        const TComplex zm = std::conj(z[static_cast<size_t>(k == 0 ? 0 : size - k)]);
        const TComplex fa = 0.5 * (zk + zm);
        const TComplex d = zk - zm;
        const TComplex fb(0.5 * d.imag(), -0.5 * d.real());
        p[static_cast<size_t>(k)] = TComplex(std::norm(fa), cb ? std::norm(fb) : 0.0);
    }
    FourierTransform(p, true);
    const double scale = 1.0 / static_cast<double>(size);
    ca->resize(static_cast<size_t>(n));
    if (cb) {
        cb->resize(static_cast<size_t>(n));
    }
    for (int64_t l = 0; l < n; ++l) {
        (*ca)[static_cast<size_t>(l)] = p[static_cast<size_t>(l)].real() * scale;
        if (cb) {
            (*cb)[static_cast<size_t>(l)] = p[static_cast<size_t>(l)].imag() * scale;
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
    // a line fitted to each taken off first (the transform's rounding error scales with the
    // sequences' size: the products of the lines and the rest are added exactly below)
    const TLine fa = FitLine(a, la);
    const TLine fb = FitLine(b, lb);
    // c[d] = sum_u a'[u] b'[u + d], d in (-la, lb): from conj(A') B', d taken modulo the size
    const int64_t size = PowerOfTwoAtLeast(la + lb - 1);
    std::vector<TComplex>& z = Scratch(0, size, std::max(la, lb));
    for (int64_t i = 0; i < std::max(la, lb); ++i) {
        z[static_cast<size_t>(i)] =
            TComplex(i < la ? a[i] - fa.At(i) : 0.0, i < lb ? b[i] - fb.At(i) : 0.0);
    }
    FourierTransform(z, false);
    for (int64_t k = 0; k <= size / 2; ++k) {
        const TComplex zk = z[static_cast<size_t>(k)];
        const TComplex zm = std::conj(z[static_cast<size_t>(k == 0 ? 0 : size - k)]);
        const TComplex sa = 0.5 * (zk + zm);
        const TComplex d = zk - zm;
        const TComplex sb(0.5 * d.imag(), -0.5 * d.real());
        const TComplex prod = Times(std::conj(sa), sb);
        z[static_cast<size_t>(k)] = prod;
        z[static_cast<size_t>(k == 0 ? 0 : size - k)] = std::conj(prod); // real result
    }
    FourierTransform(z, true);
    const double scale = 1.0 / static_cast<double>(size);
    for (int64_t d = -(la - 1); d <= lb - 1; ++d) {
        out[base + d] += z[static_cast<size_t>((d + size) % size)].real() * scale;
    }
    AddLineTerms(a, la, fa, b, lb, fb, out, base);
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
    // u < a: w below a (a square, its upper half wanted), the rectangle w in [a, len - a) and
    // the corner triangle w >= len - a; u >= a: the same wedge, shorter by 2a
    const int64_t a = len / 4;
    AddCrossCorrelation(x, a, x, a, out, base);
    AddCrossCorrelation(x, a, x + a, len - 2 * a, out, base + a);
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
    thread_local std::vector<double> reversed;
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
    std::vector<TComplex>& z = Scratch(0, size, len);
    for (int64_t i = 0; i < len; ++i) {
        z[static_cast<size_t>(i)] =
            TComplex(static_cast<double>(a[i] - fa.At(i)), static_cast<double>(b[i] - fb.At(i)));
    }
    FourierTransform(z, false);
    std::vector<TComplex>& w = Scratch(1, size, size);
    for (int64_t k = 0; k <= size / 2; ++k) {
        const size_t at = static_cast<size_t>(k);
        const size_t mirror = static_cast<size_t>(k == 0 ? 0 : size - k);
        const TComplex zk = z[at];
        const TComplex zm = std::conj(z[mirror]);
        const TComplex sa = 0.5 * (zk + zm);
        const TComplex d = zk - zm;
        const TComplex sb(0.5 * d.imag(), -0.5 * d.real());
        // |A|^2 + i conj(A) B (both real sequences' spectra) and A^2; at -k the conjugates
        const TComplex cross = Times(std::conj(sa), sb);
        w[at] = TComplex(std::norm(sa) - cross.imag(), cross.real());
        w[mirror] = TComplex(std::norm(sa) + cross.imag(), cross.real());
        const TComplex square = Times(sa, sa);
        z[at] = square;
        z[mirror] = std::conj(square);
    }
    FourierTransform(w, true);
    FourierTransform(z, true);
    const double scale = 1.0 / static_cast<double>(size);
    for (int64_t d = -(len - 1); d <= len - 1; ++d) {
        const TComplex v = w[static_cast<size_t>((d + size) % size)];
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

void ApplyFilter(const double* g, int64_t lg, const double* x, int64_t len, double* out) {
    const int64_t count = len - lg + 1;
    if (count < 1 || lg < 1) {
        return;
    }
    long double gsum = 0;
    for (int64_t j = 0; j < lg; ++j) {
        gsum += g[j];
    }
    if (lg <= 16) {
        for (int64_t s = 0; s < count; ++s) {
            long double v = 0;
            for (int64_t j = 0; j < lg; ++j) {
                v += g[j] * x[s + j];
            }
            out[s] = static_cast<double>(v);
        }
        return;
    }
    // overlap-save: blocks of size outputs + lg - 1, two blocks per transform (real and
    // imaginary parts), each block's mean taken off first and its product with g added back
    // blocks of about twice the filter, or the whole sequence in one when that is smaller
    const int64_t size =
        std::min(PowerOfTwoAtLeast(std::max<int64_t>(2 * lg, 256)), PowerOfTwoAtLeast(len));
    const int64_t step = size - lg + 1;
    std::vector<TComplex>& filter = Scratch(1, size, lg);
    for (int64_t j = 0; j < lg; ++j) {
        filter[static_cast<size_t>(j)] = TComplex(g[j], 0);
    }
    FourierTransform(filter, false);
    for (int64_t first = 0; first < count; first += 2 * step) {
        std::vector<TComplex>& z = Scratch(0, size, 0);
        double means[2] = {0, 0};
        for (int part = 0; part < 2; ++part) {
            const int64_t from = first + part * step;
            const int64_t to = std::min(len, from + size);
            long double sum = 0;
            for (int64_t i = from; i < to; ++i) {
                sum += x[i];
            }
            means[part] =
                to > from ? static_cast<double>(sum / static_cast<long double>(to - from)) : 0;
            for (int64_t i = from; i < to; ++i) {
                const double v = x[i] - means[part];
                TComplex& c = z[static_cast<size_t>(i - from)];
                c = part == 0 ? TComplex(v, c.imag()) : TComplex(c.real(), v);
            }
        }
        FourierTransform(z, false);
        for (int64_t k = 0; k < size; ++k) {
            z[static_cast<size_t>(k)] =
                Times(z[static_cast<size_t>(k)], std::conj(filter[static_cast<size_t>(k)]));
        }
        FourierTransform(z, true);
        const double scale = 1.0 / static_cast<double>(size);
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

std::vector<double> WithoutLine(const double* v, int64_t n) {
    const TLine f = FitLine(v, n);
    std::vector<double> r(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) {
        r[static_cast<size_t>(k)] = static_cast<double>(v[k] - f.At(k));
    }
    return r;
}
