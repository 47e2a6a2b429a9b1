#include "app/CommandLineUnit.h"

#include "link/Phy_Global_Unit.h"

namespace {

// --name=SECONDS: a number of seconds above 0 (fractions allowed), at most a day.
bool SecondsOption(const QString& a, const char* name, double& out, QString& error) {
    const QString prefix = QStringLiteral("--%1=").arg(QLatin1String(name));
    if (!a.startsWith(prefix))
        return false;
    bool ok = false;
    const double value = a.mid(prefix.size()).toDouble(&ok);
    if (!ok || !(value > 0) || value > 24 * 3600)
        error = QStringLiteral("--%1 wants a number of seconds above 0, not \"%2\"")
                    .arg(QLatin1String(name), a.mid(prefix.size()));
    else
        out = value;
    return true;
}

} // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine c;
    bool kindGiven = false;
    bool simOptionGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.Help = true;
        } else if (a == QLatin1String("--simulator") ||
                   a.startsWith(QLatin1String("--simulator="))) {
            c.Simulator = true;
        } else if (a == QLatin1String("--port")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"))) {
                c.Error = QStringLiteral("--port needs the path of a serial device");
                return c;
            }
            c.PortPath = arguments[++i];
        } else if (a.startsWith(QLatin1String("--port="))) {
            c.PortPath = a.mid(7);
            if (c.PortPath.isEmpty()) {
                c.Error = QStringLiteral("--port needs the path of a serial device");
                return c;
            }
        } else if (a.startsWith(QLatin1String("--port-kind="))) {
            const QString kind = a.mid(12);
            if (kind == QLatin1String("111111"))
                c.PortKind = KindControllerWithLaserHead;
            else if (kind == QLatin1String("222222"))
                c.PortKind = KindSecondController;
            else {
                c.Error =
                    QStringLiteral("Unknown port kind \"%1\" (use 111111 or 222222)").arg(kind);
                return c;
            }
            kindGiven = true;
        } else if (SecondsOption(a, "sim-unplug-every", c.SimUnplugEverySeconds, c.Error) ||
                   SecondsOption(a, "sim-unplug-for", c.SimUnplugForSeconds, c.Error) ||
                   SecondsOption(a, "sim-unlock-every", c.SimUnlockEverySeconds, c.Error)) {
            if (!c.Error.isEmpty())
                return c;
            simOptionGiven = true;
        }
        // Anything else is left to Qt (-platform, -style ...).
    }
    if (simOptionGiven && !c.Simulator) {
        c.Error = QStringLiteral("the --sim-... options need --simulator");
        return c;
    }
    if (c.SimUnplugEverySeconds > 0 && c.SimUnplugForSeconds >= c.SimUnplugEverySeconds) {
        c.Error = QStringLiteral("--sim-unplug-for must be shorter than --sim-unplug-every");
        return c;
    }
    if (kindGiven && c.PortPath.isEmpty())
        c.Error = QStringLiteral("--port-kind needs --port");
    else if (!c.PortPath.isEmpty() && c.Simulator)
        c.Error = QStringLiteral("--port and --simulator exclude each other");
    return c;
}

QString CommandLineHelp() {
    return QStringLiteral(
        "Usage: halvane [options]\n"
        "Operator and service program of the iodine-stabilised HeNe laser.\n"
        "Without options it searches for the laser system's USB adapter (through the FTDI\n"
        "vendor library where it is installed, else through the kernel's USB-serial driver).\n"
        "\n"
        "  --simulator[=111111|222222]  run against the simulated laser system: the controller\n"
        "                               with a laser head (default) or the second model\n"
        "  --port PATH                  open this serial device instead of searching, e.g.\n"
        "                               /dev/ttyUSB0 or the path halvane-sim --pty prints\n"
        "  --port-kind=111111|222222    the device kind behind --port (default 111111:\n"
        "                               \"QRX-7A\"; 222222: \"TMVK v2\")\n"
        "  --sim-unplug-every=SECONDS   with --simulator: the simulated adapter leaves the bus\n"
        "                               every SECONDS and comes back (demonstrates the link's\n"
        "                               recovery)\n"
        "  --sim-unplug-for=SECONDS     how long it stays away (default 3)\n"
        "  --sim-unlock-every=SECONDS   with --simulator: the simulated controller drops out of\n"
        "                               lock every SECONDS and locks again by itself\n"
        "  --help                       this text\n");
}
