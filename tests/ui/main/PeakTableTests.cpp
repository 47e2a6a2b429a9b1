// The peak table, the expected-peaks range, the list texts and the simple-page peak choice.
#include "ui/main/PeakTableUnit.h"

#include <gtest/gtest.h>

namespace {

struct PeakTable : ::testing::Test {
    TPeakList peaks;
    const QLocale english{QLocale::English, QLocale::UnitedStates};
    void SetUp() override { peaks.CreatePeakList(); }
};

} // namespace

TEST_F(PeakTable, HoldsTheFourteenPeaksWithTheirFlagsAndFrequencies) {
    ASSERT_EQ(peaks.Count(), 14);
    QString names;
    for (int i = 0; i < peaks.Count(); ++i) {
        names += peaks[i].Name;
        EXPECT_EQ(peaks[i].Flag, 1u << i);
        EXPECT_DOUBLE_EQ(peaks[i].BaseValue, 473612353.597);
        EXPECT_DOUBLE_EQ(peaks[i].Value, peaks[i].BaseValue + peaks[i].Offset);
    }
    EXPECT_EQ(names, QStringLiteral("abcdefghijklmn"));
    EXPECT_DOUBLE_EQ(peaks[0].Offset, 161.039);
    EXPECT_DOUBLE_EQ(peaks[PeakIndexF].Offset, 0.0);
    EXPECT_DOUBLE_EQ(peaks[PeakIndexJ].Offset, -160.461);
    EXPECT_DOUBLE_EQ(peaks[13].Offset, -301.706);
}

TEST_F(PeakTable, FOffsetReplacesTheEarlierShiftInsteadOfAddingToIt) {
    peaks.ChangePeakOffset(1000);
    peaks.ChangePeakOffset(1000);
    for (int i = 0; i < peaks.Count(); ++i)
        EXPECT_DOUBLE_EQ(peaks[i].Value, peaks[i].BaseValue + peaks[i].Offset + 1.0) << i;
    peaks.ChangePeakOffset(-100);
    EXPECT_DOUBLE_EQ(peaks[PeakIndexF].Value, PeakBaseValue - 0.1);
    peaks.ChangePeakOffset(0);
    for (int i = 0; i < peaks.Count(); ++i)
        EXPECT_DOUBLE_EQ(peaks[i].Value, peaks[i].BaseValue + peaks[i].Offset) << i;
}

TEST_F(PeakTable, PeakNamesByNumberAreOneBased) {
    EXPECT_EQ(peaks.PeakNameByNumber(1), QStringLiteral("a"));
    EXPECT_EQ(peaks.PeakNameByNumber(14), QStringLiteral("n"));
    EXPECT_EQ(peaks.PeakNameByNumber(0), QStringLiteral("--"));
    EXPECT_EQ(peaks.PeakNameByNumber(15), QStringLiteral("--"));
    EXPECT_EQ(peaks.PeakNameByNumber(-1), QStringLiteral("--"));
    EXPECT_EQ(peaks.PeakNameByNumber(4294967297LL), QStringLiteral("--"));
}

TEST_F(PeakTable, FullMaskListsEveryPeakAroundTheAbsoluteFrequencyOfF) {
    const TPeakRange range = ExpectedPeakRange(0x3FFF);
    EXPECT_EQ(range.First, 0);
    EXPECT_EQ(range.Last, 13);
    const QStringList rows = peaks.PeakListTexts(range.First, range.Last, PeakIndexF, english);
    ASSERT_EQ(rows.size(), 14);
    EXPECT_EQ(rows[0], QStringLiteral("a -> 161.039"));
    EXPECT_EQ(rows[4], QStringLiteral("e -> 13.363"));
    EXPECT_EQ(rows[5], QStringLiteral("f -> 473612353.597"));
    EXPECT_EQ(rows[6], QStringLiteral("g -> -13.198"));
    EXPECT_EQ(rows[13], QStringLiteral("n -> -301.706"));
}

TEST_F(PeakTable, AnotherReferenceShowsItsAbsoluteFrequencyAndTheOthersTheirDistance) {
    const QStringList rows = peaks.PeakListTexts(0, 13, 1, english); // b clicked
    EXPECT_EQ(rows[0], QStringLiteral("a -> 8.831"));
    EXPECT_EQ(rows[1], QStringLiteral("b -> 473612505.805"));
    EXPECT_EQ(rows[2], QStringLiteral("c -> -8.094"));
    EXPECT_EQ(rows[5], QStringLiteral("f -> -152.208"));
}

TEST_F(PeakTable, NumbersUseTheLocalesDecimalSeparatorWithoutGrouping) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const QStringList rows = peaks.PeakListTexts(0, 13, PeakIndexF, german);
    EXPECT_EQ(rows[5], QStringLiteral("f -> 473612353,597"));
    EXPECT_EQ(rows[0], QStringLiteral("a -> 161,039"));
    EXPECT_EQ(FixedText(1234567.5, 3, english), QStringLiteral("1234567.500"));
}

TEST_F(PeakTable, PartialMaskListsOnlyItsRange) {
    const TPeakRange range = ExpectedPeakRange(0xFC); // c to h
    EXPECT_EQ(range.First, 2);
    EXPECT_EQ(range.Last, 7);
    const QStringList rows = peaks.PeakListTexts(range.First, range.Last, PeakIndexF, english);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0], QStringLiteral("c -> 144.114"));
    EXPECT_EQ(rows[3], QStringLiteral("f -> 473612353.597"));
    EXPECT_EQ(rows[5], QStringLiteral("h -> -116.953"));
}

TEST_F(PeakTable, RangeRunsFromTheFirstToTheLastBitEvenAcrossGaps) {
    const TPeakRange gaps = ExpectedPeakRange((1u << 1) | (1u << 11));
    EXPECT_EQ(gaps.First, 1);
    EXPECT_EQ(gaps.Last, 11);
    EXPECT_FALSE(ExpectedPeakRange(0).Valid());
    EXPECT_FALSE(ExpectedPeakRange(0xC000).Valid()); // bits beyond the fourteen peaks
    EXPECT_TRUE(ExpectedPeakRange(1u << 13).Valid());
}

TEST_F(PeakTable, ListOfAnInvalidRangeIsEmpty) {
    EXPECT_TRUE(peaks.PeakListTexts(-1, -1, PeakIndexF, english).isEmpty());
    EXPECT_TRUE(peaks.PeakListTexts(0, 14, PeakIndexF, english).isEmpty());
}

TEST_F(PeakTable, MaskOfARangeIncludesBothEndsInEitherOrder) {
    EXPECT_EQ(peaks.MaskOfRange(2, 5), 0x3Cu);
    EXPECT_EQ(peaks.MaskOfRange(5, 2), 0x3Cu);
    EXPECT_EQ(peaks.MaskOfRange(0, 13), 0x3FFFu);
    EXPECT_EQ(peaks.MaskOfRange(7, 7), 0x80u);
}

TEST(SimpleMenu, OffersFAndJWhenJIsExpectedOtherwiseAnEarlierPeakAndF) {
    struct TCase {
        int first, last, button1, button2;
    };
    const TCase cases[] = {
        {0, 13, 6, 10},               // the whole table
        {5, 9, 6, 10},                // j is the last expected peak
        {2, 7, 3, 6},                 // c to h
        {0, 8, 3, 6},   {3, 8, 4, 6}, // starting at d
        {4, 8, 5, 6},                 // starting at e
        {6, 8, 5, 6},                 // starting after e
        {0, 0, 3, 6},                 // the state before any mask arrived
    };
    for (const TCase& c : cases) {
        const TSimpleMenuPeaks peaks = SimpleMenuPeaks(c.first, c.last);
        EXPECT_EQ(peaks.First, c.button1) << c.first << ".." << c.last;
        EXPECT_EQ(peaks.Second, c.button2) << c.first << ".." << c.last;
    }
}
