#include "protocol/ConversionUnit.h"

#include <limits>

namespace Conv {

namespace {
int64_t Saturate(double v) {
    if (std::isnan(v))
        return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<int64_t>::min());
    constexpr double hi = 9223372036854774784.0; // largest double below 2^63
    if (v <= lo)
        return std::numeric_limits<int64_t>::min();
    if (v >= hi)
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(v);
}
} // namespace

int64_t Trunc(double v) {
    return Saturate(std::trunc(v));
}

int64_t Round(double v) {
    if (std::isnan(v) || std::isinf(v))
        return Saturate(v);
    return Saturate(std::nearbyint(v)); // default rounding mode: to nearest, ties to even
}

} // namespace Conv
