#include "app/GlobalUnit.h"

#include "app/LogUnit.h"
#include "app/SingleInstanceUnit.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "protocol/FrameLogUnit.h"

#include <cstdio>
#include <cstdlib>

TApplicationManager* ApplicationManager = nullptr;

namespace {
std::function<void()>& RefusedHandler() {
    static std::function<void()> handler = [] {
        std::fputs("Error: Program is already running!\n", stderr);
    };
    return handler;
}
std::function<bool()>& InstanceCheck() {
    static std::function<bool()> check = [] { return AcquireSingleInstance(); };
    return check;
}
std::function<void()>& StepObserver() {
    static std::function<void()> observer;
    return observer;
}
void Step() {
    if (StepObserver())
        StepObserver()();
}
} // namespace

void TApplicationManager::SetStepObserver(std::function<void()> observer) {
    StepObserver() = std::move(observer);
}

void TApplicationManager::SetInstanceRefusedHandler(std::function<void()> handler) {
    RefusedHandler() = std::move(handler);
}

void TApplicationManager::SetInstanceCheck(std::function<bool()> check) {
    InstanceCheck() = std::move(check);
}

void TApplicationManager::CheckSingleInstance() {
    if (InstanceCheck()())
        return;
    RefusedHandler()();
    // Ends at once; exit() still runs the process's finalisation (the sleep request is lifted).
    std::exit(0);
}

TApplicationManager::TApplicationManager() {
    CheckSingleInstance();
    // The frame log first: every frame from the first request on is recorded.
    FrameLog = new TFrameLog;
    Step();
    // Then, in this order: Laser (laser-head model), FirmwareUpdater (programming engine),
    // LogFile (measurement log writer, flushing automatically).
    Laser = new TLaser;
    Step();
    FirmwareUpdater = new TFirmwareUpdater;
    Step();
    LogFile = new TLogFileStream(true);
    Step();
    // The record of link and lock events and the live status model, which the window feeds and
    // recordings and publishers subscribe to.
    LinkEvents = new TLinkEvents;
    Step();
    StatusModel = new TStatusModel;
    Step();
}

TApplicationManager::~TApplicationManager() {
    // Reverse order of creation: StatusModel, LinkEvents, LogFile, FirmwareUpdater, Laser. Each
    // global is cleared before its object is freed, so nothing released meanwhile finds a half-gone
    // singleton.
    TStatusModel* statusModel = StatusModel;
    StatusModel = nullptr;
    Step();
    delete statusModel;
    TLinkEvents* linkEvents = LinkEvents;
    LinkEvents = nullptr;
    Step();
    delete linkEvents;
    TLogFileStream* logFile = LogFile;
    LogFile = nullptr;
    Step();
    delete logFile;
    TFirmwareUpdater* updater = FirmwareUpdater;
    FirmwareUpdater = nullptr;
    Step();
    delete updater;
    TLaser* laser = Laser;
    Laser = nullptr;
    Step();
    delete laser;
    TFrameLog* frameLog = FrameLog.exchange(nullptr);
    Step();
    delete frameLog;
}
