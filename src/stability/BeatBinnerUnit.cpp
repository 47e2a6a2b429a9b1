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
    FModel = model;
    if (model != nullptr) {
        FConnection = connect(
            model, &TStatusModel::FrequencyReported, this,
            [this](const QDateTime& utc, double hz, double power) { AddReport(utc, hz, power); });
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
    FCount = 0;
    FSumHz = 0;
    FSumPower = 0;
    emit BinClosed(bin);
    return {bin};
}
