#pragma once
// How the window adapts to the kind of device connected. The second controller model (kind
// 222222) has no HeNe laser head: everything that shows HeNe or frequency-difference data is
// hidden, and the iodine laser is taken to run from the start.

#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

struct TDeviceKindLayout {
    bool IodineLaserRunning = false;
    bool HeNeGroupsVisible = true;
    // Tab visibility of the chart pages: 'Iodine', HeNe chart, 'Frequency difference'.
    std::array<bool, 3> ChartTabsVisible{true, false, true};
    // Tab visibility of every chart page added after those three (events, stability...).
    bool AddedChartTabsVisible = true;
};

TDeviceKindLayout DeviceKindLayout(int32_t kind);

// Tab visibility of each of pageCount chart pages: the three pages of the layout, then the
// added ones; the page at followsFreqDiff (if any) goes with 'Frequency difference'. Whatever
// page has a tab, 'Iodine' has one too, so that a click on a tab can never leave the
// error-signal chart out of reach.
std::vector<bool> ChartTabVisibility(const TDeviceKindLayout& layout, int pageCount,
                                     int followsFreqDiff);

// The groups of the window that show HeNe or frequency-difference data.
const QStringList& HeNeGroupNames();
