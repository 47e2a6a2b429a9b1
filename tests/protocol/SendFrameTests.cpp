// Command frames as they reach the driver: layout, checksum, packing, conversions, kind filter,
// the fixed request sequences and the command names.
#include "ProtocolFixture.h"
#include "protocol/CommandNameUnit.h"
#include "protocol/CommandSequenceUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/ConversionUnit.h"
#include "protocol/SendFrameUnit.h"

#include <utility>

namespace {

struct SendFrameTest : ::testing::Test {
    OpenConnection link;
};

std::vector<std::pair<int, int>> TargetsAndCodes(const std::vector<QByteArray>& frames) {
    std::vector<std::pair<int, int>> out;
    for (const QByteArray& f : frames)
        out.emplace_back(B(f, 10) & 0x0F, B(f, 1));
    return out;
}

} // namespace

TEST_F(SendFrameTest, ParamsFramePacksWordsLowByteFirstAndSumsBytesOneToTen) {
    SendParamsFrame(BoardController, Cmd::SetPhase, 300);
    const auto frames = link.Frames();
    ASSERT_EQ(frames.size(), 1u);
    const QByteArray& f = frames[0];
    EXPECT_EQ(B(f, 0), 0xAF);
    EXPECT_EQ(B(f, 1), 54);
    EXPECT_EQ(B(f, 2), 0x2C);
    EXPECT_EQ(B(f, 3), 0x01);
    for (int i = 4; i <= 9; ++i)
        EXPECT_EQ(B(f, i), 0) << "byte " << i;
    EXPECT_EQ(B(f, 10), 0xF1);
    EXPECT_EQ(B(f, 11), 0x54);
}

TEST_F(SendFrameTest, CommandWithoutDataCarriesZeroWords) {
    SendParamsFrame(BoardDSP, Cmd::DSPGetFirmwareVersion);
    const auto frames = link.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], QByteArray::fromHex("afdd0000000000000000f2cf"));
}

TEST_F(SendFrameTest, FourWordsFillBytesTwoToNineInOrder) {
    SendParamsFrame(BoardLaserHead, Cmd::LHSetPIDParam, 0x0201, 0x0403, 0x0605, 0x0807);
    EXPECT_EQ(link.fake.Written().mid(2, 8), QByteArray::fromHex("0102030405060708"));
    EXPECT_EQ(B(link.fake.Written(), 10), 0xF4);
}

TEST_F(SendFrameTest, RawFrameCarriesItsEightBytesAndChecksumWraps) {
    const uint8_t data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    SendFrame(3, Cmd::FwData, data);
    const QByteArray f = link.fake.Written();
    ASSERT_EQ(f.size(), 12);
    EXPECT_EQ(f, QByteArray::fromHex("aff9fffffffffffffffff3e4"));
    const TFrame built = BuildFrame(3, Cmd::FwData, data);
    EXPECT_EQ(FrameChecksum(built), built[11]);
}

TEST(Conversions, TruncCutsTowardZeroAndRoundHalvesToEven) {
    EXPECT_EQ(Conv::Trunc(2.9), 2);
    EXPECT_EQ(Conv::Trunc(-2.9), -2);
    EXPECT_EQ(Conv::Trunc(-0.5), 0);
    EXPECT_EQ(Conv::Round(0.5), 0);
    EXPECT_EQ(Conv::Round(1.5), 2);
    EXPECT_EQ(Conv::Round(2.5), 2);
    EXPECT_EQ(Conv::Round(3.5), 4);
    EXPECT_EQ(Conv::Round(-2.5), -2);
    EXPECT_EQ(Conv::Round(-3.5), -4);
    EXPECT_EQ(Conv::Round(2.6), 3);
    // half a hertz above a frequency in hertz
    EXPECT_EQ(Conv::Round(150000000.5), 150000000);
    EXPECT_EQ(Conv::Round(150000001.5), 150000002);
}

TEST(Conversions, OutOfRangeInputsNeverInvokeUndefinedBehaviour) {
    EXPECT_EQ(Conv::Trunc(std::nan("")), 0);
    EXPECT_EQ(Conv::Trunc(1e300), INT64_MAX);
    EXPECT_EQ(Conv::Trunc(-1e300), INT64_MIN);
    EXPECT_EQ(Conv::Round(-INFINITY), INT64_MIN);
    EXPECT_EQ(Conv::Low16(-1), 0xFFFF);
    EXPECT_EQ(Conv::High16(-1), 0xFFFF);
    EXPECT_EQ(Conv::High16(0x123456789LL), 0x2345);
    EXPECT_EQ(Conv::LowByte(-10), 0xF6);
}

TEST(SendFrameKindFilter, SecondControllerModelGetsOnlyTargetsOneAndTwo) {
    OpenConnection link("TMVK v2 two");
    ASSERT_EQ(link.conn.DeviceID().serialNumber(), KindSecondController);
    SendParamsFrame(BoardLaserHead, Cmd::LHGetWavelength);
    SendParamsFrame(BoardController, Cmd::GetPhase);
    SendParamsFrame(BoardFrequency, Cmd::FwReset);
    SendParamsFrame(BoardDSP, Cmd::DSPReadPID);
    EXPECT_EQ(TargetsAndCodes(link.Frames()),
              (std::vector<std::pair<int, int>>{{1, Cmd::GetPhase}, {2, Cmd::DSPReadPID}}));
}

TEST(SendFrameKindFilter, WithoutAConnectionNothingIsWrittenAndNothingBreaks) {
    TFakeD2XX fake;
    TConnection* previous = Connection;
    Connection = nullptr;
    SendParamsFrame(BoardController, Cmd::GetPhase);
    TConnection closed;
    Connection = &closed;
    SendParamsFrame(BoardController, Cmd::GetPhase);
    Connection = previous;
    EXPECT_EQ(fake.CountOf("FT_Write"), 0);
}

TEST_F(SendFrameTest, FixedSequencesGoOutInOrder) {
    using V = std::vector<std::pair<int, int>>;
    SendConnectRequests();
    EXPECT_EQ(TargetsAndCodes(link.Frames()),
              (V{{1, 93}, {1, 71}, {1, 75}, {1, 80}, {1, 69}, {4, 159}, {2, 221}}));
    link.fake.ClearRecord();
    SendReadParamsRequests();
    V read;
    for (int code : {53, 55, 57, 59, 61, 63, 65, 67, 69, 77, 83, 85, 87, 89, 91, 93})
        read.emplace_back(1, code);
    for (int code : {205, 208, 210, 203})
        read.emplace_back(2, code);
    EXPECT_EQ(TargetsAndCodes(link.Frames()), read);
    link.fake.ClearRecord();
    SendReadFirmwareRequests();
    SendHideRequests();
    EXPECT_EQ(TargetsAndCodes(link.Frames()), (V{{1, 221}, {2, 221}, {1, 69}}));
    for (const QByteArray& f : link.Frames())
        EXPECT_EQ(f.mid(2, 8), QByteArray(8, '\0'));
}

TEST(CommandNames, TableNamesByBoardAndCode) {
    EXPECT_EQ(CommandName(1, 54), "SetPhase");
    EXPECT_EQ(CommandName(1, 221), "GetFirmwareVersion");
    EXPECT_EQ(CommandName(2, 221), "DSPGetFirmwareVersion");
    EXPECT_EQ(CommandName(4, 159), "LHGetWavelength");
    EXPECT_EQ(CommandName(3, 252), "FwReset");
    EXPECT_EQ(CommandName(4, 249), "FwData");
    EXPECT_EQ(CommandName(1, 1), ""); // code 1 exists only for the laser head
    EXPECT_EQ(CommandName(4, 1), "LHGetServiceStreamParams");
    EXPECT_EQ(CommandName(3, 166), "");
    EXPECT_EQ(CommandName(0, 54), "");
    EXPECT_EQ(CommandName(15, 54), "");
}

TEST(CommandNames, FramesAreNamedFromEitherDirection) {
    const TFrame toBoard = BuildParamsFrame(1, Cmd::SetPhase, 300);
    EXPECT_EQ(FrameName(toBoard.data()), "SetPhase");
    TFrame answer = toBoard;
    answer[1] = Cmd::GetPhase;
    answer[10] = 0x1F; // from board 1 to the PC
    EXPECT_EQ(FrameName(answer.data()), "GetPhase");
    answer[1] = 3;
    EXPECT_EQ(FrameName(answer.data()), "TuningStatus");
    answer[1] = 166;
    answer[10] = 0x3F;
    EXPECT_EQ(FrameName(answer.data()), "FrequencyReport");
    answer[1] = 77;
    answer[10] = 0x5F; // no such board
    EXPECT_EQ(FrameName(answer.data()), "");
}
