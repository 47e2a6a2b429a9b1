// The program's command line: the simulator's demonstration options, their checks, and the
// option list.
#include "app/CommandLineUnit.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {
QStringList Line(const std::vector<const char*>& args) {
    QStringList list{QStringLiteral("halvane")};
    for (const char* a : args)
        list << QString::fromLatin1(a);
    return list;
}
// A console's text in "\n" line ends (Windows writes "\r\n").
[[maybe_unused]] QByteArray LineEnds(QByteArray text) {
    return text.replace("\r\n", "\n");
}
TCommandLine Parse(const std::vector<const char*>& args) {
    return ParseCommandLine(Line(args));
}
} // namespace

TEST(CommandLine, SimulatorDemonstrationOptions) {
    const TCommandLine none = Parse({});
    EXPECT_TRUE(none.Error.isEmpty());
    EXPECT_FALSE(none.Simulator);
    EXPECT_EQ(none.SimUnplugEverySeconds, 0.0); // never unplugs unless asked
    EXPECT_EQ(none.SimUnlockEverySeconds, 0.0);

    const TCommandLine c = Parse({"--simulator=222222", "--sim-unplug-every=20",
                                  "--sim-unplug-for=2.5", "--sim-unlock-every=45"});
    EXPECT_TRUE(c.Error.isEmpty()) << c.Error.toStdString();
    EXPECT_TRUE(c.Simulator);
    EXPECT_EQ(c.SimUnplugEverySeconds, 20.0);
    EXPECT_EQ(c.SimUnplugForSeconds, 2.5);
    EXPECT_EQ(c.SimUnlockEverySeconds, 45.0);
}

TEST(CommandLine, BadDemonstrationOptionsAreRefusedWithAReason) {
    const struct {
        std::vector<const char*> Line;
        const char* Reason; // a part of the message only this refusal gives
    } bad[] = {
        {{"--simulator", "--sim-unplug-every=0"}, "seconds above 0, not \"0\""},
        {{"--simulator", "--sim-unplug-every=soon"}, "seconds above 0, not \"soon\""},
        {{"--simulator", "--sim-unplug-every=-4"}, "seconds above 0, not \"-4\""},
        {{"--simulator", "--sim-unplug-every=5", "--sim-unplug-for=5"},
         "--sim-unplug-for must be shorter than --sim-unplug-every"},
        {{"--sim-unplug-every=10"}, "need --simulator"}, // without the simulator
        {{"--sim-unlock-every=10"}, "need --simulator"},
    };
    for (const auto& row : bad) {
        const QStringList args = Line(row.Line);
        const QString error = ParseCommandLine(args).Error;
        EXPECT_TRUE(error.contains(QLatin1String(row.Reason)))
            << args.join(' ').toStdString() << ": " << error.toStdString();
    }
}

TEST(CommandLine, HelpListsEveryOption) {
    EXPECT_TRUE(Parse({"--help"}).Help);
    for (const char* option : {"--help", "--simulator", "--port", "--sim-unplug-every",
                               "--sim-unplug-for", "--sim-unlock-every"})
        EXPECT_TRUE(CommandLineHelp().contains(QLatin1String(option))) << option;
}

TEST(CommandLine, PortByPathWithItsKind) {
    const struct {
        std::vector<const char*> args;
        QString path;
        int32_t kind;
        bool error;
    } cases[] = {
        {{"--port", "/dev/ttyUSB0"}, "/dev/ttyUSB0", 111111, false},
        {{"--port=/dev/pts/3", "--port-kind=222222"}, "/dev/pts/3", 222222, false},
        {{"--port-kind=111111", "--port", "/dev/pts/3"}, "/dev/pts/3", 111111, false},
        {{"--port"}, "", 111111, true},                             // no path
        {{"--port", "--simulator"}, "", 111111, true},              // an option is no path
        {{"--port=/dev/pts/3", "--port-kind=333333"}, "", 0, true}, // unknown kind
        {{"--port-kind=222222"}, "", 0, true},                      // a kind without a port
        {{"--port=/dev/pts/3", "--simulator"}, "", 0, true},        // one device source only
    };
    for (const auto& c : cases) {
        const QStringList args = Line(c.args);
        SCOPED_TRACE(args.join(' ').toStdString());
        const TCommandLine line = ParseCommandLine(args);
        EXPECT_EQ(!line.Error.isEmpty(), c.error) << line.Error.toStdString();
        if (!c.error) {
            EXPECT_EQ(line.PortPath, c.path);
            EXPECT_EQ(line.PortKind, c.kind);
        }
    }
    EXPECT_TRUE(CommandLineHelp().contains(QLatin1String("--port-kind=111111|222222")));
}

TEST(CommandLine, UnknownOptionsAreRefusedByNameAndQtsOwnPass) {
    const struct {
        std::vector<const char*> args;
        const char* refused; // nullptr: accepted
    } cases[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"-x"}, "-x"},
        {{"--simulator", "--sim-unplug=3"}, "--sim-unplug=3"},
        {{"-platform", "offscreen", "-style=Fusion", "--reverse"}, nullptr},
        {{"--platform=offscreen", "-stylesheet", "a.qss", "--simulator"}, nullptr},
        {{"-platform", "offscreen", "--bogus"}, "--bogus"},
        {{"--version"}, nullptr},
    };
    for (const auto& c : cases) {
        const QStringList args = Line(c.args);
        SCOPED_TRACE(args.join(' ').toStdString());
        const TCommandLine line = ParseCommandLine(args);
        if (!c.refused) {
            EXPECT_TRUE(line.Error.isEmpty()) << line.Error.toStdString();
            continue;
        }
        EXPECT_TRUE(line.Error.contains(QString::fromLatin1(c.refused)));
        EXPECT_FALSE(line.Error.contains(QLatin1Char('\n')));
    }
}

#ifdef HALVANE_PATH
TEST(CommandLine, TheProgramSaysItsVersionAndRefusesAnUnknownOptionWithStatus2) {
    const struct {
        const char* arg;
        int status;
        QByteArray out, err;
    } cases[] = {
        {"--version", 0, "Halvane " HALVANE_VERSION_TEXT "\n", ""},
        {"--frobnicate", 2, "",
         "halvane: unknown option '--frobnicate'\n"
         "Usage: halvane [options] (halvane --help lists them)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        QProcess p;
        p.start(QStringLiteral(HALVANE_PATH), {QString::fromLatin1(c.arg)});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.status);
        EXPECT_EQ(LineEnds(p.readAllStandardOutput()), c.out);
        EXPECT_EQ(LineEnds(p.readAllStandardError()), c.err);
    }
}
#endif
