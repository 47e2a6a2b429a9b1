#pragma once
// The contents of the chart pages and of the Test page, each a Designer form placed into its
// page of the main window when the window is created. Their charts and logs are served by
// TChartFeeders; the Test page's DSP PID buttons send their own commands.

#include <QWidget>

#include <memory>

namespace Ui {
class TIodineChartPage;
class TLaserHeNeChartPage;
class TFreqDiffChartPage;
class TTestPage;
} // namespace Ui

// 'Iodine': the error-signal chart, 'log to file', 'Save'.
class TIodineChartPage : public QWidget {
    Q_OBJECT
public:
    explicit TIodineChartPage(QWidget* parent = nullptr);
    ~TIodineChartPage() override;

private:
    std::unique_ptr<Ui::TIodineChartPage> ui;
};

// The HeNe chart and its 'Save' (which saves the error-signal chart).
class TLaserHeNeChartPage : public QWidget {
    Q_OBJECT
public:
    explicit TLaserHeNeChartPage(QWidget* parent = nullptr);
    ~TLaserHeNeChartPage() override;

private:
    std::unique_ptr<Ui::TLaserHeNeChartPage> ui;
};

// 'Frequency difference': its chart and 'save to file'.
class TFreqDiffChartPage : public QWidget {
    Q_OBJECT
public:
    explicit TFreqDiffChartPage(QWidget* parent = nullptr);
    ~TFreqDiffChartPage() override;

private:
    std::unique_ptr<Ui::TFreqDiffChartPage> ui;
};

// The Test page: the DSP's PID values and the four test values with their chart.
class TTestPage : public QWidget {
    Q_OBJECT
public:
    explicit TTestPage(QWidget* parent = nullptr);
    ~TTestPage() override;

    // 'write': DSPWritePID with the three fields; 'read': DSPReadPID, whose answer fills them.
    void DSPWritePIDButtonClick();
    void DSPReadPIDButtonClick();

private:
    std::unique_ptr<Ui::TTestPage> ui;
};

// Puts a page's content into a container of the main window, filling it.
void PlaceInto(QWidget* container, QWidget* content);
