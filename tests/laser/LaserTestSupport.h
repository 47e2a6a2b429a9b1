#pragma once
// Helpers shared by the laser-head tests.

#include "laser/ObserverPatternUnit.h"
#include "protocol/SendFrameUnit.h"

#include <QLocale>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// A laser-head answer frame: sender 4, receiver 15 (the PC), payload from byte 2 on.
inline TFrame LaserAnswer(uint8_t code, std::initializer_list<uint8_t> payload = {}) {
    uint8_t data[8] = {};
    int i = 0;
    for (uint8_t b : payload)
        if (i < 8)
            data[i++] = b;
    TFrame f = BuildFrame(BoardLaserHead, code, data);
    f[10] = static_cast<uint8_t>(BoardLaserHead << 4 | PCAddress);
    f[11] = FrameChecksum(f);
    return f;
}

// Counts notifications and, if asked, runs a probe inside Notify (on the notifying thread).
struct TCountingObserver : TObserver {
    std::atomic<int> count{0};
    TSubject* last = nullptr;
    std::function<void(TSubject*)> probe;
    void Notify(TSubject* Subject) override {
        ++count;
        last = Subject;
        if (probe)
            probe(Subject);
    }
};

// Sets the default locale for one test and puts the previous one back.
struct TLocaleScope {
    QLocale saved;
    explicit TLocaleScope(const QLocale& l) { QLocale::setDefault(l); }
    ~TLocaleScope() { QLocale::setDefault(saved); }
};
