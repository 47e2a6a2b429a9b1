// The position bar: filled pixels read back from the grabbed control, texts, gradients, tiles.
#include "ui/controls/ALProgressBar.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

const QColor kGreen(0, 128, 0);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kFace(200, 200, 200);

QImage Grab(TALProgressBar& bar) {
    return bar.grab().toImage();
}

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// A bar like the mirror positions on the main page: 195 x 20, one colour, suffix "%".
struct TMirrorBar : TALProgressBar {
    TMirrorBar() {
        resize(195, 20);
        SetBarColorStyle(cs1Color);
        SetPosTextSuffix(QStringLiteral("%"));
        SetBackgroundColor(kFace);
    }
    // Bar-coloured pixels along one inner row.
    int FilledRow(int y) {
        const QImage image = Grab(*this);
        int filled = 0;
        for (int x = 1; x < width() - 1; ++x) {
            if (At(image, x, y) == kGreen)
                ++filled;
        }
        return filled;
    }
};

TEST(ALProgressBar, HalfPositionFillsHalfTheInnerPixelsFromTheLeft) {
    TMirrorBar bar;
    bar.SetPosition(50);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("50%"));
    EXPECT_EQ(bar.TravelLength(), 193);
    EXPECT_EQ(bar.FilledLength(), 96); // 96.5 rounds to the even 96

    bar.SetShowPosText(false);
    const QImage image = Grab(bar);
    for (int y = 1; y < 19; ++y) {
        for (int x = 1; x <= 96; ++x)
            ASSERT_EQ(At(image, x, y), kGreen) << x << "," << y;
        for (int x = 97; x <= 193; ++x)
            ASSERT_EQ(At(image, x, y), kFace) << x << "," << y;
    }
    // Border: shadow on top and left (with the two outer corners), highlight bottom and right.
    EXPECT_EQ(At(image, 0, 0), bar.BorderColor1());
    EXPECT_EQ(At(image, 194, 0), bar.BorderColor1());
    EXPECT_EQ(At(image, 0, 19), bar.BorderColor1());
    EXPECT_EQ(At(image, 100, 19), bar.BorderColor2());
    EXPECT_EQ(At(image, 194, 19), bar.BorderColor2());
    EXPECT_EQ(At(image, 194, 10), bar.BorderColor2());
}

TEST(ALProgressBar, PositionsOutsideTheRangeShowTheLimits) {
    TMirrorBar bar;
    bar.SetPosition(-5);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("0%"));
    EXPECT_EQ(bar.FilledLength(), 0);
    EXPECT_EQ(bar.FilledRow(1), 0);
    bar.SetPosition(130);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("100%"));
    EXPECT_EQ(bar.FilledLength(), 193);
    EXPECT_EQ(bar.FilledRow(1), 193);
    // Far beyond the range nothing overflows.
    bar.SetMin(-2147483647 - 1);
    bar.SetMax(2147483647);
    bar.SetPosition(2147483647);
    EXPECT_EQ(bar.FilledLength(), 193);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("2147483647%"));
}

TEST(ALProgressBar, EqualMinAndMaxShowAnEmptyBarAndZero) {
    TMirrorBar bar;
    bar.SetMin(40);
    bar.SetMax(40);
    bar.SetPosition(70);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("0%"));
    EXPECT_EQ(bar.FilledRow(1), 0);
    bar.SetPercentage(true);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("0%"));
}

TEST(ALProgressBar, SamePositionTwicePaintsOnce) {
    TMirrorBar bar;
    const int before = bar.PaintCount();
    bar.SetPosition(42);
    bar.SetPosition(42);
    EXPECT_EQ(bar.PaintCount(), before + 1);
    bar.SetPosition(43);
    EXPECT_EQ(bar.PaintCount(), before + 2);
}

TEST(ALProgressBar, TextShowsPrefixNumberSuffixOrTheFixedText) {
    TALProgressBar bar;
    bar.SetMin(20);
    bar.SetMax(220);
    bar.SetPosition(300);
    bar.SetPosTextPrefix(QStringLiteral("at "));
    bar.SetPosTextSuffix(QStringLiteral(" steps"));
    EXPECT_EQ(bar.PositionText(), QStringLiteral("at 220 steps"));
    bar.SetPosition(10);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("at 20 steps"));
    bar.SetPercentage(true);
    bar.SetPosition(70);
    EXPECT_EQ(bar.PositionText(), QStringLiteral("at 25 steps"));
    bar.SetPosition(21); // 0.5 % rounds to the even 0
    EXPECT_EQ(bar.PositionText(), QStringLiteral("at 0 steps"));
    bar.SetPosition(23); // 1.5 % rounds to the even 2
    EXPECT_EQ(bar.PositionText(), QStringLiteral("at 2 steps"));
    bar.SetText(QStringLiteral("parked"));
    EXPECT_EQ(bar.PositionText(), QStringLiteral("parked"));
}

TEST(ALProgressBar, TextIsDrawnCentred) {
    TMirrorBar bar;
    bar.SetBackgroundColor(Qt::white);
    bar.SetPosition(0);
    const QImage image = Grab(bar);
    int left = 195;
    int right = -1;
    for (int y = 1; y < 19; ++y) {
        for (int x = 1; x < 194; ++x) {
            if (At(image, x, y) != QColor(Qt::white)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    ASSERT_GE(right, left) << "no text drawn";
    EXPECT_NEAR((left + right) / 2.0, 97, 3);
}

TEST(ALProgressBar, EachDirectionFillsFromItsOwnEnd) {
    struct TCase {
        TProgressDirection direction;
        QPoint filled;
        QPoint empty;
    };
    // 102 x 52 with border: 100 pixels across, 50 down; position 25 of 100.
    const TCase cases[] = {
        {pdLeftToRight, {25, 10}, {26, 10}},
        {pdRightToLeft, {76, 10}, {75, 10}},
        {pdTopToBottom, {50, 12}, {50, 14}},
        {pdBottomToTop, {50, 39}, {50, 37}},
    };
    for (const TCase& c : cases) {
        TALProgressBar bar;
        bar.resize(102, 52);
        bar.SetBarColorStyle(cs1Color);
        bar.SetBackgroundColor(kFace);
        bar.SetShowPosText(false);
        bar.SetDirection(c.direction);
        bar.SetPosition(25);
        const QImage image = Grab(bar);
        EXPECT_EQ(At(image, c.filled.x(), c.filled.y()), kGreen) << c.direction;
        EXPECT_EQ(At(image, c.empty.x(), c.empty.y()), kFace) << c.direction;
    }
}

TEST(ALProgressBar, GradientsRunBetweenTheirColoursForEachDirection) {
    TALProgressBar bar;
    bar.resize(100, 10);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetPosition(100);
    bar.SetBarColorStyle(cs2Colors);
    QImage image = Grab(bar);
    EXPECT_EQ(At(image, 0, 5), kGreen);
    EXPECT_EQ(At(image, 99, 5), kYellow);
    EXPECT_EQ(At(image, 49, 5), *Blend(kGreen, kYellow, 50, 100));

    bar.SetDirection(pdRightToLeft);
    image = Grab(bar);
    EXPECT_EQ(At(image, 0, 5), kYellow);
    EXPECT_EQ(At(image, 99, 5), kGreen);

    // Three colours over 101 columns: a run of 50, then 51.
    bar.resize(101, 10);
    bar.SetDirection(pdLeftToRight);
    bar.SetBarColorStyle(cs3Colors);
    image = Grab(bar);
    EXPECT_EQ(At(image, 0, 5), kGreen);
    EXPECT_EQ(At(image, 49, 5), kYellow);
    EXPECT_EQ(At(image, 50, 5), kYellow);
    EXPECT_EQ(At(image, 100, 5), kRed);

    // Vertical, filling upwards: green at the bottom, red at the top.
    bar.resize(10, 60);
    bar.SetDirection(pdBottomToTop);
    image = Grab(bar);
    EXPECT_EQ(At(image, 5, 59), kGreen);
    EXPECT_EQ(At(image, 5, 30), kYellow);
    EXPECT_EQ(At(image, 5, 0), kRed);
}

TEST(ALProgressBar, OneLineRunsAndTinyBarsDrawWithoutFault) {
    TALProgressBar bar;
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetPosition(100);
    bar.SetBarColorStyle(cs3Colors);
    bar.resize(3, 4); // runs of one and two lines
    QImage image = Grab(bar);
    EXPECT_EQ(At(image, 0, 1), kGreen);
    EXPECT_EQ(At(image, 1, 1), kYellow);
    EXPECT_EQ(At(image, 2, 1), kRed);
    bar.resize(1, 4); // an empty first run
    image = Grab(bar);
    EXPECT_EQ(At(image, 0, 1), kYellow);
    bar.SetShowBorder(true);
    bar.resize(1, 1);
    EXPECT_EQ(bar.FilledLength(), 0);
    (void)Grab(bar);
}

TEST(ALProgressBar, PositionChangeAfterAResizeRebuildsTheStaleFill) {
    TALProgressBar bar;
    bar.resize(100, 10);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetBarColorStyle(cs2Colors);
    bar.SetPosition(100);
    bar.resize(200, 10);
    bar.SetPosition(99); // 198 of 200 filled, with the fill of the new width
    const QImage image = Grab(bar);
    EXPECT_EQ(At(image, 150, 5), *Blend(kGreen, kYellow, 151, 200));
    EXPECT_EQ(At(image, 197, 5), *Blend(kGreen, kYellow, 198, 200));
    EXPECT_EQ(At(image, 198, 5), bar.BackgroundColor());
}

TEST(ALProgressBar, PictureIsTiledFromTheTopLeft) {
    QImage tile(3, 2, QImage::Format_RGB32);
    for (int x = 0; x < 3; ++x) {
        for (int y = 0; y < 2; ++y)
            tile.setPixelColor(x, y, QColor(10 * x, 100 + 50 * y, 7));
    }
    TALProgressBar bar;
    bar.resize(10, 5);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetBarBitmap(tile);
    bar.SetPosition(100);
    const QImage image = Grab(bar);
    for (int x = 0; x < 10; ++x) {
        for (int y = 0; y < 5; ++y)
            ASSERT_EQ(At(image, x, y), tile.pixelColor(x % 3, y % 2)) << x << "," << y;
    }
    // An empty picture returns to the colour fill.
    bar.SetBarColorStyle(cs1Color);
    bar.SetBarBitmap(QImage());
    EXPECT_EQ(At(Grab(bar), 4, 2), kGreen);
}

TEST(ALProgressBarBlend, StepsRoundHalvesToEvenAndRefuseIndicesOutsideTheRun) {
    const QColor black(0, 0, 0);
    EXPECT_EQ(*Blend(black, QColor(5, 7, 9), 2, 3), QColor(2, 4, 4)); // 2.5, 3.5, 4.5
    EXPECT_EQ(*Blend(QColor(9, 9, 9), black, 2, 3), QColor(5, 5, 5)); // 9 + (-4.5 -> -4)
    EXPECT_EQ(*Blend(kGreen, kRed, 1, 1), kGreen);
    EXPECT_EQ(*Blend(kGreen, kRed, 5, 5), kRed);

    QString error;
    EXPECT_FALSE(Blend(kGreen, kRed, 0, 7, &error).has_value());
    EXPECT_EQ(error, QStringLiteral("ColorIndex can't be less than 1 or greater than 7"));
    EXPECT_FALSE(Blend(kGreen, kRed, 8, 7, &error).has_value());
    EXPECT_FALSE(Blend(kGreen, kRed, 1, 0).has_value());
}

} // namespace
