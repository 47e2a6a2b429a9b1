// The charts: limits, renumbering, the four sample operations, coalesced repaints, the zoom and
// scroll guards.
#include "ServiceTestSupport.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

namespace {

struct Charts : ::testing::Test {
    TChartsHarness h;
    TChartFeeders& f = *h.feeders;

    // The X values and Y values the chart's graph holds after its next repaint.
    static std::pair<std::vector<double>, std::vector<double>> Points(TChartSeries& s) {
        std::vector<double> xs, ys;
        for (auto it = s.Graph()->data()->constBegin(); it != s.Graph()->data()->constEnd(); ++it) {
            xs.push_back(it->key);
            ys.push_back(it->value);
        }
        return {xs, ys};
    }
    static std::vector<double> Indices(int n) {
        std::vector<double> v(n);
        for (int i = 0; i < n; ++i)
            v[i] = i;
        return v;
    }
};

} // namespace

TEST_F(Charts, ErrorSignalKeepsTheLatestThousandPointsNumberedFromZero) {
    for (int i = 0; i < 1001; ++i)
        f.AddErrorSignalSample(static_cast<uint16_t>(i));
    TChartSeries& s = f.DataSeries();
    ASSERT_EQ(s.Count(), 1000);
    EXPECT_EQ(s.Y(0), 17640 - 1); // the first sample went
    EXPECT_EQ(s.Y(999), 17640 - 1000);
    f.Chart().UpdateNow();
    auto [xs, ys] = Points(s);
    EXPECT_EQ(xs, Indices(1000));
    EXPECT_EQ(ys.front(), 17639);
    EXPECT_EQ(ys.back(), 16640);
    // The axes stay fixed.
    EXPECT_EQ(f.Chart().XAxis()->range(), QCPRange(1, 1000));
    EXPECT_EQ(f.Chart().YAxis()->range(), QCPRange(-17280, 17280));
}

TEST_F(Charts, ErrorWordsAreChartedAs17640MinusTheWord) {
    for (uint16_t raw : {uint16_t(0), uint16_t(17640), uint16_t(35280), uint16_t(65535)})
        f.AddErrorSignalSample(raw);
    TChartSeries& s = f.DataSeries();
    EXPECT_EQ(s.Y(0), 17640);
    EXPECT_EQ(s.Y(1), 0);
    EXPECT_EQ(s.Y(2), -17640); // below the fixed axis, charted all the same
    EXPECT_EQ(s.Y(3), 17640 - 65535);
}

TEST_F(Charts, FrequencyReportShowsWholeKilohertzChartsTruncatedAndMarksTheLaserRunning) {
    TLocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    f.AddFreqDiffSample(12345678, 1500);
    EXPECT_EQ(h.Text("FreqDifferenceValueLabel"), "12,346 kHz");
    EXPECT_EQ(h.Text("SignalPWRLabel"), "1500");
    EXPECT_FALSE(h.iodineLaserRunning); // 1500 is not above 2000
    f.AddFreqDiffSample(-1500, 2000);
    EXPECT_EQ(h.Text("FreqDifferenceValueLabel"), "-2 kHz");
    EXPECT_FALSE(h.iodineLaserRunning);
    f.AddFreqDiffSample(999, 2001);
    EXPECT_TRUE(h.iodineLaserRunning);
    EXPECT_EQ(h.Text("FreqDifferenceValueLabel"), "1 kHz");
    TChartSeries& s = f.FreqDiffLineSeries();
    ASSERT_EQ(s.Count(), 3);
    EXPECT_EQ(s.Y(0), 12345);
    EXPECT_EQ(s.Y(1), -1);
    EXPECT_EQ(s.Y(2), 0);
    // A report of exactly 0 Hz changes nothing at all.
    f.AddFreqDiffSample(0, 100);
    EXPECT_EQ(s.Count(), 3);
    EXPECT_EQ(h.Text("SignalPWRLabel"), "2001");
    // A running laser stays known to run.
    f.AddFreqDiffSample(5000, 10);
    EXPECT_TRUE(h.iodineLaserRunning);
}

TEST_F(Charts, FrequencyTextFollowsTheLocale) {
    TLocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    f.AddFreqDiffSample(400000000, 3000);
    EXPECT_EQ(h.Text("FreqDifferenceValueLabel"), "400.000 kHz");
}

TEST_F(Charts, FrequencyChartKeepsAHundredPointsRenumbered) {
    for (int i = 1; i <= 101; ++i)
        f.AddFreqDiffSample(i * 1000, 0);
    TChartSeries& s = f.FreqDiffLineSeries();
    ASSERT_EQ(s.Count(), 100);
    EXPECT_EQ(s.Y(0), 2);
    EXPECT_EQ(s.Y(99), 101);
    f.FreqDiffChart().UpdateNow();
    EXPECT_EQ(Points(s).first, Indices(100));
    EXPECT_EQ(f.FreqDiffChart().XAxis()->range(), QCPRange(1, 100));
    // The Y axis follows the data.
    const QCPRange y = f.FreqDiffChart().YAxis()->range();
    EXPECT_LE(y.lower, 2);
    EXPECT_GE(y.upper, 101);
}

TEST_F(Charts, ServiceChartTakesSamplesOnlyWhenEnabled) {
    auto* enable = h.Get<QCheckBox>("ChartCheckBox");
    EXPECT_FALSE(enable->isChecked());
    f.AddServiceSample(5);
    EXPECT_EQ(f.ServiceSeries().Count(), 0);
    enable->setChecked(true);
    for (int i = 0; i < 1001; ++i)
        f.AddServiceSample(static_cast<int16_t>(-i));
    TChartSeries& s = f.ServiceSeries();
    ASSERT_EQ(s.Count(), 1000);
    EXPECT_EQ(s.Y(0), -1);
    EXPECT_EQ(s.Y(999), -1000);
    f.ServiceChart().UpdateNow();
    EXPECT_EQ(Points(s).first, Indices(1000));
    // Both axes are automatic.
    EXPECT_EQ(f.ServiceChart().XAxis()->range(), QCPRange(0, 999));
    EXPECT_LE(f.ServiceChart().YAxis()->range().lower, -1000);
    EXPECT_GE(f.ServiceChart().YAxis()->range().upper, -1);
}

TEST_F(Charts, TestValuesGoToTheirLabelsAndFourSeries) {
    auto* show = h.Get<QCheckBox>("TestShowChartCheckBox");
    EXPECT_TRUE(show->isChecked());
    for (int i = 0; i < 101; ++i)
        f.AddTestSample(i, 1000 + i, 2000 + i, 65535);
    // The labels show the latest values with the next frame.
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.Text("Test4Label") == "65535"; }, 5000));
    EXPECT_EQ(h.Text("Test1Label"), "100");
    EXPECT_EQ(h.Text("Test2Label"), "1100");
    EXPECT_EQ(h.Text("Test3Label"), "2100");
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(f.TestSeries(k).Count(), 100);
        EXPECT_EQ(f.TestSeries(k).Y(0), k == 3 ? 65535 : k * 1000 + 1);
    }
    f.Chart1().UpdateNow();
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(Points(f.TestSeries(k)).first, Indices(100));

    // 'show chart' cleared: the labels still change, the chart does not.
    show->setChecked(false);
    f.AddTestSample(7, 8, 9, 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.Text("Test4Label") == "10"; }, 5000));
    EXPECT_EQ(f.TestSeries(0).Y(99), 100);

    QTest::mouseClick(h.Get<QPushButton>("TestClearChartButton"), Qt::LeftButton);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(f.TestSeries(k).Count(), 0);
}

TEST_F(Charts, ManySamplesBetweenTwoFramesCostOneRepaint) {
    h.root.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.root));
    TChart& chart = f.Chart();
    QTest::qWait(2 * TChart::ReplotIntervalMs); // let the first show's repaints pass
    const int before = chart.ReplotCount();
    for (int i = 0; i < 5000; ++i)
        f.AddErrorSignalSample(static_cast<uint16_t>(i));
    EXPECT_EQ(chart.ReplotCount(), before);
    EXPECT_TRUE(chart.ReplotPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !chart.ReplotPending(); }, 5000));
    EXPECT_EQ(chart.ReplotCount(), before + 1);
    EXPECT_EQ(chart.Series(0)->Graph()->data()->size(), 1000);
}

TEST_F(Charts, AHiddenChartRepaintsOnlyWhenItShowsAgain) {
    h.root.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.root));
    h.freqDiff->hide();
    TChart& chart = f.FreqDiffChart();
    QTest::qWait(2 * TChart::ReplotIntervalMs);
    const int before = chart.ReplotCount();
    f.AddFreqDiffSample(5000, 0);
    QTest::qWait(3 * TChart::ReplotIntervalMs);
    EXPECT_EQ(chart.ReplotCount(), before);
    h.freqDiff->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return chart.ReplotCount() > before; }, 5000));
    EXPECT_EQ(chart.Series(0)->Graph()->data()->size(), 1);
}

TEST_F(Charts, AZoomPastTheErrorSignalLimitsIsUndone) {
    TChart& chart = f.Chart();
    // Zooming in stays.
    chart.XAxis()->scaleRange(0.5);
    chart.YAxis()->scaleRange(0.5);
    QCoreApplication::processEvents();
    const QCPRange zoomedX = chart.XAxis()->range();
    EXPECT_NEAR(zoomedX.size(), 999 / 2.0, 1e-9);
    EXPECT_NEAR(chart.YAxis()->range().size(), 17280.0, 1e-9);
    // Zooming out past 0..1000 or past +-17280 is undone, for both axes.
    chart.XAxis()->scaleRange(4);
    chart.YAxis()->scaleRange(4);
    QCoreApplication::processEvents();
    EXPECT_EQ(chart.XAxis()->range(), QCPRange(1, 1000));
    EXPECT_EQ(chart.YAxis()->range(), QCPRange(-17280, 17280));
    EXPECT_FALSE(chart.Zoomed());
    // The frequency-difference chart may zoom out as far as the operator likes.
    TChart& freq = f.FreqDiffChart();
    freq.XAxis()->scaleRange(10);
    QCoreApplication::processEvents();
    EXPECT_NEAR(freq.XAxis()->range().size(), 990, 1e-9);
}

TEST_F(Charts, ScrollingIsRefusedOnlyPastTheLimitsOfTitledAxes) {
    // HeNe chart: X 'bottom' may not start below 0 or end above 1000.
    TChart& hene = f.LaserHeNeChart();
    hene.XAxis()->setRange(-1, 98);
    EXPECT_EQ(hene.XAxis()->range(), QCPRange(1, 100));
    hene.XAxis()->setRange(0, 99);
    EXPECT_EQ(hene.XAxis()->range(), QCPRange(0, 99));
    hene.XAxis()->setRange(902, 1001);
    EXPECT_EQ(hene.XAxis()->range(), QCPRange(0, 99));
    // Its Y axis 'left' is limited to +-96, so its 0..4096 can never move.
    hene.YAxis()->setRange(1, 4097);
    EXPECT_EQ(hene.YAxis()->range(), QCPRange(0, 4096));
    // The test chart's 'left' axis moves within +-96.
    TChart& test = f.Chart1();
    test.YAxis()->setRange(-50, 50);
    test.YAxis()->setRange(-46, 54);
    EXPECT_EQ(test.YAxis()->range(), QCPRange(-46, 54));
    test.YAxis()->setRange(-3, 97);
    EXPECT_EQ(test.YAxis()->range(), QCPRange(-46, 54));
    // The error-signal chart scrolls freely.
    f.Chart().XAxis()->setRange(-1, 998);
    EXPECT_EQ(f.Chart().XAxis()->range(), QCPRange(-1, 998));
}

TEST_F(Charts, DraggingTheHeNeChartLeftOfZeroIsRefused) {
    h.root.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.root));
    QCustomPlot* plot = f.LaserHeNeChart().Plot();
    const QPoint centre = plot->axisRect()->rect().center();
    // Dragging to the right moves the view towards lower X.
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(plot, centre + QPoint(40, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, centre + QPoint(40, 0));
    EXPECT_EQ(f.LaserHeNeChart().XAxis()->range(), QCPRange(1, 100));
    // Dragging to the left moves it towards higher X, which is allowed.
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(plot, centre - QPoint(40, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, centre - QPoint(40, 0));
    EXPECT_GT(f.LaserHeNeChart().XAxis()->range().lower, 1);
    // A double click brings the fixed range back.
    QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(f.LaserHeNeChart().XAxis()->range(), QCPRange(1, 100));
}
