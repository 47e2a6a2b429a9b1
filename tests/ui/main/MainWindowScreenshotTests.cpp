// Every page of the operator window at its real size, locked and unlocked, in the program's
// light style: each control lies fully inside the window, and a picture of each page is left in
// the build folder (build/halvane-<page>.png) to look at.
#include "MainWindowTestSupport.h"

#include "protocol/ReadFrameUnit.h"
#include "support/LayoutCheck.h"
#include "ui/main/ChartUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>

#include <cmath>

TEST_F(MainWindowTest, EveryPageFitsTheWindowLockedAndUnlocked) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
    }
    Create({"QRX-7A 1234"});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
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
    for (int i = 0; i < 1000; ++i)
        form->AddErrorSignalSample(static_cast<uint16_t>(17640 - 9000 * std::sin(i / 40.0)));

    auto* pages = Find<QTabWidget>("PageControl");
    const struct {
        const char* Page;
        bool Unlocked;
        const char* File;
    } shots[] = {
        {"SimpleMenuTabSheet", false, "halvane-simple-page.png"},
        {"MainTabSheet", false, "halvane-main-page.png"},
        {"MainTabSheet", true, "halvane-service-panel.png"},
        {"ServiceLaserTabSheet", true, "halvane-laser-head-service.png"},
        {"FirmwareUpdateTabSheet", true, "halvane-firmware-page-idle.png"},
        {"TestTabSheet", true, "halvane-test-page.png"},
    };
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.File);
        if (shot.Unlocked && Find<QWidget>("ServicePanel")->isHidden())
            for (const char* k = "47150236"; *k; ++k)
                form->FormKeyPress(QLatin1Char(*k));
        pages->setCurrentWidget(Find<QWidget>(shot.Page));
        QTest::qWait(3 * TChart::ReplotIntervalMs);
        const QSize size(shot.Unlocked ? 1821 : 1133, 691);
        EXPECT_EQ(form->size(), size);
        const QStringList outside = ControlsOutside(form.get());
        EXPECT_TRUE(outside.isEmpty()) << outside.join(QLatin1Char('\n')).toStdString();
        const QImage picture = form->grab().toImage();
        EXPECT_EQ(picture.size(), size);
        EXPECT_TRUE(picture.save(QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(shot.File)));
    }
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
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
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

    // Each picture is saved, then looked at for what it is there to show.
    const auto shoot = [&](const char* file) {
        QCoreApplication::processEvents();
        const QImage picture = form->grab().toImage();
        EXPECT_TRUE(picture.save(QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(file))) << file;
        return picture;
    };
    // The simple page: the status panel in the lost link's grey beside its text.
    auto* panel = Find<QLabel>("SimpleStatusPanel");
    const QImage simple = shoot("halvane-link-lost-simple-page.png");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(simple.pixelColor(panel->mapTo(form.get(), QPoint(3, panel->height() / 2))),
              QColor(0xA0, 0xA0, 0xA4));
    // The main page with its status; the event list after the return, newest first.
    Find<QPushButton>("NextButton")->click();
    shoot("halvane-link-lost-main-page.png");
    EXPECT_TRUE(Find<QLabel>("StatusLabel")->isVisible());
    fake.Plug();
    form->RecoveryTimerTimer();
    ASSERT_TRUE(Connection->Connected());
    Find<QTabWidget>("ChartsPageControl")->setCurrentWidget(Find<QWidget>("LinkEventsTabSheet"));
    shoot("halvane-link-events.png");
    auto* list = Find<QListWidget>("LinkEventsListBox");
    EXPECT_TRUE(list->isVisible());
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text().section(QLatin1Char(' '), 1);
    EXPECT_EQ(shown.join(QLatin1Char('|')).toStdString(),
              "link restored (QRX-7A 1234)|link lost (QRX-7A 1234)|lock reached (peak f)|"
              "lock lost (unlocked)|lock reached (peak f)|operator: connect QRX-7A 1234");
}
