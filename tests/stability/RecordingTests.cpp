#include "stability/RecordingUnit.h"
#include "stability/StabilityFileUnit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QDateTime At(int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(1796774400000LL + ms, Qt::UTC);
}

// The rows after the header block (which is checked on its own), in the system's own line ends.
QStringList Lines(const QString& path, bool withHeaderBlock = false) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    while (!withHeaderBlock && !lines.isEmpty() && lines.front().startsWith(QLatin1Char('#'))) {
        lines.removeFirst();
    }
    return lines;
}

TStatusSnapshot Locked() {
    TStatusSnapshot s;
    s.TuningStatus = 3;
    s.LockedPeak = QLatin1Char('f');
    s.LaserHeadState = 4;
    s.CFT = -12.25;
    return s;
}

} // namespace

TEST(Recording, BinsAndEventsBecomeRowsInTheFileAtOnceAndReadBackWithTheirGaps) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    TStatusModel status;
    status.Update(Locked());
    TLinkEvents events;
    events.SetClock([] { return At(1500); });
    TBeatBinner binner;
    TStabilityRecorder rec;
    rec.Attach(&binner, &status, &events);
    QString error;
    ASSERT_TRUE(rec.Start(path, &error)) << error.toStdString();
    binner.Attach(&status);

    status.FrequencyReportAt(At(100), 150000123, 3000);
    status.FrequencyReportAt(At(600), 150000124, 3001);
    status.FrequencyReportAt(At(1200), 150000125.125, 2999); // closes second 0
    // the row is on disk before anything else happens
    QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("kind,time_utc,beat_hz,reports,power,tuning_status,"
                                       "locked_peak,laser_head_state,cft_c,event,text"));
    EXPECT_EQ(lines[1],
              QStringLiteral("bin,2026-12-09T00:00:00Z,150000123.5,2,3000.5,3,f,4,-12.25,,"));

    events.Add(TLinkEventKind::_lock_lost, QStringLiteral("lock lost, status \"2\""), 2);
    status.FrequencyReportAt(At(3100), 150000126, 3000); // second 2 has no report
    binner.CloseUpTo(At(4000));
    rec.Stop();
    EXPECT_FALSE(rec.IsRecording());
    lines = Lines(path);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], QStringLiteral("event,2026-12-09T00:00:01.500Z,,,,3,f,4,-12.25,lock_lost,"
                                       "\"lock lost, status \"\"2\"\"\""));
    EXPECT_TRUE(lines[3].startsWith(QLatin1String("bin,2026-12-09T00:00:01Z,150000125.125,1,")));
    EXPECT_TRUE(lines[4].startsWith(QLatin1String("bin,2026-12-09T00:00:03Z,150000126,1,")));
    EXPECT_EQ(rec.BinRows(), 3);
    EXPECT_EQ(rec.EventRows(), 1);

    TStabilityFileData data;
    ASSERT_TRUE(ReadStabilityFile(path, 1, 1.0, &data, &error)) << error.toStdString();
    EXPECT_EQ(data.Kind, TStabilityFileKind::_recording);
    ASSERT_EQ(data.Y.size(), 4u);
    EXPECT_DOUBLE_EQ(data.Y[0], 150000123.5);
    EXPECT_TRUE(std::isnan(data.Y[2]));

    // no longer recording: rows are ignored, the file stays as it is
    rec.AddBin(TBeatBin{At(9000), 1, 1, 1}, Locked());
    EXPECT_EQ(Lines(path).size(), 5);
}

TEST(Recording, UnknownStatusLeavesItsColumnsEmpty) {
    TBeatBin bin{At(0), 1.5, 1, 2};
    EXPECT_EQ(TStabilityRecorder::BinRow(bin, TStatusSnapshot()),
              QStringLiteral("bin,2026-12-09T00:00:00Z,1.5,1,2,,,,0,,"));
}

TEST(Recording, AFileThatCannotTakeTheHeaderIsNeverStarted) {
    TStabilityRecorder rec;
    QString error;
    EXPECT_FALSE(rec.Start(QStringLiteral("/dev/full"), &error));
    EXPECT_TRUE(error.startsWith(QLatin1String("/dev/full: "))) << error.toStdString();
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_FALSE(rec.Start(QStringLiteral("/nonexistent/dir/run.csv"), &error));
    EXPECT_FALSE(rec.IsRecording());
}

#ifndef _WIN32 // a file-size limit stands in for the full disk
TEST(Recording, AFullDiskDuringTheRunClosesTheRecordingWithAMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    TStabilityRecorder rec;
    QSignalSpy stopped(&rec, &TStabilityRecorder::Stopped);
    ASSERT_TRUE(rec.Start(path));
    // The file may grow by a few rows only: the system refuses the write beyond (EFBIG), as it
    // refuses one on a full disk.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size() + 300);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int rows = 0;
    for (; rows < 100 && rec.IsRecording(); ++rows) {
        rec.AddBin(TBeatBin{At(1000 * rows), 150000000.0 + rows, 1, 3000}, Locked());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_LT(rows, 100);
    ASSERT_EQ(stopped.size(), 1);
    const QString message = stopped[0][0].toString();
    EXPECT_TRUE(message.startsWith(QStringLiteral("Recording stopped: ") + path))
        << message.toStdString();
    // what was written before stays readable
    TStabilityFileData data;
    QString error;
    EXPECT_TRUE(ReadStabilityFile(path, 1, 1.0, &data, &error)) << error.toStdString();
    EXPECT_GE(static_cast<int>(data.Y.size()), 1);
}
#endif

TEST(Recording, AVanishedFolderClosesTheRecordingWithAMessage) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkpath(folder));
    TStabilityRecorder rec;
    QSignalSpy stopped(&rec, &TStabilityRecorder::Stopped);
    ASSERT_TRUE(rec.Start(folder + QStringLiteral("/run.csv")));
    rec.AddBin(TBeatBin{At(0), 1, 1, 1}, Locked());
    EXPECT_TRUE(rec.IsRecording());
    ASSERT_TRUE(QDir(folder).removeRecursively());
    rec.AddBin(TBeatBin{At(1000), 1, 1, 1}, Locked());
    EXPECT_FALSE(rec.IsRecording());
    ASSERT_EQ(stopped.size(), 1);
    EXPECT_TRUE(stopped[0][0].toString().contains(QLatin1String("gone")));
    // the operator's stop afterwards changes nothing
    rec.Stop();
    EXPECT_EQ(stopped.size(), 1);
}

// A bin is marked locked only when the laser was locked on its peak for the whole bin; the file
// starts with its header block, whose end and skipped bins are filled in at the stop.
TEST(Recording, OnlyBinsLockedThroughoutAreMarkedAndTheHeaderBlockNamesTheRecord) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    TStatusSnapshot locked = Locked(), searching = Locked();
    locked.FreqDifferenceSetHz = searching.FreqDifferenceSetHz = 150e6;
    searching.TuningStatus = 2;
    searching.LockedPeak = QChar();
    TStatusModel status;
    status.Update(searching);
    TBeatBinner binner;
    binner.Attach(&status);
    TStabilityRecorder rec;
    rec.Attach(&binner, &status, nullptr);
    ASSERT_TRUE(rec.Start(path));

    // second 0: searching, locked at 0.8 s; 1: locked throughout; 2 and 3: no report;
    // 4: the set point changes in it; 5: locked throughout again.
    status.FrequencyReportAt(At(100), 151000000.5, 3000);
    status.FrequencyReportAt(At(600), 151000000.5, 3000);
    status.Update(locked);
    status.FrequencyReportAt(At(1100), 150000000.5, 3000);
    status.FrequencyReportAt(At(4100), 150000000.5, 3000);
    locked.FreqDifferenceSetHz = 200e6;
    status.Update(locked);
    status.FrequencyReportAt(At(5100), 200000000.5, 3000);
    binner.CloseUpTo(At(6000));
    EXPECT_EQ(Lines(path).mid(1).join('\n').toStdString(),
              "bin,2026-12-09T00:00:00Z,151000000.5,2,3000,,,4,-12.25,,\n"
              "bin,2026-12-09T00:00:01Z,150000000.5,1,3000,3,f,4,-12.25,,\n"
              "bin,2026-12-09T00:00:04Z,150000000.5,1,3000,,,4,-12.25,,\n"
              "bin,2026-12-09T00:00:05Z,200000000.5,1,3000,3,f,4,-12.25,,");

    // The block while recording and after the stop (its late fields have their room reserved).
    const auto block = [&] { return Lines(path, true).mid(0, 8).join('\n'); };
    const QString want = QStringLiteral(
        "^# Halvane measurement recording\n# start_utc: %1\n# end_utc: %2 *\n# tau0_s: 1\n"
        "# peak: none\n# set_point: 150\\.000 MHz\n# skipped_bins: %3 *\n# intervals: .+$");
    const QString utc = QStringLiteral(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    const QString recording = QStringLiteral(R"(\(recording\))");
    EXPECT_TRUE(QRegularExpression(want.arg(utc, recording, recording)).match(block()).hasMatch())
        << block().toStdString();
    rec.Stop();
    EXPECT_TRUE(QRegularExpression(want.arg(utc, utc, "2")).match(block()).hasMatch())
        << block().toStdString();
    EXPECT_EQ(rec.SkippedBins(), 2);
}
