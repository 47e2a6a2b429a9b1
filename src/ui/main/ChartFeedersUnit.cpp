#include "ui/main/ChartFeedersUnit.h"

#include "ui/main/SaveDialogUnit.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QLabel>
#include <QSaveFile>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

// --- sample rules -------------------------------------------------------------------------------

double ErrorSignalValue(uint16_t raw) {
    return 17640.0 - raw;
}

QString ErrorSignalLogLine(double value) {
    return QString::number(value, 'g', 15);
}

QString ChartSaveLine(double value, const QLocale& locale) {
    // Only the separator comes from the locale: its digits, signs and grouping would make a
    // file that no other program (nor another locale) reads back.
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text;
}

TFreqDiffReport FreqDiffReport(int32_t differenceHz, const QLocale& locale) {
    TFreqDiffReport report;
    report.KHz = differenceHz / 1000.0;
    if (report.KHz == 0) {
        report.Ignored = true;
        return report;
    }
    // Whole kHz for the text, halves away from zero: ASCII digits and '-', the locale's
    // thousands separator between every three digits.
    const auto rounded = static_cast<qlonglong>(std::round(report.KHz));
    QString digits = QString::number(rounded < 0 ? -rounded : rounded);
    const QString separator = locale.groupSeparator();
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, separator);
    report.ValueText =
        (rounded < 0 ? QStringLiteral("-") : QString()) + digits + QStringLiteral(" kHz");
    report.ChartValue = static_cast<int32_t>(std::trunc(report.KHz));
    return report;
}

QString FreqDiffLogLine(int64_t elapsedMs, int32_t kHz) {
    return QString::asprintf("%lld;%d", static_cast<long long>(elapsedMs), kHz);
}

QString TestLogLine(uint16_t v1, uint16_t v2, uint16_t v3, uint16_t v4) {
    return QString::asprintf("%d;%d;%d;%d", v1, v2, v3, v4);
}

const TSaveDialogRequest DataLogDialogRequest{QStringLiteral("Log File (*.txt)"),
                                              QStringLiteral(".txt"), QStringLiteral("Log_")};
const TSaveDialogRequest ChartSaveDialogRequest{};

// --- TChartFeeders ------------------------------------------------------------------------------

template <class T> T* TChartFeeders::Find(QWidget* root, const char* name) {
    T* control = root->findChild<T*>(QLatin1String(name));
    if (!control)
        qFatal("The main window has no control %s", name);
    return control;
}

std::unique_ptr<TChart> TChartFeeders::MakeChart(const char* name, TAxisSetup x, TAxisSetup y) {
    QWidget* root = std::strcmp(name, "ServiceChart") == 0 ? FServicePanel : FRoot;
    return std::make_unique<TChart>(Find<QCustomPlot>(root, name), std::move(x), std::move(y));
}

TChartFeeders::TChartFeeders(QWidget* root, QWidget* servicePanel, bool& iodineLaserRunning)
    : QObject(nullptr), FRoot(root), FServicePanel(servicePanel),
      FIodineLaserRunning(iodineLaserRunning),
      FFileNameProvider([root](const TSaveDialogRequest& r) { return ShowSaveDialog(root, r); }) {
    const QString sample = QStringLiteral("Sample");
    FChart = MakeChart("Chart", {sample, true, false, 1, 1000},
                       {QStringLiteral("Error signal [a.u.]"), true, false, -17280, 17280});
    FDataSeries = FChart->AddSeries(QStringLiteral("DataSeries"), QColor(0x1f, 0x4e, 0xa8));

    FFreqDiffChart = MakeChart("FreqDiffChart", {sample, true, false, 1, 100},
                               {QStringLiteral("Frequency difference [kHz]"), true, true, 0, 0});
    FFreqDiffLineSeries =
        FFreqDiffChart->AddSeries(QStringLiteral("FreqDiffLineSeries"), QColor(0x1b, 0x7a, 0x2e));

    FServiceChart =
        MakeChart("ServiceChart", {QString(), false, true, 0, 0}, {QString(), false, true, 0, 0});
    FServiceSeries =
        FServiceChart->AddSeries(QStringLiteral("ServiceSeries"), QColor(0x7a, 0x1f, 0x8c));

    const TAxisSetup bottom{QStringLiteral("bottom"), false, false, 1, 100};
    FChart1 = MakeChart("Chart1", bottom, {QStringLiteral("left"), false, true, 0, 0});
    const QColor testColors[4] = {QColor(0xc0, 0x1c, 0x28), QColor(0x1b, 0x7a, 0x2e),
                                  QColor(0x1f, 0x4e, 0xa8), QColor(0xd0, 0x7a, 0x00)};
    for (int i = 0; i < 4; ++i)
        FTestSeries[i] =
            FChart1->AddSeries(QStringLiteral("Test%1Series").arg(i + 1), testColors[i]);

    FLaserHeNeChart =
        MakeChart("LaserHeNeChart", bottom, {QStringLiteral("left"), false, false, 0, 4096});
    FLaserHeNeLineSeries =
        FLaserHeNeChart->AddSeries(QStringLiteral("LaserHeNeLineSeries"), QColor(0xa8, 0x1f, 0x1f));

    // The zoom and scroll guards serve the four charts of the window's pages.
    for (TChart* chart :
         {FChart.get(), FLaserHeNeChart.get(), FFreqDiffChart.get(), FChart1.get()}) {
        chart->SetZoomHandler([this](TChart& sender) { ChartZoom(sender); });
        chart->SetScrollGuard(
            [this](const TChart& sender, const QString& title, double min, double max) {
                return ChartAllowScroll(sender, title, min, max);
            });
    }

    FErrorSignalLogCheckBox = Find<QCheckBox>(FRoot, "ErrorSignalLogCheckBox");
    FSaveDataChartToFileCheckBox = Find<QCheckBox>(FServicePanel, "SaveDataChartToFileCheckBox");
    FFreqDiffLogCheckBox = Find<QCheckBox>(FRoot, "FreqDiffLogCheckBox");
    FTestSaveDataCheckBox = Find<QCheckBox>(FRoot, "TestSaveDataCheckBox");
    FTestShowChartCheckBox = Find<QCheckBox>(FRoot, "TestShowChartCheckBox");
    FChartCheckBox = Find<QCheckBox>(FServicePanel, "ChartCheckBox");
    FFreqDifferenceValueLabel = Find<QLabel>(FRoot, "FreqDifferenceValueLabel");
    FSignalPWRLabel = Find<QLabel>(FRoot, "SignalPWRLabel");
    for (int i = 0; i < 4; ++i)
        FTestLabels[i] =
            Find<QLabel>(FRoot, QStringLiteral("Test%1Label").arg(i + 1).toLatin1().constData());

    // Check boxes run their handlers also when code changes them.
    connect(FErrorSignalLogCheckBox, &QCheckBox::toggled, this,
            [this] { ErrorSignalLogCheckBoxClick(); });
    connect(FSaveDataChartToFileCheckBox, &QCheckBox::toggled, this,
            [this] { SaveDataChartToFileCheckBoxClick(); });
    connect(FFreqDiffLogCheckBox, &QCheckBox::toggled, this,
            [this] { FreqDiffLogCheckBoxClick(); });
    connect(FTestSaveDataCheckBox, &QCheckBox::toggled, this,
            [this] { TestSaveDataCheckBoxClick(); });
    connect(Find<QAbstractButton>(FRoot, "TestClearChartButton"), &QAbstractButton::clicked, this,
            [this] { TestClearChartButtonClick(); });
    for (const char* name : {"SaveChartButton", "SaveLaserHeNeChartButton"})
        connect(Find<QAbstractButton>(FRoot, name), &QAbstractButton::clicked, this,
                [this] { SaveChartButtonClick(); });
}

TChartFeeders::~TChartFeeders() {
    if (LogFile)
        LogFile->SetOnWriteFailed({});
    DataCloseLogFile();
    TestCloseLogFile();
}

QString TChartFeeders::AskFileName(const TSaveDialogRequest& request) const {
    return FFileNameProvider ? FFileNameProvider(request) : QString();
}

int64_t TChartFeeders::Now() const {
    if (FTick)
        return FTick();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TChartFeeders::Untick(QCheckBox* box) {
    if (!box)
        return;
    const QSignalBlocker blocker(box);
    box->setChecked(false);
}

// --- sample operations --------------------------------------------------------------------------

void TChartFeeders::AddErrorSignalSample(uint16_t raw) {
    if (FDataSeries->Count() > ErrorSignalPoints - 1)
        FDataSeries->DeleteFirst();
    const double y = ErrorSignalValue(raw);
    FDataSeries->Add(y);
    WriteToLog(y);
}

void TChartFeeders::AddFreqDiffSample(int32_t difference, uint16_t signalPower) {
    const TFreqDiffReport report = FreqDiffReport(difference);
    if (report.Ignored)
        return;
    FFreqDifferenceValueLabel->setText(report.ValueText);
    FSignalPWRLabel->setText(QString::number(signalPower));
    if (!FIodineLaserRunning && signalPower > IodineRunningPower)
        FIodineLaserRunning = true;
    FFreqDiffLineSeries->Add(report.ChartValue);
    if (LogFile)
        LogFile->SaveLineToFile(FreqDiffLogLine(Now() - FreqDiffLogStartTick, report.ChartValue));
    if (FFreqDiffLineSeries->Count() > FreqDiffPoints)
        FFreqDiffLineSeries->DeleteFirst();
}

void TChartFeeders::AddServiceSample(int16_t value) {
    if (!FChartCheckBox->isChecked())
        return;
    FServiceSeries->Add(value);
    if (FServiceSeries->Count() > ServicePoints)
        FServiceSeries->DeleteFirst();
}

void TChartFeeders::AddTestSample(uint16_t value1, uint16_t value2, uint16_t value3,
                                  uint16_t value4) {
    const uint16_t values[4] = {value1, value2, value3, value4};
    std::copy(values, values + 4, FTestValues);
    TFrameClock::Instance().Schedule(FTestLabels[0], [this] {
        for (int i = 0; i < 4; ++i)
            FTestLabels[i]->setText(QString::number(FTestValues[i]));
    });
    TestSaveLineToFile(TestLogLine(value1, value2, value3, value4));
    if (!FTestShowChartCheckBox->isChecked())
        return;
    for (int i = 0; i < 4; ++i)
        FTestSeries[i]->Add(values[i]);
    if (FTestSeries[0]->Count() > TestPoints)
        for (TChartSeries* series : FTestSeries)
            series->DeleteFirst();
}

// --- handlers -----------------------------------------------------------------------------------

void TChartFeeders::ErrorSignalLogCheckBoxClick() {
    // Changing 'save to file' runs its own handler, so ticking here opens the dialog.
    FSaveDataChartToFileCheckBox->setChecked(FErrorSignalLogCheckBox->isChecked());
}

void TChartFeeders::SaveDataChartToFileCheckBoxClick() {
    const bool open = DataSaveLog(FSaveDataChartToFileCheckBox->isChecked());
    if (!open)
        DataLogClosed();
}

// No error-signal log is open: neither box may claim one is being written.
void TChartFeeders::DataLogClosed() {
    Untick(FSaveDataChartToFileCheckBox);
    Untick(FErrorSignalLogCheckBox);
}

void TChartFeeders::FreqDiffLogCheckBoxClick() {
    if (!LogFile) {
        Untick(FFreqDiffLogCheckBox);
        return;
    }
    LogFile->SetFileNameProvider([this](const TSaveDialogRequest& r) { return AskFileName(r); });
    LogFile->SetOnWriteFailed(
        [box = QPointer<QCheckBox>(FFreqDiffLogCheckBox)] { Untick(box.data()); });
    const bool open = LogFile->SaveLog(FFreqDiffLogCheckBox->isChecked());
    FreqDiffLogStartTick = Now();
    if (!open)
        Untick(FFreqDiffLogCheckBox);
}

void TChartFeeders::TestSaveDataCheckBoxClick() {
    const bool open = TestSaveLog(FTestSaveDataCheckBox->isChecked());
    if (!open)
        Untick(FTestSaveDataCheckBox);
}

void TChartFeeders::TestClearChartButtonClick() {
    for (TChartSeries* series : FTestSeries)
        series->Clear();
}

void TChartFeeders::SaveChartButtonClick() {
    const QString fileName = AskFileName(ChartSaveDialogRequest);
    if (fileName.isEmpty())
        return;
    QByteArray text;
    for (int i = 0; i < FDataSeries->Count(); ++i)
        text += ChartSaveLine(FDataSeries->Y(i)).toUtf8() + "\r\n";
    // Written as a whole: an existing file is replaced only when everything was written.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(text);
    file.commit();
}

void TChartFeeders::ChartZoom(TChart& /*sender*/) {
    // Only the error-signal chart has zoom limits; zooming any chart looks at it.
    const QCPRange x = FChart->XAxis()->range();
    const QCPRange y = FChart->YAxis()->range();
    if (x.lower < ZoomMinX || x.upper > ZoomMaxX || y.lower < ZoomMinY || y.upper > ZoomMaxY)
        FChart->UndoZoom();
}

bool TChartFeeders::ChartAllowScroll(const TChart& /*sender*/, const QString& axisTitle, double min,
                                     double max) {
    if (axisTitle == QLatin1String("bottom"))
        return !(min < 0 || max > 1000);
    if (axisTitle == QLatin1String("left")) {
        if (std::isnan(min) || std::isnan(max))
            return false;
        return !(min < -96 || max > 96);
    }
    return true;
}

// --- logs ---------------------------------------------------------------------------------------

void TChartFeeders::WriteToLog(double value) {
    if (FSaveLogFile)
        DataSaveLineToFile(ErrorSignalLogLine(value));
}

bool TChartFeeders::DataSaveLog(bool enabled) {
    if (!enabled) {
        DataCloseLogFile();
        FSaveLogFile = false;
        return false;
    }
    const QString fileName = AskFileName(DataLogDialogRequest);
    DataCloseLogFile();
    if (fileName.isEmpty() || !FLogFile.Create(fileName)) {
        FSaveLogFile = false;
        return false;
    }
    FSaveLogFile = true;
    // The charted history goes first, oldest point first.
    for (int i = 0; i < FDataSeries->Count() && FSaveLogFile; ++i)
        WriteToLog(FDataSeries->Y(i));
    return FSaveLogFile;
}

void TChartFeeders::DataCloseLogFile() {
    FLogFile.Close();
}

void TChartFeeders::DataSaveLineToFile(const QString& line) {
    if (!FLogFile.IsOpen())
        return;
    if (!FLogFile.WriteLine(line)) {
        // The file closed itself; the chart goes on without a log.
        FSaveLogFile = false;
        DataLogClosed();
    }
}

bool TChartFeeders::TestSaveLog(bool enabled) {
    if (!enabled) {
        TestCloseLogFile();
        TestLogActive = false;
        return false;
    }
    const QString fileName = AskFileName(DataLogDialogRequest);
    TestCloseLogFile();
    TestLogActive = !fileName.isEmpty() && TestLogFile.Create(fileName);
    return TestLogActive;
}

void TChartFeeders::TestCloseLogFile() {
    TestLogFile.Close();
}

void TChartFeeders::TestSaveLineToFile(const QString& line) {
    if (!TestLogActive || !TestLogFile.IsOpen())
        return;
    if (!TestLogFile.WriteLine(line)) {
        TestLogActive = false;
        Untick(FTestSaveDataCheckBox);
    }
}
