#pragma once
// The main window's charts and measurement logs: the four sample operations, the chart limits,
// zoom and scroll guards, the logs of the error signal, the frequency difference and the test
// values, and the error-signal chart's 'Save'.
//
// The controls are found by name under a root widget (the main window): the chart pages, the
// service panel and the labels of the frequency report. The window hands every sample to this
// class on the GUI thread.

#include "app/LogUnit.h"
#include "ui/main/ChartUnit.h"

#include <QLocale>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QCustomPlot;
class QLabel;
class QWidget;

// --- the sample rules, without widgets --------------------------------------------------------

// The charted error signal: 17640 - raw (word 0 gives 17640, 35280 gives -17640).
double ErrorSignalValue(uint16_t raw);
// One error-signal log line: the shortest general form (up to 15 significant digits) with '.'
// as decimal separator.
QString ErrorSignalLogLine(double value);
// One line of the chart 'Save': general form (up to 15 significant digits) in ASCII digits and
// '-', without grouping, with the locale's decimal separator.
QString ChartSaveLine(double value, const QLocale& locale = QLocale());

// What one frequency report shows.
struct TFreqDiffReport {
    bool Ignored = false;   // exactly 0 Hz: nothing is shown, charted or logged
    double KHz = 0;         // difference / 1000
    int32_t ChartValue = 0; // whole kHz, truncated toward zero
    QString ValueText;      // "12,346 kHz": ASCII digits, the locale's thousands separator
};
TFreqDiffReport FreqDiffReport(int32_t differenceHz, const QLocale& locale = QLocale());
// "%d;%d": milliseconds since logging was switched, whole kHz.
QString FreqDiffLogLine(int64_t elapsedMs, int32_t kHz);
// "%d;%d;%d;%d" of the four test values.
QString TestLogLine(uint16_t v1, uint16_t v2, uint16_t v3, uint16_t v4);
// Signal power above which the iodine laser is known to run.
inline constexpr int IodineRunningPower = 2000;

// The save dialogs of the logs and of the chart 'Save'.
extern const TSaveDialogRequest DataLogDialogRequest; // error-signal and test logs
extern const TSaveDialogRequest ChartSaveDialogRequest;

class TChartFeeders : public QObject {
    Q_OBJECT
public:
    static constexpr int ErrorSignalPoints = 1000;
    static constexpr int FreqDiffPoints = 100;
    static constexpr int ServicePoints = 1000;
    static constexpr int TestPoints = 100;
    // The error-signal chart's zoom limits.
    static constexpr double ZoomMinX = 0;
    static constexpr double ZoomMaxX = 1000;
    static constexpr double ZoomMinY = -17280;
    static constexpr double ZoomMaxY = 17280;

    // root holds the chart pages and the frequency-report labels, servicePanel the service
    // chart with its boxes, each control by name; iodineLaserRunning is the window's flag.
    TChartFeeders(QWidget* root, QWidget* servicePanel, bool& iodineLaserRunning);
    ~TChartFeeders() override;

    // The file dialogs (an empty name = cancelled; the file dialog by default) and the
    // millisecond tick of the frequency-difference log; tests replace both.
    void SetFileNameProvider(TFileNameProvider provider) {
        FFileNameProvider = std::move(provider);
    }
    void SetTickSource(std::function<int64_t()> tick) { FTick = std::move(tick); }

    // --- sample operations ------------------------------------------------------------------
    void AddErrorSignalSample(uint16_t raw);
    void AddFreqDiffSample(int32_t difference, uint16_t signalPower);
    void AddServiceSample(int16_t value);
    void AddTestSample(uint16_t value1, uint16_t value2, uint16_t value3, uint16_t value4);

    // --- handlers ---------------------------------------------------------------------------
    void ErrorSignalLogCheckBoxClick();
    void SaveDataChartToFileCheckBoxClick();
    void FreqDiffLogCheckBoxClick();
    void TestSaveDataCheckBoxClick();
    void TestClearChartButtonClick();
    void SaveChartButtonClick();
    void ChartZoom(TChart& sender);
    bool ChartAllowScroll(const TChart& sender, const QString& axisTitle, double min, double max);

    // --- logs -------------------------------------------------------------------------------
    void WriteToLog(double value);
    bool DataSaveLog(bool enabled);
    void DataCloseLogFile();
    void DataSaveLineToFile(const QString& line);
    bool TestSaveLog(bool enabled);
    void TestCloseLogFile();
    void TestSaveLineToFile(const QString& line);

    // --- charts -----------------------------------------------------------------------------
    TChart& Chart() { return *FChart; }
    TChart& FreqDiffChart() { return *FFreqDiffChart; }
    TChart& ServiceChart() { return *FServiceChart; }
    TChart& Chart1() { return *FChart1; }
    TChart& LaserHeNeChart() { return *FLaserHeNeChart; }
    TChartSeries& DataSeries() { return *FDataSeries; }
    TChartSeries& FreqDiffLineSeries() { return *FFreqDiffLineSeries; }
    TChartSeries& ServiceSeries() { return *FServiceSeries; }
    TChartSeries& TestSeries(int index) { return *FTestSeries[index]; } // 0..3
    TChartSeries& LaserHeNeLineSeries() { return *FLaserHeNeLineSeries; }

    // Window state of the logs.
    bool FSaveLogFile = false; // the error-signal log is open
    bool TestLogActive = false;
    int64_t FreqDiffLogStartTick = 0;

private:
    template <class T> static T* Find(QWidget* root, const char* name);
    std::unique_ptr<TChart> MakeChart(const char* name, TAxisSetup x, TAxisSetup y);
    QString AskFileName(const TSaveDialogRequest& request) const;
    int64_t Now() const;
    // A log was closed without the operator: its boxes must not stay ticked.
    static void Untick(QCheckBox* box);
    void DataLogClosed();

    QWidget* FRoot;
    QWidget* FServicePanel;
    bool& FIodineLaserRunning;
    TFileNameProvider FFileNameProvider;
    std::function<int64_t()> FTick;

    std::unique_ptr<TChart> FChart;
    std::unique_ptr<TChart> FFreqDiffChart;
    std::unique_ptr<TChart> FServiceChart;
    std::unique_ptr<TChart> FChart1;
    std::unique_ptr<TChart> FLaserHeNeChart;
    TChartSeries* FDataSeries;
    TChartSeries* FFreqDiffLineSeries;
    TChartSeries* FServiceSeries;
    TChartSeries* FTestSeries[4];
    TChartSeries* FLaserHeNeLineSeries;

    TLogTextFile FLogFile;    // error-signal log
    TLogTextFile TestLogFile; // test log

    QCheckBox* FErrorSignalLogCheckBox;
    QCheckBox* FSaveDataChartToFileCheckBox;
    QCheckBox* FFreqDiffLogCheckBox;
    QCheckBox* FTestSaveDataCheckBox;
    QCheckBox* FTestShowChartCheckBox;
    QCheckBox* FChartCheckBox;
    QLabel* FFreqDifferenceValueLabel;
    QLabel* FSignalPWRLabel;
    QLabel* FTestLabels[4];
    // The test values arrive faster than the screen shows them: the labels take the latest
    // values with the next frame.
    uint16_t FTestValues[4] = {};
};
