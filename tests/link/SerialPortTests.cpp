// The kernel-driver transport on a real pseudo-terminal, listed through a sysfs tree in a
// temporary folder; the transport and the connection manager above it run unchanged.
#include "PtySupport.h"
#include "link/ConnectionUnit.h"
#include "link/SerialPortUnit.h"
#include "protocol/SendFrameUnit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

namespace {

struct KernelPort : ::testing::Test {
    TPty Pty;
    TFakeSysfs Sysfs;
    QString Latency;
    std::unique_ptr<TSerialPortD2XXTable> Table;

    void SetUp() override {
        ASSERT_TRUE(Pty.Ok());
        Latency = Sysfs.AddPort("ttyUSB0", "QRX-7A Controller", "FT12AB34", Pty.Slave());
        Table = std::make_unique<TSerialPortD2XXTable>(Sysfs.SysRoot(), Sysfs.DevRoot());
        D2XX::SetTable(Table.get());
    }
    void TearDown() override { D2XX::SetTable(nullptr); }

    // Connects to the first listed device.
    static bool ConnectFirst(TConnection& c) {
        QStringList names;
        c.GetAvailableDevices(names);
        c.SetDeviceID(names.value(0));
        return c.Connect();
    }
    // Opens the first listed device straight through the table, with short timeouts.
    FT_HANDLE OpenDirect(uint32_t timeoutMs = 100) {
        FT_DWORD n = 0;
        Table->CreateDeviceInfoList(&n);
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(std::max<FT_DWORD>(n, 1));
        Table->GetDeviceInfoList(nodes.data(), &n);
        FT_HANDLE h = nullptr;
        if (n == 0 || Table->OpenEx(nodes[0].Description, FT_OPEN_BY_DESCRIPTION, &h) != FT_OK)
            return nullptr;
        Table->SetTimeouts(h, timeoutMs, timeoutMs);
        return h;
    }

    bool WaitQueued(TConnection& c, uint32_t atLeast) {
        for (int i = 0; i < 200; ++i) {
            uint32_t n = 0;
            if (c.GetReadDataCount(n) && n >= atLeast)
                return true;
            QThread::msleep(5);
        }
        return false;
    }
};

} // namespace

TEST(KernelListing, ProductStringsAndSerialNumbersAsTheVendorLibraryGivesThem) {
    TPty pty;
    TFakeSysfs sysfs;
    sysfs.AddPort("ttyUSB0", "QRX-7A Controller", "FTA1", pty.Slave());
    sysfs.AddPort("ttyUSB1", "USB Serial", "FTB2", pty.Slave());
    sysfs.AddPort("ttyUSB2", "TMVK v2 Box", "FTC3", pty.Slave(), false);
    sysfs.AddPort("ttyACM0", "QRX-7A and TMVK v2", "", pty.Slave(), false, "2341", "0043");
    TSerialPortD2XXTable table(sysfs.SysRoot(), sysfs.DevRoot());
    D2XX::SetTable(&table);

    FT_DWORD n = 0;
    ASSERT_TRUE(D2XX::CreateDeviceInfoList(n));
    ASSERT_EQ(n, 4u);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(n);
    ASSERT_TRUE(D2XX::GetDeviceInfoList(nodes.data(), n, n));
    EXPECT_STREQ(nodes[0].SerialNumber, "FTA1");
    EXPECT_EQ(nodes[0].ID, 0x04036001u);
    EXPECT_EQ(nodes[3].ID, 0x23410043u);

    TUSBConnection usb;
    TDevicesIDList list;
    ASSERT_EQ(usb.IOEnumDevices(list), _ok);
    ASSERT_EQ(list.size(), 3u); // the stranger is not ours
    const struct {
        const char* name;
        int32_t kind;
    } expected[] = {
        {"QRX-7A Controller", 111111}, {"TMVK v2 Box", 222222}, {"QRX-7A and TMVK v2", 111111}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(list[i].fullName(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(list[i].serialNumber(), expected[i].kind);
        EXPECT_EQ(list[i].connectionType(), _usb);
    }
    D2XX::SetTable(nullptr);
}

TEST_F(KernelPort, ConnectSetsTheLineRawAt115200EightNOneAndTheLatencyTimer) {
    TConnection c;
    QStringList names;
    c.GetAvailableDevices(names);
    ASSERT_EQ(names, QStringList{QStringLiteral("QRX-7A Controller")});
    c.SetDeviceID(names.front());
    ASSERT_TRUE(c.Connect());

    // The slave's settings, seen through a second descriptor.
    const int fd = ::open(QFile::encodeName(Pty.Slave()).constData(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(TFakeSysfs::Get(Latency), QStringLiteral("16"));
    EXPECT_TRUE(c.Disconnect());
}

TEST_F(KernelPort, BytesBothWaysThroughTheTtyLayer) {
    TConnection c;
    ASSERT_TRUE(ConnectFirst(c));

    const QByteArray in = QByteArray::fromHex("af0102030405060708090a1f"); // bytes 0x0a, 0x0d ...
    Pty.Write(in + QByteArray("\r\n\x03\x11", 4)); // ... pass untranslated, no signal, no XON
    ASSERT_TRUE(WaitQueued(c, 16));
    uint8_t buf[16] = {};
    uint32_t size = 16;
    ASSERT_TRUE(c.Read(buf, size));
    ASSERT_EQ(size, 16u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf), 16), in + QByteArray("\r\n\x03\x11"));

    const QByteArray out = QByteArray::fromHex("afdd000000000000000000f1ce");
    uint32_t n = static_cast<uint32_t>(out.size());
    ASSERT_TRUE(c.Send(out.constData(), n));
    EXPECT_EQ(n, static_cast<uint32_t>(out.size()));
    EXPECT_EQ(Pty.Read(out.size()), out);
    EXPECT_TRUE(c.Disconnect());
}

TEST_F(KernelPort, ReadReturnsWhatCameWhenTheTimeoutEnds) {
    FT_HANDLE h = OpenDirect(50);
    ASSERT_NE(h, nullptr);
    Pty.Write("abc");
    uint8_t buf[10] = {};
    FT_DWORD got = 99;
    EXPECT_EQ(Table->Read(h, buf, 10, &got), FT_OK);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf), 3), QByteArray("abc"));
    EXPECT_EQ(Table->Read(h, buf, 10, &got), FT_OK); // nothing came: a clean zero
    EXPECT_EQ(got, 0u);
    Table->Close(h);
}

TEST_F(KernelPort, AWriteIsFinishedWhileTheLineTakesItAndReportedWhenItStops) {
    FT_HANDLE h = OpenDirect(200);
    ASSERT_NE(h, nullptr);
    const QByteArray big(256 * 1024, '\x55');

    // Nobody reads the far end: the tty takes a part, the rest is reported as not written.
    FT_DWORD written = 0;
    EXPECT_EQ(Table->Write(h, big.constData(), static_cast<FT_DWORD>(big.size()), &written), FT_OK);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, static_cast<FT_DWORD>(big.size()));
    Pty.Read(written, 5000); // drain it

    // The far end reads along: the whole buffer goes, in as many parts as the tty wants.
    Table->SetTimeouts(h, 100, 10000);
    std::thread reader([&] { Pty.Read(big.size(), 20000); });
    EXPECT_EQ(Table->Write(h, big.constData(), static_cast<FT_DWORD>(big.size()), &written), FT_OK);
    reader.join();
    EXPECT_EQ(written, static_cast<FT_DWORD>(big.size()));
    Table->Close(h);
}

TEST_F(KernelPort, AVanishedDeviceFailsEveryCall) {
    TConnection c;
    ASSERT_TRUE(ConnectFirst(c));
    Pty.CloseMaster(); // the far end is gone, as an unplugged adapter
    for (int round = 0; round < 3; ++round) {
        uint32_t n = 5;
        EXPECT_FALSE(c.GetReadDataCount(n));
        EXPECT_EQ(n, 0u);
        uint8_t buf[12] = {};
        n = 12;
        EXPECT_FALSE(c.Read(buf, n));
        EXPECT_EQ(n, 0u);
        n = 12;
        EXPECT_FALSE(c.Send(buf, n));
        EXPECT_EQ(n, 0u);
    }
    EXPECT_FALSE(c.CheckConnection());
    EXPECT_TRUE(c.Disconnect()); // the handle closes cleanly
}

TEST_F(KernelPort, ABusyPortIsRefusedAndTheListSaysSo) {
    TUSBConnection first, second;
    const TDeviceID id(_usb, QStringLiteral("QRX-7A Controller"), 111111, {}, {});
    ASSERT_EQ(first.IOConnect(id), _ok);
    EXPECT_EQ(second.IOConnect(id), _error);
    TDevicesIDList list;
    second.IOEnumDevices(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].fullName(), QStringLiteral("QRX-7A Controller (busy)"));
    EXPECT_EQ(list[0].serialNumber(), 111111);

    EXPECT_EQ(first.IODisconnect(), _ok); // once free it opens, and the note goes
    const TDeviceID noted(_usb, list[0].fullName(), 111111, {}, {});
    EXPECT_EQ(second.IOConnect(noted), _ok);
    list.clear();
    first.IOEnumDevices(list);
    EXPECT_EQ(list.at(0).fullName(), QStringLiteral("QRX-7A Controller"));
    second.IODisconnect();
}

TEST_F(KernelPort, TheLineIsExclusiveOnlyWhileItIsOpen) {
    // Root ignores the exclusive flag, so ask the tty for it instead of trying an open.
    const auto exclusive = [&] {
        const int probe = ::open(QFile::encodeName(Pty.Slave()).constData(), O_RDWR | O_NOCTTY);
        int on = -1;
        ::ioctl(probe, TIOCGEXCL, &on);
        ::close(probe);
        return on;
    };
    FT_HANDLE h = OpenDirect();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(exclusive(), 1);
    EXPECT_EQ(Table->CyclePort(h), FT_OK);
    EXPECT_EQ(exclusive(), 1) << "the reopened line";
    EXPECT_EQ(Table->Close(h), FT_OK);
    EXPECT_EQ(exclusive(), 0) << "a plain user's next open would be refused as busy";
}

TEST_F(KernelPort, APortCycleWithoutUsbResetReopensTheLine) {
    FT_HANDLE h = OpenDirect();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Table->CyclePort(h), FT_OK); // no USB device node here: close and reopen
    FT_DWORD written = 0;
    EXPECT_EQ(Table->Write(h, "xyz", 3, &written), FT_OK);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(Pty.Read(3), QByteArray("xyz"));
    EXPECT_EQ(Table->Close(h), FT_OK);
    EXPECT_EQ(Table->Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(Table->Write(h, "xyz", 3, &written), FT_INVALID_HANDLE);
}

TEST(KernelFixedPort, WhatIsWrongWithThePathShowsInTheDeviceList) {
    TPty pty;
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.txt");
    TFakeSysfs::Put(plain, "not a terminal");
    const struct {
        QString path;
        int32_t kind;
        QString listed;
        TConnectionError connect;
    } cases[] = {
        {pty.Slave(), 111111, "QRX-7A on " + pty.Slave(), _ok},
        {pty.Slave(), 222222, "TMVK v2 on " + pty.Slave(), _ok},
        {dir.filePath("nothing"), 111111,
         "QRX-7A on " + dir.filePath("nothing") + " (does not exist)", _error},
        {plain, 111111, "QRX-7A on " + plain + " (not a tty)", _error},
        // A character device that is no terminal is found out when it is opened.
        {"/dev/null", 111111, "QRX-7A on /dev/null", _error},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed.toStdString());
        TSerialPortD2XXTable table;
        table.SetFixedPort(c.path, c.kind);
        D2XX::SetTable(&table);
        TConnection connection;
        QStringList names;
        connection.GetAvailableDevices(names);
        ASSERT_EQ(names, QStringList{c.listed});
        EXPECT_EQ(connection.DevicesList()[0].serialNumber(), c.kind);
        connection.SetDeviceID(names[0]);
        EXPECT_EQ(connection.Connect(), c.connect == _ok);
        if (c.path == QLatin1String("/dev/null")) {
            names.clear();
            connection.GetAvailableDevices(names);
            EXPECT_EQ(names, QStringList{"QRX-7A on /dev/null (not a tty)"});
        }
        connection.Disconnect();
        D2XX::SetTable(nullptr);
    }
}

TEST(KernelFixedPort, APortTheUserMayNotOpenIsListedWithANote) {
    TPty pty;
    ASSERT_TRUE(pty.Ok());
    TSerialPortD2XXTable table;
    table.SetFixedPort(pty.Slave(), 111111);
    // Listed by a user the device node is closed to: as root, a child process that gives up root
    // lists root's node; as a plain user, the user's own node is closed to its owner too.
    const QByteArray node = QFile::encodeName(pty.Slave());
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(node.constData(), root ? 0600 : 0000), 0);
    enum { Listed, WriteFailed, CannotDropRoot, MayOpenAnyway };
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(CannotDropRoot);
        if (::access(node.constData(), R_OK | W_OK) == 0) // file modes do not bind this user
            ::_exit(MayOpenAnyway);
        const QByteArray d = table.ScanPorts().at(0).Description.toUtf8();
        const ssize_t w = ::write(fds[1], d.constData(), static_cast<size_t>(d.size()));
        ::_exit(w == d.size() ? Listed : WriteFailed);
    }
    ::close(fds[1]);
    QByteArray got;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (WEXITSTATUS(status) == CannotDropRoot || WEXITSTATUS(status) == MayOpenAnyway)
        GTEST_SKIP() << "no user here to whom a device node is closed: root that may not become "
                        "user 65534, or a capability that overrides file modes";
    ASSERT_EQ(WEXITSTATUS(status), Listed);
    EXPECT_EQ(QString::fromUtf8(got), "QRX-7A on " + pty.Slave() + " (no permission: see README)");
}

TEST(KernelFixedPort, ALongPathGivesWayToTheNote) {
    const QString path = "/no/such/" + QString(80, QLatin1Char('x'));
    TSerialPortD2XXTable table;
    table.SetFixedPort(path, 111111);
    const QString d = table.ScanPorts().at(0).Description;
    EXPECT_LE(d.toUtf8().size(), 63);
    EXPECT_TRUE(d.startsWith("QRX-7A on /no/such/x"));
    EXPECT_TRUE(d.endsWith(" (does not exist)"));
}

TEST_F(KernelPort, TwoThreadsWritingAtOnceGiveWholeFramesOnly) {
    TConnection c;
    ASSERT_TRUE(ConnectFirst(c));
    constexpr int PerThread = 10000;
    // Each thread writes to its own target, with a running count in W0.
    auto writer = [&c](uint8_t target) {
        for (int i = 0; i < PerThread; ++i) {
            const TFrame f = BuildParamsFrame(target, 0x20, uint16_t(i));
            uint32_t n = FrameSize;
            c.Send(f.data(), n);
        }
    };
    // The far end takes a few bytes at a time: the line stays full and writes come back short.
    QByteArray wire;
    std::thread reader([&] {
        for (int step = 0; wire.size() < 2 * PerThread * FrameSize; ++step) {
            char buf[5];
            const ssize_t n = ::read(Pty.Master(), buf, size_t(1 + step % 5));
            if (n > 0)
                wire.append(buf, n);
            pollfd p{Pty.Master(), POLLIN, 0};
            if (n <= 0 && ::poll(&p, 1, 10000) <= 0)
                break; // nothing more comes
        }
    });
    std::thread a(writer, uint8_t(1)), b(writer, uint8_t(2));
    a.join();
    b.join();
    reader.join();
    ASSERT_EQ(wire.size(), 2 * PerThread * FrameSize);
    int next[3] = {0, 0, 0};
    for (qsizetype at = 0; at < wire.size(); at += FrameSize) {
        const auto* f = reinterpret_cast<const uint8_t*>(wire.constData() + at);
        ASSERT_EQ(f[0], FrameStart) << at;
        ASSERT_EQ(f[11], FrameChecksum(f)) << at;
        const int target = f[10] & 0x0F;
        ASSERT_TRUE(target == 1 || target == 2) << at;
        ASSERT_EQ(f[2] | (f[3] << 8), next[target]++) << at;
    }
    EXPECT_TRUE(c.Disconnect());
}
