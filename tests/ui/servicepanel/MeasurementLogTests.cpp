// The measurement logs behind the check boxes, and the chart 'Save': exact bytes on disk,
// history first, cancelled dialogs, files that cannot be opened and writes that fail later.
#include "ServiceTestSupport.h"

#include "../../logs/LogTestSupport.h"
#include "app/LogUnit.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

namespace {

struct Logs : ::testing::Test {
    QTemporaryDir dir;
    TLogFileStream logFile{true};
    TChartsHarness h;
    TChartFeeders& f = *h.feeders;
    QString answer;                        // what the dialog answers; empty = cancelled
    std::vector<TSaveDialogRequest> asked; // what the dialogs offered
    int64_t tick = 0;

    void SetUp() override {
        LogFile = &logFile;
        f.SetFileNameProvider([this](const TSaveDialogRequest& r) {
            asked.push_back(r);
            return answer;
        });
        f.SetTickSource([this] { return tick; });
    }
    void TearDown() override {
        h.feeders.reset();
        LogFile = nullptr;
    }
    QString Path(const char* name) { return dir.filePath(QLatin1String(name)); }
    QCheckBox* Box(const char* name) { return h.Get<QCheckBox>(name); }
};

QByteArray Lines(std::initializer_list<const char*> lines) {
    QByteArray out;
    for (const char* l : lines)
        out += QByteArray(l) + "\r\n";
    return out;
}

} // namespace

TEST_F(Logs, ErrorSignalLogStartsWithTheChartedHistory) {
    for (uint16_t raw = 0; raw < 500; ++raw)
        f.AddErrorSignalSample(raw);
    answer = Path("error.txt");
    Box("ErrorSignalLogCheckBox")->setChecked(true);
    // 'log to file' drives 'save to file' on the service panel.
    EXPECT_TRUE(Box("SaveDataChartToFileCheckBox")->isChecked());
    EXPECT_TRUE(f.FSaveLogFile);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Filter, "Log File (*.txt)");
    EXPECT_EQ(asked[0].ProposedName, "Log_");
    EXPECT_EQ(asked[0].DefaultSuffix, ".txt");
    f.AddErrorSignalSample(17640);
    f.AddErrorSignalSample(35280);
    Box("ErrorSignalLogCheckBox")->setChecked(false);
    EXPECT_FALSE(Box("SaveDataChartToFileCheckBox")->isChecked());

    QByteArray expected;
    for (int raw = 0; raw < 500; ++raw)
        expected += QByteArray::number(17640 - raw) + "\r\n";
    expected += "0\r\n-17640\r\n";
    EXPECT_EQ(ReadAll(Path("error.txt")), expected);
    // Closed: later samples are not written.
    f.AddErrorSignalSample(1);
    EXPECT_EQ(ReadAll(Path("error.txt")), expected);
}

TEST_F(Logs, ErrorSignalLogUsesAPointWhateverTheLocale) {
    TLocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(ErrorSignalLogLine(-0.5), "-0.5");
    EXPECT_EQ(ErrorSignalLogLine(17640), "17640");
    EXPECT_EQ(ErrorSignalLogLine(123456.789012345678), "123456.789012346");
    EXPECT_EQ(ChartSaveLine(-0.5), "-0,5");
    EXPECT_EQ(ChartSaveLine(123456), "123456");
}

// Locales whose own number format has non-ASCII digits or minus signs (Arabic, Persian), other
// separators (German, French) or another grouping (Hindi): files and the frequency text take
// only the locale's separators.
const char* const NumberLocales[] = {"en_US", "de_DE", "fr_FR", "ar_EG", "fa_IR", "hi_IN"};

TEST_F(Logs, NumbersInFilesAreAsciiWithOnlyTheLocalesDecimalSeparator) {
    for (const char* name : NumberLocales) {
        const QLocale locale{QString::fromLatin1(name)};
        TLocaleScope scope(locale);
        const QString point = locale.decimalPoint();
        EXPECT_EQ(ChartSaveLine(-1234567.25), "-1234567" + point + "25") << name;
        EXPECT_EQ(ChartSaveLine(17640), "17640") << name;
        EXPECT_EQ(ErrorSignalLogLine(-0.5), "-0.5") << name;
        EXPECT_EQ(FreqDiffLogLine(-12, -345), "-12;-345") << name;
        EXPECT_EQ(FreqDiffReport(-1234567890).ValueText,
                  "-1" + locale.groupSeparator() + "234" + locale.groupSeparator() + "568 kHz")
            << name;
    }
    // The locales above do what they are here for.
    EXPECT_NE(QLocale(QStringLiteral("ar_EG")).toString(-1), QStringLiteral("-1"));
    EXPECT_NE(QLocale(QStringLiteral("fa_IR")).toString(12), QStringLiteral("12"));
    EXPECT_EQ(QLocale(QStringLiteral("hi_IN")).toString(1234567), QStringLiteral("12,34,567"));
}

TEST_F(Logs, ChartSaveInArabicWritesAsciiDigits) {
    const QLocale arabic(QStringLiteral("ar_EG"));
    TLocaleScope scope(arabic);
    f.AddErrorSignalSample(35280);
    answer = Path("chart.txt");
    QTest::mouseClick(h.Get<QPushButton>("SaveChartButton"), Qt::LeftButton);
    EXPECT_EQ(ReadAll(answer), Lines({"-17640"}));
}

TEST_F(Logs, ACancelledOrFailedOpenUnticksTheErrorSignalBoxes) {
    answer.clear();
    Box("ErrorSignalLogCheckBox")->setChecked(true);
    EXPECT_FALSE(Box("ErrorSignalLogCheckBox")->isChecked());
    EXPECT_FALSE(Box("SaveDataChartToFileCheckBox")->isChecked());
    EXPECT_FALSE(f.FSaveLogFile);

    answer = Path("missing/folder/error.txt");
    Box("SaveDataChartToFileCheckBox")->setChecked(true);
    EXPECT_FALSE(Box("SaveDataChartToFileCheckBox")->isChecked());
    EXPECT_FALSE(f.FSaveLogFile);
    EXPECT_EQ(asked.size(), 2u);
    f.AddErrorSignalSample(0); // nothing to write to, nothing happens
    EXPECT_EQ(f.DataSeries().Count(), 1);
}

TEST_F(Logs, AnErrorSignalWriteThatFailsClosesTheLogAndTheChartGoesOn) {
    TFailingOpener opener(10 * 7); // ten lines of "17640\r\n"
    answer = Path("error.txt");
    Box("SaveDataChartToFileCheckBox")->setChecked(true);
    ASSERT_TRUE(f.FSaveLogFile);
    // The log writes out in blocks; sample until a block no longer fits.
    for (int i = 0; i < 2000 && f.FSaveLogFile; ++i)
        f.AddErrorSignalSample(0);
    EXPECT_FALSE(f.FSaveLogFile);
    EXPECT_FALSE(Box("SaveDataChartToFileCheckBox")->isChecked());
    EXPECT_FALSE(Box("ErrorSignalLogCheckBox")->isChecked());
    f.AddErrorSignalSample(1);
    EXPECT_EQ(f.DataSeries().Y(f.DataSeries().Count() - 1), 17639);
    // What reached the file before the failure is whole lines and stays there.
    const QByteArray written = ReadAll(Path("error.txt"));
    EXPECT_TRUE(written.isEmpty() || written.endsWith("\r\n"));
    // A new log can be opened on a working file.
    SetLogDeviceOpener({});
    answer = Path("second.txt");
    Box("SaveDataChartToFileCheckBox")->setChecked(true);
    EXPECT_TRUE(f.FSaveLogFile);
}

TEST_F(Logs, FrequencyLogWritesMillisecondsSinceSwitchingAndWholeKilohertz) {
    answer = Path("freq.txt");
    tick = 1000;
    Box("FreqDiffLogCheckBox")->setChecked(true);
    ASSERT_TRUE(logFile.IsOpen());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Filter, "Log File (*.txt)");
    EXPECT_EQ(asked[0].DefaultSuffix, "txt");
    EXPECT_EQ(asked[0].ProposedName, "Log_");
    f.AddFreqDiffSample(12345678, 0);
    tick = 1250;
    f.AddFreqDiffSample(-1500, 0);
    f.AddFreqDiffSample(0, 0); // ignored, not logged
    tick = 1000 + 5'000'000'000LL;
    f.AddFreqDiffSample(400000000, 0);
    // Every line is on disk at once (automatic flushing).
    EXPECT_EQ(ReadAll(Path("freq.txt")), Lines({"0;12345", "250;-1", "5000000000;400000"}));
    Box("FreqDiffLogCheckBox")->setChecked(false);
    EXPECT_FALSE(logFile.IsOpen());
}

TEST_F(Logs, ACancelledOrFailedFrequencyLogUnticksItsBox) {
    answer.clear();
    Box("FreqDiffLogCheckBox")->setChecked(true);
    EXPECT_FALSE(Box("FreqDiffLogCheckBox")->isChecked());
    EXPECT_FALSE(logFile.IsOpen());

    TFailingOpener opener(8); // one line
    answer = Path("freq.txt");
    Box("FreqDiffLogCheckBox")->setChecked(true);
    ASSERT_TRUE(Box("FreqDiffLogCheckBox")->isChecked());
    f.AddFreqDiffSample(1000, 0); // "0;1\r\n"
    f.AddFreqDiffSample(2000, 0);
    f.AddFreqDiffSample(3000, 0); // no room any more
    EXPECT_FALSE(Box("FreqDiffLogCheckBox")->isChecked());
    EXPECT_FALSE(logFile.IsOpen());
    EXPECT_EQ(ReadAll(Path("freq.txt")), Lines({"0;1"}));
    EXPECT_EQ(f.FreqDiffLineSeries().Count(), 3);
}

TEST_F(Logs, TestLogWritesTheFourValuesAndClosesWithItsBox) {
    answer = Path("test.txt");
    Box("TestSaveDataCheckBox")->setChecked(true);
    EXPECT_TRUE(f.TestLogActive);
    f.AddTestSample(1, 2, 3, 4);
    f.AddTestSample(65535, 0, 17, 1000);
    Box("TestShowChartCheckBox")->setChecked(false); // logged whether charted or not
    f.AddTestSample(5, 6, 7, 8);
    Box("TestSaveDataCheckBox")->setChecked(false);
    EXPECT_FALSE(f.TestLogActive);
    EXPECT_EQ(ReadAll(Path("test.txt")), Lines({"1;2;3;4", "65535;0;17;1000", "5;6;7;8"}));

    answer.clear();
    Box("TestSaveDataCheckBox")->setChecked(true);
    EXPECT_FALSE(Box("TestSaveDataCheckBox")->isChecked());
    EXPECT_FALSE(f.TestLogActive);
}

TEST_F(Logs, ATestLogWriteThatFailsUnticksItsBox) {
    TFailingOpener opener(9);
    answer = Path("test.txt");
    Box("TestSaveDataCheckBox")->setChecked(true);
    for (int i = 0; i < 2000 && f.TestLogActive; ++i)
        f.AddTestSample(1, 2, 3, 4);
    EXPECT_FALSE(f.TestLogActive);
    EXPECT_FALSE(Box("TestSaveDataCheckBox")->isChecked());
    f.AddTestSample(9, 9, 9, 9);
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.Text("Test1Label") == "9"; }, 5000));
}

TEST_F(Logs, ChartSaveWritesTheErrorSignalChartFromEitherButton) {
    TLocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    f.AddErrorSignalSample(0);
    f.AddErrorSignalSample(17641);
    answer = Path("chart.txt");
    {
        QFile old(answer);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content that is longer than the new one\r\n");
    }
    QTest::mouseClick(h.Get<QPushButton>("SaveChartButton"), Qt::LeftButton);
    EXPECT_EQ(ReadAll(answer), Lines({"17640", "-1"}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].Filter.isEmpty());
    EXPECT_TRUE(asked[0].ProposedName.isEmpty());

    f.AddErrorSignalSample(17640);
    QTest::mouseClick(h.Get<QPushButton>("SaveLaserHeNeChartButton"), Qt::LeftButton);
    EXPECT_EQ(ReadAll(answer), Lines({"17640", "-1", "0"}));

    answer.clear(); // cancelled: nothing is written
    f.AddErrorSignalSample(1);
    QTest::mouseClick(h.Get<QPushButton>("SaveChartButton"), Qt::LeftButton);
    EXPECT_EQ(ReadAll(Path("chart.txt")), Lines({"17640", "-1", "0"}));
}
