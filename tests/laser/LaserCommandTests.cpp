// The laser head's command senders: the bytes that reach the adapter through the connection.
#include "LaserTestSupport.h"
#include "laser/LaserUnit.h"
#include "link/ConnectionUnit.h"
#include "support/FakeD2XX.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace {

struct LaserCommands : ::testing::Test {
    TFakeD2XX fake;
    TConnection connection;
    TLHParameters p;
    TServiceStreamParams stream;

    void SetUp() override {
        fake.SetDevices({"QRX-7A one"});
        QStringList names;
        connection.GetAvailableDevices(names);
        connection.SetDeviceID(QStringLiteral("QRX-7A one"));
        ASSERT_TRUE(connection.Connect());
        Connection = &connection;
        fake.ClearRecord();
    }
    void TearDown() override { Connection = nullptr; }

    // The frame for board 4 with this code and payload bytes 2..9.
    static QByteArray Frame(uint8_t code, std::initializer_list<uint8_t> payload = {}) {
        uint8_t data[8] = {};
        int i = 0;
        for (uint8_t b : payload)
            data[i++] = b;
        const TFrame f = BuildFrame(BoardLaserHead, code, data);
        return QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize);
    }
    QByteArray TakeWritten() {
        const QByteArray w = fake.Written();
        fake.ClearRecord();
        return w;
    }
};

} // namespace

TEST_F(LaserCommands, FramesGoToTheLaserHeadWithTheirChecksum) {
    p.SendSetArtOffsetFrame(-1);
    const QByteArray w = TakeWritten();
    ASSERT_EQ(w.size(), 12);
    EXPECT_EQ(w, QByteArray::fromHex("af08ffff000000000000f4fa"));
}

TEST_F(LaserCommands, RequestsCarryTheirCodeAndAnEmptyPayload) {
    const std::pair<void (TLHParameters::*)() const, uint8_t> requests[] = {
        {&TLHParameters::SendGetArtOffsetFrame, 9},
        {&TLHParameters::SendGetSlopeFrame, 145},
        {&TLHParameters::SendGetEepormErrorCountFrame, 146},
        {&TLHParameters::SendGetTimesFrame, 148},
        {&TLHParameters::SendGetLaserOperationTimeFrame, 149},
        {&TLHParameters::SendGetLaserStartCountFrame, 152},
        {&TLHParameters::SendGetSerialNumberFrame, 153},
        {&TLHParameters::SendGetFirmwareVersionFrame, 155},
        {&TLHParameters::SendGetHeaterOptionsFrame, 157},
        {&TLHParameters::SendGetWavelengthFrame, 159},
        {&TLHParameters::SendGetTestValuesFrame, 160},
        {&TLHParameters::SendGetStabilizationOptionsFrame, 162},
        {&TLHParameters::SendGetPIDParamFrame, 39},
        {&TLHParameters::SendReadDACParametersFrame, 4},
    };
    for (const auto& [send, code] : requests) {
        (p.*send)();
        EXPECT_EQ(TakeWritten(), Frame(code)) << "code " << int(code);
    }
    stream.SendGetServiceStreamParamsFrame();
    EXPECT_EQ(TakeWritten(), Frame(1));
    p.SendGetAllParametersFrame();
    EXPECT_TRUE(TakeWritten().isEmpty());
}

TEST_F(LaserCommands, SixteenBitWritesKeepTheLowBits) {
    const std::pair<void (TLHParameters::*)(int64_t) const, uint8_t> writes[] = {
        {&TLHParameters::SendSetArtOffsetFrame, 8},
        {&TLHParameters::SendSetSlopeFrame, 144},
        {&TLHParameters::SendSetEepormErrorCountFrame, 147},
        {&TLHParameters::SendSetLaserOperationTimeFrame, 150},
        {&TLHParameters::SendSetLaserStartCountFrame, 151},
        {&TLHParameters::SendStatusMode, 164},
    };
    for (const auto& [send, code] : writes) {
        (p.*send)(70000); // 70 000 - 65 536 = 4 464 = 0x1170
        EXPECT_EQ(TakeWritten(), Frame(code, {0x70, 0x11})) << "code " << int(code);
        (p.*send)(-2);
        EXPECT_EQ(TakeWritten(), Frame(code, {0xFE, 0xFF})) << "code " << int(code);
    }
    p.SendStatusMode(1);
    EXPECT_EQ(TakeWritten(), Frame(164, {1}));
}

TEST_F(LaserCommands, ByteWritesKeepTheLowByteOnly) {
    p.SendSetHeaterOptionsFrame(0x1FF);
    EXPECT_EQ(TakeWritten(), Frame(156, {0xFF}));
    p.SendSetStabilizationOptionsFrame(3);
    EXPECT_EQ(TakeWritten(), Frame(161, {3}));
    p.SendChangeStabilizationMode(0x102);
    EXPECT_EQ(TakeWritten(), Frame(6, {2}));
    stream.ChangeLaserState(TLaserState::_high_temp);
    EXPECT_EQ(TakeWritten(), Frame(100, {14}));
}

TEST_F(LaserCommands, FrequencyDifferenceIsRoundedHalfToEvenIntoThirtyTwoBits) {
    p.SendSetWavelengthFrame(2.5);
    EXPECT_EQ(TakeWritten(), Frame(158, {2}));
    p.SendSetWavelengthFrame(3.5);
    EXPECT_EQ(TakeWritten(), Frame(158, {4}));
    p.SendSetWavelengthFrame(100000000.0);
    EXPECT_EQ(TakeWritten(), Frame(158, {0x00, 0xE1, 0xF5, 0x05}));
    p.SendSetWavelengthFrame(-100000.0);
    EXPECT_EQ(TakeWritten(), Frame(158, {0x60, 0x79, 0xFE, 0xFF}));
    p.SendSetWavelengthFrame(4294967296.0 + 7); // above 32 bits: the low 32 bits travel
    EXPECT_EQ(TakeWritten(), Frame(158, {7, 0, 0, 0}));
}

TEST_F(LaserCommands, SerialNumberWritePacksModelAndNumberIntoOneByte) {
    p.SendSetSerialNumberFrame(TLHSerialNumber{3, 0x0F, 7, 23});
    EXPECT_EQ(TakeWritten(), Frame(154, {0x3F, 0, 7, 0, 23, 0}));
    p.SendSetSerialNumberFrame(TLHSerialNumber{3, 0x1F, 12, 255}); // carries into the model
    EXPECT_EQ(TakeWritten(), Frame(154, {0x4F, 0, 12, 0, 255, 0}));
}

TEST_F(LaserCommands, PidAndDacWritesSendTheStoredFields) {
    p.FPID_P = 10;
    p.FPID_I = 20;
    p.FPID_D = 300;
    p.SendSetPIDParamFrame();
    EXPECT_EQ(TakeWritten(), Frame(7, {0x14, 0x00, 0x0A, 0x00, 0x2C, 0x01, 0x00, 0x00}));
    p.FPID_P = 0x1FF; // bytes: only the low byte
    p.FPID_I = -1;
    p.FPID_D = -1;
    p.SendSetPIDParamFrame();
    EXPECT_EQ(TakeWritten(), Frame(7, {0xFF, 0, 0xFF, 0, 0xFF, 0xFF}));

    p.FDACRegistryLaserTemp = 1000;
    p.FDACRegistryCaseTemp = 65535;
    p.FDACEepromLaserTemp = 2;
    p.FDACEepromCaseTemp = 0x10003;
    p.SendWriteDACParametersFrame();
    EXPECT_EQ(TakeWritten(),
              Frame(2, {0xE8, 0x03, 0xFF, 0xFF}) + Frame(3, {0x02, 0x00, 0x03, 0x00}));
}
