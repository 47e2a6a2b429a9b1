// The connection manager: search, selection, connect/disconnect and the guarded I/O.
#include "link/ConnectionUnit.h"
#include "support/FakeD2XX.h"

#include <gtest/gtest.h>

namespace {

struct ConnectionTest : ::testing::Test {
    TFakeD2XX fake;
    TConnection c;
    QStringList names;

    void Select(const char* name) {
        names.clear();
        c.GetAvailableDevices(names);
        c.SetDeviceID(QString::fromLatin1(name));
    }
};

} // namespace

TEST_F(ConnectionTest, SearchAppendsToTheCallersListButKeepsOnlyTheLatestSearch) {
    fake.SetDevices({"QRX-7A one", "junk", "TMVK v2 two"});
    c.GetAvailableDevices(names);
    c.GetAvailableDevices(names);
    EXPECT_EQ(names, (QStringList{"QRX-7A one", "TMVK v2 two", "QRX-7A one", "TMVK v2 two"}));
    EXPECT_EQ(c.DevicesList().size(), 2u);
    EXPECT_EQ(c.Error(), _ok);
    EXPECT_FALSE(c.HasTransport()); // the search used a transport of its own
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 0);
}

TEST_F(ConnectionTest, FailedSearchAppendsNothingKeepsTheCallersListAndForgetsTheLastSearch) {
    fake.SetDevices({"QRX-7A one", "TMVK v2 two"});
    Select("TMVK v2 two");
    fake.Fail("FT_CreateDeviceInfoList", 1);
    c.GetAvailableDevices(names);
    EXPECT_EQ(c.Error(), _error);
    EXPECT_EQ(names, (QStringList{"QRX-7A one", "TMVK v2 two"})); // not cleared, nothing added
    EXPECT_TRUE(c.DevicesList().empty());
    // The selection made from the earlier search stays; a name of it no longer selects.
    EXPECT_EQ(c.DeviceID().fullName(), QStringLiteral("TMVK v2 two"));
    c.SetDeviceID(QStringLiteral("QRX-7A one"));
    EXPECT_EQ(c.DeviceID().fullName(), QStringLiteral("TMVK v2 two"));
    // The next search that succeeds appends again.
    c.GetAvailableDevices(names);
    EXPECT_EQ(c.Error(), _ok);
    EXPECT_EQ(names.size(), 4);
}

TEST_F(ConnectionTest, SelectionNeedsAnExactName) {
    fake.SetDevices({"QRX-7A one", "TMVK v2 two"});
    Select("TMVK v2 two");
    EXPECT_EQ(c.DeviceID().serialNumber(), 222222);
    c.SetDeviceID(QStringLiteral("TMVK v2")); // a substring is not a name
    c.SetDeviceID(QStringLiteral("tmvk v2 two"));
    EXPECT_EQ(c.DeviceID().fullName(), QStringLiteral("TMVK v2 two"));
}

TEST_F(ConnectionTest, ConnectWithoutSelectionCreatesNothing) {
    EXPECT_FALSE(c.Connect());
    EXPECT_FALSE(c.HasTransport());
    EXPECT_FALSE(c.Connected());
}

TEST_F(ConnectionTest, ConnectAndDisconnect) {
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    ASSERT_TRUE(c.Connect());
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1);
    // Still answering: a second connect opens nothing.
    EXPECT_TRUE(c.Connect());
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1);
    EXPECT_TRUE(c.Disconnect());
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_TRUE(c.Disconnect()); // while disconnected
    EXPECT_EQ(fake.CountOf("FT_Close"), 1);
}

TEST_F(ConnectionTest, FailedOpenLeavesItDisconnected) {
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    fake.Fail("FT_OpenEx");
    EXPECT_FALSE(c.Connect());
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(c.Error(), _error);
}

TEST_F(ConnectionTest, RefusedCloseKeepsItConnected) {
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    ASSERT_TRUE(c.Connect());
    fake.Fail("FT_Close", 1);
    EXPECT_FALSE(c.Disconnect());
    EXPECT_TRUE(c.Connected());
}

TEST_F(ConnectionTest, ConnectWithADeviceCopiesIt) {
    fake.SetDevices({"TMVK v2 x"});
    EXPECT_TRUE(c.Connect(TDeviceID(_usb, "TMVK v2 x", 222222, {}, {})));
    EXPECT_EQ(c.DeviceID().serialNumber(), 222222);
}

TEST_F(ConnectionTest, IoWhileDisconnectedFailsWithoutTheDriver) {
    uint32_t size = 12;
    const char frame[12] = {};
    EXPECT_FALSE(c.Send(frame, size));
    EXPECT_EQ(size, 12u); // left as it was
    char in[12];
    size = 12;
    EXPECT_FALSE(c.Read(in, size));
    EXPECT_EQ(size, 0u);
    size = 5;
    EXPECT_FALSE(c.GetReadDataCount(size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(c.Error(), _error);
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(ConnectionTest, IoWhileConnected) {
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    ASSERT_TRUE(c.Connect());
    fake.QueueRx(QByteArray("\xAF\x01", 2));
    uint32_t size = 0;
    ASSERT_TRUE(c.GetReadDataCount(size));
    EXPECT_EQ(size, 2u);
    char in[4];
    ASSERT_TRUE(c.Read(in, size));
    EXPECT_EQ(size, 2u);
    const char frame[3] = {1, 2, 3};
    size = 3;
    ASSERT_TRUE(c.Send(frame, size));
    EXPECT_EQ(fake.Written(), QByteArray(frame, 3));
    // A vanished device makes I/O fail but does not disconnect.
    fake.Fail("FT_Write");
    size = 3;
    EXPECT_FALSE(c.Send(frame, size));
    EXPECT_TRUE(c.Connected());
}

TEST_F(ConnectionTest, DriverVersionOnlyWithATransport) {
    EXPECT_EQ(c.GetDriverVersion(), QString());
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    c.Connect();
    EXPECT_TRUE(c.GetDriverVersion().startsWith(QStringLiteral("FTDI dll version: ")));
}

TEST_F(ConnectionTest, ReconnectCyclesClosesWaitsAndReopens) {
    std::vector<int> waits;
    c.SetReconnectWait([&](int ms) { waits.push_back(ms); });
    EXPECT_FALSE(c.Reconnect()); // nothing selected
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    ASSERT_TRUE(c.Connect());
    fake.ClearRecord();
    ASSERT_TRUE(c.Reconnect());
    const auto names = fake.CallNames();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], "FT_CyclePort");
    EXPECT_EQ(names[1], "FT_Close");
    EXPECT_EQ(waits, std::vector<int>{4780});
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1);
    EXPECT_TRUE(c.Connected());
}

TEST_F(ConnectionTest, ReconnectStopsAtAFailedReset) {
    int waited = 0;
    c.SetReconnectWait([&](int) { ++waited; });
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    ASSERT_TRUE(c.Connect());
    fake.Fail("FT_CyclePort", 1);
    EXPECT_FALSE(c.Reconnect());
    EXPECT_EQ(fake.CountOf("FT_Close"), 0);
    EXPECT_EQ(waited, 0);
    EXPECT_TRUE(c.Connected());
}

TEST_F(ConnectionTest, LatencyTimerSwitchesOnlyAnOpenLink) {
    c.SetLowLatencyTimer(); // nothing open: no driver call
    EXPECT_EQ(fake.CountOf("FT_SetLatencyTimer"), 0);
    fake.SetDevices({"QRX-7A one"});
    Select("QRX-7A one");
    ASSERT_TRUE(c.Connect());
    fake.ClearRecord();
    c.SetLowLatencyTimer();
    c.SetDefaultLatencyTimer();
    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args.at(1), 5u);
    EXPECT_EQ(calls[1].args.at(1), 16u);
}
