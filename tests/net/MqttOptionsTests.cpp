// The flags of the network status stream and the text they turn into.
#include "app/CommandLineUnit.h"
#include "net/MqttOptionsUnit.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(MqttUrl, AcceptsTheTwoSchemesWithTheirDefaultPorts) {
    struct Case {
        const char* url;
        const char* host;
        int port;
        bool tls;
    };
    for (const Case& c : {Case{"mqtt://broker.lab", "broker.lab", 1883, false},
                          Case{"mqtts://broker.lab", "broker.lab", 8883, true},
                          Case{"mqtt://10.0.0.7:1884", "10.0.0.7", 1884, false},
                          Case{"MQTTS://[::1]:9000/", "::1", 9000, true}}) {
        TMqttOptions o;
        QString error;
        ASSERT_TRUE(ParseMqttUrl(QString::fromLatin1(c.url), o, &error))
            << c.url << " " << qPrintable(error);
        EXPECT_EQ(o.Host, QString::fromLatin1(c.host)) << c.url;
        EXPECT_EQ(o.Port, c.port) << c.url;
        EXPECT_EQ(o.Tls, c.tls) << c.url;
        EXPECT_TRUE(o.Enabled);
    }
}

TEST(MqttUrl, RefusesWhatIsNotABrokerAddressAndSaysWhichOne) {
    for (const char* url :
         {"", "broker.lab", "tcp://broker.lab", "mqtt://", "mqtt://h:0", "mqtt://h:65536",
          "mqtt://h:", "mqtt://h:12x", "mqtt://u:secret@h", "mqtt://h/topic", "mqtt://h?x=1",
          "mqtt://h#f", "mqtt//h", "http://h"}) {
        TMqttOptions o;
        QString error;
        EXPECT_FALSE(ParseMqttUrl(QString::fromLatin1(url), o, &error)) << url;
        if (QByteArray(url).contains("secret"))
            EXPECT_FALSE(error.contains(QLatin1String("secret"))) << qPrintable(error);
        else
            EXPECT_TRUE(error.contains(QString::fromLatin1(url)))
                << url << ": " << qPrintable(error);
    }
}

TEST(MqttTopic, DevicePrefixReplacesWhatATopicLevelMayNotHold) {
    struct Case {
        QString description;
        QString prefix;
    };
    for (const Case& c :
         {Case{QStringLiteral("QRX-7A 111111"), QStringLiteral("halvane/QRX-7A 111111")},
          Case{QStringLiteral("a+b#c/d"), QStringLiteral("halvane/a_b_c_d")},
          Case{QStringLiteral("x") + QChar(0) + QChar(0x1F) + QChar(0x7F) + QStringLiteral("y"),
               QStringLiteral("halvane/x___y")},
          Case{QStringLiteral("Łódź λ"), QStringLiteral("halvane/Łódź λ")},
          Case{QString(), QStringLiteral("halvane/unknown")},
          Case{QStringLiteral("  "), QStringLiteral("halvane/unknown")}}) {
        EXPECT_EQ(MqttTopicPrefixForDevice(c.description), c.prefix);
        EXPECT_TRUE(CheckMqttTopicPrefix(MqttTopicPrefixForDevice(c.description), nullptr));
    }
    for (const char* bad : {"", "a/+/b", "lab/#", "lab/", "a\x01"})
        EXPECT_FALSE(CheckMqttTopicPrefix(QString::fromLatin1(bad), nullptr)) << bad;
    EXPECT_TRUE(CheckMqttTopicPrefix(QStringLiteral("lab/room 2/laser"), nullptr));
}

namespace {

TCommandLine Parse(QStringList args) {
    args.prepend(QStringLiteral("halvane"));
    return ParseCommandLine(args);
}

} // namespace

TEST(CommandLine, WithoutMqttNothingIsAskedForAndOtherFlagsAreLeftAlone) {
    const TCommandLine cl =
        Parse({QStringLiteral("--simulator=222222"), QStringLiteral("-platform"),
               QStringLiteral("offscreen"), QStringLiteral("-style=Fusion")}); // Qt's own
    EXPECT_TRUE(cl.Error.isEmpty()) << qPrintable(cl.Error);
    EXPECT_FALSE(cl.Mqtt.Enabled);
    EXPECT_FALSE(cl.Help);
    EXPECT_TRUE(Parse({QStringLiteral("-h")}).Help);
    EXPECT_TRUE(CommandLineHelp().contains(QLatin1String("--mqtt-password-file FILE")));
}

TEST(CommandLine, MqttFlagsTogetherAndThePasswordFromItsFile) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pw"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("s3cret pass\r\nsecond line\n");
    f.close();
    const TCommandLine cl =
        Parse({QStringLiteral("--mqtt=mqtts://b:8884"), QStringLiteral("--mqtt-ca"),
               QStringLiteral("/etc/ca.pem"), QStringLiteral("--mqtt-user"),
               QStringLiteral("laser"), QStringLiteral("--mqtt-password-file"), file,
               QStringLiteral("--mqtt-topic"), QStringLiteral("lab/l1")});
    ASSERT_TRUE(cl.Error.isEmpty()) << qPrintable(cl.Error);
    EXPECT_TRUE(cl.Mqtt.Enabled);
    EXPECT_TRUE(cl.Mqtt.Tls);
    EXPECT_EQ(cl.Mqtt.Port, 8884);
    EXPECT_EQ(cl.Mqtt.CaFile, QStringLiteral("/etc/ca.pem"));
    EXPECT_EQ(cl.Mqtt.User, QStringLiteral("laser"));
    EXPECT_EQ(cl.Mqtt.Password, QStringLiteral("s3cret pass"));
    EXPECT_EQ(cl.Mqtt.TopicPrefix, QStringLiteral("lab/l1"));
}

TEST(CommandLine, FlagsThatCannotBeUsedAreErrors) {
    const QString url = QStringLiteral("mqtt://b");
    const struct {
        const char* Line;   // the arguments, split at spaces
        const char* Reason; // a part of the message that names this row's fault
    } bad[] = {
        {"--mqtt", "--mqtt needs a value"},
        {"--mqtt --mqtt-user", "--mqtt needs a value"},
        {"--mqtt mqtt://b --mqtt-password=x", "--mqtt-password: never give a password"},
        {"--mqtt mqtt://b --mqtt-password x", "--mqtt-password: never give a password"},
        {"--mqtt mqtt://b --mqtt-ca ca.pem", "--mqtt-ca needs an mqtts:// address"},
        {"--mqtt mqtt://b --mqtt-password-file /no/pw", "--mqtt-password-file needs --mqtt-user"},
        {"--mqtt mqtt://b --mqtt-user u --mqtt-password-file /no/pw",
         "--mqtt-password-file \"/no/pw\": "},
        {"--mqtt mqtt://b --mqtt-topic a/#", "'+' and '#' are not allowed"},
        {"--mqtt-topic a", "need --mqtt URL"},
    };
    for (const auto& row : bad) {
        const QString error = Parse(QString::fromLatin1(row.Line).split(QLatin1Char(' '))).Error;
        EXPECT_TRUE(error.contains(QLatin1String(row.Reason)))
            << row.Line << ": " << qPrintable(error);
    }
    // A password given on the command line is never echoed back.
    EXPECT_FALSE(Parse({QStringLiteral("--mqtt"), url, QStringLiteral("--mqtt-password=hunter2")})
                     .Error.contains(QLatin1String("hunter2")));
}
