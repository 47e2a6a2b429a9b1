// The splash window: notice line, the picture-swapping key sequence, and the timer that shows
// the main window.
#include "app/SplashScreenUnit.h"

#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct TSplashFixture : ::testing::Test {
    QWidget mainWindow;
    TSplashScreen splash{&mainWindow};

    void SetUp() override {
        splash.show();
        splash.activateWindow();
        (void)QTest::qWaitForWindowActive(&splash);
    }
    bool Swapped() const { return !splash.Image1->isVisible() && splash.Image2->isVisible(); }
};

TEST_F(TSplashFixture, IsABorderlessFixedWindowWithItsTwoPictures) {
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    // A 1133 x 506 client area inside a 1-pixel border.
    EXPECT_EQ(splash.size(), QSize(1135, 508));
    EXPECT_EQ(splash.GroupBox1->geometry(), QRect(1, 1, 1133, 506));
    const QImage shot = splash.grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(1134, 254), QPoint(567, 507), QPoint(0, 300)})
        EXPECT_EQ(shot.pixelColor(at), TSplashScreen::BorderColor()) << at.x() << "," << at.y();
    EXPECT_NE(shot.pixelColor(1, 254), TSplashScreen::BorderColor());
    EXPECT_EQ(splash.TitleLabel->text(), QStringLiteral("HALVANE"));
    EXPECT_EQ(splash.Image1->pixmap().size(), QSize(641, 311));
    EXPECT_EQ(splash.Image2->pixmap().size(), QSize(501, 340));
    EXPECT_TRUE(splash.Image1->isVisible());
    EXPECT_FALSE(splash.Image2->isVisible());
    EXPECT_EQ(splash.Label1->geometry(), QRect(528, 472, 587, 21));
}

TEST_F(TSplashFixture, NoticeLineCarriesTheCurrentYear) {
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_TRUE(splash.Label1->text().contains(year)) << splash.Label1->text().toStdString();
    EXPECT_TRUE(TSplashScreen::NoticeText(1987).contains(QStringLiteral("1987")));
    EXPECT_FALSE(TSplashScreen::NoticeText(1987).contains(QStringLiteral("%")));
}

TEST_F(TSplashFixture, TheThreeKeysInARowSwapThePictureForGood) {
    QTest::keyClick(&splash, Qt::Key_Q);
    QTest::keyClick(&splash, Qt::Key_Shift); // types nothing, does not count
    QTest::keyClick(&splash, Qt::Key_V);
    EXPECT_FALSE(Swapped());
    QTest::keyClick(&splash, Qt::Key_K);
    EXPECT_TRUE(Swapped());
    QTest::keyClicks(&splash, QStringLiteral("xqvkqvk"));
    EXPECT_TRUE(Swapped()); // nothing shows the first picture again
}

TEST_F(TSplashFixture, WrongKeysResetWithoutCountingAsAFirstKey) {
    QTest::keyClicks(&splash, QStringLiteral("qqvk")); // the second q only resets
    EXPECT_FALSE(Swapped());
    QTest::keyClicks(&splash, QStringLiteral("QVK")); // upper case does not match
    EXPECT_FALSE(Swapped());
    QTest::keyClicks(&splash, QStringLiteral("qvqvk"));
    EXPECT_FALSE(Swapped());
    QTest::keyClicks(&splash, QStringLiteral("qv"));
    QTest::keyClick(&splash, Qt::Key_Return);
    QTest::keyClick(&splash, Qt::Key_K);
    EXPECT_FALSE(Swapped());
    QTest::keyClicks(&splash, QStringLiteral("xqvk"));
    EXPECT_TRUE(Swapped());
}

TEST_F(TSplashFixture, TimerShowsTheMainWindowOnceAndClosesTheSplash) {
    EXPECT_TRUE(splash.Timer->isActive());
    EXPECT_EQ(splash.Timer->interval(), 3000);
    QTest::keyClicks(&splash, QStringLiteral("qv"));
    // Closing early is refused: the main window has not been shown yet.
    splash.close();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(mainWindow.isVisible());

    splash.Timer->setInterval(20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return mainWindow.isVisible(); }, 5000));
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.Timer->isActive());
}

TEST(SplashScreen, MainWindowFreedBeforeTheTimerIsNotTouched) {
    auto mainWindow = std::make_unique<QWidget>();
    TSplashScreen splash(mainWindow.get());
    splash.show();
    mainWindow.reset();
    splash.TimerTimer();
    EXPECT_FALSE(splash.isVisible());
}

} // namespace
