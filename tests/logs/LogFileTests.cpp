// The measurement log writers: bytes on disk, the open sequence, flushing, failures, release.
#include "LogTestSupport.h"

#include "app/GlobalUnit.h"
#include "app/LogUnit.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "protocol/FrameLogUnit.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <optional>

namespace {

class LogFileStreamTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return FDir.filePath(name); }
    // A provider that answers with the given name and records what it was asked.
    TFileNameProvider Answer(const QString& name) {
        return [this, name](const TSaveDialogRequest& request) {
            ++FDialogs;
            FRequest = request;
            return name;
        };
    }
    QTemporaryDir FDir;
    int FDialogs = 0;
    TSaveDialogRequest FRequest;
};

} // namespace

TEST_F(LogFileStreamTest, LinesReachTheDiskAsUtf8WithoutMarkEndedByCrLf) {
    TLogFileStream log(true);
    log.SetFileNameProvider(Answer(Path("freq.txt")));
    ASSERT_TRUE(log.SaveLog(true));
    EXPECT_TRUE(log.FSaveLogFile);
    log.SaveLineToFile("0;12345");
    log.SaveLineToFile(QString::fromUtf8("17;-1 \xc2\xb5"));
    // With automatic flushing every line is on disk while the log is still open.
    EXPECT_EQ(ReadAll(Path("freq.txt")), QByteArray("0;12345\r\n17;-1 \xc2\xb5\r\n"));
    EXPECT_FALSE(log.SaveLog(false));
    EXPECT_FALSE(log.IsOpen());
    log.SaveLineToFile("after close");
    EXPECT_EQ(ReadAll(Path("freq.txt")), QByteArray("0;12345\r\n17;-1 \xc2\xb5\r\n"));
}

TEST_F(LogFileStreamTest, TheDialogOffersTheLogFilterAndTheNameLog) {
    TLogFileStream log(true);
    log.SetFileNameProvider(Answer(Path("a.txt")));
    log.SaveLog(true);
    EXPECT_EQ(FDialogs, 1);
    EXPECT_EQ(FRequest.Filter, "Log File (*.txt)");
    EXPECT_EQ(FRequest.DefaultSuffix, "txt");
    EXPECT_EQ(FRequest.ProposedName, "Log_");
    // Closing asks nothing.
    log.SaveLog(false);
    EXPECT_EQ(FDialogs, 1);
}

TEST_F(LogFileStreamTest, AnExistingFileIsReplaced) {
    {
        QFile old(Path("old.txt"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("a much longer line that was there before\r\n");
    }
    TLogFileStream log(true);
    log.SetFileNameProvider(Answer(Path("old.txt")));
    ASSERT_TRUE(log.SaveLog(true));
    log.SaveLineToFile("1;2");
    EXPECT_EQ(ReadAll(Path("old.txt")), QByteArray("1;2\r\n"));
}

TEST_F(LogFileStreamTest, CancelledOrUnopenableLeavesNoLogOpenAndWritesNothing) {
    TLogFileStream log(true);
    log.SetFileNameProvider(Answer(QString()));
    EXPECT_FALSE(log.SaveLog(true));
    EXPECT_FALSE(log.FSaveLogFile);
    EXPECT_FALSE(log.IsOpen());
    log.SaveLineToFile("lost");

    const QString unopenable = Path("no/such/folder/log.txt");
    log.SetFileNameProvider(Answer(unopenable));
    EXPECT_FALSE(log.SaveLog(true));
    EXPECT_FALSE(log.FSaveLogFile);
    EXPECT_FALSE(log.IsOpen());
    log.SaveLineToFile("lost");
    EXPECT_FALSE(QFileInfo::exists(unopenable));

    // A cancelled dialog while a log runs leaves no log open either.
    log.SetFileNameProvider(Answer(Path("run.txt")));
    ASSERT_TRUE(log.SaveLog(true));
    log.SaveLineToFile("kept");
    log.SetFileNameProvider(Answer(QString()));
    EXPECT_FALSE(log.SaveLog(true));
    EXPECT_FALSE(log.IsOpen());
    log.SaveLineToFile("not written");
    EXPECT_EQ(ReadAll(Path("run.txt")), QByteArray("kept\r\n"));
}

TEST_F(LogFileStreamTest, WithoutAutomaticFlushingLinesGoOutEveryTwentyLines) {
    TLogFileStream log(false);
    log.SetFileNameProvider(Answer(Path("batch.txt")));
    // The counter runs whether or not a log is open.
    for (int i = 0; i < 5; ++i)
        log.SaveLineToFile("before");
    EXPECT_EQ(log.FFlushCounter, 5);
    ASSERT_TRUE(log.SaveLog(true));
    for (int i = 0; i < 14; ++i)
        log.SaveLineToFile(QString::number(i));
    EXPECT_EQ(log.FFlushCounter, 19);
    EXPECT_EQ(ReadAll(Path("batch.txt")), QByteArray());
    log.SaveLineToFile("14");
    EXPECT_EQ(log.FFlushCounter, 0);
    QByteArray expected;
    for (int i = 0; i < 15; ++i)
        expected += QByteArray::number(i) + "\r\n";
    EXPECT_EQ(ReadAll(Path("batch.txt")), expected);
    log.SaveLineToFile("15");
    EXPECT_EQ(ReadAll(Path("batch.txt")), expected);
    // Closing writes out the rest.
    log.SaveLog(false);
    EXPECT_EQ(ReadAll(Path("batch.txt")), expected + "15\r\n");
}

TEST_F(LogFileStreamTest, ReleaseClosesTheLogWithItsLastLines) {
    auto log = std::make_unique<TLogFileStream>(false);
    log->SetFileNameProvider(Answer(Path("end.txt")));
    ASSERT_TRUE(log->SaveLog(true));
    log->SaveLineToFile("1;1");
    log->SaveLineToFile("2;2");
    EXPECT_EQ(ReadAll(Path("end.txt")), QByteArray());
    log.reset();
    EXPECT_EQ(ReadAll(Path("end.txt")), QByteArray("1;1\r\n2;2\r\n"));
}

TEST_F(LogFileStreamTest, AWriteThatFailsLaterClosesTheLogKeepsWhatWasWrittenAndTellsOnce) {
    TFailingOpener opener(10); // room for two lines of 5 bytes
    TLogFileStream log(true);
    int failures = 0;
    log.SetOnWriteFailed([&] { ++failures; });
    log.SetFileNameProvider(Answer(Path("full.txt")));
    ASSERT_TRUE(log.SaveLog(true));
    log.SaveLineToFile("1;1");
    log.SaveLineToFile("2;2");
    EXPECT_EQ(failures, 0);
    log.SaveLineToFile("3;3");
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.FSaveLogFile);
    log.SaveLineToFile("4;4");
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(ReadAll(Path("full.txt")), QByteArray("1;1\r\n2;2\r\n"));
    // A new log can be opened afterwards.
    EXPECT_TRUE(log.SaveLog(true));
    EXPECT_EQ(opener.Opened, 2);
}

TEST_F(LogFileStreamTest, AFullDiskClosesTheLog) {
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    TLogFileStream log(true);
    int failures = 0;
    log.SetOnWriteFailed([&] { ++failures; });
    log.SetFileNameProvider(Answer("/dev/full"));
    ASSERT_TRUE(log.SaveLog(true));
    log.SaveLineToFile("1;1");
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(log.IsOpen());
}

TEST(LogTextFile, BuffersUntilFullAndWritesTheRestAtClose) {
    QTemporaryDir dir;
    const QString name = dir.filePath("t.txt");
    TLogTextFile file(16);
    ASSERT_TRUE(file.Create(name));
    EXPECT_TRUE(file.WriteLine("1;2;3;4")); // 9 bytes
    EXPECT_EQ(ReadAll(name), QByteArray());
    EXPECT_TRUE(file.WriteLine("5;6;7;8")); // 18 bytes: the buffer is full
    EXPECT_EQ(ReadAll(name), QByteArray("1;2;3;4\r\n5;6;7;8\r\n"));
    EXPECT_TRUE(file.WriteLine("9"));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.WriteLine("x"));
    EXPECT_EQ(ReadAll(name), QByteArray("1;2;3;4\r\n5;6;7;8\r\n9\r\n"));
}

TEST(LogTextFile, AFailedWriteClosesTheFile) {
    QTemporaryDir dir;
    TFailingOpener opener(4);
    TLogTextFile file(1);
    ASSERT_TRUE(file.Create(dir.filePath("f.txt")));
    EXPECT_TRUE(file.WriteLine("ab"));
    EXPECT_FALSE(file.WriteLine("cd"));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadAll(dir.filePath("f.txt")), QByteArray("ab\r\n"));
}

TEST(LogFileSingleton, TheManagerCreatesItLastWithAutomaticFlushingAndFreesItFirst) {
    TApplicationManager::SetInstanceCheck([] { return true; });
    QTemporaryDir dir;
    TFailingOpener opener(1 << 20);
    std::optional<bool> othersWhenTheLogCame; // created last: every other singleton is there
    TApplicationManager::SetStepObserver([&] {
        if (LogFile && !othersWhenTheLogCame)
            othersWhenTheLogCame = FrameLog && Laser && FirmwareUpdater;
    });
    auto manager = std::make_unique<TApplicationManager>();
    TApplicationManager::SetStepObserver({});
    EXPECT_EQ(othersWhenTheLogCame, std::optional<bool>(true));
    ASSERT_NE(LogFile, nullptr);
    EXPECT_TRUE(LogFile->FAutoFlush);
    ASSERT_NE(Laser, nullptr);
    ASSERT_NE(FirmwareUpdater, nullptr);

    LogFile->SetFileNameProvider([&](const TSaveDialogRequest&) { return dir.filePath("g.txt"); });
    ASSERT_TRUE(LogFile->SaveLog(true));
    bool globalClearedAtClose = false;
    bool othersAliveAtClose = false;
    opener.Last->OnClose = [&] {
        globalClearedAtClose = LogFile == nullptr;
        othersAliveAtClose = FirmwareUpdater != nullptr && Laser != nullptr;
    };
    LogFile->SaveLineToFile("5;5");
    manager.reset();
    EXPECT_EQ(LogFile, nullptr);
    EXPECT_TRUE(globalClearedAtClose);
    EXPECT_TRUE(othersAliveAtClose);
    EXPECT_EQ(ReadAll(dir.filePath("g.txt")), QByteArray("5;5\r\n"));
}
