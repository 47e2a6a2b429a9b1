// Pictures of the service panel and the chart pages with data, left in the build folder to look
// at. Each picture must come out with the size the window gives the page.
#include "ServiceTestSupport.h"

#include "../main/MainWindowTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>

#include <cmath>

TEST(Screenshots, ServicePanelAndChartPages) {
    TChartsHarness h;
    h.Get<QCheckBox>("ChartCheckBox")->setChecked(true);
    for (int i = 0; i < 1000; ++i) {
        const double t = i / 40.0;
        h.feeders->AddErrorSignalSample(static_cast<uint16_t>(17640 - 9000 * std::sin(t)));
        h.feeders->AddServiceSample(static_cast<int16_t>(300 * std::cos(t / 3)));
        if (i % 10 == 0) {
            h.feeders->AddFreqDiffSample(static_cast<int32_t>(400000000 + 20000 * std::sin(t)),
                                         2500);
            h.feeders->AddTestSample(static_cast<uint16_t>(1000 + 500 * std::sin(t)),
                                     static_cast<uint16_t>(1500 + 300 * std::cos(t)), 800, 400);
        }
    }
    struct {
        QWidget* page;
        QSize size;
        const char* file;
    } shots[] = {
        {h.panel, QSize(676, 691), "service_panel.png"},
        {h.iodine, QSize(690, 500), "chart_iodine.png"},
        {h.hene, QSize(690, 500), "chart_hene.png"},
        {h.freqDiff, QSize(690, 500), "chart_freqdiff.png"},
        {h.test, QSize(1127, 660), "test_page.png"},
    };
    for (auto& shot : shots) {
        shot.page->setParent(nullptr);
        shot.page->resize(shot.size);
        shot.page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shot.page));
        for (TChart* c :
             {&h.feeders->Chart(), &h.feeders->ServiceChart(), &h.feeders->FreqDiffChart(),
              &h.feeders->Chart1(), &h.feeders->LaserHeNeChart()})
            c->UpdateNow();
        const QPixmap picture = shot.page->grab();
        EXPECT_EQ(picture.size(), shot.size) << shot.file;
        EXPECT_GE(shot.page->minimumSizeHint().height(), 0);
        EXPECT_LE(shot.page->minimumSizeHint().width(), shot.size.width()) << shot.file;
        EXPECT_LE(shot.page->minimumSizeHint().height(), shot.size.height()) << shot.file;
        EXPECT_TRUE(picture.save(QDir(SCREENSHOT_DIR).filePath(shot.file)));
    }
}

// The unlocked operator window with its service panel, on the main page and on the Test page.
TEST_F(MainWindowTest, ScreenshotsOfTheUnlockedWindow) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
    }
    Create({"QRX-7A 1234"});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ConnectFirstDevice();
    form->ExpectedPeaks(0x3FFF);
    for (const char* k = "47150236"; *k; ++k)
        form->FormKeyPress(QLatin1Char(*k));
    Find<QCheckBox>("ChartCheckBox")->setChecked(true);
    for (int i = 0; i < 1000; ++i) {
        const double t = i / 40.0;
        form->AddErrorSignalSample(static_cast<uint16_t>(17640 - 9000 * std::sin(t)));
        form->AddServiceSample(static_cast<int16_t>(300 * std::cos(t / 3)));
        if (i % 10 == 0)
            form->AddTestSample(static_cast<uint16_t>(1000 + 500 * std::sin(t)), 1500, 800, 400);
    }
    form->AddFreqDiffSample(150123456, 3120);
    Find<QTabWidget>("PageControl")->setCurrentIndex(0);
    QTest::qWait(3 * TChart::ReplotIntervalMs);
    // The chart pages fit in the main page.
    QWidget* charts = Find<QWidget>("ChartsPageControl");
    EXPECT_LE(charts->geometry().bottom(), Find<QWidget>("MainTabSheet")->height());
    const QImage main = form->grab().toImage();
    EXPECT_EQ(main.size(), QSize(1821, 691));
    EXPECT_TRUE(main.save(QDir(SCREENSHOT_DIR).filePath("halvane-service-panel.png")));
    Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>("TestTabSheet"));
    QTest::qWait(3 * TChart::ReplotIntervalMs);
    EXPECT_TRUE(form->grab().save(QDir(SCREENSHOT_DIR).filePath("halvane-test-page.png")));
}
