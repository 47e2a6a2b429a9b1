#include "app/SleepPreventionUnit.h"

#include <cstddef>
#include <mutex>

// In a tree built with AddressSanitizer the unit's object is poisoned once destroyed: a late use
// then shows as "use-after-poison" instead of passing unnoticed in static storage.
#if defined(__SANITIZE_ADDRESS__)
#define HALVANE_ASAN_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALVANE_ASAN_POISON 1
#endif
#endif
#ifdef HALVANE_ASAN_POISON
#include <sanitizer/asan_interface.h>
#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#endif

namespace {

#ifdef _WIN32
using PSetThreadExecutionState = DWORD(WINAPI*)(DWORD);
constexpr DWORD KeepAwakeFlags = 0x80000043; // CONTINUOUS | AWAYMODE | DISPLAY | SYSTEM
constexpr DWORD ContinuousOnly = 0x80000000;

struct TState {
    PSetThreadExecutionState fn = nullptr;
    bool held = false;
};
#else
constexpr int DBusTimeoutMs = 2000;

struct TState {
    QDBusUnixFileDescriptor logindLock; // closing it lifts the inhibitor
    quint32 screenSaverCookie = 0;
    bool screenSaverHeld = false;
    bool held = false;
};
#endif

void ReleaseHeld(TState& s, bool atExit);

// The unit's one object: its lock, what is held, and (destructor) the release at process exit.
// Members are built before the destructor is registered and destroyed after its body, so the
// release at exit always finds them alive, whatever static destruction freed before; this also
// holds on a refused start, which ends with exit(0) while the request is held.
struct TUnit {
    struct TPoisonWhenGone {
        void* object;
        std::size_t size;
        ~TPoisonWhenGone() {
#ifdef HALVANE_ASAN_POISON
            ASAN_POISON_MEMORY_REGION(object, size);
#endif
        }
    } poison{this, sizeof(TUnit)}; // first member: destroyed last
    std::mutex lock;
    TState state;

    ~TUnit() {
        std::lock_guard guard(lock);
        ReleaseHeld(state, true);
    }
};

TUnit& Unit() {
    static TUnit unit;
    return unit;
}

// Lifts what is held. At process exit the message buses may be gone already: only what lives
// in this process is dropped then (the inhibitor's descriptor is closed; the session bus ends
// the screen-saver inhibit itself when the process's connection closes).
void ReleaseHeld(TState& s, bool atExit) {
    if (!s.held)
        return;
#ifdef _WIN32
    (void)atExit;
    if (s.fn)
        s.fn(ContinuousOnly);
#else
    s.logindLock = QDBusUnixFileDescriptor();
    if (s.screenSaverHeld && !atExit) {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (session.isConnected()) {
            QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                                 QStringLiteral("/org/freedesktop/ScreenSaver"),
                                 QStringLiteral("org.freedesktop.ScreenSaver"), session);
            saver.setTimeout(DBusTimeoutMs);
            saver.call(QStringLiteral("UnInhibit"), s.screenSaverCookie);
        }
    }
    s.screenSaverHeld = false;
#endif
    s.held = false;
}

} // namespace

void TSleepPrevention::Acquire() {
    TUnit& unit = Unit(); // before any bus object, so that it outlives them at exit
    std::lock_guard guard(unit.lock);
    TState& s = unit.state;
    if (s.held)
        return;
#ifdef _WIN32
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
        s.fn = reinterpret_cast<PSetThreadExecutionState>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadExecutionState")));
    if (s.fn) {
        s.fn(KeepAwakeFlags);
        s.held = true;
    }
#else
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusInterface logind(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"), system);
        logind.setTimeout(DBusTimeoutMs);
        QDBusReply<QDBusUnixFileDescriptor> reply = logind.call(
            QStringLiteral("Inhibit"), QStringLiteral("idle:sleep"), QStringLiteral("Halvane"),
            QStringLiteral("Laser frequency standard in operation"), QStringLiteral("block"));
        if (reply.isValid() && reply.value().isValid()) {
            s.logindLock = reply.value();
            s.held = true;
        }
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                             QStringLiteral("/org/freedesktop/ScreenSaver"),
                             QStringLiteral("org.freedesktop.ScreenSaver"), session);
        saver.setTimeout(DBusTimeoutMs);
        QDBusReply<quint32> reply =
            saver.call(QStringLiteral("Inhibit"), QStringLiteral("Halvane"),
                       QStringLiteral("Laser frequency standard in operation"));
        if (reply.isValid()) {
            s.screenSaverCookie = reply.value();
            s.screenSaverHeld = true;
            s.held = true;
        }
    }
#endif
}

void TSleepPrevention::Release() {
    TUnit& unit = Unit();
    std::lock_guard guard(unit.lock);
    ReleaseHeld(unit.state, false);
}

bool TSleepPrevention::Active() {
    TUnit& unit = Unit();
    std::lock_guard guard(unit.lock);
    return unit.state.held;
}
