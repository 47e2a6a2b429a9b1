#pragma once
// A board's boot loader in simulated time, for driving the updater without waiting.
//
// It is the updater's clock: whenever the updater pauses or waits, the boot loader reads the
// frames written to the fake adapter since the last look, schedules its answers, and moves the
// simulated time on to the next answer that falls within the wait (or to the wait's end). The
// answers are delivered from a responder thread of their own, as the receive thread would.

#include "firmware/FirmwareUpdaterUnit.h"
#include "protocol/SendFrameUnit.h"
#include "support/FakeD2XX.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace fwtest {

struct TAnswer {
    uint32_t delayMs; // after the frame that is answered
    uint8_t code;
    uint8_t b2 = 0;
};

struct TSentFrame {
    uint64_t atMs;
    TFrame frame;
    uint8_t code() const { return frame[1]; }
};

class TScriptedBootLoader : public TFirmwareClock {
public:
    // Delays of the well-behaved boot loader.
    static constexpr uint32_t ResetAnswerMs = 250; // after the updater's 200 ms pause
    static constexpr uint32_t EraseMs = 1500;
    static constexpr uint32_t AnswerMs = 2;

    explicit TScriptedBootLoader(TFakeD2XX& fake);
    ~TScriptedBootLoader() override;

    // How the boot loader answers the n-th frame (from 0) carrying this frame's code. Tests
    // replace it; Good() is the well-behaved answer, which also writes the board's memory.
    using TScript = std::function<std::vector<TAnswer>(const TFrame& frame, int n)>;
    void SetScript(TScript script) { FScript = std::move(script); }
    std::vector<TAnswer> Good(const TFrame& frame);

    std::vector<TSentFrame> Sent() const;
    std::vector<uint8_t> Codes() const;
    // The board's memory as programmed: address frames set the place, each data frame writes
    // its eight bytes there and moves on by eight.
    const std::map<uint32_t, uint8_t>& Memory() const { return FMemory; }

    uint64_t NowMs() override { return FNow.load(); }
    void Sleep(uint32_t ms) override;
    void WaitUntil(std::condition_variable& cond, std::unique_lock<std::mutex>& lock,
                   uint64_t deadlineMs) override;

private:
    void Collect();
    // Delivers the answers due up to t in time order; with firstOnly, only those of the earliest
    // due time. The time moves to the last delivery (or to t when nothing was due).
    void RunUntil(uint64_t t, bool firstOnly);
    void Deliver(const TAnswer& answer);
    void Responder();

    TFakeD2XX& FFake;
    TScript FScript;
    std::atomic<uint64_t> FNow{1000};
    mutable std::mutex FSentMutex;
    std::vector<TSentFrame> FSent;
    std::map<uint8_t, int> FCodeCount;
    std::multimap<uint64_t, TAnswer> FPending;
    std::map<uint32_t, uint8_t> FMemory;
    uint32_t FWriteAddress = 0;

    std::mutex FTaskMutex;
    std::condition_variable FTaskCond;
    std::deque<TAnswer> FTasks;
    bool FTaskDone = false;
    bool FStop = false;
    std::thread FResponder;
};

} // namespace fwtest
