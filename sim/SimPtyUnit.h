#pragma once
// The simulated laser system behind a pseudo-terminal: the same boards, boot loaders and line
// pacing as in the program, served on the master end so that a program opening the slave end
// talks to them through the kernel's tty layer, as it would to /dev/ttyUSBn.
//
// The server opens the simulated adapter itself (as the program would through the vendor
// library) and moves bytes between it and the master end: what the program writes reaches the
// boards at the line rate, what the boards send leaves at the line rate through the adapter's
// 62-byte packets and latency timer.

#include "sim/SimulatorUnit.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

class TSimPtyServer {
public:
    explicit TSimPtyServer(const TSimulatorOptions& options, int latencyMs = 16);
    ~TSimPtyServer();
    TSimPtyServer(const TSimPtyServer&) = delete;
    TSimPtyServer& operator=(const TSimPtyServer&) = delete;

    // Creates the pseudo-terminal and opens the simulated adapter; false with a reason if not.
    bool Open(QString& error);
    QString SlavePath() const { return FSlavePath; }

    // Moves bytes both ways, waiting at most waitMs for the program's bytes.
    void ServeOnce(int waitMs = 1);
    // Serves until stop is set (a signal handler may set it).
    void Serve(const std::atomic<bool>& stop);

    TSimulatedLaserSystem& System() { return FSystem; }

    struct TCounters {
        uint64_t FramesReceived = 0; // command frames from the program, good and bad
        uint64_t BadChecksum = 0;    // of those, with a wrong sum
        uint64_t FramesSent = 0;     // frames the boards put on the line
        uint64_t BytesDropped = 0;   // nobody read the slave end and its queue was full
    };
    TCounters Counters();
    // "received N frames, M with a bad checksum; sent K frames"
    static QString Summary(const TCounters& c);

private:
    TSimulatedLaserSystem FSystem;
    int FLatencyMs;
    int FMaster = -1;
    int FSlaveHold = -1; // keeps the line up while no program has the slave end open
    QString FSlavePath;
    FT_HANDLE FHandle = nullptr;
    std::vector<uint8_t> FPending; // read from the adapter, not yet taken by the master end
    uint64_t FDropped = 0;
};

// halvane-sim's command line: --pty, --simulator[=111111|222222], --quick, --latency-ms=N,
// --error-period-ms=N, --line-bytes-per-second=N (above 11520: faster than the line),
// --line-noise=N (random bytes after every n-th frame). Error is set for what it cannot use.
struct TSimPtyRequest {
    bool Pty = false;
    bool Help = false;
    int LatencyMs = 16;
    TSimulatorOptions Options;
    TLineFaults Faults;
    QString Error;
};
TSimPtyRequest ParseSimPtyArguments(const QStringList& arguments);
QString SimPtyUsage();
