#pragma once
// The views of the laser-head service frame.
//
//   TServiceLHView         the parameter panel: each button's command, and every decoded answer
//                          of the laser head written back into the panel
//   TServiceChartView      the regulation chart: polls the status stream while switched on
//   TServiceSendFrameView  the frame monitor: shows the frame log while 'ShowFrames' is ticked
//
// Notify runs on the receive thread (or wherever the subject changed) and only posts work to
// the view on the GUI thread; each view is the context of what it posts, so nothing posted runs
// after the view is freed. A view leaves every subject it joined before it is freed.

#include "laser/LaserUnit.h"
#include "laser/ObserverPatternUnit.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <utility>

class QTimer;
class TFrameLog;
class TFrameLogModel;
class TLaser;
class TLaserFrame;

namespace Ui {
class TLaserFrame;
}

class TServiceLHView : public QObject, public TObserver {
    Q_OBJECT
public:
    // How long a laser-state read listens to the status stream.
    static constexpr int LaserStateReadMs = 500;

    // Fills the state and peak lists of the frame, then subscribes to Laser's parameter set.
    explicit TServiceLHView(TLaserFrame* frame);
    ~TServiceLHView() override;

    void Notify(TSubject* Subject) override;

    // The operations behind the frame's buttons.
    void GetSlope();
    void SetSlope();
    void GetEepormErrorCount();
    void SetEepormErrorCount();
    void GetArtOffset();
    void SetArtOffset();
    void GetLaserOperationTime();
    void SetLaserOperationTime();
    void GetLaserStartCount();
    void SetLaserStartCount();
    void GetTimes();
    void GetFirmwareVersion();
    void GetHeaterOptions();
    void SetHeaterOptions();
    void GetSerialNumber();
    void SetSerialNumber();
    void GetPIDParam();
    void SetPIDParam();
    void ChangeStabilizationMode();
    void GetStabilizationOptions();
    void SetStabilizationOptions();
    void GetDACParameters();
    void SetDACParameters();
    // Listens to the status stream for LaserStateReadMs and requests one answer: an answer
    // decoded meanwhile shows its state in the panel, a later one does not. The GUI stays
    // responsive meanwhile; a second read while one is open restarts the window.
    void GetLaserState();
    void SetLaserState();
    void GetWavelength();
    void SetWavelength();
    void GetTestValues();
    void SendStatus();
    // Does nothing (no single request reads every parameter).
    void GetAllParameters();

    // Whether a laser-state read is listening; EndLaserStateRead closes it (its timer's end).
    bool LaserStateReadOpen() const { return FStateReadSubject != nullptr; }
    void EndLaserStateRead();

    // --- the panel's rules, without widgets --------------------------------------------------
    // Row of an option box for a code: 255 -> 0 ("undefined"), a code with a row -> that row,
    // anything else -> -1 (no row; the box shows the code as decimal text).
    static int OptionRow(uint32_t code, int rowCount);
    // Code sent for an option box: no row (free text) -> the text as a decimal integer, 255 if
    // it is none; row 0 -> 255; row n -> n.
    static int64_t OptionCode(int row, const QString& text);
    // The serial-number digit: one hexadecimal digit 0 to F, 0 for anything else.
    static uint8_t SerialDigit(const QString& text);
    // Firmware version "model.NN" (NN two upper-case hex digits), e.g. 2 and 0x1A give 2.1A.
    static QString FirmwareVersionText(const TLHSerialNumber& version);
    static QString TestValuesText(int32_t t1, int32_t t2, int32_t t3, int32_t t4, int32_t t5,
                                  int32_t t6);
    // "Signal amp. " and the amplification with two decimals and the locale's separator.
    static QString SignalAmplificationText(double amplification);
    static QString SignalOffsetText(int32_t offset);

private:
    // The parameter set and the frame's controls; both null when either is missing.
    std::pair<TLHParameters*, Ui::TLaserFrame*> Target() const;
    void UpdateState(TServiceStreamParams* stream);
    void UpdateParameters();
    bool FrameShowing() const;

    TLaser* FLaser = nullptr;
    QPointer<TLaserFrame> FLaserFrame;
    TLHParameters* FSubscribed = nullptr;
    QTimer* FStateReadTimer = nullptr;
    TServiceStreamParams* FStateReadSubject = nullptr;
};

class TServiceChartView : public QObject, public TObserver {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 200;
    // Samples kept per series: 20 s at the poll rate.
    static constexpr int PointLimit = 100;

    explicit TServiceChartView(TLaserFrame* frame);
    ~TServiceChartView() override;

    bool ShowData() const { return FShowData; }
    // On: polls the status stream every 200 ms and shows each answer; off: neither.
    void SetShowData(bool value);

    void Notify(TSubject* Subject) override;

    // The poll: one status-stream request.
    void FTimerTimer();
    QTimer* Timer() const { return FTimer; }

private:
    void UpdateChart(TServiceStreamParams* stream);

    TLaser* FLaser = nullptr;
    QPointer<TLaserFrame> FLaserFrame;
    bool FShowData = false;
    QTimer* FTimer = nullptr;
    TServiceStreamParams* FSubscribed = nullptr;
};

class TServiceSendFrameView : public QObject, public TObserver {
    Q_OBJECT
public:
    // The monitor refreshes at most this often, however fast frames arrive.
    static constexpr int RefreshIntervalMs = 40;

    // Shows frames of log (the program's FrameLog by default) in the frame's list.
    explicit TServiceSendFrameView(TLaserFrame* frame, TFrameLog* log = nullptr);
    ~TServiceSendFrameView() override;

    bool ShowFrames() const { return FShowFrames; }
    // On: follows the log (first with what it still holds from where the list stopped); off:
    // the list stands still.
    void SetShowFrames(bool value);
    // Empties the list; the frames shown next are those recorded from now on.
    void ClearFrames();

    void Notify(TSubject* Subject) override;

    // Takes the frames recorded since the last refresh into the list now.
    void Refresh();
    TFrameLogModel* Model() const { return FModel; }

private:
    void ScheduleRefresh();

    TFrameLog* FLog = nullptr;
    QPointer<TLaserFrame> FLaserFrame;
    bool FShowFrames = false;
    bool FSubscribed = false;
    std::atomic<bool> FRefreshPosted{false};
    QTimer* FRefreshTimer = nullptr;
    QElapsedTimer FSinceRefresh;
    uint64_t FCursor = 0;
    TFrameLogModel* FModel = nullptr;
};
