#include "monitor/StatusModelUnit.h"

TStatusModel* StatusModel = nullptr;

TStatusModel::TStatusModel(QObject* parent) : QObject(parent) {
    qRegisterMetaType<TStatusSnapshot>();
}

void TStatusModel::Update(const TStatusSnapshot& snapshot) {
    if (snapshot == FSnapshot) {
        return;
    }
    FSnapshot = snapshot;
    emit Changed(FSnapshot);
}

void TStatusModel::FrequencyReport(double differenceHz, double power) {
    FrequencyReportAt(QDateTime::currentDateTimeUtc(), differenceHz, power);
}

void TStatusModel::FrequencyReportAt(const QDateTime& utc, double differenceHz, double power) {
    emit FrequencyReported(utc.toUTC(), differenceHz, power);
}

QString TStatusModel::LinkStateName(TLinkState state) {
    switch (state) {
    case TLinkState::_disconnected:
        return QStringLiteral("disconnected");
    case TLinkState::_connected:
        return QStringLiteral("connected");
    case TLinkState::_silent:
        return QStringLiteral("silent");
    case TLinkState::_lost:
        return QStringLiteral("lost");
    }
    return QStringLiteral("unknown");
}
