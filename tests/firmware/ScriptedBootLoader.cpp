#include "ScriptedBootLoader.h"

#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"

#include <algorithm>

namespace fwtest {

TScriptedBootLoader::TScriptedBootLoader(TFakeD2XX& fake)
    : FFake(fake), FScript([this](const TFrame& f, int) { return Good(f); }),
      FResponder([this] { Responder(); }) {}

TScriptedBootLoader::~TScriptedBootLoader() {
    {
        std::lock_guard lock(FTaskMutex);
        FStop = true;
    }
    FTaskCond.notify_all();
    FResponder.join();
}

std::vector<TAnswer> TScriptedBootLoader::Good(const TFrame& f) {
    switch (f[1]) {
    case Cmd::FwReset:
        return {{ResetAnswerMs, TFirmwareUpdater::ResetAnswer}};
    case Cmd::FwSwitchToProgramming:
        return {{AnswerMs, Cmd::FwSwitchToProgramming}};
    case Cmd::FwErase:
        FMemory.clear();
        return {{EraseMs, Cmd::FwErase}};
    case Cmd::FwAddress:
        FWriteAddress = uint32_t(f[2]) << 24 | uint32_t(f[3]) << 16 | uint32_t(f[4]) << 8 | f[5];
        return {{AnswerMs, Cmd::FwAddress}};
    case Cmd::FwData:
        for (int i = 0; i < 8; ++i)
            FMemory[FWriteAddress++] = f[2 + i];
        return {{AnswerMs, Cmd::FwData, 0x00}};
    case Cmd::FwTransferCompleted:
        return {{AnswerMs, Cmd::FwTransferCompleted}};
    default:
        return {};
    }
}

std::vector<TSentFrame> TScriptedBootLoader::Sent() const {
    std::lock_guard lock(FSentMutex);
    return FSent;
}

std::vector<uint8_t> TScriptedBootLoader::Codes() const {
    std::vector<uint8_t> codes;
    for (const TSentFrame& s : Sent())
        codes.push_back(s.code());
    return codes;
}

void TScriptedBootLoader::Collect() {
    // Only the updater's thread writes, and it is the one calling here.
    const QByteArray written = FFake.Written();
    FFake.ClearRecord();
    for (qsizetype at = 0; at + FrameSize <= written.size(); at += FrameSize) {
        TFrame f;
        std::copy_n(reinterpret_cast<const uint8_t*>(written.constData() + at), FrameSize,
                    f.begin());
        {
            std::lock_guard lock(FSentMutex);
            FSent.push_back({FNow.load(), f});
        }
        const int n = FCodeCount[f[1]]++;
        for (const TAnswer& a : FScript(f, n))
            FPending.emplace(FNow.load() + a.delayMs, a);
    }
}

void TScriptedBootLoader::RunUntil(uint64_t t, bool firstOnly) {
    Collect();
    while (!FPending.empty() && FPending.begin()->first <= t) {
        const uint64_t due = FPending.begin()->first;
        FNow.store(std::max(FNow.load(), due));
        while (!FPending.empty() && FPending.begin()->first == due) {
            const TAnswer a = FPending.begin()->second;
            FPending.erase(FPending.begin());
            Deliver(a);
        }
        if (firstOnly)
            return;
    }
    FNow.store(std::max(FNow.load(), t));
}

void TScriptedBootLoader::Sleep(uint32_t ms) {
    RunUntil(FNow.load() + ms, false);
}

void TScriptedBootLoader::WaitUntil(std::condition_variable&, std::unique_lock<std::mutex>& lock,
                                    uint64_t deadlineMs) {
    lock.unlock();
    RunUntil(deadlineMs, true);
    lock.lock();
}

void TScriptedBootLoader::Deliver(const TAnswer& answer) {
    std::unique_lock lock(FTaskMutex);
    FTasks.push_back(answer);
    FTaskDone = false;
    FTaskCond.notify_all();
    FTaskCond.wait(lock, [this] { return FTaskDone; });
}

void TScriptedBootLoader::Responder() {
    std::unique_lock lock(FTaskMutex);
    for (;;) {
        FTaskCond.wait(lock, [this] { return FStop || !FTasks.empty(); });
        if (FStop)
            return;
        const TAnswer a = FTasks.front();
        FTasks.pop_front();
        lock.unlock();
        DeliverFirmwareAck(a.code, a.b2);
        lock.lock();
        FTaskDone = true;
        FTaskCond.notify_all();
    }
}

} // namespace fwtest
