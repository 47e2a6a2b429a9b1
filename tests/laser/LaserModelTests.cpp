// Model values and their texts: serial-number packing, peak table, laser states, temperatures,
// time texts; texts are checked under a "." and a "," locale.
#include "LaserTestSupport.h"
#include "laser/LaserUnit.h"
#include "laser/UtilsUnit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const QLocale Dot(QLocale::English, QLocale::UnitedStates);
const QLocale Comma(QLocale::German, QLocale::Germany);
} // namespace

TEST(LaserSerialNumber, PackingIsModelTimesSixteenPlusNumberModulo256) {
    EXPECT_EQ((TLHSerialNumber{3, 15, 0, 0}).GetRawModelAndNumber(), 0x3F);
    EXPECT_EQ((TLHSerialNumber{3, 0x1F, 0, 0}).GetRawModelAndNumber(), 0x4F);
    EXPECT_EQ((TLHSerialNumber{255, 255, 0, 0}).GetRawModelAndNumber(), (255 * 16 + 255) % 256);
    EXPECT_EQ((TLHSerialNumber{16, 0, 0, 0}).GetRawModelAndNumber(), 0);

    TLHSerialNumber sn{0, 0, 9, 9};
    sn.SetRawModelAndNumber(0xA7);
    EXPECT_EQ(sn, (TLHSerialNumber{0x0A, 0x07, 9, 9}));
    TLHParameters p;
    p.AddRawSerialNumber(0x3F, 7, 23);
    EXPECT_EQ(p.FSerialNumber.load(), (TLHSerialNumber{3, 15, 7, 23}));
}

TEST(LaserPeakCalculator, PeakLinesFollowTheTableAndTheLocale) {
    TLaserWavelengthCalculator c;
    const double table[14] = {473612514.636, 473612505.805, 473612497.711, 473612379.821,
                              473612366.960, 473612353.597, 473612340.399, 473612236.644,
                              473612214.705, 473612193.136, 473612084.755, 473612076.711,
                              473612060.904, 473612051.891};
    for (int i = 0; i < 14; ++i)
        EXPECT_NEAR(c.PeakFrequency(i), table[i], 1e-6) << i;

    {
        const TLocaleScope l(Dot);
        const QStringList lines = c.GetPeakList();
        ASSERT_EQ(lines.size(), 14);
        EXPECT_EQ(lines.first(), QStringLiteral("a 473612514.636"));
        EXPECT_EQ(lines[4], QStringLiteral("e 473612366.960"));
        EXPECT_EQ(lines[12], QStringLiteral("m 473612060.904"));
        EXPECT_EQ(lines.last(), QStringLiteral("n 473612051.891"));
    }
    {
        const TLocaleScope l(Comma); // no grouping, only the separator changes
        const QStringList lines = c.GetPeakList();
        EXPECT_EQ(lines[12], QStringLiteral("m 473612060,904"));
    }
}

TEST(LaserPeakCalculator, AddPeakToSpaceGivesTheWavelengthOfAPeak) {
    const TLocaleScope l(Dot);
    TLaserWavelengthCalculator c;
    EXPECT_EQ(c.Space(), 0);
    EXPECT_EQ(c.Wavelength(), 0.0);

    EXPECT_DOUBLE_EQ(c.AddPeakToSpace(8), 473612214.705);
    EXPECT_NEAR(c.Wavelength(), 632.991398, 5e-7);
    EXPECT_EQ(c.GetWavelengthAsString(), QStringLiteral("632.991398"));
    EXPECT_DOUBLE_EQ(c.AddPeakToSpace(0), 473612514.636);
    EXPECT_NEAR(c.Wavelength(), 632.990997, 5e-7);

    const double before = c.Wavelength();
    EXPECT_EQ(c.AddPeakToSpace(-1), 0.0);
    EXPECT_EQ(c.AddPeakToSpace(14), 0.0);
    EXPECT_EQ(c.Wavelength(), before);

    c.SetSpace(-100);
    EXPECT_DOUBLE_EQ(c.AddPeakToSpace(13), 473612051.891 - 100);
    EXPECT_DOUBLE_EQ(c.Wavelength(), 299792458000.0 / (473612051.891 - 100));

    // A frequency difference in hertz has more digits than the text keeps.
    c.SetWavelength(100000000.0);
    EXPECT_EQ(c.GetWavelengthAsString(), QStringLiteral("100000000.000000"));
    const TLocaleScope comma(Comma);
    c.SetWavelength(1.25);
    EXPECT_EQ(c.GetWavelengthAsString(), QStringLiteral("1,250000"));
}

TEST(LaserStates, StateNumbersAboveFourteenShowAsMeasurementButKeepTheirRawNumber) {
    TServiceStreamParams s;
    EXPECT_EQ(s.FState, TLaserState::_start);
    EXPECT_EQ(s.GetStateAsString(), QStringLiteral("start"));
    s.SetState(3);
    EXPECT_EQ(s.GetStateAsString(), QStringLiteral("stabilization loop - ON"));
    EXPECT_EQ(s.GetRawStateAsString(), QStringLiteral("3"));
    s.SetState(14);
    EXPECT_EQ(s.GetStateAsString(), QStringLiteral("high temp"));
    s.SetState(15);
    EXPECT_EQ(s.FState, TLaserState::_measurement);
    EXPECT_EQ(s.GetRawStateAsString(), QStringLiteral("15"));
    s.SetState(255);
    EXPECT_EQ(s.GetStateAsString(), QStringLiteral("measurement"));
    EXPECT_EQ(s.GetRawStateAsString(), QStringLiteral("255"));
    s.SetState(-1);
    EXPECT_EQ(s.FState, TLaserState::_measurement);
}

TEST(LaserStates, TextsAndTheirExactLookup) {
    const QStringList all = TServiceStreamParams::GetAllStatesAsStringList();
    EXPECT_EQ(all, (QStringList{"start", "preheating", "laser heating", "stabilization loop - ON",
                                "measurement", "programming", "LH laser temp stab",
                                "unable to work", "not used", "pomiar check", "jump",
                                "phase change up", "phase change down", "error", "high temp"}));
    for (int i = 0; i < all.size(); ++i)
        EXPECT_EQ(static_cast<int>(TServiceStreamParams::StringToLaserState(all[i])), i);
    EXPECT_EQ(TServiceStreamParams::StringToLaserState(QStringLiteral("High temp")),
              TLaserState::_measurement);
    EXPECT_EQ(TServiceStreamParams::StringToLaserState(QString()), TLaserState::_measurement);
    EXPECT_EQ(TServiceStreamParams::StringToLaserState(QStringLiteral("start ")),
              TLaserState::_measurement);
}

TEST(LaserTemperatures, ConversionsToDegreesCelsius) {
    TServiceStreamParams s;
    {
        const TLocaleScope l(Dot);
        s.FCasingTemperature = 2643;
        EXPECT_EQ(s.GetCasingTemperatureAsString(), QStringLiteral("25.0 \u00B0C"));
        s.FLaserTemperature = 2370;
        EXPECT_EQ(s.GetLaserTemperatureAsString(), QStringLiteral("0.0 \u00B0C"));
        s.FCasingTemperatureError = 0;
        EXPECT_EQ(s.GetCasingTemperatureErrorAsString(), QStringLiteral("-50.0 \u00B0C"));
        s.FCasingTemperatureError = 682 + 1365; // +100.0
        EXPECT_EQ(s.GetCasingTemperatureErrorAsString(), QStringLiteral("100.0 \u00B0C"));
        s.FLaserTemperature = 2369; // -0.0916
        EXPECT_EQ(s.GetLaserTemperatureAsString(), QStringLiteral("-0.1 \u00B0C"));
        // The offset is taken off without overflow, whatever the raw value.
        EXPECT_DOUBLE_EQ(TServiceStreamParams::CasingTemperatureToCelsius(INT32_MIN),
                         (double(INT32_MIN) - 2370) / 10.92);
    }
    const TLocaleScope l(Comma);
    s.FCasingTemperature = 65535;
    EXPECT_EQ(s.GetCasingTemperatureAsString(), QStringLiteral("5784,3 \u00B0C"));
    // A value that rounds to zero carries no sign.
    EXPECT_EQ(TServiceStreamParams::CelsiusToString(-0.04), QStringLiteral("0,0 \u00B0C"));
}

TEST(LaserTemperatures, RawTextsAreDecimalWithoutGrouping) {
    const TLocaleScope l(Comma);
    TServiceStreamParams s;
    s.FCasingTemperature = 12345;
    s.FCasingTemperatureError = -7;
    s.FLaserTemperature = 65535;
    s.FStabilizationError = 1000;
    EXPECT_EQ(s.GetRawCasingTemperatureAsString(), QStringLiteral("12345"));
    EXPECT_EQ(s.GetRawCasingTemperatureErrorAsString(), QStringLiteral("-7"));
    EXPECT_EQ(s.GetRawLaserTemperatureAsString(), QStringLiteral("65535"));
    EXPECT_EQ(s.GetStabilizationErrorAsString(), QStringLiteral("1000"));
    EXPECT_EQ(s.GetLaserHeaterPowerAsString(), QStringLiteral("0"));
    EXPECT_EQ(s.GetReferenceSignalAsString(), QStringLiteral("0"));

    TServiceParameters sp;
    sp.FAmplificationChannel1 = -12000;
    EXPECT_EQ(sp.AmplificationChannel1ToString(), QStringLiteral("-12000"));
    EXPECT_EQ(sp.OffsetChannel2ToString(), QStringLiteral("0"));
    EXPECT_EQ(sp.PhaseToString(), QStringLiteral("0"));
    sp.FPhase = 1.5;
    EXPECT_EQ(sp.PhaseToString(), QStringLiteral("1,5"));
    sp.FPhase = 0.1;
    EXPECT_EQ(sp.PhaseToString(), QStringLiteral("0,1"));
}

TEST(LaserTexts, FixedPointKeepsThePrecisionLimit) {
    const TLocaleScope l(Comma);
    EXPECT_EQ(TUtils::FloatToStrFixed(1234567.26, 8, 1), QStringLiteral("1234567,3"));
    EXPECT_EQ(TUtils::FloatToStrFixed(12345.678, 8, 6), QStringLiteral("12345,678000"));
    EXPECT_EQ(TUtils::FloatToStrFixed(123456789.0, 8, 1), QStringLiteral("1,2345679E+08"));
    EXPECT_EQ(TUtils::FloatToStrFixed(std::nan(""), 8, 1), QStringLiteral("NAN"));
}

TEST(LaserTexts, MillisecondTimes) {
    EXPECT_EQ(TUtils::MsTimeToStr(0), QStringLiteral("00:00:00.000"));
    EXPECT_EQ(TUtils::MsTimeToStr(3723004), QStringLiteral("01:02:03.004"));
    EXPECT_EQ(TUtils::MsTimeToStr(360000000), QStringLiteral("100:00:00.000"));
    EXPECT_EQ(TUtils::MsTimeToStr(UINT32_MAX), QStringLiteral("1193:02:47.295"));
}

TEST(LaserTexts, OperatingTimeInDaysHoursAndMinutes) {
    EXPECT_EQ(TUtils::LaserOperationTimeToStr(100), QStringLiteral("1d 09:20"));
    EXPECT_EQ(TUtils::LaserOperationTimeToStr(0), QStringLiteral("0d 00:00"));
    EXPECT_EQ(TUtils::OperatingTimeToStr(59), QStringLiteral("0d 00:59"));
    EXPECT_EQ(TUtils::OperatingTimeToStr(14400), QStringLiteral("10d 00:00"));
    // The largest count the laser head can report does not wrap around.
    EXPECT_EQ(TUtils::LaserOperationTimeToStr(UINT32_MAX), QStringLiteral("59652323d 13:00"));
}
