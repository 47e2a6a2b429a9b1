#include "StabilityReferenceData.h"
#include "stability/StabilityFileUnit.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <iterator>

namespace {

constexpr double Nu = 473612353.597e6;

// The first line of a recording, as a script reading one expects it.
constexpr char Header[] =
    "kind,time_utc,beat_hz,reports,power,tuning_status,locked_peak,laser_head_state,cft_c,event,"
    "text";

TStabilityFileData Parse(const char* text, bool* ok = nullptr, QString* error = nullptr,
                         double tau0 = 1) {
    TStabilityFileData d;
    QString e;
    const bool r = ParseStabilityText(QByteArray(text), QStringLiteral("f.txt"), tau0, Nu, &d, &e);
    if (ok) {
        *ok = r;
    }
    if (error) {
        *error = e;
    }
    return d;
}

} // namespace

TEST(StabilityFile, EachKindIsRecognisedAndItsGapsBecomeMissingSamples) {
    // plain: comments and blank lines skipped, "nan" is a missing sample
    TStabilityFileData plain = Parse("# comment\n1e-12\n\n-2.5e-12\r\nnan\n3e-12\n");
    EXPECT_EQ(plain.Kind, TStabilityFileKind::_fractional);
    ASSERT_EQ(plain.Y.size(), 4u);
    EXPECT_DOUBLE_EQ(plain.Y[1], -2.5e-12);
    EXPECT_TRUE(std::isnan(plain.Y[2]));

    // log: reports binned by elapsed time into 1-s bins; second 2 has no report
    TStabilityFileData log = Parse("0;150000\n500;150002\n1200;149999\n3100;150001\n");
    EXPECT_EQ(log.Kind, TStabilityFileKind::_freqdiff_log);
    ASSERT_EQ(log.Y.size(), 4u);
    EXPECT_DOUBLE_EQ(log.Y[0], 150001e3 / Nu);
    EXPECT_DOUBLE_EQ(log.Y[1], 149999e3 / Nu);
    EXPECT_TRUE(std::isnan(log.Y[2]));
    EXPECT_DOUBLE_EQ(log.Y[3], 150001e3 / Nu);
    // the same log in 2-s bins
    EXPECT_EQ(Parse("0;1\n500;1\n1200;1\n3100;1\n", nullptr, nullptr, 2).Y.size(), 2u);

    // recording: bins by their UTC second, event rows skipped, missing seconds are gaps
    QByteArray rec(Header);
    rec += "\nbin,2026-12-09T03:00:00Z,150000123.5,3,3000,3,f,4,-12.5,\n"
           "event,2026-12-09T03:00:01.250Z,,,,,,,,\"lock lost, status 2\"\n"
           "bin,2026-12-09T03:00:03Z,150000124.5,2,3001,3,f,4,-12.5,\n";
    TStabilityFileData r = Parse(rec.constData());
    EXPECT_EQ(r.Kind, TStabilityFileKind::_recording);
    ASSERT_EQ(r.Y.size(), 4u);
    EXPECT_DOUBLE_EQ(r.Y[0], 150000123.5 / Nu);
    EXPECT_TRUE(std::isnan(r.Y[1]) && std::isnan(r.Y[2]));

    bool ok = false;
    EXPECT_TRUE(Parse("", &ok).Y.empty());
    EXPECT_TRUE(ok);
    // a last line cut short (no line end) is the row a crash or a full disk interrupted
    EXPECT_EQ(Parse("1e-12\n2e-12\n3e-", &ok).Y.size(), 2u);
    QByteArray cut(Header);
    cut += "\nbin,2026-12-09T03:00:00Z,150000123.5,3,3000,3,f,4,-12.5,\n"
           "bin,2026-12-09T03:00:01Z,15000"; // a number that parses, cut all the same
    EXPECT_EQ(Parse(cut.constData(), &ok).Y.size(), 1u);
    EXPECT_EQ(Parse("0;1\n1000;2\n2000;", &ok).Y.size(), 2u);
    EXPECT_TRUE(ok);
}

TEST(StabilityFile, BadLinesAreRejectedNamingTheFileAndTheLine) {
    const struct {
        const char* Text;
        const char* Where;
    } cases[] = {
        {"1e-12\n2e-12\nabc\n", "f.txt:3:"},
        {"1e-12\n1e-12x\n", "f.txt:2:"},
        {"1e-12\ninf\n", "f.txt:2:"},
        {"0;1\n1000;x\n", "f.txt:2:"},
        {"0;1\n2000;1\n1000;1\n", "f.txt:3:"}, // time going back
        {"0;1\n5;\n", "f.txt:2:"},
        {"kind,x\nbin,yesterday,1,1,1,1,f,1,1,\n", "f.txt:2:"},
        {"kind,x\nbin,2026-12-09T03:00:00Z,abc,1,1,1,f,1,1,\n", "f.txt:2:"},
        {"kind,x\nbin,2026-12-09T03:00:01Z,1\nbin,2026-12-09T03:00:01Z,1\n", "f.txt:3:"},
        {"kind,x\nsomething else\n", "f.txt:2:"},
    };
    for (const auto& c : cases) {
        bool ok = true;
        QString error;
        Parse(c.Text, &ok, &error);
        EXPECT_FALSE(ok) << c.Text;
        EXPECT_TRUE(error.startsWith(QLatin1String(c.Where))) << error.toStdString();
    }
    TStabilityFileData d;
    QString error;
    EXPECT_FALSE(ReadStabilityFile(QStringLiteral("/nonexistent/x.txt"), 1, Nu, &d, &error));
    EXPECT_TRUE(error.startsWith(QLatin1String("/nonexistent/x.txt:")));
}

// The analyser program itself, as a script would run it.
class StabilityTool : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& text) {
        const QString path = FDir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }
    int Run(const QStringList& args, QString* out, QString* err = nullptr) {
        QProcess p;
        p.start(QStringLiteral(HALVANE_STABILITY_TOOL), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        *out = QString::fromUtf8(p.readAllStandardOutput());
        if (err) {
            *err = QString::fromUtf8(p.readAllStandardError());
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // The rows of the table: tau, terms, deviation, lower, upper.
    static std::vector<std::vector<double>> Rows(const QString& out) {
        std::vector<std::vector<double>> rows;
        for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1Char('#'))) {
                continue;
            }
            std::vector<double> row;
            for (const QString& f : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                row.push_back(f.toDouble());
            }
            rows.push_back(row);
        }
        return rows;
    }
    QTemporaryDir FDir;
};

TEST_F(StabilityTool, TheRiley1000PointTableAgreesWithThePublishedValues) {
    using namespace StabilityReference;
    const QString file = Write(QStringLiteral("riley1000.txt"), Lines(Riley1000()));
    // The number of terms at tau 1, 10, 100 of adev, oadev, mdev, hdev, ohdev (the published
    // table's order) follows from each kind's definition.
    const int terms[][3] = {
        {999, 99, 9}, {999, 981, 801}, {999, 972, 702}, {998, 98, 8}, {998, 971, 701}};
    ASSERT_EQ(Riley1000Published.size(), std::size(terms));
    for (size_t k = 0; k < std::size(terms); ++k) {
        const TPublished& published = Riley1000Published[k];
        const std::string kind = DeviationKindName(published.Kind).toStdString();
        QString out;
        ASSERT_EQ(Run({QStringLiteral("--kind"), DeviationKindName(published.Kind),
                       QStringLiteral("--taus"), QStringLiteral("1,10,100"), file},
                      &out),
                  0);
        EXPECT_TRUE(out.startsWith(QLatin1Char('#')));
        const auto rows = Rows(out);
        ASSERT_EQ(rows.size(), 3u) << out.toStdString();
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(rows[i].size(), 7u); // tau n_terms dev lower upper alpha edf
            EXPECT_EQ(rows[i][0], std::pow(10.0, i));
            EXPECT_EQ(rows[i][1], terms[k][i]) << kind;
            // printed and published both rounded to 7 digits: one unit apart at most
            const double want = published.Deviation[static_cast<size_t>(i)];
            const double unit = 1.01 * std::pow(10.0, std::floor(std::log10(want)) - 6);
            EXPECT_NEAR(rows[i][2], want, unit) << kind << " tau " << rows[i][0];
            EXPECT_LT(rows[i][3], rows[i][2]);
            EXPECT_GT(rows[i][4], rows[i][2]);
        }
    }
}

TEST_F(StabilityTool, TheNbs14SetPrintsThePublishedDigits) {
    const QString file =
        Write(QStringLiteral("nbs14.txt"), StabilityReference::Lines(StabilityReference::Nbs14()));
    QString out;
    ASSERT_EQ(Run({QStringLiteral("--taus"), QStringLiteral("octave"), QStringLiteral("--kind"),
                   QStringLiteral("oadev"), file},
                  &out),
              0);
    // 7 significant digits exactly as published
    EXPECT_TRUE(out.contains(QLatin1String("\n1 8 91.22945 "))) << out.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String("\n2 6 85.95287 "))) << out.toStdString();
    ASSERT_EQ(Run({QStringLiteral("--kind"), QStringLiteral("mdev"), QStringLiteral("--tau0"),
                   QStringLiteral("0.5"), QStringLiteral("--taus"), QStringLiteral("1"), file},
                  &out),
              0);
    EXPECT_TRUE(out.contains(QLatin1String("\n1 5 74.78849 "))) << out.toStdString(); // m = 2
}

TEST_F(StabilityTool, BadInputAndBadOptionsExitWithStatus2AndSayWhere) {
    const QString bad = Write(QStringLiteral("bad.txt"), "1e-12\n2e-12\n3e-12 4e-12\n");
    QString out, err;
    EXPECT_EQ(Run({bad}, &out, &err), 2);
    EXPECT_TRUE(err.contains(bad + QStringLiteral(":3:"))) << err.toStdString();
    const QString good = Write(QStringLiteral("good.txt"), "1e-12\n2e-12\n");
    EXPECT_EQ(Run({QStringLiteral("--kind"), QStringLiteral("allan"), good}, &out, &err), 2);
    EXPECT_EQ(Run({QStringLiteral("--taus"), QStringLiteral("1,x"), good}, &out, &err), 2);
    EXPECT_EQ(Run({QStringLiteral("--tau0"), QStringLiteral("-1"), good}, &out, &err), 2);
    EXPECT_EQ(Run({QStringLiteral("--tau0"), QStringLiteral("2"), QStringLiteral("--taus"),
                   QStringLiteral("3"), good},
                  &out, &err),
              2);
    EXPECT_EQ(Run({}, &out, &err), 2);
    EXPECT_EQ(Run({FDir.filePath(QStringLiteral("missing.txt"))}, &out, &err), 2);
    EXPECT_TRUE(err.contains(QLatin1String("missing.txt")));
}

TEST_F(StabilityTool, EmptyOrShortFilesGiveAnEmptyTable) {
    QString out;
    for (const QByteArray& text :
         {QByteArray(), QByteArray("1e-12\n2e-12\n"), QByteArray("0;150000\n1000;150001\n")}) {
        const QString f = Write(QStringLiteral("short.txt"), text);
        ASSERT_EQ(Run({f}, &out), 0);
        EXPECT_TRUE(out.startsWith(QLatin1Char('#')));
        EXPECT_TRUE(Rows(out).empty()) << out.toStdString();
    }
    // a log with gaps reads as samples with missing bins
    const QString log = Write(QStringLiteral("log.txt"), "0;1\n1000;2\n5000;3\n6000;4\n7000;5\n");
    ASSERT_EQ(Run({log}, &out), 0);
    EXPECT_TRUE(out.contains(QLatin1String("8 samples, 3 missing"))) << out.toStdString();
}
