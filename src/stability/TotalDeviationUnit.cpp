#include "stability/TotalDeviationUnit.h"

#include "stability/FourierUnit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Mean over the subsequences of 3m values of s of the mean square of the 6m second differences
// of m-point averages of the detrended, reflected subsequence (the core of MTOTDEV and HTOTDEV).
double TotalWindowMeanDirect(const double* s, int64_t len, int64_t m, int64_t* windows) {
    const int64_t w3 = 3 * m;
    const int64_t count = len - w3 + 1;
    *windows = count;
    if (count < 1 || m < 1) {
        return 0;
    }
    const int64_t half = w3 / 2;
    const double md = static_cast<double>(m);
    const double slopeSpan = static_cast<double>(w3 - half); // distance of the half centres
    std::vector<double> c(static_cast<size_t>(9 * m + 1));   // prefix sums of the extension
    std::vector<double> w(static_cast<size_t>(w3));
    long double total = 0;
    for (int64_t start = 0; start < count; ++start) {
        const double* v = s + start;
        double first = 0;
        double second = 0;
        for (int64_t k = 0; k < half; ++k) {
            first += v[k];
            second += v[w3 - half + k];
        }
        const double slope = (second - first) / static_cast<double>(half) / slopeSpan;
        for (int64_t k = 0; k < w3; ++k) {
            w[static_cast<size_t>(k)] = v[k] - v[0] - slope * static_cast<double>(k);
        }
        // extension: reversed w, w, reversed w
        double acc = 0;
        size_t at = 0;
        c[at++] = 0;
        for (int64_t k = w3 - 1; k >= 0; --k) {
            acc += w[static_cast<size_t>(k)];
            c[at++] = acc;
        }
        for (int64_t k = 0; k < w3; ++k) {
            acc += w[static_cast<size_t>(k)];
            c[at++] = acc;
        }
        for (int64_t k = w3 - 1; k >= 0; --k) {
            acc += w[static_cast<size_t>(k)];
            c[at++] = acc;
        }
        double sum = 0;
        const double* p = c.data();
        for (int64_t i = 0; i < 6 * m; ++i) {
            const double z = ((p[i + 3 * m] - p[i + 2 * m]) - 2 * (p[i + 2 * m] - p[i + m]) +
                              (p[i + m] - p[i])) /
                             md;
            sum += z * z;
        }
        total += sum / (6 * md);
    }
    return static_cast<double>(total / static_cast<long double>(count));
}

// The window v(k), k < 3m, detrended as every window is (less v(0) and the slope of its half
// averages; sums in long double), into w.
template <typename F> void DetrendedWindow(F v, int64_t m, double* w) {
    const int64_t lw = 3 * m;
    const int64_t half = lw / 2;
    long double first = 0;
    long double second = 0;
    for (int64_t k = 0; k < half; ++k) {
        first += v(k);
        second += v(lw - half + k);
    }
    const long double slope =
        (second - first) / static_cast<long double>(half) / static_cast<long double>(lw - half);
    const long double v0 = v(0);
    for (int64_t k = 0; k < lw; ++k) {
        w[k] = static_cast<double>(v(k) - v0 - slope * static_cast<long double>(k));
    }
}

// Of two detrended windows a and b (3m values each), reflected: the sums over their 6m second
// differences of m-averages z of z(a)^2 (*aa) and z(a) z(b) (*ab). One m-sum M slides along the
// reflection (one value in and one out at each step, in long double; no copy of it), the last
// 2m + 1 of its values kept in a ring (4m + 2 values): z_i = (M(i) - 2 M(i + m) + M(i + 2m)) / m.
void WindowProducts(const double* a, const double* b, int64_t m, double* ring, long double* aa,
                    long double* ab) {
    const int64_t lw = 3 * m;
    auto at = [lw](const double* w, int64_t j) { // the reflection [reversed w, w, reversed w]
        return j < lw ? w[lw - 1 - j] : j < 2 * lw ? w[j - lw] : w[3 * lw - 1 - j];
    };
    const size_t size = static_cast<size_t>(2 * m + 1);
    double* ma = ring;
    double* mb = ring + size;
    long double sa = 0;
    long double sb = 0;
    for (int64_t k = 0; k < m; ++k) {
        sa += at(a, k);
        sb += at(b, k);
    }
    const long double md = static_cast<long double>(m);
    long double own = 0;
    long double cross = 0;
    // slots of M(j), M(j - m), M(j - 2m) in the ring
    size_t slot = 0;
    size_t middle = size - static_cast<size_t>(m);
    size_t first = 1;
    for (int64_t j = 0; j < 8 * m; ++j) { // M(j) over [j, j + m)
        ma[slot] = static_cast<double>(sa);
        mb[slot] = static_cast<double>(sb);
        if (j >= 2 * m) {
            const long double za = ma[first] - 2 * static_cast<long double>(ma[middle]) + sa;
            const long double zb = mb[first] - 2 * static_cast<long double>(mb[middle]) + sb;
            own += za * za;
            cross += za * zb;
        }
        if (j + 1 < 8 * m) {
            sa += at(a, j + m) - at(a, j);
            sb += at(b, j + m) - at(b, j);
        }
        slot = slot + 1 == size ? 0 : slot + 1;
        middle = middle + 1 == size ? 0 : middle + 1;
        first = first + 1 == size ? 0 : first + 1;
    }
    *aa = own / (md * md); // z = (M(i) - 2 M(i + m) + M(i + 2m)) / m
    *ab = cross / (md * md);
}

// Work (windows times window length) up to which the window sums are summed directly.
constexpr int64_t TotalDirectWork = int64_t{1} << 21;

// The transforms' rounding is a share of the record's mean square (after its parabola) that grows
// with the record's length; against the mean square of the terms it is small for most noises,
// but not for a record that wanders far from its parabola compared with its steps (random-walk
// FM over a long record). Where this bound on the sum's relative rounding (measured against
// the definition: above the actual rounding on white PM to random-walk FM records of 2e4 to 1e6
// samples) passes MaxRoundingShare, the sum is made directly, up to this much work; beyond, the
// transforms' result stands.
constexpr double MaxRoundingShare = 1e-6;
constexpr int64_t FallbackDirectWork = int64_t{1} << 27;

double RoundingShare(double unit, int64_t len, long double meanSquare, long double meanTerm) {
    if (!(meanTerm > 0)) {
        return meanSquare > 0 ? 1.0 : 0.0;
    }
    return unit * std::log2(static_cast<double>(len)) * static_cast<double>(meanSquare / meanTerm);
}

} // namespace

// The sum over the windows of the 6m squared second differences, without the windows:
//
// The extension [reversed w, w, reversed w] of a window w (L = 3m values) is one and a half
// periods of the 2L-periodic sequence P = [reversed w, w], and its 6m second differences of
// m-averages are the filter h (1/m: +1 m times, -2 m times, +1 m times) over exactly one period.
// So their sum of squares is sum_{q,q'} P_q P_q' R(q - q'), R the 2L-periodic autocorrelation
// of h; on w that is the quadratic form w' G w with G[j][j'] = T(|j - j'|) + K(j + j'),
// T(d) = 2 R(d), K(s) = 2 R(s + 1): Toeplitz plus Hankel. Over all windows v_s of the record
// (w = v_s - beta_s j - const, beta_s the half-average slope; G annihilates constants):
//   sum_s v_s' G v_s - 2 sum_s beta_s g.v_s + (j' G j) sum_s beta_s^2,  g = G j.
// The Toeplitz part of the first sum weighs each product x_p x_{p+d} by the windows holding it
// (L - d inside the record, fewer within L of its ends); the Hankel part by a sum of K that
// depends on |p - q| only, except within L of the ends. Both come from the record's
// autocorrelation and, at the ends, from correlations and convolutions of the first and the last
// L - 1 values. beta_s is a combination of four prefix sums X, so the middle sum comes from the
// cross-correlation of X with the record and g applied to the record's ends.
TTotalWindowSums::TTotalWindowSums(const double* v, int64_t len) : FLen(len), FRaw(v) {}

void TTotalWindowSums::Prepare() const {
    if (!FX.empty() || FLen < 1) {
        return;
    }
    // deviations of the windows ignore a line in the record; a parabola (a frequency drift) they
    // do not, but it is the same in every window: it is taken off here (the transforms' rounding
    // scales with the record's size, and a drift would be most of it) and its part of the sums
    // added exactly (DriftTerms)
    FX.resize(static_cast<size_t>(FLen));
    FCurvature = RemoveParabola(FRaw, FLen, FX.data());
    FCorrelation.resize(static_cast<size_t>(FLen));
    AutoCorrelationPair(FX.data(), nullptr, FLen, FCorrelation.data(), nullptr);
    // prefix sums, then a line off them too (beta_s ignores it)
    FPrefix.resize(static_cast<size_t>(FLen + 1));
    long double acc = 0;
    for (int64_t k = 0; k < FLen; ++k) {
        FPrefix[static_cast<size_t>(k)] = static_cast<double>(acc);
        acc += FX[static_cast<size_t>(k)];
    }
    FPrefix[static_cast<size_t>(FLen)] = static_cast<double>(acc);
    RemoveLine(FPrefix.data(), FLen + 1, FPrefix.data());
}

double TTotalWindowSums::Mean(int64_t m, int64_t* windows) const {
    const int64_t lw = 3 * m;
    const int64_t count = FLen - lw + 1;
    *windows = count;
    if (count < 1 || m < 1) {
        return 0;
    }
    if (count * lw <= TotalDirectWork) {
        return TotalWindowMeanDirect(FRaw, FLen, m, windows);
    }
    const long double mean = FastSum(m) / (6 * static_cast<long double>(m) * count);
    const long double meanSquare = FCorrelation[0] / static_cast<long double>(FLen);
    if (count * lw <= FallbackDirectWork &&
        RoundingShare(2.2e-16, FLen, meanSquare, mean) > MaxRoundingShare) {
        return TotalWindowMeanDirect(FRaw, FLen, m, windows);
    }
    return static_cast<double>(mean);
}

long double TTotalWindowSums::FastSum(int64_t m) const {
    Prepare();
    // work space kept per thread between the taus and the records (no fresh pages for each),
    // each buffer reserved at once for the longest factor: the taus grow by octaves and would
    // reallocate every buffer at every one
    thread_local std::vector<TLargeVector<double>> work(8);
    size_t used = 0;
    const size_t bound = static_cast<size_t>(2 * FLen + 1);
    auto buffer = [&](int64_t size) -> TLargeVector<double>& {
        TLargeVector<double>& v = work.at(used++);
        v.reserve(bound);
        v.resize(static_cast<size_t>(size));
        return v;
    };
    const int64_t lw = 3 * m;
    const int64_t len = FLen;
    const int64_t count = len - lw + 1;
    const double* x = FX.data();
    const TLargeVector<double>& c = FCorrelation;

    // The kernels in units of 1 / m^2, where they are integers (sums of them exact): R, the
    // autocorrelation of h (its blocks +1, -2, +1, m long each, overlap by m - |e + (b1 - b2) m|
    // with weights 6 for the same block, -4 for neighbours, 1 two apart: for e >= 0 linear
    // between the multiples of m), T(d) = 2 R(d) and K(s) = 2 R(s + 1) of the 2L-periodic R (one
    // term at most).
    auto r = [&](int64_t e) -> int64_t {
        return e < m ? 6 * m - 10 * e : e < 2 * m ? 5 * e - 9 * m : e < 3 * m ? 3 * m - e : 0;
    };
    auto tk = [&](int64_t d) -> int64_t { return 2 * r(d); };
    auto kk = [&](int64_t s) -> int64_t { return 2 * r(s + 1 < lw ? s + 1 : 2 * lw - s - 1); };
    const long double unit = 1.0L / (static_cast<long double>(m) * static_cast<long double>(m));
    const int64_t ks = 2 * lw - 1; // K(s), s in [0, 2L - 2]
    // F(a): the same-parity running sums of K, at the top two (then walked down exactly)
    int64_t fTop[2] = {0, 0};
    for (int64_t s = 0; s < ks; ++s) {
        fTop[s % 2] += kk(s);
    }

    // the ends: the first and the last L - 1 values, and their weights for the Toeplitz part
    const int64_t le = lw - 1;
    const double* head = x;
    const double* tail = x + count;
    TLargeVector<double>& headWeighted = buffer(le);
    TLargeVector<double>& tailWeighted = buffer(le);
    for (int64_t j = 0; j < le; ++j) {
        headWeighted[static_cast<size_t>(j)] = static_cast<double>(le - j) * head[j];
        tailWeighted[static_cast<size_t>(j)] = static_cast<double>(j + 1) * tail[j];
    }
    // at the lags d >= 0: the ends' autocorrelations, their weighted correlations (the head's at
    // d and the tail's at -d, summed) and the difference of their self-convolutions (index s)
    TLargeVector<double>& headAc = buffer(le);
    TLargeVector<double>& tailAc = buffer(le);
    TLargeVector<double>& weightedSum = buffer(le);
    TLargeVector<double>& convDiff = buffer(std::max<int64_t>(2 * le - 1, 0));
    EndCorrelations(head, headWeighted.data(), tail, tailWeighted.data(), le, headAc.data(),
                    tailAc.data(), weightedSum.data(), convDiff.data());

    // F at 2L - 2 - d walked down (from the top, exactly in integers) and at d - 2 up
    long double quadratic = 0;
    int64_t fHigh = fTop[(ks - 1) % 2]; // F(2L - 2 - d) at d = 0
    int64_t fHighNext = fTop[ks % 2];   // F(2L - 3 - d), the other parity
    int64_t fLow[2] = {0, 0};           // F(d - 2) at d, by parity of d
    // (each term in double, as exact as the correlations it is made of; the sum in long double)
    const double unitD = static_cast<double>(unit);
    for (int64_t d = 0; d < lw; ++d) {
        const double w = d == 0 ? 1 : 2;
        const double cd = c[static_cast<size_t>(d)];
        const double td = static_cast<double>(tk(d)) * unitD;
        const double high = static_cast<double>(fHigh) * unitD;
        const double low = static_cast<double>(fLow[d % 2]) * unitD;
        double term = td * static_cast<double>(lw - d) * cd;
        if (d < le) {
            term -= td * weightedSum[static_cast<size_t>(d)];
            term -= high * headAc[static_cast<size_t>(d)];
            term += low * tailAc[static_cast<size_t>(d)];
        }
        term += (high - low) * cd;
        quadratic += w * term;
        // next d: F(2L - 3 - d) is the other parity's; F(2L - 2 - d) steps down by K(2L - 2 - d)
        const int64_t down = fHigh - kk(2 * lw - 2 - d);
        fHigh = fHighNext;
        fHighNext = down;
        fLow[d % 2] += kk(d);
    }
    {
        int64_t f[2] = {0, 0}; // F(s) by the parity of s
        for (int64_t s = 0; s <= 2 * le - 2; ++s) {
            f[s % 2] += kk(s);
            quadratic += static_cast<long double>(f[s % 2]) * unit *
                         static_cast<long double>(convDiff[static_cast<size_t>(s)]);
        }
    }

    // g = G j and j' G j, in units of 1 / m^2 from running sums of T, d T (up to j, and up to
    // L - 1 - j as the totals less the sums from L - j on) and windows [j, j + L) of K and s K;
    // the weighted sums in long double (exact while they stay below 2^64)
    int64_t tTotal = 0;
    long double dtTotal = 0;
    for (int64_t d = 0; d < lw; ++d) {
        tTotal += tk(d);
        dtTotal += static_cast<long double>(d * tk(d));
    }
    int64_t kWindow = 0;
    long double skWindow = 0;
    for (int64_t s = 0; s < lw; ++s) {
        kWindow += kk(s);
        skWindow += static_cast<long double>(s * kk(s));
    }
    const int64_t t0 = tk(0);
    TLargeVector<double>& g = buffer(lw);
    long double rampForm = 0;
    int64_t pt = 0;      // sum of T(d), d <= j
    long double pdt = 0; // sum of d T(d), d <= j
    int64_t tAbove = 0;  // sum of T(d), d >= L - j
    long double dtAbove = 0;
    for (int64_t j = 0; j < lw; ++j) {
        const long double jj = static_cast<long double>(j);
        pt += tk(j);
        pdt += static_cast<long double>(j * tk(j));
        const int64_t up = lw - 1 - j;
        long double v = jj * static_cast<long double>(pt) - pdt;
        if (up >= 1) {
            v += jj * static_cast<long double>(tTotal - tAbove - t0) + (dtTotal - dtAbove);
        }
        v += skWindow - jj * static_cast<long double>(kWindow);
        v *= unit;
        g[static_cast<size_t>(j)] = static_cast<double>(v);
        rampForm += jj * v;
        // next j
        tAbove += tk(up);
        dtAbove += static_cast<long double>(up * tk(up));
        if (j + lw < ks) {
            kWindow += kk(j + lw) - kk(j);
            skWindow += static_cast<long double>((j + lw) * kk(j + lw) - j * kk(j));
        }
    }

    // beta_s = kappa (X(s + L) - X(s + L - half) - X(s + half) + X(s))
    const int64_t half = lw / 2;
    const long double kappa = 1.0L / (static_cast<long double>(half) * (lw - half));
    const double* big = FPrefix.data();
    TLargeVector<double>& beta = buffer(count); // beta_s / kappa
    long double betaSquares = 0;
    for (int64_t s = 0; s < count; ++s) {
        const long double b = (static_cast<long double>(big[s + lw]) - big[s + lw - half]) -
                              (static_cast<long double>(big[s + half]) - big[s]);
        betaSquares += b * b;
        beta[static_cast<size_t>(s)] = static_cast<double>(b);
    }
    betaSquares *= kappa * kappa;
    // sum_s beta_s g.v_s: g applied to every window
    const long double middle = kappa * FilteredDot(beta.data(), g.data(), lw, x, len, &FSpectrum);
    // (the ends' weighted copies and one of their correlations are free again: work space)
    return quadratic - 2 * middle + rampForm * betaSquares +
           DriftTerms(m, &headWeighted, &tailWeighted, &headAc);
}

// The record is its parabola q plus the rest r. Every window of q, detrended, is the same p
// (the curvature times k^2, detrended), and the differences z are linear: the sum over the
// windows of |z(p + w_s)|^2 is count |z(p)|^2 + 2 z(p).z(sum_s w_s) + the sum of |z(w_s)|^2 over
// r; sum_s w_s is the detrended sum of the windows of r, from prefix sums.
long double TTotalWindowSums::DriftTerms(int64_t m, TLargeVector<double>* p,
                                         TLargeVector<double>* windows,
                                         TLargeVector<double>* ring) const {
    if (FCurvature == 0) {
        return 0;
    }
    const int64_t lw = 3 * m;
    const int64_t count = FLen - lw + 1;
    p->resize(static_cast<size_t>(lw));
    windows->resize(static_cast<size_t>(lw));
    ring->resize(static_cast<size_t>(4 * m + 2));
    const double* big = FPrefix.data(); // a line off the prefix sums: a constant in windows
    DetrendedWindow(
        [&](int64_t k) {
            const long double kk = static_cast<long double>(k);
            return FCurvature * kk * kk;
        },
        m, p->data());
    DetrendedWindow(
        [&](int64_t k) {
            return static_cast<long double>(big[k + count]) - static_cast<long double>(big[k]);
        },
        m, windows->data());
    long double own = 0;
    long double cross = 0;
    WindowProducts(p->data(), windows->data(), m, ring->data(), &own, &cross);
    return static_cast<long double>(count) * own + 2 * cross;
}

bool TotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r) {
    if (m < 1 || n < 3 || m > n - 1) {
        return false;
    }
    auto at = [&](int64_t k) {
        if (k < 0) {
            return 2 * x[0] - x[-k];
        }
        if (k > n - 1) {
            return 2 * x[n - 1] - x[2 * (n - 1) - k];
        }
        return x[k];
    };
    double sum = 0;
    double block = 0;
    for (int64_t i = 1; i <= n - 2; ++i) {
        const double t = at(i - m) - 2 * x[i] + at(i + m);
        block += t * t;
        if (i % 64 == 0) {
            sum += block;
            block = 0;
        }
    }
    sum += block;
    const double tau = static_cast<double>(m) * tau0;
    r->Terms = n - 2;
    r->Deviation = std::sqrt(sum / (2 * tau * tau * static_cast<double>(n - 2)));
    return true;
}

bool ModifiedTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r,
                            const TTotalWindowSums* phase) {
    int64_t windows = 0;
    if (m < 1 || n < 3 * m) {
        return false;
    }
    const double mean = phase ? phase->Mean(m, &windows) : TTotalWindowSums(x, n).Mean(m, &windows);
    const double tau = static_cast<double>(m) * tau0;
    r->Terms = windows;
    r->Deviation = std::sqrt(mean / (2 * tau * tau));
    return windows >= 1;
}

bool HadamardTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r,
                            const TTotalWindowSums* frequency) {
    const int64_t len = n - 1;
    if (m < 1 || len < 3 * m) {
        return false;
    }
    int64_t windows = 0;
    if (frequency && m > 1) {
        r->Deviation = std::sqrt(frequency->Mean(m, &windows) / 6);
        r->Terms = windows;
        return windows >= 1;
    }
    TLargeVector<double> y(static_cast<size_t>(len));
    for (int64_t k = 0; k < len; ++k) {
        y[static_cast<size_t>(k)] = (x[k + 1] - x[k]) / tau0;
    }
    if (m == 1) {
        // the overlapping Hadamard deviation
        double sum = 0;
        for (int64_t k = 0; k + 2 < len; ++k) {
            const double t = y[k + 2] - 2 * y[k + 1] + y[k];
            sum += t * t;
        }
        r->Terms = len - 2;
        r->Deviation = std::sqrt(sum / (6 * static_cast<double>(len - 2)));
        return r->Terms >= 1;
    }
    const double mean = TTotalWindowSums(y.data(), len).Mean(m, &windows);
    r->Terms = windows;
    r->Deviation = std::sqrt(mean / 6);
    return windows >= 1;
}

namespace {

// The squares of Theo1 at m = 2h summed over delta = h - k (1 .. h) with weight 1 / delta and over
// the n - m starts, straight from the definition: O(n h).
long double Theo1SumDirect(const double* x, int64_t n, int64_t m) {
    const int64_t h = m / 2;
    const int64_t count = n - m;
    TLargeVector<double> ends(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        ends[static_cast<size_t>(i)] = x[i] + x[i + m];
    }
    long double total = 0;
    for (int64_t delta = 1; delta <= h; ++delta) {
        const double* near = x + delta;
        const double* far = x + m - delta;
        double s0 = 0;
        double s1 = 0;
        int64_t i = 0;
        for (; i + 1 < count; i += 2) {
            const double t0 = ends[static_cast<size_t>(i)] - (near[i] + far[i]);
            const double t1 = ends[static_cast<size_t>(i + 1)] - (near[i + 1] + far[i + 1]);
            s0 += t0 * t0;
            s1 += t1 * t1;
        }
        if (i < count) {
            const double t = ends[static_cast<size_t>(i)] - (near[i] + far[i]);
            s0 += t * t;
        }
        total += static_cast<long double>(s0 + s1) / static_cast<long double>(delta);
    }
    return total;
}

// Work (starts times deltas) up to which the direct sum is used: it is exact to the last bits
// and, up to here, about as fast as the transforms.
constexpr int64_t Theo1DirectWork = int64_t{1} << 24;

} // namespace

TTheo1Sums::TTheo1Sums(const double* x, int64_t n) : FN(n), FRaw(x) {}

const TLargeVector<double>& TTheo1Sums::Detrended() const {
    if (FX.empty() && FN > 0) {
        // Theo1 ignores a line in the phase; a parabola (a frequency drift) it does not, but its
        // part of every term is the same at every start: it is taken off here (smaller products)
        // and added back exactly in FastSum
        FX.resize(static_cast<size_t>(FN));
        FCurvature = RemoveParabola(FRaw, FN, FX.data());
        FSquares.assign(static_cast<size_t>(FN + 1), 0);
        FSums.assign(static_cast<size_t>(FN + 1), 0);
        for (int64_t k = 0; k < FN; ++k) {
            const long double v = FX[static_cast<size_t>(k)];
            FSquares[static_cast<size_t>(k + 1)] = FSquares[static_cast<size_t>(k)] + v * v;
            FSums[static_cast<size_t>(k + 1)] = FSums[static_cast<size_t>(k)] + v;
        }
    }
    return FX;
}

long double TTheo1Sums::FastSum(int64_t m) const {
    const TLargeVector<double>& xv = Detrended();
    const double* x = xv.data();
    const int64_t n = FN;
    const int64_t h = m / 2;
    if (FCorrelation.empty()) {
        FCorrelation.resize(static_cast<size_t>(n));
        AutoCorrelationPair(x, nullptr, n, FCorrelation.data(), nullptr);
    }
    const TLargeVector<double>& c = FCorrelation;
    const TLargeVector<long double>& q = FSquares;
    // work space kept per thread between the taus and the records (no fresh pages for each)
    thread_local TLargeVector<double> work[5];
    TLargeVector<double>& head = work[0];
    TLargeVector<double>& tail = work[1];
    TLargeVector<double>& first = work[2];
    TLargeVector<double>& last = work[3];
    TLargeVector<double>& reversed = work[4];
    // autocorrelations of the first and the last m points
    ResizeWork(head, static_cast<size_t>(m));
    ResizeWork(tail, static_cast<size_t>(m));
    AutoCorrelationPair(x, x + n - m, m, head.data(), tail.data());
    // the symmetric products x[c - k] x[c + k] of the centres c < h (and, reversed, c >= n - h)
    const int64_t side = m - 1;
    ResizeWork(first, static_cast<size_t>(2 * side + 1));
    ResizeWork(last, static_cast<size_t>(2 * side + 1));
    std::fill(first.begin(), first.end(), 0.0);
    std::fill(last.begin(), last.end(), 0.0);
    ResizeWork(reversed, static_cast<size_t>(side));
    for (int64_t j = 0; j < side; ++j) {
        reversed[static_cast<size_t>(j)] = x[n - 1 - j];
    }
    AddWedgeCorrelation(x, side, first.data(), side);
    AddWedgeCorrelation(reversed.data(), side, last.data(), side);

    // t = E_c - (x[c - k] + x[c + k]) with c = i + h, E_c = x[c - h] + x[c + h], k = h - delta
    long double weights = 0;
    long double cross = 0;       // sum_k v_k sum_c E_c (x[c - k] + x[c + k])
    long double squares = 0;     // sum_k v_k sum_c (x[c - k]^2 + x[c + k]^2)
    long double pairs = 0;       // sum_k v_k sum_c x[c - k] x[c + k]
    auto ends = [&](int64_t j) { // sum_c E_c x[c + j]
        return (c[h + j] - tail[h + j]) + (c[h - j] - head[h - j]);
    };
    for (int64_t k = 0; k < h; ++k) {
        const long double v = 1.0L / static_cast<long double>(h - k);
        weights += v;
        cross += v * (k == 0 ? 2 * static_cast<long double>(ends(0))
                             : static_cast<long double>(ends(k)) + ends(-k));
        squares += v * ((q[n - h - k] - q[h - k]) + (q[n - h + k] - q[h + k]));
        pairs +=
            v * (static_cast<long double>(c[2 * k]) - first[side + 2 * k] - last[side + 2 * k]);
    }
    long double outer = 0;
    for (int64_t i = 0; i + m < n; ++i) {
        const double e = x[i] + x[i + m];
        outer += static_cast<long double>(e) * e;
    }
    // the parabola a k^2: the term of (i, delta) gains tau = 2 a delta (m - delta) at every i
    long double drift = 0;
    if (FCurvature != 0) {
        const int64_t count = n - m;
        const TLargeVector<long double>& ps = FSums;
        auto starts = [&](int64_t k) { return ps[k + count] - ps[k]; }; // sum_i x[i + k]
        for (int64_t delta = 1; delta <= h; ++delta) {
            const long double dd = static_cast<long double>(delta);
            const long double tau = 2 * FCurvature * dd * static_cast<long double>(m - delta);
            const long double rest = (starts(0) - starts(delta)) - (starts(m - delta) - starts(m));
            drift += (static_cast<long double>(count) * tau * tau + 2 * tau * rest) / dd;
        }
    }
    return weights * outer - 2 * cross + squares + 2 * pairs + drift;
}

bool TTheo1Sums::Deviation(int64_t m, double tau0, TPhaseResult* r) const {
    const int64_t n = FN;
    if (m < 2 || m % 2 != 0 || m > n - 1) {
        return false;
    }
    const int64_t h = m / 2;
    long double sum = 0;
    if ((n - m) * h <= Theo1DirectWork) {
        sum = Theo1SumDirect(FRaw, n, m);
    } else {
        sum = std::max(0.0L, FastSum(m));
        // the bound as for the window sums, times the sum of the weights 1 / delta
        long double weights = 0;
        for (int64_t delta = 1; delta <= h; ++delta) {
            weights += 1.0L / static_cast<long double>(delta);
        }
        const long double meanSquare =
            FSquares[static_cast<size_t>(n)] / static_cast<long double>(n);
        if ((n - m) * h <= FallbackDirectWork &&
            RoundingShare(4.4e-16, n, meanSquare * weights, sum / static_cast<long double>(n - m)) >
                MaxRoundingShare) {
            sum = Theo1SumDirect(FRaw, n, m);
        }
    }
    const double tm = static_cast<double>(m) * tau0;
    r->Terms = (n - m) * h;
    r->Deviation =
        std::sqrt(static_cast<double>(sum) / (0.75 * static_cast<double>(n - m) * tm * tm));
    return true;
}

bool Theo1Deviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r,
                    const TTheo1Sums* sums) {
    return sums ? sums->Deviation(m, tau0, r) : TTheo1Sums(x, n).Deviation(m, tau0, r);
}

bool Mtie(const double* x, int64_t n, int64_t m, TPhaseResult* r) {
    if (m < 1 || m > n - 1) {
        return false;
    }
    // the largest and smallest value of every window of w = m + 1 points by blocks of w (van
    // Herk, Gil and Werman): a window is the end of one block and the start of the next, so its
    // extremes are those of the one block's suffix and the next's prefix. Suffixes in a backward
    // pass, prefixes running along the forward one; no branches on the data.
    const int64_t w = m + 1;
    thread_local TLargeVector<double> high;
    thread_local TLargeVector<double> low;
    ResizeWork(high, static_cast<size_t>(n));
    ResizeWork(low, static_cast<size_t>(n));
    int64_t next = n % w; // (i + 1) % w
    for (int64_t i = n - 1; i >= 0; --i) {
        const bool blockEnd = i == n - 1 || next == 0;
        high[static_cast<size_t>(i)] =
            blockEnd ? x[i] : std::max(x[i], high[static_cast<size_t>(i + 1)]);
        low[static_cast<size_t>(i)] =
            blockEnd ? x[i] : std::min(x[i], low[static_cast<size_t>(i + 1)]);
        next = next == 0 ? w - 1 : next - 1;
    }
    double best = 0;
    double prefixHigh = 0;
    double prefixLow = 0;
    int64_t at = 0;                   // j % w
    for (int64_t j = 0; j < n; ++j) { // j: the window's last point, i = j - m its first
        if (at == 0) {
            prefixHigh = x[j];
            prefixLow = x[j];
        } else {
            prefixHigh = std::max(prefixHigh, x[j]);
            prefixLow = std::min(prefixLow, x[j]);
        }
        const int64_t i = j - m;
        if (i >= 0) {
            // i % w == 0 (j the block's last point): the window is the block, its suffix
            const bool whole = at == w - 1;
            const double top = whole ? high[static_cast<size_t>(i)]
                                     : std::max(high[static_cast<size_t>(i)], prefixHigh);
            const double bottom = whole ? low[static_cast<size_t>(i)]
                                        : std::min(low[static_cast<size_t>(i)], prefixLow);
            best = std::max(best, top - bottom);
        }
        at = at == w - 1 ? 0 : at + 1;
    }
    r->Terms = n - m;
    r->Deviation = best;
    return true;
}

bool TieRms(const double* x, int64_t n, int64_t m, TPhaseResult* r) {
    if (m < 1 || m > n - 1) {
        return false;
    }
    double sum = 0;
    for (int64_t i = 0; i + m < n; ++i) {
        const double d = x[i + m] - x[i];
        sum += d * d;
    }
    r->Terms = n - m;
    r->Deviation = std::sqrt(sum / static_cast<double>(n - m));
    return true;
}
