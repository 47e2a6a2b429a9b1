// An adapter that leaves the bus while open: its handle is released when the link is opened
// again, so the driver never holds more than one handle of ours.
#include "link/ConnectionUnit.h"
#include "support/FakeD2XX.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TDeviceID Usb(const char* name) {
    return TDeviceID(_usb, QString::fromLatin1(name), 111111, {}, {});
}

} // namespace

TEST(LinkLoss, OpeningAgainReleasesTheStaleHandleFirst) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A one"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A one")), _ok);
    FT_HANDLE first = usb.Handle();
    fake.Unplug();
    uint32_t count = 0;
    EXPECT_EQ(usb.IOGetReadDataCount(count), _error);
    fake.Plug();
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A one")), _ok);
    EXPECT_NE(usb.Handle(), first);
    EXPECT_EQ(fake.OpenHandles(), 1);
    EXPECT_EQ(fake.MostOpenHandles(), 1);
    EXPECT_EQ(fake.Closes(), 1);
    // The old handle went before the new one was asked for.
    const auto names = fake.CallNames();
    const auto close = std::find(names.begin(), names.end(), "FT_Close");
    ASSERT_NE(close, names.end());
    EXPECT_NE(std::find(close, names.end(), "FT_OpenEx"), names.end());
}

TEST(LinkLoss, AFailedReopenStillReleasesTheStaleHandle) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A one"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A one")), _ok);
    fake.Unplug();
    EXPECT_EQ(usb.IOConnect(Usb("QRX-7A one")), _error); // not listed
    EXPECT_EQ(usb.Handle(), nullptr);
    EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST(LinkLoss, HundredUnplugsThroughTheConnectionLeaveOneHandleAtMost) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A one"});
    TConnection c;
    QStringList names;
    c.GetAvailableDevices(names);
    c.SetDeviceID(QStringLiteral("QRX-7A one"));
    ASSERT_TRUE(c.Connect());
    for (int i = 0; i < 100; ++i) {
        fake.Unplug();
        uint32_t count = 0;
        EXPECT_FALSE(c.GetReadDataCount(count));
        EXPECT_FALSE(c.Connect()) << i; // gone from the bus
        fake.Plug();
        ASSERT_TRUE(c.Connect()) << i;
        EXPECT_TRUE(c.GetReadDataCount(count));
    }
    EXPECT_EQ(fake.MostOpenHandles(), 1);
    EXPECT_EQ(fake.Opens(), 101);
    EXPECT_TRUE(c.Disconnect());
    EXPECT_EQ(fake.OpenHandles(), 0);
}
