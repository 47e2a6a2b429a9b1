// Peak events from the controller (code 6) and the two system sounds they make.
#include "MainWindowTestSupport.h"

#include "protocol/SendFrameUnit.h"
#include "ui/controls/SystemSoundUnit.h"

#include <QTest>

namespace {

QByteArray PeakEventFrame(uint8_t event, uint8_t peak) {
    const TFrame f = BuildParamsFrame(0, 6, uint16_t(event | peak << 8));
    QByteArray bytes(reinterpret_cast<const char*>(f.data()), FrameSize);
    bytes[10] = char(0x1F); // from the controller main board to the PC
    bytes[11] = char(FrameChecksum(reinterpret_cast<const uint8_t*>(bytes.constData())));
    return bytes;
}

} // namespace

TEST_F(MainWindowTest, PeakEventsOneAndTwoBeepAndThreeSoundsTheErrorBeep) {
    std::vector<TSystemSound> played;
    SetSystemSoundPlayer([&](TSystemSound s) { played.push_back(s); });
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    auto* peak = Find<QLabel>("PeakLabel");
    peak->setText(QStringLiteral("x"));
    // Events 0 and 4 make no sound; event 3 comes first so the order is seen too.
    fake.QueueRx(PeakEventFrame(3, 6) + PeakEventFrame(0, 6) + PeakEventFrame(4, 6) +
                 PeakEventFrame(2, 6) + PeakEventFrame(1, 6));
    // Event 1, the last frame, names the peak: 6 is f. Every frame has been handled then.
    EXPECT_TRUE(QTest::qWaitFor([&] { return peak->text() == QStringLiteral("f"); }, 10000))
        << peak->text().toStdString();
    EXPECT_EQ(played, (std::vector<TSystemSound>{TSystemSound::Error, TSystemSound::Default,
                                                 TSystemSound::Default}));
    SetSystemSoundPlayer({});
}

TEST(SystemSound, OnLinuxOnlyTheErrorBeepUsesTheDesktopsSoundWhereItHasOne) {
    const QString player = QStringLiteral("/usr/bin/canberra-gtk-play");
    EXPECT_EQ(LinuxSoundCommand(TSystemSound::Error, player),
              (QStringList{player, "--id=dialog-error", "--description=Halvane"}));
    EXPECT_TRUE(LinuxSoundCommand(TSystemSound::Error, QString()).isEmpty()); // the bell
    EXPECT_TRUE(LinuxSoundCommand(TSystemSound::Default, player).isEmpty());
}
