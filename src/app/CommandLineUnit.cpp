#include "app/CommandLineUnit.h"

namespace {

// "--name VALUE" or "--name=VALUE". Advances i past what it used.
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

} // namespace

TCommandLine ParseCommandLine(const QStringList& args) {
    TCommandLine cl;
    QString url, ca, user, passwordFile, topic;
    bool haveUrl = false, haveCa = false, haveUser = false, havePassword = false, haveTopic = false;
    for (qsizetype i = 1; i < args.size() && cl.Error.isEmpty(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            cl.Help = true;
        } else if (TakeValue(args, i, QStringLiteral("--mqtt"), url, cl.Error)) {
            haveUrl = true;
        } else if (TakeValue(args, i, QStringLiteral("--mqtt-ca"), ca, cl.Error)) {
            haveCa = true;
        } else if (TakeValue(args, i, QStringLiteral("--mqtt-user"), user, cl.Error)) {
            haveUser = true;
        } else if (TakeValue(args, i, QStringLiteral("--mqtt-password-file"), passwordFile,
                             cl.Error)) {
            havePassword = true;
        } else if (TakeValue(args, i, QStringLiteral("--mqtt-topic"), topic, cl.Error)) {
            haveTopic = true;
        } else if (a.startsWith(QLatin1String("--mqtt-password"))) {
            cl.Error = QStringLiteral("%1: never give a password on the command line; use "
                                      "--mqtt-password-file FILE")
                           .arg(a.section(QLatin1Char('='), 0, 0));
        }
    }
    if (!cl.Error.isEmpty() || cl.Help)
        return cl;
    if (!haveUrl) {
        if (haveCa || haveUser || havePassword || haveTopic)
            cl.Error = QStringLiteral("--mqtt-ca, --mqtt-user, --mqtt-password-file and "
                                      "--mqtt-topic need --mqtt URL");
        return cl;
    }
    TMqttOptions& m = cl.Mqtt;
    if (!ParseMqttUrl(url, m, &cl.Error))
        return cl;
    if (haveCa) {
        if (!m.Tls) {
            cl.Error = QStringLiteral("--mqtt-ca needs an mqtts:// address");
            return cl;
        }
        m.CaFile = ca;
    }
    if (havePassword && !haveUser) {
        cl.Error = QStringLiteral("--mqtt-password-file needs --mqtt-user");
        return cl;
    }
    if (haveUser) {
        if (user.isEmpty()) {
            cl.Error = QStringLiteral("--mqtt-user: empty");
            return cl;
        }
        m.User = user;
    }
    if (havePassword) {
        m.PasswordFile = passwordFile;
        if (!ReadMqttPasswordFile(passwordFile, m.Password, &cl.Error))
            return cl;
    }
    if (haveTopic) {
        if (!CheckMqttTopicPrefix(topic, &cl.Error))
            return cl;
        m.TopicPrefix = topic;
    }
    return cl;
}

QString CommandLineHelpText() {
    return QStringLiteral(
        "Usage: halvane [options]\n"
        "Operator and service program of an iodine-stabilised HeNe laser.\n"
        "\n"
        "Options:\n"
        "  -h, --help                  Show this text and end.\n"
        "  --simulator[=MODEL]         List a simulated laser system (MODEL 111111 or\n"
        "                              222222; default 111111).\n"
        "\n"
        "Network status stream (read-only; off unless --mqtt is given):\n"
        "  --mqtt URL                  Publish status, beat, events and health to the MQTT\n"
        "                              broker at mqtt://host[:port] (default port 1883) or\n"
        "                              mqtts://host[:port] (TLS, default port 8883).\n"
        "  --mqtt-ca FILE              Certificate authority of the broker (PEM), for mqtts.\n"
        "  --mqtt-user NAME            User name for the broker.\n"
        "  --mqtt-password-file FILE   The password: the first line of FILE.\n"
        "  --mqtt-topic PREFIX         Topic prefix (default: halvane/<device description>).\n");
}
