// The receive path measured against the link's line rate (115200 baud 8N1 = 11520 bytes/s =
// 960 frames/s).
//
//   BM_ReceivePath         extraction + checksum + decoding (controller boards and laser head)
//                          of a mixed stream with noise, one core, no thread: frames/s and the
//                          multiple of the line rate.
//   BM_Extraction          the same stream addressed to another receiver: frames found and
//                          checked, then skipped without decoding.
//   BM_ThreadAtLineRate/1  the real receive thread over the fake driver fed at exactly line rate
//                          for 10 s, its reports applied on this (GUI) thread: the receive
//                          thread's CPU time as a share of one core.
//   .../feeding:0          the same with nothing to receive: the cost of polling alone.
//   BM_SleepOnly           a thread that only sleeps 3 ms in a loop, under the same feeding loop:
//                          what the wake-ups alone cost on this machine (the floor of any 3 ms
//                          poll).
//   BM_PollCall            one queue-status call through the connection to the fake driver.

#include "laser/LaserDeviceUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/ControllerDecodeUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "protocol/SendFrameUnit.h"
#include "support/FakeD2XX.h"

#include <QCoreApplication>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <benchmark/benchmark.h>

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr double LineRateFramesPerSecond = 960.0;
constexpr double LineRateBytesPerSecond = 11520.0;

TFrame Frame(uint8_t sender, uint8_t code, uint32_t a, uint32_t b = 0, uint8_t receiver = 15) {
    uint8_t data[8];
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<uint8_t>(a >> (8 * i));
        data[4 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    TFrame f = BuildFrame(0, code, data);
    f[10] = static_cast<uint8_t>((sender << 4) | receiver);
    f[11] = FrameChecksum(f);
    return f;
}

// What the boards send while the laser runs, with some noise: mostly error-signal samples,
// then status, frequency reports, laser-head stream, test values, mirror positions and now and
// then an answer; a stray byte before one frame in 20, one corrupt frame in 200, one frame in
// 100 for another receiver.
struct TStream {
    std::vector<uint8_t> bytes;
    size_t frames = 0; // frames that pass the checksum and are not for another board
};

TStream MixedStream(size_t frameCount, uint8_t receiver = PCAddress) {
    TStream s;
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (size_t i = 0; i < frameCount; ++i) {
        const uint32_t pick = next() % 100;
        const uint32_t v = next();
        TFrame f;
        if (pick < 45)
            f = Frame(1, 1, v & 0xFFFF); // error signal
        else if (pick < 55)
            f = Frame(1, 3, (v & 0xF) << 16); // tuning status in b4-b5
        else if (pick < 65)
            f = Frame(3, 166, v, 1000 + (v & 0x7FF)); // frequency report
        else if (pick < 75)
            f = Frame(4, 1, v, v); // laser-head status stream
        else if (pick < 80)
            f = Frame(2, 200, v, v); // DSP test values
        else if (pick < 86)
            f = Frame(1, 4 + (v & 1), v % 101); // mirror positions
        else if (pick < 90)
            f = Frame(1, 8, v % 400); // CFT value
        else if (pick < 93)
            f = Frame(1, 9, v); // service sample
        else if (pick < 97)
            f = Frame(1, static_cast<uint8_t>(53 + 2 * (v % 21)), v); // answers
        else if (pick < 98)
            f = Frame(2, 221, 0x4401); // DSP version (two reports)
        else
            f = Frame(1, 123, v % 100000); // lifetime text
        f[10] = static_cast<uint8_t>((f[10] & 0xF0) | receiver);
        f[11] = FrameChecksum(f);
        if (next() % 20 == 0)
            s.bytes.push_back(static_cast<uint8_t>(next() % 0xAF)); // a stray byte
        if (next() % 100 == 0) {
            f[10] = static_cast<uint8_t>((f[10] & 0xF0) | BoardDSP); // skipped whole
            f[11] = FrameChecksum(f);
        } else if (next() % 200 == 0)
            f[11] ^= 0x5A; // corrupt
        else
            ++s.frames;
        s.bytes.insert(s.bytes.end(), f.begin(), f.end());
    }
    return s;
}

const TStream& Stream() {
    static const TStream s = MixedStream(200000);
    return s;
}

// Does on one thread what the receive thread does, minus the hand-over: the decoded report is
// copied as a queued call would copy it.
struct TBenchDispatcher : TFrameDispatcher {
    TLaser* laser = nullptr;
    uint64_t reports = 0;
    void CRCError() override { ++reports; }
    void Deliver(const TDecodedReport& report) override {
        TDecodedReport copy = report;
        benchmark::DoNotOptimize(copy);
        ++reports;
    }
    void LaserHeadFrame(const uint8_t* frame) override {
        if (laser)
            laser->DecodeFrame(frame);
    }
};

struct TCheckOnly : TFrameDispatcher {
    uint64_t frames = 0;
    void CRCError() override {}
    void FrameChecked(const uint8_t*) override { ++frames; }
    void Deliver(const TDecodedReport&) override {}
    void LaserHeadFrame(const uint8_t*) override {}
};

void SetRateCounters(benchmark::State& state, size_t framesPerIteration) {
    const double frames = double(framesPerIteration) * double(state.iterations());
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["x_line_rate"] =
        benchmark::Counter(frames / LineRateFramesPerSecond, benchmark::Counter::kIsRate);
}

void BM_ReceivePath(benchmark::State& state) {
    const TStream& s = Stream();
    TLaser laser;
    TBenchDispatcher dispatcher;
    dispatcher.laser = &laser;
    for (auto _ : state) {
        TFrameExtractor extractor(dispatcher, QLocale::c());
        extractor.Feed(s.bytes.data(), s.bytes.size());
    }
    benchmark::DoNotOptimize(dispatcher.reports);
    SetRateCounters(state, s.frames);
    state.SetBytesProcessed(int64_t(s.bytes.size()) * state.iterations());
}
BENCHMARK(BM_ReceivePath)->Unit(benchmark::kMillisecond);

void BM_Extraction(benchmark::State& state) {
    static const TStream s = MixedStream(200000, BoardDSP);
    TCheckOnly dispatcher;
    for (auto _ : state) {
        TFrameExtractor extractor(dispatcher, QLocale::c());
        extractor.Feed(s.bytes.data(), s.bytes.size());
    }
    benchmark::DoNotOptimize(dispatcher.frames);
    SetRateCounters(state, s.frames);
}
BENCHMARK(BM_Extraction)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
    // Decoding alone, over the controller frames of the stream.
    const TStream& s = Stream();
    std::vector<TFrame> frames;
    for (size_t i = 0; i + 12 <= s.bytes.size() && frames.size() < 10000; ++i)
        if (s.bytes[i] == FrameStart && FrameChecksum(&s.bytes[i]) == s.bytes[i + 11] &&
            (s.bytes[i + 10] >> 4) != 4) {
            TFrame f;
            std::copy_n(&s.bytes[i], 12, f.begin());
            frames.push_back(f);
            i += 11;
        }
    const QLocale locale = QLocale::c();
    for (auto _ : state)
        for (const TFrame& f : frames)
            benchmark::DoNotOptimize(DecodeControllerFrame(f.data(), locale));
    SetRateCounters(state, frames.size());
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

// --- the thread at line rate --------------------------------------------------------------------

// The fake driver, noting the CPU clock of the thread that polls it.
struct TTimedFake : TFakeD2XX {
    std::atomic<bool> known{false};
    clockid_t pollerClock{};
    FT_STATUS GetQueueStatus(FT_HANDLE h, FT_DWORD* rx) override {
        if (!known.load(std::memory_order_acquire)) {
            pthread_getcpuclockid(pthread_self(), &pollerClock);
            known.store(true, std::memory_order_release);
        }
        return TFakeD2XX::GetQueueStatus(h, rx);
    }
};

struct TCountingReceiver : TControllerReceiver {
    uint64_t calls = 0;
    void CRCError() override { ++calls; }
    void AddErrorSignalSample(uint16_t) override { ++calls; }
    void AddServiceSample(int16_t) override { ++calls; }
    void AddTestSample(uint16_t, uint16_t, uint16_t, uint16_t) override { ++calls; }
    void AddFreqDiffSample(int32_t, uint16_t) override { ++calls; }
    void ShowTuningStatus(uint16_t) override { ++calls; }
    void ExpectedPeaks(uint16_t) override { ++calls; }
    void ChangePeakOffset(int16_t) override { ++calls; }
    void SetPeakLabelByIndex(int) override { ++calls; }
    void SwitchCFTCalibrationMode() override { ++calls; }
    void SetSpinValue(TSpinTarget, double) override { ++calls; }
    void SetLabelCaption(TLabelTarget, const QString&) override { ++calls; }
    void SetBarPosition(TBarTarget, int) override { ++calls; }
    void TickStabilizationCheck() override { ++calls; }
    void SetScopeScaleRow(int) override { ++calls; }
    void SetHarmonicRow(int) override { ++calls; }
    void ApplyHarmonicRule(bool) override { ++calls; }
    void Beep() override { ++calls; }
    void ErrorBeep() override { ++calls; }
};

double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void BM_ThreadAtLineRate(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const double seconds = 10;
    const bool feed = state.range(0) != 0;
    const TStream& s = Stream();
    TTimedFake fake;
    fake.SetDevices({"QRX-7A bench"});
    TConnection connection;
    QStringList names;
    connection.GetAvailableDevices(names);
    connection.SetDeviceID(QStringLiteral("QRX-7A bench"));
    connection.Connect();
    TConnection* previousConnection = Connection;
    Connection = &connection;
    TLaser laser;
    TLaser* previousLaser = Laser;
    Laser = &laser;

    for (auto _ : state) {
        TCountingReceiver receiver;
        QObject context;
        TReadILFrameThread reader(&receiver, &context);
        reader.start();
        while (!fake.known.load(std::memory_order_acquire))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));

        // Feed exactly line rate: every millisecond the bytes that are due by now.
        const auto start = Clock::now();
        const double cpuStart = CpuSeconds(fake.pollerClock);
        size_t sent = 0;
        for (;;) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            if (elapsed >= seconds)
                break;
            const size_t due =
                feed ? std::min(s.bytes.size(), size_t(elapsed * LineRateBytesPerSecond)) : 0;
            if (due > sent) {
                fake.QueueRx(QByteArray(reinterpret_cast<const char*>(s.bytes.data() + sent),
                                        qsizetype(due - sent)));
                sent = due;
            }
            QCoreApplication::processEvents(); // the GUI thread applies the reports
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double cpu = CpuSeconds(fake.pollerClock) - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        reader.Stop();
        QCoreApplication::processEvents();
        state.counters["recv_thread_cpu_percent"] = 100.0 * cpu / wall;
        state.counters["bytes_fed"] = double(sent);
        state.counters["frames_checked"] = double(reader.FramesChecked());
        state.counters["receiver_calls"] = double(receiver.calls);
        state.SetIterationTime(wall);
    }
    Laser = previousLaser;
    Connection = previousConnection;
    connection.Disconnect();
}
BENCHMARK(BM_ThreadAtLineRate)
    ->ArgName("feeding")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void BM_SleepOnly(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<bool> known{false};
        clockid_t clock{};
        std::thread sleeper([&] {
            pthread_getcpuclockid(pthread_self(), &clock);
            known = true;
            while (!stop)
                QThread::msleep(TReadILFrameThread::PollIntervalMs);
        });
        while (!known)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto start = Clock::now();
        const double cpuStart = CpuSeconds(clock);
        while (Clock::now() - start < std::chrono::seconds(10)) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double cpu = CpuSeconds(clock) - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        stop = true;
        sleeper.join();
        state.counters["sleep_thread_cpu_percent"] = 100.0 * cpu / wall;
        state.SetIterationTime(wall);
    }
}
BENCHMARK(BM_SleepOnly)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_PollCall(benchmark::State& state) {
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A bench"});
    TConnection connection;
    QStringList names;
    connection.GetAvailableDevices(names);
    connection.SetDeviceID(QStringLiteral("QRX-7A bench"));
    connection.Connect();
    int64_t n = 0;
    for (auto _ : state) {
        uint32_t queued = 0;
        connection.GetReadDataCount(queued);
        benchmark::DoNotOptimize(queued);
        if (++n % 65536 == 0)
            fake.ClearRecord(); // the fake records every call
    }
}
BENCHMARK(BM_PollCall);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
