// The application manager: the single-instance check runs first and a refusal ends the process.
#include "app/GlobalUnit.h"

#include "app/LogUnit.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "protocol/FrameLogUnit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ApplicationManagerDeathTest, RefusedStartShowsItsMessageAndEndsWithCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TApplicationManager::SetInstanceCheck([] { return false; });
            TApplicationManager::SetInstanceRefusedHandler(
                [] { fputs("Program is already running!|Error\n", stderr); });
            TApplicationManager m;
            fputs("created anyway\n", stderr);
        },
        ::testing::ExitedWithCode(0), "^Program is already running!\\|Error\n$");
}

namespace {
// Which singletons exist: F the frame log, L Laser, U FirmwareUpdater, G LogFile, E LinkEvents,
// S StatusModel.
std::string Globals() {
    return std::string() + (FrameLog ? 'F' : '-') + (Laser ? 'L' : '-') +
           (FirmwareUpdater ? 'U' : '-') + (LogFile ? 'G' : '-') + (LinkEvents ? 'E' : '-') +
           (StatusModel ? 'S' : '-');
}
} // namespace

TEST(ApplicationManager, CreatesAfterTheCheckInOrderAndReleasesInReverse) {
    std::vector<std::string> seen;
    TApplicationManager::SetInstanceCheck([&] {
        seen.push_back("check " + Globals());
        return true;
    });
    TApplicationManager::SetStepObserver([&] { seen.push_back(Globals()); });
    {
        TApplicationManager m;
        seen.push_back("running");
    }
    TApplicationManager::SetStepObserver({});
    TApplicationManager::SetInstanceCheck([] { return true; });
    // Each release begins with its global already cleared, in the reverse order of creation.
    EXPECT_EQ(seen, (std::vector<std::string>{"check ------", "F-----", "FL----", "FLU---",
                                              "FLUG--", "FLUGE-", "FLUGES", "running", "FLUGE-",
                                              "FLUG--", "FLU---", "FL----", "F-----", "------"}));
}
