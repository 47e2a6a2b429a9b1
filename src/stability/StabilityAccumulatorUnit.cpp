#include "stability/StabilityAccumulatorUnit.h"

#include <cmath>
#include <iterator>
#include <limits>

TStabilityAccumulator::TStabilityAccumulator(double tau0) : FTau0(tau0 > 0 ? tau0 : 1.0) {}

void TStabilityAccumulator::SetOpticalFrequency(double hz) {
    if (std::isfinite(hz) && hz > 0) {
        FNu = hz;
    }
}

void TStabilityAccumulator::AddBeat(double hz) {
    if (!std::isfinite(hz)) {
        AddGap(1);
        return;
    }
    AddStatistics(hz);
    FRecord.Append(hz / FNu);
    Advance();
}

void TStabilityAccumulator::AddFractional(double y) {
    if (!std::isfinite(y)) {
        AddGap(1);
        return;
    }
    AddStatistics(y * FNu);
    FRecord.Append(y);
    Advance();
}

void TStabilityAccumulator::AddGap(int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        FRecord.Append(std::numeric_limits<double>::quiet_NaN());
        Advance();
    }
}

void TStabilityAccumulator::Clear() {
    FRecord.Clear();
    FLevels = {};
    FCount = 0;
    FMeanY = FM2Y = FMeanT = FM2T = FCovTY = 0;
}

void TStabilityAccumulator::AddStatistics(double hz) {
    // time of this bin, in bins since the first
    const double t = static_cast<double>(FRecord.Size());
    ++FCount;
    const double n = static_cast<double>(FCount);
    const double dt = t - FMeanT;
    FMeanT += dt / n;
    const double dy = hz - FMeanY;
    FMeanY += dy / n;
    FM2Y += dy * (hz - FMeanY);
    FM2T += dt * (t - FMeanT);
    FCovTY += dt * (hz - FMeanY);
}

void TStabilityAccumulator::Advance() {
    const int64_t n = FRecord.Size();
    for (int level = 0; level < Levels; ++level) {
        const int64_t m = int64_t{1} << level;
        if (2 * m > n + 1) {
            break; // no kind has a term at this or any longer tau yet
        }
        TLevel& l = FLevels[level];
        for (int k = 0; k < 5; ++k) {
            const TDeviationKind kind = AllDeviationKinds[k];
            const int64_t last = FRecord.LastTermStart(kind, m);
            const int64_t step = TFrequencyRecord::TermStep(kind, m);
            while (l.Next[k] <= last) {
                double term = 0;
                if (FRecord.Term(kind, m, l.Next[k], &term)) {
                    l.Sums[k].Squares.Add(term * term);
                    ++l.Sums[k].Terms;
                }
                l.Next[k] += step;
            }
        }
    }
}

QList<TDeviationPoint> TStabilityAccumulator::Table(TDeviationKind kind) const {
    QList<TDeviationPoint> table;
    const int64_t top = FRecord.Size() / 3;
    const int k = static_cast<int>(kind);
    if (k >= static_cast<int>(std::size(AllDeviationKinds))) {
        return table; // no running sums for this kind
    }
    for (int level = 0; level < Levels; ++level) {
        const int64_t m = int64_t{1} << level;
        if (m > top) {
            break;
        }
        TDeviationPoint p;
        if (DeviationPoint(kind, m, FTau0, FLevels[level].Sums[k], &p)) {
            table.append(p);
        }
    }
    return table;
}

TBeatStatistics TStabilityAccumulator::Statistics() const {
    TBeatStatistics s;
    s.Bins = FRecord.Size();
    s.Gaps = FRecord.GapCount();
    s.Samples = FCount;
    s.RecordSeconds = static_cast<double>(s.Bins) * FTau0;
    s.MeanHz = FMeanY;
    s.StdDevHz = FCount > 1 ? std::sqrt(FM2Y / static_cast<double>(FCount - 1)) : 0.0;
    s.DriftHzPerHour = FM2T > 0 ? FCovTY / FM2T / FTau0 * 3600.0 : 0.0;
    return s;
}
