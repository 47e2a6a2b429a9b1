#include "monitor/StatusModelUnit.h"
#include "stability/BeatBinnerUnit.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <cmath>
#include <limits>

namespace {

QDateTime At(int64_t ms) {
    // 2026-12-09T00:00:00Z plus ms
    return QDateTime::fromMSecsSinceEpoch(1796774400000LL + ms, Qt::UTC);
}

} // namespace

TEST(BeatBinner, ReportsOfOneSecondAreAveragedAndClosedByTheNextSecond) {
    TBeatBinner binner;
    EXPECT_TRUE(binner.AddReport(At(100), 1000.0, 3000).isEmpty());
    EXPECT_TRUE(binner.AddReport(At(400), 1003.0, 3100).isEmpty());
    EXPECT_TRUE(binner.AddReport(At(999), 1005.5, 3200).isEmpty());
    const QList<TBeatBin> closed = binner.AddReport(At(1000), 2000.0, 10);
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed[0].Start, At(0));
    EXPECT_EQ(closed[0].Start.timeSpec(), Qt::UTC);
    EXPECT_EQ(closed[0].Reports, 3);
    EXPECT_DOUBLE_EQ(closed[0].MeanHz, (1000.0 + 1003.0 + 1005.5) / 3);
    EXPECT_DOUBLE_EQ(closed[0].MeanPower, 3100.0);
    EXPECT_TRUE(binner.HasOpenBin());
}

TEST(BeatBinner, ASecondWithoutReportsLeavesAGapInTheStartTimes) {
    TBeatBinner binner;
    QSignalSpy spy(&binner, &TBeatBinner::BinClosed);
    binner.AddReport(At(500), 1, 1);
    binner.AddReport(At(3200), 2, 2); // seconds 1 and 2 have no report
    binner.AddReport(At(4100), 3, 3);
    ASSERT_EQ(spy.size(), 2);
    const TBeatBin first = spy[0][0].value<TBeatBin>();
    const TBeatBin second = spy[1][0].value<TBeatBin>();
    EXPECT_EQ(first.Start, At(0));
    EXPECT_EQ(second.Start, At(3000));
    EXPECT_EQ(second.Second() - first.Second(), 3);
}

TEST(BeatBinner, CloseUpToClosesTheOpenBinOnlyInALaterSecond) {
    TBeatBinner binner;
    binner.AddReport(At(200), 5, 6);
    EXPECT_TRUE(binner.CloseUpTo(At(999)).isEmpty());
    const QList<TBeatBin> closed = binner.CloseUpTo(At(1000));
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed[0].Reports, 1);
    EXPECT_FALSE(binner.HasOpenBin());
    EXPECT_TRUE(binner.CloseUpTo(At(5000)).isEmpty()); // nothing open: no empty bin
}

TEST(BeatBinner, BinsFollowTheUtcClockWhateverTheReportTimeZone) {
    TBeatBinner binner;
    QDateTime local = At(1500).toOffsetFromUtc(3600 + 1800);
    binner.AddReport(local, 7, 7);
    const QList<TBeatBin> closed = binner.CloseUpTo(At(2000));
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed[0].Start, At(1000));
    EXPECT_EQ(closed[0].Start.timeSpec(), Qt::UTC);
}

TEST(BeatBinner, ReportsFromThePastAndNonFiniteValuesAreDroppedAndCounted) {
    TBeatBinner binner;
    binner.AddReport(At(5000), 10, 1);
    binner.AddReport(At(3000), 99999, 1); // the clock stepped back
    binner.AddReport(At(5100), std::numeric_limits<double>::quiet_NaN(), 1);
    binner.AddReport(At(5200), std::numeric_limits<double>::infinity(), 1);
    binner.AddReport(QDateTime(), 1, 1);
    EXPECT_EQ(binner.DroppedReports(), 4);
    const QList<TBeatBin> closed = binner.CloseUpTo(At(6000));
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed[0].Reports, 1);
    EXPECT_DOUBLE_EQ(closed[0].MeanHz, 10);
}

TEST(BeatBinner, SecondsBeforeTheEpochRoundDown) {
    EXPECT_EQ(TBeatBinner::SecondOf(QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC)), -1);
    EXPECT_EQ(TBeatBinner::SecondOf(QDateTime::fromMSecsSinceEpoch(-1000, Qt::UTC)), -1);
    EXPECT_EQ(TBeatBinner::SecondOf(QDateTime::fromMSecsSinceEpoch(999, Qt::UTC)), 0);
}

TEST(BeatBinner, AttachedToTheStatusModelItBinsItsReportsUntilDetached) {
    TStatusModel model;
    TBeatBinner binner;
    QSignalSpy spy(&binner, &TBeatBinner::BinClosed);
    binner.Attach(&model);
    model.FrequencyReportAt(At(0), 100, 1);
    model.FrequencyReportAt(At(1000), 200, 1);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_DOUBLE_EQ(spy[0][0].value<TBeatBin>().MeanHz, 100);
    binner.Attach(nullptr);
    model.FrequencyReportAt(At(2000), 300, 1);
    EXPECT_EQ(spy.size(), 1);
    binner.Reset();
    EXPECT_FALSE(binner.HasOpenBin());
}
