#pragma once
// What the controller boards' frames do to the main window, as operations with decoded values.
//
// The receive thread decodes; these operations apply the values and always run on the GUI
// thread (queued or synchronised as each code demands). The main window implements this
// interface; the tests implement it with a recorder.

#include <QString>

#include <cstdint>

// Numeric fields the decoders fill (each a real-number spin edit of the main window).
enum class TSpinTarget {
    Phase,
    Delay,
    PathGain,
    CFT,
    P,
    I,
    D,
    PidGain,
    SetPoint,
    CFTTemp10,
    CFTTemp40,
    CFTOffset,
    Modulation,
    FOffset,
    FreqDifference1,
    FreqDifference2,
    DSPP,
    DSPI,
    DSPD,
    Lifetime,
    MirrorSwing1,
    MirrorSwing2,
    MirrorSwing3,
    OutSignalPeriod,
    MirrorsUsage,
};

// Labels whose caption the decoders set.
enum class TLabelTarget {
    CFTValue,           // CFTValueLabel
    CFTRaw,             // CFTRawLabel
    Lifetime,           // LifetimeLabel
    PeakId,             // PeakIdLabel
    FirmwareVersionIL,  // ReadFirmwareVersionILLabel
    FirmwareVersionDSP, // ReadFirmwareVersionDSPLabel
};

// The two mirror-position bars (0 to 100).
enum class TBarTarget { TuningMirror, StabilizationMirror };

class TControllerReceiver {
public:
    virtual ~TControllerReceiver() = default;

    // A frame failed its checksum: CRCErrorCounter + 1, shown in CRCErrorsLabel.
    virtual void CRCError() = 0;

    // Sample operations (they chart and log).
    virtual void AddErrorSignalSample(uint16_t raw) = 0;
    virtual void AddServiceSample(int16_t value) = 0;
    virtual void AddTestSample(uint16_t t1, uint16_t t2, uint16_t t3, uint16_t t4) = 0;
    virtual void AddFreqDiffSample(int32_t freqDiffHz, uint16_t power) = 0;

    // Tuning workflow.
    virtual void ShowTuningStatus(uint16_t state) = 0;
    virtual void ExpectedPeaks(uint16_t mask) = 0;
    virtual void ChangePeakOffset(int16_t offsetKHz) = 0;
    virtual void SetPeakLabelByIndex(int peak) = 0;
    virtual void SwitchCFTCalibrationMode() = 0;

    // Plain control updates.
    virtual void SetSpinValue(TSpinTarget target, double value) = 0;
    virtual void SetLabelCaption(TLabelTarget target, const QString& caption) = 0;
    virtual void SetBarPosition(TBarTarget target, int position) = 0;
    virtual void TickStabilizationCheck() = 0;  // path-gain answer above 2000
    virtual void SetScopeScaleRow(int row) = 0; // -1 = no row
    virtual void SetHarmonicRow(int row) = 0;   // ignored when row is not below the row count
    // DSP firmware answer: unless keepFourthHarmonic, a combo holding more than 3 rows loses
    // its last one.
    virtual void ApplyHarmonicRule(bool keepFourthHarmonic) = 0;

    // The receive thread's polls have failed for failingMs (at least its LinkFailureMs): the
    // adapter no longer answers. Told once per failing stretch, queued.
    virtual void LinkFailed(uint32_t /*failingMs*/) {}

    virtual void Beep() = 0;      // the system's default beep
    virtual void ErrorBeep() = 0; // the system's error (stop) beep
};
