#pragma once
// The application manager and the process-wide singletons it owns.

#include <functional>

// Owns the laser-head model, the firmware updater, the log writer, the link and lock events and
// the live status model (each reached through its own global). Created first by the main window;
// its creation refuses a second running copy.
class TApplicationManager {
public:
    TApplicationManager();
    ~TApplicationManager();
    TApplicationManager(const TApplicationManager&) = delete;
    TApplicationManager& operator=(const TApplicationManager&) = delete;

    // What a refused start shows before the process ends with code 0. The window layer installs
    // the message box "Program is already running!" / "Error"; the default writes it to stderr.
    static void SetInstanceRefusedHandler(std::function<void()> handler);
    // Replaces the single-instance check (tests run many managers in one process).
    static void SetInstanceCheck(std::function<bool()> check);
    // Called after each singleton is created and as each one's release begins (its global
    // already cleared): tests follow the order through the globals. Empty: nothing is called.
    static void SetStepObserver(std::function<void()> observer);

private:
    static void CheckSingleInstance();
};

extern TApplicationManager* ApplicationManager;
