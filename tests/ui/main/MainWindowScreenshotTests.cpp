// Pictures of the simple page and the main page, connected and locked, in the program's light
// style: build/halvane-simple-page.png and build/halvane-main-page.png.
#include "MainWindowTestSupport.h"

#include "protocol/ReadFrameUnit.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>

TEST_F(MainWindowTest, ScreenshotsOfTheSimpleAndTheMainPage) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
    }
    Create({"QRX-7A 1234"});
    form->show();
    ConnectFirstDevice();
    form->ChangePeakOffset(0);
    form->ExpectedPeaks(0x3FFF);
    form->AddFreqDiffSample(150123456, 3120);
    form->SetBarPosition(TBarTarget::TuningMirror, 63);
    form->SetBarPosition(TBarTarget::StabilizationMirror, 41);
    form->SetLabelCaption(TLabelTarget::CFTValue, QStringLiteral("25.3"));
    form->SetLabelCaption(TLabelTarget::Lifetime, QStringLiteral("01:15"));
    form->SetHarmonicRow(3); // the widest choice
    form->SetLabelCaption(TLabelTarget::PeakId, QStringLiteral("6"));
    form->ShowTuningStatus(3);

    const QString dir = QStringLiteral(SCREENSHOT_DIR);
    const QImage simple = form->grab().toImage();
    EXPECT_EQ(simple.size(), QSize(1133, 691));
    EXPECT_TRUE(simple.save(QDir(dir).filePath(QStringLiteral("halvane-simple-page.png"))));

    Find<QPushButton>("NextButton")->click();
    QTest::qWait(10);
    const QImage main = form->grab().toImage();
    EXPECT_EQ(main.size(), QSize(1133, 691));
    EXPECT_TRUE(main.save(QDir(dir).filePath(QStringLiteral("halvane-main-page.png"))));
}

// The lost link on both pages and the event list: build/halvane-link-lost-simple-page.png,
// build/halvane-link-lost-main-page.png and build/halvane-link-events.png.
TEST_F(MainWindowTest, ScreenshotsOfALostLinkAndTheEventList) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
    }
    Create({"QRX-7A 1234"});
    form->show();
    ConnectFirstDevice();
    form->ChangePeakOffset(0);
    form->ExpectedPeaks(0x3FFF);
    form->IodineLaserRunning = true;
    form->AddFreqDiffSample(150123456, 3120);
    form->SetLabelCaption(TLabelTarget::CFTValue, QStringLiteral("25.3"));
    form->SetLabelCaption(TLabelTarget::PeakId, QStringLiteral("6"));
    form->ShowTuningStatus(3);
    form->ShowTuningStatus(4);
    form->ShowTuningStatus(3);
    fake.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LinkLost() && !ILFrameReader; }, 5000));
    QTest::qWait(10);

    const QString dir = QStringLiteral(SCREENSHOT_DIR);
    EXPECT_TRUE(form->grab().toImage().save(
        QDir(dir).filePath(QStringLiteral("halvane-link-lost-simple-page.png"))));
    Find<QPushButton>("NextButton")->click();
    QTest::qWait(10);
    EXPECT_TRUE(form->grab().toImage().save(
        QDir(dir).filePath(QStringLiteral("halvane-link-lost-main-page.png"))));
    fake.Plug();
    form->RecoveryTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    auto* charts = Find<QTabWidget>("ChartsPageControl");
    charts->setCurrentWidget(Find<QWidget>("LinkEventsTabSheet"));
    QTest::qWait(10);
    EXPECT_TRUE(
        form->grab().toImage().save(QDir(dir).filePath(QStringLiteral("halvane-link-events.png"))));
}
