// One real programming run against the simulated laser system on the steady clock, the way the
// firmware page runs it: the engine on a worker thread, the acknowledgements brought by the
// program's receive thread through TConnection, the simulated adapter holding short answers for
// its latency timer. A 2 KiB colon image goes into the controller's boot loader.
//
//   x_link_min       the whole run (reset, erase, data, completion) against the link's minimum
//                    for the same frames: every acknowledged frame and its answer, 24 bytes at
//                    11,520 bytes/s; the finish frame 12
//   data_x_link_min  the data phase alone (first address frame to the completion frame) against
//                    the minimum for its frames
//
// Argument: the adapter's latency timer in ms (16 as the program sets it, 5 the low setting),
// forced on the simulated adapter whatever the program asks for.

#include "../tests/protocol/RecordingReceiver.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "sim/SimulatorUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

constexpr double LineBytesPerS = 11520;
constexpr unsigned ImageBytes = 2048;

class TLatencySim : public TSimulatedLaserSystem {
public:
    TLatencySim(const TSimulatorOptions& o, uint8_t latencyMs)
        : TSimulatedLaserSystem(o), FLatencyMs(latencyMs) {}
    FT_STATUS SetLatencyTimer(FT_HANDLE h, uint8_t) override {
        return TSimulatedLaserSystem::SetLatencyTimer(h, FLatencyMs);
    }

private:
    uint8_t FLatencyMs;
};

QByteArray ImageByte(unsigned at) {
    return QByteArray::number((at * 7 + 3) & 0xFF, 16).toUpper().rightJustified(2, '0');
}

QString WriteImage(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("image2k.hex1"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    for (unsigned offset = 0; offset < ImageBytes; offset += 16) {
        unsigned sum = 16 + (offset >> 8) + (offset & 0xFF);
        QByteArray line =
            ":10" + QByteArray::number(offset, 16).toUpper().rightJustified(4, '0') + "00";
        for (unsigned i = 0; i < 16; ++i) {
            line += ImageByte(offset + i);
            sum += (offset + i) * 7 + 3;
        }
        line +=
            QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).toUpper().rightJustified(2, '0');
        f.write(line + "\r\n");
    }
    f.write(":00000001FF\r\n");
    return path;
}

QByteArray ExpectedImage() {
    QByteArray bytes;
    for (unsigned at = 0; at < ImageBytes; ++at)
        bytes += char((at * 7 + 3) & 0xFF);
    return bytes;
}

void BM_ProgramOnTheSimulator(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "firmware_sim_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    TSimulatorOptions options; // the steady clock, the boards streaming as they do
    TLatencySim sim(options, uint8_t(state.range(0)));
    sim.Install();
    Laser = new TLaser();
    Connection = new TConnection();
    QStringList names;
    Connection->GetAvailableDevices(names);
    Connection->SetDeviceID(names.value(0));
    TRecordingReceiver receiver;
    QObject context;
    QTemporaryDir dir;
    const QString image = WriteImage(dir);
    if (!Connection->Connect() || image.isEmpty()) {
        state.SkipWithError("no connection or no image");
    } else {
        StartILFrameReader(&receiver, &context);
        double runS = 0, minS = 0, dataS = 0, dataMinS = 0;
        int frames = 0;
        for (auto _ : state) {
            sim.ClearCommands();
            TFirmwareUpdater updater;
            updater.SetDevId(BoardController);
            UpdatingDeviceId.store(BoardController);
            std::atomic<bool> done{false};
            QElapsedTimer timer;
            timer.start();
            std::thread worker([&] {
                updater.Update(image);
                done.store(true);
            });
            while (!done.load()) {
                QCoreApplication::processEvents();
                QThread::msleep(1);
            }
            runS = double(timer.nsecsElapsed()) / 1e9;
            worker.join();
            UpdatingDeviceId.store(0);
            if (updater.Error() != _fue_none || updater.ProgrammingState() != 100 ||
                sim.Programmed(BoardController, 0, int(ImageBytes)) != ExpectedImage()) {
                state.SkipWithError("the run failed");
                break;
            }
            const std::vector<TSimCommand> sent = sim.Commands();
            frames = int(sent.size());
            int64_t dataStart = -1, dataEnd = -1;
            int dataFrames = 0, answered = 0;
            for (const TSimCommand& c : sent) {
                answered += c.Code != Cmd::FwFinish;
                if (c.Code == Cmd::FwAddress && dataStart < 0)
                    dataStart = c.TimeNs;
                if (c.Code == Cmd::FwAddress || c.Code == Cmd::FwData)
                    ++dataFrames;
                if (c.Code == Cmd::FwTransferCompleted)
                    dataEnd = c.TimeNs;
            }
            minS = (answered * 24.0 + (frames - answered) * 12.0) / LineBytesPerS;
            dataS = double(dataEnd - dataStart) / 1e9;
            dataMinS = dataFrames * 24.0 / LineBytesPerS;
        }
        StopILFrameReader();
        state.counters["frames"] = frames;
        state.counters["run_s"] = runS;
        state.counters["link_min_s"] = minS;
        state.counters["x_link_min"] = minS > 0 ? runS / minS : 0;
        state.counters["data_x_link_min"] = dataMinS > 0 ? dataS / dataMinS : 0;
    }
    Connection->Disconnect();
    TConnection* c = Connection;
    Connection = nullptr;
    delete c;
    TLaser* l = Laser;
    Laser = nullptr;
    delete l;
}

} // namespace

BENCHMARK(BM_ProgramOnTheSimulator)
    ->Arg(16)
    ->Arg(5)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);
