#include "laser/ObserverPatternUnit.h"

#include <algorithm>

TSubject::TSubject() = default;
TSubject::~TSubject() = default;

void TSubject::AddObserver(TObserver* observer) {
    std::lock_guard lock(FMutex);
    FObserversList.push_back(observer);
}

void TSubject::RemoveObserver(TObserver* observer) {
    std::unique_lock lock(FMutex);
    const auto it = std::find(FObserversList.begin(), FObserversList.end(), observer);
    if (it == FObserversList.end())
        return;
    FObserversList.erase(it);
    // Passes that began before the removal may still hold the observer in their copy. Wait for
    // those of other threads; a pass of this thread is the one calling us (removal from inside
    // Notify) and waiting for it would never end.
    const uint64_t barrier = FLastPass;
    const std::thread::id self = std::this_thread::get_id();
    FPassEnded.wait(lock, [&] {
        return std::none_of(FRunningPasses.begin(), FRunningPasses.upper_bound(barrier),
                            [&](const auto& p) { return p.second != self; });
    });
}

uint64_t TSubject::BeginPass() {
    const uint64_t pass = ++FLastPass;
    FRunningPasses.emplace(pass, std::this_thread::get_id());
    return pass;
}

void TSubject::EndPass(uint64_t pass) {
    {
        std::lock_guard lock(FMutex);
        FRunningPasses.erase(pass);
    }
    FPassEnded.notify_all();
}

void TSubject::NotifyObserver(TObserver* observer) {
    uint64_t pass;
    {
        std::lock_guard lock(FMutex);
        if (!observer || std::find(FObserversList.begin(), FObserversList.end(), observer) ==
                             FObserversList.end())
            return;
        pass = BeginPass();
    }
    const TPassEnd end{this, pass};
    observer->Notify(this);
}

void TSubject::NotifyAllObservers() {
    std::vector<TObserver*> snapshot;
    uint64_t pass;
    {
        std::lock_guard lock(FMutex);
        if (FObserversList.empty())
            return;
        snapshot = FObserversList;
        pass = BeginPass();
    }
    const TPassEnd end{this, pass};
    for (TObserver* o : snapshot)
        if (o)
            o->Notify(this);
}

int32_t TSubject::ObserversCount() const {
    std::lock_guard lock(FMutex);
    return static_cast<int32_t>(FObserversList.size());
}

bool TSubject::IsAnyObserverConnected() const {
    return ObserversCount() > 0;
}
