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

// "--name VALUE" or "--name=VALUE": true when a is that flag (i then points past its value).
bool TakeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value,
               QString& error) {
    const QString& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--"))) {
            error = QStringLiteral("%1 needs a value (see --help)").arg(name);
            return true;
        }
        value = args[++i];
        return true;
    }
    if (a.startsWith(name + QLatin1Char('='))) {
        value = a.mid(name.size() + 1);
        return true;
    }
    return false;
}

struct TMqttFlags {
    QString url, ca, user, passwordFile, topic;
    bool haveUrl = false, haveCa = false, haveUser = false, havePassword = false, haveTopic = false;
};

// One of the --mqtt flags at i? Sets error for a password given on the line itself.
bool TakeMqttFlag(const QStringList& args, qsizetype& i, TMqttFlags& f, QString& error) {
    if (TakeValue(args, i, QStringLiteral("--mqtt"), f.url, error))
        return f.haveUrl = true;
    if (TakeValue(args, i, QStringLiteral("--mqtt-ca"), f.ca, error))
        return f.haveCa = true;
    if (TakeValue(args, i, QStringLiteral("--mqtt-user"), f.user, error))
        return f.haveUser = true;
    if (TakeValue(args, i, QStringLiteral("--mqtt-password-file"), f.passwordFile, error))
        return f.havePassword = true;
    if (TakeValue(args, i, QStringLiteral("--mqtt-topic"), f.topic, error))
        return f.haveTopic = true;
    if (args[i].startsWith(QLatin1String("--mqtt-password"))) {
        error = QStringLiteral("%1: never give a password on the command line; use "
                               "--mqtt-password-file FILE")
                    .arg(args[i].section(QLatin1Char('='), 0, 0));
        return true;
    }
    return false;
}

// The flags together; error when they cannot be used.
void ApplyMqttFlags(const TMqttFlags& f, TMqttOptions& m, QString& error) {
    if (!f.haveUrl) {
        if (f.haveCa || f.haveUser || f.havePassword || f.haveTopic)
            error = QStringLiteral("--mqtt-ca, --mqtt-user, --mqtt-password-file and "
                                   "--mqtt-topic need --mqtt URL");
        return;
    }
    if (!ParseMqttUrl(f.url, m, &error))
        return;
    if (f.haveCa) {
        if (!m.Tls) {
            error = QStringLiteral("--mqtt-ca needs an mqtts:// address");
            return;
        }
        m.CaFile = f.ca;
    }
    if (f.havePassword && !f.haveUser) {
        error = QStringLiteral("--mqtt-password-file needs --mqtt-user");
        return;
    }
    if (f.haveUser) {
        if (f.user.isEmpty()) {
            error = QStringLiteral("--mqtt-user: empty");
            return;
        }
        m.User = f.user;
    }
    if (f.havePassword) {
        m.PasswordFile = f.passwordFile;
        if (!ReadMqttPasswordFile(f.passwordFile, m.Password, &error))
            return;
    }
    if (f.haveTopic) {
        if (!CheckMqttTopicPrefix(f.topic, &error))
            return;
        m.TopicPrefix = f.topic;
    }
}

// Qt's own options, given with one dash or two: those followed by a value, then the rest.
const char* const QtValueOptions[] = {"platform",
                                      "platformpluginpath",
                                      "platformtheme",
                                      "plugin",
                                      "qwindowgeometry",
                                      "geometry",
                                      "qwindowtitle",
                                      "title",
                                      "qwindowicon",
                                      "icon",
                                      "style",
                                      "stylesheet",
                                      "session",
                                      "display",
                                      "name",
                                      "qmljsdebugger",
                                      "visual",
                                      "ncols",
                                      "cmap",
                                      "fn",
                                      "font",
                                      "bg",
                                      "background",
                                      "fg",
                                      "foreground",
                                      "btn",
                                      "button",
                                      "im",
                                      "inputstyle"};
const char* const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb",
                                     "sync",    "testability", "qdebug"};

// How many arguments from i on a Qt option takes (0 when a is none of Qt's).
int QtOptionLength(const QStringList& args, qsizetype i) {
    QString a = args[i];
    if (a.startsWith(QLatin1String("--")))
        a.remove(0, 1);
    if (!a.startsWith(QLatin1Char('-')) || a.size() < 2)
        return 0;
    const QString name = a.mid(1).section(QLatin1Char('='), 0, 0);
    const bool inlineValue = a.contains(QLatin1Char('='));
    for (const char* option : QtValueOptions)
        if (name == QLatin1String(option))
            return inlineValue || i + 1 >= args.size() ? 1 : 2;
    for (const char* option : QtFlagOptions)
        if (name == QLatin1String(option) && !inlineValue)
            return 1;
    return 0;
}

} // namespace

QString CommandLineVersion() {
    return QStringLiteral("Halvane " HALVANE_VERSION);
}

QString CommandLineUsageHint() {
    return QStringLiteral("Usage: halvane [options] (halvane --help lists them)");
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine c;
    bool kindGiven = false;
    bool simOptionGiven = false;
    TMqttFlags mqtt;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (TakeMqttFlag(arguments, i, mqtt, c.Error)) {
            if (!c.Error.isEmpty())
                return c;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.Help = true;
        } else if (a == QLatin1String("--version")) {
            c.Version = true;
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
        } else if (const int length = QtOptionLength(arguments, i)) {
            i += length - 1; // Qt's own, read by Qt
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            c.Error = QStringLiteral("halvane: unknown option '%1'").arg(a);
            return c;
        }
    }
    if (simOptionGiven && !c.Simulator) {
        c.Error = QStringLiteral("the --sim-... options need --simulator");
        return c;
    }
    if (c.SimUnplugEverySeconds > 0 && c.SimUnplugForSeconds >= c.SimUnplugEverySeconds) {
        c.Error = QStringLiteral("--sim-unplug-for must be shorter than --sim-unplug-every");
        return c;
    }
    if (c.Help || c.Version)
        return c;
    ApplyMqttFlags(mqtt, c.Mqtt, c.Error);
    if (!c.Error.isEmpty())
        return c;
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
        "  --help                       this text\n"
        "  --version                    the program's name and version\n"
        "\n"
        "Network status stream (read-only; off unless --mqtt is given):\n"
        "  --mqtt URL                   publish status, beat, events and health to the MQTT\n"
        "                               broker at mqtt://host[:port] (default port 1883) or\n"
        "                               mqtts://host[:port] (TLS, default port 8883)\n"
        "  --mqtt-ca FILE               certificate authority of the broker (PEM), for mqtts\n"
        "  --mqtt-user NAME             user name for the broker\n"
        "  --mqtt-password-file FILE    the password: the first line of FILE (never give a\n"
        "                               password on the command line)\n"
        "  --mqtt-topic PREFIX          topic prefix (default: halvane/<device description>)\n");
}
