// Time to program a 64 KiB colon image, as a multiple of the link's minimum for the same frames
// (every acknowledged frame and its answer: 24 bytes at 11,520 bytes/s; the finish frame 12).
//
// The run is the real engine, its frames written through TConnection to a fake adapter; time is
// simulated by a model of the link in place of the engine's clock:
//   - the PC's frames reach the board at the line rate, one after another;
//   - the boot loader answers 1 ms after a frame's last byte (a reset after 300 ms, an erase
//     after 1500 ms), its 12 answer bytes again at the line rate;
//   - the adapter hands fewer than 62 bytes to the PC only when its latency timer, started by
//     the first byte it holds, runs out (16 ms by default, 5 ms as the low setting);
//   - the receive thread looks every 3 ms.
// The wall time of a benchmark iteration is the engine's own cost of the whole run.

#include "firmware/FirmwareUpdaterUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "support/FakeD2XX.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr double LineBytesPerMs = 11.52;
constexpr double FrameMs = 12 / LineBytesPerMs;
constexpr double AnswerDelayMs = 1;
constexpr double RebootMs = 300;
constexpr double EraseMs = 1500;
constexpr double PollMs = 3;
constexpr int AdapterPacketBytes = 62;

class TLinkModel : public TFirmwareClock {
public:
    TLinkModel(TFakeD2XX& fake, double latencyMs) : FFake(fake), FLatencyMs(latencyMs) {}

    uint64_t NowMs() override { return static_cast<uint64_t>(FNow); }
    void Sleep(uint32_t ms) override { Run(FNow + ms, false); }
    void WaitUntil(std::condition_variable&, std::unique_lock<std::mutex>& lock,
                   uint64_t deadlineMs) override {
        lock.unlock();
        Run(double(deadlineMs), true);
        lock.lock();
    }

    double Now() const { return FNow; }
    int Frames() const { return FFrames; }
    int Answered() const { return FAnswered; }

private:
    void Collect() {
        const QByteArray w = FFake.Written();
        FFake.ClearRecord();
        for (qsizetype at = 0; at + 12 <= w.size(); at += 12) {
            const uint8_t code = uint8_t(w[at + 1]);
            ++FFrames;
            FLineOutFree = std::max(FLineOutFree, FNow) + FrameMs;
            double answerAt = FLineOutFree + AnswerDelayMs;
            uint8_t answer = code;
            if (code == Cmd::FwReset) {
                answerAt = FLineOutFree + RebootMs;
                answer = TFirmwareUpdater::ResetAnswer;
            } else if (code == Cmd::FwErase) {
                answerAt = FLineOutFree + EraseMs;
            } else if (code == Cmd::FwFinish) {
                continue;
            }
            ++FAnswered;
            const double first = std::max(answerAt, FLineBackFree);
            FLineBackFree = first + FrameMs;
            // 12 bytes never fill the adapter's packet: the latency timer hands them over.
            static_assert(12 < AdapterPacketBytes);
            const double handed = std::max(first + FLatencyMs, FLineBackFree);
            const double seen = std::ceil(handed / PollMs) * PollMs;
            FPending.emplace(seen, answer);
        }
    }
    void Run(double until, bool firstOnly) {
        Collect();
        while (!FPending.empty() && FPending.begin()->first <= until) {
            FNow = std::max(FNow, FPending.begin()->first);
            const uint8_t code = FPending.begin()->second;
            FPending.erase(FPending.begin());
            DeliverFirmwareAck(code, 0);
            if (firstOnly)
                return;
        }
        FNow = std::max(FNow, until);
    }

    TFakeD2XX& FFake;
    double FLatencyMs;
    double FNow = 0;
    double FLineOutFree = 0;
    double FLineBackFree = 0;
    int FFrames = 0;
    int FAnswered = 0;
    std::multimap<double, uint8_t> FPending;
};

QString WriteImage(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("image64k.hex"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    for (unsigned offset = 0; offset < 0x10000; offset += 16) {
        unsigned sum = 16 + (offset >> 8) + (offset & 0xFF);
        QByteArray line =
            ":10" + QByteArray::number(offset, 16).toUpper().rightJustified(4, '0') + "00";
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned b = (offset + i * 7) & 0xFF;
            line += QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
            sum += b;
        }
        line +=
            QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).toUpper().rightJustified(2, '0');
        f.write(line + "\r\n");
    }
    f.write(":00000001FF\r\n");
    return path;
}

void BM_Program64KiB(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "firmware_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const double latencyMs = double(state.range(0));
    TFakeD2XX fake;
    fake.SetDevices({"QRX-7A bench"});
    TConnection connection;
    QStringList names;
    connection.GetAvailableDevices(names);
    connection.SetDeviceID(QStringLiteral("QRX-7A bench"));
    if (!connection.Connect()) {
        state.SkipWithError("no connection");
        return;
    }
    Connection = &connection;
    QTemporaryDir dir;
    const QString image = WriteImage(dir);

    double modelled = 0, minimum = 0;
    int frames = 0;
    for (auto _ : state) {
        fake.ClearRecord();
        auto model = std::make_shared<TLinkModel>(fake, latencyMs);
        TFirmwareUpdater updater;
        updater.SetClock(model);
        updater.SetDevId(BoardController);
        updater.Update(image);
        if (updater.Error() != _fue_none || updater.ProgrammingState() != 100) {
            state.SkipWithError("run failed");
            break;
        }
        modelled = model->Now() / 1000.0;
        frames = model->Frames();
        minimum = (model->Answered() * 24.0 + (frames - model->Answered()) * 12.0) /
                  (LineBytesPerMs * 1000.0);
    }
    Connection = nullptr;
    state.counters["frames"] = frames;
    state.counters["modelled_s"] = modelled;
    state.counters["link_min_s"] = minimum;
    state.counters["x_link_min"] = modelled / minimum;
    // Frames the engine handles per second of its own time, as a multiple of the line rate.
    state.counters["engine_x960"] =
        benchmark::Counter(frames / 960.0, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_Program64KiB)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(3);
