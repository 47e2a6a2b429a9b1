#include "app/SleepPreventionUnit.h"

#include <mutex>

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

TState& State() {
    static TState state;
    return state;
}

std::mutex& Lock() {
    static std::mutex m;
    return m;
}

struct TReleaseAtExit {
    ~TReleaseAtExit() { TSleepPrevention::Release(); }
};

} // namespace

void TSleepPrevention::Acquire() {
    static TReleaseAtExit releaseAtExit;
    std::lock_guard guard(Lock());
    TState& s = State();
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
    std::lock_guard guard(Lock());
    TState& s = State();
    if (!s.held)
        return;
#ifdef _WIN32
    if (s.fn)
        s.fn(ContinuousOnly);
#else
    s.logindLock = QDBusUnixFileDescriptor();
    if (s.screenSaverHeld) {
        // The session bus drops the inhibit by itself when the process goes; only say it while
        // the bus is still there.
        QDBusConnection session = QDBusConnection::sessionBus();
        if (session.isConnected()) {
            QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                                 QStringLiteral("/org/freedesktop/ScreenSaver"),
                                 QStringLiteral("org.freedesktop.ScreenSaver"), session);
            saver.setTimeout(DBusTimeoutMs);
            saver.call(QStringLiteral("UnInhibit"), s.screenSaverCookie);
        }
        s.screenSaverHeld = false;
    }
#endif
    s.held = false;
}

bool TSleepPrevention::Active() {
    std::lock_guard guard(Lock());
    return State().held;
}
