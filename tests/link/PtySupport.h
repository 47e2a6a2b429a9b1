#pragma once
// A real pseudo-terminal for the kernel-driver transport's tests (the test holds the master end,
// the transport opens the slave end as it would /dev/ttyUSBn), and a sysfs tree of USB serial
// ports in a temporary folder that points at it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

class TPty {
public:
    TPty() {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster >= 0 && ::grantpt(FMaster) == 0 && ::unlockpt(FMaster) == 0) {
            char name[128] = {};
            if (::ptsname_r(FMaster, name, sizeof name) == 0)
                FSlave = QString::fromLocal8Bit(name);
            ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TPty() { CloseMaster(); }
    bool Ok() const { return FMaster >= 0 && !FSlave.isEmpty(); }
    const QString& Slave() const { return FSlave; }
    int Master() const { return FMaster; }
    void CloseMaster() {
        if (FMaster >= 0)
            ::close(FMaster);
        FMaster = -1;
    }
    void Write(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(FMaster, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n > 0)
                done += n;
            else
                QThread::msleep(1);
        }
    }
    // What the slave end wrote, gathered until count bytes came or waitMs passed.
    QByteArray Read(qsizetype count, int waitMs = 2000) {
        QByteArray out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            char buf[4096];
            const ssize_t n = ::read(FMaster, buf, sizeof buf);
            if (n > 0)
                out.append(buf, n);
            else {
                pollfd p{FMaster, POLLIN, 0};
                ::poll(&p, 1, 10);
            }
        }
        return out;
    }

private:
    int FMaster = -1;
    QString FSlave;
};

// root/class/tty/<name>/device -> root/devices/usb1/1-<n>/1-<n>:1.0/<name> (the USB-serial
// port, with latency_timer), whose grandparent holds the USB strings; devRoot/<name> is a link
// to the given device node.
class TFakeSysfs {
public:
    TFakeSysfs() {
        QDir(FDir.path()).mkpath(QStringLiteral("sys/class/tty"));
        QDir(FDir.path()).mkpath(QStringLiteral("dev"));
    }
    QString SysRoot() const { return FDir.path() + QStringLiteral("/sys"); }
    QString DevRoot() const { return FDir.path() + QStringLiteral("/dev"); }

    // Returns the path of the port's latency_timer attribute ("" if none was made).
    QString AddPort(const QString& name, const QString& product, const QString& serial,
                    const QString& node, bool latency = true, const QString& vid = "0403",
                    const QString& pid = "6001") {
        const int n = ++FPorts;
        const QString usb = SysRoot() + QStringLiteral("/devices/usb1/1-%1").arg(n);
        const QString port = usb + QStringLiteral("/1-%1:1.0/").arg(n) + name;
        QDir().mkpath(port);
        Put(usb + "/idVendor", vid);
        Put(usb + "/idProduct", pid);
        Put(usb + "/product", product);
        if (!serial.isEmpty())
            Put(usb + "/serial", serial);
        Put(usb + "/busnum", "1");
        Put(usb + "/devnum", QString::number(n + 1));
        QString latencyPath;
        if (latency) {
            latencyPath = port + "/latency_timer";
            Put(latencyPath, "1");
        }
        QDir().mkpath(SysRoot() + "/class/tty/" + name);
        QFile::link(port, SysRoot() + "/class/tty/" + name + "/device");
        if (!node.isEmpty())
            QFile::link(node, DevRoot() + "/" + name);
        return latencyPath;
    }

    // The port leaves the bus: its tty and its device node go.
    void RemovePort(const QString& name) {
        QDir(SysRoot() + "/class/tty/" + name).removeRecursively();
        QFile::remove(DevRoot() + "/" + name);
    }
    // The folder the tree lives in, for an ordinary user to read too.
    QString Root() const { return FDir.path(); }

    static void Put(const QString& path, const QString& text) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8() + "\n");
    }
    static QString Get(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }

private:
    QTemporaryDir FDir;
    int FPorts = 0;
};
