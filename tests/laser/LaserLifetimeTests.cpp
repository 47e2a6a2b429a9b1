// The application manager owns Laser: created after the single-instance check, and its global
// reads null from the moment its release begins.
#include "app/GlobalUnit.h"
#include "laser/LaserDeviceUnit.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
// Something the laser model owns, reporting what the global said when it was released.
struct TReleaseProbe {
    TLaser** seen;
    ~TReleaseProbe() { *seen = Laser; }
};
} // namespace

TEST(LaserLifetime, ManagerCreatesLaserAndClearsTheGlobalBeforeFreeingIt) {
    TApplicationManager::SetInstanceCheck([] {
        EXPECT_EQ(Laser, nullptr); // the check runs before the model exists
        return true;
    });
    TLaser* seenDuringRelease = reinterpret_cast<TLaser*>(1);
    {
        TApplicationManager manager;
        ASSERT_NE(Laser, nullptr);
        EXPECT_NE(Laser->LHParameters(), nullptr);
        EXPECT_NE(Laser->ServiceParameters()->StreamParams(), nullptr);
        auto probe = std::make_shared<TReleaseProbe>(&seenDuringRelease);
        Laser->SetFreqDifferenceHandler([probe](double) {});
    }
    EXPECT_EQ(seenDuringRelease, nullptr);
    EXPECT_EQ(Laser, nullptr);
    TApplicationManager::SetInstanceCheck([] { return true; });
}
