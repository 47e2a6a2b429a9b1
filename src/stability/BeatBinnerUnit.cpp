#include "stability/BeatBinnerUnit.h"

#include "monitor/StatusModelUnit.h"

#include <cmath>

TBeatBinner::TBeatBinner(QObject* parent) : QObject(parent) {
    qRegisterMetaType<TBeatBin>();
}

void TBeatBinner::Attach(TStatusModel* model) {
    if (FConnection) {
        disconnect(FConnection);
    }
    if (FChangeConnection) {
        disconnect(FChangeConnection);
    }
    FModel = model;
    FStatusKnown = false;
    if (model != nullptr) {
        FConnection = connect(
            model, &TStatusModel::FrequencyReported, this,
            [this](const QDateTime& utc, double hz, double power) { AddReport(utc, hz, power); });
        FChangeConnection =
            connect(model, &TStatusModel::Changed, this, [this](const TStatusSnapshot& s) {
                StatusChanged(s.TuningStatus, s.LockedPeak, s.FreqDifferenceSetHz);
            });
        const TStatusSnapshot& s = model->Snapshot();
        StatusChanged(s.TuningStatus, s.LockedPeak, s.FreqDifferenceSetHz);
    }
}

void TBeatBinner::StatusChanged(int tuningStatus, QChar lockedPeak, double setPointHz) {
    const bool locked = tuningStatus == 3;
    const QChar peak = locked ? lockedPeak : QChar();
    // A status or a set point told for the first time (at the start, or on a model without
    // reports yet) says what was so all along: no change.
    const bool lockChanged =
        FStatusKnown && FTuningStatus >= 0 && (locked != FLocked || peak != FPeak);
    const bool setPointChanged = FStatusKnown && FSetPointHz != 0 && setPointHz != FSetPointHz;
    FStatusKnown = true;
    FTuningStatus = tuningStatus;
    FLocked = locked;
    FPeak = peak;
    FSetPointHz = setPointHz;
    if (!lockChanged && !setPointChanged) {
        return;
    }
    if (FCount > 0) {
        FOpenSteady = false;
    } else {
        FNextUnsteady = true;
    }
}

int64_t TBeatBinner::SecondOf(const QDateTime& utc) {
    const int64_t ms = utc.toMSecsSinceEpoch();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

QList<TBeatBin> TBeatBinner::AddReport(const QDateTime& utc, double hz, double power) {
    if (!utc.isValid() || !std::isfinite(hz) || !std::isfinite(power)) {
        ++FDropped;
        return {};
    }
    const int64_t second = SecondOf(utc);
    QList<TBeatBin> closed;
    if (FCount > 0) {
        if (second < FSecond) {
            ++FDropped;
            return {};
        }
        if (second > FSecond) {
            closed = CloseOpen();
        }
    }
    if (FCount == 0) {
        FSecond = second;
        FSumHz = 0;
        FSumPower = 0;
        FOpenSteady = !FNextUnsteady;
        FNextUnsteady = false;
        FOpenLocked = FLocked;
        FOpenPeak = FPeak;
        FOpenSetPointHz = FSetPointHz;
    }
    ++FCount;
    FSumHz += hz;
    FSumPower += power;
    return closed;
}

QList<TBeatBin> TBeatBinner::CloseUpTo(const QDateTime& utc) {
    if (FCount == 0 || !utc.isValid() || SecondOf(utc) <= FSecond) {
        return {};
    }
    return CloseOpen();
}

void TBeatBinner::Reset() {
    FCount = 0;
    FSumHz = 0;
    FSumPower = 0;
}

QList<TBeatBin> TBeatBinner::CloseOpen() {
    TBeatBin bin;
    bin.Start = QDateTime::fromSecsSinceEpoch(FSecond, Qt::UTC);
    bin.Reports = FCount;
    bin.MeanHz = FSumHz / FCount;
    bin.MeanPower = FSumPower / FCount;
    bin.Steady = FOpenSteady;
    bin.Locked = FOpenSteady && FOpenLocked;
    bin.Peak = bin.Locked ? FOpenPeak : QChar();
    bin.SetPointHz = FOpenSteady ? FOpenSetPointHz : 0;
    FCount = 0;
    FSumHz = 0;
    FSumPower = 0;
    emit BinClosed(bin);
    return {bin};
}
