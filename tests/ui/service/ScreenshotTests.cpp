// Renders the service page with a filled panel, a running chart and a full frame monitor, and
// writes the picture to HALVANE_SCREENSHOT_DIR when it is set; every control shows in full.
#include "ServiceTestSupport.h"

#include "support/LayoutCheck.h"

#include <qcustomplot.h>

#include <QTableView>

#include <cmath>

TEST_F(ServiceFixture, ServicePageRenders) {
    Connect();
    MakeFrame();
    page->show();
    Answer(0x91, {0x34, 0x12});
    Answer(0x99, {0x3F, 0, 7, 0, 23});
    Answer(0x9B, {2, 9, 0x1A});
    Answer(0x94, {0xFC, 0xCE, 0x38, 0x00, 0x10, 0x27, 0x00, 0x00});
    Answer(0x95, {100, 0, 0, 0});
    Answer(0x27, {10, 20, 0x2C, 0x01, 8, 0, 5, 0});
    Answer(0xA0, {1, 0, 0xFE, 0xFF, 3, 0, 0xFC, 0xFF});
    Answer(0x9D, {7});
    Answer(0xA2, {3});
    Find<QAbstractButton>("ServiceShowChartCheckBox")->click();
    for (int i = 0; i < 120; ++i) {
        const int casing = 2643 + int(20 * std::sin(i / 9.0));
        const int laserT = 2900 + int(40 * std::cos(i / 13.0));
        const int stab = 600 + int(300 * std::sin(i / 5.0));
        Answer(0x01,
               {4, uint8_t(682 / 4 + i % 7), uint8_t(stab), uint8_t(stab >> 8), uint8_t(casing),
                uint8_t(casing >> 8), uint8_t(laserT), uint8_t(laserT >> 8)});
    }
    Find<QAbstractButton>("ServiceShowFramesCheckBox")->click();
    for (int i = 0; i < 3000; ++i) {
        const TFrame f = LaserAnswer(uint8_t(i % 3 ? 0x01 : 0x91), {uint8_t(i), 1, 2, 3});
        log->Record(TFrameDirection::Received, f.data(), i % 500 != 7);
        if (i % 40 == 0)
            Click("LHSlopeReadButton");
    }
    frame->SendFrameView->Refresh();
    QCoreApplication::processEvents();
    // Filled, the page still shows every control in full, the chart keeps its last hundred
    // samples and the monitor lists frames.
    const QStringList outside = ControlsOutside(page.get());
    EXPECT_TRUE(outside.isEmpty()) << outside.join(QLatin1Char('\n')).toStdString();
    auto* chart = Find<QCustomPlot>("ServiceChart");
    for (int i = 0; i < chart->graphCount(); ++i)
        EXPECT_EQ(chart->graph(i)->dataCount(), 100) << i;
    EXPECT_GT(Find<QTableView>("ServiceFramesListBox")->model()->rowCount(), 0);
    EXPECT_EQ(SpinText("LHSlopeRealSpinEdit"), QStringLiteral("4660"));
    SaveScreenshot(page.get(), "service-page.png");
}
#include "ui/service/FrameMonitorUnit.h"
