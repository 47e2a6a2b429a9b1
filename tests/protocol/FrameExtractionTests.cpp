// Cutting the byte stream into checked frames: resynchronisation, checksum errors, the carry
// between reads, the receiver and firmware-update filters and the dispatch by sender.
#include "RecordingReceiver.h"
#include "protocol/ReadFrameUnit.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using V = std::vector<std::string>;

// Records what the extraction hands on, as text.
struct TRecordingDispatcher : TFrameDispatcher {
    V events;
    int checked = 0;
    bool throwOnDeliver = false;

    void CRCError() override { events.push_back("CRC"); }
    void FrameChecked(const uint8_t*) override { ++checked; }
    void Deliver(const TDecodedReport& report) override {
        if (throwOnDeliver)
            throw std::runtime_error("handler failed");
        events.push_back(Render(report));
    }
    void LaserHeadFrame(const uint8_t* frame) override {
        events.push_back("Laser " + std::to_string(frame[1]));
    }
};

struct FrameExtractionTest : ::testing::Test {
    TRecordingDispatcher out;
    TFrameExtractor extractor{out, QLocale::c()};

    void Read(const QByteArray& bytes) {
        ASSERT_LE(bytes.size(), qsizetype(extractor.FreeSpace()));
        std::memcpy(extractor.FreeData(), bytes.constData(), size_t(bytes.size()));
        extractor.Extract(uint32_t(bytes.size()));
    }
};

const TFrame Status = BoardFrameW(1, 3, 0, 4); // S ShowTuningStatus(4)
const TFrame Phase = BoardFrameW(1, 53, 300);  // Q SetSpinValue(Phase,300)
const std::string StatusText = "S ShowTuningStatus(4)";
const std::string PhaseText = "Q SetSpinValue(Phase,300)";

QByteArray Corrupt(TFrame f) {
    f[11] = static_cast<uint8_t>(f[11] + 1);
    return Bytes(f);
}

} // namespace

TEST_F(FrameExtractionTest, FrameSplitOverTwoReadsIsDecodedOnceAfterTheSecond) {
    const QByteArray f = Bytes(Status);
    Read(f.left(5));
    EXPECT_EQ(out.events, V{});
    EXPECT_EQ(extractor.Carry(), 5u);
    Read(f.mid(5));
    EXPECT_EQ(out.events, V{StatusText});
    EXPECT_EQ(extractor.Carry(), 0u);
}

TEST_F(FrameExtractionTest, TwoFramesInOneReadAreDecodedInOrder) {
    Read(Bytes(Phase) + Bytes(Status));
    EXPECT_EQ(out.events, (V{PhaseText, StatusText}));
}

TEST_F(FrameExtractionTest, GarbageBeforeAFrameIsDroppedSilently) {
    Read(QByteArray::fromHex("0001020304feff") + Bytes(Status) + QByteArray::fromHex("1234"));
    EXPECT_EQ(out.events, V{StatusText});
    EXPECT_EQ(extractor.Carry(), 0u); // bytes without a start marker are never kept
}

TEST_F(FrameExtractionTest, DroppedBytesAreGarbageAndOneBytePerChecksumError) {
    // 7 bytes of garbage, a frame, 1 byte per failed candidate (the corrupt frame's start
    // marker; its remaining 11 bytes hold no other marker and go as garbage), 2 trailing bytes.
    Read(QByteArray::fromHex("0001020304feff") + Bytes(Status) + Corrupt(Phase) +
         QByteArray::fromHex("1234"));
    EXPECT_EQ(extractor.Dropped(), 7u + 12u + 2u);
    const QByteArray f = Bytes(Status);
    Read(f.left(5)); // a carried start of a frame is not dropped
    EXPECT_EQ(extractor.Dropped(), 21u);
    EXPECT_EQ(extractor.Carry(), 5u);
}

TEST_F(FrameExtractionTest, LoneStartMarkerInGarbageCostsOneChecksumError) {
    Read(QByteArray::fromHex("0102af030405") + Bytes(Phase));
    EXPECT_EQ(out.events, (V{"CRC", PhaseText}));
}

TEST_F(FrameExtractionTest, WrongChecksumIsCountedNotDispatchedAndResynchronises) {
    Read(Corrupt(Phase) + Bytes(Status));
    EXPECT_EQ(out.events, (V{"CRC", StatusText}));
}

TEST_F(FrameExtractionTest, ValidFrameStartingInsideRejectedBytesIsFound) {
    // 0xAF, four bytes, then a whole frame: the first candidate takes seven bytes of the frame.
    const QByteArray stream = QByteArray::fromHex("af10203040") + Bytes(Phase);
    ASSERT_NE(FrameChecksum(reinterpret_cast<const uint8_t*>(stream.constData())),
              uint8_t(stream.at(11)));
    Read(stream);
    EXPECT_EQ(out.events, (V{"CRC", PhaseText}));
}

TEST_F(FrameExtractionTest, FrameForAnotherReceiverIsSkippedWhole) {
    // A frame for board 2 whose data hides a frame for the PC: skipping it whole never finds it.
    TFrame inner = Phase;
    TFrame outer = BoardFrame(1, 53, {0xAF, 0x35, 0x2C, 0x01, 0, 0, 0, 0}, 2);
    Read(Bytes(outer) + Bytes(inner));
    EXPECT_EQ(out.events, V{PhaseText});
    EXPECT_EQ(out.checked, 2);
}

TEST_F(FrameExtractionTest, UnknownSenderIsConsumedAndTheScanGoesOn) {
    Read(Bytes(BoardFrame(5, 53, {0xAF, 0xAF})) + Bytes(Status) + Bytes(BoardFrame(0, 3, {})) +
         Bytes(BoardFrame(15, 3, {})));
    EXPECT_EQ(out.events, V{StatusText});
}

TEST_F(FrameExtractionTest, LaserHeadFramesGoWholeToTheModel) {
    Read(Bytes(BoardFrame(4, 159, {1, 2, 3, 4})) + Bytes(BoardFrame(4, 1, {})));
    EXPECT_EQ(out.events, (V{"Laser 159", "Laser 1"}));
}

TEST_F(FrameExtractionTest, DuringAFirmwareUpdateOnlyTheProgrammedBoardIsDecoded) {
    TRecordingAckSink sink(2);
    UpdatingDeviceId = 2;
    Read(Bytes(Status) + Bytes(BoardFrame(2, 250, {})) + Bytes(BoardFrame(4, 250, {})));
    UpdatingDeviceId = 0;
    EXPECT_EQ(out.events, V{"R FirmwareAck(250,0)"});
    // the board being programmed is the updater's, not the flag's value
    sink.SetDevId(4);
    UpdatingDeviceId = 1;
    out.events.clear();
    Read(Bytes(Status) + Bytes(BoardFrame(4, 250, {})));
    UpdatingDeviceId = 0;
    EXPECT_EQ(out.events, V{"Laser 250"});
}

TEST_F(FrameExtractionTest, FailingHandlerCostsOnlyItsFrame) {
    out.throwOnDeliver = true;
    Read(Bytes(Phase) + Bytes(BoardFrame(4, 9, {})) + Bytes(Status));
    EXPECT_EQ(out.events, V{"Laser 9"});
    EXPECT_EQ(out.checked, 3);
    EXPECT_EQ(extractor.Carry(), 0u);
}

TEST_F(FrameExtractionTest, CarryIsAlwaysShorterThanAFrame) {
    // A start marker near the end of every read: the tail kept is at most 11 bytes and the
    // room for the next read never shrinks below the buffer less 11.
    for (int tail = 1; tail <= 11; ++tail) {
        QByteArray data(int(TFrameExtractor::BufferSize) - int(extractor.Carry()), '\x00');
        data[data.size() - tail] = char(0xAF);
        Read(data);
        EXPECT_EQ(extractor.Carry(), uint32_t(tail));
        EXPECT_GE(extractor.FreeSpace(), TFrameExtractor::BufferSize - 11);
    }
}

TEST_F(FrameExtractionTest, LargeInputPassesThroughTheBufferWithoutLoss) {
    // 30000 bytes at once: 2500 frames, several buffer fills, carries across every boundary.
    QByteArray stream;
    for (int i = 0; i < 2500; ++i)
        stream += Bytes(BoardFrameW(1, 53, uint16_t(i)));
    extractor.Feed(reinterpret_cast<const uint8_t*>(stream.constData()), size_t(stream.size()));
    ASSERT_EQ(out.events.size(), 2500u);
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(out.events[size_t(i)], "Q SetSpinValue(Phase," + std::to_string(i) + ")");
    EXPECT_EQ(extractor.Carry(), 0u);
}

TEST_F(FrameExtractionTest, StaleIncompleteTailCostsOneErrorWhenTheStreamMovesOn) {
    Read(Bytes(Status).left(7)); // the board stopped mid-frame
    Read(Bytes(Phase));
    EXPECT_EQ(out.events, (V{"CRC", PhaseText}));
}
