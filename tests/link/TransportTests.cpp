// The USB transport against the scripted fake driver.
#include "link/Phy_USB_Unit.h"
#include "support/FakeD2XX.h"

#include <gtest/gtest.h>

namespace {

TDeviceID Usb(const char* name) {
    return TDeviceID(_usb, QString::fromLatin1(name), 0, {}, {});
}

std::vector<std::string> NamesAfter(const TFakeD2XX& fake, const std::string& first) {
    std::vector<std::string> names = fake.CallNames();
    auto it = std::find(names.begin(), names.end(), first);
    return {it, names.end()};
}

} // namespace

TEST(Enumeration, ClassifiesByDescriptionAndSkipsStrangers) {
    TFakeD2XX fake;
    fake.SetDevices({"Lab QRX-7A unit", "USB Serial", "TMVK v2 box", "QRX-7A and TMVK v2",
                     "qrx-7a lower case"});
    TUSBConnection usb;
    TDevicesIDList list;
    ASSERT_EQ(usb.IOEnumDevices(list), _ok);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].fullName(), QStringLiteral("Lab QRX-7A unit"));
    EXPECT_EQ(list[0].serialNumber(), 111111);
    EXPECT_EQ(list[0].connectionType(), _usb);
    EXPECT_EQ(list[1].serialNumber(), 222222);
    EXPECT_EQ(list[2].fullName(), QStringLiteral("QRX-7A and TMVK v2"));
    EXPECT_EQ(list[2].serialNumber(), 111111); // the first test wins
    EXPECT_TRUE(list[2].btRadio().isEmpty());
    EXPECT_TRUE(list[2].btAddress().isEmpty());
}

TEST(Enumeration, AppendsWithoutClearing) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    TDevicesIDList list;
    usb.IOEnumDevices(list);
    usb.IOEnumDevices(list);
    EXPECT_EQ(list.size(), 2u);
}

TEST(Enumeration, NoAdaptersIsOkAndEmpty) {
    TFakeD2XX fake;
    TUSBConnection usb;
    TDevicesIDList list;
    EXPECT_EQ(usb.IOEnumDevices(list), _ok);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(fake.CountOf("FT_GetDeviceInfoList"), 0);
}

TEST(Enumeration, FailuresOfTheTwoListCalls) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    TDevicesIDList list;
    fake.Fail("FT_CreateDeviceInfoList", 1);
    EXPECT_EQ(usb.IOEnumDevices(list), _error);
    fake.Fail("FT_GetDeviceInfoList", 1);
    EXPECT_EQ(usb.IOEnumDevices(list), _ok); // count taken as 0
    EXPECT_TRUE(list.empty());
}

TEST(Enumeration, MoreThanFiftyAdaptersAreAllRead) {
    TFakeD2XX fake;
    std::vector<std::string> many;
    for (int i = 0; i < 75; ++i)
        many.push_back("QRX-7A #" + std::to_string(i));
    fake.SetDevices(many);
    TUSBConnection usb;
    TDevicesIDList list;
    ASSERT_EQ(usb.IOEnumDevices(list), _ok);
    ASSERT_EQ(list.size(), 75u);
    EXPECT_EQ(list[74].fullName(), QStringLiteral("QRX-7A #74"));
    // The driver was given room for every node it reported.
    EXPECT_EQ(fake.Calls().back().args.at(0), 75u);
}

TEST(Enumeration, DescriptionFillingAllSixtyFourBytesIsCutThere) {
    TFakeD2XX fake;
    const std::string full = "QRX-7A " + std::string(57, 'x'); // 64 characters, no NUL
    fake.SetDevices({full + "overflow"});
    TUSBConnection usb;
    TDevicesIDList list;
    ASSERT_EQ(usb.IOEnumDevices(list), _ok);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].fullName().size(), 64);
}

TEST(Opening, ConfiguresTheLineInOrder) {
    TFakeD2XX fake;
    fake.SetDevices({"USB Serial", "QRX-7A 12"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok); // a substring of the description matches
    EXPECT_EQ(NamesAfter(fake, "FT_OpenEx"),
              (std::vector<std::string>{"FT_OpenEx", "FT_SetBaudRate", "FT_SetDataCharacteristics",
                                        "FT_SetTimeouts", "FT_Purge", "FT_SetLatencyTimer"}));
    const auto calls = fake.Calls();
    auto find = [&](const std::string& n) {
        return *std::find_if(calls.begin(), calls.end(), [&](auto& c) { return c.name == n; });
    };
    EXPECT_EQ(find("FT_OpenEx").text, "QRX-7A 12");
    EXPECT_EQ(find("FT_OpenEx").args, (std::vector<uint64_t>{2}));
    EXPECT_EQ(find("FT_SetBaudRate").args.at(1), 115200u);
    EXPECT_EQ(find("FT_SetDataCharacteristics").args,
              (std::vector<uint64_t>{find("FT_SetBaudRate").args.at(0), 8, 0, 0}));
    EXPECT_EQ(find("FT_SetTimeouts").args.at(1), 10000u);
    EXPECT_EQ(find("FT_SetTimeouts").args.at(2), 10000u);
    EXPECT_EQ(find("FT_Purge").args.at(1), 3u);
    EXPECT_EQ(find("FT_SetLatencyTimer").args.at(1), 16u);
    EXPECT_NE(usb.Handle(), nullptr);
}

TEST(Opening, BaudFailureIsAnErrorButHandleStaysAndLatencyIsSet) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    fake.Fail("FT_SetBaudRate");
    TUSBConnection usb;
    EXPECT_EQ(usb.IOConnect(Usb("QRX-7A")), _error);
    EXPECT_NE(usb.Handle(), nullptr);
    EXPECT_EQ(fake.OpenHandles(), 1);
    EXPECT_EQ(fake.CountOf("FT_SetDataCharacteristics"), 0);
    EXPECT_EQ(fake.CountOf("FT_SetLatencyTimer"), 1);
}

TEST(Opening, NothingAttachedOrNothingMatching) {
    TFakeD2XX fake;
    TUSBConnection usb;
    EXPECT_EQ(usb.IOConnect(Usb("QRX-7A")), _error);
    fake.SetDevices({"TMVK v2"});
    EXPECT_EQ(usb.IOConnect(Usb("QRX-7A")), _error);
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 0);
    fake.Fail("FT_CreateDeviceInfoList");
    EXPECT_EQ(usb.IOConnect(Usb("TMVK v2")), _error);
}

TEST(Opening, SeveralMatchesOpenOnlyTheFirstThatOpens) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A A", "QRX-7A B", "QRX-7A C"});
    fake.Fail("FT_OpenEx", 1); // A refuses
    TUSBConnection usb;
    EXPECT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok);
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 2);
    EXPECT_EQ(fake.OpenHandles(), 1);
    EXPECT_EQ(fake.Calls()[3].text, "QRX-7A B");
}

TEST(Transport, DisconnectTwiceCallsTheDriverOnce) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok);
    EXPECT_EQ(usb.IODisconnect(), _ok);
    EXPECT_EQ(usb.IODisconnect(), _ok);
    EXPECT_EQ(fake.CountOf("FT_Close"), 1);
    EXPECT_EQ(usb.Handle(), nullptr);
}

TEST(Transport, RefusedCloseKeepsTheHandle) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok);
    fake.Fail("FT_Close", 1);
    EXPECT_EQ(usb.IODisconnect(), _error);
    EXPECT_NE(usb.Handle(), nullptr);
    EXPECT_EQ(usb.IODisconnect(), _ok);
}

TEST(Transport, WritesReadsAndQueueStatus) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok);

    const char frame[12] = {char(0xAF), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    fake.SetWriteLimit(5);
    uint32_t size = 12;
    EXPECT_EQ(usb.IOWrite(frame, size), _ok); // short write is still _ok
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(fake.Written(), QByteArray(frame, 5));

    fake.Fail("FT_Write", 1);
    size = 12;
    EXPECT_EQ(usb.IOWrite(frame, size), _error);
    EXPECT_EQ(size, 0u);

    fake.QueueRx(QByteArray("abcdef"));
    uint32_t queued = 0;
    EXPECT_EQ(usb.IOGetReadDataCount(queued), _ok);
    EXPECT_EQ(queued, 6u);
    char in[16] = {};
    size = 4;
    EXPECT_EQ(usb.IORead(in, size), _ok);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(QByteArray(in, 4), QByteArray("abcd"));

    fake.Fail("FT_GetQueueStatus", 1);
    queued = 77;
    EXPECT_EQ(usb.IOGetReadDataCount(queued), _error);
    EXPECT_EQ(queued, 0u);
    fake.Fail("FT_Read", 1);
    size = 2;
    EXPECT_EQ(usb.IORead(in, size), _error);
    EXPECT_EQ(size, 0u);
}

TEST(Transport, ResetCyclesOnlyAnOpenPort) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    EXPECT_EQ(usb.IOReset(), _ok);
    EXPECT_EQ(fake.CountOf("FT_CyclePort"), 0);
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok);
    EXPECT_EQ(usb.IOReset(), _ok);
    fake.Fail("FT_CyclePort", 1);
    EXPECT_EQ(usb.IOReset(), _error);
    EXPECT_NE(usb.Handle(), nullptr);
}

TEST(Transport, DriverVersionText) {
    TFakeD2XX fake;
    fake.SetLibraryVersion(0x00030216);
    TUSBConnection usb;
    EXPECT_EQ(usb.IOGetDriverVersion(), QStringLiteral("FTDI dll version: 197142"));
    fake.SetLibraryVersion(0xFFFFFFFFu);
    EXPECT_EQ(usb.IOGetDriverVersion(), QStringLiteral("FTDI dll version: 4294967295"));
    fake.Fail("FT_GetLibraryVersion");
    EXPECT_EQ(usb.IOGetDriverVersion(), QStringLiteral("FTDI dll version: 0"));
}

TEST(Transport, LatencyVariants) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A"});
    TUSBConnection usb;
    ASSERT_EQ(usb.IOConnect(Usb("QRX-7A")), _ok);
    fake.ClearRecord();
    usb.SetHighLatencyTimer();
    usb.SetLowLatencyTimer();
    usb.SetDefaultLatencyTimer();
    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].args.at(1), 20u);
    EXPECT_EQ(calls[1].args.at(1), 5u);
    EXPECT_EQ(calls[2].args.at(1), 16u);
}
