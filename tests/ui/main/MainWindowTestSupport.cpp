#include "MainWindowTestSupport.h"

#include "protocol/SendFrameUnit.h"

#include <QPushButton>

void MainWindowTest::ConnectFirstDevice() {
    form->SearchUrzadzenButtonClick();
    Find<QPushButton>("ConnectButton")->click();
    ASSERT_TRUE(Connection->Connected());
}

std::vector<TWireFrame> MainWindowTest::Wire() const {
    const QByteArray bytes = fake.Written();
    std::vector<TWireFrame> frames;
    for (qsizetype at = 0; at + FrameSize <= bytes.size(); at += FrameSize) {
        const auto* f = reinterpret_cast<const uint8_t*>(bytes.constData() + at);
        EXPECT_EQ(f[0], FrameStart);
        EXPECT_EQ(f[11], FrameChecksum(f));
        auto word = [f](int i) { return f[2 + 2 * i] | (f[3 + 2 * i] << 8); };
        // The laser-head status view polls the stream state every 200 ms on its own timer;
        // what these tests check is the traffic the operator and the window cause.
        if ((f[10] & 0x0F) == BoardLaserHead && f[1] == Cmd::LHGetServiceStreamParams)
            continue;
        frames.push_back({f[10] & 0x0F, f[1], word(0), word(1), word(2), word(3)});
    }
    EXPECT_EQ(bytes.size() % FrameSize, 0);
    return frames;
}
