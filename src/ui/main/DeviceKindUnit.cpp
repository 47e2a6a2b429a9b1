#include "ui/main/DeviceKindUnit.h"

#include "link/Phy_Global_Unit.h"

TDeviceKindLayout DeviceKindLayout(int32_t kind) {
    TDeviceKindLayout layout;
    if (kind == KindSecondController) {
        layout.IodineLaserRunning = true;
        layout.HeNeGroupsVisible = false;
        layout.ChartTabsVisible = {false, false, false};
        layout.AddedChartTabsVisible = false;
    }
    // Any other kind (111111): the iodine laser is known to run only once a frequency report
    // shows enough signal power.
    return layout;
}

std::vector<bool> ChartTabVisibility(const TDeviceKindLayout& layout, int pageCount,
                                     int followsFreqDiff) {
    std::vector<bool> visible;
    for (int page = 0; page < pageCount; ++page) {
        if (page < static_cast<int>(layout.ChartTabsVisible.size()))
            visible.push_back(layout.ChartTabsVisible[static_cast<size_t>(page)]);
        else if (page == followsFreqDiff)
            visible.push_back(layout.ChartTabsVisible[2]);
        else
            visible.push_back(layout.AddedChartTabsVisible);
    }
    if (!visible.empty() && !visible[0])
        visible.assign(visible.size(), false);
    return visible;
}

const QStringList& HeNeGroupNames() {
    static const QStringList names{
        QStringLiteral("SimpleStatusHeNeGroupBox"), QStringLiteral("FreqDifference1GroupBox"),
        QStringLiteral("FreqDifference2GroupBox"),  QStringLiteral("FreqInfoGroupBox"),
        QStringLiteral("StatusHeNeGroupBox"),
    };
    return names;
}
