#include "stability/StabilityConfidenceUnit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// P(a, x) by its power series (x < a + 1).
double GammaSeries(double a, double x) {
    double term = 1.0 / a;
    double sum = term;
    for (int n = 1; n < 100000; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * 1e-17) {
            break;
        }
    }
    return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by Lentz's continued fraction (x >= a + 1).
double GammaContinuedFraction(double a, double x) {
    constexpr double Tiny = 1e-300;
    double b = x + 1 - a;
    double c = 1 / Tiny;
    double d = 1 / b;
    double h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < Tiny) {
            d = Tiny;
        }
        c = b + an / c;
        if (std::fabs(c) < Tiny) {
            c = Tiny;
        }
        d = 1 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1) < 1e-17) {
            break;
        }
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

} // namespace

double RegularisedGammaP(double a, double x) {
    if (!(a > 0) || !(x >= 0)) {
        return NaN;
    }
    if (x == 0) {
        return 0;
    }
    if (std::isinf(x)) {
        return 1;
    }
    return x < a + 1 ? GammaSeries(a, x) : 1 - GammaContinuedFraction(a, x);
}

double ChiSquaredCdf(double x, double nu) {
    return x <= 0 ? 0 : RegularisedGammaP(nu / 2, x / 2);
}

double ChiSquaredQuantile(double p, double nu) {
    if (!(p > 0 && p < 1) || !(nu > 0)) {
        return NaN;
    }
    // Bracket the root, then Newton steps kept inside the bracket (bisection where a step would
    // leave it). The density is that of the chi-squared distribution.
    double lo = 0;
    double hi = std::max(1.0, nu);
    while (ChiSquaredCdf(hi, nu) < p) {
        lo = hi;
        hi *= 2;
    }
    // Wilson-Hilferty start, with the normal quantile of Abramowitz and Stegun 26.2.23
    const double tailP = p < 0.5 ? p : 1 - p;
    const double t = std::sqrt(-2 * std::log(tailP));
    const double w = t - (2.515517 + 0.802853 * t + 0.010328 * t * t) /
                             (1 + 1.432788 * t + 0.189269 * t * t + 0.001308 * t * t * t);
    const double z = p < 0.5 ? -w : w;
    const double k = 2 / (9 * nu);
    double x = nu * std::pow(1 - k + z * std::sqrt(k), 3);
    if (!(x > lo && x < hi)) {
        x = 0.5 * (lo + hi);
    }
    const double logNorm = (nu / 2) * std::log(2.0) + std::lgamma(nu / 2);
    for (int i = 0; i < 200; ++i) {
        const double f = ChiSquaredCdf(x, nu) - p;
        if (f < 0) {
            lo = x;
        } else {
            hi = x;
        }
        const double density = std::exp((nu / 2 - 1) * std::log(x) - x / 2 - logNorm);
        double next = density > 0 ? x - f / density : NaN;
        if (!(next > lo && next < hi)) {
            next = 0.5 * (lo + hi);
        }
        if (std::fabs(next - x) <= 1e-14 * x || hi - lo <= 1e-14 * hi) {
            return next;
        }
        x = next;
    }
    return x;
}

bool ChiSquaredInterval(double dev, double edf, double confidence, double* lower, double* upper) {
    if (!(edf > 0) || !(confidence > 0 && confidence < 1) || !std::isfinite(dev)) {
        return false;
    }
    const double tail = (1 - confidence) / 2;
    const double chiLow = ChiSquaredQuantile(tail, edf);
    const double chiHigh = ChiSquaredQuantile(1 - tail, edf);
    if (!(chiLow > 0) || !(chiHigh > 0)) {
        return false;
    }
    *lower = dev * std::sqrt(edf / chiHigh);
    *upper = dev * std::sqrt(edf / chiLow);
    return true;
}

// ---- Greenhall and Riley's EDF ----

namespace {

// Generalised autocovariance of the integrated phase for noise alpha.
double Sw(double t, int alpha) {
    const double a = std::fabs(t);
    switch (alpha) {
    case 2:
        return -a;
    case 1:
        return a == 0 ? 0 : t * t * std::log(a);
    case 0:
        return a * a * a;
    case -1:
        return a == 0 ? 0 : t * t * t * t * std::log(a);
    case -2:
        return a * a * a * a * a;
    case -3:
        return a == 0 ? 0 : std::pow(t, 6) * std::log(a);
    case -4:
        return std::pow(a, 7);
    default:
        return NaN;
    }
}

// Phase autocovariance after the averaging filter of F (F infinite: no averaging).
double Sx(double t, double f, int alpha) {
    if (std::isinf(f)) {
        return Sw(t, alpha + 2);
    }
    return f * f * (2 * Sw(t, alpha) - Sw(t - 1 / f, alpha) - Sw(t + 1 / f, alpha));
}

// Autocovariance of the d-th difference.
double Sz(double t, double f, int alpha, int d) {
    static const double Binomial[4][4] = {{1, 0, 0, 0}, {2, 1, 0, 0}, {6, 4, 1, 0}, {20, 15, 6, 1}};
    double s = Binomial[d][0] * Sx(t, f, alpha);
    for (int k = 1; k <= d; ++k) {
        const double sign = (k % 2 == 1) ? -1 : 1;
        s += sign * Binomial[d][k] * (Sx(t - k, f, alpha) + Sx(t + k, f, alpha));
    }
    return s;
}

double BasicSum(double j, double m, double s, double f, int alpha, int d) {
    const double s0 = Sz(0, f, alpha, d);
    double sum = s0 * s0;
    const double zj = Sz(j / s, f, alpha, d);
    sum += (1 - j / m) * zj * zj;
    for (int64_t k = 1; k < static_cast<int64_t>(j); ++k) {
        const double z = Sz(static_cast<double>(k) / s, f, alpha, d);
        sum += 2 * (1 - static_cast<double>(k) / m) * z * z;
    }
    return sum;
}

struct TA {
    double A0;
    double A1;
};

// Greenhall and Riley's tables 1 (modified) and 2 (unmodified): rows alpha 2 .. -4, columns
// d = 1, 2, 3; {0, 0} where the case does not exist.
constexpr TA Table1[7][3] = {
    {{2.0 / 3, 1.0 / 3}, {7.0 / 9, 1.0 / 2}, {22.0 / 25, 2.0 / 3}},
    {{0.840, 0.345}, {0.997, 0.616}, {1.141, 0.843}},
    {{1.079, 0.368}, {1.033, 0.607}, {1.184, 0.848}},
    {{0, 0}, {1.048, 0.534}, {1.180, 0.816}},
    {{0, 0}, {1.302, 0.535}, {1.175, 0.777}},
    {{0, 0}, {0, 0}, {1.194, 0.703}},
    {{0, 0}, {0, 0}, {1.489, 0.702}},
};
constexpr TA Table2[7][3] = {
    {{3.0 / 2, 1.0 / 2}, {35.0 / 18, 1.0}, {231.0 / 100, 3.0 / 2}},
    {{78.6, 25.2}, {790.0, 410.0}, {9950.0, 6520.0}},
    {{2.0 / 3, 1.0 / 6}, {2.0 / 3, 1.0 / 3}, {7.0 / 9, 1.0 / 2}},
    {{0, 0}, {0.852, 0.375}, {0.997, 0.617}},
    {{0, 0}, {1.079, 0.368}, {1.033, 0.607}},
    {{0, 0}, {0, 0}, {1.053, 0.553}},
    {{0, 0}, {0, 0}, {1.302, 0.535}},
};
// Table 3 (unmodified, flicker PM): sz(0) ~ b0 + b1 ln m.
constexpr TA Table3[3] = {{6.0, 4.0}, {15.23, 12.0}, {47.8, 40.0}};

double Binom(int n, int k) {
    double r = 1;
    for (int i = 1; i <= k; ++i) {
        r = r * (n - k + i) / i;
    }
    return r;
}

} // namespace

double GreenhallEdf(int alpha, int d, int64_t m, int64_t n, bool overlapping, bool modified) {
    if (d < 1 || d > 3 || alpha > 2 || alpha < -4 || alpha + 2 * d <= 1 || m < 1) {
        return 0;
    }
    const double md = static_cast<double>(m);
    const double f = modified ? 1 : md;
    const double s = overlapping ? md : 1;
    const double l = md / f + md * d;
    if (static_cast<double>(n) < l) {
        return 0;
    }
    const double mm = 1 + std::floor(s * (static_cast<double>(n) - l) / md);
    const double j = std::min(mm, (d + 1) * s);
    constexpr double JMax = 100;
    const double r = mm / s;
    const int row = 2 - alpha;
    double inverse = 0;
    if (modified) {
        if (j <= JMax) {
            const double z0 = Sz(0, 1, alpha, d);
            inverse = BasicSum(j, mm, s, 1, alpha, d) / (z0 * z0 * mm);
        } else if (r > d + 1) {
            const TA a = Table1[row][d - 1];
            inverse = (a.A0 - a.A1 / r) / r;
        } else {
            const double mp = JMax / r;
            const double z0 = Sz(0, 1, alpha, d);
            inverse = BasicSum(JMax, JMax, mp, 1, alpha, d) / (z0 * z0 * JMax);
        }
    } else if (alpha <= 0) {
        if (j <= JMax) {
            const double fp = md * (d + 1) <= JMax ? md : std::numeric_limits<double>::infinity();
            const double z0 = Sz(0, fp, alpha, d);
            inverse = BasicSum(j, mm, s, fp, alpha, d) / (z0 * z0 * mm);
        } else if (r > d + 1) {
            const TA a = Table2[row][d - 1];
            inverse = (a.A0 - a.A1 / r) / r;
        } else {
            const double mp = JMax / r;
            const double inf = std::numeric_limits<double>::infinity();
            const double z0 = Sz(0, inf, alpha, d);
            inverse = BasicSum(JMax, JMax, mp, inf, alpha, d) / (z0 * z0 * JMax);
        }
    } else if (alpha == 1) {
        const TA b = Table3[d - 1];
        const double norm = b.A0 + b.A1 * std::log(md);
        if (j <= JMax) {
            const double z0 = Sz(0, md, 1, d);
            inverse = BasicSum(j, mm, s, md, 1, d) / (z0 * z0 * mm);
        } else if (r > d + 1) {
            const TA a = Table2[row][d - 1];
            inverse = (a.A0 - a.A1 / r) / (norm * norm * r);
        } else {
            const double mp = JMax / r;
            inverse = BasicSum(JMax, JMax, mp, mp, 1, d) / (norm * norm * JMax);
        }
    } else {
        // white PM, unmodified: only terms sharing phase points are correlated
        const double k = std::ceil(r);
        const double c0 = Binom(2 * d, d);
        double sum = 1;
        for (int q = 1; q <= d && q <= k - 1; ++q) {
            const double rho = Binom(2 * d, d - q) / c0;
            sum += 2 * (1 - q / r) * rho * rho;
        }
        inverse = sum / mm;
    }
    return inverse > 0 ? 1 / inverse : 0;
}

double SimpleEdf(int alpha, int64_t m, int64_t n) {
    const double md = static_cast<double>(m);
    const double nn = static_cast<double>(n);
    if (m < 1 || nn < 2 * md + 1) {
        return 0;
    }
    double edf = 0;
    switch (alpha) {
    case 2:
        edf = (nn + 1) * (nn - 2 * md) / (2 * (nn - md));
        break;
    case 1:
        edf = std::exp(
            std::sqrt(std::log((nn - 1) / (2 * md)) * std::log((2 * md + 1) * (nn - 1) / 4)));
        break;
    case 0:
        edf = (3 * (nn - 1) / (2 * md) - 2 * (nn - 2) / nn) * (4 * md * md / (4 * md * md + 5));
        break;
    case -1:
        edf = m == 1 ? 2 * (nn - 2) * (nn - 2) / (2.3 * nn - 4.9)
                     : 5 * nn * nn / (4 * md * (nn + 3 * md));
        break;
    case -2:
        edf = (nn - 2) / md * ((nn - 1) * (nn - 1) - 3 * md * (nn - 1) + 4 * md * md) /
              ((nn - 3) * (nn - 3));
        break;
    default:
        return 0;
    }
    return std::isfinite(edf) && edf > 0 ? edf : 0;
}

double TotalEdf(int alpha, int64_t m, int64_t n) {
    // b T/tau - c (white, flicker and random-walk FM); the phase noises by the simple formulas
    static const TA Coefficients[3] = {{1.50, 0.0}, {1.17, 0.22}, {0.93, 0.36}};
    if (alpha > 0) {
        return SimpleEdf(alpha, m, n);
    }
    const TA c = Coefficients[std::min(2, -alpha)];
    return std::max(0.0, c.A0 * static_cast<double>(n) / static_cast<double>(m) - c.A1);
}

double ModifiedTotalEdf(int alpha, int64_t m, int64_t n) {
    // Stable32's tables change from the one to the other between m = 8 and m = 10
    if (m < ModifiedTotalMinFactor) {
        return GreenhallEdf(alpha, 2, m, n, true, true);
    }
    // b T/tau - c, rows alpha 2 .. -2. Flicker PM, white FM and flicker FM: the coefficients of
    // Stable32's intervals (solved from its tables of two records, N = 1001 and 1253; they hold
    // there to 0.1 % in the EDF); white PM and random-walk FM, of which no table shows an
    // interval: NIST SP 1065, table 8.
    static const TA Coefficients[5] = {
        {1.90, 2.10}, {1.73, 2.99}, {1.333, 1.90}, {0.92, 0.76}, {0.75, 0.31}};
    const int row = std::clamp(2 - alpha, 0, 4);
    const TA c = Coefficients[row];
    return std::max(0.0, c.A0 * static_cast<double>(n) / static_cast<double>(m) - c.A1);
}

double HadamardTotalEdf(int alpha, int64_t m, int64_t n) {
    // (T / tau) / (b0 + b1 tau / T) for white FM to random-run FM from m = 16 on (D. A. Howe et
    // al., "A total estimator of the Hadamard function used for GPS operations", 32nd PTTI,
    // 2000); the phase noises at every m, and every noise below m = 16, by the simple formulas;
    // what these leave out (alpha -3, -4 below m = 16) by the overlapping Hadamard deviation's
    static const TA Coefficients[5] = {
        {0.559, 1.004}, {0.868, 1.140}, {0.938, 1.696}, {0.974, 2.554}, {1.276, 3.149}};
    if (alpha > 0 || (m < HadamardTotalMinFactor && alpha >= -2)) {
        return SimpleEdf(alpha, m, n);
    }
    if (alpha < -4 || m < HadamardTotalMinFactor) {
        return GreenhallEdf(alpha, 3, m, n, true, false);
    }
    const TA c = Coefficients[-alpha];
    const double r = static_cast<double>(n) / static_cast<double>(m);
    return r / (c.A0 + c.A1 / r);
}

double Theo1Edf(int alpha, int64_t m, int64_t n) {
    const double nn = static_cast<double>(n);
    const double r = 0.75 * static_cast<double>(m); // tau / tau0
    double edf = 0;
    switch (std::clamp(alpha, -2, 2)) {
    case 2:
        edf = 0.86 * (nn + 1) * (nn - 4 * r / 3) / (nn - r) * (r / (r + 1.14));
        break;
    case 1:
        edf = (4.798 * nn * nn - 6.374 * nn * r + 12.387 * r) / (std::sqrt(r + 36.6) * (nn - r)) *
              (r / (r + 0.3));
        break;
    case 0:
        edf = ((4.1 * nn + 0.8) / r - (3.1 * nn + 6.5) / nn) *
              (std::pow(r, 1.5) / (std::pow(r, 1.5) + 5.2));
        break;
    case -1:
        edf = (2 * nn * nn - 1.3 * nn * r - 3.5 * r) / (nn * r) * (r * r * r / (r * r * r + 2.3));
        break;
    default: {
        const double a = 4.4 * nn - 1;
        edf = (4.4 * nn - 2) / (2.9 * r) *
              ((a * a - 8.6 * r * a + 11.4 * r * r) / ((4.4 * nn - 3) * (4.4 * nn - 3)));
        break;
    }
    }
    return std::isfinite(edf) && edf > 0 ? edf : 0;
}

// ---- noise identification ----

double Lag1Autocorrelation(const std::vector<double>& v) {
    const size_t n = v.size();
    if (n < 2) {
        return NaN;
    }
    double mean = 0;
    for (double a : v) {
        mean += a;
    }
    mean /= static_cast<double>(n);
    double num = 0;
    double den = 0;
    for (size_t i = 0; i < n; ++i) {
        const double a = v[i] - mean;
        den += a * a;
        if (i + 1 < n) {
            num += a * (v[i + 1] - mean);
        }
    }
    return den > 0 ? num / den : NaN;
}

double B1Expected(double n, int mu) {
    switch (mu) {
    case 2:
        return n * (n + 1) / 6;
    case 1:
        return n / 2;
    case 0:
        return n * std::log(n) / (2 * (n - 1) * std::log(2.0));
    case -1:
        return 1;
    case -2:
        return (n * n - 1) / (1.5 * n * (n - 1));
    default:
        return n * (1 - std::pow(n, mu)) / (2 * (n - 1) * (1 - std::pow(2.0, mu)));
    }
}

namespace {

// White or flicker PM by R(n) = Mod var / Allan var at m: 1/m for white PM, against
// 3 ln(256/27) / (2 (1.038 + 3 ln(pi m))) for flicker PM; the boundary is their geometric mean.
int WhiteOrFlickerPm(int64_t m, double mvarOverAvar) {
    const double md = static_cast<double>(m);
    const double pi2 = std::numbers::pi * std::numbers::pi;
    const double avarFlicker = (1.038 + 3 * std::log(std::numbers::pi * md)) / (4 * pi2);
    const double mvarFlicker = 3 * std::log(256.0 / 27.0) / (8 * pi2);
    const double boundary = std::sqrt((1 / md) * (mvarFlicker / avarFlicker));
    return mvarOverAvar < boundary ? 2 : 1;
}

} // namespace

bool IdentifyNoise(const double* x, int64_t n, int64_t m, int dmax, bool overlapping,
                   double mvarOverAvar, int* alpha) {
    if (m < 1 || n < 2) {
        return false;
    }
    const int64_t averages = (n - 1) / m;
    if (averages >= Lag1MinPoints) {
        // the phase decimated by m; its mean goes with the autocorrelation, a frequency offset
        // with the first difference
        std::vector<double> v(static_cast<size_t>(averages + 1));
        for (int64_t k = 0; k <= averages; ++k) {
            v[static_cast<size_t>(k)] = x[k * m];
        }
        for (int d = 0;; ++d) {
            const double r1 = Lag1Autocorrelation(v);
            if (!std::isfinite(r1)) {
                return false;
            }
            const double delta = r1 / (1 + r1);
            if (delta < 0.25 || d >= dmax) {
                // p = -2 (delta + d) of the phase; alpha = p + 2
                int a = static_cast<int>(std::lround(2 - 2 * (delta + d)));
                a = std::clamp(a, dmax >= 3 ? -4 : -2, 2);
                // On short series the lag-1 autocorrelation of flicker phase is biased low:
                // of simulated flicker-PM records, 80 % are taken for white PM at 33 decimated
                // points. R(n), from the whole record, tells the two apart there.
                if (a >= 1 && averages < PmRatioMaxAverages && std::isfinite(mvarOverAvar)) {
                    a = WhiteOrFlickerPm(m, mvarOverAvar);
                }
                *alpha = a;
                return true;
            }
            for (size_t i = 0; i + 1 < v.size(); ++i) {
                v[i] = v[i + 1] - v[i];
            }
            v.pop_back();
            if (v.size() < 3) {
                return false;
            }
        }
    }
    // B1: the standard variance of the m-averages of frequency over their Allan variance
    if (averages < 4) {
        return false;
    }
    std::vector<double> y(static_cast<size_t>(averages));
    double mean = 0;
    for (int64_t k = 0; k < averages; ++k) {
        y[static_cast<size_t>(k)] = x[(k + 1) * m] - x[k * m];
        mean += y[static_cast<size_t>(k)];
    }
    mean /= static_cast<double>(averages);
    double var = 0;
    double avar = 0;
    for (int64_t k = 0; k < averages; ++k) {
        const double a = y[static_cast<size_t>(k)] - mean;
        var += a * a;
        if (k + 1 < averages) {
            const double dd = y[static_cast<size_t>(k + 1)] - y[static_cast<size_t>(k)];
            avar += dd * dd;
        }
    }
    var /= static_cast<double>(averages - 1);
    avar /= 2.0 * static_cast<double>(averages - 1);
    if (!(avar > 0)) {
        return false;
    }
    const double b1 = var / avar;
    // The expected ratios: for the non-overlapping estimators those of the averages themselves;
    // for the overlapping ones (which see every sample) those of the whole record, which is how
    // Stable32 judges them, so that its tables and ours name the same noise.
    const double nn = static_cast<double>(overlapping ? n - 1 : averages);
    // mu (the tau exponent of the Allan variance): -2 PM, -1 white FM, 0 flicker FM,
    // 1 random-walk FM, 2 and 3 the Hadamard family's -3 and -4; the nearest on a log scale
    const int highest = dmax >= 3 ? 3 : 1;
    int mu = highest;
    for (int candidate = -2; candidate < highest; ++candidate) {
        const double boundary =
            std::sqrt(B1Expected(nn, candidate) * B1Expected(nn, candidate + 1));
        if (b1 < boundary) {
            mu = candidate;
            break;
        }
    }
    if (mu > -2) {
        *alpha = -mu - 1;
        return true;
    }
    *alpha = std::isfinite(mvarOverAvar) ? WhiteOrFlickerPm(m, mvarOverAvar) : 1;
    return true;
}
