#pragma once
// Settings of the simulated laser system: model, clock, timings, stream rates, fault rules.

#include <QString>

#include <cstdint>

struct TSimulatorOptions {
    // The second controller model ("TMVK v2", kind 222222): no laser head, no frequency board.
    bool SecondModel = false;
    // Time moves only through TSimulatedLaserSystem::Advance (tests). Otherwise it follows the
    // steady clock, computed on each driver call.
    bool ManualClock = false;
    uint64_t Seed = 20220601;
    // The adapter's USB description; empty: "QRX-7A Simulator" or "TMVK v2 Simulator".
    QString Description;

    // --- the link --------------------------------------------------------------------------
    int LineBytesPerSecond = 11520; // 115200 baud, 8N1: ten bits a byte
    int BoardQueueBytes = 4096;     // frames beyond this wait nowhere: they are lost
    int CyclePortMs = 2000;         // re-enumeration after a port cycle
    int AnswerDelayMs = 1;          // a board's time from a command's last byte to its answer
    // The reading thread runs again only this long after a read has taken bytes, as on a busy
    // host that gives the CPU to others between the driver call and what follows it (0: at once).
    int ReadReturnLagMs = 0;

    // --- controller main board (sender 1) ---------------------------------------------------
    int IodineWarmUpMs = 4000;    // "not ready" until the iodine laser runs
    int PrepareMs = 600;          // StartStep1
    int LearnMs = 3000;           // StartStep2: one sweep across the expected peaks
    int ScanPeriodMs = 4000;      // a full sweep in half-automatic mode
    int TuneMs = 1200;            // moving the tuning mirror onto a peak
    int LockTryMs = 800;          // from "lock try" to "locked"
    int StatusPeriodMs = 1000;    // the tuning status is repeated this often (0 = on change only)
    int ErrorSignalPeriodMs = 10; // code 1
    int ErrorSignalFrames = 1;    // code-1 frames sent each period (more than one: a flood)
    int MirrorPeriodMs = 200;     // codes 4 and 5
    int CFTPeriodMs = 1000;       // code 8
    int ServicePeriodMs = 100;    // code 9
    int LifetimePeriodMs = 60000; // code 123
    uint16_t ControllerFirmwareVersion = 0x1203;

    // --- DSP board (sender 2) ----------------------------------------------------------------
    uint16_t DSPFirmwareVersion = 0x4401; // 4.4.1 keeps the fourth harmonic; 0x4400 drops it
    int TestValuePeriodMs = 100;          // the DSP's output period at power-on (code 200)

    // --- frequency board (sender 3) ----------------------------------------------------------
    int FrequencyPeriodMs = 1000;        // code 166
    double WhiteFrequencyNoiseHz = 1500; // standard deviation of each report
    // Standard deviation of the walk's step per report. With the white noise above, the Allan
    // deviation falls as 1/sqrt(tau) to about 1.5e-13 near 500 s and rises slowly beyond, the
    // shape of an iodine-stabilised laser.
    double RandomWalkStepHz = 5;
    // Every n-th report counts nothing although the beat is there (a missed gate): 0 Hz, with
    // the power as measured (0 = never).
    int NoCountEveryReports = 0;

    // --- laser head (sender 4) ---------------------------------------------------------------
    int LaserHeadStateMs = 1500;       // start, preheating, laser heating, stabilization loop
    int LaserHeadStatusPeriodMs = 200; // answer 1 on its own while the status mode is on
    uint32_t FrequencyDifferenceHz = 150000000;

    // --- demonstrations ----------------------------------------------------------------------
    // The adapter leaves the bus every UnplugEveryMs and is listed again UnplugForMs later
    // (0 = never). The controller drops out of lock every UnlockEveryMs and locks on the same
    // peak again by itself (0 = never).
    int UnplugEveryMs = 0;
    int UnplugForMs = 3000;
    int UnlockEveryMs = 0;

    // --- boot loaders of boards 1, 2 and 4 ----------------------------------------------------
    int RebootMs = 300; // a reset is answered after this (the program pauses 200)
    int EraseMs = 1500;

    // No frame is sent unless asked for, times are short, the clock is manual: for tests.
    static TSimulatorOptions ForTests() {
        TSimulatorOptions o;
        o.ManualClock = true;
        o.IodineWarmUpMs = 0;
        o.PrepareMs = 50;
        o.LearnMs = 200;
        o.ScanPeriodMs = 400;
        o.TuneMs = 100;
        o.LockTryMs = 50;
        o.StatusPeriodMs = 0;
        o.ErrorSignalPeriodMs = 0;
        o.MirrorPeriodMs = 0;
        o.CFTPeriodMs = 0;
        o.ServicePeriodMs = 0;
        o.LifetimePeriodMs = 0;
        o.TestValuePeriodMs = 0;
        o.FrequencyPeriodMs = 0;
        o.LaserHeadStateMs = 100;
        o.EraseMs = 400;
        return o;
    }
};

// What a fault rule does to the answers it matches.
enum class TAnswerFaultKind {
    Drop,            // the frame is never sent
    Delay,           // sent DelayMs later
    CorruptChecksum, // sent with a wrong checksum
    BadStatus,       // a boot loader's data acknowledgement (249) carries Status
};

// One rule: among the frames a board sends with the given code, the first Skip pass, the next
// Count (-1: all the rest) are treated as Kind says.
struct TAnswerFault {
    uint8_t Board = 0; // sender 1 to 4; 0 = any board
    uint8_t Code = 0;
    int Skip = 0;
    int Count = 1;
    TAnswerFaultKind Kind = TAnswerFaultKind::Drop;
    int DelayMs = 0;
    uint8_t Status = 1;
};

// Faults on the line itself, counted over every frame the boards send.
struct TLineFaults {
    int GarbageEveryFrames = 0; // after every n-th frame, GarbageBytes random bytes (one is 0xAF)
    int GarbageBytes = 5;
    int CorruptEveryFrames = 0; // every n-th frame leaves with a wrong checksum
};
