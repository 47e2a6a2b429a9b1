// What the tuning controls send, and the device-kind table.
#include "ui/main/DeviceKindUnit.h"
#include "ui/main/TuningCommandsUnit.h"

#include <gtest/gtest.h>

TEST(TuningCommands, StartSendsBothStepsThenTheReferencePeakOrHalfAutomatic) {
    const std::vector<TCommand> automatic = StartCommands(true, 5, 0);
    ASSERT_EQ(automatic.size(), 3u);
    EXPECT_EQ(automatic[0], (TCommand{1, 32, 1}));
    EXPECT_EQ(automatic[1], (TCommand{1, 33, 1}));
    EXPECT_EQ(automatic[2], (TCommand{1, 34, 6}));
    EXPECT_EQ(StartCommands(true, 1, 2)[2], (TCommand{1, 34, 4})); // row 1 of a list from c
    const std::vector<TCommand> half = StartCommands(false, 5, 0);
    ASSERT_EQ(half.size(), 3u);
    EXPECT_EQ(half[2], (TCommand{1, 35, 1}));
}

TEST(TuningCommands, FrequencyDifferenceIsSentInWholeHertzOverTwoWords) {
    EXPECT_EQ(FreqDifferenceCommand(400), (TCommand{4, 158, 0x8400, 0x17D7}));
    EXPECT_EQ(FreqDifferenceCommand(123.456789), (TCommand{4, 158, 0xCD15, 0x075B}));
    // A fraction of a hertz rounds to the nearer whole hertz.
    EXPECT_EQ(FreqDifferenceCommand(30.0000016), (TCommand{4, 158, 0xC382, 0x01C9}));
}

TEST(TuningCommands, SimpleButtonSendsTheLowByteOfItsPeak) {
    EXPECT_EQ(SimpleButtonCommand(10), (TCommand{1, 34, 10}));
    EXPECT_EQ(SimpleButtonCommand(256 + 6), (TCommand{1, 34, 6}));
    EXPECT_EQ(LockCommand(), (TCommand{1, 36}));
}

TEST(TuningCommands, ComboRowsSendNothingWithoutARow) {
    EXPECT_FALSE(HarmonicCommand(-1).has_value());
    EXPECT_FALSE(ScopeScaleCommand(-1).has_value());
    EXPECT_EQ(*HarmonicCommand(3), (TCommand{1, 81, 3}));
    EXPECT_EQ(*ScopeScaleCommand(0), (TCommand{1, 72, 1}));
    EXPECT_EQ(*ScopeScaleCommand(5), (TCommand{1, 72, 6}));
}

TEST(DeviceKinds, SecondControllerHidesEverythingOfTheHeNeLaser) {
    const TDeviceKindLayout second = DeviceKindLayout(222222);
    EXPECT_TRUE(second.IodineLaserRunning);
    EXPECT_FALSE(second.HeNeGroupsVisible);
    EXPECT_EQ(second.ChartTabsVisible, (std::array<bool, 3>{false, false, false}));
    for (int32_t kind : {111111, 0}) {
        const TDeviceKindLayout layout = DeviceKindLayout(kind);
        EXPECT_FALSE(layout.IodineLaserRunning);
        EXPECT_TRUE(layout.HeNeGroupsVisible);
        EXPECT_EQ(layout.ChartTabsVisible, (std::array<bool, 3>{true, false, true}));
    }
    EXPECT_EQ(HeNeGroupNames().size(), 5);
}
