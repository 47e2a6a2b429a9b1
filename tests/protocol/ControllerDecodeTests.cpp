// Decoding of the controller boards' frames: payload position, signedness, scaling, texts and
// delivery mode of every code, and what the applier makes of them.
#include "RecordingReceiver.h"
#include "protocol/ControllerDecodeUnit.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using V = std::vector<std::string>;

V Decode(const TFrame& f, const QLocale& locale = QLocale::c()) {
    return Render(DecodeControllerFrame(f.data(), locale));
}
V Main(uint8_t code, uint16_t w0, uint16_t w1 = 0, uint16_t w2 = 0, uint16_t w3 = 0) {
    return Decode(BoardFrameW(1, code, w0, w1, w2, w3));
}
V DSP(uint8_t code, uint16_t w0, uint16_t w1 = 0, uint16_t w2 = 0, uint16_t w3 = 0) {
    return Decode(BoardFrameW(2, code, w0, w1, w2, w3));
}

} // namespace

TEST(ControllerBoardDecoding, StreamedReportsAndTheirDelivery) {
    EXPECT_EQ(Main(1, 17640), V{"S AddErrorSignalSample(17640)"});
    EXPECT_EQ(ErrorSignalChartValue(17640), 0);
    EXPECT_EQ(ErrorSignalChartValue(0), 17640);
    // the tuning state sits in b4-b5; b2-b3 are not used
    EXPECT_EQ(Main(3, 0x1234, 14), V{"S ShowTuningStatus(14)"});
    EXPECT_EQ(Main(4, 0x0163), V{"Q SetBarPosition(TuningMirror,99)"}); // b2 only
    EXPECT_EQ(Main(5, 7), V{"Q SetBarPosition(StabilizationMirror,7)"});
    EXPECT_EQ(Main(9, 0xFFFF), V{"Q AddServiceSample(-1)"});
    EXPECT_EQ(Decode(BoardFrame(1, 18, {12, 0x55})), V{"S SetLabelCaption(PeakId,12)"});
    EXPECT_EQ(Decode(BoardFrame(1, 123, {75, 0, 0, 0})), V{"Q SetLabelCaption(Lifetime,01:15)"});
}

TEST(ControllerBoardDecoding, PeakEventsLabelAndBeep) {
    EXPECT_EQ(Decode(BoardFrame(1, 6, {1, 6})), V{"Q SetPeakLabelByIndex(6) Beep()"});
    EXPECT_EQ(Decode(BoardFrame(1, 6, {2, 6})), V{"Q Beep()"});
    EXPECT_EQ(Decode(BoardFrame(1, 6, {3, 6})), V{"Q ErrorBeep()"});
    EXPECT_EQ(Decode(BoardFrame(1, 6, {0, 6})), V{});
    EXPECT_EQ(Decode(BoardFrame(1, 6, {4, 6})), V{});
}

TEST(ControllerBoardDecoding, PlainAnswersSetTheirSpinEdit) {
    const std::pair<uint8_t, const char*> rows[] = {
        {53, "Phase"},   {55, "Delay"},     {61, "P"},         {63, "I"},         {65, "D"},
        {67, "PidGain"}, {83, "CFTTemp10"}, {85, "CFTTemp40"}, {91, "Modulation"}};
    for (const auto& [code, name] : rows)
        EXPECT_EQ(Main(code, 40000), V{std::string("Q SetSpinValue(") + name + ",40000)"})
            << int(code);
    EXPECT_EQ(Main(59, 253), V{"Q SetSpinValue(CFT,25.3)"});
    EXPECT_EQ(Main(80, 3), V{"Q SetHarmonicRow(3)"});
    EXPECT_EQ(Main(89, 812), V{"Q SetLabelCaption(CFTRaw,CFT Raw: 812)"});
    EXPECT_EQ(Main(87, 5), V{"Q SetSpinValue(CFTOffset,5) SwitchCFTCalibrationMode()"});
}

TEST(ControllerBoardDecoding, PathGainAboveTwoThousandTicksStabilizationCheck) {
    EXPECT_EQ(Main(57, 2000), V{"Q SetSpinValue(PathGain,2000)"});
    EXPECT_EQ(Main(57, 2001), V{"Q SetSpinValue(PathGain,1) TickStabilizationCheck()"});
    EXPECT_EQ(Main(57, 0xFFFF), V{"Q SetSpinValue(PathGain,63535) TickStabilizationCheck()"});
}

TEST(ControllerBoardDecoding, SignedAnswers) {
    EXPECT_EQ(Decode(BoardFrame(1, 77, {0xF6, 0x12})), V{"Q SetSpinValue(SetPoint,-10)"});
    EXPECT_EQ(Decode(BoardFrame(1, 77, {0xFF, 0x00})), V{"Q SetSpinValue(SetPoint,-1)"});
    EXPECT_EQ(Main(93, 0xFF9C), V{"Q SetSpinValue(FOffset,-100) ChangePeakOffset(-100)"});
    EXPECT_EQ(Main(93, 0x7FFF), V{"Q SetSpinValue(FOffset,32767) ChangePeakOffset(32767)"});
    // 400000000 Hz = 0x17D78400
    EXPECT_EQ(Main(159, 0x8400, 0x17D7),
              (V{"Q SetSpinValue(FreqDifference1,400) SetSpinValue(FreqDifference2,400)"}));
    EXPECT_EQ(Decode(BoardFrame(1, 159, {0xA0, 0x1C, 0xE9, 0xFF})), // -1500000 Hz
              (V{"Q SetSpinValue(FreqDifference1,-1.5) SetSpinValue(FreqDifference2,-1.5)"}));
}

TEST(ControllerBoardDecoding, RowsAndMasksAreNotRangeChecked) {
    EXPECT_EQ(Main(69, 0), V{}); // a mask of 0 is ignored
    EXPECT_EQ(Main(69, 0x3FFF), V{"Q ExpectedPeaks(16383)"});
    EXPECT_EQ(Main(71, 0), V{"Q SetScopeScaleRow(-1)"});
    EXPECT_EQ(Main(71, 6), V{"Q SetScopeScaleRow(5)"});
    EXPECT_EQ(Main(80, 900), V{"Q SetHarmonicRow(900)"}); // the window ignores rows it lacks
}

TEST(ControllerBoardDecoding, EmptyHandlersUnknownCodesAndWriteCodesDoNothing) {
    for (uint8_t code : {2, 73, 0, 7, 54, 58, 94, 200, 246, 255})
        EXPECT_EQ(Main(code, 1234), V{}) << int(code);
}

TEST(ControllerBoardDecoding, FirmwareAnswersAreHandledOnTheReceiveThread) {
    EXPECT_EQ(Main(221, 0x1203), V{"Q SetLabelCaption(FirmwareVersionIL,IL 1.2.3)"});
    for (uint8_t code : {247, 248, 250, 251, 252, 253, 254})
        EXPECT_EQ(Main(code, 0x0F05), V{"R FirmwareAck(" + std::to_string(code) + ",5)"});
    EXPECT_EQ(Main(249, 0x37), V{"R FirmwareAck(249,55)"});
}

TEST(DSPDecoding, AnswersAreSynchronisedExceptTestValuesAndVersion) {
    EXPECT_EQ(DSP(200, 1, 2, 0xFFFF, 4), V{"Q AddTestSample(1,2,65535,4)"});
    EXPECT_EQ(DSP(201, 10, 20, 30, 40),
              (V{"S SetSpinValue(DSPP,10) SetSpinValue(DSPI,20) SetSpinValue(DSPD,30)"}));
    EXPECT_EQ(DSP(203, 0xFFFF, 0xFFFF), V{"S SetSpinValue(Lifetime,4294967295)"});
    EXPECT_EQ(DSP(205, 1, 2, 3), (V{"S SetSpinValue(MirrorSwing1,1) SetSpinValue(MirrorSwing2,2) "
                                    "SetSpinValue(MirrorSwing3,3)"}));
    EXPECT_EQ(DSP(208, 500), V{"S SetSpinValue(OutSignalPeriod,500)"});
    EXPECT_EQ(DSP(210, 2), V{"S SetSpinValue(MirrorsUsage,2)"});
    EXPECT_EQ(DSP(202, 1), V{}); // the write command's own code
    EXPECT_EQ(DSP(53, 1), V{});  // a main-board code
    EXPECT_EQ(DSP(249, 0x2A), V{"R FirmwareAck(249,42)"});
}

TEST(DSPDecoding, VersionAnswerIsDeliveredTwiceThenTheHarmonicRule) {
    EXPECT_EQ(DSP(221, 0x4401), (V{"Q SetLabelCaption(FirmwareVersionDSP,4.4.1)",
                                   "Q SetLabelCaption(FirmwareVersionDSP,4.4.1) "
                                   "ApplyHarmonicRule(keep)"}));
    EXPECT_EQ(DSP(221, 0x4400).at(1),
              "Q SetLabelCaption(FirmwareVersionDSP,4.4.0) ApplyHarmonicRule(cut)");
    // each part is compared on its own
    EXPECT_FALSE(KeepFourthHarmonic(0x4309)); // 4.3.9
    EXPECT_FALSE(KeepFourthHarmonic(0x5001)); // 5.0.1
    EXPECT_TRUE(KeepFourthHarmonic(0x55FF));  // 5.5.255
    EXPECT_FALSE(KeepFourthHarmonic(0x3F01)); // 3.15.1
}

TEST(FrequencyBoardDecoding, OnlyTheFrequencyReport) {
    // Exactly 0 Hz counted nothing: ignored whatever the power.
    EXPECT_EQ(Decode(BoardFrame(3, 166, {0, 0, 0, 0, 0xD1, 0x07})), V{});
    EXPECT_EQ(Decode(BoardFrame(3, 166, {1, 0, 0, 0, 0, 0})), V{"Q AddFreqDiffSample(1,0)"});
    EXPECT_EQ(Decode(BoardFrame(3, 166, {0xFB, 0xFF, 0xFF, 0xFF, 0xD1, 0x07})),
              V{"Q AddFreqDiffSample(-5,2001)"});
    for (uint8_t code : {1, 3, 247, 249, 252})
        EXPECT_EQ(Decode(BoardFrame(3, code, {1, 2, 3})), V{}) << int(code);
}

TEST(ControllerDecoding, OtherSendersDecodeToNothing) {
    for (uint8_t sender : {0, 4, 5, 15})
        EXPECT_EQ(Decode(BoardFrame(sender, 1, {1, 2})), V{}) << int(sender);
}

TEST(ControllerDecoding, EveryCodeOfEverySenderDecodesWithinItsCapacity) {
    // A report holds at most three operations and a frame two reports; any byte values fit.
    for (int sender = 0; sender < 16; ++sender)
        for (int code = 0; code < 256; ++code)
            for (uint8_t fill : {0x00, 0x7F, 0xFF}) {
                const TFrame f =
                    BoardFrame(static_cast<uint8_t>(sender), static_cast<uint8_t>(code),
                               {fill, fill, fill, fill, fill, fill, fill, fill});
                EXPECT_NO_THROW(DecodeControllerFrame(f.data(), QLocale::c()));
            }
}

TEST(ControllerTexts, FormatsAsTheWindowShowsThem) {
    EXPECT_EQ(LifetimeText(5), "00:05");
    EXPECT_EQ(LifetimeText(600), "10:00");
    EXPECT_EQ(LifetimeText(75), "01:15");
    EXPECT_EQ(LifetimeText(6001), "100:01");
    EXPECT_EQ(DSPFirmwareVersionText(0xFFFF), "15.15.255");
    EXPECT_EQ(ILFirmwareVersionText(0x0000), "IL 0.0.0");
    EXPECT_EQ(CFTValueText(253, QLocale::c()), "25.3");
    EXPECT_EQ(CFTValueText(253, QLocale(QLocale::German)), "25,3");
    EXPECT_EQ(CFTValueText(65535, QLocale(QLocale::English)), "6553.5"); // no digit grouping
    EXPECT_EQ(CFTValueText(7, QLocale::c()), "0.7");
    EXPECT_EQ(Decode(BoardFrameW(1, 8, 253), QLocale(QLocale::German)),
              V{"Q SetLabelCaption(CFTValue,25,3)"});
}

TEST(ControllerApply, AcknowledgementsReachTheFirmwareUpdaterStatusFirst) {
    TRecordingAckSink sink(1);
    TRecordingReceiver receiver;
    for (const TDecodedReport& r : DecodeControllerFrame(BoardFrame(1, 249, {0xA7}).data()))
        ApplyControllerReport(receiver, r);
    for (const TDecodedReport& r : DecodeControllerFrame(BoardFrame(2, 252, {0xA7}).data()))
        ApplyControllerReport(receiver, r);
    EXPECT_EQ(sink.Calls(), (V{"SetStatus(7)", "SetAckEvent(249)", "SetAckEvent(252)"}));
    EXPECT_EQ(receiver.Count(), 0u);
}
