// The program's laser-head model against the simulated laser head: the model's own senders write,
// the model's own decoder reads the answers back. Two independent codings of the same frames.

#include "SimTestSupport.h"

#include "laser/LaserDeviceUnit.h"

#include <gtest/gtest.h>

namespace {

void Decode(TLaser& laser, const std::vector<TRxFrame>& frames) {
    for (const TRxFrame& f : frames)
        if (f.Sender() == 4)
            laser.DecodeFrame(f.b);
}

TEST(SimLaserModel, WhatTheModelWritesItReadsBackThroughItsDecoder) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    TLaser laser;
    TLHParameters& p = *laser.LHParameters();

    p.SendSetArtOffsetFrame(-1);
    p.SendSetSlopeFrame(65535);
    p.SendSetLaserOperationTimeFrame(70000); // cut to 16 bits: 4464
    p.SendSetLaserStartCountFrame(77);
    p.SendSetEepormErrorCountFrame(5);
    p.SendSetSerialNumberFrame(TLHSerialNumber{3, 15, 7, 23});
    p.SendSetHeaterOptionsFrame(2);
    p.SendSetStabilizationOptionsFrame(3);
    p.SendSetWavelengthFrame(123456789.5); // to even: 123456790
    p.FPID_P = 10;
    p.FPID_I = 20;
    p.FPID_D = 300;
    p.SendSetPIDParamFrame();
    p.FDACRegistryLaserTemp = 40000;
    p.FDACRegistryCaseTemp = 41000;
    p.FDACEepromLaserTemp = 42000;
    p.FDACEepromCaseTemp = 43000;
    p.SendWriteDACParametersFrame();
    link.Pump(20);

    // Forget everything, then read it all back.
    TLaser fresh;
    TLHParameters& q = *fresh.LHParameters();
    q.SendGetArtOffsetFrame();
    q.SendGetSlopeFrame();
    q.SendGetLaserOperationTimeFrame();
    q.SendGetLaserStartCountFrame();
    q.SendGetEepormErrorCountFrame();
    q.SendGetSerialNumberFrame();
    q.SendGetHeaterOptionsFrame();
    q.SendGetStabilizationOptionsFrame();
    q.SendGetWavelengthFrame();
    q.SendGetPIDParamFrame();
    q.SendReadDACParametersFrame();
    q.SendGetFirmwareVersionFrame();
    q.SendGetTimesFrame();
    Decode(fresh, link.Pump(100));

    EXPECT_EQ(q.FArtOffset.load(), -1);
    EXPECT_EQ(q.FSlope.load(), 65535u);
    EXPECT_EQ(q.FLaserOperationTime.load(), 4464u);
    EXPECT_EQ(q.FLaserStartCount.load(), 77u);
    EXPECT_EQ(q.FEEpromErrorCount.load(), 5u);
    EXPECT_EQ(q.FSerialNumber.load(), (TLHSerialNumber{3, 15, 7, 23}));
    EXPECT_EQ(q.FHeaterOption.load(), 2u);
    EXPECT_EQ(q.FStabilizationOption.load(), 3u);
    EXPECT_EQ(q.LaserWavelengthCalculator()->Wavelength(), 123456790.0);
    EXPECT_EQ(q.FPID_P.load(), 10);
    EXPECT_EQ(q.FPID_I.load(), 20);
    EXPECT_EQ(q.FPID_D.load(), 300);
    EXPECT_EQ(q.FSignalAmplification.load(), 4.0);
    EXPECT_EQ(q.FDACRegistryLaserTemp.load(), 40000);
    EXPECT_EQ(q.FDACRegistryCaseTemp.load(), 41000);
    EXPECT_EQ(q.FDACEepromLaserTemp.load(), 42000);
    EXPECT_EQ(q.FDACEepromCaseTemp.load(), 43000);
    EXPECT_NE(q.FFirmwareVersion.load().Model, 0);
    EXPECT_GT(q.FTimeFromStart.load(), 0u);
}

TEST(SimLaserModel, TheModelSeesTheLaserHeadReachMeasurement) {
    TSimLink link;
    ASSERT_TRUE(link.Connect());
    TLaser laser;
    TServiceStreamParams& stream = *laser.ServiceParameters()->StreamParams();
    std::vector<TLaserState> seen;
    for (int i = 0; i < 30; ++i) {
        stream.SendGetServiceStreamParamsFrame();
        Decode(laser, link.Pump(20));
        if (seen.empty() || seen.back() != stream.FState.load())
            seen.push_back(stream.FState.load());
    }
    EXPECT_EQ(seen, (std::vector<TLaserState>{
                        TLaserState::_start, TLaserState::_preheating, TLaserState::_laser_heating,
                        TLaserState::_stabilization_loop_ON, TLaserState::_measurement}));
    EXPECT_NEAR(TServiceStreamParams::LaserTemperatureToCelsius(stream.FLaserTemperature), 40.0,
                0.5);
    EXPECT_NEAR(TServiceStreamParams::CasingTemperatureToCelsius(stream.FCasingTemperature), 30.0,
                0.5);

    // On reaching measurement the head reports its wavelength on its own.
    EXPECT_NEAR(laser.ServiceParameters()->LaserWavelengthCalculator()->Wavelength(),
                299792458000.0 / (473612353.597 + 150), 1e-5);

    stream.ChangeLaserState(TLaserState::_error);
    stream.SendGetServiceStreamParamsFrame();
    Decode(laser, link.Pump(30));
    EXPECT_EQ(stream.FState.load(), TLaserState::_error);
}

} // namespace
