#include "app/CommandLineUnit.h"

#include <QCommandLineParser>

namespace {

// A number of seconds above 0 (a fraction is allowed), or an error naming the option.
bool Seconds(const QCommandLineParser& parser, const QString& name, double& out, QString& error) {
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value > 0) || value > 24 * 3600) {
        error = QStringLiteral("--%1 wants a number of seconds above 0, not \"%2\"")
                    .arg(name, parser.value(name));
        return false;
    }
    out = value;
    return true;
}

} // namespace

TProgramOptions ParseProgramArguments(const QStringList& arguments) {
    TProgramOptions o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Halvane: operator and service program of an iodine-stabilised HeNe laser."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this list of options and end."));
    const QCommandLineOption simulator(
        QStringLiteral("simulator"),
        QStringLiteral("Talk to the simulated laser system instead of a USB adapter. "
                       "--simulator=222222 (or =tmvk) simulates the second controller model, "
                       "--simulator=111111 (or =qrx-7a, the default) the one with a laser head."));
    const QCommandLineOption unplugEvery(
        QStringLiteral("sim-unplug-every"),
        QStringLiteral("With --simulator: the adapter leaves the bus every <seconds>."),
        QStringLiteral("seconds"));
    const QCommandLineOption unplugFor(
        QStringLiteral("sim-unplug-for"),
        QStringLiteral("With --sim-unplug-every: it comes back after <seconds> (default 3)."),
        QStringLiteral("seconds"));
    const QCommandLineOption unlockEvery(
        QStringLiteral("sim-unlock-every"),
        QStringLiteral("With --simulator: the controller drops out of lock every <seconds> and "
                       "locks again by itself."),
        QStringLiteral("seconds"));
    parser.addOption(help);
    parser.addOption(simulator);
    parser.addOption(unplugEvery);
    parser.addOption(unplugFor);
    parser.addOption(unlockEvery);
    o.HelpText = parser.helpText();

    // --simulator takes an optional model after '=', which the parser's options cannot.
    QStringList args;
    for (const QString& a : arguments) {
        if (a.startsWith(QLatin1String("--simulator="))) {
            o.SimulatorModel = a.mid(static_cast<qsizetype>(qstrlen("--simulator=")));
            args << QStringLiteral("--simulator");
        } else {
            args << a;
        }
    }
    if (args.isEmpty())
        args << QStringLiteral("halvane");
    if (!parser.parse(args)) {
        o.Error = parser.errorText();
        return o;
    }
    o.Help = parser.isSet(help);
    o.Simulator = parser.isSet(simulator);
    if (!Seconds(parser, unplugEvery.names().constFirst(), o.SimUnplugEverySeconds, o.Error) ||
        !Seconds(parser, unplugFor.names().constFirst(), o.SimUnplugForSeconds, o.Error) ||
        !Seconds(parser, unlockEvery.names().constFirst(), o.SimUnlockEverySeconds, o.Error))
        return o;
    if (o.SimUnplugEverySeconds > 0 && o.SimUnplugForSeconds >= o.SimUnplugEverySeconds) {
        o.Error = QStringLiteral("--sim-unplug-for must be shorter than --sim-unplug-every");
        return o;
    }
    if (!o.Simulator &&
        (o.SimUnplugEverySeconds > 0 || o.SimUnlockEverySeconds > 0 || parser.isSet(unplugFor))) {
        o.Error = QStringLiteral("the --sim-... options need --simulator");
    }
    return o;
}
