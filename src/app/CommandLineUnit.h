#pragma once
// The program's command line, read in one place. Nothing here is needed for a normal run: the
// options are for trying the program without the laser or through a serial device by path.
//
//   --simulator[=111111|222222]  the simulated laser system in the program (its value is
//                                read by ParseSimulatorArguments)
//   --port PATH                  a serial device by path (a tty, a pseudo-terminal)
//   --port-kind=111111|222222    the device kind that port stands for (default 111111)
//   --sim-unplug-every=SECONDS   with --simulator: the adapter leaves the bus on this period
//   --sim-unplug-for=SECONDS     ... and is listed again after this long (default 3)
//   --sim-unlock-every=SECONDS   with --simulator: the controller drops out of lock on this
//                                period and locks again by itself
//   --mqtt URL and companions    the read-only network status stream (net/MqttOptionsUnit.h)
//   --help                       the list of options
//   --version                    the program's name and version
// Qt's own options (-platform, -style ...) pass to Qt; any other option is refused by name.

#include "net/MqttOptionsUnit.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct TCommandLine {
    bool Help = false;
    bool Version = false;
    bool Simulator = false; // --simulator in any form; the simulator reads its own value
    QString PortPath;       // empty: adapters are searched for as usual
    int32_t PortKind = 111111;
    // Demonstrations of the link's health with the simulator (0 = never).
    double SimUnplugEverySeconds = 0;
    double SimUnplugForSeconds = 3;
    double SimUnlockEverySeconds = 0;
    TMqttOptions Mqtt; // --mqtt, --mqtt-ca, --mqtt-user, --mqtt-password-file, --mqtt-topic
    QString Error;     // set when the line cannot be used; the program then stops
};

// Files named by flags (the MQTT password file) are read here.
TCommandLine ParseCommandLine(const QStringList& arguments);
QString CommandLineHelp();
// "Halvane 2022.06.1"
QString CommandLineVersion();
// The one line that follows an error: how to see the options.
QString CommandLineUsageHint();
