#pragma once
// The measurement recording: a CSV file of the operator's choice with a header line, one row per
// 1-s bin of the beat note (UTC time, mean beat in Hz at full resolution, reports, mean signal
// power, tuning status, locked peak, laser-head state, cold-finger temperature) and one row per
// event of the link and the lock. Every row is handed to the system at once (a crash of the
// program loses at most the row being written); a write that fails (full disk, a folder that
// vanished) closes the recording and says why through Stopped. GUI thread only.
//
// The file starts with a header block of '#' lines: start and end UTC, tau0, peak and set point
// at the start, skipped bins and how the intervals are made. The end and the skipped bins are
// written into their reserved places when the recording stops. A bin row names the locked peak
// only when the laser was locked on it for the whole bin, and the tuning status only when it
// held for the whole bin. An event row carries the state after the event.

#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "stability/BeatBinnerUnit.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class TStabilityRecorder : public QObject {
    Q_OBJECT
public:
    explicit TStabilityRecorder(QObject* parent = nullptr);
    ~TStabilityRecorder() override;

    // Creates (replaces) the file and writes the header. False with a reason when it cannot.
    bool Start(const QString& fileName, QString* error = nullptr);
    // Closes the file (the operator's stop); Stopped is emitted with an empty message.
    void Stop();
    bool IsRecording() const { return FFile != nullptr; }
    QString FileName() const { return FFileName; }
    int64_t BinRows() const { return FBinRows; }
    int64_t SkippedBins() const { return FSkippedBins; }
    int64_t EventRows() const { return FEventRows; }

    // Rows; ignored while not recording. The status columns come from the snapshot.
    void AddBin(const TBeatBin& bin, const TStatusSnapshot& status);
    void AddEvent(const TLinkEvent& event, const TStatusSnapshot& status);

    // Subscribes to closed bins and to events, reading the status model's snapshot for each
    // row (any of them may be null).
    void Attach(TBeatBinner* binner, TStatusModel* status, TLinkEvents* events);

    // The rows as written (without the line end), for tests and readers.
    static QString BinRow(const TBeatBin& bin, const TStatusSnapshot& status);
    static QString EventRow(const TLinkEvent& event, const TStatusSnapshot& status);

signals:
    // The recording ended: empty message for Stop, otherwise what went wrong.
    void Stopped(const QString& message);

private:
    void Write(const QString& row);
    void Fail(const QString& reason);
    // The header block's reserved fields, written in place.
    void WriteHeaderEnd();

    qint64 FEndFieldAt = -1;
    qint64 FSkippedFieldAt = -1;
    int64_t FSkippedBins = 0;
    int64_t FLastBinSecond = 0;
    bool FAnyBin = false;

    std::unique_ptr<QFile> FFile;
    QString FFileName;
    int64_t FBinRows = 0;
    int64_t FEventRows = 0;
    TStatusModel* FStatus = nullptr;
    QList<QMetaObject::Connection> FConnections;
};
