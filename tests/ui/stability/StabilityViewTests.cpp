#include "stability/StabilityFileUnit.h"
#include "ui/main/SaveDialogUnit.h"
#include "ui/stability/StabilityViewUnit.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <qcustomplot.h>

#include <cmath>
#include <map>
#include <random>

namespace {

QDateTime At(int64_t s) {
    return QDateTime::fromSecsSinceEpoch(1796774400LL + s, Qt::UTC);
}

class StabilityView : public ::testing::Test {
protected:
    void SetUp() override {
        // 'Clear' asks: the tests answer without a dialog.
        TStabilityView::SetQuestionOverride([this](QWidget*, const QString& question) {
            FQuestions << question;
            return FAnswer;
        });
        FView = std::make_unique<TStabilityView>(nullptr, &FStatus, &FEvents);
        FView->resize(690, 480);
    }
    void TearDown() override {
        SetSaveDialogOverride({});
        SetOpenDialogOverride({});
        TStabilityView::SetQuestionOverride({});
    }
    // Reports for the seconds [from, to): two a second, white noise around 150 MHz.
    void Feed(int from, int to, const std::vector<int>& skip = {}) {
        for (int s = from; s < to; ++s) {
            if (std::find(skip.begin(), skip.end(), s) != skip.end()) {
                continue;
            }
            for (int k = 0; k < 2; ++k) {
                Report(s, 100 + 400 * k, FBeat + FNoise(FRng));
            }
        }
        Report(to, 50, FBeat); // closes the last second
    }
    void Report(int second, int ms, double hz) {
        FStatus.FrequencyReportAt(At(second).addMSecs(ms), hz, 3000);
        FFed[second].first += hz;
        FFed[second].second += 1;
    }
    // Locked on a peak at a set point (a null peak: searching).
    void Lock(QChar peak, double setPointHz = 150e6) {
        TStatusSnapshot s;
        s.TuningStatus = peak.isNull() ? 2 : 3;
        s.LockedPeak = peak;
        s.FreqDifferenceSetHz = setPointHz;
        FStatus.Update(s);
    }
    // What was fed into one second: the mean of its reports.
    double Beat(int second) { return FFed.at(second).first / FFed.at(second).second; }
    QString Text(const char* name) { return FView->findChild<QLabel*>(name)->text(); }
    QCPGraph* Graph() { return FView->findChild<QCustomPlot*>("StabilityChart")->graph(0); }
    void Click(const char* name) {
        QTest::mouseClick(FView->findChild<QPushButton*>(name), Qt::LeftButton);
    }

    TStatusModel FStatus;
    TLinkEvents FEvents;
    std::unique_ptr<TStabilityView> FView;
    std::mt19937_64 FRng{3};
    std::normal_distribution<double> FNoise{0, 1500};
    std::map<int, std::pair<double, int>> FFed; // second: sum of its reports, their number
    QTemporaryDir FDir;
    double FBeat = 150e6;
    QStringList FQuestions;
    bool FAnswer = true;
};

// Whether a colour close to `colour` (antialiasing aside) lies within `radius` pixels of `at`.
bool ColourNear(const QImage& image, QPoint at, QColor colour, int radius) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p = at + QPoint(dx, dy);
            const QColor c = image.rect().contains(p) ? image.pixelColor(p) : QColor();
            const int off = std::abs(c.red() - colour.red()) +
                            std::abs(c.green() - colour.green()) +
                            std::abs(c.blue() - colour.blue());
            if (off < 30)
                return true;
        }
    return false;
}

} // namespace

TEST_F(StabilityView, TheLiveRecordChartsOctaveTausWithIntervalsAndCountsGapsAndLockLosses) {
    Feed(0, 300, {10, 11, 200});
    FEvents.Add(TLinkEventKind::_lock_lost, QStringLiteral("lock lost"));
    FView->TimerTick(); // also closes the bin of the last report (second 300)
    const QList<TDeviationPoint> table = FView->Shown().Table(TDeviationKind::_oadev);
    ASSERT_EQ(table.size(), 7); // 1 .. 64 s, a third of 301 bins
    QCPGraph* g = Graph();
    ASSERT_EQ(g->dataCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_DOUBLE_EQ(g->data()->at(i)->key, table[i].Tau);
        EXPECT_DOUBLE_EQ(g->data()->at(i)->value, table[i].Deviation);
    }
    // white frequency noise of 1500 Hz, two reports a bin, on 473 THz: about 2.2e-12 at 1 s
    EXPECT_NEAR(table[0].Deviation, 1500 / std::sqrt(2.0) / 473612353.597e6, 0.3e-12);
    EXPECT_EQ(Text("StabilityGapsLabel"), QStringLiteral("3 of 301"));
    EXPECT_EQ(Text("StabilityLengthLabel"), QStringLiteral("5 min 01 s"));
    EXPECT_EQ(Text("StabilityLockLossLabel"), QStringLiteral("1"));
    // The record's mean and drift (their sums are checked in the core), shown to 0.1.
    const TBeatStatistics st = FView->Shown().Statistics();
    EXPECT_EQ(Text("StabilityMeanLabel"), QLocale().toString(st.MeanHz, 'f', 1) + " Hz");
    EXPECT_EQ(Text("StabilityDriftLabel"), QLocale().toString(st.DriftHzPerHour, 'f', 1) + " Hz/h");

    // MDEV on the same chart
    auto* box = FView->findChild<QComboBox*>("StabilityKindComboBox");
    box->setCurrentIndex(1);
    emit box->activated(1);
    EXPECT_EQ(FView->Kind(), TDeviationKind::_mdev);
    EXPECT_DOUBLE_EQ(Graph()->data()->at(3)->value,
                     FView->Shown().Table(TDeviationKind::_mdev)[3].Deviation);

    Click("StabilityClearButton");
    EXPECT_EQ(FView->Shown().Statistics().Bins, 0);
    EXPECT_EQ(Graph()->dataCount(), 0);
    EXPECT_EQ(Text("StabilityLockLossLabel"), QStringLiteral("0"));
}

TEST_F(StabilityView, TheLockedPeaksFrequencyTurnsTheBeatIntoFractionalFrequency) {
    FView->SetOpticalFrequency([](QChar p) { return p == QLatin1Char('a') ? 4.7e14 : 4.8e14; });
    Lock(QLatin1Char('a'), 0);
    Feed(0, 10);
    EXPECT_DOUBLE_EQ(FView->Shown().OpticalFrequency(), 4.7e14);
    // The closed seconds 0 .. 9 as y = beat / 4.7e14: their Allan deviation at 1 s.
    double sum = 0;
    for (int s = 0; s + 1 < 10; ++s)
        sum += std::pow((Beat(s + 1) - Beat(s)) / 4.7e14, 2);
    const QList<TDeviationPoint> t = FView->Shown().Table(TDeviationKind::_oadev);
    ASSERT_FALSE(t.isEmpty());
    EXPECT_EQ(t[0].M, 1);
    EXPECT_NEAR(t[0].Deviation / std::sqrt(sum / (2 * 9)), 1.0, 1e-9);
}

TEST_F(StabilityView, BinsWhileTheLockIsLostAreSkippedNotCharted) {
    TStatusSnapshot s;
    s.TuningStatus = 3;
    FStatus.Update(s);
    Feed(0, 20);
    s.TuningStatus = 2; // searching: the beat wanders by megahertz
    FStatus.Update(s);
    for (int t = 21; t < 25; ++t) {
        FStatus.FrequencyReportAt(At(t), 155e6, 3000);
    }
    s.TuningStatus = 3;
    FStatus.Update(s);
    Feed(25, 40);
    FView->TimerTick();
    const TBeatStatistics st = FView->Shown().Statistics();
    EXPECT_EQ(st.Bins, 41);
    EXPECT_EQ(st.Gaps, 5); // the search began in second 20; 21 .. 24 reported while searching
    EXPECT_NEAR(st.MeanHz, 150e6, 2000);
}

TEST_F(StabilityView, ExportWritesEveryKindsTableAsCsv) {
    // 101 seconds of 150 MHz +- 1 kHz, alternating: at 1 s the Allan kinds see steps of 2 kHz,
    // 1414.2 Hz / 473.612 THz with 100 terms, the Hadamard kinds 4 kHz / sqrt(6) with 99.
    for (int s = 0; s <= 100; ++s)
        Report(s, 100, 150e6 + (s % 2 == 0 ? 1000 : -1000));
    FView->TimerTick();
    const QString path = FDir.filePath(QStringLiteral("table.csv"));
    TSaveDialogRequest asked;
    SetSaveDialogOverride([&](const TSaveDialogRequest& r) {
        asked = r;
        return path;
    });
    Click("StabilityExportButton");
    EXPECT_EQ(asked.DefaultSuffix, QStringLiteral("csv"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    // The table after the header block (checked on its own).
    QStringList lines = QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
    while (!lines.isEmpty() && lines.front().startsWith(QLatin1Char('#')))
        lines.removeFirst();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], QStringLiteral("kind,tau_s,n_terms,deviation,lower,upper,alpha,edf"));
    const auto starting = [&](const QString& head) {
        return lines.filter(QRegularExpression('^' + QRegularExpression::escape(head)));
    };
    // The tau-1 rows of the hand-made record, as far as the deviation.
    for (const char* row :
         {"adev,1,100,2.986015e-12,", "oadev,1,100,2.986015e-12,", "mdev,1,100,2.986015e-12,",
          "hdev,1,99,3.447953e-12,", "ohdev,1,99,3.447953e-12,"})
        EXPECT_EQ(starting(QLatin1String(row)).size(), 1) << row;
    // Every kind's whole table; where a row has an interval, it holds the deviation.
    qsizetype rows = 0;
    for (TDeviationKind k : AllStabilityKinds) {
        const QString kind = DeviationKindName(k) + QLatin1Char(',');
        const QStringList own = starting(kind);
        ASSERT_FALSE(own.isEmpty()) << kind.toStdString();
        EXPECT_EQ(own.size(), FView->AnalysedTable(k).size()) << kind.toStdString();
        for (const QString& row : own) {
            const QStringList c = row.split(QLatin1Char(','));
            ASSERT_EQ(c.size(), 8) << row.toStdString();
            EXPECT_TRUE(c[4].isEmpty() ||
                        (c[4].toDouble() <= c[3].toDouble() && c[3].toDouble() <= c[5].toDouble() &&
                         c[7].toDouble() > 0))
                << row.toStdString();
        }
        rows += own.size();
    }
    EXPECT_EQ(lines.size(), rows + 1);
}

TEST_F(StabilityView, RecordStartsAndStopsTheRecordingAndAFailureIsShown) {
    const QString path = FDir.filePath(QStringLiteral("run.csv"));
    SetSaveDialogOverride([&](const TSaveDialogRequest&) { return path; });
    Click("StabilityRecordButton");
    auto* record = FView->findChild<QPushButton*>("StabilityRecordButton");
    EXPECT_TRUE(FView->Recorder().IsRecording());
    EXPECT_EQ(record->text(), QStringLiteral("Stop recording"));
    Feed(0, 5);
    FEvents.Add(TLinkEventKind::_link_lost, QStringLiteral("link lost"));
    Click("StabilityRecordButton");
    EXPECT_FALSE(FView->Recorder().IsRecording());
    EXPECT_EQ(record->text(), QStringLiteral("Record..."));
    EXPECT_EQ(FView->Recorder().BinRows(), 5);
    EXPECT_EQ(FView->Recorder().EventRows(), 1);

    SetSaveDialogOverride([&](const TSaveDialogRequest&) { return QStringLiteral("/dev/full"); });
    Click("StabilityRecordButton");
    EXPECT_FALSE(FView->Recorder().IsRecording());
    EXPECT_TRUE(Text("StabilityMessageLabel").startsWith(QLatin1String("Recording not started")));

    // a cancelled dialog starts nothing
    SetSaveDialogOverride([&](const TSaveDialogRequest&) { return QString(); });
    Click("StabilityRecordButton");
    EXPECT_FALSE(FView->Recorder().IsRecording());
}

TEST_F(StabilityView, OpenShowsAFileLikeTheLiveRecordAndBadFilesSayWhere) {
    // NBS14 (Riley, NIST SP 1065): OADEV 85.95287 at tau 2
    const QString nbs = FDir.filePath(QStringLiteral("nbs14.txt"));
    QFile f(nbs);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("892\n809\n823\n798\n671\n644\n883\n903\n677\n");
    f.close();
    Feed(0, 30);
    SetOpenDialogOverride([&](const TSaveDialogRequest&) { return nbs; });
    Click("StabilityOpenButton");
    ASSERT_TRUE(FView->ShowsFile());
    ASSERT_EQ(Graph()->dataCount(), 2);
    EXPECT_NEAR(Graph()->data()->at(1)->value, 85.95287, 1e-5);
    EXPECT_EQ(Text("StabilityLengthLabel"), QStringLiteral("0 min 09 s"));
    EXPECT_EQ(Text("StabilityGapsLabel"), QStringLiteral("0 of 9"));
    // the live record goes on meanwhile and comes back with 'Clear'
    Click("StabilityClearButton");
    EXPECT_FALSE(FView->ShowsFile());

    const QString bad = FDir.filePath(QStringLiteral("bad.txt"));
    QFile b(bad);
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write("1e-12\nx\n");
    b.close();
    SetOpenDialogOverride([&](const TSaveDialogRequest&) { return bad; });
    Click("StabilityOpenButton");
    EXPECT_FALSE(FView->ShowsFile());
    EXPECT_TRUE(Text("StabilityMessageLabel").startsWith(bad + QStringLiteral(":2:")));
}

TEST_F(StabilityView, EveryKindShowsChiSquaredBarsNoiseMarksAndTheCommandLinesNumbers) {
    // The page shows what halvane-stability prints for the same file: its table per kind.
    const QString path = FDir.filePath(QStringLiteral("y.txt"));
    {
        std::normal_distribution<double> white(0, 1e-12);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 2000; ++i) {
            f.write(QByteArray::number(white(FRng), 'g', 17) + '\n');
        }
    }
    SetOpenDialogOverride([&](const TSaveDialogRequest&) { return path; });
    Click("StabilityOpenButton");
    ASSERT_TRUE(FView->ShowsFile());
    EXPECT_TRUE(Text("StabilityConfidenceLabel").contains(QLatin1String("68.3")));
    TStabilityFileData data;
    QString error;
    ASSERT_TRUE(ReadStabilityFile(path, 1, 1, &data, &error));
    TFrequencyRecord record;
    for (double y : data.Y)
        record.Append(y);
    const TStabilityAnalysis analysis(record, 1);
    auto* box = FView->findChild<QComboBox*>("StabilityKindComboBox");
    ASSERT_EQ(box->count(), 11);
    for (int i = 0; i < box->count(); ++i) {
        box->setCurrentIndex(i);
        emit box->activated(i);
        const TDeviationKind kind = FView->Kind();
        const QList<TDeviationPoint> want =
            analysis.Table(kind, analysis.Factors(kind, TTauSpacing::_octave));
        ASSERT_EQ(Graph()->dataCount(), want.size()) << box->currentText().toStdString();
        ASSERT_EQ(FView->NoiseMarks().size(), want.size());
        for (int k = 0; k < want.size(); ++k) {
            // the live sums of ADEV .. OHDEV agree with a recomputation to rounding
            EXPECT_NEAR(Graph()->data()->at(k)->value / want[k].Deviation, 1, 1e-12);
            EXPECT_EQ(FView->NoiseMarks()[k], NoiseTypeName(want[k].Alpha));
        }
        // white FM: most points say so
        EXPECT_GE(FView->NoiseMarks().count(QStringLiteral("W FM")), want.size() / 2)
            << box->currentText().toStdString();
    }
    // the tooltip of a point names its noise type and alpha
    box->setCurrentIndex(0);
    emit box->activated(0);
    FView->show();
    auto* chart = FView->findChild<QCustomPlot*>("StabilityChart");
    chart->replot();
    const QPointF at(chart->xAxis->coordToPixel(Graph()->data()->at(2)->key),
                     chart->yAxis->coordToPixel(Graph()->data()->at(2)->value));
    const QString tip = FView->PointToolTip(at);
    EXPECT_TRUE(tip.contains(QLatin1String("alpha = 0"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QLatin1String("68.3 % interval"))) << tip.toStdString();
    EXPECT_TRUE(FView->PointToolTip(QPointF(-100, -100)).isEmpty());
}

TEST_F(StabilityView, PictureSavesTheChartAsPngOrPdf) {
    Feed(0, 100);
    FView->TimerTick();
    FView->show();
    for (const char* name : {"chart.png", "chart.pdf"}) {
        const QString path = FDir.filePath(QLatin1String(name));
        TSaveDialogRequest asked;
        SetSaveDialogOverride([&](const TSaveDialogRequest& r) {
            asked = r;
            return path;
        });
        Click("StabilityPictureButton");
        EXPECT_TRUE(asked.Filter.contains(QLatin1String("*.pdf")));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        const QByteArray head = f.read(8);
        EXPECT_TRUE(head.startsWith(QByteArray(name).endsWith(".pdf") ? "%PDF" : "\x89PNG"))
            << name;
    }
    SetSaveDialogOverride(
        [&](const TSaveDialogRequest&) { return QStringLiteral("/nonexistent/x.png"); });
    Click("StabilityPictureButton");
    EXPECT_TRUE(Text("StabilityMessageLabel").startsWith(QLatin1String("Chart not saved")));
}

TEST_F(StabilityView, Screenshot) {
    // a day-long shape: white FM with a slow random walk, as the simulator's frequency board
    std::normal_distribution<double> step(0, 150);
    double walk = 0;
    for (int s = 0; s < 20000; ++s) {
        walk += step(FRng);
        FStatus.FrequencyReportAt(At(s).addMSecs(200), 150e6 + walk + FNoise(FRng), 3000);
    }
    FView->TimerTick();
    FView->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FView.get()));
    auto* chart = FView->findChild<QCustomPlot*>("StabilityChart");
    chart->replot();
    const QImage picture = FView->grab().toImage();
    const QString file = QStringLiteral(SCREENSHOT_DIR) + QStringLiteral("/stability_view.png");
    EXPECT_TRUE(picture.save(file));
    // What the picture is for: the record's length and the curve over the octaves to a third of
    // it (1 .. 4096 s), drawn in its blue at its first and its last point.
    EXPECT_EQ(Text("StabilityLengthLabel"), QStringLiteral("5 h 33 min 20 s"));
    QCPGraph* g = Graph();
    ASSERT_EQ(g->dataCount(), 13);
    for (int i : {0, 12}) {
        const QPointF at(chart->xAxis->coordToPixel(g->data()->at(i)->key),
                         chart->yAxis->coordToPixel(g->data()->at(i)->value));
        EXPECT_TRUE(
            ColourNear(picture, chart->mapTo(FView.get(), at.toPoint()), QColor(30, 90, 180), 4))
            << "point " << i;
    }
}

TEST_F(StabilityView, AChangeOfPeakOrSetPointStartsANewRecordWithAnEvent) {
    FView->SetOpticalFrequency([](QChar p) { return p == QLatin1Char('j') ? 4.8e14 : 4.7e14; });
    Lock(QLatin1Char('f'));
    Feed(0, 40);
    // To j: searching, then locked on j. The beat of j's bins goes by j's frequency.
    Lock(QChar());
    Feed(41, 44);
    Lock(QLatin1Char('j'));
    Feed(45, 100);
    // Then another set point while locked: the beat jumps by 50 MHz.
    FBeat = 200e6;
    Lock(QLatin1Char('j'), FBeat);
    Feed(101, 200);
    FView->TimerTick();

    QStringList splits;
    for (const TLinkEvent& e : FEvents.Events())
        if (e.Kind == TLinkEventKind::_record_split)
            splits << e.Text;
    EXPECT_EQ(splits, (QStringList{"new stability record: peak f to j",
                                   "new stability record: set point 150.000 to 200.000 MHz"}));
    EXPECT_NEAR(FView->Shown().Statistics().MeanHz, 200e6, 2000)
        << "only the last set point's bins";
    EXPECT_DOUBLE_EQ(FView->Shown().OpticalFrequency(), 4.8e14);
    const QString note = Text("StabilityRecordNoteLabel");
    EXPECT_TRUE(note.startsWith(QLatin1String("New record since 00:01:4")) &&
                note.contains(QLatin1String("set point")))
        << note.toStdString();
    EXPECT_TRUE(
        FView->ExportHeader().contains(QLatin1String("# peak: j\n# set_point: 200.000 MHz\n")))
        << FView->ExportHeader().toStdString();
}

TEST_F(StabilityView, ExportAndClearSayWhatTheRecordIs) {
    Lock(QLatin1Char('f'));
    Feed(0, 60, {7, 8});
    FView->TimerTick();
    const QString header = FView->ExportHeader();
    EXPECT_TRUE(header.startsWith(
                    QLatin1String("# Halvane stability export\n# start_utc: 2026-12-09T00:00:00Z\n"
                                  "# end_utc: 2026-12-09T00:01:01Z\n# tau0_s: 1\n# peak: f\n"
                                  "# set_point: 150.000 MHz\n# skipped_bins: 2\n"
                                  "# intervals: bins of tau0 = 1 s")) &&
                header.contains(QLatin1String("\n# confidence_intervals: 68.3 %, chi-squared ")) &&
                header.endsWith(QLatin1String(" at each tau\n")) && header.count('\n') == 9)
        << header.toStdString();

    // 'Clear' asks first: "no" keeps the record, "yes" throws it away.
    FAnswer = false;
    Click("StabilityClearButton");
    ASSERT_EQ(FQuestions.size(), 1);
    EXPECT_TRUE(
        FQuestions[0].startsWith(QLatin1String("Throw away the stability record of 1 min")));
    EXPECT_EQ(FView->Shown().Statistics().Bins, 61);
    FAnswer = true;
    Click("StabilityClearButton");
    EXPECT_EQ(FView->Shown().Statistics().Bins, 0);
    Click("StabilityClearButton"); // nothing to throw away: no question
    EXPECT_EQ(FQuestions.size(), 2);
}

TEST_F(StabilityView, AxisLabelsAreDistinctPowersOfTenAndTheDeviationAxisHasTwo) {
    auto* chart = FView->findChild<QCustomPlot*>("StabilityChart");
    FView->show();
    // Records of 4, 7, 13, 100 and 3000 bins: one, two, three, five and ten taus. Each axis shows
    // two labels or more, each unlike the one before it and apart from it by their half widths
    // (taus) or by a line (deviations).
    int fed = 0;
    for (int length : {4, 7, 13, 100, 3000}) {
        Feed(fed, length);
        fed = length + 1;
        FView->TimerTick();
        chart->replot(QCustomPlot::rpImmediateRefresh);
        for (QCPAxis* axis : {chart->xAxis, chart->yAxis}) {
            const std::string where = std::to_string(length) +
                                      (axis == chart->xAxis ? " bins, tau axis" : " bins, y axis");
            std::vector<std::pair<double, QString>> shown; // position, text
            for (int i = 0; i < axis->tickVector().size(); ++i) {
                const double tick = axis->tickVector()[i];
                if (tick >= axis->range().lower * (1 - 1e-9) &&
                    tick <= axis->range().upper * (1 + 1e-9))
                    shown.emplace_back(axis->coordToPixel(tick), axis->tickVectorLabels()[i]);
            }
            EXPECT_GE(shown.size(), 2u) << where;
            const QFontMetrics metrics(axis->tickLabelFont());
            for (size_t i = 1; i < shown.size(); ++i) {
                const auto& [at, text] = shown[i];
                const auto& [before, last] = shown[i - 1];
                EXPECT_NE(text, last) << where;
                EXPECT_GT(
                    std::abs(at - before),
                    axis == chart->xAxis
                        ? (metrics.horizontalAdvance(text) + metrics.horizontalAdvance(last)) / 2.0
                        : metrics.height())
                    << where << ": " << text.toStdString();
            }
        }
    }
}

TEST_F(StabilityView, WhenGapsCutTheLongestTausThePageSaysWhy) {
    std::vector<int> lost;
    for (int s = 5; s < 600; s += 9)
        lost.push_back(s); // the link comes and goes
    Feed(0, 600, lost);
    FView->TimerTick();
    const QList<TDeviationPoint> table = FView->Shown().Table(TDeviationKind::_oadev);
    ASSERT_FALSE(table.isEmpty());
    ASSERT_LT(table.last().M, 128) << "the record would allow 128 s without its gaps";
    const QString note = Text("StabilityRecordNoteLabel");
    EXPECT_TRUE(note.contains(QLatin1String("are missing")) &&
                note.contains(QStringLiteral("%1 of 601 bins are skipped").arg(lost.size())))
        << note.toStdString();
}
