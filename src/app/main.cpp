// Halvane: operator and service program of an iodine-stabilised HeNe laser.

#include "app/GlobalUnit.h"
#include "app/SleepPreventionUnit.h"
#include "app/SplashScreenUnit.h"
#include "sim/SimulatorUnit.h"
#include "ui/main/MainUnit.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>
#include <memory>

namespace {

// The program's one visual style: Fusion with a light palette.
void ApplyLightStyle(QApplication& app) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(style);
    app.setPalette(app.style()->standardPalette());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TSleepPrevention::Acquire();
    ApplyLightStyle(app);

    TApplicationManager::SetInstanceRefusedHandler([] {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Program is already running!"), QMessageBox::Ok);
        box.exec();
        // The process ends with exit(0) right after this, the buses still there: the sleep
        // request is lifted now, in full, rather than by the release at exit.
        TSleepPrevention::Release();
    });

    // Only with --simulator is the simulated laser system listed; a lab PC never sees it
    // otherwise. It must outlive the window, which owns the connection that talks to it.
    const TSimulatorRequest simRequest = ParseSimulatorArguments(app.arguments());
    if (!simRequest.Error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(simRequest.Error));
        return 2;
    }
    std::unique_ptr<TSimulatedLaserSystem> simulator;
    if (simRequest.Requested) {
        simulator = std::make_unique<TSimulatedLaserSystem>(simRequest.Options);
        simulator->Install();
    }

    int code = 0;
    {
        // Created hidden; its creation makes the application manager first, so a second copy
        // is refused before any window shows. The splash shows it after its 3000 ms.
        auto mainForm = std::make_unique<TMainForm>();
        if (simulator)
            mainForm->setWindowTitle(mainForm->windowTitle() + QStringLiteral(" – SIMULATOR (") +
                                     simulator->ModelName() + QStringLiteral(")"));
        TSplashScreen splash(mainForm.get());
        splash.show();
        code = app.exec();
        // The main window goes first, as the application frees its windows.
        mainForm.reset();
    }
    TSleepPrevention::Release();
    return code;
}
