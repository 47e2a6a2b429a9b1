// The program's own link, receive thread, decoders and firmware engine against the simulated
// laser system in a process of its own (halvane-sim --pty), through the kernel's tty layer:
// the kernel-driver transport opens the pseudo-terminal as it would /dev/ttyUSBn.
#include "../protocol/RecordingReceiver.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "laser/LaserUnit.h"
#include "link/ConnectionUnit.h"
#include "link/SerialPortUnit.h"
#include "protocol/CommandSequenceUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "protocol/SendFrameUnit.h"
#include "sim/SimPtyUnit.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

// The kernel-driver transport for one path, counting every byte the program wrote.
class TCountingPort : public TSerialPortD2XXTable {
public:
    FT_STATUS Write(FT_HANDLE h, const void* b, FT_DWORD n, FT_DWORD* written) override {
        const FT_STATUS s = TSerialPortD2XXTable::Write(h, b, n, written);
        if (s == FT_OK)
            Bytes += *written;
        return s;
    }
    std::atomic<uint64_t> Bytes{0};
};

// Waits for a boot loader in another process last 25 times the program's limits: a starved
// simulator still answers in time, a board that never answers still ends the run in an error.
class TPatientClock : public TSteadyFirmwareClock {
public:
    uint64_t NowMs() override { return TSteadyFirmwareClock::NowMs() / 25; }
};

struct PtyEndToEnd : ::testing::Test {
    QProcess Sim;
    QString Path;
    TCountingPort Port;
    TRecordingReceiver Receiver;
    QObject Context;
    bool Reading = false;

    // Starts halvane-sim and connects the program's link to the path it prints.
    void Start(const QStringList& extra = {}) {
        Sim.setProgram(QStringLiteral(HALVANE_SIM_PATH));
        Sim.setArguments(QStringList{"--pty", "--quick"} + extra);
        Sim.start();
        ASSERT_TRUE(Sim.waitForStarted(10000));
        for (int i = 0; i < 100 && !Sim.canReadLine(); ++i)
            Sim.waitForReadyRead(100);
        Path = QString::fromLocal8Bit(Sim.readLine()).trimmed();
        ASSERT_TRUE(Path.startsWith("/dev/pts/")) << Path.toStdString();

        Port.SetFixedPort(Path, 111111);
        D2XX::SetTable(&Port);
        Laser = new TLaser();
        Connection = new TConnection();
        QStringList names;
        Connection->GetAvailableDevices(names);
        ASSERT_EQ(names, QStringList{"QRX-7A on " + Path});
        Connection->SetDeviceID(names.front());
        ASSERT_TRUE(Connection->Connect());
        StartILFrameReader(&Receiver, &Context);
        Reading = true;
    }

    void TearDown() override {
        if (Reading)
            StopILFrameReader(); // before the connection closes
        if (Connection)
            Connection->Disconnect();
        TConnection* c = Connection;
        Connection = nullptr;
        delete c;
        TLaser* l = Laser;
        Laser = nullptr;
        delete l;
        D2XX::SetTable(nullptr);
        if (Sim.state() != QProcess::NotRunning) {
            Sim.kill();
            Sim.waitForFinished(5000);
        }
    }

    // Serves the receive thread's calls on this (the GUI) thread until done() or maxMs.
    bool PumpUntil(int maxMs, const std::function<bool()>& done) {
        for (int t = 0; t < maxMs; t += 5) {
            QCoreApplication::processEvents();
            if (done())
                return true;
            QThread::msleep(5);
        }
        QCoreApplication::processEvents();
        return done();
    }

    bool Saw(const std::string& prefix) const {
        const auto calls = Receiver.Calls();
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    // The arguments of every call of one name, in order (the calls with one number).
    std::vector<int> Values(const std::string& name) const {
        std::vector<int> values;
        for (const std::string& c : Receiver.Calls())
            if (c.rfind(name + "(", 0) == 0)
                values.push_back(std::stoi(c.substr(name.size() + 1)));
        return values;
    }
    // The tuning states in the order they were shown, each once (a state is also repeated).
    std::vector<int> TuningStates() const {
        std::vector<int> states = Values("ShowTuningStatus");
        states.erase(std::unique(states.begin(), states.end()), states.end());
        return states;
    }
    int CountOf(const std::string& prefix) const {
        const auto calls = Receiver.Calls();
        return int(std::count_if(calls.begin(), calls.end(),
                                 [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
    }

    // Ends halvane-sim with SIGTERM and returns its closing line.
    QString Stop() {
        Sim.terminate();
        EXPECT_TRUE(Sim.waitForFinished(10000));
        EXPECT_EQ(Sim.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(Sim.exitCode(), 0);
        return QString::fromLocal8Bit(Sim.readAllStandardOutput()).trimmed();
    }
};

QString WriteImage(const QTemporaryDir& dir, unsigned bytes) {
    const QString path = dir.filePath(QStringLiteral("image.hex1"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    auto hex2 = [](unsigned v) {
        return QByteArray::number(v & 0xFF, 16).toUpper().rightJustified(2, '0');
    };
    for (unsigned offset = 0; offset < bytes; offset += 16) {
        unsigned sum = 16 + (offset >> 8) + (offset & 0xFF);
        QByteArray line = ":10" + hex2(offset >> 8) + hex2(offset) + "00";
        for (unsigned i = 0; i < 16; ++i) {
            line += hex2((offset + i) * 7 + 3);
            sum += (offset + i) * 7 + 3;
        }
        f.write(line + hex2(0x100 - (sum & 0xFF)) + "\r\n");
    }
    f.write(":00000001FF\r\n");
    return path;
}

} // namespace

TEST_F(PtyEndToEnd, ConnectRequestsComeBackAndEveryFrameArrivesWhole) {
    Start();
    SendConnectRequests();
    ASSERT_TRUE(PumpUntil(15000, [&] {
        return Saw("SetSpinValue(FOffset") && Saw("SetScopeScaleRow(") && Saw("SetHarmonicRow(") &&
               Saw("ExpectedPeaks(") && Saw("SetLabelCaption(FirmwareVersionDSP");
    })) << ::testing::PrintToString(Receiver.Calls());
    ASSERT_TRUE(PumpUntil(10000, [&] { return CountOf("AddErrorSignalSample(") >= 50; }));
    EXPECT_FALSE(Saw("CRCError"));

    // The simulator's own count of what reached it matches what the program wrote. The answer
    // to one more request means every frame written before it has crossed the line.
    const int versions = CountOf("SetLabelCaption(FirmwareVersionDSP");
    SendParamsFrame(BoardDSP, Cmd::DSPGetFirmwareVersion);
    ASSERT_TRUE(
        PumpUntil(10000, [&] { return CountOf("SetLabelCaption(FirmwareVersionDSP") > versions; }));
    StopILFrameReader();
    Reading = false;
    const uint64_t frames = Port.Bytes.load() / 12;
    EXPECT_EQ(Port.Bytes.load() % 12, 0u);
    const QString line = Stop();
    const QRegularExpression summary(
        QStringLiteral("^received (\\d+) frames, (\\d+) with a bad checksum; sent (\\d+) frames$"));
    const auto m = summary.match(line);
    ASSERT_TRUE(m.hasMatch()) << line.toStdString();
    EXPECT_EQ(m.captured(1).toULongLong(), frames);
    EXPECT_EQ(m.captured(2).toULongLong(), 0u);
    EXPECT_GT(m.captured(3).toULongLong(), 50u);
}

TEST_F(PtyEndToEnd, AutomaticSearchLocksOnTheChosenPeak) {
    Start();
    SendConnectRequests();
    // Each step goes out once the one before has ended, so that the states are certain.
    ASSERT_TRUE(PumpUntil(15000, [&] { return !TuningStates().empty(); }));
    SendParamsFrame(BoardController, Cmd::StartStep1, 1);
    ASSERT_TRUE(PumpUntil(15000, [&] { return TuningStates().size() >= 3; }))
        << ::testing::PrintToString(TuningStates());
    SendParamsFrame(BoardController, Cmd::StartStep2, 1);
    ASSERT_TRUE(PumpUntil(15000, [&] { return TuningStates().size() >= 6; }))
        << ::testing::PrintToString(TuningStates());
    SendParamsFrame(BoardController, Cmd::GoToPeak, 6);
    ASSERT_TRUE(PumpUntil(10000, [&] { return TuningStates().size() >= 9; }))
        << ::testing::PrintToString(TuningStates());
    // Idle; prepare, idle; start, learning, idle; wait, lock try, locked.
    EXPECT_EQ(TuningStates(), (std::vector<int>{0, 7, 0, 1, 6, 0, 11, 2, 3}));
    EXPECT_TRUE(Saw("SetLabelCaption(PeakId,6)"));
    EXPECT_FALSE(Saw("CRCError"));
}

TEST_F(PtyEndToEnd, FirmwareGoesIntoTheBootLoaderThroughTheTty) {
    Start();
    QTemporaryDir dir;
    const QString image = WriteImage(dir, 1024);
    ASSERT_FALSE(image.isEmpty());
    TFirmwareUpdater updater;
    updater.SetClock(std::make_shared<TPatientClock>());
    updater.SetDevId(BoardController);
    UpdatingDeviceId.store(BoardController);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        updater.Update(image);
        done.store(true);
    });
    PumpUntil(60000, [&] { return done.load(); });
    worker.join();
    UpdatingDeviceId.store(0);
    EXPECT_EQ(updater.Error(), _fue_none) << updater.GetErrorAsString().toStdString();
    EXPECT_EQ(updater.ProgrammingState(), 100);
}

TEST_F(PtyEndToEnd, KillingTheSimulatorMidStreamIsAVanishedDevice) {
    Start();
    ASSERT_TRUE(PumpUntil(10000, [&] { return CountOf("AddErrorSignalSample(") >= 20; }));
    Sim.kill(); // no goodbye: the far end of the line is simply gone
    ASSERT_TRUE(Sim.waitForFinished(5000));
    uint32_t n = 1;
    ASSERT_TRUE(PumpUntil(10000, [&] { return !Connection->GetReadDataCount(n); }));
    for (int i = 0; i < 3; ++i) { // and it stays gone, for every call
        uint8_t buf[12] = {};
        n = 12;
        EXPECT_FALSE(Connection->Read(buf, n));
        EXPECT_EQ(n, 0u);
        n = 12;
        EXPECT_FALSE(Connection->Send(buf, n));
        EXPECT_FALSE(Connection->GetReadDataCount(n));
    }
    // Once the receive thread's own poll has failed, no read of before the loss is still being
    // cut into frames: what it delivered is all served here, and nothing comes after.
    ASSERT_TRUE(PumpUntil(10000, [&] { return ILFrameReader->Error(); }));
    QCoreApplication::processEvents();
    const int samples = CountOf("AddErrorSignalSample(");
    PumpUntil(200, [] { return false; }); // the receive thread keeps polling, and finds nothing
    EXPECT_EQ(CountOf("AddErrorSignalSample("), samples);
    EXPECT_TRUE(Connection->Connected()); // as with the vendor library: no state change here
    StopILFrameReader();
    Reading = false;
    EXPECT_TRUE(Connection->Disconnect());
}

TEST_F(PtyEndToEnd, LineNoiseAndPartialFramesAreResynchronised) {
    Start({"--line-noise=7"}); // random bytes holding a start marker after every 7th frame
    SendConnectRequests();
    ASSERT_TRUE(PumpUntil(15000, [&] {
        return Saw("SetSpinValue(FOffset") && Saw("SetLabelCaption(FirmwareVersionDSP") &&
               CountOf("AddErrorSignalSample(") >= 100;
    })) << ::testing::PrintToString(Receiver.Calls());
    // The noise reached the program. The counters are read once the receive thread has ended: a
    // read's dropped bytes are counted when all of it is cut into frames, not as they are found.
    ILFrameReader->Stop();
    EXPECT_GT(ILFrameReader->CRCErrors(), 0u);
    EXPECT_GT(ILFrameReader->BytesDropped(), 0u);
    EXPECT_TRUE(Saw("CRCError()"));
    // The decoded values are the real ones: no sample was cut from noise (the idle error signal
    // keeps to one level with a noise of 60 counts; noise bytes would fall anywhere in 0 .. 65535).
    for (const std::string& c : Receiver.Calls())
        if (c.rfind("SetLabelCaption(FirmwareVersionDSP", 0) == 0) {
            EXPECT_NE(c.find("4.4.1"), std::string::npos) << c;
        }
    std::vector<int> samples = Values("AddErrorSignalSample"); // at least 100, as waited for
    std::sort(samples.begin(), samples.end());
    const int median = samples[samples.size() / 2];
    EXPECT_LE(std::max(median - samples.front(), samples.back() - median), 600)
        << ::testing::PrintToString(samples);
}

TEST(SimPtyCommandLine, OptionsReachTheSimulatedSystem) {
    const TSimPtyRequest r =
        ParseSimPtyArguments({"halvane-sim", "--pty", "--simulator=222222", "--quick",
                              "--latency-ms=5", "--error-period-ms=1", "--error-frames=20",
                              "--line-bytes-per-second=115200", "--line-noise=7"});
    EXPECT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
    EXPECT_TRUE(r.Pty);
    EXPECT_TRUE(r.Options.SecondModel);
    EXPECT_EQ(r.Options.IodineWarmUpMs, 0);
    EXPECT_EQ(r.LatencyMs, 5);
    EXPECT_EQ(r.Options.ErrorSignalPeriodMs, 1);
    EXPECT_EQ(r.Options.ErrorSignalFrames, 20);
    EXPECT_EQ(r.Options.LineBytesPerSecond, 115200);
    EXPECT_EQ(r.Faults.GarbageEveryFrames, 7);
    for (const char* bad : {"--latency-ms=soon", "--simulator=333333", "--frobnicate"})
        EXPECT_FALSE(ParseSimPtyArguments({"halvane-sim", "--pty", bad}).Error.isEmpty()) << bad;
    EXPECT_FALSE(ParseSimPtyArguments({"halvane-sim"}).Pty);
}
