// The service unlock: the counting rule, and keys seen once each anywhere in the window.
#include "ServiceTestSupport.h"

#include "ui/controls/RealSpinEdit.h"
#include "ui/main/ServicePasswordUnit.h"

#include <QLineEdit>
#include <QTest>
#include <QWindow>

namespace {

// Feeds the keys and returns after which of them (1-based) the sequence was complete.
std::vector<int> Unlocks(TServicePassword& password, const QString& keys) {
    std::vector<int> at;
    for (int i = 0; i < keys.size(); ++i)
        if (password.IsPasswordOK(keys[i]))
            at.push_back(i + 1);
    return at;
}

// Types the characters through the native window, as a keyboard does.
void Type(QWindow* window, const char* keys) {
    for (const char* k = keys; *k; ++k)
        QTest::keyClick(window, *k);
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

TEST(WindowKeyPreview, SeesEveryKeyOnceWithoutTakingItFromTheFocusedField) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* spin = new TRealSpinEdit(&window);
    spin->move(0, 40);
    QString seen;
    new TWindowKeyPreview(&window, [&](QChar key) { seen += key; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QWindow* native = window.windowHandle();
    ASSERT_NE(native, nullptr);

    edit->setFocus();
    Type(native, "4715");
    EXPECT_EQ(seen, "4715");
    EXPECT_EQ(edit->text(), "4715");

    spin->setFocus();
    spin->clear();
    Type(native, "0236");
    EXPECT_EQ(seen, "47150236");
    EXPECT_EQ(spin->text(), "0236");

    // With no field focused the window still sees the keys; keys without text are skipped.
    window.setFocus();
    QTest::keyClick(native, Qt::Key_Shift);
    Type(native, "x");
    EXPECT_EQ(seen, "47150236x");
}
