// sleep_prevention_probe: a refused start while the sleep request is held. Takes the request on
// the buses named by the environment, says whether it holds it, then lets the application
// manager refuse the start, which ends the process with exit(0), the request still held.
#include "app/GlobalUnit.h"
#include "app/SleepPreventionUnit.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TSleepPrevention::Acquire();
    std::printf("%s\n", TSleepPrevention::Active() ? "held" : "not held");
    std::fflush(stdout);
    TApplicationManager::SetInstanceCheck([] { return false; });
    TApplicationManager::SetInstanceRefusedHandler([] {
        std::printf("refused\n");
        std::fflush(stdout);
    });
    TApplicationManager manager;
    return 3; // not reached: the refusal ends the process
}
