#pragma once
// The program's command line, parsed in one place: every option the program knows is listed by
// --help. Qt Core only; what an option does is up to main.

#include <QString>
#include <QStringList>

struct TProgramOptions {
    bool Help = false; // --help: print HelpText and end
    QString HelpText;  // the option list
    QString Error;     // an unknown option or a bad value; empty when the line is good

    // --simulator[=111111|222222|qrx-7a|tmvk]: the simulated laser system instead of the adapter.
    bool Simulator = false;
    QString SimulatorModel; // the value after '=', empty for the default model
    // --sim-unplug-every=SECONDS, --sim-unplug-for=SECONDS: the simulated adapter leaves the bus
    // every so often and comes back after a while (demonstrations of the link's recovery).
    double SimUnplugEverySeconds = 0;
    double SimUnplugForSeconds = 3;
    // --sim-unlock-every=SECONDS: the simulated controller drops out of lock every so often and
    // locks again by itself.
    double SimUnlockEverySeconds = 0;
};

// arguments as QCoreApplication::arguments() gives them (the program's name first).
TProgramOptions ParseProgramArguments(const QStringList& arguments);
