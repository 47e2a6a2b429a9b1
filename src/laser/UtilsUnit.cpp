#include "laser/UtilsUnit.h"

#include <QLocale>

#include <charconv>
#include <cmath>

namespace {

// The number's text in the C locale ('.' separator), whatever the process locale is.
std::string ToChars(double v, std::chars_format fmt, int precision) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, fmt, precision);
    return std::string(buf, r.ptr);
}

std::string ToCharsShortest(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Digits from the first non-zero one on (trailing zeros count).
int SignificantDigits(const std::string& fixed) {
    int n = 0;
    bool started = false;
    for (char c : fixed) {
        if (c < '0' || c > '9')
            continue;
        if (c != '0')
            started = true;
        if (started)
            ++n;
    }
    return n;
}

int IntegerDigits(const std::string& fixed) {
    int n = 0;
    for (char c : fixed) {
        if (c == '.')
            break;
        if (c >= '0' && c <= '9')
            ++n;
    }
    return n;
}

bool AllZero(const std::string& s) {
    for (char c : s)
        if (c >= '1' && c <= '9')
            return false;
    return true;
}

QString WithLocaleSeparator(std::string text) {
    QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const int dot = static_cast<int>(s.indexOf(QLatin1Char('.')));
    if (dot >= 0)
        s.replace(dot, 1, TUtils::DecimalSeparator());
    return s;
}

} // namespace

QString TUtils::MsTimeToStr(uint32_t ms) {
    const uint32_t hours = ms / 3600000u;
    const uint32_t minutes = (ms % 3600000u) / 60000u;
    const uint32_t seconds = (ms % 60000u) / 1000u;
    const uint32_t millis = ms % 1000u;
    return QString::asprintf("%.2u:%.2u:%.2u.%.3u", hours, minutes, seconds, millis);
}

QString TUtils::OperatingTimeToStr(uint64_t minutes) {
    const unsigned long long days = minutes / 1440u;
    const unsigned hours = static_cast<unsigned>((minutes % 1440u) / 60u);
    const unsigned mins = static_cast<unsigned>(minutes % 60u);
    return QString::asprintf("%.1llud %.2u:%.2u", days, hours, mins);
}

QString TUtils::LaserOperationTimeToStr(uint32_t units20Min) {
    return OperatingTimeToStr(static_cast<uint64_t>(units20Min) * 20u);
}

QString TUtils::DecimalSeparator() {
    return QLocale().decimalPoint();
}

QString TUtils::FloatToStrFixed(double value, int precision, int digits) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    precision = std::max(precision, 1);
    digits = std::max(digits, 0);

    std::string text = ToChars(value, std::chars_format::fixed, digits);
    if (SignificantDigits(text) > precision) {
        // Round once to the allowed significant digits, then write the decimals it leaves.
        const std::string sci = ToChars(value, std::chars_format::scientific, precision - 1);
        double rounded = 0;
        std::from_chars(sci.data(), sci.data() + sci.size(), rounded);
        text = ToChars(rounded, std::chars_format::fixed, digits);
        if (IntegerDigits(text) > precision) {
            std::string e = sci;
            for (char& c : e)
                if (c == 'e')
                    c = 'E';
            return WithLocaleSeparator(e);
        }
    }
    // A value that rounds to zero carries no sign.
    if (!text.empty() && text[0] == '-' && AllZero(text))
        text.erase(0, 1);
    return WithLocaleSeparator(text);
}

QString TUtils::FloatToStrShortest(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    std::string text = ToCharsShortest(value);
    for (char& c : text)
        if (c == 'e')
            c = 'E';
    return WithLocaleSeparator(text);
}
