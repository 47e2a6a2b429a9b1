#pragma once
// Keeps the computer and its display awake for the whole run.
//
// Windows: SetThreadExecutionState, looked up at run time in kernel32.dll, called with
// ES_CONTINUOUS | ES_AWAYMODE_REQUIRED | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED at start and
// with ES_CONTINUOUS alone at the end. Linux: an idle/sleep inhibitor lock from logind and a
// screen-saver inhibit on the session bus, held until the end. A missing entry point or service
// is silently tolerated. Both kinds of request die with the process, also after a crash.

class TSleepPrevention {
public:
    static void Acquire(); // on the main thread, once the application object exists
    // Idempotent. Whatever is still held at process exit (also after exit() on a refused
    // start) is dropped then by the unit itself, without a call on any bus.
    static void Release();
    static bool Active(); // at least one request is held
};
