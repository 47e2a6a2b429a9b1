// Image files: extension masks, record parsing, block building and every kind of bad file.
#include "FirmwareFiles.h"

#include "firmware/AVRFirmwareParserUnit.h"
#include "firmware/DSPFirmwareParserUnit.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace fwtest;

namespace {

struct Block {
    uint32_t address;
    Bytes data;
    bool operator==(const Block&) const = default;
};
void PrintTo(const Block& b, std::ostream* os) {
    *os << "{" << b.address << ", " << b.data.size() << " bytes}";
}

std::vector<Block> Blocks(const TFirmwareFileParser& p) {
    std::vector<Block> out;
    for (const TFirmwareData& d : p.DataToSend())
        out.push_back({d.address, d.Data});
    return out;
}

struct ParserTest : ::testing::Test {
    TImageFolder dir;
    TAVRFileParser avr;
    TDSPFileParser dsp;
};

} // namespace

// --- extensions ------------------------------------------------------------------------------

TEST_F(ParserTest, ColonParserAcceptsHexAndItsTwoBoardVariantsOnly) {
    for (const char* ok : {"image.hex", "image.hex1", "image.hex2", "/a/b.c/image.hex1",
                           "image.hex12" /* hex1 -> hex, then the hex2 that forms -> hex */})
        EXPECT_TRUE(avr.CheckFileExt(QString::fromLatin1(ok))) << ok;
    for (const char* bad : {"image.HEX1", "image.Hex", "image.hex3", "image.x00", "image",
                            "image.hex/", "dir.hex/image", "image.hexhex1", ""})
        EXPECT_FALSE(avr.CheckFileExt(QString::fromLatin1(bad))) << bad;
}

TEST_F(ParserTest, PercentParserTakesAnyThirdCharacterAfterX0) {
    for (const char* ok : {"image.x00", "image.x07", "image.x0A", "image.x0?"})
        EXPECT_TRUE(dsp.CheckFileExt(QString::fromLatin1(ok))) << ok;
    for (const char* bad : {"image.X00", "image.x0", "image.x000", "image.xxx", "image.hex"})
        EXPECT_FALSE(dsp.CheckFileExt(QString::fromLatin1(bad))) << bad;
}

TEST_F(ParserTest, WrongExtensionReturnsFalseAndLeavesThePreviousBlocks) {
    ASSERT_TRUE(avr.Init(dir.Write("a.hex", {ColonData(0, Range(4)), ColonEnd()})));
    const QString other = dir.Write("b.txt", {ColonData(0x40, Range(4)), ColonEnd()});
    EXPECT_FALSE(avr.Init(other));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(4)}}));
}

// --- colon files -----------------------------------------------------------------------------

TEST_F(ParserTest, KnownGoodColonRecordsAreRead) {
    // A data record and an end record as the tool chains write them.
    const QString path =
        dir.Write("known.hex", {":10010000214601360121470136007EFE09D2190140", ":00000001FF"});
    ASSERT_TRUE(avr.Init(path));
    EXPECT_EQ(Blocks(avr),
              (std::vector<Block>{{0x0100,
                                   {0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01, 0x36, 0x00,
                                    0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01}}}));
}

TEST_F(ParserTest, ConsecutiveColonRecordsFormOneBlockAndAGapStartsAnother) {
    ASSERT_TRUE(avr.Init(dir.Write(
        "one.hex1", {ColonData(0, Range(16)), ColonData(16, Range(16, 16)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(32)}}));
    EXPECT_EQ(avr.GetDataCount(), 31);

    ASSERT_TRUE(avr.Init(dir.Write(
        "two.hex2", {ColonData(0, Range(16)), ColonData(32, Range(16, 32)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(16)}, {32, Range(16, 32)}}));
    EXPECT_EQ(avr.GetDataCount(), 30);
}

TEST_F(ParserTest, BlocksKeepFileOrderEvenWhenTheyOverlap) {
    ASSERT_TRUE(avr.Init(
        dir.Write("order.hex", {ColonData(0x100, Range(8)), ColonData(0x10, Range(8, 0x80)),
                                ColonData(0x100, Range(2, 0xF0)), ColonEnd()})));
    EXPECT_EQ(
        Blocks(avr),
        (std::vector<Block>{{0x100, Range(8)}, {0x10, Range(8, 0x80)}, {0x100, Range(2, 0xF0)}}));
}

TEST_F(ParserTest, ExtendedAddressMovesTheDataUpAndIsForgottenByTheNextFile) {
    ASSERT_TRUE(avr.Init(dir.Write("ext.hex", {ColonExt(0x0001), ColonData(0, Range(16)),
                                               ColonData(16, Range(4, 16)), ColonEnd()})));
    // As the first line the extended-address record only fixes where the first block starts
    // (0); the data at 65536 does not continue there, so that block is kept, empty.
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, {}}, {65536, Range(20)}}));
    EXPECT_EQ(avr.GetDataCount(), -1 + 19);

    ASSERT_TRUE(avr.Init(dir.Write("plain.hex", {ColonData(0, Range(4)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(4)}}));
}

TEST_F(ParserTest, SegmentAndLinearAddressRecordsReplaceEachOther) {
    // Segment 0x1234 starts its window at 0x12340; a linear record replaces it, and back.
    ASSERT_TRUE(avr.Init(
        dir.Write("seg.hex", {Colon(2, 0, {0x12, 0x34}), ColonData(0x10, Range(4)),
                              ColonExt(0x0003), ColonData(0x10, Range(4, 8)),
                              Colon(2, 0, {0x10, 0}), ColonData(0, Range(2)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, {}},
                                               {0x12350, Range(4)},
                                               {0, {}},
                                               {0x30010, Range(4, 8)},
                                               {0, {}},
                                               {0x10000, Range(2)}}));
}

TEST_F(ParserTest, ExtendedAddressAtZeroFirstContinuesIntoTheData) {
    ASSERT_TRUE(avr.Init(dir.Write("ext0.hex", {ColonExt(0), ColonData(0, Range(8)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(8)}}));
}

TEST_F(ParserTest, RecordWithoutDataBetweenBlocksLeavesAnEmptyBlockAtZero) {
    ASSERT_TRUE(avr.Init(dir.Write("mid.hex", {ColonData(0x20, Range(16)), ColonExt(0x0002),
                                               ColonData(0x20, Range(16, 0x40)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr),
              (std::vector<Block>{{0x20, Range(16)}, {0, {}}, {0x20020, Range(16, 0x40)}}));
    // A start-address record (type 5) carries nothing and likewise breaks the run; data that
    // starts at 0 right after it continues the block it opened there.
    ASSERT_TRUE(avr.Init(dir.Write("start.hex", {ColonData(0, Range(4)), Colon(5, 0, {1, 2, 3, 4}),
                                                 ColonData(0, Range(4, 9)), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(4)}, {0, Range(4, 9)}}));
}

TEST_F(ParserTest, LineBreaksOfAnyKindAndAByteOrderMarkAreRead) {
    const QByteArray lines = ColonData(0, Range(4)) + "\r" + ColonData(4, Range(4, 4)) + "\n" +
                             ColonEnd(); // no break after the last line
    ASSERT_TRUE(avr.Init(dir.WriteRaw("breaks.hex", "\xEF\xBB\xBF" + lines)));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(8)}}));
}

TEST_F(ParserTest, LowerCaseDigitsAreRead) {
    ASSERT_TRUE(
        avr.Init(dir.Write("lower.hex", {ColonData(0, {0xAB, 0xCD}).toLower(), ColonEnd()})));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, {0xAB, 0xCD}}}));
}

// --- percent files ---------------------------------------------------------------------------

TEST_F(ParserTest, KnownGoodPercentRecordsAreRead) {
    // Block length 1E: 8 data bytes, 4 words.
    const QString path =
        dir.Write("known.x00", {"%1E6428000001000102030405060708", "%0E81E800000000"});
    ASSERT_TRUE(dsp.Init(path));
    EXPECT_EQ(Blocks(dsp), (std::vector<Block>{{0x100, Range(8, 1)}}));
    EXPECT_EQ(dsp.GetDataCount(), 7);
}

TEST_F(ParserTest, PercentAddressesCountWords) {
    ASSERT_TRUE(dsp.Init(
        dir.Write("words.x01", {PercentData(0x100, Range(8)), PercentData(0x104, Range(8, 8)),
                                PercentData(0x200, Range(2, 0x50)), PercentEnd(0x100)})));
    EXPECT_EQ(Blocks(dsp), (std::vector<Block>{{0x100, Range(16)}, {0x200, Range(2, 0x50)}}));
    // A byte address would have joined 0x108 to the block at 0x100; the word address does not.
    ASSERT_TRUE(dsp.Init(dir.Write("bytes.x01", {PercentData(0x100, Range(8)),
                                                 PercentData(0x108, Range(8, 8)), PercentEnd()})));
    EXPECT_EQ(Blocks(dsp), (std::vector<Block>{{0x100, Range(8)}, {0x108, Range(8, 8)}}));
}

TEST_F(ParserTest, EndRecordWhoseStartAddressContinuesTheDataStillCompletesTheBlock) {
    ASSERT_TRUE(dsp.Init(dir.Write("cont.x00", {PercentData(0x100, Range(8)), PercentEnd(0x104)})));
    EXPECT_EQ(Blocks(dsp), (std::vector<Block>{{0x100, Range(8)}}));
}

TEST_F(ParserTest, OtherPercentRecordsCarryNoDataButBreakRuns) {
    ASSERT_TRUE(
        dsp.Init(dir.Write("other.x00", {PercentData(0, Range(4)), Percent('3', 0x40, {1, 2}),
                                         PercentData(0x2, Range(4, 4)), PercentEnd()})));
    // The "3" record at 0x40 (one word long) starts a block the next data record does not
    // continue, so it stands empty between the two.
    EXPECT_EQ(Blocks(dsp), (std::vector<Block>{{0, Range(4)}, {0x40, {}}, {0x2, Range(4, 4)}}));
}

// --- bad files -------------------------------------------------------------------------------

TEST_F(ParserTest, LineWithoutTheLeadCharacterMakesInitFalse) {
    EXPECT_FALSE(avr.Init(dir.Write(
        "lead.hex", {ColonData(0, Range(4)), ColonData(8, Range(4)), "%junk", ColonEnd()})));
    // What was completed before the line stays.
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(4)}}));
    EXPECT_FALSE(avr.Init(dir.Write("empty-line.hex", {ColonData(0, Range(4)), "", ColonEnd()})));
    EXPECT_FALSE(dsp.Init(dir.Write("lead.x00", {ColonData(0, Range(4))})));
}

TEST_F(ParserTest, MalformedColonRecordsMakeTheFileBad) {
    const QByteArray good = ColonData(0x10, Range(4));
    QByteArray badDigit = good;
    badDigit[12] = 'G';
    QByteArray badSum = good;
    badSum[good.size() - 1] = badSum[good.size() - 1] == '0' ? '1' : '0';
    QByteArray badType = Colon(6, 0, {});
    const std::vector<std::pair<const char*, std::vector<QByteArray>>> cases = {
        {"lead only", {":", ColonEnd()}},
        {"short header", {":1000", ColonEnd()}},
        {"fewer data than counted", {good.left(good.size() - 4), ColonEnd()}},
        {"no checksum", {good.left(good.size() - 2), ColonEnd()}},
        {"half a checksum", {good.left(good.size() - 1), ColonEnd()}},
        {"non-hex digit", {badDigit, ColonEnd()}},
        {"non-hex count", {":+0000000" + QByteArray("00"), ColonEnd()}},
        {"wrong checksum", {badSum, ColonEnd()}},
        {"unknown record type", {badType, good, ColonEnd()}},
        {"extended address of one byte", {Colon(4, 0, {1}), good, ColonEnd()}},
        {"segment address of one byte", {Colon(2, 0, {1}), good, ColonEnd()}},
        // The offset wraps at the end of its 64 KiB window: no run of bytes across it.
        {"record past its window", {ColonData(0xFFF8, Range(16)), ColonEnd()}},
        {"record past its segment",
         {Colon(2, 0, {0x10, 0x00}), ColonData(0xFFFC, Range(8)), ColonEnd()}},
        {"no end record", {good, ColonData(0x14, Range(4))}},
        {"data after the end record", {good, ColonEnd(), ColonData(0x40, Range(4))}},
        {"no data at all", {ColonEnd()}},
        {"nothing", {}},
    };
    for (const auto& [name, lines] : cases) {
        const QString path = dir.Write(QStringLiteral("bad.hex"), lines);
        EXPECT_THROW(avr.Init(path), EFirmwareFileError) << name;
    }
}

TEST_F(ParserTest, MalformedPercentRecordsMakeTheFileBad) {
    const QByteArray good = PercentData(0x10, Range(4));
    QByteArray badDigit = good;
    badDigit[18] = 'x';
    QByteArray badSum = good;
    badSum[5] = badSum[5] == '0' ? '1' : '0';
    QByteArray shortLength = good;
    shortLength.replace(1, 2, "0D");
    const std::vector<std::pair<const char*, std::vector<QByteArray>>> cases = {
        {"lead only", {"%", PercentEnd()}},
        {"half a length", {"%1", PercentEnd()}},
        {"length below the fixed fields", {shortLength, PercentEnd()}},
        {"line shorter than its length", {good.left(good.size() - 2), PercentEnd()}},
        {"non-hex digit", {badDigit, PercentEnd()}},
        {"wrong checksum", {badSum, PercentEnd()}},
        {"no end record", {good}},
        {"data after the end record", {good, PercentEnd(), PercentData(0x40, Range(2))}},
    };
    for (const auto& [name, lines] : cases) {
        const QString path = dir.Write(QStringLiteral("bad.x00"), lines);
        EXPECT_THROW(dsp.Init(path), EFirmwareFileError) << name;
    }
}

TEST_F(ParserTest, FilesThatCannotBeReadAreBad) {
    EXPECT_THROW(avr.Init(dir.Path("missing.hex")), EFirmwareFileError);
    ASSERT_TRUE(QDir(dir.Path(QString())).mkdir(QStringLiteral("folder.hex")));
    EXPECT_THROW(avr.Init(dir.Path("folder.hex")), EFirmwareFileError);
    EXPECT_THROW(avr.Init(dir.WriteRaw("empty.hex", {})), EFirmwareFileError);
    // Bytes outside plain text are not digits.
    EXPECT_THROW(
        avr.Init(dir.WriteRaw("binary.hex", QByteArray(":\0\xff\x10", 4) + "\n:00000001FF")),
        EFirmwareFileError);
}

TEST_F(ParserTest, ALinkIsFollowedToItsFile) {
    const QString target = dir.Write("real.hex", {ColonData(0, Range(4)), ColonEnd()});
    const QString link = dir.Path("link.hex");
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(avr.Init(link));
    EXPECT_EQ(Blocks(avr), (std::vector<Block>{{0, Range(4)}}));
}

TEST_F(ParserTest, ContentInMemoryReadsAsItsFileDoes) {
    const QByteArray colon = "\xEF\xBB\xBF" + ColonExt(1) + "\r\n" + ColonData(0, Range(4)) + "\r" +
                             ColonData(8, Range(4, 4)) + "\n" + ColonEnd();
    ASSERT_TRUE(avr.Init(dir.WriteRaw("file.hex", colon)));
    const std::vector<Block> fromFile = Blocks(avr);
    ASSERT_TRUE(avr.InitFromContent(colon));
    EXPECT_EQ(Blocks(avr), fromFile);
    // The extended-address record opens an empty block at 0 of its own.
    EXPECT_EQ(Blocks(avr),
              (std::vector<Block>{{0, {}}, {0x10000, Range(4)}, {0x10008, Range(4, 4)}}));

    const QByteArray percent = "%1E6428000001000102030405060708\n%0E81E800000000";
    ASSERT_TRUE(dsp.InitFromContent(percent));
    EXPECT_EQ(Blocks(dsp), (std::vector<Block>{{0x100, Range(8, 1)}}));
    EXPECT_FALSE(dsp.InitFromContent(colon)); // a colon line is no percent record
    EXPECT_THROW(avr.InitFromContent(QByteArray()), EFirmwareFileError);
}
