#include "stability/TotalDeviationUnit.h"

#include "stability/FourierUnit.h"

#include <algorithm>
#include <cmath>
#include <deque>
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

// Work (windows times window length) up to which the window sums are summed directly.
constexpr int64_t TotalDirectWork = int64_t{1} << 21;

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
    // deviations of the windows ignore a line in the record: remove one (smaller products)
    FX = WithoutLine(FRaw, FLen);
    FCorrelation = AutoCorrelation(FX.data(), FLen);
    // prefix sums, then a line off them too (beta_s ignores it)
    std::vector<double> prefix(static_cast<size_t>(FLen + 1));
    long double acc = 0;
    for (int64_t k = 0; k < FLen; ++k) {
        prefix[static_cast<size_t>(k)] = static_cast<double>(acc);
        acc += FX[static_cast<size_t>(k)];
    }
    prefix[static_cast<size_t>(FLen)] = static_cast<double>(acc);
    FPrefix = WithoutLine(prefix.data(), FLen + 1);
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
    return static_cast<double>(FastSum(m) / (6 * static_cast<long double>(m) * count));
}

long double TTotalWindowSums::FastSum(int64_t m) const {
    Prepare();
    // work space kept between the taus (no fresh pages for each), contents not cleared; the
    // slots are made once so that the references handed out stay valid
    FWork.resize(16);
    FLongWork.resize(8);
    size_t used = 0;
    size_t usedLong = 0;
    auto buffer = [&](int64_t size) -> std::vector<double>& {
        std::vector<double>& v = FWork.at(used++);
        v.resize(static_cast<size_t>(size));
        return v;
    };
    auto longBuffer = [&](int64_t size) -> std::vector<long double>& {
        std::vector<long double>& v = FLongWork.at(usedLong++);
        v.resize(static_cast<size_t>(size));
        return v;
    };
    const int64_t lw = 3 * m;
    const int64_t len = FLen;
    const int64_t count = len - lw + 1;
    const double* x = FX.data();
    const std::vector<double>& c = FCorrelation;
    const double md = static_cast<double>(m);

    // autocorrelation of h, then T, K and the same-parity running sums F of K
    auto hLin = [&](int64_t e) -> double {
        e = e < 0 ? -e : e;
        if (e >= lw) {
            return 0;
        }
        static constexpr double coef[3] = {1, -2, 1};
        double r = 0;
        for (int b1 = 0; b1 < 3; ++b1) {
            for (int b2 = 0; b2 < 3; ++b2) {
                const int64_t lo = std::max<int64_t>(b1 * m, b2 * m - e);
                const int64_t hi = std::min<int64_t>((b1 + 1) * m, (b2 + 1) * m - e);
                if (hi > lo) {
                    r += coef[b1] * coef[b2] * static_cast<double>(hi - lo);
                }
            }
        }
        return r / (md * md);
    };
    std::vector<double>& lin = buffer(lw);
    for (int64_t e = 0; e < lw; ++e) {
        lin[static_cast<size_t>(e)] = hLin(e);
    }
    auto rCirc = [&](int64_t d) {
        const int64_t dm = ((d % (2 * lw)) + 2 * lw) % (2 * lw);
        // h's autocorrelation vanishes from lag L on: one of the two terms at most
        return dm < lw ? lin[static_cast<size_t>(dm)]
                       : (2 * lw - dm < lw ? lin[static_cast<size_t>(2 * lw - dm)] : 0.0);
    };
    std::vector<double>& t = buffer(lw);
    for (int64_t d = 0; d < lw; ++d) {
        t[static_cast<size_t>(d)] = 2 * rCirc(d);
    }
    const int64_t ks = 2 * lw - 1; // K(s), s in [0, 2L - 2]
    std::vector<double>& k = buffer(ks);
    std::vector<long double>& f = longBuffer(ks);
    for (int64_t s = 0; s < ks; ++s) {
        k[static_cast<size_t>(s)] = 2 * rCirc(s + 1);
        f[static_cast<size_t>(s)] =
            k[static_cast<size_t>(s)] + (s >= 2 ? f[static_cast<size_t>(s - 2)] : 0);
    }
    auto fAt = [&](int64_t a) -> long double { return a < 0 ? 0 : f[static_cast<size_t>(a)]; };

    // the ends: the first and the last L - 1 values, and their weights for the Toeplitz part
    const int64_t le = lw - 1;
    const double* head = x;
    const double* tail = x + count;
    std::vector<double>& headWeighted = buffer(le);
    std::vector<double>& tailWeighted = buffer(le);
    for (int64_t j = 0; j < le; ++j) {
        headWeighted[static_cast<size_t>(j)] = static_cast<double>(le - j) * head[j];
        tailWeighted[static_cast<size_t>(j)] = static_cast<double>(j + 1) * tail[j];
    }
    // index le - 1 + d (lags), conv: index s; the tail's weighted correlation at -d
    std::vector<double>& headAc = buffer(0);
    std::vector<double>& headDef = buffer(0);
    std::vector<double>& headConv = buffer(0);
    std::vector<double>& tailAc = buffer(0);
    std::vector<double>& tailDef = buffer(0);
    std::vector<double>& tailConv = buffer(0);
    SegmentCorrelations(head, headWeighted.data(), le, &headAc, &headDef, &headConv);
    SegmentCorrelations(tail, tailWeighted.data(), le, &tailAc, &tailDef, &tailConv);

    long double quadratic = 0;
    for (int64_t d = 0; d < lw; ++d) {
        const long double w = d == 0 ? 1 : 2;
        const long double cd = c[static_cast<size_t>(d)];
        long double term = t[static_cast<size_t>(d)] * static_cast<long double>(lw - d) * cd;
        if (d < le) {
            term -= t[static_cast<size_t>(d)] *
                    (static_cast<long double>(headDef[static_cast<size_t>(le - 1 + d)]) +
                     tailDef[static_cast<size_t>(le - 1 - d)]);
            term -= fAt(2 * lw - 2 - d) * headAc[static_cast<size_t>(le - 1 + d)];
            term += fAt(d - 2) * tailAc[static_cast<size_t>(le - 1 + d)];
        }
        term += (fAt(2 * lw - 2 - d) - fAt(d - 2)) * cd;
        quadratic += w * term;
    }
    for (int64_t s = 0; s <= 2 * le - 2; ++s) {
        quadratic += fAt(s) * (static_cast<long double>(headConv[static_cast<size_t>(s)]) -
                               tailConv[static_cast<size_t>(s)]);
    }

    // g = G j and j' G j (running sums of T, d T, K, s K)
    std::vector<long double>& pt = longBuffer(lw);
    std::vector<long double>& pdt = longBuffer(lw);
    for (int64_t d = 0; d < lw; ++d) {
        pt[static_cast<size_t>(d)] =
            t[static_cast<size_t>(d)] + (d > 0 ? pt[static_cast<size_t>(d - 1)] : 0);
        pdt[static_cast<size_t>(d)] = static_cast<long double>(d) * t[static_cast<size_t>(d)] +
                                      (d > 0 ? pdt[static_cast<size_t>(d - 1)] : 0);
    }
    std::vector<long double>& pk = longBuffer(ks + 1);
    pk[0] = 0;
    std::vector<long double>& psk = longBuffer(ks + 1);
    psk[0] = 0;
    for (int64_t s = 0; s < ks; ++s) {
        pk[static_cast<size_t>(s + 1)] = pk[static_cast<size_t>(s)] + k[static_cast<size_t>(s)];
        psk[static_cast<size_t>(s + 1)] =
            psk[static_cast<size_t>(s)] + static_cast<long double>(s) * k[static_cast<size_t>(s)];
    }
    std::vector<double>& g = buffer(lw);
    long double rampForm = 0;
    for (int64_t j = 0; j < lw; ++j) {
        const long double jj = static_cast<long double>(j);
        const int64_t up = lw - 1 - j;
        long double v = jj * pt[static_cast<size_t>(j)] - pdt[static_cast<size_t>(j)];
        if (up >= 1) {
            v += jj * (pt[static_cast<size_t>(up)] - t[0]) + pdt[static_cast<size_t>(up)];
        }
        v += (psk[static_cast<size_t>(j + lw)] - psk[static_cast<size_t>(j)]) -
             jj * (pk[static_cast<size_t>(j + lw)] - pk[static_cast<size_t>(j)]);
        g[static_cast<size_t>(j)] = static_cast<double>(v);
        rampForm += jj * v;
    }

    // beta_s = kappa (X(s + L) - X(s + L - half) - X(s + half) + X(s))
    const int64_t half = lw / 2;
    const long double kappa = 1.0L / (static_cast<long double>(half) * (lw - half));
    const double* big = FPrefix.data();
    // g applied to every window
    std::vector<double>& applied = buffer(count);
    ApplyFilter(g.data(), lw, x, len, applied.data());
    long double betaSquares = 0;
    long double middle = 0;
    for (int64_t s = 0; s < count; ++s) {
        const long double b = (static_cast<long double>(big[s + lw]) - big[s + lw - half]) -
                              (static_cast<long double>(big[s + half]) - big[s]);
        betaSquares += b * b;
        middle += b * applied[static_cast<size_t>(s)];
    }
    betaSquares *= kappa * kappa;
    middle *= kappa;
    return quadratic - 2 * middle + rampForm * betaSquares;
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
    std::vector<double> y(static_cast<size_t>(len));
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
    std::vector<double> ends(static_cast<size_t>(count));
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

const std::vector<double>& TTheo1Sums::Detrended() const {
    if (FX.empty() && FN > 0) {
        // Theo1 ignores a line in the phase: without the least-squares line, smaller products
        FX = WithoutLine(FRaw, FN);
        FSquares.assign(static_cast<size_t>(FN + 1), 0);
        for (int64_t k = 0; k < FN; ++k) {
            const long double v = FX[static_cast<size_t>(k)];
            FSquares[static_cast<size_t>(k + 1)] = FSquares[static_cast<size_t>(k)] + v * v;
        }
    }
    return FX;
}

long double TTheo1Sums::FastSum(int64_t m) const {
    const std::vector<double>& xv = Detrended();
    const double* x = xv.data();
    const int64_t n = FN;
    const int64_t h = m / 2;
    if (FCorrelation.empty()) {
        FCorrelation = AutoCorrelation(x, n);
    }
    const std::vector<double>& c = FCorrelation;
    const std::vector<long double>& q = FSquares;
    // work space kept between the taus (no fresh pages for each)
    FWork.resize(5);
    std::vector<double>& head = FWork[0];
    std::vector<double>& tail = FWork[1];
    std::vector<double>& first = FWork[2];
    std::vector<double>& last = FWork[3];
    std::vector<double>& reversed = FWork[4];
    // autocorrelations of the first and the last m points
    AutoCorrelationPair(x, x + n - m, m, &head, &tail);
    // the symmetric products x[c - k] x[c + k] of the centres c < h (and, reversed, c >= n - h)
    const int64_t side = m - 1;
    first.assign(static_cast<size_t>(2 * side + 1), 0.0);
    last.assign(static_cast<size_t>(2 * side + 1), 0.0);
    reversed.resize(static_cast<size_t>(side));
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
    return weights * outer - 2 * cross + squares + 2 * pairs;
}

bool TTheo1Sums::Deviation(int64_t m, double tau0, TPhaseResult* r) const {
    const int64_t n = FN;
    if (m < 2 || m % 2 != 0 || m > n - 1) {
        return false;
    }
    const int64_t h = m / 2;
    const long double sum =
        (n - m) * h <= Theo1DirectWork ? Theo1SumDirect(FRaw, n, m) : std::max(0.0L, FastSum(m));
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
    // running window maximum and minimum (monotone queues of indices)
    std::deque<int64_t> hi;
    std::deque<int64_t> lo;
    double best = 0;
    for (int64_t k = 0; k < n; ++k) {
        while (!hi.empty() && x[hi.back()] <= x[k]) {
            hi.pop_back();
        }
        hi.push_back(k);
        while (!lo.empty() && x[lo.back()] >= x[k]) {
            lo.pop_back();
        }
        lo.push_back(k);
        const int64_t start = k - m;
        if (start < 0) {
            continue;
        }
        while (hi.front() < start) {
            hi.pop_front();
        }
        while (lo.front() < start) {
            lo.pop_front();
        }
        best = std::max(best, x[hi.front()] - x[lo.front()]);
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
