#pragma once
// The program's command-line flags, parsed in one place, and the text of --help. Flags that are
// not listed here are left to whoever reads them (the windowing system's own, for one).

#include "net/MqttOptionsUnit.h"

#include <QString>
#include <QStringList>

struct TCommandLine {
    bool Help = false; // --help or -h: print HelpText() and end
    QString Error;     // a flag that cannot be used: print it and end with status 2
    TMqttOptions Mqtt; // --mqtt and its companions
};

// arguments as QCoreApplication::arguments() gives them (the program's name first). Files named
// by flags (the password file) are read here.
TCommandLine ParseCommandLine(const QStringList& arguments);

QString CommandLineHelpText();
