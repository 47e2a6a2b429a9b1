// The program's command line: the simulator's demonstration options, their checks, and the
// option list.
#include "app/CommandLineUnit.h"

#include <gtest/gtest.h>

namespace {
TCommandLine Parse(std::initializer_list<const char*> args) {
    QStringList list{QStringLiteral("halvane")};
    for (const char* a : args)
        list << QString::fromLatin1(a);
    return ParseCommandLine(list);
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
    const std::vector<std::vector<const char*>> bad = {
        {"--simulator", "--sim-unplug-every=0"},
        {"--simulator", "--sim-unplug-every=soon"},
        {"--simulator", "--sim-unplug-every=-4"},
        {"--simulator", "--sim-unplug-every=5", "--sim-unplug-for=5"},
        {"--sim-unplug-every=10"}, // without the simulator
        {"--sim-unlock-every=10"},
    };
    for (const auto& line : bad) {
        QStringList args{QStringLiteral("halvane")};
        for (const char* a : line)
            args << QString::fromLatin1(a);
        EXPECT_FALSE(ParseCommandLine(args).Error.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(CommandLine, HelpListsEveryOption) {
    EXPECT_TRUE(Parse({"--help"}).Help);
    for (const char* option : {"--help", "--simulator", "--port", "--sim-unplug-every",
                               "--sim-unplug-for", "--sim-unlock-every"})
        EXPECT_TRUE(CommandLineHelp().contains(QLatin1String(option))) << option;
}
