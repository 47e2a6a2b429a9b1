// The link's health decisions: silence and its end, and which listed device is the lost one.
#include "monitor/LinkHealthUnit.h"

#include <gtest/gtest.h>

TEST(SilenceWatch, SilentAfterThreeSecondsWithoutFramesAndBackWithTheNextFrame) {
    // 3 s without a frame is a silent laser.
    TSilenceWatch w;
    w.Start(1000, 50);
    EXPECT_EQ(w.Tick(1000 + 2999, 50), TSilenceWatch::_none);
    EXPECT_EQ(w.Tick(1000 + 3000, 50), TSilenceWatch::_silent);
    EXPECT_TRUE(w.Silent());
    EXPECT_EQ(w.Tick(1000 + 15000, 50), TSilenceWatch::_none); // told once
    EXPECT_EQ(w.Tick(1000 + 15001, 51), TSilenceWatch::_back);
    EXPECT_FALSE(w.Silent());
    // Frames keep arriving, one between two checks (every 250 ms): never silent, however long.
    for (int64_t t = 0; t < 30000; t += 250)
        EXPECT_EQ(w.Tick(20000 + t, 52 + static_cast<uint64_t>(t)), TSilenceWatch::_none);
    // A new link starts a new measure.
    w.Start(100000, 0);
    EXPECT_EQ(w.Tick(100000 + 2999, 0), TSilenceWatch::_none);
}

namespace {
TDevicesIDList List(std::initializer_list<TDeviceID> devices) {
    TDevicesIDList list;
    list.assign(devices.begin(), devices.end());
    return list;
}
} // namespace

TEST(FindLostDevice, OnlyTheOneEntryWithTheSameDescriptionAndKind) {
    const TDeviceID ours(_usb, QStringLiteral("QRX-7A one"), 111111, {}, {});
    const TDeviceID other(_usb, QStringLiteral("TMVK v2 two"), 222222, {}, {});
    const TDeviceID otherKind(_usb, QStringLiteral("QRX-7A one"), 222222, {}, {});
    struct Case {
        const char* what;
        TDevicesIDList listed;
        bool found;
    };
    const Case cases[] = {
        {"not listed", List({}), false},
        {"only others", List({other}), false},
        {"listed with others", List({other, ours}), true},
        {"listed twice", List({ours, ours}), false},
        {"same name, other kind", List({otherKind}), false},
        {"same name twice, kinds differ", List({ours, otherKind}), false},
    };
    for (const Case& c : cases) {
        const auto found = FindLostDevice(c.listed, QStringLiteral("QRX-7A one"), 111111);
        EXPECT_EQ(found.has_value(), c.found) << c.what;
        if (found) {
            EXPECT_EQ(found->fullName(), QStringLiteral("QRX-7A one"));
            EXPECT_EQ(found->serialNumber(), 111111);
        }
    }
    EXPECT_FALSE(FindLostDevice(List({ours}), QString(), 111111)); // nothing was connected
}
