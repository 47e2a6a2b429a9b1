// The regulation chart of the service page: switching, polling, the value labels and the
// window of the latest 100 samples.
#include "ServiceTestSupport.h"

#include <QTimer>
#include <qcustomplot.h>

namespace {

class ServiceChart : public ServiceFixture {
protected:
    void SetUp() override {
        Connect();
        MakeFrame();
    }
    TServiceStreamParams& Stream() { return *laser->ServiceParameters()->StreamParams(); }
    QCustomPlot* Chart() { return Find<QCustomPlot>("ServiceChart"); }
    // A status-stream answer: state, casing temperature error, stabilization error, casing and
    // laser temperature.
    void Stream(uint8_t state, uint8_t casingError, uint16_t stab, uint16_t casing,
                uint16_t laserT) {
        Answer(0x01, {state, casingError, uint8_t(stab), uint8_t(stab >> 8), uint8_t(casing),
                      uint8_t(casing >> 8), uint8_t(laserT), uint8_t(laserT >> 8)});
    }
    static std::vector<double> Keys(QCPGraph* g) {
        std::vector<double> k;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            k.push_back(it->key);
        return k;
    }
    static std::vector<double> Values(QCPGraph* g) {
        std::vector<double> v;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            v.push_back(it->value);
        return v;
    }
};

} // namespace

TEST_F(ServiceChart, HasFiveColouredSeriesOverAFixedBottomAxis) {
    QCustomPlot* chart = Chart();
    ASSERT_EQ(chart->graphCount(), 5);
    const std::pair<const char*, QColor> series[] = {
        {"ServiceCasingTemperatureErrorSeries", QColor(255, 0, 0)},
        {"ServiceStabilizationErrorSeries", QColor(0, 128, 0)},
        {"ServiceCasingTemperatureSeries", QColor(128, 128, 0)},
        {"ServiceLaserTemperatureSeries", QColor(0, 0, 255)},
        {"ServiceReferenceSignalSeries", QColor(255, 0, 255)},
    };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(chart->graph(i)->name(), series[i].first);
        EXPECT_EQ(chart->graph(i)->pen().color(), series[i].second);
    }
    EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 100));
    EXPECT_FALSE(chart->legend->visible());
    EXPECT_FALSE(chart->yAxis2->visible());
    EXPECT_EQ(Text("ServiceCasingTemperatureErrorLabel"), "Błąd Temp. Ob.");
    EXPECT_EQ(Text("ServiceStabilizationErrorLabel"), "Błąd Stab.");
    EXPECT_EQ(Text("ServiceCasingTemperatureLabel"), "Temp. Ob.");
    EXPECT_EQ(Text("ServiceLaserTemperatureLabel"), "Temp. Lasera");
    EXPECT_EQ(Text("ServiceReferenceSignalLabel"), "Sygnał Ref.");
    EXPECT_EQ(Text("ServiceLaserHeaterPowerLabel"), "Moc grzałki");
    EXPECT_EQ(Text("ServiceStateValueLabel"), "stabilization loop - ON");
}

TEST_F(ServiceChart, ShowChartSwitchesThePollAndTheSubscription) {
    TServiceChartView& view = *frame->ChartView;
    EXPECT_FALSE(view.Timer()->isActive());
    EXPECT_EQ(view.Timer()->interval(), 200);
    Click("ServiceShowChartCheckBox");
    EXPECT_TRUE(view.ShowData());
    EXPECT_TRUE(view.Timer()->isActive());
    EXPECT_EQ(Stream().ObserversCount(), 1);
    view.FTimerTimer();
    view.FTimerTimer();
    EXPECT_EQ(TakeFrames().size(), 2u);

    Click("ServiceShowChartCheckBox");
    EXPECT_FALSE(view.Timer()->isActive());
    EXPECT_EQ(Stream().ObserversCount(), 0);

    // Switching on twice joins once, so switching off once leaves nothing behind.
    view.SetShowData(true);
    view.SetShowData(true);
    EXPECT_EQ(Stream().ObserversCount(), 1);
    frame->Release();
    EXPECT_EQ(Stream().ObserversCount(), 0);
}

TEST_F(ServiceChart, AnswerSetsTheValueLabelsAndTheState) {
    Click("ServiceShowChartCheckBox");
    Stream(3, 170, 309, 2655, 2862);
    EXPECT_EQ(Text("ServiceCasingTemperatureErrorValueLabel"), "170");
    EXPECT_EQ(Text("ServiceStabilizationErrorValueLabel"), "309");
    EXPECT_EQ(Text("ServiceCasingTemperatureValueLabel"), "2655");
    EXPECT_EQ(Text("ServiceLaserTemperatureValueLabel"), "2862");
    EXPECT_EQ(Text("ServiceReferenceSignalValueLabel"), "0");
    EXPECT_EQ(Text("ServiceLaserHeaterPowerValueLabel"), "0");
    EXPECT_EQ(Text("ServiceStateValueLabel"), "stabilization loop - ON");
    ASSERT_EQ(Chart()->graph(3)->dataCount(), 1);
    EXPECT_EQ(Values(Chart()->graph(3)), std::vector<double>{2862});
}

TEST_F(ServiceChart, KeepsTheLatestHundredSamplesNumberedFromZero) {
    Click("ServiceShowChartCheckBox");
    for (int i = 0; i < 100; ++i)
        Stream(4, uint8_t(i), uint16_t(1000 + i), 0, 0);
    EXPECT_EQ(Chart()->graph(0)->dataCount(), 100);
    Stream(4, 100, 1100, 0, 0); // the 101st answer
    std::vector<double> keys(100);
    std::vector<double> errors(100);
    std::vector<double> stab(100);
    for (int i = 0; i < 100; ++i) {
        keys[size_t(i)] = i;
        errors[size_t(i)] = i + 1;
        stab[size_t(i)] = 1001 + i;
    }
    for (int g = 0; g < 5; ++g) {
        EXPECT_EQ(Chart()->graph(g)->dataCount(), 100) << g;
        EXPECT_EQ(Keys(Chart()->graph(g)), keys) << g;
    }
    EXPECT_EQ(Values(Chart()->graph(0)), errors);
    EXPECT_EQ(Values(Chart()->graph(1)), stab);
}

TEST_F(ServiceChart, HiddenPanelDrawsNothing) {
    Click("ServiceShowChartCheckBox");
    frame->hide();
    Stream(4, 1, 2, 3, 5);
    EXPECT_EQ(Chart()->graph(0)->dataCount(), 0);
    EXPECT_EQ(Text("ServiceCasingTemperatureErrorValueLabel"), "1234");
}

TEST_F(ServiceChart, AnswersPendingAtReleaseAreDropped) {
    Click("ServiceShowChartCheckBox");
    Laser->DecodeFrame(LaserAnswer(0x01, {4, 9}).data());
    frame->Release();
    EXPECT_EQ(Chart()->graph(0)->dataCount(), 0);
    EXPECT_EQ(Text("ServiceCasingTemperatureErrorValueLabel"), "1234");
}
