// execution_state_probe run|refuse: takes the sleep request as the program does at start and
// prints the thread's execution state as the system reports it at each step: after the request
// ("held"), after the release ("released", run) or in the refusal ("refused", refuse), and last
// after the unit's own end-of-process release ("exit").
#include "app/GlobalUnit.h"
#include "app/SleepPreventionUnit.h"

#include <QCoreApplication>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Without ES_CONTINUOUS the call changes no lasting requirement and returns the current one.
void Report(const char* when) {
    std::printf("%s %08lx\n", when, static_cast<unsigned long>(SetThreadExecutionState(0)));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const bool refuse = std::strcmp(argv[1], "refuse") == 0;
    // Registered before the unit's object exists, so it runs after that object's release.
    std::atexit([] { Report("exit"); });
    QCoreApplication app(argc, argv);
    TSleepPrevention::Acquire();
    Report("held");
    if (refuse) {
        TApplicationManager::SetInstanceCheck([] { return false; });
        TApplicationManager::SetInstanceRefusedHandler([] { Report("refused"); });
        TApplicationManager manager;
        return 3; // not reached: the refusal ends the process with exit(0)
    }
    TSleepPrevention::Release();
    Report("released");
    return 0;
}
