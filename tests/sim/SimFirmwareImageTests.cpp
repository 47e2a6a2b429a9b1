// Images made by real tool chains (objcopy, srec_cat), above 64 KiB, programmed through the
// firmware engine into the simulated boot loaders and read back byte by byte.

#include "SimTestSupport.h"
#include "support/SimFirmwareClock.h"

#include "firmware/FirmwareUpdaterUnit.h"
#include "protocol/FirmwareAckUnit.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Without a receive thread: each step pumps the simulated line and hands the board's answers to
// the engine as the receive thread would.
class TLinkClock : public TSteppedSimClock {
public:
    TLinkClock(TSimLink& link, uint8_t board)
        : TSteppedSimClock(link.Sim), FLink(link), FBoard(board) {}

protected:
    void Step() override {
        for (const TRxFrame& f : FLink.Pump(1, 1))
            if (f.Sender() == FBoard)
                DeliverFirmwareAck(f.Code(), f.b[2]);
    }

private:
    TSimLink& FLink;
    uint8_t FBoard;
};

// Every byte differs from the bytes 64 KiB (and 128 KiB ...) away from it.
QByteArray Pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int a = 0; a < size; ++a)
        bytes[a] = static_cast<char>(a * 131 + (a >> 8) * 7 + (a >> 16) * 61);
    return bytes;
}

struct TImageCase {
    const char* Name;
    QStringList Tool; // program and arguments; "IN" and "OUT" stand for the two files
    int Size;         // bytes of the binary, placed at Offset
    uint32_t Offset;
    uint8_t Board;
    bool Fits;
};

void PrintTo(const TImageCase& c, std::ostream* os) {
    *os << c.Name;
}

struct RealToolImages : ::testing::TestWithParam<TImageCase> {};

TEST_P(RealToolImages, LandByteExactAtTheirAddressesOrAreRefusedBeforeAnythingIsSent) {
    const TImageCase c = GetParam();
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the image tools run on the build host";
#endif
    QTemporaryDir dir;
    const QByteArray binary = Pattern(c.Size);
    const QString in = dir.filePath(QStringLiteral("image.bin"));
    const QString out = dir.filePath(QStringLiteral("image.hex1"));
    {
        QFile file(in);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(binary);
    }
    QStringList arguments = c.Tool.mid(1);
    arguments.replaceInStrings(QStringLiteral("IN"), in);
    arguments.replaceInStrings(QStringLiteral("OUT"), out);
    const QString program = QStandardPaths::findExecutable(c.Tool.first());
    ASSERT_FALSE(program.isEmpty()) << c.Tool.first().toStdString() << " (scripts/setup.sh)";
    QProcess tool;
    tool.start(program, arguments);
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    TSimLink link;
    ASSERT_TRUE(link.Connect());
    Connection->SetLowLatencyTimer();
    link.Sim.ClearCommands();
    TFirmwareUpdater updater;
    updater.SetClock(std::make_shared<TLinkClock>(link, c.Board));
    updater.SetDevId(c.Board);
    updater.Update(out);

    if (!c.Fits) {
        EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("File error!"));
        EXPECT_TRUE(link.Sim.Commands().empty());
        return;
    }
    ASSERT_EQ(updater.Error(), _fue_none) << updater.GetErrorAsString().toStdString();
    EXPECT_EQ(updater.ProgrammingState(), 100);
    // The image at its own addresses, and nothing programmed for 4 KiB on either side.
    const uint32_t margin = std::min<uint32_t>(c.Offset, 4096);
    QByteArray expected = QByteArray(int(margin), '\xFF') + binary + QByteArray(4096, '\xFF');
    const QByteArray flash =
        link.Sim.Programmed(c.Board, c.Offset - margin, static_cast<int>(expected.size()));
    ASSERT_EQ(flash.size(), expected.size());
    for (qsizetype i = 0; i < flash.size(); ++i)
        ASSERT_EQ(uint8_t(flash[i]), uint8_t(expected[i])) << "at " << (c.Offset - margin + i);
    if (c.Offset >= 0x10000) { // nothing of it at the bottom of the memory either
        EXPECT_EQ(link.Sim.Programmed(c.Board, 0, 0x10000), QByteArray(0x10000, '\xFF'));
    }
}

QStringList Objcopy() {
    return QStringLiteral("objcopy -I binary -O ihex IN OUT").split(QLatin1Char(' '));
}
// Address length 4: extended linear address records; 3: extended segment address records.
QStringList SrecCat(const char* offset = "0", int addressLength = 4) {
    return QStringLiteral("srec_cat IN -binary -offset %1 -o OUT -intel -address-length=%2")
        .arg(QLatin1String(offset))
        .arg(addressLength)
        .split(QLatin1Char(' '));
}

// 256 KiB of program memory on the controller main board and the laser head.
INSTANTIATE_TEST_SUITE_P(
    , RealToolImages,
    ::testing::Values(
        // objcopy writes extended segment address records past 64 KiB.
        TImageCase{"objcopy_66KiB_segments", Objcopy(), 0x10200, 0, 1, true},
        TImageCase{"srec_cat_66KiB_linear", SrecCat(), 0x10200, 0, 4, true},
        TImageCase{"srec_cat_segments_up_to_the_end", SrecCat("0x3FF00", 3), 0x100, 0x3FF00, 1,
                   true},
        TImageCase{"srec_cat_one_byte_past_the_end", SrecCat("0x3FF01"), 0x100, 0x3FF01, 4, false},
        TImageCase{"objcopy_larger_than_the_memory", Objcopy(), 0x40008, 0, 1, false},
        // The DSP board counts its addresses in 16-bit words: a byte-addressed image would land
        // elsewhere.
        TImageCase{"colon_image_for_the_DSP", SrecCat(), 0x100, 0, 2, false}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
