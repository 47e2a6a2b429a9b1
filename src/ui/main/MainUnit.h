#pragma once
// The operator window: connection workflow and watchdog, peak table and tuning, status areas.
//
// The window is thin: the peak table and its texts (PeakTableUnit), the tuning-status
// presentation (TuningStatusUnit), the device-kind table (DeviceKindUnit) and the commands of
// the tuning controls (TuningCommandsUnit) live in their own units. The window's own source is
// split by concern:
//   MainUnit.cpp            creation and release, page switching, logo, common helpers
//   MainUnitConnection.cpp  search, connect, disconnect, watchdog, receive thread, device kind
//   MainUnitTuning.cpp      peak list, simple page, Start/Lock, frequency difference, status
//   MainUnitReceiver.cpp    the controller reports that land in the window's controls
//   MainUnitService.cpp     the service panel: unlock, 'Hide', expected peaks (the panel's own
//                           settings live in ServicePanelUnit, the Test page's in ChartPagesUnit)
//   MainUnitCharts.cpp      the chart pages and the sample operations (ChartFeedersUnit)
//   MainUnitLinkHealth.cpp  a lost link and a silent laser shown and recovered by themselves,
//                           the event list, the live status model fed from the reports

#include "link/Phy_Global_Unit.h"
#include "monitor/LinkHealthUnit.h"
#include "protocol/ControllerReceiverUnit.h"
#include "ui/main/PeakTableUnit.h"

#include <QElapsedTimer>

#include <QPixmap>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QScrollArea;
class QTimer;
class QToolButton;
class TLaserFrame;
class TLaserHeNeChartView;
class TServiceMasterFirmwareUpdateView;
class TChartFeeders;
class TServicePanelFrame;
class TServicePassword;
class TTestPage;
class TStabilityView;
class TLinkEventsView;
struct TStatusSnapshot;
enum class TLaserState : uint8_t;

namespace Ui {
class TMainForm;
}

class TMainForm : public QWidget, public TControllerReceiver {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- lifecycle and connection workflow -------------------------------------------------
    void SearchUrzadzenButtonClick();
    void ConnectButtonClick();
    void DisconnectButtonClick();
    void ConnectionTimerTimer();
    void BlinkTimerTimer();
    void SimpleMenuTabSheetShow();
    void SimpleMenuTabSheetHide();
    void LogoImageClick();
    // Tab visibility of every page of PageControl (the pages stay selectable by code).
    void SetTabsVisible(bool Value);
    void ResetTuningControls();

    // --- peak table and tuning workflow ----------------------------------------------------
    void CreatePeakList();
    void FillPeakListBox(int index);
    void PrepareSimpleMenu();
    void SetLockedPeakIdLB(int value);
    double GetFPeakValue() const;
    double GetJPeakValue() const;
    void PeakListBoxClick(int row);
    void HarmonicComboBoxChange();
    void ScopeScaleComboBoxChange();
    void StartButtonClick();
    void LockButtonClick();
    void NextButtonClick();
    void BackButtonClick();
    void SimpleFPeakPngSpeedButtonClick(bool down);
    void SimpleJPeakPngSpeedButtonClick(bool down);
    void FreqDifferenceSet1ButtonClick();
    void FreqDifference2ButtonClick();

    // --- TControllerReceiver: controller reports, always on the GUI thread ------------------
    void CRCError() override;
    void AddErrorSignalSample(uint16_t raw) override;
    void AddServiceSample(int16_t value) override;
    void AddTestSample(uint16_t t1, uint16_t t2, uint16_t t3, uint16_t t4) override;
    void AddFreqDiffSample(int32_t freqDiffHz, uint16_t power) override;
    void ShowTuningStatus(uint16_t state) override;
    void ExpectedPeaks(uint16_t mask) override;
    void ChangePeakOffset(int16_t offsetKHz) override;
    void SetPeakLabelByIndex(int peak) override;
    void SwitchCFTCalibrationMode() override;
    void SetSpinValue(TSpinTarget target, double value) override;
    void SetLabelCaption(TLabelTarget target, const QString& caption) override;
    void SetBarPosition(TBarTarget target, int position) override;
    void TickStabilizationCheck() override;
    void SetScopeScaleRow(int row) override;
    void SetHarmonicRow(int row) override;
    void ApplyHarmonicRule(bool keepFourthHarmonic) override;
    void Beep() override;
    void ErrorBeep() override;
    // The receive thread's polls keep failing: the link is lost (MainUnitLinkHealth.cpp).
    void LinkFailed(uint32_t failingMs) override;

    // --- link health (MainUnitLinkHealth.cpp) ------------------------------------------------
    // Looks once for the lost device and reconnects it (run every RecoveryIntervalMs while the
    // link is lost, on every page).
    void RecoveryTimerTimer();
    // Checks that checked frames keep arriving on the open link.
    void SilenceTimerTimer();
    bool LinkLost() const { return FLinkLost || FLinkLostPending; }
    bool LaserSilent() const { return FSilenceWatch.Silent(); }
    QTimer* RecoveryTimer = nullptr;
    QTimer* SilenceTimer = nullptr;
    TLinkEventsView* LinkEventsView() const { return FLinkEventsView; }

    // --- service panel (MainUnitService.cpp) ------------------------------------------------
    // A typed character: the unlock sequence, from the key preview.
    void FormKeyPress(QChar Key);
    void HideButtonClick();
    void SetExpectedPeaksButtonClick();
    TServicePanelFrame* ServicePanelFrame() const { return FServicePanelFrame; }

    // --- charts and logs (MainUnitCharts.cpp) -----------------------------------------------
    TChartFeeders* Charts() const { return FCharts.get(); }

    // The window's client area, which holds every control at its stated size. On a screen
    // large enough the window is exactly this size; on a smaller one (or at a high scaling)
    // the window fits the screen's available area and the client area scrolls, so that every
    // control stays reachable.
    QWidget* ClientArea() const { return FClient; }
    void FitToScreen();

    // The colour of a self-painting status panel.
    // Where a window frame goes so that it stays on the available screen area: moved left as
    // far as its right edge would leave it, but never with its left edge off the area.
    static QPoint OnScreenTopLeft(const QRect& frame, const QRect& available);
    static QColor PanelColor(const QLabel* panel);
    static void SetPanelColor(QLabel* panel, const QColor& color);

    // A small status label of a network service (MqttStateLabel), at the top of the window
    // and clear of the logo; its owner fills it.
    QLabel* AddNetworkIndicator();

    // The maker's web address the logo opens, and the opener (tests replace it).
    static const QUrl MakerWebAddress;
    static void SetUrlOpener(std::function<void(const QUrl&)> opener);

    // --- window state ----------------------------------------------------------------------
    std::unique_ptr<TPeakList> FPeakList;
    int FirstAvaiablePeakIndex = 0;
    int LastAvaiablePeakIndex = 0;
    int SetPeakListBoxIndex = PeakIndexF; // before any list, Start aims at the reference f
    int SelectedPeakIdLB = -1;            // no row until the operator clicks one
    int LockedPeakIdLB = -1;              // no row until the controller reports a lock
    int SimpleMenuFirstPeakId = -1;
    int SimpleMenuSecondPeakId = -1;
    uint32_t CRCErrorCounter = 0;
    bool IodineLaserRunning = false;
    // The controller's latest tuning status since the link opened (-1: none yet) and, while it
    // is "tuning - locked", the peak its lock report named (null: none named).
    int FIodineStatus = -1;
    QChar FIodineLockedPeak;

    std::unique_ptr<TServicePassword> FServicePassword;

    QTimer* ConnectionTimer = nullptr;
    QTimer* BlinkTimer = nullptr;
    // The firmware page's logic and controls, on FirmwareUpdateTabSheet.
    TServiceMasterFirmwareUpdateView* FirmwareUpdateView = nullptr;

    // The laser-head service frame on ServiceLaserTabSheet, and the view that keeps the laser
    // head's status on this window up to date.
    TLaserFrame* FLaserFrame = nullptr;
    std::unique_ptr<TLaserHeNeChartView> LaserHeNeChartView;

signals:
    // Key preview: every character typed anywhere in the window, once, before the control with
    // the focus gets it (the key is not consumed). The service unlock listens here.
    void KeyPreview(QChar key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetUpWindow();
    void ConnectHandlers();
    void FormCreate();
    void FormDestroy();
    // The laser head's frequency-difference answer fills both frequency-difference fields.
    void InstallFreqDifferenceHandler();
    void RemoveFreqDifferenceHandler();

    void AdaptToDeviceKind();
    void StartReceiveThread();
    void TerminateReceiveThread();
    void FreeReceiveThread();
    // Terminates the receive thread, waits for it and frees it: before any close of its handle.
    void StopReceiveThread();
    // Stops the receive thread and closes the link; a refused close starts a new receive thread
    // on the link that stays open and answers false.
    bool CloseLink();
    // A firmware run has the link to itself: every control that sends is disabled on every page
    // while it lasts, and enabled again afterwards.
    void FirmwareRunChanged(bool running);

    // Creation and release of the service panel's content, the unlock and the chart pages.
    void CreateServicePanel();
    void CreateCharts();
    void CreateRecordingLabel();
    void ReleaseServicePanel();

    // Link health and the status model (MainUnitLinkHealth.cpp).
    void CreateLinkHealth();
    void ReleaseLinkHealth();
    void LinkConnected();        // after every successful connect, the operator's or our own
    void LinkClosedByOperator(); // at the end of the operator's Disconnect
    void EnterLinkLost();
    void ShowLinkLost();
    void ShowLinkLive();
    // Every live value greyed or "--", the two simple-page panels grey with these texts.
    void ShowNoLiveValues(const QString& iodineText, const QString& heNeText);
    std::vector<QWidget*> LiveWidgets() const;
    std::vector<QWidget*> ChartSheets() const;
    // A frequency report has told whether the iodine laser runs (wasRunning: before it).
    void IodineLaserRunningKnown(bool wasRunning);
    void ReconnectLostDevice(const TDeviceID& device);
    void UpdateStatusModel(const std::function<void(TStatusSnapshot&)>& change);
    void LaserHeadStateShown(TLaserState state, const QString& text);
    void FeedTuningStatus(uint16_t state, const QString& text);
    // Records what the operator commanded (an event; a lock ending soon after is put down to it).
    void OperatorAction(const QString& text, bool commandsLaser = true);
    void FreqDifferenceSetByOperator(double megahertz);
    // The frequency difference set point is known (set or reported), in MHz.
    void SetPointKnown(double megahertz);
    // Forgets the iodine laser's status (a link opened, lost or closed).
    void ForgetIodineStatus();
    void FeedLabelCaption(TLabelTarget target, const QString& caption);

    void SimpleButtonPressed(QToolButton* button, QToolButton* other, int peakNumber, bool down);
    QColor ButtonFaceColor() const;

    std::unique_ptr<Ui::TMainForm> ui;
    QWidget* FClient = nullptr;                       // the client area, inside FClientScroll
    QScrollArea* FClientScroll = nullptr;             // fills the window
    bool FScreenWatched = false;                      // FitToScreen follows the window's screen
    std::array<QPixmap, 10> FSimpleButtonPictures;    // picture N-1 for peak number N
    TServicePanelFrame* FServicePanelFrame = nullptr; // owned by ServicePanel
    TTestPage* FTestPage = nullptr;                   // owned by TestTabSheet
    TStabilityView* FStabilityView = nullptr;         // owned by ChartsPageControl
    std::unique_ptr<TChartFeeders> FCharts;
    bool FDestroyed = false;
    // Link health.
    bool FStoppingReceiveThread = false; // inside TerminateReceiveThread's wait
    bool FLinkLost = false;              // lost and closed; looking for FLostDevice
    bool FLinkLostPending = false; // lost during a firmware run: handled when the run has ended
    TDeviceID FLostDevice;
    TSilenceWatch FSilenceWatch;
    QElapsedTimer FHealthClock;
    int FLaserHeadState = -1;
    bool FAutoConnecting = false; // inside the watchdog's connect
    // Reconnected by itself after a loss while the laser ran: the status waits for the first
    // frequency report to say whether the laser still runs.
    bool FAwaitingRunning = false;
    bool FButtonsOffForLaser = false; // the simple buttons are off while the laser seemed off
    TLinkEventsView* FLinkEventsView = nullptr;     // owned by its chart page
    std::vector<QPointer<QWidget>> FDisabledForRun; // what a firmware run disabled
};

// The one operator window; set while it exists.
extern TMainForm* MainForm;
