#pragma once
// The laser head's status on the main window: its state text, "ready" / "not ready", and on the
// simple page the locked frequency. While switched on it asks the laser head for its status
// every 200 ms (only a controller of kind 111111 has a laser head) and shows every answer.

#include "laser/LaserUnit.h"
#include "laser/ObserverPatternUnit.h"

#include <QColor>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QTimer;
class TLaser;
class TRealSpinEdit;

namespace LaserHeNeColors {
inline const QColor Ready{0, 128, 0};            // green: ready, the frequency is known
inline const QColor NotReady{243, 105, 113};     // light red
inline const QColor ReadyNoValue{176, 196, 222}; // ready, but no frequency to show
} // namespace LaserHeNeColors

// What the window knows of the iodine laser: its latest tuning status (-1 none since the link
// opened) and, while that status is "tuning - locked", the peak the lock report named (null when
// it named none).
struct TIodineLock {
    int Status = -1;
    QChar Peak;
    bool Locked() const { return Status == 3; }
};

// Written after a locked frequency (the sum of two frequencies in MHz).
inline const QString LaserHeNeFrequencyUnit = QStringLiteral(" MHz");

// What one status-stream answer shows on the main window.
struct TLaserHeNeStatus {
    QString StateText;                // LaserHeNeStateValueLabel
    QString StatusText;               // StatusHeNeLabel: "ready" / "not ready"
    std::optional<QString> PanelText; // SimpleStatusHeNePanel; none: the text stays as it is
    QColor PanelColor;                // SimpleStatusHeNePanel
};

// The laser head is ready in state measurement. Ready while the iodine laser's latest status is
// "tuning - locked" on peak f or j: "locked - " + (that peak's frequency + freqDifference, three
// decimals, the locale's separator) + " MHz" in green. Ready in any other case: what is known of
// the iodine laser, never a frequency, never in green. The peak frequencies are asked for only
// when needed.
TLaserHeNeStatus LaserHeNeStatus(TLaserState state, const TIodineLock& iodine,
                                 const std::function<double()>& fPeakValue,
                                 const std::function<double()>& jPeakValue,
                                 const std::function<double()>& freqDifference);

// The main-window controls the view writes and reads; a control that is missing (or already
// gone) is skipped.
struct TLaserHeNeStatusControls {
    QPointer<QLabel> LaserHeNeStateValueLabel;
    QPointer<QLabel> StatusHeNeLabel;
    QPointer<QLabel> SimpleStatusHeNePanel;
    QPointer<TRealSpinEdit> FreqDifference1RealSpinEdit;
    // Frequencies of peaks f and j from the window's peak table (MHz).
    std::function<double()> GetFPeakValue;
    std::function<double()> GetJPeakValue;
    // How the window paints its status panels; by default the panel's own background.
    std::function<void(QLabel*, const QColor&)> SetPanelColor;
    // Told the laser head's state (and its text) each time the status is shown.
    std::function<void(TLaserState, const QString&)> StateShown;
    // The iodine laser's latest status and locked peak; none: nothing is known of it.
    std::function<TIodineLock()> IodineLock;
};

class TLaserHeNeChartView : public QObject, public TObserver {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 200;

    explicit TLaserHeNeChartView(TLaserHeNeStatusControls controls);
    ~TLaserHeNeChartView() override;

    bool ShowData() const { return FShowData; }
    // On: polls every 200 ms and shows each answer; off: neither.
    void SetShowData(bool value);

    void Notify(TSubject* Subject) override;

    // The poll: one status-stream request, only to a controller of kind 111111.
    void FTimerTimer();
    QTimer* Timer() const { return FTimer; }
    // What the poll does once it has decided to ask: the status-stream request by default;
    // replaceable so that the decision can be watched apart from the frame sender.
    void SetPollRequest(std::function<void()> request) { FPollRequest = std::move(request); }

    // Writes the status of stream into the main window's controls.
    void UpdateStatus(TServiceStreamParams* stream);
    // The iodine laser's status changed: the last shown state of the laser head is shown again
    // with it (nothing while no state has been shown since ForgetState).
    void IodineChanged();
    // The link is gone: the laser head's state is no longer known.
    void ForgetState() { FLastState.reset(); }

    // The panel painting used when the window supplies none.
    static void PaintPanel(QLabel* panel, const QColor& color);

private:
    TLaserHeNeStatusControls FControls;
    TLaser* FLaser = nullptr;
    bool FShowData = false;
    QTimer* FTimer = nullptr;
    TServiceStreamParams* FSubscribed = nullptr;
    std::function<void()> FPollRequest;
    std::optional<TLaserState> FLastState;

    void Show(TLaserState state);
};
