#include "net/MqttOptionsUnit.h"

#include <QFile>
#include <QUrl>

namespace {

bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

bool ParseMqttUrl(const QString& url, TMqttOptions& options, QString* error) {
    const QUrl u(url, QUrl::StrictMode);
    // A password in the address is never repeated in a message.
    const QString shown = u.userInfo().isEmpty() ? url : u.toString(QUrl::RemoveUserInfo);
    const QString quoted = QStringLiteral("\"%1\"").arg(shown);
    if (!u.isValid()) {
        // QUrl's reason repeats the address after "; source was"; that part may hold a password.
        const QString reason = u.errorString().section(QLatin1String("; source was"), 0, 0);
        return Fail(error, QStringLiteral("--mqtt %1: not a valid address (%2)")
                               .arg(url.contains(QLatin1Char('@')) ? QStringLiteral("...") : quoted,
                                    reason));
    }
    const QString scheme = u.scheme().toLower();
    if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        return Fail(
            error,
            QStringLiteral("--mqtt %1: use mqtt://host[:port] or mqtts://host[:port]").arg(quoted));
    if (!u.userInfo().isEmpty())
        return Fail(error, QStringLiteral("--mqtt %1: no user or password in the address; use "
                                          "--mqtt-user and --mqtt-password-file")
                               .arg(quoted));
    if (u.host().isEmpty())
        return Fail(error, QStringLiteral("--mqtt %1: no host").arg(quoted));
    if ((!u.path().isEmpty() && u.path() != QLatin1String("/")) || u.hasQuery() || u.hasFragment())
        return Fail(error,
                    QStringLiteral("--mqtt %1: only mqtt://host[:port] or mqtts://host[:port]")
                        .arg(quoted));
    // QUrl takes "host:" as no port; a port of 0 is never a broker's.
    if (u.port() == 0 || url.endsWith(QLatin1Char(':')))
        return Fail(error, QStringLiteral("--mqtt %1: bad port").arg(quoted));
    options.Enabled = true;
    options.Tls = scheme == QLatin1String("mqtts");
    options.Host = u.host();
    options.Port = u.port(options.Tls ? 8883 : 1883);
    return true;
}

bool ReadMqttPasswordFile(const QString& fileName, QString& password, QString* error) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(
            error,
            QStringLiteral("--mqtt-password-file \"%1\": %2").arg(fileName, file.errorString()));
    QByteArray line = file.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    password = QString::fromUtf8(line);
    return true;
}

bool CheckMqttTopicPrefix(const QString& prefix, QString* error) {
    const QString quoted = QStringLiteral("\"%1\"").arg(prefix);
    if (prefix.isEmpty())
        return Fail(error, QStringLiteral("--mqtt-topic: empty"));
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return Fail(error, QStringLiteral("--mqtt-topic %1: '+' and '#' are not allowed in a "
                                          "topic one publishes to")
                               .arg(quoted));
    for (const QChar c : prefix)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return Fail(error, QStringLiteral("--mqtt-topic %1: control character").arg(quoted));
    if (prefix.endsWith(QLatin1Char('/')))
        return Fail(error, QStringLiteral("--mqtt-topic %1: ends with '/'").arg(quoted));
    if (prefix.toUtf8().size() > 60000)
        return Fail(error, QStringLiteral("--mqtt-topic: too long"));
    return true;
}

QString MqttTopicPrefixForDevice(const QString& deviceDescription) {
    QString level;
    level.reserve(deviceDescription.size());
    for (const QChar c : deviceDescription) {
        const char16_t u = c.unicode();
        const bool forbidden =
            u == u'+' || u == u'#' || u == u'/' || u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0);
        level.append(forbidden ? QChar(u'_') : c);
    }
    level = level.trimmed();
    if (level.isEmpty())
        level = QStringLiteral("unknown");
    return QStringLiteral("halvane/") + level;
}
