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

namespace {
// A device as the search lists it: the shown text, and its identity apart.
TDeviceID Listed(const char* shown, int32_t kind, const char* description, const char* serial,
                 const char* path = "") {
    TDeviceID d(_usb, QString::fromLatin1(shown), kind, {}, {});
    d.SetIdentity(QString::fromLatin1(description), QString::fromLatin1(serial),
                  QString::fromLatin1(path));
    return d;
}
} // namespace

TEST(FindLostDevice, OnlyTheOneEntryThatIsTheSameDevice) {
    // Named by hand (no identity beyond the name): description and kind.
    const TDeviceID ours(_usb, QStringLiteral("QRX-7A one"), 111111, {}, {});
    const TDeviceID other(_usb, QStringLiteral("TMVK v2 two"), 222222, {}, {});
    const TDeviceID otherKind(_usb, QStringLiteral("QRX-7A one"), 222222, {}, {});
    // Found by a search: the serial number decides, the port may change, the notes do not count.
    const TDeviceID lost =
        Listed("QRX-7A one (D2XX)", 111111, "QRX-7A one", "FT01", "/dev/ttyUSB0");
    const TDeviceID back =
        Listed("QRX-7A one (busy)", 111111, "QRX-7A one", "FT01", "/dev/ttyUSB3");
    const TDeviceID twin = Listed("QRX-7A one", 111111, "QRX-7A one", "FT02", "/dev/ttyUSB0");
    const TDeviceID noSerial = Listed("QRX-7A one", 111111, "QRX-7A one", "", "/dev/ttyUSB0");
    const TDeviceID noSerialElsewhere =
        Listed("QRX-7A one", 111111, "QRX-7A one", "", "/dev/ttyUSB1");
    struct Case {
        const char* what;
        TDeviceID lost;
        TDevicesIDList listed;
        bool found;
    };
    const Case cases[] = {
        {"not listed", ours, List({}), false},
        {"only others", ours, List({other}), false},
        {"listed with others", ours, List({other, ours}), true},
        {"listed twice", ours, List({ours, ours}), false},
        {"same name, other kind", ours, List({otherKind}), false},
        {"same name twice, kinds differ", ours, List({ours, otherKind}), true},
        {"back with a note and another port", lost, List({back}), true},
        {"its twin of the same name beside it", lost, List({twin, back}), true},
        {"only its twin", lost, List({twin}), false},
        {"no serial numbers: the port", noSerial, List({noSerialElsewhere, noSerial}), true},
        {"nothing was connected", TDeviceID(), List({ours}), false},
    };
    for (const Case& c : cases) {
        const auto found = FindLostDevice(c.listed, c.lost);
        EXPECT_EQ(found.has_value(), c.found) << c.what;
        if (found) {
            EXPECT_TRUE(found->SameDevice(c.lost)) << c.what;
        }
    }
}
