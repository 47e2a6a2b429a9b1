#pragma once
// The stability analysis of one record, shared by the stability page and halvane-stability:
// every kind of deviation at the given averaging factors, each point with its identified noise
// type, its equivalent degrees of freedom and its chi-squared interval at the chosen confidence
// (StabilityConfidenceUnit.h).
//
// ADEV, OADEV, MDEV, HDEV, OHDEV come from the record's running sums (terms that touch a missing
// sample are skipped); TDEV = tau MDEV / sqrt(3). The kinds of TotalDeviationUnit.h work on the
// phase of a gap-free record only: on a record with missing samples they have no points.
// MTIE and TIE rms have no noise type and no interval (Lower = Upper = Deviation, Edf 0).
// Units: the deviations of fractional frequency are dimensionless; TDEV, TTOTDEV, MTIE and TIE
// rms are in seconds.

#include "stability/DeviationUnit.h"

#include <QList>

#include <memory>
#include <vector>

class TTotalWindowSums;
class TTheo1Sums;

inline constexpr double DefaultConfidence = 0.683;

class TStabilityAnalysis {
public:
    // record: the fractional frequencies, one per tau0 seconds. The record must outlive this.
    TStabilityAnalysis(const TFrequencyRecord& record, double tau0);
    ~TStabilityAnalysis();

    double Tau0() const { return FTau0; }
    // The longest averaging factor of the kind on this record (a third of the record for the
    // Allan and Hadamard families, MTOTDEV, TTOTDEV, HTOTDEV and TIE rms; half of it for TOTDEV
    // and MTIE; the whole for Theo1).
    int64_t LongestFactor(TDeviationKind kind) const;
    std::vector<int64_t> Factors(TDeviationKind kind, TTauSpacing spacing) const;
    // Whether the kind needs a gap-free record (and this record has gaps).
    static bool NeedsPhase(TDeviationKind kind);
    bool HasGaps() const { return FRecord.GapCount() > 0; }

    bool Point(TDeviationKind kind, int64_t m, double confidence, TDeviationPoint* point) const;
    // Adds the noise type, the EDF and the interval to a point of the kind whose deviation is
    // known (e.g. from the live record's running sums).
    void AddConfidence(TDeviationKind kind, double confidence, TDeviationPoint* point) const;
    QList<TDeviationPoint> Table(TDeviationKind kind, const std::vector<int64_t>& factors,
                                 double confidence = DefaultConfidence) const;

    // The noise type at averaging factor m for the kind's family; false where none is
    // identified (too few points, or MTIE / TIE rms).
    bool NoiseType(TDeviationKind kind, int64_t m, int* alpha) const;
    // The EDF of the kind at m for noise alpha (0: none).
    double Edf(TDeviationKind kind, int64_t m, int alpha) const;

private:
    const std::vector<double>& Phase() const; // seconds, relative to the first sample's rate

    const TFrequencyRecord& FRecord;
    double FTau0;
    mutable std::vector<double> FPhase;
    // shared by the taus of the total deviations and Theo1 (built on first use)
    mutable std::vector<double> FFrequency; // (x[k + 1] - x[k]) / tau0
    mutable std::vector<double> FAbsolute;  // the phase with the mean frequency offset
    mutable std::unique_ptr<TTotalWindowSums> FPhaseWindows;
    mutable std::unique_ptr<TTotalWindowSums> FFrequencyWindows;
    mutable std::unique_ptr<TTheo1Sums> FTheo1;
};

// Short display names: "ADEV", "MDEV", ..., "Theo1", "MTIE", "TIE rms".
QString DeviationKindTitle(TDeviationKind kind);
// The noise type's name: "W PM", "F PM", "W FM", "F FM", "RW FM", "FW FM", "RR FM".
QString NoiseTypeName(int alpha);
