// Which transport reaches an adapter: the vendor library (the scripted fake) where it lists
// adapters, the kernel driver (a real pseudo-terminal behind a sysfs tree) for the rest.
#include "PtySupport.h"
#include "link/ConnectionUnit.h"
#include "link/SerialPortUnit.h"
#include "link/TransportChoiceUnit.h"
#include "support/FakeD2XX.h"

#include <gtest/gtest.h>

namespace {

struct Choice : ::testing::Test {
    TFakeD2XX Vendor; // its serial numbers are FT000000, FT000001, ... in list order
    TPty Pty;
    TFakeSysfs Sysfs;
    std::unique_ptr<TSerialPortD2XXTable> Kernel;
    std::unique_ptr<TTransportChoiceTable> Table;

    void Make() {
        Kernel = std::make_unique<TSerialPortD2XXTable>(Sysfs.SysRoot(), Sysfs.DevRoot());
        Table = std::make_unique<TTransportChoiceTable>(Vendor, *Kernel);
        D2XX::SetTable(Table.get());
    }
    void TearDown() override { D2XX::SetTable(nullptr); }

    QStringList Names() {
        TConnection c;
        QStringList names;
        c.GetAvailableDevices(names);
        return names;
    }
};

} // namespace

TEST_F(Choice, OneTransportAloneListsItsDevicesUnmarked) {
    const struct {
        std::vector<std::string> vendor;
        bool vendorFails;
        bool kernelPort;
        QStringList listed;
    } cases[] = {
        {{}, true, true, {"QRX-7A Bench"}},               // no vendor library: the kernel driver
        {{}, false, true, {"QRX-7A Bench"}},              // the library lists nothing
        {{"TMVK v2 Lab"}, false, false, {"TMVK v2 Lab"}}, // no tty at all: the library
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed.join(",").toStdString());
        TFakeSysfs sysfs;
        if (c.kernelPort)
            sysfs.AddPort("ttyUSB0", "QRX-7A Bench", "K1", Pty.Slave());
        TSerialPortD2XXTable kernel(sysfs.SysRoot(), sysfs.DevRoot());
        TTransportChoiceTable table(Vendor, kernel);
        Vendor.SetDevices(c.vendor);
        if (c.vendorFails)
            Vendor.Fail("FT_CreateDeviceInfoList");
        else
            Vendor.Heal("FT_CreateDeviceInfoList");
        D2XX::SetTable(&table);
        EXPECT_EQ(Names(), c.listed);
        D2XX::SetTable(nullptr);
    }
}

TEST_F(Choice, BothInUseMarkEachDeviceAndNoneIsListedTwice) {
    Vendor.SetDevices({"QRX-7A Lab"});                               // serial FT000000
    Sysfs.AddPort("ttyUSB0", "QRX-7A Lab", "FT000000", Pty.Slave()); // the same adapter
    Sysfs.AddPort("ttyUSB1", "TMVK v2 Box", "K2", Pty.Slave());
    Make();
    EXPECT_EQ(Names(), (QStringList{"QRX-7A Lab (D2XX)", "TMVK v2 Box (kernel driver)"}));

    // Each opens through its own transport.
    TConnection c;
    QStringList names;
    c.GetAvailableDevices(names);
    c.SetDeviceID("QRX-7A Lab (D2XX)");
    ASSERT_TRUE(c.Connect());
    uint32_t n = 3;
    ASSERT_TRUE(c.Send("abc", n));
    EXPECT_EQ(Vendor.Written(), QByteArray("abc"));
    ASSERT_TRUE(c.Disconnect());

    c.SetDeviceID("TMVK v2 Box (kernel driver)");
    ASSERT_TRUE(c.Connect());
    EXPECT_EQ(c.DeviceID().serialNumber(), 222222);
    n = 3;
    ASSERT_TRUE(c.Send("xyz", n));
    EXPECT_EQ(Pty.Read(3), QByteArray("xyz"));
    EXPECT_EQ(Vendor.Written(), QByteArray("abc"));
    EXPECT_TRUE(c.Disconnect());
    EXPECT_EQ(Vendor.OpenHandles(), 0);
}

TEST_F(Choice, AnAdapterTheVendorLibraryCannotOpenOpensThroughTheKernelDriver) {
    Vendor.SetDevices({"QRX-7A Lab"});
    Vendor.Fail("FT_OpenEx"); // the kernel driver still holds it
    Sysfs.AddPort("ttyUSB0", "QRX-7A Lab", "FT000000", Pty.Slave());
    Make();
    TConnection c;
    QStringList names;
    c.GetAvailableDevices(names);
    ASSERT_EQ(names, QStringList{"QRX-7A Lab"});
    c.SetDeviceID(names[0]);
    ASSERT_TRUE(c.Connect());
    uint32_t n = 4;
    ASSERT_TRUE(c.Send("ping", n));
    EXPECT_EQ(Pty.Read(4), QByteArray("ping"));
    EXPECT_TRUE(Vendor.Written().isEmpty());
    EXPECT_TRUE(c.Disconnect());
}

TEST_F(Choice, UnknownHandlesAreRefused) {
    Make();
    FT_DWORD n = 0;
    uint8_t b[4];
    EXPECT_EQ(Table->Read(reinterpret_cast<FT_HANDLE>(0x1234), b, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(Table->Write(reinterpret_cast<FT_HANDLE>(0x1234), b, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(Table->Close(reinterpret_cast<FT_HANDLE>(0x1234)), FT_INVALID_HANDLE);
}

TEST_F(Choice, AVendorLibraryThatCannotCountIsAnErrorUnlessTheKernelDriverListsAnAdapter) {
    TVendorD2XXTable missing(QStringLiteral("halvane-no-such-library"));
    const struct {
        const char* what;
        bool libraryThere; // else: no vendor library at all
        bool kernelPort;
        TConnectionError result;
        int listed;
    } cases[] = {
        {"library there, cannot count, nothing else", true, false, _error, 0},
        {"library there, cannot count, the kernel driver lists one", true, true, _ok, 1},
        {"no library, nothing else", false, false, _ok, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeSysfs sysfs;
        if (c.kernelPort)
            sysfs.AddPort("ttyUSB0", "QRX-7A Bench", "K1", Pty.Slave());
        TSerialPortD2XXTable kernel(sysfs.SysRoot(), sysfs.DevRoot());
        Vendor.Fail("FT_CreateDeviceInfoList");
        TTransportChoiceTable table(c.libraryThere ? static_cast<TD2XXTable&>(Vendor) : missing,
                                    kernel);
        D2XX::SetTable(&table);
        TUSBConnection usb;
        TDevicesIDList list;
        EXPECT_EQ(usb.IOEnumDevices(list), c.result);
        EXPECT_EQ(static_cast<int>(list.size()), c.listed);
        D2XX::SetTable(nullptr);
    }
}
