#include "stability/DeviationUnit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Knuth's two-sum: s + e == a + b exactly.
inline TDoubleDouble TwoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

inline TDoubleDouble Normalised(double hi, double lo) {
    const double s = hi + lo;
    return {s, lo - (s - hi)};
}

inline TDoubleDouble Add(TDoubleDouble a, TDoubleDouble b) {
    TDoubleDouble s = TwoSum(a.Hi, b.Hi);
    const TDoubleDouble t = TwoSum(a.Lo, b.Lo);
    s.Lo += t.Hi;
    s = Normalised(s.Hi, s.Lo);
    s.Lo += t.Lo;
    return Normalised(s.Hi, s.Lo);
}

} // namespace

QString DeviationKindName(TDeviationKind kind) {
    switch (kind) {
    case TDeviationKind::_adev:
        return QStringLiteral("adev");
    case TDeviationKind::_oadev:
        return QStringLiteral("oadev");
    case TDeviationKind::_mdev:
        return QStringLiteral("mdev");
    case TDeviationKind::_hdev:
        return QStringLiteral("hdev");
    case TDeviationKind::_ohdev:
        return QStringLiteral("ohdev");
    case TDeviationKind::_tdev:
        return QStringLiteral("tdev");
    case TDeviationKind::_totdev:
        return QStringLiteral("totdev");
    case TDeviationKind::_mtotdev:
        return QStringLiteral("mtotdev");
    case TDeviationKind::_ttotdev:
        return QStringLiteral("ttotdev");
    case TDeviationKind::_htotdev:
        return QStringLiteral("htotdev");
    case TDeviationKind::_theo1:
        return QStringLiteral("theo1");
    case TDeviationKind::_mtie:
        return QStringLiteral("mtie");
    case TDeviationKind::_tierms:
        return QStringLiteral("tierms");
    }
    return {};
}

bool DeviationKindFromName(const QString& name, TDeviationKind* kind) {
    for (TDeviationKind k : AllStabilityKinds) {
        if (DeviationKindName(k) == name.trimmed().toLower()) {
            *kind = k;
            return true;
        }
    }
    return false;
}

void TCompensatedSum::Add(double v) {
    const double t = FSum + v;
    if (std::fabs(FSum) >= std::fabs(v)) {
        FCompensation += (FSum - t) + v;
    } else {
        FCompensation += (v - t) + FSum;
    }
    FSum = t;
}

void TFrequencyRecord::Append(double y) {
    const bool missing = !std::isfinite(y);
    if (!missing && !FHasReference) {
        FHasReference = true;
        FReference = y;
    }
    const double v = missing ? 0.0 : y - FReference;
    const TDoubleDouble phase = Add(FPhase.back(), TDoubleDouble{v, 0});
    FPhase.push_back(phase);
    FPhase2.push_back(Add(FPhase2.back(), phase));
    FGaps.push_back(FGaps.back() + (missing ? 1 : 0));
}

void TFrequencyRecord::AppendGap(int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        Append(std::numeric_limits<double>::quiet_NaN());
    }
}

void TFrequencyRecord::Clear() {
    FHasReference = false;
    FReference = 0;
    FPhase.assign(1, TDoubleDouble{});
    FPhase2.assign(2, TDoubleDouble{});
    FGaps.assign(1, 0);
}

void TFrequencyRecord::Reserve(int64_t count) {
    FPhase.reserve(count + 2);
    FPhase2.reserve(count + 2);
    FGaps.reserve(count + 2);
}

TDoubleDouble TFrequencyRecord::Phase2(int64_t k) const {
    return FPhase2[k];
}

int64_t TFrequencyRecord::TermStep(TDeviationKind kind, int64_t m) {
    return kind == TDeviationKind::_adev || kind == TDeviationKind::_hdev ? m : 1;
}

double TFrequencyRecord::Normalisation(TDeviationKind kind, int64_t m) {
    const double mm = static_cast<double>(m);
    switch (kind) {
    case TDeviationKind::_adev:
    case TDeviationKind::_oadev:
        return 2 * mm * mm;
    case TDeviationKind::_mdev:
        return 2 * mm * mm * mm * mm;
    case TDeviationKind::_hdev:
    case TDeviationKind::_ohdev:
        return 6 * mm * mm;
    default:
        return 1;
    }
}

int64_t TFrequencyRecord::LastTermStart(TDeviationKind kind, int64_t m) const {
    const int64_t n = Size();
    if (m < 1) {
        return -1;
    }
    switch (kind) {
    case TDeviationKind::_adev: {
        // non-overlapping: terms start at 0, m, 2m, ... and span 2m samples
        const int64_t blocks = n / m;
        return blocks >= 2 ? (blocks - 2) * m : -1;
    }
    case TDeviationKind::_oadev:
        return n - 2 * m;
    case TDeviationKind::_mdev:
        // m second differences of phase; the last one reaches sample j + 3m - 2
        return n + 1 - 3 * m;
    case TDeviationKind::_hdev: {
        const int64_t blocks = n / m;
        return blocks >= 3 ? (blocks - 3) * m : -1;
    }
    case TDeviationKind::_ohdev:
        return n - 3 * m;
    default:
        return -1; // no running sums for the other kinds
    }
}

namespace {

// a - b rounded once to a double: exact two-sum of the high parts plus the low parts.
inline double Diff(const TDoubleDouble& a, const TDoubleDouble& b) {
    const TDoubleDouble s = TwoSum(a.Hi, -b.Hi);
    return s.Hi + (s.Lo + (a.Lo - b.Lo));
}

// The term of one kind at start i with the record's arrays, no range or gap check. Window
// sums are formed from the running sums first (each exact to a double's precision), then
// differenced.
template <TDeviationKind Kind>
inline double RawTerm(const TDoubleDouble* p, const TDoubleDouble* q, int64_t m, int64_t i) {
    if constexpr (Kind == TDeviationKind::_adev || Kind == TDeviationKind::_oadev) {
        return Diff(p[i + 2 * m], p[i + m]) - Diff(p[i + m], p[i]);
    } else if constexpr (Kind == TDeviationKind::_hdev || Kind == TDeviationKind::_ohdev) {
        return Diff(p[i + 3 * m], p[i + 2 * m]) - 2 * Diff(p[i + 2 * m], p[i + m]) +
               Diff(p[i + m], p[i]);
    } else {
        return Diff(q[i + 3 * m], q[i + 2 * m]) - 2 * Diff(q[i + 2 * m], q[i + m]) +
               Diff(q[i + m], q[i]);
    }
}

// How many samples from the start a term of the kind covers.
inline int64_t Span(TDeviationKind kind, int64_t m) {
    switch (kind) {
    case TDeviationKind::_adev:
    case TDeviationKind::_oadev:
        return 2 * m;
    case TDeviationKind::_mdev:
        return 3 * m - 1;
    case TDeviationKind::_hdev:
    case TDeviationKind::_ohdev:
        return 3 * m;
    default:
        return 0;
    }
}

// Squared terms are positive: plain sums over short blocks lose at most a few ulps, and the
// block sums go into the compensated total.
constexpr int64_t SumBlock = 64;

template <TDeviationKind Kind>
void SumTerms(const TDoubleDouble* p, const TDoubleDouble* q, const int32_t* gaps, int64_t m,
              int64_t last, int64_t step, TDeviationSums* sums) {
    const int64_t span = Span(Kind, m);
    int64_t terms = 0;
    for (int64_t start = 0; start <= last; start += SumBlock * step) {
        const int64_t end = std::min(last, start + (SumBlock - 1) * step);
        double block = 0;
        for (int64_t i = start; i <= end; i += step) {
            if (gaps[i + span] != gaps[i]) {
                continue;
            }
            const double t = RawTerm<Kind>(p, q, m, i);
            block += t * t;
            ++terms;
        }
        sums->Squares.Add(block);
    }
    sums->Terms += terms;
}

} // namespace

bool TFrequencyRecord::Term(TDeviationKind kind, int64_t m, int64_t i, double* term) const {
    if (LastTermStart(kind, m) < 0 || m < 1 || i < 0 || i + Span(kind, m) > Size() ||
        (kind == TDeviationKind::_mdev && i + 3 * m > Size() + 1)) {
        return false;
    }
    if (FGaps[i + Span(kind, m)] != FGaps[i]) {
        return false;
    }
    const TDoubleDouble* p = FPhase.data();
    switch (kind) {
    case TDeviationKind::_adev:
    case TDeviationKind::_oadev:
        *term = RawTerm<TDeviationKind::_oadev>(p, nullptr, m, i);
        return true;
    case TDeviationKind::_hdev:
    case TDeviationKind::_ohdev:
        *term = RawTerm<TDeviationKind::_ohdev>(p, nullptr, m, i);
        return true;
    case TDeviationKind::_mdev: {
        const TDoubleDouble q[4] = {Phase2(i), Phase2(i + m), Phase2(i + 2 * m), Phase2(i + 3 * m)};
        *term = Diff(q[3], q[2]) - 2 * Diff(q[2], q[1]) + Diff(q[1], q[0]);
        return true;
    }
    default:
        return false;
    }
}

TDeviationSums TFrequencyRecord::Sums(TDeviationKind kind, int64_t m) const {
    TDeviationSums sums;
    const int64_t last = LastTermStart(kind, m);
    if (last < 0) {
        return sums;
    }
    const int64_t step = TermStep(kind, m);
    const TDoubleDouble* p = FPhase.data();
    const int32_t* g = FGaps.data();
    switch (kind) {
    case TDeviationKind::_adev:
        SumTerms<TDeviationKind::_adev>(p, nullptr, g, m, last, step, &sums);
        break;
    case TDeviationKind::_oadev:
        SumTerms<TDeviationKind::_oadev>(p, nullptr, g, m, last, step, &sums);
        break;
    case TDeviationKind::_hdev:
        SumTerms<TDeviationKind::_hdev>(p, nullptr, g, m, last, step, &sums);
        break;
    case TDeviationKind::_ohdev:
        SumTerms<TDeviationKind::_ohdev>(p, nullptr, g, m, last, step, &sums);
        break;
    case TDeviationKind::_mdev:
        SumTerms<TDeviationKind::_mdev>(nullptr, FPhase2.data(), g, m, last, step, &sums);
        break;
    default:
        break;
    }
    return sums;
}

bool DeviationPoint(TDeviationKind kind, int64_t m, double tau0, const TDeviationSums& sums,
                    TDeviationPoint* point) {
    if (m < 1 || sums.Terms < MinTerms) {
        return false;
    }
    const double variance =
        std::max(0.0, sums.Squares.Value()) /
        (TFrequencyRecord::Normalisation(kind, m) * static_cast<double>(sums.Terms));
    const double sigma = std::sqrt(variance);
    const double bound = sigma / std::sqrt(static_cast<double>(sums.Terms));
    point->Tau = static_cast<double>(m) * tau0;
    point->M = m;
    point->Terms = sums.Terms;
    point->Deviation = sigma;
    point->Lower = sigma - bound;
    point->Upper = sigma + bound;
    return true;
}

std::vector<int64_t> AveragingFactors(TTauSpacing spacing, int64_t records) {
    return AveragingFactorsUpTo(spacing, records / 3);
}

std::vector<int64_t> AveragingFactorsUpTo(TTauSpacing spacing, int64_t top) {
    std::vector<int64_t> factors;
    switch (spacing) {
    case TTauSpacing::_octave:
        for (int64_t m = 1; m <= top; m *= 2) {
            factors.push_back(m);
        }
        break;
    case TTauSpacing::_decade:
        for (int64_t decade = 1; decade <= top; decade *= 10) {
            for (int64_t k : {1, 2, 4}) {
                if (k * decade <= top) {
                    factors.push_back(k * decade);
                }
            }
        }
        break;
    case TTauSpacing::_all:
        for (int64_t m = 1; m <= top; ++m) {
            factors.push_back(m);
        }
        break;
    case TTauSpacing::_many:
        for (int64_t m = 1; m <= std::min<int64_t>(top, 10); ++m) {
            factors.push_back(m);
        }
        for (int k = 11;; ++k) {
            const int64_t m = std::llround(std::pow(10.0, k / 10.0));
            if (m > top) {
                break;
            }
            if (m > factors.back()) {
                factors.push_back(m);
            }
        }
        break;
    }
    return factors;
}

QList<TDeviationPoint> DeviationTable(const TFrequencyRecord& record, TDeviationKind kind,
                                      const std::vector<int64_t>& factors, double tau0) {
    QList<TDeviationPoint> table;
    for (int64_t m : factors) {
        TDeviationPoint p;
        if (DeviationPoint(kind, m, tau0, record.Sums(kind, m), &p)) {
            table.append(p);
        }
    }
    return table;
}

QList<TDeviationPoint> DeviationTable(const std::vector<double>& y, TDeviationKind kind,
                                      const std::vector<int64_t>& factors, double tau0) {
    TFrequencyRecord record;
    record.Reserve(static_cast<int64_t>(y.size()));
    for (double v : y) {
        record.Append(v);
    }
    return DeviationTable(record, kind, factors, tau0);
}
