// Halvane: operator and service program of an iodine-stabilised HeNe laser.

#include "app/CommandLineUnit.h"
#include "app/GlobalUnit.h"
#include "app/SleepPreventionUnit.h"
#include "app/SplashScreenUnit.h"
#ifndef _WIN32
#include "link/SerialPortUnit.h"
#endif
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "net/MqttPublisherUnit.h"
#include "sim/SimulatorUnit.h"
#include "ui/main/MainUnit.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The program's one visual style: Fusion with a light palette.
void ApplyLightStyle(QApplication& app) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(style);
    app.setPalette(app.style()->standardPalette());
}

// The broker's state in one small label at the top of the window (the window keeps it clear
// of its logo); a long text is cut short, the tooltip has it in full with the last error.
void ShowMqttIndicator(TMainForm* window, TMqttPublisher* publisher) {
    QLabel* label = window->AddNetworkIndicator();
    const auto show = [label, publisher] {
        const QString text = publisher->StateText();
        label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width()));
        const QString error = publisher->LastError();
        label->setToolTip(text.contains(error) ? text : text + QLatin1Char('\n') + error);
        const bool good = publisher->State() == TMqttState::_connected;
        label->setStyleSheet(good ? QStringLiteral("color: #1a7f37;")
                                  : QStringLiteral("color: #b35900;"));
    };
    QObject::connect(publisher, &TMqttPublisher::StateChanged, label, show);
    show();
}

} // namespace

int main(int argc, char* argv[]) {
    // Read before any window system is needed, so --help works without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const TCommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.Help) {
        std::fputs(qPrintable(CommandLineHelp()), stdout);
        return 0;
    }
    if (!commandLine.Error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(commandLine.Error),
                     qPrintable(CommandLineUsageHint()));
        return 2;
    }
    if (commandLine.Version) {
        std::fprintf(stdout, "%s\n", qPrintable(CommandLineVersion()));
        return 0;
    }
    QApplication app(argc, argv);
    TSleepPrevention::Acquire();
    ApplyLightStyle(app);

    TApplicationManager::SetInstanceRefusedHandler([] {
#ifdef _WIN32
        // The system's own message box, with no owner window.
        MessageBoxW(nullptr, L"Program is already running!", L"Error", MB_OK | MB_ICONERROR);
#else
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Program is already running!"), QMessageBox::Ok);
        box.exec();
#endif
        // The process ends with exit(0) right after this, the buses still there: the sleep
        // request is lifted now, in full, rather than by the release at exit.
        TSleepPrevention::Release();
    });

    // Only with --simulator is the simulated laser system listed; a lab PC never sees it
    // otherwise. It must outlive the window, which owns the connection that talks to it.
    TSimulatorRequest simRequest = ParseSimulatorArguments(app.arguments());
    if (!simRequest.Error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(simRequest.Error));
        return 2;
    }
    std::unique_ptr<TSimulatedLaserSystem> simulator;
    if (simRequest.Requested) {
        TSimulatorOptions& sim = simRequest.Options;
        sim.UnplugEveryMs = static_cast<int>(commandLine.SimUnplugEverySeconds * 1000);
        sim.UnplugForMs = static_cast<int>(commandLine.SimUnplugForSeconds * 1000);
        sim.UnlockEveryMs = static_cast<int>(commandLine.SimUnlockEverySeconds * 1000);
        simulator = std::make_unique<TSimulatedLaserSystem>(sim);
        simulator->Install();
    }
    // With --port only that serial device is listed, described by --port-kind; what is wrong
    // with it (missing, not a tty, busy, no permission) shows in the device list.
#ifdef _WIN32
    if (!commandLine.PortPath.isEmpty()) {
        std::fputs("--port is not available on Windows: the adapter is reached through the "
                   "vendor's USB driver\n",
                   stderr);
        return 2;
    }
#else
    std::unique_ptr<TSerialPortD2XXTable> port;
    if (!commandLine.PortPath.isEmpty()) {
        port = std::make_unique<TSerialPortD2XXTable>();
        port->SetFixedPort(commandLine.PortPath, commandLine.PortKind);
        D2XX::SetTable(port.get());
    }
#endif

    int code = 0;
    {
        // Created hidden; its creation makes the application manager first, so a second copy
        // is refused before any window shows. The splash shows it after its 3000 ms.
        auto mainForm = std::make_unique<TMainForm>();
        if (simulator)
            mainForm->setWindowTitle(mainForm->windowTitle() + QStringLiteral(" – SIMULATOR (") +
                                     simulator->ModelName() + QStringLiteral(")"));
        // The network status stream, only with --mqtt: it reads the window's models.
        std::unique_ptr<TMqttPublisher> publisher;
        if (commandLine.Mqtt.Enabled) {
            publisher = std::make_unique<TMqttPublisher>(commandLine.Mqtt);
            publisher->Attach(StatusModel, LinkEvents);
            publisher->Start();
            ShowMqttIndicator(mainForm.get(), publisher.get());
        }
        TSplashScreen splash(mainForm.get());
        splash.show();
        code = app.exec();
        // The publisher says goodbye while the models it follows still exist; the main window
        // goes next, as the application frees its windows.
        publisher.reset();
        mainForm.reset();
    }
    D2XX::SetTable(nullptr);
    TSleepPrevention::Release();
    return code;
}
