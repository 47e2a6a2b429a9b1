#pragma once
// Frequency-stability deviations of a record of fractional-frequency samples y (one per tau0,
// NaN where a sample is missing): the Allan deviation (ADEV), its overlapping form (OADEV), the
// modified Allan deviation (MDEV), the Hadamard deviation (HDEV) and its overlapping form
// (OHDEV), at averaging factors m (tau = m tau0).
//
// Every term that would use a missing sample is skipped; the variance is the mean over the
// terms that remain. The record keeps running sums of y (phase) and of the phase, in
// double-double arithmetic, relative to the first valid sample, so that a term costs O(1)
// whatever its tau, and the squared terms are summed with Neumaier's compensation.
//
// Confidence interval: the simple bound sigma * (1 -+ 1/sqrt(n)) with n the number of terms
// used (the rough interval of the frequency-stability handbooks, no noise identification). A
// tau with fewer than MinTerms terms has no point.

#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

// The first five are sums of squared phase differences that the record keeps running sums for;
// the others are computed by the stability analysis (StabilityAnalysisUnit.h).
enum class TDeviationKind {
    _adev,
    _oadev,
    _mdev,
    _hdev,
    _ohdev,
    _tdev,
    _totdev,
    _mtotdev,
    _ttotdev,
    _htotdev,
    _theo1,
    _mtie,
    _tierms
};

// "adev", "oadev", "mdev", "hdev", "ohdev", "tdev", "totdev", "mtotdev", "ttotdev", "htotdev",
// "theo1", "mtie", "tierms" (and back; false for anything else).
QString DeviationKindName(TDeviationKind kind);
bool DeviationKindFromName(const QString& name, TDeviationKind* kind);
// The kinds with running sums in the record.
inline constexpr TDeviationKind AllDeviationKinds[] = {
    TDeviationKind::_adev, TDeviationKind::_oadev, TDeviationKind::_mdev, TDeviationKind::_hdev,
    TDeviationKind::_ohdev};
// Every kind.
inline constexpr TDeviationKind AllStabilityKinds[] = {
    TDeviationKind::_adev,    TDeviationKind::_oadev,   TDeviationKind::_mdev,
    TDeviationKind::_tdev,    TDeviationKind::_hdev,    TDeviationKind::_ohdev,
    TDeviationKind::_totdev,  TDeviationKind::_mtotdev, TDeviationKind::_ttotdev,
    TDeviationKind::_htotdev, TDeviationKind::_theo1,   TDeviationKind::_mtie,
    TDeviationKind::_tierms};

struct TDeviationPoint {
    double Tau = 0;    // seconds
    int64_t M = 0;     // averaging factor
    int64_t Terms = 0; // number of terms used
    double Deviation = 0;
    double Lower = 0;
    double Upper = 0;
    // Set by the stability analysis: the identified noise (HasAlpha), the equivalent degrees of
    // freedom and the chi-squared interval in Lower/Upper (Edf > 0; otherwise Lower = Upper =
    // Deviation when there is no interval).
    bool HasAlpha = false;
    int Alpha = 0;
    double Edf = 0;
};

inline constexpr int64_t MinTerms = 2;

// A value with about twice the precision of a double (hi + lo, |lo| <= ulp(hi) / 2).
struct TDoubleDouble {
    double Hi = 0;
    double Lo = 0;
};

// Neumaier's compensated sum.
class TCompensatedSum {
public:
    void Add(double v);
    double Value() const { return FSum + FCompensation; }
    void Clear() { FSum = FCompensation = 0; }

private:
    double FSum = 0;
    double FCompensation = 0;
};

// Second-difference sums of one tau for one kind: the sum of squared terms and their number.
struct TDeviationSums {
    TCompensatedSum Squares;
    int64_t Terms = 0;
};

// The record: samples appended one by one, O(1) each, memory proportional to its length.
class TFrequencyRecord {
public:
    void Append(double y); // NaN: a missing sample
    void AppendGap(int64_t count);
    void Clear();
    void Reserve(int64_t count);

    int64_t Size() const { return static_cast<int64_t>(FGaps.size()) - 1; }
    int64_t GapCount() const { return FGaps.back(); }
    // The first valid sample (the record's sums are relative to it) and the sum of y - Reference()
    // over the first k samples (missing ones count as Reference()), k up to Size().
    double Reference() const { return FReference; }
    double RelativePhase(int64_t k) const { return FPhase[k].Hi + FPhase[k].Lo; }

    // The term of the given kind and averaging factor starting at sample i, in units of y
    // (ADEV/OADEV: second difference of phase / tau0; HDEV/OHDEV: third; MDEV: the sum of m
    // second differences). False when it would use a missing sample or lies outside the record.
    bool Term(TDeviationKind kind, int64_t m, int64_t i, double* term) const;

    // Index of the last term of the kind that the record can hold (-1: none), and the step
    // between the terms (1 overlapping, m non-overlapping).
    int64_t LastTermStart(TDeviationKind kind, int64_t m) const;
    static int64_t TermStep(TDeviationKind kind, int64_t m);
    // The divisor of the mean of squared terms that gives the variance.
    static double Normalisation(TDeviationKind kind, int64_t m);

    // All terms of one tau.
    TDeviationSums Sums(TDeviationKind kind, int64_t m) const;

private:
    TDoubleDouble Phase2(int64_t k) const; // k up to Size() + 1

    bool FHasReference = false;
    double FReference = 0;
    std::vector<TDoubleDouble> FPhase{TDoubleDouble{}}; // FPhase[k] = sum of y[0..k)
    // FPhase2[k] = sum of FPhase[0..k), one further than FPhase (the last MDEV term needs it)
    std::vector<TDoubleDouble> FPhase2{TDoubleDouble{}, TDoubleDouble{}};
    std::vector<int32_t> FGaps{0}; // FGaps[k] = missing among y[0..k)
};

// A point from sums (no point: Terms < MinTerms or m < 1).
bool DeviationPoint(TDeviationKind kind, int64_t m, double tau0, const TDeviationSums& sums,
                    TDeviationPoint* point);

// Averaging factors. Octave 1, 2, 4, ...; decade 1, 2, 4, 10, 20, 40, 100, ...; all 1, 2, 3,
// ...; many: every factor up to 10, then about ten per decade (10^(k/10) rounded: 13, 16, 20,
// 25, 32, 40, 50, 63, 79, 100, ...); each up to a third of the record, or up to top.
enum class TTauSpacing { _octave, _decade, _all, _many };
std::vector<int64_t> AveragingFactors(TTauSpacing spacing, int64_t records);
std::vector<int64_t> AveragingFactorsUpTo(TTauSpacing spacing, int64_t top);

// The table of one kind at the given averaging factors, points only where there are enough
// terms.
QList<TDeviationPoint> DeviationTable(const TFrequencyRecord& record, TDeviationKind kind,
                                      const std::vector<int64_t>& factors, double tau0);
// Convenience: the same over a plain vector (NaN = missing).
QList<TDeviationPoint> DeviationTable(const std::vector<double>& y, TDeviationKind kind,
                                      const std::vector<int64_t>& factors, double tau0);
