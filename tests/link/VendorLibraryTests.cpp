// Loading the vendor library at run time: absent, present by path, present on the search path.
#include "link/ConnectionUnit.h"
#include "link/D2XX_Unit.h"
#include "protocol/SendFrameUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(VendorLibrary, MissingLibraryFailsEveryCallCleanly) {
    TVendorD2XXTable table(QStringLiteral("halvane_no_such_library"));
    EXPECT_FALSE(table.IsLoaded());
    FT_DWORD n = 99;
    EXPECT_NE(table.CreateDeviceInfoList(&n), FT_OK);
    FT_HANDLE h = nullptr;
    EXPECT_NE(table.OpenEx(const_cast<char*>("x"), 2, &h), FT_OK);
    FT_DWORD v = 0;
    EXPECT_NE(table.GetLibraryVersion(&v), FT_OK);

    D2XX::SetTable(&table);
    TUSBConnection usb;
    TDevicesIDList list;
    EXPECT_EQ(usb.IOEnumDevices(list), _error);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(usb.IOConnect(TDeviceID(_usb, "QRX-7A", 111111, {}, {})), _error);
    EXPECT_EQ(usb.IOGetDriverVersion(), QStringLiteral("FTDI dll version: 0"));
    D2XX::SetTable(nullptr);
}

TEST(VendorLibrary, LibraryGivenByPathIsUsedAndCarriesFrames) {
    TVendorD2XXTable table(QStringLiteral(FAKE_VENDOR_FILE));
    ASSERT_TRUE(table.IsLoaded());
    D2XX::SetTable(&table);
    TConnection c;
    QStringList names;
    c.GetAvailableDevices(names);
    EXPECT_EQ(names, QStringList{QStringLiteral("QRX-7A 0001")});
    c.SetDeviceID(QStringLiteral("QRX-7A 0001"));
    ASSERT_TRUE(c.Connect());
    EXPECT_EQ(c.GetDriverVersion(), QStringLiteral("FTDI dll version: 197142"));

    // Two frames out through the library's write, back through its queue and read.
    const std::array<TFrame, 2> sent{BuildParamsFrame(0xF1, 32, 1, 2, 3, 4),
                                     BuildParamsFrame(0xF2, 5, 0xBEEF)};
    for (const TFrame& f : sent) {
        uint32_t size = FrameSize;
        ASSERT_TRUE(c.Send(f.data(), size));
        EXPECT_EQ(size, uint32_t(FrameSize));
    }
    uint32_t size = 0;
    ASSERT_TRUE(c.GetReadDataCount(size));
    ASSERT_EQ(size, sizeof sent);
    std::array<TFrame, 2> back{};
    ASSERT_TRUE(c.Read(back.data(), size));
    EXPECT_EQ(size, sizeof back);
    EXPECT_EQ(back, sent);
    EXPECT_TRUE(c.Disconnect());
    D2XX::SetTable(nullptr);
}

// Runs only from the CTest entry that puts the stand-in on LD_LIBRARY_PATH.
TEST(VendorLibraryOnSearchPath, DefaultTableFindsLibftd2xx) {
    if (!std::getenv("HALVANE_EXPECT_VENDOR"))
        GTEST_SKIP() << "needs the stand-in library on the search path";
    D2XX::SetTable(nullptr); // the default: "ftd2xx" by its standard name
    TConnection c;
    QStringList names;
    c.GetAvailableDevices(names);
    EXPECT_EQ(c.Error(), _ok);
    EXPECT_EQ(names, QStringList{QStringLiteral("QRX-7A 0001")});
    ASSERT_EQ(c.DevicesList().size(), 1u);
    EXPECT_EQ(c.DevicesList()[0].serialNumber(), 111111);
}
