// Pictures of the service panel and the chart pages with data, left in the build folder to look
// at. Each page must show all its controls at the size the window gives it.
#include "ServiceTestSupport.h"

#include "../main/MainWindowTestSupport.h"
#include "support/LayoutCheck.h"
#include "ui/main/ChartUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>

#include <qcustomplot.h>

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
        // At the size the window gives it, every control of the page shows in full.
        const QStringList outside = ControlsOutside(shot.page);
        EXPECT_TRUE(outside.isEmpty())
            << shot.file << ": " << outside.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(picture.save(QDir(SCREENSHOT_DIR).filePath(shot.file)));
    }
    // The fed samples reached the graphs that were drawn.
    const std::pair<TChart*, int> drawn[] = {{&h.feeders->Chart(), 1000},
                                             {&h.feeders->ServiceChart(), 1000},
                                             {&h.feeders->FreqDiffChart(), 100},
                                             {&h.feeders->Chart1(), 100}};
    for (const auto& [chart, points] : drawn)
        EXPECT_EQ(chart->Series(0)->Graph()->dataCount(), points) << chart->Name().toStdString();
}
