// Deviations against the published reference values of the frequency-stability literature
// (the NBS14 and the 1000-point data sets, StabilityReferenceData.h). The tables print 7
// significant digits; the checks allow one unit in the last of them.

#include "StabilityReferenceData.h"
#include "stability/DeviationUnit.h"
#include "stability/StabilityAccumulatorUnit.h"
#include "stability/StabilityAnalysisUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

using namespace StabilityReference;

// One unit in the 7th significant digit of the published value.
double LastDigit(double published) {
    return std::pow(10.0, std::floor(std::log10(std::fabs(published))) - 6);
}

void ExpectTable(const QList<TDeviationPoint>& table, const std::vector<int64_t>& factors,
                 const TPublished& ref) {
    ASSERT_EQ(table.size(), static_cast<qsizetype>(ref.Deviation.size()))
        << DeviationKindName(ref.Kind).toStdString();
    for (size_t i = 0; i < ref.Deviation.size(); ++i) {
        EXPECT_EQ(table[i].M, factors[i]);
        EXPECT_NEAR(table[i].Deviation, ref.Deviation[i], LastDigit(ref.Deviation[i]))
            << DeviationKindName(ref.Kind).toStdString() << " tau " << table[i].Tau;
    }
}

// The variance of one kind at factor m straight from its definition, over the terms that use no
// missing sample; the number of those terms in *terms. With the block means a(i) of the m
// samples from i, a term is: Allan 1/2 (a(i+m) - a(i))^2; modified 1/(2 m^2) (sum over j = i ..
// i+m-1 of a(j+m) - a(j))^2; Hadamard 1/6 (a(i+2m) - 2 a(i+m) + a(i))^2. The non-overlapping
// kinds take i in steps of m.
double PlainVariance(const std::vector<double>& y, TDeviationKind kind, int64_t m, int64_t* terms) {
    const auto a = [&](int64_t i) {
        return std::accumulate(y.begin() + i, y.begin() + i + m, 0.0) / static_cast<double>(m);
    };
    const bool mdev = kind == TDeviationKind::_mdev;
    const bool hadamard = kind == TDeviationKind::_hdev || kind == TDeviationKind::_ohdev;
    const int64_t span = hadamard ? 3 * m : (mdev ? 3 * m - 1 : 2 * m);
    const int64_t step = kind == TDeviationKind::_adev || kind == TDeviationKind::_hdev ? m : 1;
    double sum = 0;
    *terms = 0;
    for (int64_t i = 0; i + span <= static_cast<int64_t>(y.size()); i += step) {
        if (std::any_of(y.begin() + i, y.begin() + i + span,
                        [](double v) { return std::isnan(v); }))
            continue;
        double t = 0;
        for (int64_t j = i; j < (mdev ? i + m : i + 1); ++j)
            t += hadamard ? a(j + 2 * m) - 2 * a(j + m) + a(j) : a(j + m) - a(j);
        sum += t * t / (hadamard ? 6 : (mdev ? 2.0 * static_cast<double>(m * m) : 2));
        ++*terms;
    }
    return sum / static_cast<double>(*terms);
}

} // namespace

TEST(DeviationReference, Nbs14DataSetMatchesThePublishedDeviations) {
    for (const TPublished& r : Nbs14Published)
        ExpectTable(DeviationTable(Nbs14(), r.Kind, Nbs14Factors, 1.0), Nbs14Factors, r);
}

TEST(DeviationReference, Riley1000PointDataSetMatchesThePublishedDeviations) {
    const std::vector<double> y = Riley1000();
    // the generator's first values as printed with the data set
    EXPECT_DOUBLE_EQ(y[1] * 2147483647.0, 395529916.0);
    EXPECT_DOUBLE_EQ(y[3] * 2147483647.0, 633705974.0);
    for (const TPublished& r : Riley1000Published)
        ExpectTable(DeviationTable(y, r.Kind, Riley1000Factors, 1.0), Riley1000Factors, r);
    // the time and total deviations, from the analysis of the whole record
    TFrequencyRecord record;
    for (double v : y)
        record.Append(v);
    const TStabilityAnalysis analysis(record, 1.0);
    for (const TPublished& r : Riley1000PublishedTotal)
        ExpectTable(analysis.Table(r.Kind, Riley1000Factors), Riley1000Factors, r);
}

TEST(DeviationTerms, NumbersOfTermsFollowTheDefinitionOfEachKind) {
    const std::vector<double> y = Riley1000();
    struct {
        TDeviationKind Kind;
        int64_t M;
        int64_t Terms;
    } cases[] = {
        {TDeviationKind::_adev, 10, 99},   // 100 blocks
        {TDeviationKind::_oadev, 10, 981}, // N - 2m + 1
        {TDeviationKind::_mdev, 10, 972},  // N - 3m + 2
        {TDeviationKind::_hdev, 10, 98},   // 100 blocks
        {TDeviationKind::_ohdev, 10, 971}, // N - 3m + 1
        {TDeviationKind::_adev, 333, 2},   {TDeviationKind::_oadev, 333, 335},
    };
    for (const auto& c : cases) {
        const QList<TDeviationPoint> t = DeviationTable(y, c.Kind, {c.M}, 2.5);
        ASSERT_EQ(t.size(), 1) << DeviationKindName(c.Kind).toStdString();
        EXPECT_EQ(t[0].Terms, c.Terms) << DeviationKindName(c.Kind).toStdString();
        EXPECT_DOUBLE_EQ(t[0].Tau, 2.5 * static_cast<double>(c.M));
        const double bound = t[0].Deviation / std::sqrt(static_cast<double>(c.Terms));
        EXPECT_DOUBLE_EQ(t[0].Lower, t[0].Deviation - bound);
        EXPECT_DOUBLE_EQ(t[0].Upper, t[0].Deviation + bound);
    }
}

TEST(DeviationTerms, TooFewTermsGiveNoPointNeverAMadeUpOne) {
    // 9 samples: HDEV at m = 3 has one term, ADEV at m = 4 has one, OADEV at m = 5 none
    EXPECT_TRUE(DeviationTable(Nbs14(), TDeviationKind::_hdev, {3}, 1).isEmpty());
    EXPECT_TRUE(DeviationTable(Nbs14(), TDeviationKind::_adev, {4}, 1).isEmpty());
    EXPECT_TRUE(DeviationTable(Nbs14(), TDeviationKind::_oadev, {5}, 1).isEmpty());
    EXPECT_TRUE(DeviationTable(std::vector<double>{}, TDeviationKind::_mdev, {1}, 1).isEmpty());
    EXPECT_TRUE(DeviationTable(Nbs14(), TDeviationKind::_oadev, {0}, 1).isEmpty());
    EXPECT_TRUE(AveragingFactors(TTauSpacing::_octave, 2).empty());
}

TEST(DeviationGaps, TermsTouchingAMissingSampleAreSkippedAndTheRestAreUnchanged) {
    // A gap in the middle: the variance is the mean over the terms that avoid it, computed here
    // from the definitions sample by sample.
    std::vector<double> withGap = Riley1000();
    withGap[500] = NaN;
    for (TDeviationKind kind : AllDeviationKinds) {
        for (int64_t m : {1, 4, 16}) {
            const QList<TDeviationPoint> t = DeviationTable(withGap, kind, {m}, 1.0);
            ASSERT_EQ(t.size(), 1) << DeviationKindName(kind).toStdString() << " m " << m;
            int64_t terms = 0;
            const double variance = PlainVariance(withGap, kind, m, &terms);
            EXPECT_EQ(t[0].Terms, terms) << DeviationKindName(kind).toStdString() << " m " << m;
            EXPECT_NEAR(t[0].Deviation / std::sqrt(variance), 1.0, 1e-10)
                << DeviationKindName(kind).toStdString() << " m " << m;
        }
    }
    // Hand-counted: OADEV at m = 1 has one term per neighbouring pair; the gap at 500 takes the
    // pairs (499, 500) and (500, 501) of the 999.
    EXPECT_EQ(DeviationTable(withGap, TDeviationKind::_oadev, {1}, 1.0)[0].Terms, 997);
    TFrequencyRecord r;
    r.Append(1);
    r.AppendGap(3);
    r.Append(NaN);
    EXPECT_EQ(r.GapCount(), 4);
    EXPECT_EQ(r.Size(), 5);
}

TEST(DeviationPrecision, ALargeConstantOffsetDoesNotChangeTheDeviations) {
    // A beat of 150 MHz on a 473 THz carrier with 1e-12 noise: the offset is 3e8 times the
    // noise. The deviations of y + offset must equal those of y.
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0, 1e-12);
    std::vector<double> y(200000), shifted(200000);
    double walk = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        walk += noise(rng) * 0.01;
        y[i] = noise(rng) + walk;
        shifted[i] = y[i] + 3.1671e-7;
    }
    const std::vector<int64_t> factors = AveragingFactors(TTauSpacing::_octave, 200000);
    for (TDeviationKind kind : AllDeviationKinds) {
        const QList<TDeviationPoint> a = DeviationTable(y, kind, factors, 1);
        const QList<TDeviationPoint> b = DeviationTable(shifted, kind, factors, 1);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_FALSE(a.isEmpty());
        for (qsizetype i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(b[i].Deviation / a[i].Deviation, 1.0, 1e-6)
                << DeviationKindName(kind).toStdString() << " m " << a[i].M;
        }
    }
}

TEST(DeviationNames, KindNamesGoBothWaysAndRejectTheUnknown) {
    for (TDeviationKind kind : AllDeviationKinds) {
        TDeviationKind back = TDeviationKind::_adev;
        ASSERT_TRUE(DeviationKindFromName(DeviationKindName(kind), &back));
        EXPECT_EQ(back, kind);
    }
    TDeviationKind k;
    EXPECT_FALSE(DeviationKindFromName("allan", &k));
    EXPECT_EQ(AveragingFactors(TTauSpacing::_decade, 1000),
              (std::vector<int64_t>{1, 2, 4, 10, 20, 40, 100, 200}));
    EXPECT_EQ(AveragingFactors(TTauSpacing::_octave, 30), (std::vector<int64_t>{1, 2, 4, 8}));
    EXPECT_EQ(AveragingFactors(TTauSpacing::_all, 9), (std::vector<int64_t>{1, 2, 3}));
}

TEST(StabilityAccumulator, LiveSumsEqualARecomputationAfterEveryBin) {
    // The live record with gaps, compared with the full computation at several lengths.
    TStabilityAccumulator live(1.0);
    live.SetOpticalFrequency(1.0); // beats are the fractional frequencies themselves
    std::vector<double> y = Riley1000();
    for (int i : {100, 101, 102, 333, 777}) {
        y[i] = NaN;
    }
    for (size_t n = 0; n < y.size(); ++n) {
        live.AddBeat(y[n]);
        if (n % 97 != 0 && n != y.size() - 1) {
            continue;
        }
        std::vector<double> part(y.begin(), y.begin() + static_cast<long>(n) + 1);
        const std::vector<int64_t> factors =
            AveragingFactors(TTauSpacing::_octave, static_cast<int64_t>(part.size()));
        for (TDeviationKind kind : AllDeviationKinds) {
            const QList<TDeviationPoint> want = DeviationTable(part, kind, factors, 1.0);
            const QList<TDeviationPoint> got = live.Table(kind);
            ASSERT_EQ(got.size(), want.size()) << "n " << n;
            for (qsizetype i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].M, want[i].M);
                EXPECT_EQ(got[i].Terms, want[i].Terms);
                EXPECT_NEAR(got[i].Deviation / want[i].Deviation, 1.0, 1e-12);
            }
        }
    }
    EXPECT_EQ(live.Statistics().Gaps, 5);
    EXPECT_EQ(live.Statistics().Bins, 1000);
    live.Clear();
    EXPECT_EQ(live.Statistics().Bins, 0);
    EXPECT_TRUE(live.Table(TDeviationKind::_oadev).isEmpty());
}

TEST(StabilityAccumulator, StatisticsOfTheBeatAreMeanSpreadAndDrift) {
    TStabilityAccumulator acc(2.0);
    // 150 kHz + 36 Hz/h drift (0.02 Hz per 2-s bin) + alternating +-1 Hz, one gap
    for (int i = 0; i < 1000; ++i) {
        if (i == 400) {
            acc.AddGap(1);
            continue;
        }
        acc.AddBeat(150000.0 + 0.02 * i + (i % 2 == 0 ? 1.0 : -1.0));
    }
    const TBeatStatistics s = acc.Statistics();
    EXPECT_EQ(s.Bins, 1000);
    EXPECT_EQ(s.Samples, 999);
    EXPECT_EQ(s.Gaps, 1);
    EXPECT_DOUBLE_EQ(s.RecordSeconds, 2000.0);
    EXPECT_NEAR(s.DriftHzPerHour, 36.0, 0.05);
    EXPECT_NEAR(s.MeanHz, 150000.0 + 0.02 * 499.5, 0.05);
    // spread: the ramp (0.02 * 1000 / sqrt(12)) and the +-1 Hz square wave
    EXPECT_NEAR(s.StdDevHz, std::sqrt(1.0 + std::pow(20.0 / std::sqrt(12.0), 2)), 0.05);
    // y = beat / nu with the default optical frequency
    EXPECT_DOUBLE_EQ(acc.OpticalFrequency(), 473612353.597e6);
}
