#pragma once
// The live stability record of the beat note: one sample per bin of tau0, the sums of every
// deviation kind at octave-spaced averaging factors kept up to date per new sample (a few
// operations per factor, never a pass over the record), and the plain statistics of the beat
// frequency in Hz: mean, standard deviation, linear drift, record length, gaps.

#include "stability/DeviationUnit.h"

#include <QList>

#include <array>
#include <cstdint>
#include <vector>

// The optical frequency of peak f in MHz, used when no peak is locked.
inline constexpr double DefaultOpticalFrequencyMHz = 473612353.597;

struct TBeatStatistics {
    int64_t Bins = 0;    // length of the record in bins, gaps included
    int64_t Samples = 0; // bins with a value
    int64_t Gaps = 0;    // bins without
    double RecordSeconds = 0;
    double MeanHz = 0;
    double StdDevHz = 0;       // sample standard deviation (n - 1)
    double DriftHzPerHour = 0; // least-squares slope against time
};

class TStabilityAccumulator {
public:
    static constexpr int Levels = 24; // m = 1, 2, 4, ... 2^23

    explicit TStabilityAccumulator(double tau0 = 1.0);

    // The optical frequency nu in Hz: samples are y = beat / nu. Applies to later samples.
    void SetOpticalFrequency(double hz);
    double OpticalFrequency() const { return FNu; }
    double Tau0() const { return FTau0; }

    // One bin's mean beat frequency in Hz; NaN marks a missing bin.
    void AddBeat(double hz);
    // One fractional-frequency sample (for records read back as y).
    void AddFractional(double y);
    void AddGap(int64_t count);
    void Clear();

    // Octave-spaced points of a kind, up to a third of the record, only where there are enough
    // terms.
    QList<TDeviationPoint> Table(TDeviationKind kind) const;
    TBeatStatistics Statistics() const;
    const TFrequencyRecord& Record() const { return FRecord; }

private:
    void Advance();
    void AddStatistics(double hz);

    struct TLevel {
        std::array<TDeviationSums, 5> Sums;
        std::array<int64_t, 5> Next{}; // start of the next term to take, per kind
    };

    double FTau0;
    double FNu = DefaultOpticalFrequencyMHz * 1e6;
    TFrequencyRecord FRecord;
    std::array<TLevel, Levels> FLevels;

    // Running statistics (Welford), time in bins from the first.
    int64_t FCount = 0;
    double FMeanY = 0, FM2Y = 0;
    double FMeanT = 0, FM2T = 0, FCovTY = 0;
};
