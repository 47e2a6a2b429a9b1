#include "stability/RecordingUnit.h"

#include "stability/StabilityFileUnit.h"

#include <QFileInfo>
#include <QLocale>

namespace {

QString Number(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString StatusColumns(const TStatusSnapshot& s) {
    QString row;
    row += (s.TuningStatus >= 0 ? QString::number(s.TuningStatus) : QString()) + QLatin1Char(',');
    row += (s.LockedPeak.isNull() ? QString() : QString(s.LockedPeak)) + QLatin1Char(',');
    row +=
        (s.LaserHeadState >= 0 ? QString::number(s.LaserHeadState) : QString()) + QLatin1Char(',');
    row += Number(s.CFT);
    return row;
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
QString Field(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    QString t = text;
    t.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

} // namespace

TStabilityRecorder::TStabilityRecorder(QObject* parent) : QObject(parent) {}

TStabilityRecorder::~TStabilityRecorder() {
    if (FFile) {
        FFile->flush();
        FFile->close();
    }
}

QString TStabilityRecorder::BinRow(const TBeatBin& bin, const TStatusSnapshot& status) {
    return QStringLiteral("bin,") +
           bin.Start.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("Z,") + Number(bin.MeanHz) + QLatin1Char(',') +
           QString::number(bin.Reports) + QLatin1Char(',') + Number(bin.MeanPower) +
           QLatin1Char(',') + StatusColumns(status) + QStringLiteral(",,");
}

QString TStabilityRecorder::EventRow(const TLinkEvent& event, const TStatusSnapshot& status) {
    return QStringLiteral("event,") + TLinkEvent::FormatTime(event.Time) + QStringLiteral(",,,,") +
           StatusColumns(status) + QLatin1Char(',') + TLinkEvent::KindName(event.Kind) +
           QLatin1Char(',') + Field(event.Text);
}

bool TStabilityRecorder::Start(const QString& fileName, QString* error) {
    if (FFile) {
        Stop();
    }
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(fileName, file->errorString());
        }
        return false;
    }
    const QByteArray header = QByteArray(RecordingHeader) + ",text\n";
    if (file->write(header) != header.size() || !file->flush()) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(fileName, file->errorString());
        }
        file->close();
        return false;
    }
    FFile = std::move(file);
    FFileName = fileName;
    FBinRows = FEventRows = 0;
    return true;
}

void TStabilityRecorder::Stop() {
    if (!FFile) {
        return;
    }
    const bool flushed = FFile->flush();
    const QString reason = FFile->errorString();
    FFile->close();
    FFile.reset();
    emit Stopped(flushed ? QString()
                         : QStringLiteral("Recording stopped: %1: %2").arg(FFileName, reason));
}

void TStabilityRecorder::Fail(const QString& reason) {
    if (FFile) {
        FFile->close();
        FFile.reset();
    }
    emit Stopped(QStringLiteral("Recording stopped: %1: %2").arg(FFileName, reason));
}

void TStabilityRecorder::Write(const QString& row) {
    if (!FFile) {
        return;
    }
    const QByteArray line = row.toUtf8() + '\n';
    if (FFile->write(line) != line.size() || !FFile->flush()) {
        Fail(FFile->errorString());
        return;
    }
    // A removed folder does not make writes fail on every system: look for the file itself.
    if (!QFileInfo::exists(FFileName)) {
        Fail(QStringLiteral("the file or its folder is gone"));
    }
}

void TStabilityRecorder::AddBin(const TBeatBin& bin, const TStatusSnapshot& status) {
    if (!FFile) {
        return;
    }
    ++FBinRows;
    Write(BinRow(bin, status));
}

void TStabilityRecorder::AddEvent(const TLinkEvent& event, const TStatusSnapshot& status) {
    if (!FFile) {
        return;
    }
    ++FEventRows;
    Write(EventRow(event, status));
}

void TStabilityRecorder::Attach(TBeatBinner* binner, TStatusModel* status, TLinkEvents* events) {
    for (const QMetaObject::Connection& c : FConnections) {
        disconnect(c);
    }
    FConnections.clear();
    FStatus = status;
    auto snapshot = [this] { return FStatus ? FStatus->Snapshot() : TStatusSnapshot(); };
    if (binner) {
        FConnections << connect(binner, &TBeatBinner::BinClosed, this,
                                [this, snapshot](const TBeatBin& b) { AddBin(b, snapshot()); });
    }
    if (events) {
        FConnections << connect(events, &TLinkEvents::EventAdded, this,
                                [this, snapshot](const TLinkEvent& e) { AddEvent(e, snapshot()); });
    }
    if (status) {
        FConnections << connect(status, &QObject::destroyed, this, [this] { FStatus = nullptr; });
    }
}
