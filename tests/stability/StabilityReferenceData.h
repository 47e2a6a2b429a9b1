#pragma once
// The published test data of the frequency-stability literature and their published deviations
// (7 significant digits): the "NBS14" data set of nine frequency values and the 1000-point data
// set of the "minimal standard" generator n(i+1) = 16807 n(i) mod (2^31 - 1), n(0) = 1234567890,
// y = n / (2^31 - 1). Both from W. J. Riley, "Handbook of Frequency Stability Analysis", NIST
// Special Publication 1065 (2008), section 12 (pp. 107-108), and "The Calculation of Time Domain
// Frequency Stability" (Hamilton Technical Services).

#include "stability/DeviationUnit.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace StabilityReference {

inline std::vector<double> Nbs14() {
    return {892, 809, 823, 798, 671, 644, 883, 903, 677};
}

inline std::vector<double> Riley1000() {
    std::vector<double> y(1000);
    uint64_t n = 1234567890;
    for (double& v : y) {
        v = static_cast<double>(n) / 2147483647.0;
        n = (16807 * n) % 2147483647;
    }
    return y;
}

// A plain file of the values, one to a line with every digit.
inline QByteArray Lines(const std::vector<double>& y) {
    QByteArray text;
    for (double v : y)
        text += QByteArray::number(v, 'g', 17) + '\n';
    return text;
}

// The published deviations of one kind, at the data set's averaging factors.
struct TPublished {
    TDeviationKind Kind;
    std::vector<double> Deviation;
};

inline const std::vector<int64_t> Nbs14Factors{1, 2};
inline const std::vector<TPublished> Nbs14Published{
    {TDeviationKind::_adev, {91.22945, 115.8082}},  {TDeviationKind::_oadev, {91.22945, 85.95287}},
    {TDeviationKind::_mdev, {91.22945, 74.78849}},  {TDeviationKind::_hdev, {70.80608, 116.7980}},
    {TDeviationKind::_ohdev, {70.80607, 85.61487}},
};

inline const std::vector<int64_t> Riley1000Factors{1, 10, 100};
inline const std::vector<TPublished> Riley1000Published{
    {TDeviationKind::_adev, {2.922319e-01, 9.965736e-02, 3.897804e-02}},
    {TDeviationKind::_oadev, {2.922319e-01, 9.159953e-02, 3.241343e-02}},
    {TDeviationKind::_mdev, {2.922319e-01, 6.172376e-02, 2.170921e-02}},
    {TDeviationKind::_hdev, {2.943883e-01, 1.052754e-01, 3.910860e-02}},
    {TDeviationKind::_ohdev, {2.943883e-01, 9.581083e-02, 3.237638e-02}},
};

// The 1000-point set's time and total deviations (the handbook's Table 31; the total deviation
// "calculated using doubly reflected TOTVAR"). That table's other total deviations carry bias
// corrections this program (like Stable32's plain tables) does not apply.
inline const std::vector<TPublished> Riley1000PublishedTotal{
    {TDeviationKind::_tdev, {1.687202e-01, 3.563623e-01, 1.253382e+00}},
    {TDeviationKind::_totdev, {2.922319e-01, 9.134743e-02, 3.406530e-02}},
};

} // namespace StabilityReference
