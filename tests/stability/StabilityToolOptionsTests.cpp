// halvane-stability's inputs and columns, run as a script would run it: phase and Hz input give
// the table of the same fractional frequencies, drift removal says so, the confidence widens the
// interval, MTIE has no noise type or interval ("-"), and `--taus many` is about ten per decade.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <random>

namespace {

class StabilityToolOptions : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937_64 rng(65);
        std::normal_distribution<double> gauss(0, 1e-12);
        double x = 0;
        for (int i = 0; i < 3000; ++i) {
            const double y = gauss(rng);
            FY.push_back(y);
            FPhase.push_back(x);
            x += y; // tau0 = 1 s
        }
        FPhase.push_back(x);
    }
    QString Write(const QString& name, const std::vector<double>& v,
                  const std::function<QByteArray(double, size_t)>& format) {
        const QString path = FDir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        for (size_t i = 0; i < v.size(); ++i) {
            f.write(format(v[i], i) + '\n');
        }
        return path;
    }
    QStringList Run(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral(HALVANE_STABILITY_TOOL), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        QString out = QString::fromUtf8(p.readAllStandardOutput());
        out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); // Windows' console line ends
        return out.split('\n', Qt::SkipEmptyParts);
    }
    static QList<QStringList> Rows(const QStringList& lines) {
        QList<QStringList> rows;
        for (const QString& l : lines) {
            if (!l.startsWith(QLatin1Char('#'))) {
                rows << l.split(QLatin1Char(' '));
            }
        }
        return rows;
    }
    static QByteArray Plain(double v, size_t) { return QByteArray::number(v, 'g', 17); }

    std::vector<double> FY;
    std::vector<double> FPhase;
    QTemporaryDir FDir;
};

} // namespace

TEST_F(StabilityToolOptions, PhaseAndHertzInputGiveTheTableOfTheSameFrequencies) {
    const QString y = Write(QStringLiteral("y.txt"), FY, Plain);
    const QString x = Write(QStringLiteral("x.txt"), FPhase, Plain);
    // a 10 MHz source: the offsets 1e-12 relative are 1e-5 Hz, written to 15 decimals (text
    // made from the offset itself, so that no digit is lost on the way)
    const QString hz = Write(QStringLiteral("hz.txt"), FY, [](double v, size_t) {
        const double offset = v * 1e7;
        return offset >= 0 ? "10000000." + QByteArray::number(offset, 'f', 15).mid(2)
                           : "9999999." + QByteArray::number(1 + offset, 'f', 15).mid(2);
    });
    for (const char* kind : {"oadev", "mdev", "ohdev", "totdev", "theo1"}) {
        const QList<QStringList> want = Rows(Run({QStringLiteral("--kind"), kind, y}));
        const QList<QStringList> fromPhase =
            Rows(Run({QStringLiteral("--kind"), kind, QStringLiteral("--phase"), x}));
        const QList<QStringList> fromHz =
            Rows(Run({QStringLiteral("--kind"), kind, QStringLiteral("--nominal"),
                      QStringLiteral("1e7"), hz}));
        ASSERT_FALSE(want.isEmpty()) << kind;
        ASSERT_EQ(fromPhase.size(), want.size()) << kind;
        ASSERT_EQ(fromHz.size(), want.size()) << kind;
        for (qsizetype i = 0; i < want.size(); ++i) {
            ASSERT_EQ(want[i].size(), 7);
            EXPECT_EQ(fromPhase[i][0], want[i][0]) << kind;
            EXPECT_EQ(fromPhase[i][1], want[i][1]) << kind;
            EXPECT_EQ(fromPhase[i][5], want[i][5]) << kind; // the same noise type
            EXPECT_NEAR(fromPhase[i][2].toDouble() / want[i][2].toDouble(), 1, 1e-6) << kind;
            // Hz: read as a double, 10 MHz would keep only 4 digits of the 1e-5 Hz offsets
            EXPECT_NEAR(fromHz[i][2].toDouble() / want[i][2].toDouble(), 1, 1e-5) << kind;
        }
    }
}

TEST_F(StabilityToolOptions, DriftConfidenceAndColumnsWithoutInterval) {
    // a drift of 1e-15 per sample: removed, the table is that of the noise without it
    std::vector<double> drifting = FY;
    for (size_t i = 0; i < drifting.size(); ++i) {
        drifting[i] += 1e-15 * static_cast<double>(i);
    }
    const QString y = Write(QStringLiteral("y.txt"), FY, Plain);
    const QString d = Write(QStringLiteral("d.txt"), drifting, Plain);
    const QStringList removed = Run({QStringLiteral("--remove-drift"), d});
    EXPECT_TRUE(removed.join('\n').contains(QLatin1String("# linear frequency drift removed")));
    const QList<QStringList> a = Rows(removed);
    const QList<QStringList> b = Rows(Run({QStringLiteral("--remove-drift"), y}));
    const QList<QStringList> raw = Rows(Run({d}));
    ASSERT_EQ(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i][2].toDouble() / b[i][2].toDouble(), 1, 1e-6);
    }
    // without removal the drift shows at the longest tau
    EXPECT_GT(raw.last()[2].toDouble(), 2 * a.last()[2].toDouble());

    // a higher confidence widens every interval
    const QList<QStringList> c68 = Rows(Run({y}));
    const QList<QStringList> c95 =
        Rows(Run({QStringLiteral("--confidence"), QStringLiteral("0.95"), y}));
    ASSERT_EQ(c68.size(), c95.size());
    for (qsizetype i = 0; i < c68.size(); ++i) {
        EXPECT_LT(c95[i][3].toDouble(), c68[i][3].toDouble());
        EXPECT_GT(c95[i][4].toDouble(), c68[i][4].toDouble());
        EXPECT_EQ(c95[i][6], c68[i][6]); // the same EDF
    }

    // MTIE: no noise type, no interval
    const QList<QStringList> mtie =
        Rows(Run({QStringLiteral("--kind"), QStringLiteral("mtie"), y}));
    ASSERT_FALSE(mtie.isEmpty());
    for (const QStringList& r : mtie) {
        EXPECT_EQ(r.mid(3), (QStringList{"-", "-", "-", "-"}));
    }

    // many: every factor to 10, then 13, 16, 20, 25, 32, 40, 50, 63, 79, 100, ...
    const QList<QStringList> many =
        Rows(Run({QStringLiteral("--taus"), QStringLiteral("many"), y}));
    QStringList taus;
    for (const QStringList& r : many) {
        taus << r[0];
    }
    EXPECT_EQ(
        taus.mid(0, 20),
        QString("1 2 3 4 5 6 7 8 9 10 13 16 20 25 32 40 50 63 79 100").split(QLatin1Char(' ')));
}
