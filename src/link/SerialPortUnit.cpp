#include "link/SerialPortUnit.h"

#include "link/Phy_USB_Unit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_DWORD OpenBySerialNumber = 1;
constexpr size_t DescriptionRoom = 63; // the node's 64 bytes with their NUL
constexpr size_t SerialRoom = 15;

QString ReadAttribute(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(256)).trimmed();
}

// The description with a note in parentheses; the description gives way so the note fits.
QString WithNote(const QString& description, const QString& note) {
    if (note.isEmpty())
        return description.left(static_cast<qsizetype>(DescriptionRoom));
    const QString tail = QStringLiteral(" (") + note + QStringLiteral(")");
    const qsizetype room =
        std::max<qsizetype>(static_cast<qsizetype>(DescriptionRoom) - tail.toUtf8().size(), 0);
    QString head = description;
    while (head.toUtf8().size() > room)
        head.chop(1);
    return head + tail;
}

} // namespace

QString SerialPortModelName(int32_t kind) {
    return kind == KindSecondController ? QString::fromLatin1(DescriptionSecondController)
                                        : QString::fromLatin1(DescriptionWithLaserHead);
}

// ---------------------------------------------------------------------------------------------
// An open port. Its descriptor is read by one thread and written by another; the settings are
// kept so a reopen can restore them.

struct TSerialPortD2XXTable::TOpenPort {
    TPort Port;
    std::atomic<int> Fd{-1};
    std::atomic<bool> Dead{false};
    std::atomic<uint32_t> ReadTimeoutMs{0};
    std::atomic<uint32_t> WriteTimeoutMs{0};
#ifdef __linux__
    std::mutex SettingsMutex;
    termios Settings{};
#endif
    ~TOpenPort() {
#ifdef __linux__
        CloseLine(Fd.exchange(-1));
#endif
    }
#ifdef __linux__
    // The exclusive use taken at the open outlives the descriptor while the other end of the
    // line stays open (a pty, or a driver that keeps the tty): give it back first, or the next
    // open by a plain user is refused as busy.
    static void CloseLine(int fd) {
        if (fd < 0)
            return;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
#endif
};

#ifdef __linux__

namespace {

using Clock = std::chrono::steady_clock;

bool Vanished(int err) {
    return err == EIO || err == ENXIO || err == ENODEV || err == EBADF || err == EPIPE;
}

// Why the port cannot be opened by this user, judged without opening it; empty when it can.
QString StaticProblem(const QString& path, bool requireTty) {
    const QByteArray p = QFile::encodeName(path);
    struct stat st {};
    if (::stat(p.constData(), &st) != 0)
        return QStringLiteral("does not exist");
    if (requireTty && !S_ISCHR(st.st_mode))
        return QStringLiteral("not a tty");
    if (::access(p.constData(), R_OK | W_OK) != 0)
        return QString::fromLatin1(NoPermissionNote);
    return {};
}

bool ApplySpeed(termios& t, FT_DWORD baud) {
    speed_t s = 0;
    switch (baud) {
    case 300:
        s = B300;
        break;
    case 1200:
        s = B1200;
        break;
    case 2400:
        s = B2400;
        break;
    case 4800:
        s = B4800;
        break;
    case 9600:
        s = B9600;
        break;
    case 19200:
        s = B19200;
        break;
    case 38400:
        s = B38400;
        break;
    case 57600:
        s = B57600;
        break;
    case 115200:
        s = B115200;
        break;
    case 230400:
        s = B230400;
        break;
    case 460800:
        s = B460800;
        break;
    case 921600:
        s = B921600;
        break;
    default:
        return false;
    }
    cfsetispeed(&t, s);
    cfsetospeed(&t, s);
    return true;
}

// Raw, 115200 8N1, no flow control; reads never block (the caller waits with poll).
void RawLine(termios& t) {
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1; // with O_NONBLOCK: no data is EAGAIN, a hung-up line is 0 or EIO
    t.c_cc[VTIME] = 0;
    ApplySpeed(t, 115200);
}

// Opens and configures the port; on failure returns -1 and the reason.
int OpenLine(const QString& path, termios& settings, QString& why, bool keepSettings) {
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        why = e == EACCES || e == EPERM ? QString::fromLatin1(NoPermissionNote)
              : e == ENOENT             ? QStringLiteral("does not exist")
              : e == EBUSY              ? QStringLiteral("busy")
                                        : QString::fromLocal8Bit(std::strerror(e));
        return -1;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        why = QStringLiteral("not a tty");
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        why = QStringLiteral("busy");
        return -1;
    }
    ::ioctl(fd, TIOCEXCL); // other users' opens are refused while we hold it
    if (!keepSettings) {
        if (::tcgetattr(fd, &settings) != 0) {
            ::close(fd);
            why = QStringLiteral("not a tty");
            return -1;
        }
        RawLine(settings);
    }
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        ::close(fd);
        why = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

// Waits for the descriptor; false when the time is up. A hang-up counts as ready: the next
// read or write reports it.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count() + 1, 1000)));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return true;
    }
}

} // namespace

#endif // __linux__

// ---------------------------------------------------------------------------------------------

TSerialPortD2XXTable::TSerialPortD2XXTable(const QString& sysfsRoot, const QString& devRoot)
    : FSysfsRoot(sysfsRoot), FDevRoot(devRoot) {}

TSerialPortD2XXTable::~TSerialPortD2XXTable() = default;

void TSerialPortD2XXTable::SetFixedPort(const QString& path, int32_t kind) {
    std::lock_guard g(FMutex);
    FFixedPath = path;
    FFixedKind = kind;
}

std::vector<TSerialPortD2XXTable::TPort> TSerialPortD2XXTable::ScanPorts() {
    std::vector<TPort> ports;
#ifdef __linux__
    QString fixedPath;
    int32_t fixedKind = 0;
    std::map<QString, QString> failures;
    {
        std::lock_guard g(FMutex);
        fixedPath = FFixedPath;
        fixedKind = FFixedKind;
        failures = FOpenFailure;
    }
    auto note = [&](const TPort& port, bool requireTty) {
        QString why = StaticProblem(port.DevicePath, requireTty);
        if (why.isEmpty()) {
            auto it = failures.find(port.DevicePath);
            if (it != failures.end())
                why = it->second;
        }
        return why;
    };

    if (!fixedPath.isEmpty()) {
        TPort port;
        port.DevicePath = fixedPath;
        port.Product = SerialPortModelName(fixedKind) + QStringLiteral(" on ") + fixedPath;
        port.Note = note(port, true);
        port.Description = WithNote(port.Product, port.Note);
        ports.push_back(port);
        return ports;
    }

    const QDir ttys(FSysfsRoot + QStringLiteral("/class/tty"));
    QStringList names = ttys.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                       QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    // The USB-serial ports (ttyUSB, the FTDI driver's) first, each kind by its number.
    auto order = [](const QString& n) {
        return std::make_pair(n.startsWith(QLatin1String("ttyUSB")) ? 0 : 1, n.mid(6).toInt());
    };
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return order(a) < order(b); });
    const QString root = QFileInfo(FSysfsRoot).canonicalFilePath();
    for (const QString& name : names) {
        // The tty's device is the USB-serial port; the USB device with its strings is an
        // ancestor of it.
        const QString portDir =
            QFileInfo(ttys.filePath(name) + QStringLiteral("/device")).canonicalFilePath();
        if (portDir.isEmpty())
            continue;
        QString usbDir;
        QString dir = portDir;
        for (int up = 0; up < 6 && dir.startsWith(root) && dir.size() > root.size(); ++up) {
            if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
                usbDir = dir;
                break;
            }
            dir = QFileInfo(dir).path();
        }
        if (usbDir.isEmpty())
            continue;
        TPort port;
        port.DevicePath = FDevRoot + QLatin1Char('/') + name;
        port.SerialNumber = ReadAttribute(usbDir + QStringLiteral("/serial")).left(SerialRoom);
        port.VendorId = ReadAttribute(usbDir + QStringLiteral("/idVendor")).toUShort(nullptr, 16);
        port.ProductId = ReadAttribute(usbDir + QStringLiteral("/idProduct")).toUShort(nullptr, 16);
        const QString latency = portDir + QStringLiteral("/latency_timer");
        if (QFileInfo::exists(latency))
            port.LatencyPath = latency;
        bool okBus = false, okDev = false;
        const int bus = ReadAttribute(usbDir + QStringLiteral("/busnum")).toInt(&okBus);
        const int devnum = ReadAttribute(usbDir + QStringLiteral("/devnum")).toInt(&okDev);
        if (okBus && okDev)
            port.UsbDevicePath = FDevRoot + QStringLiteral("/bus/usb/%1/%2")
                                                .arg(bus, 3, 10, QLatin1Char('0'))
                                                .arg(devnum, 3, 10, QLatin1Char('0'));
        port.Product = ReadAttribute(usbDir + QStringLiteral("/product"));
        port.Note = note(port, false);
        port.Description = WithNote(port.Product, port.Note);
        ports.push_back(port);
    }
#endif
    return ports;
}

void TSerialPortD2XXTable::FillNodes(const std::vector<TPort>& ports,
                                     FT_DEVICE_LIST_INFO_NODE* nodes, FT_DWORD n) {
    for (FT_DWORD i = 0; i < n; ++i) {
        const TPort& p = ports[i];
        FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        std::memset(static_cast<void*>(&node), 0, sizeof node);
        node.ID = (static_cast<FT_DWORD>(p.VendorId) << 16) | p.ProductId;
        const QByteArray serial = p.SerialNumber.toUtf8().left(SerialRoom);
        std::memcpy(node.SerialNumber, serial.constData(), static_cast<size_t>(serial.size()));
        const QByteArray d = p.Description.toLocal8Bit().left(DescriptionRoom);
        std::memcpy(node.Description, d.constData(), static_cast<size_t>(d.size()));
        for (const auto& [handle, open] : FOpen)
            if (open->Port.DevicePath == p.DevicePath && !open->Dead.load()) {
                node.Flags = 1;
                node.ftHandle = handle;
            }
    }
}

FT_STATUS TSerialPortD2XXTable::CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) {
    std::vector<TPort> ports = ScanPorts();
    std::lock_guard g(FMutex);
    FListed = std::move(ports);
    *lpdwNumDevs = static_cast<FT_DWORD>(FListed.size());
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest,
                                                  FT_DWORD* lpdwNumDevs) {
    std::vector<TPort> ports = ScanPorts();
    std::lock_guard g(FMutex);
    FListed = std::move(ports);
    const FT_DWORD n = std::min<FT_DWORD>(*lpdwNumDevs, static_cast<FT_DWORD>(FListed.size()));
    FillNodes(FListed, pDest, n);
    *lpdwNumDevs = n;
    return FT_OK;
}

std::shared_ptr<TSerialPortD2XXTable::TOpenPort> TSerialPortD2XXTable::Find(FT_HANDLE h) {
    std::lock_guard g(FMutex);
    auto it = FOpen.find(h);
    return it == FOpen.end() ? nullptr : it->second;
}

FT_STATUS TSerialPortD2XXTable::OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) {
#ifdef __linux__
    if (!pArg1 || !pHandle)
        return FT_INVALID_PARAMETER;
    if (Flags != FT_OPEN_BY_DESCRIPTION && Flags != OpenBySerialNumber)
        return FT_INVALID_PARAMETER;
    const char* arg = static_cast<const char*>(pArg1);
    const size_t room = Flags == FT_OPEN_BY_DESCRIPTION ? 64 : 16;
    const QString wanted = QString::fromLocal8Bit(arg, static_cast<qsizetype>(strnlen(arg, room)));
    TPort port;
    bool found = false;
    std::vector<TPort> listed;
    {
        std::lock_guard g(FMutex);
        listed = FListed;
    }
    if (listed.empty())
        listed = ScanPorts(); // opened without a listing first
    for (const TPort& p : listed) {
        const QString& key = Flags == FT_OPEN_BY_DESCRIPTION ? p.Description : p.SerialNumber;
        if (!key.isEmpty() && key == wanted) {
            port = p;
            found = true;
            break;
        }
    }
    if (!found)
        return FT_DEVICE_NOT_FOUND;
    return OpenPort(port, pHandle);
#else
    (void)pArg1;
    (void)Flags;
    (void)pHandle;
    return FT_DEVICE_NOT_FOUND;
#endif
}

FT_STATUS TSerialPortD2XXTable::ListAdapters(std::vector<TListedAdapter>& adapters) {
    adapters.clear();
    std::vector<TPort> ports = ScanPorts();
    for (const TPort& p : ports) {
        TListedAdapter a;
        a.Description = p.Product;
        if (!p.Note.isEmpty())
            a.Notes << p.Note;
        a.SerialNumber = p.SerialNumber;
        a.PortPath = p.DevicePath;
        a.OpenKey = p.Description.toLocal8Bit().left(DescriptionRoom);
        a.Tag = adapters.size();
        adapters.push_back(a);
    }
    std::lock_guard g(FMutex);
    FListed = std::move(ports);
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::OpenAdapter(const TListedAdapter& adapter, FT_HANDLE* pHandle) {
    if (!pHandle)
        return FT_INVALID_PARAMETER;
    std::vector<TPort> listed;
    {
        std::lock_guard g(FMutex);
        listed = FListed;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const TPort& p : listed)
            if (!adapter.PortPath.isEmpty() && p.DevicePath == adapter.PortPath)
                return OpenPort(p, pHandle);
        listed = ScanPorts(); // opened without a listing first
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS TSerialPortD2XXTable::OpenPort(const TPort& port, FT_HANDLE* pHandle) {
#ifdef __linux__
    auto open = std::make_shared<TOpenPort>();
    open->Port = port;
    QString why;
    const int fd = OpenLine(port.DevicePath, open->Settings, why, false);
    std::lock_guard g(FMutex);
    if (fd < 0) {
        FOpenFailure[port.DevicePath] = why;
        return why == QLatin1String("does not exist") ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
    }
    FOpenFailure.erase(port.DevicePath);
    open->Fd.store(fd);
    FT_HANDLE h = open.get();
    FOpen[h] = std::move(open);
    *pHandle = h;
    return FT_OK;
#else
    (void)port;
    (void)pHandle;
    return FT_DEVICE_NOT_FOUND;
#endif
}

#ifdef __linux__

namespace {

// The descriptor of a live port, or the status its handle gives.
template <typename P> FT_STATUS Usable(const P& open) {
    if (!open)
        return FT_INVALID_HANDLE;
    if (open->Dead.load() || open->Fd.load() < 0)
        return FT_IO_ERROR;
    return FT_OK;
}

template <typename P> FT_STATUS ApplySettings(const P& open) {
    if (::tcsetattr(open->Fd.load(), TCSANOW, &open->Settings) == 0)
        return FT_OK;
    if (Vanished(errno))
        open->Dead.store(true);
    return FT_IO_ERROR;
}

} // namespace

FT_STATUS TSerialPortD2XXTable::SetBaudRate(FT_HANDLE h, FT_DWORD BaudRate) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    std::lock_guard g(open->SettingsMutex);
    termios t = open->Settings;
    if (!ApplySpeed(t, BaudRate))
        return FT_INVALID_BAUD_RATE;
    open->Settings = t;
    return ApplySettings(open);
}

FT_STATUS TSerialPortD2XXTable::SetDataCharacteristics(FT_HANDLE h, uint8_t WordLength,
                                                       uint8_t StopBits, uint8_t Parity) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    std::lock_guard g(open->SettingsMutex);
    termios t = open->Settings;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
    switch (WordLength) {
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        return FT_INVALID_PARAMETER;
    }
    if (StopBits == 2)
        t.c_cflag |= CSTOPB;
    else if (StopBits != 0)
        return FT_INVALID_PARAMETER;
    if (Parity == 1)
        t.c_cflag |= PARENB | PARODD;
    else if (Parity == 2)
        t.c_cflag |= PARENB;
    else if (Parity != 0)
        return FT_INVALID_PARAMETER; // mark and space have no termios bits here
    open->Settings = t;
    return ApplySettings(open);
}

FT_STATUS TSerialPortD2XXTable::SetTimeouts(FT_HANDLE h, FT_DWORD ReadTimeout,
                                            FT_DWORD WriteTimeout) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    open->ReadTimeoutMs.store(ReadTimeout);
    open->WriteTimeoutMs.store(WriteTimeout);
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::SetLatencyTimer(FT_HANDLE h, uint8_t ucLatency) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    if (ucLatency < 1)
        return FT_INVALID_PARAMETER;
    // Only where the driver offers the attribute and this user may write it; the line works
    // either way.
    if (!open->Port.LatencyPath.isEmpty()) {
        QFile f(open->Port.LatencyPath);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QByteArray::number(ucLatency) + '\n');
    }
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::Purge(FT_HANDLE h, FT_DWORD Mask) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    const bool rx = Mask & FT_PURGE_RX, tx = Mask & FT_PURGE_TX;
    if (!rx && !tx)
        return FT_OK;
    if (::tcflush(open->Fd.load(), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) == 0)
        return FT_OK;
    if (Vanished(errno))
        open->Dead.store(true);
    return FT_IO_ERROR;
}

FT_STATUS TSerialPortD2XXTable::GetQueueStatus(FT_HANDLE h, FT_DWORD* dwRxBytes) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    const int fd = open->Fd.load();
    // A line that hung up still answers the count with 0: ask poll whether it is there at all.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        open->Dead.store(true);
        return FT_IO_ERROR;
    }
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0) {
        if (Vanished(errno))
            open->Dead.store(true);
        return FT_IO_ERROR;
    }
    *dwRxBytes = static_cast<FT_DWORD>(std::max(n, 0));
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::Read(FT_HANDLE h, void* lpBuffer, FT_DWORD dwBytesToRead,
                                     FT_DWORD* lpBytesReturned) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    const int fd = open->Fd.load();
    auto* out = static_cast<uint8_t*>(lpBuffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(open->ReadTimeoutMs.load());
    FT_DWORD got = 0;
    while (got < dwBytesToRead) {
        const ssize_t n = ::read(fd, out + got, dwBytesToRead - got);
        if (n > 0) {
            got += static_cast<FT_DWORD>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // End of file on a terminal is a hang-up: the device is gone.
            if (n == 0 || Vanished(errno))
                open->Dead.store(true);
            *lpBytesReturned = 0;
            return FT_IO_ERROR;
        }
        if (errno == EINTR)
            continue;
        if (!WaitFor(fd, POLLIN, deadline))
            break; // the time is up: what came is the result, as with the vendor's driver
    }
    *lpBytesReturned = got;
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::Write(FT_HANDLE h, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                                      FT_DWORD* lpBytesWritten) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    const int fd = open->Fd.load();
    const auto* in = static_cast<const uint8_t*>(lpBuffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(open->WriteTimeoutMs.load());
    FT_DWORD sent = 0;
    // The tty may take a buffer in parts: the rest follows until all is gone or the time is up.
    while (sent < dwBytesToWrite) {
        const ssize_t n = ::write(fd, in + sent, dwBytesToWrite - sent);
        if (n > 0) {
            sent += static_cast<FT_DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            if (Vanished(errno))
                open->Dead.store(true);
            *lpBytesWritten = 0;
            return FT_IO_ERROR;
        }
        if (!WaitFor(fd, POLLOUT, deadline))
            break;
    }
    *lpBytesWritten = sent;
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::CyclePort(FT_HANDLE h) {
    auto open = Find(h);
    if (FT_STATUS s = Usable(open); s != FT_OK)
        return s;
    // A USB port reset makes the adapter re-enumerate; its tty goes and comes back, so this
    // handle is done with, as after the vendor's port cycle.
    if (!open->Port.UsbDevicePath.isEmpty()) {
        const QByteArray p = QFile::encodeName(open->Port.UsbDevicePath);
        const int usb = ::open(p.constData(), O_WRONLY | O_CLOEXEC);
        if (usb >= 0) {
            const int r = ::ioctl(usb, USBDEVFS_RESET, 0);
            ::close(usb);
            if (r == 0) {
                open->Dead.store(true);
                return FT_OK;
            }
        }
    }
    // Not permitted (or not USB): close the line and open it again with the same settings.
    std::lock_guard g(open->SettingsMutex);
    TOpenPort::CloseLine(open->Fd.exchange(-1));
    QString why;
    const int fd = OpenLine(open->Port.DevicePath, open->Settings, why, true);
    if (fd < 0) {
        open->Dead.store(true);
        return FT_IO_ERROR;
    }
    open->Fd.store(fd);
    return FT_OK;
}

FT_STATUS TSerialPortD2XXTable::GetLibraryVersion(FT_DWORD* lpdwVersion) {
    // The running kernel's version in the vendor's layout (0x00MMmmpp).
    utsname u{};
    if (::uname(&u) != 0)
        return FT_OTHER_ERROR;
    unsigned a = 0, b = 0, c = 0;
    std::sscanf(u.release, "%u.%u.%u", &a, &b, &c);
    *lpdwVersion = ((a & 0xFF) << 16) | ((b & 0xFF) << 8) | (c & 0xFF);
    return FT_OK;
}

#else // not Linux: nothing is ever listed, so nothing is ever opened

FT_STATUS TSerialPortD2XXTable::SetBaudRate(FT_HANDLE, FT_DWORD) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::SetDataCharacteristics(FT_HANDLE, uint8_t, uint8_t, uint8_t) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::SetTimeouts(FT_HANDLE, FT_DWORD, FT_DWORD) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::SetLatencyTimer(FT_HANDLE, uint8_t) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::Purge(FT_HANDLE, FT_DWORD) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::GetQueueStatus(FT_HANDLE, FT_DWORD*) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::Read(FT_HANDLE, void*, FT_DWORD, FT_DWORD*) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::Write(FT_HANDLE, const void*, FT_DWORD, FT_DWORD*) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::CyclePort(FT_HANDLE) {
    return FT_INVALID_HANDLE;
}
FT_STATUS TSerialPortD2XXTable::GetLibraryVersion(FT_DWORD*) {
    return FT_OTHER_ERROR;
}

#endif

FT_STATUS TSerialPortD2XXTable::Close(FT_HANDLE h) {
    std::shared_ptr<TOpenPort> open;
    {
        std::lock_guard g(FMutex);
        auto it = FOpen.find(h);
        if (it == FOpen.end())
            return FT_INVALID_HANDLE;
        open = std::move(it->second);
        FOpen.erase(it);
    }
    // The descriptor closes when the last call still using it returns.
    return FT_OK;
}
