#pragma once
// The firmware engine's clock tied to the simulated laser system's clock: every pause and every
// wait of a programming run moves simulated time on, a millisecond at a time. A run thus takes
// the simulated time it would take on the real link, however busy the machine is.

#include "firmware/FirmwareUpdaterUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "sim/SimulatorUnit.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

class TSteppedSimClock : public TFirmwareClock {
public:
    explicit TSteppedSimClock(TSimulatedLaserSystem& sim) : FSim(sim) {}

    uint64_t NowMs() override { return static_cast<uint64_t>(FSim.NowNs() / 1000000); }

    void Sleep(uint32_t ms) override {
        const uint64_t end = NowMs() + ms;
        while (NowMs() < end)
            Step();
    }

    void WaitUntil(std::condition_variable&, std::unique_lock<std::mutex>& lock,
                   uint64_t deadlineMs) override {
        // Without the lock: the answer is signalled meanwhile.
        lock.unlock();
        if (NowMs() < deadlineMs)
            Step();
        lock.lock();
    }

protected:
    // Moves the simulated time on by (about) a millisecond.
    virtual void Step() = 0;
    TSimulatedLaserSystem& FSim;
};

// With the program's receive thread reading the link: each step waits for it to read what
// has arrived and to hand on the frames in it.
class TSimFirmwareClock : public TSteppedSimClock {
public:
    using TSteppedSimClock::TSteppedSimClock;

    // Whether a receive thread reads the link; without one, time runs on without waiting.
    void SetReaderPresent(bool present) { FReaderPresent.store(present); }

protected:
    void Step() override {
        FSim.AdvanceMs(1);
        if (!FReaderPresent.load())
            return;
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            // Read and handed on: the engine has its answer before simulated time runs on.
            const TSimCounters c = FSim.Counters();
            if ((c.BytesRead >= c.BytesDelivered &&
                 TReadILFrameThread::Totals().ReadsInHand == 0) ||
                waited.elapsed() > MaxReaderWaitMs)
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

private:
    static constexpr int MaxReaderWaitMs = 2000; // a starved reader, not a missing one
    std::atomic<bool> FReaderPresent{true};
};
