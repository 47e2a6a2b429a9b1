// The program's command line: the simulator's options, their checks, and the option list.
#include "app/CommandLineUnit.h"

#include <gtest/gtest.h>

namespace {
TProgramOptions Parse(std::initializer_list<const char*> args) {
    QStringList list{QStringLiteral("halvane")};
    for (const char* a : args)
        list << QString::fromLatin1(a);
    return ParseProgramArguments(list);
}
} // namespace

TEST(CommandLine, SimulatorOptions) {
    const TProgramOptions none = Parse({});
    EXPECT_TRUE(none.Error.isEmpty());
    EXPECT_FALSE(none.Simulator);
    EXPECT_FALSE(none.Help);

    const TProgramOptions o = Parse({"--simulator=222222", "--sim-unplug-every=20",
                                     "--sim-unplug-for", "2.5", "--sim-unlock-every=45"});
    EXPECT_TRUE(o.Error.isEmpty()) << o.Error.toStdString();
    EXPECT_TRUE(o.Simulator);
    EXPECT_EQ(o.SimulatorModel, QStringLiteral("222222"));
    EXPECT_EQ(o.SimUnplugEverySeconds, 20.0);
    EXPECT_EQ(o.SimUnplugForSeconds, 2.5);
    EXPECT_EQ(o.SimUnlockEverySeconds, 45.0);

    const TProgramOptions plain = Parse({"--simulator"});
    EXPECT_TRUE(plain.Simulator);
    EXPECT_TRUE(plain.SimulatorModel.isEmpty());
    EXPECT_EQ(plain.SimUnplugEverySeconds, 0.0); // never unplugs unless asked
    EXPECT_EQ(plain.SimUnlockEverySeconds, 0.0);
}

TEST(CommandLine, BadLinesAreRefusedWithAReason) {
    const char* bad[][3] = {
        {"--simulator", "--sim-unplug-every=0", nullptr},
        {"--simulator", "--sim-unplug-every=soon", nullptr},
        {"--simulator", "--sim-unplug-every=-4", nullptr},
        {"--simulator", "--sim-unplug-every=5", "--sim-unplug-for=5"},
        {"--sim-unplug-every=10", nullptr, nullptr}, // without the simulator
        {"--sim-unlock-every=10", nullptr, nullptr},
        {"--no-such-option", nullptr, nullptr},
    };
    for (const auto& line : bad) {
        QStringList args{QStringLiteral("halvane")};
        for (const char* a : line)
            if (a)
                args << QString::fromLatin1(a);
        EXPECT_FALSE(ParseProgramArguments(args).Error.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(CommandLine, HelpListsEveryOption) {
    const TProgramOptions o = Parse({"--help"});
    EXPECT_TRUE(o.Help);
    for (const char* option :
         {"--help", "--simulator", "--sim-unplug-every", "--sim-unplug-for", "--sim-unlock-every"})
        EXPECT_TRUE(o.HelpText.contains(QLatin1String(option))) << option;
}
