// The service frame itself: its controls by name and caption, and its life on the service page.
#include "ServiceTestSupport.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class LaserFrame : public ServiceFixture {
protected:
    void SetUp() override { MakeFrame(); }
};

} // namespace

TEST_F(LaserFrame, EveryButtonIsCaptionedAsTheTechnicianKnowsIt) {
    for (const char* name :
         {"LHSlopeReadButton", "LHEepromErrorCountReadButton", "LHArtOffsetReadButton",
          "LHLaserOperatingTimeReadButton", "LHLaserStartCountReadButton", "LHReadTimesButton",
          "LHReadFirmwareVersionButton", "LHHeaterOptionReadButton", "LHSerialNumberReadButton",
          "LHPIDReadParamButton", "LHStabilizationOptionReadButton", "LHDACReadButton",
          "LHReadLaserParametersButton", "LHWavelengthReadButton", "LHReadTestButton"})
        EXPECT_EQ(Find<QPushButton>(name)->text(), "Read") << name;
    for (const char* name :
         {"LHSlopeWriteButton", "LHEepromErrorCountWriteButton", "LHArtOffsetButton",
          "LHLaserOperatingTimeWriteButton", "LHLaserStartCountWriteButton",
          "LHHeaterOptionWriteButton", "LHSerialNumberWriteButton", "LHPIDWriteParamButton",
          "LHStabilizationOptionWriteButton", "LHDACWriteButton", "LHWavelengthWriteButton"})
        EXPECT_EQ(Find<QPushButton>(name)->text(), "Write") << name;
    EXPECT_EQ(Find<QPushButton>("LHSetLaserStateButton")->text(), "Set");
    EXPECT_EQ(Find<QPushButton>("LHChangeStabilizationModeButton")->text(), "Set");
    EXPECT_EQ(Find<QCheckBox>("LHStatusCheckBox")->text(), "Status");
    EXPECT_EQ(Find<QCheckBox>("ServiceShowChartCheckBox")->text(), "ShowChart");
    EXPECT_EQ(Find<QCheckBox>("ServiceShowFramesCheckBox")->text(), "ShowFrames");
    EXPECT_EQ(Find<QPushButton>("ServiceClearFramesButton")->text(), "ClearFrames");
    EXPECT_EQ(Find<QGroupBox>("ServiceSendFrameGroupBox")->title(), "SendFrame");
}

TEST_F(LaserFrame, FieldsStartAsTheTechnicianExpects) {
    EXPECT_EQ(Text("LHTimeFromStartValueLabel"), "--");
    EXPECT_EQ(Text("LHStabilizationTimeValueLabel"), "--");
    EXPECT_EQ(Text("LHRawLaserStateLabel"), "--");
    EXPECT_EQ(Text("LHTestLabel"), "--");
    EXPECT_EQ(Text("LHSerialNumberPart1Label"), "3");
    EXPECT_EQ(Text("LHWavelengthResultLabel"), "Peak");
    EXPECT_EQ(Find<QComboBox>("LHHeaterOptionComboBox")->currentText(), "undefined");
    EXPECT_EQ(Find<QComboBox>("LHStabilizationOptionComboBox")->currentText(), "undefined");
    EXPECT_TRUE(Find<QComboBox>("LHHeaterOptionComboBox")->isEditable());
    EXPECT_FALSE(Find<QComboBox>("LHWavelengthPeakComboBox")->isEditable());
    // Whole numbers; the bounded fields refuse a minus sign.
    const std::pair<const char*, double> bounded[] = {{"LHSerialNumberPart2RealSpinEdit", 255},
                                                      {"LHSerialNumberPart3RealSpinEdit", 255},
                                                      {"LHPIDParamPRealSpinEdit", 255},
                                                      {"LHPIDParamIRealSpinEdit", 255},
                                                      {"LHDACRegistryLaserTempRealSpinEdit", 65535},
                                                      {"LHDACEepromCaseTempRealSpinEdit", 65535}};
    for (const auto& [name, max] : bounded) {
        TRealSpinEdit* spin = Find<TRealSpinEdit>(name);
        EXPECT_EQ(spin->MaxValue(), max) << name;
        EXPECT_FALSE(spin->Minus()) << name;
        EXPECT_EQ(spin->Precision(), 0) << name;
    }
    EXPECT_TRUE(Find<TRealSpinEdit>("LHArtOffsetRealSpinEdit")->Minus());
    EXPECT_EQ(Find<TRealSpinEdit>("LHArtOffsetRealSpinEdit")->MaxValue(), 0);
    EXPECT_FALSE(Find<TRealSpinEdit>("LHWavelengthRealSpinEdit")->Minus());
}

TEST_F(LaserFrame, InitFillsThePageAndSubscribesThePanel) {
    EXPECT_EQ(frame->parentWidget(), page.get());
    EXPECT_FALSE(frame->isHidden());
    EXPECT_TRUE(frame->LHView && frame->ChartView && frame->SendFrameView);
    EXPECT_EQ(laser->LHParameters()->ObserversCount(), 1);
    EXPECT_EQ(frame->geometry(), page->rect());
    page->show();
    page->resize(1200, 700);
    EXPECT_EQ(frame->geometry(), page->rect()) << "it follows the page";

    // A page with a layout takes the frame into it.
    QWidget sheet;
    auto* layout = new QVBoxLayout(&sheet);
    TLaserFrame* other = new TLaserFrame(&sheet);
    other->Init();
    EXPECT_EQ(layout->indexOf(other), 0);
    other->Release();
    delete other;
}

TEST_F(LaserFrame, ReleaseFreesTheViewsAndHidesTheFrame) {
    Find<QCheckBox>("ServiceShowChartCheckBox")->click();
    Find<QCheckBox>("ServiceShowFramesCheckBox")->click();
    EXPECT_EQ(laser->ServiceParameters()->StreamParams()->ObserversCount(), 1);
    EXPECT_EQ(log->ObserversCount(), 1);
    frame->Release();
    EXPECT_FALSE(frame->LHView || frame->ChartView || frame->SendFrameView);
    EXPECT_TRUE(frame->isHidden());
    EXPECT_EQ(laser->LHParameters()->ObserversCount(), 0);
    EXPECT_EQ(laser->ServiceParameters()->StreamParams()->ObserversCount(), 0);
    EXPECT_EQ(log->ObserversCount(), 0);
    // The boxes do nothing without their views.
    Find<QCheckBox>("ServiceShowChartCheckBox")->click();
    Find<QPushButton>("ServiceClearFramesButton")->click();
}

TEST_F(LaserFrame, FreeingWithoutReleaseLeavesNoSubscription) {
    Find<QCheckBox>("ServiceShowChartCheckBox")->click();
    page.reset();
    frame = nullptr;
    EXPECT_EQ(laser->LHParameters()->ObserversCount(), 0);
    EXPECT_EQ(laser->ServiceParameters()->StreamParams()->ObserversCount(), 0);
}
