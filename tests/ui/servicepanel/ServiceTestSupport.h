#pragma once
// Helpers of the service-panel, chart and log tests.

#include "link/ConnectionUnit.h"
#include "protocol/SendFrameUnit.h"
#include "support/FakeD2XX.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/ChartPagesUnit.h"
#include "ui/main/ServicePanelUnit.h"

#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// The 12 bytes of a command frame, as the adapter receives them.
inline QByteArray CommandBytes(uint8_t target, uint8_t code, uint16_t w0 = 0, uint16_t w1 = 0,
                               uint16_t w2 = 0, uint16_t w3 = 0) {
    const TFrame f = BuildParamsFrame(target, code, w0, w1, w2, w3);
    return QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize);
}

// A connected link on the scripted fake driver, installed as the global Connection.
struct TLinkFixture {
    TFakeD2XX fake;
    TConnection connection;

    TLinkFixture() {
        fake.SetDevices({"QRX-7A one"});
        QStringList names;
        connection.GetAvailableDevices(names);
        connection.SetDeviceID(QStringLiteral("QRX-7A one"));
        const bool connected = connection.Connect();
        EXPECT_TRUE(connected);
        Connection = &connection;
        fake.ClearRecord();
    }
    ~TLinkFixture() { Connection = nullptr; }
    QByteArray TakeWritten() {
        const QByteArray w = fake.Written();
        fake.ClearRecord();
        return w;
    }
};

// The chart pages, the service panel and the frequency-report labels in one window, with the
// chart feeders serving them (what the main window holds, without the rest of it).
struct TChartsHarness {
    QWidget root;
    TIodineChartPage* iodine;
    TLaserHeNeChartPage* hene;
    TFreqDiffChartPage* freqDiff;
    TTestPage* test;
    TServicePanelFrame* panel;
    bool iodineLaserRunning = false;
    std::unique_ptr<TChartFeeders> feeders;

    TChartsHarness() {
        auto* layout = new QVBoxLayout(&root);
        iodine = new TIodineChartPage;
        hene = new TLaserHeNeChartPage;
        freqDiff = new TFreqDiffChartPage;
        test = new TTestPage;
        panel = new TServicePanelFrame;
        for (QWidget* w : std::initializer_list<QWidget*>{iodine, hene, freqDiff, test, panel})
            layout->addWidget(w);
        auto* value = new QLabel(&root);
        value->setObjectName(QStringLiteral("FreqDifferenceValueLabel"));
        auto* power = new QLabel(&root);
        power->setObjectName(QStringLiteral("SignalPWRLabel"));
        layout->addWidget(value);
        layout->addWidget(power);
        feeders = std::make_unique<TChartFeeders>(&root, panel, iodineLaserRunning);
        root.resize(1200, 2400);
    }
    ~TChartsHarness() { feeders.reset(); }

    template <class T> T* Get(const char* name) {
        T* w = root.findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString Text(const char* name) { return Get<QLabel>(name)->text(); }
};

// Sets the default locale for one test and puts the previous one back.
struct TLocaleScope {
    QLocale saved;
    explicit TLocaleScope(const QLocale& l) { QLocale::setDefault(l); }
    ~TLocaleScope() { QLocale::setDefault(saved); }
};
