// The service unlock: the counting rule of the key sequence.
#include "ServiceTestSupport.h"

#include "ui/main/ServicePasswordUnit.h"

namespace {

// Feeds the keys and returns after which of them (1-based) the sequence was complete.
std::vector<int> Unlocks(TServicePassword& password, const QString& keys) {
    std::vector<int> at;
    for (int i = 0; i < keys.size(); ++i)
        if (password.IsPasswordOK(keys[i]))
            at.push_back(i + 1);
    return at;
}

} // namespace

TEST(ServicePassword, TheEightKeysInOrderUnlock) {
    TServicePassword password;
    EXPECT_EQ(password.FCharIndex, 0);
    EXPECT_EQ(Unlocks(password, "47150236"), std::vector<int>{8});
    EXPECT_EQ(password.FCharIndex, 0);
    // Typed again, it unlocks again.
    EXPECT_EQ(Unlocks(password, "47150236"), std::vector<int>{8});
}

TEST(ServicePassword, AWrongKeyRestartsTheCountAndIsNotAFirstKey) {
    TServicePassword password;
    // Seven right, one wrong, then the eight right ones: one unlock, at the end.
    EXPECT_EQ(Unlocks(password, "4715023947150236"), std::vector<int>{16});
    // A wrong '4' in the middle is discarded, not taken as the start of a new sequence.
    EXPECT_TRUE(Unlocks(password, "471547150236").empty());
    password.FCharIndex = 0;
    EXPECT_TRUE(Unlocks(password, "47150247150236").empty());
    password.FCharIndex = 0;
    EXPECT_EQ(Unlocks(password, "4715x47150236"), std::vector<int>{13});
    password.FCharIndex = 0;
    EXPECT_TRUE(Unlocks(password, "4715023").empty());
    EXPECT_EQ(password.FCharIndex, 7);
    EXPECT_FALSE(password.IsPasswordOK(QLatin1Char('7')));
    EXPECT_EQ(password.FCharIndex, 0);
}
