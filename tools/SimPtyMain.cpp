// halvane-sim: the simulated laser system as a process of its own, on a pseudo-terminal.
#include "sim/SimPtyUnit.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> Stop{false};

void OnSignal(int) {
    Stop.store(true);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const TSimPtyRequest request = ParseSimPtyArguments(app.arguments());
    if (request.Help) {
        std::fputs(qPrintable(SimPtyUsage()), stdout);
        return 0;
    }
    if (!request.Error.isEmpty() || !request.Pty) {
        std::fprintf(stderr, "halvane-sim: %s\n\n%s",
                     qPrintable(request.Error.isEmpty() ? QStringLiteral("--pty is required")
                                                        : request.Error),
                     qPrintable(SimPtyUsage()));
        return 2;
    }

    TSimPtyServer server(request.Options, request.LatencyMs);
    QString error;
    if (!server.Open(error)) {
        std::fprintf(stderr, "halvane-sim: %s\n", qPrintable(error));
        return 1;
    }
    server.System().SetLineFaults(request.Faults);

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", qPrintable(server.SlavePath()));
    std::fflush(stdout);
    server.Serve(Stop);
    std::printf("%s\n", qPrintable(TSimPtyServer::Summary(server.Counters())));
    std::fflush(stdout);
    return 0;
}
