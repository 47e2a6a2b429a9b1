// The laser-head service panel: what each button sends, how the answers fill the panel, the
// option boxes both ways, the serial number, the PID and DAC writes, and the state read.
#include "ServiceTestSupport.h"

#include <QLocale>
#include <QTest>
#include <QTimer>

namespace {

class ServicePanel : public ServiceFixture {
protected:
    void SetUp() override {
        Connect();
        MakeFrame();
    }
    TLHParameters& Params() { return *laser->LHParameters(); }
    TServiceStreamParams& Stream() { return *laser->ServiceParameters()->StreamParams(); }
    QComboBox* Box(const char* name) { return Find<QComboBox>(name); }
    // Types text into an editable box as the technician would (replacing what it shows).
    void Type(QComboBox* box, const QString& text) {
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
    }
};

} // namespace

TEST_F(ServicePanel, ReadButtonsSendTheirRequests) {
    const std::pair<const char*, uint8_t> reads[] = {
        {"LHSlopeReadButton", 145},
        {"LHEepromErrorCountReadButton", 146},
        {"LHArtOffsetReadButton", 9},
        {"LHLaserOperatingTimeReadButton", 149},
        {"LHLaserStartCountReadButton", 152},
        {"LHReadTimesButton", 148},
        {"LHReadFirmwareVersionButton", 155},
        {"LHHeaterOptionReadButton", 157},
        {"LHSerialNumberReadButton", 153},
        {"LHPIDReadParamButton", 39},
        {"LHStabilizationOptionReadButton", 162},
        {"LHDACReadButton", 4},
        {"LHWavelengthReadButton", 159},
        {"LHReadTestButton", 160},
    };
    for (const auto& [button, code] : reads) {
        Click(button);
        EXPECT_EQ(TakeOne(code), QByteArray(8, 0)) << button;
    }
}

TEST_F(ServicePanel, WriteButtonsSendTheSpinValuesCutToTheirSlot) {
    SetSpin("LHSlopeRealSpinEdit", 4660);
    Click("LHSlopeWriteButton");
    EXPECT_EQ(TakeOne(144), Bytes({0x34, 0x12, 0, 0, 0, 0, 0, 0}));
    SetSpin("LHArtOffsetRealSpinEdit", -1);
    Click("LHArtOffsetButton");
    EXPECT_EQ(TakeOne(8), Bytes({0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
    SetSpin("LHLaserOperatingTimeRealSpinEdit", 70000);
    Click("LHLaserOperatingTimeWriteButton");
    EXPECT_EQ(TakeOne(150), Bytes({0x70, 0x11, 0, 0, 0, 0, 0, 0}));
    SetSpin("LHLaserStartCountRealSpinEdit", 513);
    Click("LHLaserStartCountWriteButton");
    EXPECT_EQ(TakeOne(151), Bytes({0x01, 0x02, 0, 0, 0, 0, 0, 0}));
    SetSpin("LHEepromErrorCountRealSpinEdit", 3);
    Click("LHEepromErrorCountWriteButton");
    EXPECT_EQ(TakeOne(147), Bytes({3, 0, 0, 0, 0, 0, 0, 0}));
    SetSpin("LHChangeStabilizationModeRealSpinEdit", 258);
    Click("LHChangeStabilizationModeButton");
    EXPECT_EQ(TakeOne(6), Bytes({0x02, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ServicePanel, FrequencyDifferenceWriteStoresTheValueAndSendsIt) {
    SetSpin("LHWavelengthRealSpinEdit", 100000000);
    Click("LHWavelengthWriteButton");
    EXPECT_EQ(TakeOne(158), Bytes({0x00, 0xE1, 0xF5, 0x05, 0, 0, 0, 0}));
    EXPECT_EQ(Params().LaserWavelengthCalculator()->Wavelength(), 100000000.0);
}

TEST_F(ServicePanel, StatusBoxSwitchesTheStatusMode) {
    Click("LHStatusCheckBox");
    EXPECT_EQ(TakeOne(164), Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    Click("LHStatusCheckBox");
    EXPECT_EQ(TakeOne(164), Bytes({0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ServicePanel, OptionCodesSelectTheirRowsOrShowTheNumber) {
    QComboBox* heater = Box("LHHeaterOptionComboBox");
    Answer(0x9D, {255});
    EXPECT_EQ(heater->currentIndex(), 0);
    EXPECT_EQ(heater->currentText(), "undefined");
    Answer(0x9D, {2});
    EXPECT_EQ(heater->currentText(), "green");
    Answer(0x9D, {7});
    EXPECT_EQ(heater->currentIndex(), -1);
    EXPECT_EQ(heater->currentText(), "7");

    QComboBox* stabilization = Box("LHStabilizationOptionComboBox");
    Answer(0xA2, {3});
    EXPECT_EQ(stabilization->currentText(), "red long");
    Answer(0xA2, {4});
    EXPECT_EQ(stabilization->currentIndex(), -1);
    EXPECT_EQ(stabilization->currentText(), "4");
}

TEST_F(ServicePanel, OptionWritesSendTheRowOrTheTypedNumber) {
    QComboBox* heater = Box("LHHeaterOptionComboBox");
    heater->setCurrentIndex(1); // "normal"
    Click("LHHeaterOptionWriteButton");
    EXPECT_EQ(TakeOne(156), Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    heater->setCurrentIndex(0); // "undefined"
    Click("LHHeaterOptionWriteButton");
    EXPECT_EQ(TakeOne(156), Bytes({255, 0, 0, 0, 0, 0, 0, 0}));
    Type(heater, "12");
    Click("LHHeaterOptionWriteButton");
    EXPECT_EQ(TakeOne(156), Bytes({12, 0, 0, 0, 0, 0, 0, 0}));
    Type(heater, "x");
    Click("LHHeaterOptionWriteButton");
    EXPECT_EQ(TakeOne(156), Bytes({255, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(heater->count(), 3) << "typed text never becomes an item";

    QComboBox* stabilization = Box("LHStabilizationOptionComboBox");
    stabilization->setCurrentIndex(3); // "red long"
    Click("LHStabilizationOptionWriteButton");
    EXPECT_EQ(TakeOne(161), Bytes({3, 0, 0, 0, 0, 0, 0, 0}));
    Type(stabilization, "300"); // one byte: 300 mod 256
    Click("LHStabilizationOptionWriteButton");
    EXPECT_EQ(TakeOne(161), Bytes({44, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ServicePanel, OptionRulesWithoutWidgets) {
    EXPECT_EQ(TServiceLHView::OptionRow(255, 3), 0);
    EXPECT_EQ(TServiceLHView::OptionRow(2, 3), 2);
    EXPECT_EQ(TServiceLHView::OptionRow(3, 3), -1);
    EXPECT_EQ(TServiceLHView::OptionCode(-1, " 12 "), 12);
    EXPECT_EQ(TServiceLHView::OptionCode(-1, ""), 255);
    EXPECT_EQ(TServiceLHView::OptionCode(-1, "1.5"), 255);
    EXPECT_EQ(TServiceLHView::OptionCode(-1, "-1"), -1); // sent as FF
    EXPECT_EQ(TServiceLHView::OptionCode(0, "undefined"), 255);
    EXPECT_EQ(TServiceLHView::OptionCode(2, "green"), 2);
}

TEST_F(ServicePanel, SerialDigitTakesOnlyHexDigits) {
    QLineEdit* digit = Find<QLineEdit>("LHSerialNumberPart1Edit");
    EXPECT_EQ(digit->text(), "F");
    EXPECT_EQ(digit->maxLength(), 1);
    digit->clear();
    QTest::keyClicks(digit, "G");
    EXPECT_EQ(digit->text(), "");
    QTest::keyClicks(digit, "b");
    EXPECT_EQ(digit->text(), "b");
    QTest::keyClicks(digit, "-x ");
    EXPECT_EQ(digit->text(), "b");
    QTest::keyClick(digit, Qt::Key_Backspace);
    EXPECT_EQ(digit->text(), "");
    QTest::keyClicks(digit, "9A");
    EXPECT_EQ(digit->text(), "9") << "one digit";
}

TEST_F(ServicePanel, SerialNumberWritePacksModelThreeWithTheDigit) {
    QLineEdit* digit = Find<QLineEdit>("LHSerialNumberPart1Edit");
    digit->setText("A");
    SetSpin("LHSerialNumberPart2RealSpinEdit", 7);
    SetSpin("LHSerialNumberPart3RealSpinEdit", 23);
    Click("LHSerialNumberWriteButton");
    EXPECT_EQ(TakeOne(154), Bytes({0x3A, 0, 7, 0, 23, 0, 0, 0}));

    digit->setText("");
    Click("LHSerialNumberWriteButton");
    EXPECT_EQ(TakeOne(154), Bytes({0x30, 0, 7, 0, 23, 0, 0, 0})) << "no digit is 0";
    // Two typed digits never carry into the model: "10" is taken as its first digit.
    digit->clear();
    QTest::keyClicks(digit, "10");
    Click("LHSerialNumberWriteButton");
    EXPECT_EQ(TakeOne(154), Bytes({0x31, 0, 7, 0, 23, 0, 0, 0}));
    digit->setText("F");
    Click("LHSerialNumberWriteButton");
    EXPECT_EQ(TakeOne(154), Bytes({0x3F, 0, 7, 0, 23, 0, 0, 0}));
    for (const char* text : {"zz", "10", "FF", "-1"})
        EXPECT_EQ(TServiceLHView::SerialDigit(text), 0) << text;
}

TEST_F(ServicePanel, PidWriteStoresTheGainsThenSendsThem) {
    SetSpin("LHPIDParamPRealSpinEdit", 10);
    SetSpin("LHPIDParamIRealSpinEdit", 20);
    SetSpin("LHPIDParamDRealSpinEdit", 300);
    Click("LHPIDWriteParamButton");
    EXPECT_EQ(Params().FPID_P.load(), 10);
    EXPECT_EQ(Params().FPID_I.load(), 20);
    EXPECT_EQ(Params().FPID_D.load(), 300);
    // I in byte 2, P in byte 4: the values just stored, not the old zeros.
    EXPECT_EQ(TakeOne(7), Bytes({0x14, 0, 0x0A, 0, 0x2C, 0x01, 0, 0}));
}

TEST_F(ServicePanel, DacWriteStoresTheFourValuesThenSendsRegistersAndEeprom) {
    SetSpin("LHDACRegistryLaserTempRealSpinEdit", 100);
    SetSpin("LHDACRegistryCaseTempRealSpinEdit", 200);
    SetSpin("LHDACEepromLaserTempRealSpinEdit", 300);
    SetSpin("LHDACEepromCaseTempRealSpinEdit", 65535);
    Click("LHDACWriteButton");
    EXPECT_EQ(Params().FDACRegistryLaserTemp.load(), 100);
    EXPECT_EQ(Params().FDACRegistryCaseTemp.load(), 200);
    EXPECT_EQ(Params().FDACEepromLaserTemp.load(), 300);
    EXPECT_EQ(Params().FDACEepromCaseTemp.load(), 65535);
    const std::vector<QByteArray> frames = TakeFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(uint8_t(frames[0][1]), 2);
    EXPECT_EQ(frames[0].mid(2, 8), Bytes({100, 0, 200, 0, 0, 0, 0, 0}));
    EXPECT_EQ(uint8_t(frames[1][1]), 3);
    EXPECT_EQ(frames[1].mid(2, 8), Bytes({0x2C, 0x01, 0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST_F(ServicePanel, AnyAnswerRefreshesTheWholePanel) {
    Answer(0x91, {0xFF, 0xFF});
    Answer(0x09, {0xFF, 0xFF});
    Answer(0x99, {0x3F, 0, 7, 0, 23});
    Answer(0x9B, {2, 9, 0x1A});
    Answer(0x94, {0xFC, 0xCE, 0x38, 0x00, 0x00, 0x2A, 0x75, 0x15});
    Answer(0x95, {100, 0, 0, 0});
    Answer(0x9F, {0x00, 0xE1, 0xF5, 0x05});
    EXPECT_EQ(SpinText("LHSlopeRealSpinEdit"), "65535");
    EXPECT_EQ(SpinText("LHArtOffsetRealSpinEdit"), "-1");
    EXPECT_EQ(Find<QLineEdit>("LHSerialNumberPart1Edit")->text(), "F");
    EXPECT_EQ(SpinText("LHSerialNumberPart2RealSpinEdit"), "7");
    EXPECT_EQ(SpinText("LHSerialNumberPart3RealSpinEdit"), "23");
    EXPECT_EQ(Text("LHFirmwareVersionValueLabel"), "2.1A");
    EXPECT_EQ(Text("LHTimeFromStartValueLabel"), "01:02:03.004");
    EXPECT_EQ(Text("LHStabilizationTimeValueLabel"), "100:00:00.000");
    EXPECT_EQ(SpinText("LHLaserOperatingTimeRealSpinEdit"), "100");
    EXPECT_EQ(Text("LHLaserOperatingTimeValueLabel"), "1d 09:20");
    EXPECT_EQ(SpinText("LHWavelengthRealSpinEdit"), "100000000");
}

TEST_F(ServicePanel, TestValuesShowSixNumbers) {
    Answer(0xA0, {1, 0, 0xFE, 0xFF, 3, 0, 0xFC, 0xFF});
    EXPECT_EQ(Text("LHTestLabel"), "1 -2 3 -4 0 0");
}

TEST_F(ServicePanel, SignalAmplificationUsesTheLocaleSeparator) {
    {
        const TLocaleScope english{QLocale(QLocale::English)};
        Answer(0x27, {10, 20, 0x2C, 0x01, 8, 0, 5, 0});
        EXPECT_EQ(Text("LHSignalAmplificationValueLabel"), "Signal amp. 4.00");
        EXPECT_EQ(Text("LHSignalOffsetValueLabel"), "Signal offset 5");
    }
    {
        const TLocaleScope polish{QLocale(QLocale::Polish)};
        Answer(0x27, {10, 20, 0x2C, 0x01, 64, 0, 0xFB, 0xFF});
        EXPECT_EQ(Text("LHSignalAmplificationValueLabel"), "Signal amp. 0,50");
        EXPECT_EQ(Text("LHSignalOffsetValueLabel"), "Signal offset 65531");
    }
    EXPECT_EQ(SpinText("LHPIDParamPRealSpinEdit"), "10");
    EXPECT_EQ(SpinText("LHPIDParamDRealSpinEdit"), "300");
}

TEST_F(ServicePanel, StateReadShowsOnlyAnswersDecodedWhileItListens) {
    QComboBox* state = Box("LHLaserStateComboBox");
    ASSERT_EQ(state->count(), 15);
    EXPECT_EQ(state->itemText(0), "start");
    EXPECT_EQ(state->itemText(14), "high temp");

    Click("LHReadLaserParametersButton");
    EXPECT_EQ(TakeOne(1), QByteArray(8, 0));
    EXPECT_TRUE(frame->LHView->LaserStateReadOpen());
    EXPECT_EQ(Stream().ObserversCount(), 1);
    const QTimer* window = frame->LHView->findChild<QTimer*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->interval(), TServiceLHView::LaserStateReadMs);
    EXPECT_TRUE(window->isActive());

    Answer(0x01, {3});
    EXPECT_EQ(state->currentText(), "stabilization loop - ON");
    EXPECT_EQ(Text("LHRawLaserStateLabel"), "3");

    // Decoded inside the window, shown after it closed.
    Laser->DecodeFrame(LaserAnswer(0x01, {20}).data());
    frame->LHView->EndLaserStateRead();
    EXPECT_EQ(Stream().ObserversCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(state->currentText(), "measurement");
    EXPECT_EQ(Text("LHRawLaserStateLabel"), "20");

    // Decoded after the window: not shown.
    Answer(0x01, {7});
    EXPECT_EQ(Text("LHRawLaserStateLabel"), "20");
}

TEST_F(ServicePanel, StateReadTwiceListensOnce) {
    Click("LHReadLaserParametersButton");
    Click("LHReadLaserParametersButton");
    EXPECT_EQ(TakeFrames().size(), 2u);
    EXPECT_EQ(Stream().ObserversCount(), 1);
    frame->LHView->EndLaserStateRead();
    EXPECT_EQ(Stream().ObserversCount(), 0);
}

TEST_F(ServicePanel, StateWriteSendsTheSelectedStateOrMeasurement) {
    // At start nothing is selected in either box: 'Set' sends measurement, not a restart.
    EXPECT_EQ(Box("LHLaserStateComboBox")->currentIndex(), -1);
    EXPECT_EQ(Box("LHWavelengthPeakComboBox")->currentIndex(), -1);
    Click("LHSetLaserStateButton");
    EXPECT_EQ(TakeOne(100), Bytes({4, 0, 0, 0, 0, 0, 0, 0}));
    Box("LHLaserStateComboBox")->setCurrentIndex(14);
    Click("LHSetLaserStateButton");
    EXPECT_EQ(TakeOne(100), Bytes({14, 0, 0, 0, 0, 0, 0, 0}));
    Box("LHLaserStateComboBox")->setCurrentIndex(-1);
    Click("LHSetLaserStateButton");
    EXPECT_EQ(TakeOne(100), Bytes({4, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ServicePanel, PeakListHoldsTheFourteenPeaks) {
    QComboBox* peaks = Box("LHWavelengthPeakComboBox");
    ASSERT_EQ(peaks->count(), 14);
    EXPECT_TRUE(peaks->itemText(0).startsWith("a "));
    EXPECT_TRUE(peaks->itemText(13).startsWith("n "));
}

TEST_F(ServicePanel, HiddenPanelIgnoresAnswers) {
    frame->hide();
    Answer(0x91, {5});
    EXPECT_EQ(SpinText("LHSlopeRealSpinEdit"), ""); // still unread
    frame->show();
    Answer(0x91, {6});
    EXPECT_EQ(SpinText("LHSlopeRealSpinEdit"), "6");
}

TEST_F(ServicePanel, UpdatesPostedBeforeReleaseNeverRun) {
    Click("LHReadLaserParametersButton");
    TakeFrames();
    Laser->DecodeFrame(LaserAnswer(0x91, {5}).data());
    Laser->DecodeFrame(LaserAnswer(0x01, {3}).data());
    frame->Release();                               // frees the views, then runs what is pending
    EXPECT_EQ(SpinText("LHSlopeRealSpinEdit"), ""); // still unread
    EXPECT_EQ(Text("LHRawLaserStateLabel"), "--");
    EXPECT_TRUE(frame->isHidden());
    EXPECT_FALSE(frame->LHView);
    EXPECT_EQ(Params().ObserversCount(), 0);
    EXPECT_EQ(Stream().ObserversCount(), 0);
    // Buttons do nothing once the views are gone.
    Click("LHSlopeReadButton");
    EXPECT_TRUE(TakeFrames().empty());
}
