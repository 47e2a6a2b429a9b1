// The operator window under load: the simulated laser system streams at the link's full line
// rate (error-signal frames every millisecond, service and test values every 10 ms, frequency
// reports every 50 ms: more than the line carries, so the line is the limit), the service panel
// is unlocked and every chart is fed. The pages with charts are shown in turn.
//
// Measured over the run after a warm-up (the charts are full by then):
//   - CPU share of one core of the whole process (window, receive thread, the simulator's own
//     work on the receive thread's driver calls),
//   - event-loop lag: how late a 5 ms precise timer fires (50th, 99th percentile, maximum),
//   - resident memory at the start and at the end of the measurement,
//   - frames received per second against the line's 960, and repaints per chart and second.
//
// Usage: gui_load_bench [--seconds=60] [--warmup=10] [--error-period-ms=1]
//        (any Qt platform: offscreen, xcb). An error-signal period of 1 ms offers more frames than
//        the line carries; 2 ms leaves room for every other stream.

#include "app/GlobalUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "sim/SimulatorUnit.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/MainUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident set size in KiB.
long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
    return values[at];
}

int Argument(const QStringList& args, const QString& name, int fallback) {
    for (const QString& a : args)
        if (a.startsWith(name + QLatin1Char('=')))
            return a.mid(name.size() + 1).toInt();
    return fallback;
}

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The operator window, counting the samples it is handed and the times it is painted.
class TCountingForm : public TMainForm {
public:
    uint64_t ErrorSignal = 0, Service = 0, Test = 0, FreqDiff = 0, Paints = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest)
            ++Paints;
        return TMainForm::event(e);
    }
    void AddErrorSignalSample(uint16_t raw) override {
        ++ErrorSignal;
        TMainForm::AddErrorSignalSample(raw);
    }
    void AddServiceSample(int16_t value) override {
        ++Service;
        TMainForm::AddServiceSample(value);
    }
    void AddTestSample(uint16_t t1, uint16_t t2, uint16_t t3, uint16_t t4) override {
        ++Test;
        TMainForm::AddTestSample(t1, t2, t3, t4);
    }
    void AddFreqDiffSample(int32_t hz, uint16_t power) override {
        ++FreqDiff;
        TMainForm::AddFreqDiffSample(hz, power);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
    }
    const int seconds = Argument(app.arguments(), QStringLiteral("--seconds"), 60);
    const int warmup = Argument(app.arguments(), QStringLiteral("--warmup"), 10);
    const int errorPeriodMs = Argument(app.arguments(), QStringLiteral("--error-period-ms"), 1);
    const int onlyView = Argument(app.arguments(), QStringLiteral("--view"), -1); // -1: in turn
    // A copy of the program that runs meanwhile does not stop the measurement.
    TApplicationManager::SetInstanceCheck([] { return true; });

    TSimulatorOptions options;
    options.ErrorSignalPeriodMs = errorPeriodMs;
    options.ServicePeriodMs = 10;
    options.TestValuePeriodMs = 10;
    options.FrequencyPeriodMs = 50;
    TSimulatedLaserSystem sim(options);
    sim.Install();

    auto form = std::make_unique<TCountingForm>();
    form->show();
    // The simple page's watchdog connects the one device on its own.
    for (int waited = 0; !(Connection && Connection->Connected()) && waited < 15000; waited += 50)
        Wait(50);
    if (!Connection || !Connection->Connected()) {
        std::fprintf(stderr, "the simulated device was not connected\n");
        return 1;
    }
    for (const char* key = "47150236"; *key; ++key)
        emit form->KeyPreview(QLatin1Char(*key));
    form->findChild<QCheckBox*>(QStringLiteral("ChartCheckBox"))->setChecked(true);

    auto* pages = form->findChild<QTabWidget*>(QStringLiteral("PageControl"));
    auto* charts = form->findChild<QTabWidget*>(QStringLiteral("ChartsPageControl"));
    QWidget* mainPage = form->findChild<QWidget*>(QStringLiteral("MainTabSheet"));
    QWidget* testPage = form->findChild<QWidget*>(QStringLiteral("TestTabSheet"));
    // Main page with the error signal, with the frequency difference, then the Test page.
    int view = onlyView >= 0 ? onlyView : 0;
    auto showNext = [&] {
        switch ((onlyView >= 0 ? onlyView : view++) % 3) {
        case 0:
            pages->setCurrentWidget(mainPage);
            charts->setCurrentIndex(0);
            break;
        case 1:
            pages->setCurrentWidget(mainPage);
            charts->setCurrentIndex(2);
            break;
        default:
            pages->setCurrentWidget(testPage);
            break;
        }
    };
    showNext();
    QTimer rotate;
    rotate.setInterval(5000);
    QObject::connect(&rotate, &QTimer::timeout, showNext);
    rotate.start();

    // Event-loop lag: how late each tick of a 5 ms precise timer comes.
    constexpr int ProbeMs = 5;
    std::vector<double> lags;
    // Room for every sample up front: the measurement itself must not grow the memory.
    lags.reserve(static_cast<size_t>(seconds + warmup + 10) * (1000 / ProbeMs));
    bool measuring = false;
    QElapsedTimer clock;
    clock.start();
    qint64 expected = clock.nsecsElapsed() + ProbeMs * 1000000LL;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(ProbeMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (measuring)
            lags.push_back(std::max<qint64>(0, now - expected) / 1e6);
        expected = now + ProbeMs * 1000000LL;
    });
    probe.start();

    Wait(warmup * 1000);

    TChartFeeders& feeders = *form->Charts();
    TChart* chartList[] = {&feeders.Chart(), &feeders.FreqDiffChart(), &feeders.ServiceChart(),
                           &feeders.Chart1()};
    std::vector<int> replotsBefore;
    for (TChart* c : chartList)
        replotsBefore.push_back(c->ReplotCount());
    const long rssStart = ResidentKiB();
    const double cpuStart = CpuSeconds();
    const uint64_t framesStart = ILFrameReader ? ILFrameReader->FramesChecked() : 0;
    const TSimCounters simStart = sim.Counters();
    const uint64_t errorStart = form->ErrorSignal, serviceStart = form->Service,
                   testStart = form->Test, freqStart = form->FreqDiff, paintsStart = form->Paints;
    const qint64 wallStart = clock.nsecsElapsed();
    measuring = true;

    // Resident memory every 10 s of the measurement.
    std::vector<long> rssTrend;
    for (int done = 0; done < seconds;) {
        const int step = std::min(10, seconds - done);
        Wait(step * 1000);
        done += step;
        rssTrend.push_back(ResidentKiB());
    }

    measuring = false;
    const double wall = (clock.nsecsElapsed() - wallStart) / 1e9;
    const double cpu = CpuSeconds() - cpuStart;
    const long rssEnd = ResidentKiB();
    const uint64_t frames = (ILFrameReader ? ILFrameReader->FramesChecked() : 0) - framesStart;
    const TSimCounters simEnd = sim.Counters();

    std::printf("GUI under load: error signal offered every %d ms; %.1f s measured after %d s "
                "warm-up, %zu lag samples\n",
                errorPeriodMs, wall, warmup, lags.size());
    std::printf("  frames received     %8.1f /s   = %.3f x line rate (960 frames/s)\n",
                frames / wall, frames / wall / 960.0);
    std::printf("  frames lost at sim  %8.1f /s   (offered beyond the line's capacity)\n",
                (simEnd.FramesLost - simStart.FramesLost) / wall);
    std::printf("  samples /s          error signal %.0f, service %.0f, test %.0f, "
                "frequency %.0f\n",
                (form->ErrorSignal - errorStart) / wall, (form->Service - serviceStart) / wall,
                (form->Test - testStart) / wall, (form->FreqDiff - freqStart) / wall);
    std::printf("  CPU share           %8.1f %%   of one core (whole process)\n",
                100.0 * cpu / wall);
    std::printf("  event-loop lag      p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(lags, 0.50), Percentile(lags, 0.99), Percentile(lags, 1.0));
    std::printf("  resident memory     start %ld KiB, end %ld KiB, growth %ld KiB\n", rssStart,
                rssEnd, rssEnd - rssStart);
    std::printf("  memory every 10 s   ");
    for (long kib : rssTrend)
        std::printf(" %ld", kib);
    std::printf(" KiB\n");
    std::printf("  window paints /s    %.1f\n", (form->Paints - paintsStart) / wall);
    std::printf("  repaints /s         Chart %.1f, FreqDiffChart %.1f, ServiceChart %.1f, "
                "Chart1 %.1f\n",
                (chartList[0]->ReplotCount() - replotsBefore[0]) / wall,
                (chartList[1]->ReplotCount() - replotsBefore[1]) / wall,
                (chartList[2]->ReplotCount() - replotsBefore[2]) / wall,
                (chartList[3]->ReplotCount() - replotsBefore[3]) / wall);
    std::printf("  points held         DataSeries %d, FreqDiffLineSeries %d, ServiceSeries %d, "
                "Test1Series %d\n",
                feeders.DataSeries().Count(), feeders.FreqDiffLineSeries().Count(),
                feeders.ServiceSeries().Count(), feeders.TestSeries(0).Count());
    std::fflush(stdout);

    probe.stop();
    rotate.stop();
    form.reset();
    return 0;
}
