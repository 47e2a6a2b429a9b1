#pragma once
// The service frame on its own, wired to a real laser-head model, a real frame log and a real
// connection over the scripted fake driver: clicks produce the bytes the adapter would get,
// answers are fed to Laser->DecodeFrame as the receive thread would.

#include "laser/LaserDeviceUnit.h"
#include "laser/LaserTestSupport.h"
#include "link/ConnectionUnit.h"
#include "protocol/FrameLogUnit.h"
#include "support/FakeD2XX.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/service/LaserFrameUnit.h"
#include "ui/service/ServiceLaserViewUnit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Sets the globals for one test and clears them again.
struct TGlobalsScope {
    TGlobalsScope(TConnection* c, TLaser* l, TFrameLog* f) {
        Connection = c;
        Laser = l;
        FrameLog = f;
    }
    ~TGlobalsScope() {
        FrameLog = nullptr;
        Laser = nullptr;
        Connection = nullptr;
    }
};

class ServiceFixture : public ::testing::Test {
protected:
    // The adapter's description decides the device kind ("QRX-7A": 111111, "TMVK v2": 222222).
    void Connect(const char* description = "QRX-7A service") {
        fake.SetDevices({description});
        QStringList names;
        connection->GetAvailableDevices(names);
        connection->SetDeviceID(QString::fromLatin1(description));
        ASSERT_TRUE(connection->Connect());
        fake.ClearRecord();
    }

    // A service page (a tab-sheet stand-in) with the frame on it, initialised.
    void MakeFrame() {
        page = std::make_unique<QWidget>();
        page->resize(1119, 660);
        frame = new TLaserFrame(page.get());
        frame->Init();
    }

    void TearDown() override {
        if (frame)
            frame->Release();
        page.reset(); // frees the frame with its page
        frame = nullptr;
    }

    template <class T = QWidget> T* Find(const char* name) const {
        T* w = frame->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { Find<QAbstractButton>(button)->click(); }
    void SetSpin(const char* name, double value) { Find<TRealSpinEdit>(name)->SetValue(value); }
    QString Text(const char* label) const { return Find<QLabel>(label)->text(); }
    QString SpinText(const char* name) const { return Find<TRealSpinEdit>(name)->text(); }

    // A laser-head answer decoded as the receive thread would, then the posted updates run.
    void Answer(uint8_t code, std::initializer_list<uint8_t> payload = {}) {
        const TFrame f = LaserAnswer(code, payload);
        Laser->DecodeFrame(f.data());
        QCoreApplication::processEvents();
    }

    // The 12-byte frames written to the adapter since the last call.
    std::vector<QByteArray> TakeFrames() {
        const QByteArray w = fake.Written();
        fake.ClearRecord();
        std::vector<QByteArray> frames;
        for (qsizetype i = 0; i + FrameSize <= w.size(); i += FrameSize)
            frames.push_back(w.mid(i, FrameSize));
        EXPECT_EQ(w.size() % FrameSize, 0);
        return frames;
    }
    // The only frame written since the last call: its code and payload bytes 2..9.
    QByteArray TakeOne(uint8_t expectedCode) {
        const std::vector<QByteArray> frames = TakeFrames();
        EXPECT_EQ(frames.size(), 1u);
        if (frames.size() != 1)
            return {};
        EXPECT_EQ(uint8_t(frames[0][1]), expectedCode);
        EXPECT_EQ(uint8_t(frames[0][10]), 0xF4); // to the laser head
        return frames[0].mid(2, 8);
    }

    TFakeD2XX fake;
    std::unique_ptr<TConnection> connection = std::make_unique<TConnection>();
    std::unique_ptr<TLaser> laser = std::make_unique<TLaser>();
    std::unique_ptr<TFrameLog> log = std::make_unique<TFrameLog>();
    TGlobalsScope globals{connection.get(), laser.get(), log.get()};
    std::unique_ptr<QWidget> page;
    TLaserFrame* frame = nullptr;
};

inline QByteArray Bytes(std::initializer_list<uint8_t> b) {
    QByteArray a;
    for (uint8_t x : b)
        a.append(char(x));
    return a;
}

// Draws w and, when HALVANE_SCREENSHOT_DIR is set, saves the picture there as name.
inline void SaveScreenshot(QWidget* w, const char* name) {
    const QPixmap picture = w->grab();
    EXPECT_FALSE(picture.isNull());
    const QByteArray dir = qgetenv("HALVANE_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    const QString path = QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name));
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
}
