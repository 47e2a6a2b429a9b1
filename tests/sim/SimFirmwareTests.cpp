// The boot loaders: the handshake the firmware engine drives, and its failures on demand.

#include "SimTestSupport.h"

#include "protocol/SendFrameUnit.h"

#include <gtest/gtest.h>

namespace {

// The address frame as the engine builds it: each half with its two bytes swapped, so that the
// wire carries the address most significant byte first.
void SendAddress(uint8_t board, uint32_t address) {
    auto swap = [](uint32_t v) {
        return static_cast<uint16_t>(((v & 0xFF) << 8) | ((v >> 8) & 0xFF));
    };
    SendParamsFrame(board, Cmd::FwAddress, swap(address >> 16), swap(address & 0xFFFF));
}

// Sends a block in 8-byte frames (0xFF past its end); returns the status nibble of each answer,
// -1 where none came.
std::vector<int> SendData(TSimLink& link, uint8_t board, const QByteArray& block) {
    std::vector<int> statuses;
    for (qsizetype pos = 0; pos < block.size(); pos += 8) {
        uint8_t bytes[8];
        for (int k = 0; k < 8; ++k)
            bytes[k] = pos + k < block.size() ? static_cast<uint8_t>(block[pos + k]) : 0xFF;
        SendFrame(board, Cmd::FwData, bytes);
        const std::vector<TRxFrame> ack = TSimLink::Only(link.Pump(30), board, Cmd::FwData);
        statuses.push_back(ack.size() == 1 ? (ack[0].b[2] & 0x0F) : -1);
    }
    return statuses;
}

// Reset, switch and erase, each answered.
void EnterProgramming(TSimLink& link, uint8_t board) {
    SendParamsFrame(board, Cmd::FwReset);
    ASSERT_EQ(TSimLink::Only(link.Pump(400), board, 254).size(), 1u);
    ASSERT_EQ(link.Ask(board, Cmd::FwSwitchToProgramming).size(), 1u);
    SendParamsFrame(board, Cmd::FwErase);
    ASSERT_EQ(TSimLink::Only(link.Pump(500), board, Cmd::FwErase).size(), 1u);
}

TEST(SimBootLoader, TakesAnImageThroughTheWholeHandshake) {
    TSimulatorOptions o = TSimulatorOptions::ForTests();
    o.ErrorSignalPeriodMs = 20;
    TSimLink link(o);
    ASSERT_TRUE(link.Connect());

    SendParamsFrame(1, Cmd::FwReset);
    EXPECT_TRUE(TSimLink::Only(link.Pump(200), 1, 254).empty()); // not within the 200 ms pause
    EXPECT_EQ(TSimLink::Only(link.Pump(300), 1, 254).size(), 1u);
    EXPECT_TRUE(link.Sim.InBootLoader(1));
    EXPECT_TRUE(TSimLink::Only(link.Pump(200), 1, 1).empty()); // the application is silent
    EXPECT_EQ(link.Ask(1, Cmd::FwSwitchToProgramming).size(), 1u);
    SendParamsFrame(1, Cmd::FwErase);
    EXPECT_TRUE(TSimLink::Only(link.Pump(300), 1, Cmd::FwErase).empty()); // erasing takes 400 ms
    EXPECT_EQ(TSimLink::Only(link.Pump(200), 1, Cmd::FwErase).size(), 1u);

    const QByteArray first = QByteArray::fromHex("0c9434000c9451000c9451000c94510011");
    const QByteArray second = QByteArray::fromHex("deadbeef01020304");
    SendAddress(1, 0);
    EXPECT_EQ(TSimLink::Only(link.Pump(30), 1, Cmd::FwAddress).size(), 1u);
    EXPECT_EQ(SendData(link, 1, first), (std::vector<int>{0, 0, 0}));
    SendAddress(1, 0x10000);
    EXPECT_EQ(TSimLink::Only(link.Pump(30), 1, Cmd::FwAddress).size(), 1u);
    EXPECT_EQ(SendData(link, 1, second), (std::vector<int>{0}));
    EXPECT_EQ(link.Ask(1, Cmd::FwTransferCompleted).size(), 1u);
    SendParamsFrame(1, Cmd::FwFinish);
    const std::vector<TRxFrame> after = link.Pump(500);
    EXPECT_TRUE(TSimLink::Only(after, 1, Cmd::FwFinish).empty()); // not acknowledged
    EXPECT_FALSE(TSimLink::Only(after, 1, 1).empty());            // the application runs again
    EXPECT_FALSE(link.Sim.InBootLoader(1));
    EXPECT_EQ(link.Sim.Finishes(1), 1);

    EXPECT_EQ(link.Sim.Programmed(1, 0, 17), first);
    EXPECT_EQ(link.Sim.Programmed(1, 17, 7), QByteArray(7, '\xFF'));
    EXPECT_EQ(link.Sim.Programmed(1, 0x10000, 8), second);
    EXPECT_EQ(link.Sim.Programmed(1, 0x100, 4), QByteArray(4, '\xFF'));
}

TEST(SimBootLoader, SitsOnTheDSPAndTheLaserHeadButNotOnTheFrequencyBoard) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    for (uint8_t board : {2, 4}) {
        EnterProgramming(link, board);
        EXPECT_EQ(link.Sim.Erases(board), 1);
    }
    SendParamsFrame(3, Cmd::FwReset);
    EXPECT_TRUE(TSimLink::Only(link.Pump(500), 3, 254).empty());
    EXPECT_FALSE(link.Sim.InBootLoader(1));
}

TEST(SimBootLoader, RefusesDataBeforeTheEraseOrWithoutAnAddress) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    SendParamsFrame(1, Cmd::FwReset);
    link.Pump(400);
    ASSERT_EQ(link.Ask(1, Cmd::FwSwitchToProgramming).size(), 1u);
    const QByteArray eight(8, '\x11');
    EXPECT_EQ(SendData(link, 1, eight), (std::vector<int>{3})); // not erased
    SendParamsFrame(1, Cmd::FwErase);
    link.Pump(500);
    EXPECT_EQ(SendData(link, 1, eight), (std::vector<int>{2})); // no address yet
    EXPECT_EQ(link.Sim.Programmed(1, 0, 8), QByteArray(8, '\xFF'));
}

TEST(SimBootLoader, ReportsABadStatusOnTheChosenDataFrame) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.AddAnswerFault({1, Cmd::FwData, 2, 1, TAnswerFaultKind::BadStatus, 0, 3});
    EnterProgramming(link, 1);
    SendAddress(1, 0x200);
    link.Pump(30);
    EXPECT_EQ(SendData(link, 1, QByteArray(32, '\x42')), (std::vector<int>{0, 0, 3, 0}));
}

TEST(SimBootLoader, LeavesOutTheChosenAcknowledgements) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    link.Sim.AddAnswerFault({4, Cmd::FwData, 1, 1, TAnswerFaultKind::Drop, 0, 0});
    EnterProgramming(link, 4);
    SendAddress(4, 0);
    link.Pump(30);
    EXPECT_EQ(SendData(link, 4, QByteArray(16, '\x42')), (std::vector<int>{0, -1}));
    EXPECT_EQ(SendData(link, 4, QByteArray(8, '\x42')), (std::vector<int>{0})); // sent again

    link.Sim.AddAnswerFault({2, 254, 0, -1, TAnswerFaultKind::Drop, 0, 0});
    for (int attempt = 0; attempt < 2; ++attempt) {
        SendParamsFrame(2, Cmd::FwReset);
        EXPECT_TRUE(TSimLink::Only(link.Pump(700), 2, 254).empty());
    }
}

} // namespace

namespace {

// The DSP board counts its addresses in 16-bit words, the others in bytes: the second frame
// of a block follows 8 bytes on, which is 4 words on the DSP board.
TEST(SimBootLoader, StepsEachBoardsAddressInItsOwnUnit) {
    const QByteArray first = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f1011");
    const QByteArray second = QByteArray::fromHex("a1a2a3a4");
    for (const auto& [board, wordsPerFrame] :
         {std::pair<uint8_t, uint32_t>{1, 8}, {2, 4}, {4, 8}}) {
        TSimLink link;
        ASSERT_TRUE(link.Connect());
        EnterProgramming(link, board);
        SendAddress(board, 0x100);
        link.Pump(30);
        EXPECT_EQ(SendData(link, board, first), (std::vector<int>{0, 0, 0}));
        // A block that starts right after the first one's three frames.
        SendAddress(board, 0x100 + 3 * wordsPerFrame);
        link.Pump(30);
        EXPECT_EQ(SendData(link, board, second), (std::vector<int>{0}));

        const QByteArray filler(7, '\xFF');
        EXPECT_EQ(link.Sim.Programmed(board, 0x100, 24), first + filler) << int(board);
        EXPECT_EQ(link.Sim.Programmed(board, 0x100 + 3 * wordsPerFrame, 8),
                  second + QByteArray(4, '\xFF'))
            << int(board);
        EXPECT_EQ(link.Sim.Programmed(board, 0xE0, 32), QByteArray(32, '\xFF')) << int(board);
    }
}

} // namespace
