#include "stability/RecordingUnit.h"

#include "stability/StabilityFileUnit.h"

#include <QFileInfo>
#include <QLocale>

namespace {

QString Number(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString StatusColumns(const TStatusSnapshot& s, int tuningStatus, QChar lockedPeak) {
    QString row;
    row += (tuningStatus >= 0 ? QString::number(tuningStatus) : QString()) + QLatin1Char(',');
    row += (lockedPeak.isNull() ? QString() : QString(lockedPeak)) + QLatin1Char(',');
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

QString Padded(const QString& text) {
    return text.leftJustified(TRecordHeader::FieldWidth, QLatin1Char(' '), true);
}

QString UtcText(const QDateTime& t) {
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

} // namespace

TStabilityRecorder::TStabilityRecorder(QObject* parent) : QObject(parent) {}

TStabilityRecorder::~TStabilityRecorder() {
    if (FFile) {
        WriteHeaderEnd();
        FFile->flush();
        FFile->close();
    }
}

void TStabilityRecorder::WriteHeaderEnd() {
    if (!FFile || FEndFieldAt < 0)
        return;
    const qint64 end = FFile->pos();
    const QByteArray endText = Padded(UtcText(QDateTime::currentDateTimeUtc())).toLatin1();
    const QByteArray skipped = Padded(QString::number(FSkippedBins)).toLatin1();
    FFile->seek(FEndFieldAt);
    FFile->write(endText);
    FFile->seek(FSkippedFieldAt);
    FFile->write(skipped);
    FFile->seek(end);
    FEndFieldAt = FSkippedFieldAt = -1;
}

QString TStabilityRecorder::BinRow(const TBeatBin& bin, const TStatusSnapshot& status) {
    // The status and the peak only as they held for the whole bin.
    const int tuning = bin.Steady ? status.TuningStatus : -1;
    const QChar peak = bin.Locked ? bin.Peak : QChar();
    return QStringLiteral("bin,") +
           bin.Start.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("Z,") + Number(bin.MeanHz) + QLatin1Char(',') +
           QString::number(bin.Reports) + QLatin1Char(',') + Number(bin.MeanPower) +
           QLatin1Char(',') + StatusColumns(status, tuning, peak) + QStringLiteral(",,");
}

QString TStabilityRecorder::EventRow(const TLinkEvent& event, const TStatusSnapshot& status) {
    return QStringLiteral("event,") + TLinkEvent::FormatTime(event.Time) + QStringLiteral(",,,,") +
           StatusColumns(status, status.TuningStatus, status.LockedPeak) + QLatin1Char(',') +
           TLinkEvent::KindName(event.Kind) + QLatin1Char(',') + Field(event.Text);
}

namespace {
// Where a place of the written text lies in the file: a text file on Windows gets "\r\n" for
// every "\n" before it.
qint64 FileOffset(const QByteArray& text, qsizetype at) {
#ifdef Q_OS_WIN
    return at + text.left(at).count('\n');
#else
    Q_UNUSED(text);
    return at;
#endif
}
} // namespace

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
    TRecordHeader block;
    block.Title = QStringLiteral("Halvane measurement recording");
    block.StartUtc = UtcText(QDateTime::currentDateTimeUtc());
    block.EndUtc = Padded(QStringLiteral("(recording)"));
    const TStatusSnapshot now = FStatus ? FStatus->Snapshot() : TStatusSnapshot();
    block.Peak = now.TuningStatus == 3 && !now.LockedPeak.isNull() ? QString(now.LockedPeak)
                                                                   : QStringLiteral("none");
    block.SetPoint = now.FreqDifferenceSetHz > 0
                         ? QStringLiteral("%1 MHz").arg(now.FreqDifferenceSetHz / 1e6, 0, 'f', 3)
                         : QStringLiteral("unknown");
    block.SkippedBins = Padded(QStringLiteral("(recording)"));
    const QByteArray blockText = RecordHeaderText(block).toUtf8();
    const QByteArray header = blockText + QByteArray(RecordingHeader) + ",text\n";
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
    FSkippedBins = 0;
    FAnyBin = false;
    FEndFieldAt = FileOffset(blockText, blockText.indexOf("# end_utc: ") + 11);
    FSkippedFieldAt = FileOffset(blockText, blockText.indexOf("# skipped_bins: ") + 16);
    return true;
}

void TStabilityRecorder::Stop() {
    if (!FFile) {
        return;
    }
    WriteHeaderEnd();
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
    const int64_t second = bin.Second();
    if (FAnyBin && second > FLastBinSecond)
        FSkippedBins += second - FLastBinSecond - 1;
    FAnyBin = true;
    FLastBinSecond = second;
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
