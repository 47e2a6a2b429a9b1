#pragma once
// Text helpers of the laser-head model and its views.

#include <QString>

#include <cstdint>

class TUtils {
public:
    // Hours:minutes:seconds.milliseconds, "%.2d:%.2d:%.2d.%.3d"; the hours are not limited to two
    // digits (3 723 004 -> "01:02:03.004", 360 000 000 -> "100:00:00.000").
    static QString MsTimeToStr(uint32_t ms);
    // Days, hours and minutes, "%.1dd %.2d:%.2d" (2 000 -> "1d 09:20").
    static QString OperatingTimeToStr(uint64_t minutes);
    // The laser head counts its operating time in units of 20 minutes; the text of such a count
    // (computed in 64 bits, so the largest count does not wrap).
    static QString LaserOperationTimeToStr(uint32_t units20Min);

    // The decimal separator of the user's locale (QLocale's default).
    static QString DecimalSeparator();
    // Fixed-point text with exactly digits decimals, rounded to at most precision significant
    // digits, with the locale's decimal separator and no grouping. A value with more than
    // precision digits before the separator is written in scientific notation ("1.2345E+10").
    static QString FloatToStrFixed(double value, int precision, int digits);
    // The shortest text that reads back as the same double, with the locale's separator.
    static QString FloatToStrShortest(double value);
};
