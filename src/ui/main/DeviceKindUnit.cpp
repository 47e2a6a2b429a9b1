#include "ui/main/DeviceKindUnit.h"

#include "link/Phy_Global_Unit.h"

TDeviceKindLayout DeviceKindLayout(int32_t kind) {
    TDeviceKindLayout layout;
    if (kind == KindSecondController) {
        layout.IodineLaserRunning = true;
        layout.HeNeGroupsVisible = false;
        layout.ChartTabsVisible = {false, false, false};
    }
    // Any other kind (111111): the iodine laser is known to run only once a frequency report
    // shows enough signal power.
    return layout;
}

const QStringList& HeNeGroupNames() {
    static const QStringList names{
        QStringLiteral("SimpleStatusHeNeGroupBox"), QStringLiteral("FreqDifference1GroupBox"),
        QStringLiteral("FreqDifference2GroupBox"),  QStringLiteral("FreqInfoGroupBox"),
        QStringLiteral("StatusHeNeGroupBox"),
    };
    return names;
}
