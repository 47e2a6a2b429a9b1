// The application manager: the single-instance check runs first and a refusal ends the process.
#include "app/GlobalUnit.h"

#include <gtest/gtest.h>

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

TEST(ApplicationManager, AcceptedStartCreatesTheManager) {
    int checks = 0;
    TApplicationManager::SetInstanceCheck([&] {
        ++checks;
        return true;
    });
    {
        TApplicationManager m;
        EXPECT_EQ(checks, 1);
    }
    TApplicationManager::SetInstanceCheck([] { return true; });
}
