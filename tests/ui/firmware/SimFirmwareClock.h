#pragma once
// The firmware engine's clock tied to the simulated laser system's clock: every pause and every
// wait of a programming run moves simulated time on, a millisecond at a time, and gives the
// program's receive thread the time to read what has arrived. A run thus takes the simulated
// time it would take on the real link, however busy the machine is.

#include "firmware/FirmwareUpdaterUnit.h"
#include "sim/SimulatorUnit.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

class TSimFirmwareClock : public TFirmwareClock {
public:
    explicit TSimFirmwareClock(TSimulatedLaserSystem& sim) : FSim(sim) {}

    uint64_t NowMs() override { return static_cast<uint64_t>(FSim.NowNs() / 1000000); }

    void Sleep(uint32_t ms) override {
        const uint64_t end = NowMs() + ms;
        while (NowMs() < end)
            Step();
    }

    void WaitUntil(std::condition_variable&, std::unique_lock<std::mutex>& lock,
                   uint64_t deadlineMs) override {
        // Without the lock: the receive thread signals the event meanwhile.
        lock.unlock();
        if (NowMs() < deadlineMs)
            Step();
        lock.lock();
    }

    // Whether a receive thread reads the link; without one, time runs on without waiting.
    void SetReaderPresent(bool present) { FReaderPresent.store(present); }

private:
    void Step() {
        FSim.AdvanceMs(1);
        if (!FReaderPresent.load())
            return;
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            const TSimCounters c = FSim.Counters();
            if (c.BytesRead >= c.BytesDelivered || waited.elapsed() > MaxReaderWaitMs)
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    static constexpr int MaxReaderWaitMs = 50;
    TSimulatedLaserSystem& FSim;
    std::atomic<bool> FReaderPresent{true};
};
