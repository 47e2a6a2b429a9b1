// Decoding of the laser head's answer frames into the model, and the notifications that follow.
#include "LaserTestSupport.h"
#include "laser/LaserDeviceUnit.h"
#include "protocol/FirmwareAckUnit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TRecordingAckSink : TFirmwareAckSink {
    std::vector<std::string> events;
    void SetAckEvent(int32_t frameId) override {
        events.push_back("ack " + std::to_string(frameId));
    }
    void SetStatus(uint8_t status) override {
        events.push_back("status " + std::to_string(status));
    }
    int32_t devId() const override { return BoardLaserHead; }
};

// Every value the model holds, in one comparable list.
std::vector<double> Fingerprint(const TLaser& l) {
    const TLHParameters& p = *l.LHParameters();
    const TServiceStreamParams& s = *l.ServiceParameters()->StreamParams();
    const TLHSerialNumber sn = p.FSerialNumber, fw = p.FFirmwareVersion;
    return {double(p.FArtOffset),
            double(p.FSlope),
            double(p.FEEpromErrorCount),
            double(p.FTimeFromStart),
            double(p.FStabilizationTime),
            double(p.FLaserOperationTime),
            double(p.FLaserStartCount),
            double(sn.Model),
            double(sn.Number),
            double(sn.Month),
            double(sn.Year),
            double(fw.Model),
            double(fw.Number),
            double(p.FHeaterOption),
            double(p.FPID_P),
            double(p.FPID_I),
            double(p.FPID_D),
            p.FSignalAmplification,
            double(p.FSignalOffset),
            double(p.FDACRegistryLaserTemp),
            double(p.FDACRegistryCaseTemp),
            double(p.FDACEepromLaserTemp),
            double(p.FDACEepromCaseTemp),
            double(p.FStabilizationOption),
            double(p.FTest1),
            double(p.FTest2),
            double(p.FTest3),
            double(p.FTest4),
            double(p.FTest5),
            double(p.FTest6),
            p.LaserWavelengthCalculator()->Wavelength(),
            l.ServiceParameters()->LaserWavelengthCalculator()->Wavelength(),
            double(s.FCasingTemperatureError),
            double(s.FStabilizationError),
            double(s.FCasingTemperature),
            double(s.FLaserTemperature),
            double(static_cast<int>(s.FState.load())),
            double(s.FRawState)};
}

struct LaserDecode : ::testing::Test {
    TLaser laser;
    TCountingObserver lh, stream, service;
    TRecordingAckSink sink;

    void SetUp() override {
        laser.LHParameters()->AddObserver(&lh);
        laser.ServiceParameters()->StreamParams()->AddObserver(&stream);
        laser.ServiceParameters()->AddObserver(&service);
        FirmwareAckSink = &sink;
    }
    void TearDown() override { FirmwareAckSink = nullptr; }

    void Decode(uint8_t code, std::initializer_list<uint8_t> payload = {}) {
        const TFrame f = LaserAnswer(code, payload);
        laser.DecodeFrame(f.data());
    }
    TLHParameters& P() { return *laser.LHParameters(); }
    TServiceStreamParams& S() { return *laser.ServiceParameters()->StreamParams(); }
    // Notifications per subject: {parameters, stream, service}.
    std::vector<int> Counts() const { return {lh.count, stream.count, service.count}; }
};

} // namespace

TEST_F(LaserDecode, StatusStreamFillsTheStreamedStateAndNotifiesItOnly) {
    Decode(0x01, {3, 0xC8, 0x34, 0x12, 0x53, 0x0A, 0xFF, 0xFF});
    EXPECT_EQ(S().FRawState, 3);
    EXPECT_EQ(S().FState, TLaserState::_stabilization_loop_ON);
    EXPECT_EQ(S().FCasingTemperatureError, 200); // one unsigned byte
    EXPECT_EQ(S().FStabilizationError, 0x1234);
    EXPECT_EQ(S().FCasingTemperature, 2643);
    EXPECT_EQ(S().FLaserTemperature, 65535); // unsigned 16 bits
    EXPECT_EQ(S().GetCasingTemperatureAsString(), QStringLiteral("25.0 \u00B0C"));
    EXPECT_EQ(Counts(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(stream.last, &S());

    Decode(0x01, {20});
    EXPECT_EQ(S().FRawState, 20);
    EXPECT_EQ(S().FState, TLaserState::_measurement);
    EXPECT_EQ(S().GetRawStateAsString(), QStringLiteral("20"));
}

TEST_F(LaserDecode, ParameterAnswersStoreTheirFieldsAndNotifyTheParameterSet) {
    Decode(0x04, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF, 0xFF});
    EXPECT_EQ(P().FDACEepromLaserTemp, 0x0201);
    EXPECT_EQ(P().FDACEepromCaseTemp, 0x0403);
    EXPECT_EQ(P().FDACRegistryLaserTemp, 0x0605);
    EXPECT_EQ(P().FDACRegistryCaseTemp, 65535);

    Decode(0x09, {0xFF, 0xFF});
    EXPECT_EQ(P().FArtOffset, -1);
    Decode(0x91, {0xFF, 0xFF});
    EXPECT_EQ(P().FSlope, 65535u);
    Decode(0x92, {0x10, 0x27});
    EXPECT_EQ(P().FEEpromErrorCount, 10000u);

    Decode(0x94, {0xFC, 0xCE, 0x38, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(P().FTimeFromStart, 3723004u);
    EXPECT_EQ(P().FStabilizationTime, 0xFFFFFFFFu);
    Decode(0x95, {0x64, 0x00, 0x00, 0x80});
    EXPECT_EQ(P().FLaserOperationTime, 0x80000064u);
    Decode(0x98, {0x39, 0x30, 0x77});
    EXPECT_EQ(P().FLaserStartCount, 12345u);

    Decode(0x9D, {2, 9});
    EXPECT_EQ(P().FHeaterOption, 2u);
    Decode(0xA2, {255});
    EXPECT_EQ(P().FStabilizationOption, 255u);

    Decode(0xA0, {0x00, 0x80, 0xFF, 0x7F, 0xFE, 0xFF, 0x05, 0x00});
    EXPECT_EQ(P().FTest1, -32768);
    EXPECT_EQ(P().FTest2, 32767);
    EXPECT_EQ(P().FTest3, -2);
    EXPECT_EQ(P().FTest4, 5);
    EXPECT_EQ(P().FTest5, 0);
    EXPECT_EQ(P().FTest6, 0);

    EXPECT_EQ(Counts(), (std::vector<int>{10, 0, 0}));
    EXPECT_EQ(lh.last, &P());
}

TEST_F(LaserDecode, SerialNumberAndFirmwareVersionUseOnlyTheirNamedBytes) {
    Decode(0x99, {0x3F, 0xAA, 7, 0xBB, 23, 0xCC, 0xDD, 0xEE});
    const TLHSerialNumber sn = P().FSerialNumber;
    EXPECT_EQ(sn, (TLHSerialNumber{3, 15, 7, 23}));

    Decode(0x9B, {0x02, 0x09, 0x1A, 0x77});
    const TLHSerialNumber fw = P().FFirmwareVersion;
    EXPECT_EQ(fw.Model, 2);
    EXPECT_EQ(fw.Number, 0x1A);
    EXPECT_EQ(Counts(), (std::vector<int>{2, 0, 0}));
}

TEST_F(LaserDecode, PidAnswerAmplificationZeroKeepsThePreviousValue) {
    Decode(0x27, {10, 20, 0x2C, 0x01, 0x08, 0x00, 0xFE, 0xFF});
    EXPECT_EQ(P().FPID_P, 10);
    EXPECT_EQ(P().FPID_I, 20);
    EXPECT_EQ(P().FPID_D, 300);
    EXPECT_DOUBLE_EQ(P().FSignalAmplification, 4.0);
    EXPECT_EQ(P().FSignalOffset, 65534); // unsigned

    Decode(0x27, {1, 2, 3, 0, 0x00, 0x00, 7, 0});
    EXPECT_DOUBLE_EQ(P().FSignalAmplification, 4.0);
    EXPECT_EQ(P().FPID_P, 1); // the rest of the frame is still stored
    EXPECT_EQ(P().FPID_D, 3);
    EXPECT_EQ(P().FSignalOffset, 7);

    Decode(0x27, {0, 0, 0, 0, 64, 0});
    EXPECT_DOUBLE_EQ(P().FSignalAmplification, 0.5);
    EXPECT_EQ(lh.count, 3);
}

TEST_F(LaserDecode, WavelengthAnswersGoToTheirOwnCalculators) {
    // Frequency difference of the laser head: unsigned, hertz.
    Decode(0x9F, {0x00, 0xE1, 0xF5, 0x05});
    EXPECT_DOUBLE_EQ(P().LaserWavelengthCalculator()->Wavelength(), 100000000.0);
    Decode(0x9F, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_DOUBLE_EQ(P().LaserWavelengthCalculator()->Wavelength(), 4294967295.0);
    EXPECT_EQ(Counts(), (std::vector<int>{2, 0, 0}));

    // The unrequested report: signed, divided by one million, into the service parameters.
    Decode(0x0F, {0x40, 0x42, 0x0F, 0x00});
    const TLaserWavelengthCalculator* sc = laser.ServiceParameters()->LaserWavelengthCalculator();
    EXPECT_DOUBLE_EQ(sc->Wavelength(), 1.0);
    Decode(0x0F, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_DOUBLE_EQ(sc->Wavelength(), -0.000001);
    EXPECT_EQ(Counts(), (std::vector<int>{2, 0, 2}));
    EXPECT_EQ(service.last, laser.ServiceParameters());
    EXPECT_DOUBLE_EQ(P().LaserWavelengthCalculator()->Wavelength(), 4294967295.0);
}

TEST_F(LaserDecode, ObserversSeeTheWholeFrameStoredWhenNotified) {
    std::vector<double> seen;
    lh.probe = [&](TSubject*) {
        seen = {double(P().FTimeFromStart), double(P().FStabilizationTime)};
    };
    Decode(0x94, {1, 0, 0, 0, 2, 0, 0, 0});
    EXPECT_EQ(seen, (std::vector<double>{1, 2}));

    lh.probe = [&](TSubject*) {
        seen = {double(P().FDACEepromLaserTemp), double(P().FDACRegistryCaseTemp)};
    };
    Decode(0x04, {9, 0, 0, 0, 0, 0, 8, 0});
    EXPECT_EQ(seen, (std::vector<double>{9, 8}));

    lh.probe = [&](TSubject*) {
        seen = {double(P().FPID_P), P().FSignalAmplification, double(P().FSignalOffset)};
    };
    Decode(0x27, {5, 0, 0, 0, 16, 0, 3, 0});
    EXPECT_EQ(seen, (std::vector<double>{5, 2.0, 3}));

    stream.probe = [&](TSubject*) {
        const TServiceStreamSnapshot s = S().Snapshot();
        seen = {double(s.RawState), double(s.CasingTemperatureError), double(s.StabilizationError),
                double(s.CasingTemperature), double(s.LaserTemperature)};
    };
    Decode(0x01, {4, 1, 2, 0, 3, 0, 4, 0});
    EXPECT_EQ(seen, (std::vector<double>{4, 1, 2, 3, 4}));
    EXPECT_EQ(Counts(), (std::vector<int>{3, 1, 0}));
}

TEST_F(LaserDecode, FrequencyDifferenceHookRunsAfterTheNotificationWithTheStoredValue) {
    std::vector<std::string> order;
    lh.probe = [&](TSubject*) { order.push_back("notify"); };
    std::vector<double> values;
    laser.SetFreqDifferenceHandler([&](double hz) {
        order.push_back("hook");
        values.push_back(hz);
    });
    Decode(0x9F, {0x00, 0xE1, 0xF5, 0x05});
    EXPECT_EQ(order, (std::vector<std::string>{"notify", "hook"}));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_DOUBLE_EQ(values[0] / 1000000, 100.0); // the spin edits show MHz

    // Only the frequency-difference answer calls it.
    Decode(0x0F, {1});
    Decode(0x91, {1});
    EXPECT_EQ(values.size(), 1u);

    laser.SetFreqDifferenceHandler({});
    Decode(0x9F, {1});
    EXPECT_EQ(values.size(), 1u);
}

TEST_F(LaserDecode, FirmwareAnswersReachTheUpdaterAndNoSubject) {
    Decode(0xF9, {0x35});
    for (uint8_t code : {0xF7, 0xF8, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE})
        Decode(code, {0x35});
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{"status 5", "ack 249", "ack 247", "ack 248", "ack 250",
                                        "ack 251", "ack 252", "ack 253", "ack 254"}));
    EXPECT_EQ(Counts(), (std::vector<int>{0, 0, 0}));
}

TEST_F(LaserDecode, WriteCodesAndUnknownCodesChangeNothing) {
    // A model with something in every frame-filled field.
    Decode(0x01, {2, 1, 1, 1, 1, 1, 1, 1});
    Decode(0x04, {1, 1, 1, 1, 1, 1, 1, 1});
    Decode(0x09, {1});
    Decode(0x0F, {1});
    Decode(0x27, {1, 1, 1, 1, 1, 1, 1, 1});
    Decode(0x91, {1});
    Decode(0x92, {1});
    Decode(0x94, {1, 1, 1, 1, 1, 1, 1, 1});
    Decode(0x95, {1});
    Decode(0x98, {1});
    Decode(0x99, {0x11, 0, 1, 0, 1});
    Decode(0x9B, {1, 0, 1});
    Decode(0x9D, {1});
    Decode(0x9F, {1});
    Decode(0xA0, {1, 1, 1, 1, 1, 1, 1, 1});
    Decode(0xA2, {1});
    const std::vector<double> before = Fingerprint(laser);
    const std::vector<int> counts = Counts();
    int hooks = 0;
    laser.SetFreqDifferenceHandler([&](double) { ++hooks; });

    const uint8_t ignored[] = {2,    3,    6,    7,    8,    100,  144,  147,  150,  151,
                               154,  156,  158,  161,  164,  0x96, 0x00, 0x05, 0x0E, 0x10,
                               0x26, 0x90, 0x9A, 0x9E, 0xA1, 0xA3, 0xF6, 0xFF};
    for (uint8_t code : ignored)
        Decode(code, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Fingerprint(laser), before);
    EXPECT_EQ(Counts(), counts);
    EXPECT_EQ(hooks, 0);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(LaserDecode, EveryCodeWithAnyPayloadIsSafe) {
    for (int code = 0; code < 256; ++code)
        for (uint8_t fill : {0x00, 0x7F, 0x80, 0xFF}) {
            const TFrame f = LaserAnswer(static_cast<uint8_t>(code),
                                         {fill, fill, fill, fill, fill, fill, fill, fill});
            laser.DecodeFrame(f.data());
        }
    laser.DecodeFrame(nullptr);
    // 16 answer codes notify one subject each, four payloads apiece.
    EXPECT_EQ(lh.count + stream.count + service.count, 16 * 4);
}

// The receive thread decodes without pause while the GUI thread reads the model, writes the
// fields the service panel writes, subscribes views and swaps the frequency-difference hook.
TEST_F(LaserDecode, ReceiveThreadDecodesWhileTheGuiThreadReadsAndSubscribes) {
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::thread receive([&] {
        uint8_t n = 0;
        while (!stop) {
            ++n;
            Decode(0x01, {n, n, n, n, n, n, n, n});
            Decode(0x27, {n, n, n, n, n, n, n, n});
            Decode(0x99, {n, 0, n, 0, n});
            Decode(0x9F, {n, n, n, n});
            ++frames;
        }
    });

    std::atomic<int> lateHooks{0};
    int rounds = 0;
    for (; rounds < 500 || frames < 500; ++rounds) {
        TCountingObserver view;
        P().AddObserver(&view);
        S().AddObserver(&view);

        auto cleared = std::make_shared<std::atomic<bool>>(false);
        laser.SetFreqDifferenceHandler([cleared, &lateHooks](double) {
            if (*cleared)
                ++lateHooks;
        });

        // What the views read and the service panel writes.
        const TServiceStreamSnapshot snap = S().Snapshot();
        EXPECT_EQ(snap.CasingTemperatureError, snap.RawState); // one frame, never two
        (void)S().GetStateAsString();
        (void)P().FSerialNumber.load();
        (void)P().FSignalAmplification.load();
        P().FPID_P = rounds;
        P().LaserWavelengthCalculator()->SetWavelength(rounds);

        laser.SetFreqDifferenceHandler({});
        *cleared = true;
        S().RemoveObserver(&view);
        P().RemoveObserver(&view);
    }
    stop = true;
    receive.join();
    EXPECT_EQ(lateHooks, 0);
    EXPECT_EQ(lh.count, 3 * frames.load());
    EXPECT_EQ(stream.count, frames.load());
}
