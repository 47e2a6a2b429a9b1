#include "stability/TotalDeviationUnit.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace {

// Mean over the subsequences of 3m values of s of the mean square of the 6m second differences
// of m-point averages of the detrended, reflected subsequence (the core of MTOTDEV and HTOTDEV).
double TotalWindowMean(const double* s, int64_t len, int64_t m, int64_t* windows) {
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

} // namespace

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

bool ModifiedTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r) {
    int64_t windows = 0;
    if (m < 1 || n < 3 * m) {
        return false;
    }
    const double mean = TotalWindowMean(x, n, m, &windows);
    const double tau = static_cast<double>(m) * tau0;
    r->Terms = windows;
    r->Deviation = std::sqrt(mean / (2 * tau * tau));
    return windows >= 1;
}

bool HadamardTotalDeviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r) {
    const int64_t len = n - 1;
    if (m < 1 || len < 3 * m) {
        return false;
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
    int64_t windows = 0;
    const double mean = TotalWindowMean(y.data(), len, m, &windows);
    r->Terms = windows;
    r->Deviation = std::sqrt(mean / 6);
    return windows >= 1;
}

bool Theo1Deviation(const double* x, int64_t n, int64_t m, double tau0, TPhaseResult* r) {
    if (m < 2 || m % 2 != 0 || m > n - 1) {
        return false;
    }
    const int64_t h = m / 2;
    long double sum = 0;
    for (int64_t i = 0; i < n - m; ++i) {
        double inner = 0;
        for (int64_t d = 0; d < h; ++d) {
            const double t = (x[i] - x[i - d + h]) + (x[i + m] - x[i + d + h]);
            inner += t * t / static_cast<double>(h - d);
        }
        sum += inner;
    }
    const double tm = static_cast<double>(m) * tau0;
    r->Terms = (n - m) * h;
    r->Deviation =
        std::sqrt(static_cast<double>(sum) / (0.75 * static_cast<double>(n - m) * tm * tm));
    return true;
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
