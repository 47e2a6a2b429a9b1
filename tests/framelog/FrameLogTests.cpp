// The frame log: what it records from the senders and the receive side, in which order, how
// far back it reaches, how readers take new entries, and how rarely it notifies.
#include "laser/LaserTestSupport.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandNameUnit.h"
#include "protocol/FrameLogUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "support/FakeD2XX.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class FrameLogTest : public ::testing::Test {
protected:
    void SetUp() override { FrameLog = &log; }
    void TearDown() override {
        FrameLog = nullptr;
        Connection = nullptr;
    }
    void Connect(const char* description) {
        fake.SetDevices({description});
        QStringList names;
        connection.GetAvailableDevices(names);
        connection.SetDeviceID(QString::fromLatin1(description));
        ASSERT_TRUE(connection.Connect());
        Connection = &connection;
    }
    static TFrame Answer(uint8_t sender, uint8_t code, std::initializer_list<uint8_t> payload) {
        TFrame f = LaserAnswer(code, payload);
        f[10] = uint8_t(sender << 4 | PCAddress);
        f[11] = FrameChecksum(f);
        return f;
    }

    TFakeD2XX fake;
    TConnection connection;
    TFrameLog log;
};

} // namespace

TEST_F(FrameLogTest, RecordsSentAndReceivedFramesInOrderWithTheirNames) {
    Connect("QRX-7A one");
    SendParamsFrame(BoardLaserHead, Cmd::LHGetSlope);
    const TFrame answer = Answer(BoardLaserHead, Cmd::LHGetSlope, {0x34, 0x12});
    RecordReceivedFrame(answer.data(), true);
    SendParamsFrame(BoardController, Cmd::SetPhase, 0x0102);
    TFrame corrupt = Answer(BoardDSP, Cmd::DSPReadPID, {1});
    corrupt[11] ^= 0xFF;
    RecordReceivedFrame(corrupt.data(), false);

    const std::vector<TFrameLogEntry> e = log.Entries();
    ASSERT_EQ(e.size(), 4u);
    for (size_t i = 0; i < e.size(); ++i)
        EXPECT_EQ(e[i].Seq, i);
    EXPECT_EQ(e[0].Direction, TFrameDirection::Sent);
    EXPECT_EQ(e[0].Address(), 0xF4);
    EXPECT_EQ(FrameName(e[0].Bytes.data()), "LHGetSlope");
    EXPECT_TRUE(e[0].ChecksumOk);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(e[0].Bytes.data()), FrameSize),
              fake.Written().left(FrameSize))
        << "the bytes that went to the adapter";

    EXPECT_EQ(e[1].Direction, TFrameDirection::Received);
    EXPECT_EQ(e[1].Address(), 0x4F);
    EXPECT_EQ(FrameName(e[1].Bytes.data()), "LHGetSlope") << "an answer carries its request's code";
    EXPECT_EQ(FrameDataText(e[1].Bytes), "34 12 00 00 00 00 00 00");

    EXPECT_EQ(FrameName(e[2].Bytes.data()), "SetPhase");
    EXPECT_EQ(FrameBoardText(e[2]), "VFD");
    EXPECT_EQ(FrameDirectionText(e[2].Direction), "TX");

    EXPECT_FALSE(e[3].ChecksumOk);
    EXPECT_EQ(FrameName(e[3].Bytes.data()), "DSPReadPID");
    EXPECT_EQ(FrameBoardText(e[3]), "DSP");
    EXPECT_NE(e[3].Checksum(), e[3].ExpectedChecksum());
    for (size_t i = 1; i < e.size(); ++i)
        EXPECT_GE(e[i].TimeUs, e[i - 1].TimeUs);
}

// The receive side records every candidate whose checksum it judged, good or bad, in the
// order of the byte stream.
TEST_F(FrameLogTest, ReceivePathRecordsEveryJudgedFrame) {
    struct TIgnore : TFrameDispatcher {
        void CRCError() override {}
        void Deliver(const TDecodedReport&) override {}
        void LaserHeadFrame(const uint8_t*) override {}
    } dispatcher;
    TFrameExtractor extractor(dispatcher, QLocale::c());
    const TFrame first = Answer(BoardController, 3, {4, 0});
    TFrame corrupt = Answer(BoardLaserHead, Cmd::LHGetSlope, {1, 2});
    corrupt[5] ^= 0x10;
    const TFrame last = Answer(BoardDSP, Cmd::DSPGetLifetime, {9});
    std::vector<uint8_t> bytes(first.begin(), first.end());
    bytes.insert(bytes.end(), corrupt.begin(), corrupt.end());
    bytes.insert(bytes.end(), last.begin(), last.end());
    extractor.Feed(bytes.data(), bytes.size());

    const std::vector<TFrameLogEntry> e = log.Entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].Bytes, first);
    EXPECT_TRUE(e[0].ChecksumOk);
    EXPECT_EQ(FrameName(e[0].Bytes.data()), "TuningStatus");
    EXPECT_EQ(e[1].Bytes, corrupt);
    EXPECT_FALSE(e[1].ChecksumOk);
    EXPECT_EQ(e[2].Bytes, last);
    EXPECT_TRUE(e[2].ChecksumOk);
    EXPECT_EQ(FrameName(e[2].Bytes.data()), "DSPGetLifetime");
    for (const TFrameLogEntry& x : e)
        EXPECT_EQ(x.Direction, TFrameDirection::Received);
}

TEST_F(FrameLogTest, FramesThatNeverReachTheLinkAreNotRecorded) {
    SendParamsFrame(BoardController, Cmd::GetPhase); // no connection at all
    TConnection idle;
    Connection = &idle; // a connection that is not open
    SendParamsFrame(BoardController, Cmd::GetPhase);
    Connect("TMVK v2 one"); // the second model: laser-head frames are dropped
    SendParamsFrame(BoardLaserHead, Cmd::LHGetSlope);
    EXPECT_EQ(log.Count(), 0u);
    SendParamsFrame(BoardController, Cmd::GetPhase);
    EXPECT_EQ(log.Count(), 1u);
}

TEST_F(FrameLogTest, WithoutALogNothingIsRecorded) {
    FrameLog = nullptr;
    const TFrame f = Answer(BoardController, 3, {});
    RecordReceivedFrame(f.data(), true);
    RecordSentFrame(f.data());
    EXPECT_EQ(log.NextSeq(), 0u);
}

TEST_F(FrameLogTest, KeepsOnlyTheNewestEntries) {
    TFrameLog small(8);
    for (int i = 0; i < 20; ++i) {
        const TFrame f = Answer(BoardLaserHead, 1, {uint8_t(i)});
        small.Record(TFrameDirection::Received, f.data(), true);
    }
    EXPECT_EQ(small.Count(), 8u);
    EXPECT_EQ(small.Capacity(), 8u);
    EXPECT_EQ(small.NextSeq(), 20u);
    const std::vector<TFrameLogEntry> e = small.Entries();
    ASSERT_EQ(e.size(), 8u);
    EXPECT_EQ(e.front().Seq, 12u);
    EXPECT_EQ(e.front().Bytes[2], 12);
    EXPECT_EQ(e.back().Seq, 19u);
    EXPECT_EQ(e.back().Bytes[2], 19);
}

TEST_F(FrameLogTest, ReadersTakeOnlyWhatIsNewAndSkipWhatWasOverwritten) {
    TFrameLog small(8);
    auto record = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const TFrame f = Answer(BoardLaserHead, 1, {});
            small.Record(TFrameDirection::Received, f.data(), true);
        }
    };
    uint64_t cursor = 0;
    record(3);
    EXPECT_EQ(small.ReadSince(cursor).size(), 3u);
    EXPECT_EQ(cursor, 3u);
    EXPECT_TRUE(small.ReadSince(cursor).empty());
    record(20); // 3..22 recorded, only 15..22 held
    std::vector<TFrameLogEntry> e = small.ReadSince(cursor, 5);
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e.front().Seq, 15u);
    EXPECT_EQ(cursor, 20u);
    e = small.ReadSince(cursor);
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e.back().Seq, 22u);
    uint64_t ahead = 1000; // a cursor of another log
    EXPECT_TRUE(small.ReadSince(ahead).empty());
    EXPECT_EQ(ahead, 23u);
}

TEST_F(FrameLogTest, NotifiesOnceUntilSomeoneReads) {
    TCountingObserver observer;
    log.AddObserver(&observer);
    const TFrame f = Answer(BoardLaserHead, 1, {});
    for (int i = 0; i < 100; ++i)
        log.Record(TFrameDirection::Received, f.data(), true);
    EXPECT_EQ(observer.count.load(), 1);
    EXPECT_EQ(observer.last, &log);
    uint64_t cursor = 0;
    EXPECT_EQ(log.ReadSince(cursor).size(), 100u);
    log.Record(TFrameDirection::Received, f.data(), true);
    EXPECT_EQ(observer.count.load(), 2);
    log.RemoveObserver(&observer);
}

// Two threads record (the GUI thread's sends, the receive thread's frames) while a third reads
// incrementally: nothing is lost between reads, nothing is read twice, numbers only grow.
TEST_F(FrameLogTest, WritersAndAReaderAtOnce) {
    constexpr int PerWriter = 20000;
    TFrameLog big(1 << 16);
    std::atomic<int> writersDone{0};
    auto writer = [&](TFrameDirection d) {
        const TFrame f = Answer(BoardLaserHead, 1, {});
        for (int i = 0; i < PerWriter; ++i)
            big.Record(d, f.data(), true);
        ++writersDone;
    };
    std::thread a(writer, TFrameDirection::Sent);
    std::thread b(writer, TFrameDirection::Received);
    uint64_t cursor = 0;
    uint64_t seen = 0;
    uint64_t next = 0;
    bool ordered = true;
    while (writersDone.load() < 2 || cursor < big.NextSeq()) {
        for (const TFrameLogEntry& e : big.ReadSince(cursor)) {
            ordered = ordered && e.Seq == next;
            next = e.Seq + 1;
            ++seen;
        }
    }
    a.join();
    b.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(seen, 2u * PerWriter);
    EXPECT_EQ(big.NextSeq(), 2u * PerWriter);
}
