// One running copy per machine, with real processes.
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString RunProbe(const QString& dir) {
    QProcess p;
    p.start(QStringLiteral(PROBE_PATH), {dir});
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

bool StartHolder(QProcess& holder, const QString& dir) {
    holder.start(QStringLiteral(PROBE_PATH), {dir, QStringLiteral("hold")});
    return holder.waitForReadyRead(10000) &&
           QString::fromLocal8Bit(holder.readLine()).trimmed() == QStringLiteral("acquired");
}

} // namespace

TEST(SingleInstance, SecondProcessIsRefusedWhileTheFirstRuns) {
    QTemporaryDir dir;
    QProcess holder;
    ASSERT_TRUE(StartHolder(holder, dir.path()));
    EXPECT_EQ(RunProbe(dir.path()), QStringLiteral("refused"));
    EXPECT_EQ(RunProbe(dir.path()), QStringLiteral("refused"));
    holder.closeWriteChannel(); // normal end
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(RunProbe(dir.path()), QStringLiteral("acquired"));
}

TEST(SingleInstance, KilledFirstCopyDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    QProcess holder;
    ASSERT_TRUE(StartHolder(holder, dir.path()));
    holder.kill(); // as a crash would
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(RunProbe(dir.path()), QStringLiteral("acquired"));
}

TEST(SingleInstance, DistinctDirectoriesDoNotInterfere) {
    QTemporaryDir a, b;
    QProcess holder;
    ASSERT_TRUE(StartHolder(holder, a.path()));
    EXPECT_EQ(RunProbe(b.path()), QStringLiteral("acquired"));
    holder.kill();
    holder.waitForFinished(10000);
}
