// Sleep prevention on a refused start: a real message bus (a private dbus-daemon) with small
// stand-ins for the login manager and the screen saver, and the refusal in its own process.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>

namespace {

class TLoginManagerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    int Inhibits = 0;
    int ReadEnd = -1; // reads end-of-file once every copy of the handed-out descriptor is closed
    ~TLoginManagerStandIn() override {
        if (ReadEnd >= 0)
            ::close(ReadEnd);
    }
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString&, const QString&, const QString&,
                                    const QString&) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return {};
        ReadEnd = fds[0];
        QDBusUnixFileDescriptor lock(fds[1]); // keeps a copy of its own
        ::close(fds[1]);
        ++Inhibits;
        return lock;
    }
};

class TScreenSaverStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    int Inhibits = 0;
public slots:
    uint Inhibit(const QString&, const QString&) {
        ++Inhibits;
        return 7;
    }
    void UnInhibit(uint) {}
};

// Serves the bus (this thread's events) until the condition holds or the time is up.
bool ServeUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

bool ReadsEndOfFile(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1)
        return false;
    char c;
    return ::read(fd, &c, 1) == 0;
}

} // namespace

TEST(SleepPrevention, RefusedStartWithTheRequestHeldEndsCleanlyAndLiftsIt) {
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("bus"));
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1"),
                  QStringLiteral("--address=unix:path=") + socket});
    ASSERT_TRUE(daemon.waitForReadyRead(10000))
        << "dbus-daemon (package dbus-daemon) did not start";
    const QString address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());

    TLoginManagerStandIn login;
    TScreenSaverStandIn saver;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("stand-ins"));
        ASSERT_TRUE(bus.isConnected());
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &login,
                                       QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                       QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }

    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(SLEEP_PROBE_PATH));
    ASSERT_TRUE(probe.waitForStarted(10000));
    ASSERT_TRUE(ServeUntil([&] { return probe.state() == QProcess::NotRunning; }, 60000));

    // Under AddressSanitizer a touch of anything static destruction freed ends in a report and
    // an abort instead of this clean exit.
    const QByteArray errors = probe.readAllStandardError();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << errors.toStdString();
    EXPECT_EQ(probe.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains("AddressSanitizer")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("runtime error")) << errors.toStdString();
    EXPECT_EQ(probe.readAllStandardOutput(), QByteArray("held\nrefused\n"));
    EXPECT_EQ(login.Inhibits, 1);
    EXPECT_EQ(saver.Inhibits, 1);
    // The inhibitor lock went with the process.
    ASSERT_GE(login.ReadEnd, 0);
    EXPECT_TRUE(ReadsEndOfFile(login.ReadEnd, 5000));

    QDBusConnection::disconnectFromBus(QStringLiteral("stand-ins"));
    daemon.kill();
    daemon.waitForFinished(5000);
}

#include "SleepPreventionTests.moc"
