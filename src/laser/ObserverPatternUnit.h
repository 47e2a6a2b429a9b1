#pragma once
// Change notification between model objects (subjects) and views (observers).
//
// Subjects change on the receive thread and notify from there; observers subscribe and leave on
// the GUI thread, possibly while a pass runs. A pass notifies a copy of the list taken under the
// lock, so every observer registered for the whole pass is notified once per registration and no
// pass is disturbed by a change of the list. RemoveObserver returns only when no pass of another
// thread that could still call the removed observer is running, so the caller may free it at
// once. A Notify must therefore never wait for the thread that removes observers (views only
// queue their work, they never block on the GUI thread).

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class TSubject;

class TObserver {
public:
    virtual ~TObserver() = default;
    // Subject is always the subject that changed; the observer reads the new values from it.
    // Runs on the thread that changed the subject: it must not touch widgets, only queue.
    virtual void Notify(TSubject* Subject) = 0;
};

class TSubject {
public:
    TSubject();
    // Frees the list, never an observer.
    virtual ~TSubject();
    TSubject(const TSubject&) = delete;
    TSubject& operator=(const TSubject&) = delete;

    // Appends the observer (duplicates and null entries allowed).
    void AddObserver(TObserver* observer);
    // Deletes the first entry equal to observer; nothing when it is not registered.
    void RemoveObserver(TObserver* observer);
    // Notifies observer if it is registered.
    void NotifyObserver(TObserver* observer);
    // Notifies every non-null entry, in the order of registration.
    void NotifyAllObservers();
    int32_t ObserversCount() const;
    bool IsAnyObserverConnected() const;

private:
    // Registers a running pass and returns its number; EndPass removes it again.
    uint64_t BeginPass();
    void EndPass(uint64_t pass);
    // Ends a pass however its notifications end (an observer may throw).
    struct TPassEnd {
        TSubject* subject;
        uint64_t pass;
        ~TPassEnd() { subject->EndPass(pass); }
    };

    mutable std::mutex FMutex;
    std::condition_variable FPassEnded;
    std::vector<TObserver*> FObserversList;
    uint64_t FLastPass = 0;
    std::map<uint64_t, std::thread::id> FRunningPasses;
};
