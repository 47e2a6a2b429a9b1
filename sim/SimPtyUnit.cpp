#include "sim/SimPtyUnit.h"

#include "link/Phy_Global_Unit.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr size_t PendingLimit = 1u << 16; // bytes held for a slave end that is not read
constexpr FT_DWORD ReadChunk = 4096;

} // namespace

TSimPtyServer::TSimPtyServer(const TSimulatorOptions& options, int latencyMs)
    : FSystem(options), FLatencyMs(std::clamp(latencyMs, 2, 255)) {}

TSimPtyServer::~TSimPtyServer() {
    if (FHandle)
        FSystem.Close(FHandle);
    if (FSlaveHold >= 0)
        ::close(FSlaveHold);
    if (FMaster >= 0)
        ::close(FMaster);
}

bool TSimPtyServer::Open(QString& error) {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) {
        error = QStringLiteral("cannot create a pseudo-terminal: ") +
                QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(FMaster, name, sizeof name) != 0) {
        error = QStringLiteral("cannot name the pseudo-terminal");
        return false;
    }
    FSlavePath = QString::fromLocal8Bit(name);
    // Held open by the server itself, so the master end never sees the line hang up between
    // two programs; raw, so nothing is echoed or translated before the program sets it.
    FSlaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FSlaveHold >= 0) {
        termios t{};
        if (::tcgetattr(FSlaveHold, &t) == 0) {
            cfmakeraw(&t);
            ::tcsetattr(FSlaveHold, TCSANOW, &t);
        }
    }
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);

    // The adapter as the program would open it through the vendor library.
    const QByteArray description = FSystem.Description().toLatin1();
    if (FSystem.OpenEx(const_cast<char*>(description.constData()), FT_OPEN_BY_DESCRIPTION,
                       &FHandle) != FT_OK ||
        FSystem.SetBaudRate(FHandle, 115200) != FT_OK ||
        FSystem.SetDataCharacteristics(FHandle, 8, 0, 0) != FT_OK ||
        FSystem.SetTimeouts(FHandle, 0, 0) != FT_OK ||
        FSystem.SetLatencyTimer(FHandle, static_cast<uint8_t>(FLatencyMs)) != FT_OK) {
        error = QStringLiteral("the simulated adapter did not open");
        return false;
    }
    return true;
}

void TSimPtyServer::ServeOnce(int waitMs) {
    uint8_t buf[ReadChunk];
    pollfd p{FMaster, POLLIN, 0};
    if (::poll(&p, 1, std::max(waitMs, 0)) > 0 && (p.revents & POLLIN)) {
        for (;;) {
            const ssize_t n = ::read(FMaster, buf, sizeof buf);
            if (n <= 0)
                break;
            FT_DWORD written = 0;
            FSystem.Write(FHandle, buf, static_cast<FT_DWORD>(n), &written);
        }
    }
    FT_DWORD queued = 0;
    if (FSystem.GetQueueStatus(FHandle, &queued) == FT_OK && queued > 0) {
        FT_DWORD got = 0;
        const FT_DWORD ask = std::min(queued, ReadChunk);
        if (FSystem.Read(FHandle, buf, ask, &got) == FT_OK && got > 0)
            FPending.insert(FPending.end(), buf, buf + got);
    }
    while (!FPending.empty()) {
        const ssize_t n = ::write(FMaster, FPending.data(), FPending.size());
        if (n <= 0)
            break; // the slave end's queue is full: nobody reads it now
        FPending.erase(FPending.begin(), FPending.begin() + n);
    }
    if (FPending.size() > PendingLimit) {
        FDropped += FPending.size();
        FPending.clear();
    }
}

void TSimPtyServer::Serve(const std::atomic<bool>& stop) {
    while (!stop.load())
        ServeOnce(1);
}

TSimPtyServer::TCounters TSimPtyServer::Counters() {
    const TSimCounters c = FSystem.Counters();
    TCounters out;
    out.BadChecksum = c.BadCommandFrames;
    out.FramesReceived = c.CommandFrames + c.BadCommandFrames;
    out.FramesSent = c.FramesSent - std::min(c.FramesSent, c.FramesLost);
    out.BytesDropped = FDropped;
    return out;
}

QString TSimPtyServer::Summary(const TCounters& c) {
    return QStringLiteral("received %1 frames, %2 with a bad checksum; sent %3 frames")
        .arg(c.FramesReceived)
        .arg(c.BadChecksum)
        .arg(c.FramesSent);
}

// ---------------------------------------------------------------------------------------------

namespace {

bool IntValue(const QString& arg, const char* name, int& out, QString& error) {
    const QString prefix = QLatin1String(name) + QLatin1Char('=');
    if (!arg.startsWith(prefix))
        return false;
    bool ok = false;
    const int v = arg.mid(prefix.size()).toInt(&ok);
    if (!ok || v < 0)
        error = QStringLiteral("%1 needs a whole number, not \"%2\"")
                    .arg(QLatin1String(name), arg.mid(prefix.size()));
    else
        out = v;
    return true;
}

} // namespace

TSimPtyRequest ParseSimPtyArguments(const QStringList& arguments) {
    TSimPtyRequest r;
    const TSimulatorRequest model = ParseSimulatorArguments(arguments);
    if (!model.Error.isEmpty()) {
        r.Error = model.Error;
        return r;
    }
    r.Options = model.Options;
    for (qsizetype i = 1; i < arguments.size() && r.Error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        int v = 0;
        if (a == QLatin1String("--pty")) {
            r.Pty = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            r.Help = true;
        } else if (a == QLatin1String("--quick")) {
            // The controller and the laser head get through their steps in a fraction of the
            // real time; every stream keeps its rate.
            TSimulatorOptions& o = r.Options;
            o.IodineWarmUpMs = 0;
            o.PrepareMs = 50;
            o.LearnMs = 200;
            o.ScanPeriodMs = 400;
            o.TuneMs = 100;
            o.LockTryMs = 50;
            o.LaserHeadStateMs = 100;
            o.EraseMs = 400;
        } else if (a == QLatin1String("--simulator") ||
                   a.startsWith(QLatin1String("--simulator="))) {
            // the model, read above
        } else if (IntValue(a, "--latency-ms", v, r.Error)) {
            r.LatencyMs = v;
        } else if (IntValue(a, "--error-period-ms", v, r.Error)) {
            r.Options.ErrorSignalPeriodMs = v;
        } else if (IntValue(a, "--error-frames", v, r.Error)) {
            r.Options.ErrorSignalFrames = std::max(v, 1);
        } else if (IntValue(a, "--line-bytes-per-second", v, r.Error)) {
            r.Options.LineBytesPerSecond = std::max(v, 1);
        } else if (IntValue(a, "--line-noise", v, r.Error)) {
            r.Faults.GarbageEveryFrames = v;
        } else {
            r.Error = QStringLiteral("unknown option \"%1\"").arg(a);
        }
    }
    return r;
}

QString SimPtyUsage() {
    return QStringLiteral(
        "Usage: halvane-sim --pty [options]\n"
        "Serves the simulated laser system (controller, DSP board, frequency board, laser head\n"
        "and their boot loaders) on a pseudo-terminal and prints the path of its slave end.\n"
        "Open that path with: halvane --port PATH [--port-kind=111111|222222]\n"
        "\n"
        "  --pty                      create the pseudo-terminal (required)\n"
        "  --simulator[=111111|222222] the controller with a laser head (default) or the\n"
        "                             second model without one\n"
        "  --quick                    warm-up, search, locking and erasing in a fraction of\n"
        "                             their real times (for tests)\n"
        "  --latency-ms=N             the simulated adapter's latency timer (default 16)\n"
        "  --error-period-ms=N        an error-signal frame every N ms (default 10; 1 fills\n"
        "                             the line)\n"
        "  --error-frames=N           N error-signal frames each period (a flood, with a\n"
        "                             faster line: the tty path's own ceiling)\n"
        "  --line-bytes-per-second=N  the simulated line's speed (default 11520 = 115200 baud)\n"
        "  --line-noise=N             random bytes (one of them a start marker) after every\n"
        "                             N-th frame\n"
        "  --help                     this text\n"
        "\n"
        "SIGINT or SIGTERM ends it with one line: received N frames, M with a bad checksum;\n"
        "sent K frames.\n");
}
