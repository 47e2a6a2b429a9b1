// The subject/observer scheme: registration semantics and passes running on another thread
// while observers come and go.
#include "laser/ObserverPatternUnit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct TRecorder : TObserver {
    std::vector<int>* log = nullptr;
    int id = 0;
    std::atomic<int> count{0};
    TSubject* lastSubject = nullptr;
    void Notify(TSubject* Subject) override {
        ++count;
        lastSubject = Subject;
        if (log)
            log->push_back(id);
    }
};

} // namespace

TEST(Observer, EmptySubjectHasNoObserversAndNotifiesNothing) {
    TSubject s;
    EXPECT_EQ(s.ObserversCount(), 0);
    EXPECT_FALSE(s.IsAnyObserverConnected());
    s.NotifyAllObservers();
    TRecorder r;
    s.NotifyObserver(&r); // not registered
    EXPECT_EQ(r.count, 0);
}

TEST(Observer, PassesFollowRegistrationOrderDuplicatesAndNullEntries) {
    TSubject s;
    std::vector<int> log;
    TRecorder a, b;
    a.log = b.log = &log;
    a.id = 1;
    b.id = 2;
    s.AddObserver(&a);
    s.AddObserver(nullptr);
    s.AddObserver(&b);
    s.AddObserver(&a);
    EXPECT_EQ(s.ObserversCount(), 4);
    EXPECT_TRUE(s.IsAnyObserverConnected());

    s.NotifyAllObservers();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(a.lastSubject, &s); // the subject itself is the argument

    // One removal deletes only the first entry.
    log.clear();
    s.RemoveObserver(&a);
    EXPECT_EQ(s.ObserversCount(), 3);
    s.NotifyAllObservers();
    EXPECT_EQ(log, (std::vector<int>{2, 1}));

    // A single notification reaches a registered observer once, however often it is listed.
    log.clear();
    s.AddObserver(&b);
    s.NotifyObserver(&b);
    EXPECT_EQ(log, (std::vector<int>{2}));
}

TEST(Observer, RemovingAnUnknownObserverChangesNothing) {
    TSubject s;
    TRecorder a, stranger;
    s.AddObserver(&a);
    s.RemoveObserver(&stranger);
    s.RemoveObserver(nullptr);
    EXPECT_EQ(s.ObserversCount(), 1);
    s.NotifyAllObservers();
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(stranger.count, 0);
}

TEST(Observer, DestroyingTheSubjectLeavesItsObserversAlive) {
    TRecorder a;
    {
        auto s = std::make_unique<TSubject>();
        s->AddObserver(&a);
        s->AddObserver(&a);
    }
    TSubject other;
    other.AddObserver(&a);
    other.NotifyAllObservers();
    EXPECT_EQ(a.count, 1);
}

TEST(Observer, AnObserverMayLeaveFromInsideItsNotify) {
    TSubject s;
    struct TLeaver : TObserver {
        TSubject* subject = nullptr;
        int count = 0;
        void Notify(TSubject*) override {
            ++count;
            subject->RemoveObserver(this);
        }
    } leaver;
    leaver.subject = &s;
    TRecorder after;
    s.AddObserver(&leaver);
    s.AddObserver(&after);
    s.NotifyAllObservers(); // must not wait for its own pass
    s.NotifyAllObservers();
    EXPECT_EQ(leaver.count, 1);
    EXPECT_EQ(after.count, 2); // the pass that saw the removal still reached the rest
}

TEST(Observer, AThrowingObserverEndsItsPass) {
    TSubject s;
    struct TThrower : TObserver {
        void Notify(TSubject*) override { throw std::runtime_error("view failed"); }
    } thrower;
    s.AddObserver(&thrower);
    std::thread receive([&] {
        try {
            s.NotifyAllObservers();
        } catch (const std::runtime_error&) {
        }
    });
    receive.join();
    // A pass left registered would make this removal wait for ever.
    s.RemoveObserver(&thrower);
    EXPECT_EQ(s.ObserversCount(), 0);
}

TEST(Observer, RemovalWaitsForAPassThatMayStillCallTheObserver) {
    TSubject s;
    std::atomic<bool> inPass{false}, release{false}, removed{false};
    struct TBlocker : TObserver {
        std::atomic<bool>* inPass;
        std::atomic<bool>* release;
        void Notify(TSubject*) override {
            *inPass = true;
            while (!*release)
                std::this_thread::yield();
        }
    } blocker;
    blocker.inPass = &inPass;
    blocker.release = &release;
    s.AddObserver(&blocker);

    std::thread receive([&] { s.NotifyAllObservers(); });
    while (!inPass)
        std::this_thread::yield();
    std::thread gui([&] {
        s.RemoveObserver(&blocker);
        removed = true;
    });
    // The list changes at once; the call returns only when the pass is over.
    while (s.ObserversCount() != 0)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(removed);
    release = true;
    gui.join();
    receive.join();
    EXPECT_TRUE(removed);
}

// The receive thread runs passes without pause while the GUI thread keeps subscribing and
// unsubscribing short-lived views and frees each one as soon as it has left.
TEST(Observer, PassesOnTheReceiveThreadSurviveRegistrationChurn) {
    TSubject s;
    TRecorder steady;
    s.AddObserver(&steady);
    s.AddObserver(&steady);

    struct TTransient : TObserver {
        std::atomic<bool> left{false};
        std::atomic<int>* lateCalls;
        void Notify(TSubject*) override {
            std::this_thread::yield(); // widen the window in which the GUI thread may remove it
            if (left)
                ++*lateCalls;
        }
    };
    std::atomic<int> lateCalls{0};
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};

    std::thread receive([&] {
        while (!stop) {
            s.NotifyAllObservers();
            ++passes;
        }
    });
    for (int i = 0; i < 3000 || passes < 3000; ++i) {
        std::vector<std::unique_ptr<TTransient>> views;
        for (int k = 0; k < 3; ++k) {
            views.push_back(std::make_unique<TTransient>());
            views.back()->lateCalls = &lateCalls;
            s.AddObserver(views.back().get());
        }
        for (auto& v : views) {
            s.RemoveObserver(v.get());
            v->left = true;
            v.reset(); // freed at once: no pass may call it any more
        }
    }
    stop = true;
    receive.join();

    EXPECT_GT(passes.load(), 0);
    EXPECT_EQ(steady.count, 2 * passes.load());
    EXPECT_EQ(lateCalls, 0);
    EXPECT_EQ(s.ObserversCount(), 2);
}
