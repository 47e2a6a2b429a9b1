#pragma once
// How the window adapts to the kind of device connected. The second controller model (kind
// 222222) has no HeNe laser head: everything that shows HeNe or frequency-difference data is
// hidden, and the iodine laser is taken to run from the start.

#include <QStringList>

#include <array>
#include <cstdint>

struct TDeviceKindLayout {
    bool IodineLaserRunning = false;
    bool HeNeGroupsVisible = true;
    // Tab visibility of the chart pages: 'Iodine', HeNe chart, 'Frequency difference'.
    std::array<bool, 3> ChartTabsVisible{true, false, true};
};

TDeviceKindLayout DeviceKindLayout(int32_t kind);

// The groups of the window that show HeNe or frequency-difference data.
const QStringList& HeNeGroupNames();
