// The numeric entry field: typing filter, separator, range, confirmation and stepping, under a
// "," locale and a "." locale.
#include "ui/controls/RealSpinEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// Two spin edits in a shown, active window, so that focus can move between them.
struct TWindow {
    QWidget window;
    TRealSpinEdit* first;
    TRealSpinEdit* second;
    TWindow() {
        auto* layout = new QVBoxLayout(&window);
        first = new TRealSpinEdit(&window);
        second = new TRealSpinEdit(&window);
        layout->addWidget(first);
        layout->addWidget(second);
        window.show();
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window);
    }
};

class RealSpinEdit : public ::testing::TestWithParam<QLocale::Language> {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(GetParam()));
        sep = QLocale().decimalPoint();
        ASSERT_EQ(TRealSpinEdit::DecimalSeparator(), sep.at(0));
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    // A number written with the locale's separator, e.g. Num("400.000").
    QString Num(QString text) const { return text.replace(QLatin1Char('.'), sep); }

    QString sep;
};

TEST_P(RealSpinEdit, StartsAtZeroWithThreeDecimals) {
    TRealSpinEdit edit;
    EXPECT_EQ(edit.text(), Num("0.000"));
    EXPECT_EQ(edit.Precision(), 3);
    EXPECT_EQ(edit.width(), 145);
}

TEST_P(RealSpinEdit, EnterClampsToTheRangeAndConfirmsOnce) {
    TRealSpinEdit edit;
    edit.SetMinValue(30);
    edit.SetMaxValue(400);
    edit.clear();
    QSignalSpy confirm(&edit, &TRealSpinEdit::OnConfirm);
    QSignalSpy updown(&edit, &TRealSpinEdit::OnUpDownChange);
    QTest::keyClicks(&edit, QStringLiteral("420,5"));
    EXPECT_EQ(edit.text(), Num("420.5"));
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.text(), Num("400.000"));
    ASSERT_EQ(confirm.count(), 1);
    EXPECT_EQ(confirm.at(0).at(0).value<TRealSpinEdit*>(), &edit);
    EXPECT_EQ(updown.count(), 0);

    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("12"));
    QTest::keyClick(&edit, Qt::Key_Enter); // keypad Enter
    EXPECT_EQ(edit.text(), Num("30.000"));
    EXPECT_EQ(confirm.count(), 2);
}

TEST_P(RealSpinEdit, PointAndCommaBothBecomeTheLocaleSeparator) {
    TRealSpinEdit edit;
    for (const char* typed : {"1.5", "1,5"}) {
        edit.clear();
        QTest::keyClicks(&edit, QString::fromLatin1(typed));
        EXPECT_EQ(edit.text(), Num("1.5")) << typed;
        EXPECT_DOUBLE_EQ(edit.Value(), 1.5);
    }
    // A second separator of either kind is refused.
    QTest::keyClicks(&edit, QStringLiteral(".,"));
    EXPECT_EQ(edit.text(), Num("1.5"));
}

TEST_P(RealSpinEdit, TypedTextMustStayAWellFormedNumber) {
    TRealSpinEdit edit;
    const auto typing = [&](const QString& keys) {
        edit.clear();
        QTest::keyClicks(&edit, keys);
        return edit.text();
    };
    // Accepted as typed.
    EXPECT_EQ(typing(QStringLiteral("-")), QStringLiteral("-"));
    EXPECT_EQ(typing(QStringLiteral("12")), QStringLiteral("12"));
    EXPECT_EQ(typing(QStringLiteral("12,")), Num("12."));
    EXPECT_EQ(typing(QStringLiteral("-0,25")), Num("-0.25"));
    // Refused characters are dropped, one beep each.
    const int beeps = TRealSpinEdit::BeepCount();
    EXPECT_EQ(typing(QStringLiteral(",")), QString());
    EXPECT_EQ(typing(QStringLiteral("+1")), QStringLiteral("1"));
    EXPECT_EQ(typing(QStringLiteral("1e5")), QStringLiteral("15"));
    EXPECT_EQ(typing(QStringLiteral("1 2")), QStringLiteral("12"));
    EXPECT_EQ(typing(QStringLiteral("--1")), QStringLiteral("-1"));
    EXPECT_EQ(typing(QStringLiteral("1-")), QStringLiteral("1"));
    EXPECT_EQ(TRealSpinEdit::BeepCount() - beeps, 6);
}

TEST_P(RealSpinEdit, DigitInFrontOfTheMinusSignIsRefused) {
    TRealSpinEdit edit;
    edit.setText(QStringLiteral("-5"));
    edit.setCursorPosition(0);
    QTest::keyClick(&edit, Qt::Key_3);
    EXPECT_EQ(edit.text(), QStringLiteral("-5"));
    // Typing over a selection replaces it: "-5" selected then "7".
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_7);
    EXPECT_EQ(edit.text(), QStringLiteral("7"));
}

TEST_P(RealSpinEdit, WithoutMinusTheSignIsRefusedEverywhere) {
    TRealSpinEdit edit;
    edit.SetMinus(false);
    edit.clear();
    const int beeps = TRealSpinEdit::BeepCount();
    QTest::keyClick(&edit, Qt::Key_Minus);
    QTest::keyClicks(&edit, QStringLiteral("12"));
    edit.setCursorPosition(0);
    QTest::keyClick(&edit, Qt::Key_Minus);
    edit.setCursorPosition(1);
    QTest::keyClick(&edit, Qt::Key_Minus);
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    EXPECT_EQ(TRealSpinEdit::BeepCount() - beeps, 3);
}

TEST_P(RealSpinEdit, EditorDisabledRefusesTypingAndPastingButKeepsStepping) {
    TRealSpinEdit edit;
    edit.SetEditorEnabled(false);
    QTest::keyClicks(&edit, QStringLiteral("5"));
    EXPECT_EQ(edit.text(), Num("0.000"));

    QGuiApplication::clipboard()->setText(QStringLiteral("77"));
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), Num("0.000"));

    edit.StepUp();
    EXPECT_EQ(edit.text(), Num("1.000"));

    edit.SetEditorEnabled(true);
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("77"));
}

TEST_P(RealSpinEdit, ContextMenuOffersCutAndPasteOnlyWhenEditingIsAllowed) {
    TWindow w;
    TRealSpinEdit& edit = *w.first;
    QGuiApplication::clipboard()->setText(QStringLiteral("5"));
    const auto menuState = [&] {
        edit.selectAll();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, edit.rect().center(),
                                edit.mapToGlobal(edit.rect().center()));
        QApplication::sendEvent(&edit, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QStringList enabled;
        if (!menu)
            return enabled;
        for (QAction* action : menu->actions()) {
            if (action->isEnabled() && !action->objectName().isEmpty())
                enabled << action->objectName();
        }
        menu->close();
        return enabled;
    };
    QStringList enabled = menuState();
    EXPECT_TRUE(enabled.contains(QStringLiteral("edit-cut"))) << enabled.join(' ').toStdString();
    EXPECT_TRUE(enabled.contains(QStringLiteral("edit-paste")));
    edit.SetEditorEnabled(false);
    enabled = menuState();
    EXPECT_TRUE(enabled.contains(QStringLiteral("edit-copy"))) << enabled.join(' ').toStdString();
    EXPECT_FALSE(enabled.contains(QStringLiteral("edit-cut")));
    EXPECT_FALSE(enabled.contains(QStringLiteral("edit-paste")));
}

TEST_P(RealSpinEdit, ReadOnlyStepBeepsAndChangesNothing) {
    TRealSpinEdit edit;
    edit.setReadOnly(true);
    QSignalSpy updown(&edit, &TRealSpinEdit::OnUpDownChange);
    const int beeps = TRealSpinEdit::BeepCount();
    edit.StepUp();
    QTest::keyClick(&edit, Qt::Key_Down);
    EXPECT_EQ(edit.text(), Num("0.000"));
    EXPECT_EQ(updown.count(), 0);
    EXPECT_EQ(TRealSpinEdit::BeepCount() - beeps, 2);
}

TEST_P(RealSpinEdit, ButtonsAndArrowKeysStepWithoutConfirming) {
    TWindow w;
    TRealSpinEdit& edit = *w.first;
    edit.SetIncrement(0.5);
    edit.SetMinValue(-1);
    edit.SetMaxValue(1);
    QSignalSpy confirm(&edit, &TRealSpinEdit::OnConfirm);
    QSignalSpy updown(&edit, &TRealSpinEdit::OnUpDownChange);

    QTest::mouseClick(edit.PlusButton(), Qt::LeftButton);
    EXPECT_EQ(edit.text(), Num("0.500"));
    QTest::mouseClick(edit.PlusButton(), Qt::LeftButton);
    QTest::mouseClick(edit.PlusButton(), Qt::LeftButton);
    EXPECT_EQ(edit.text(), Num("1.000")); // held at the maximum
    QTest::keyClick(&edit, Qt::Key_Down);
    QTest::mouseClick(edit.MinusButton(), Qt::LeftButton);
    QTest::keyClick(&edit, Qt::Key_Down);
    QTest::keyClick(&edit, Qt::Key_Down);
    EXPECT_EQ(edit.text(), Num("-1.000"));
    EXPECT_EQ(updown.count(), 7);
    EXPECT_EQ(confirm.count(), 0);
    // Stepping takes the focus.
    EXPECT_TRUE(edit.hasFocus());
}

TEST_P(RealSpinEdit, WithoutARangeSteppingAndEnterAreUnlimited) {
    TRealSpinEdit edit;
    edit.SetValue(-1e9);
    edit.StepDown();
    EXPECT_EQ(edit.text(), Num("-1000000001.000"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("98765432,25"));
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.text(), Num("98765432.250"));
}

TEST_P(RealSpinEdit, ValueWrittenFromCodeIsShownEvenOutsideTheRange) {
    TRealSpinEdit edit;
    edit.SetMinValue(30);
    edit.SetMaxValue(400);
    edit.SetValue(1000);
    EXPECT_EQ(edit.text(), Num("1000.000"));
    EXPECT_DOUBLE_EQ(edit.Value(), 1000);
    QSignalSpy confirm(&edit, &TRealSpinEdit::OnConfirm);
    edit.CheckValueRange();
    EXPECT_EQ(edit.text(), Num("400.000"));
    EXPECT_EQ(confirm.count(), 1);
}

TEST_P(RealSpinEdit, LeavingTheFieldConfirmsAndEmptyBecomesTheMinimum) {
    TWindow w;
    w.first->SetMinValue(-2.5);
    w.first->SetMaxValue(10);
    QSignalSpy confirm(w.first, &TRealSpinEdit::OnConfirm);
    w.first->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(w.first->hasFocus());
    w.first->clear();
    w.second->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.first->text(), Num("-2.500"));
    EXPECT_EQ(confirm.count(), 1);

    // Nothing changed: still confirmed.
    w.first->setFocus(Qt::TabFocusReason);
    w.second->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(confirm.count(), 2);
    EXPECT_EQ(w.first->text(), Num("-2.500"));
}

TEST_P(RealSpinEdit, UnparsableTextReadsAsTheMinimumAndIsRewritten) {
    TRealSpinEdit edit;
    edit.SetMinValue(7);
    edit.setText(QStringLiteral("-"));
    EXPECT_DOUBLE_EQ(edit.Value(), 7);
    EXPECT_EQ(edit.text(), Num("7.000"));
    edit.setText(QStringLiteral("abc"));
    EXPECT_DOUBLE_EQ(edit.Value(), 7);
    // Text with either separator, or a trailing one, still reads.
    edit.setText(QStringLiteral("12,"));
    EXPECT_DOUBLE_EQ(edit.Value(), 12);
    edit.setText(QStringLiteral("0.125"));
    EXPECT_DOUBLE_EQ(edit.Value(), 0.125);
    // Group separators are not part of a number.
    edit.setText(QStringLiteral("1,000,5"));
    EXPECT_DOUBLE_EQ(edit.Value(), 7);
}

TEST_P(RealSpinEdit, PrecisionRewritesTheTextAndIgnoresBadDigits) {
    TRealSpinEdit edit;
    edit.SetValue(400);
    edit.SetPrecision(1);
    EXPECT_EQ(edit.text(), Num("400.0"));
    edit.SetPrecision(15);
    edit.SetPrecision(-1);
    EXPECT_EQ(edit.Precision(), 1);
    edit.SetPrecision(0);
    EXPECT_EQ(edit.text(), QStringLiteral("400"));
    edit.SetPrecision(14);
    edit.SetValue(2.0 / 3.0);
    EXPECT_EQ(edit.text(), Num("0.66666666666667"));
}

TEST_P(RealSpinEdit, FocusFromTheKeyboardSelectsAllButALeftClickDoesNot) {
    TWindow w;
    w.second->setFocus(Qt::TabFocusReason);
    w.first->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(w.first->hasFocus());
    EXPECT_EQ(w.first->selectedText(), Num("0.000"));
    w.second->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(w.first->hasSelectedText());
    QTest::mouseClick(w.first, Qt::LeftButton, {}, w.first->rect().center());
    ASSERT_TRUE(w.first->hasFocus());
    EXPECT_FALSE(w.first->hasSelectedText());
}

TEST_P(RealSpinEdit, ButtonsAreSquareAtBothEndsAndTheTextSitsBetween) {
    TRealSpinEdit edit;
    edit.resize(145, 40);
    edit.show();
    QApplication::processEvents();
    EXPECT_EQ(edit.MinusButton()->geometry(), QRect(0, 0, 40, 40));
    EXPECT_EQ(edit.PlusButton()->geometry(), QRect(105, 0, 40, 40));
    edit.setCursorPosition(0);
    const QRect start = edit.inputMethodQuery(Qt::ImCursorRectangle).toRect();
    edit.setCursorPosition(int(edit.text().size()));
    const QRect end = edit.inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_GE(start.left(), 40);
    EXPECT_LE(end.right(), 105);
    // The control never gets lower than its text needs, even with its minimum lifted.
    edit.setMinimumSize(0, 0);
    edit.resize(145, 5);
    QApplication::processEvents();
    EXPECT_GE(edit.height(), edit.MinimumHeight());
    EXPECT_EQ(edit.PlusButton()->width(), edit.height());
}

INSTANTIATE_TEST_SUITE_P(Locales, RealSpinEdit,
                         ::testing::Values(QLocale::German, QLocale::English),
                         [](const auto& info) {
                             return info.param == QLocale::German ? "CommaLocale" : "PointLocale";
                         });

// Number to text and the range rule do not depend on widgets.
TEST(RealSpinEditFormat, FifteenSignificantDigitsRoundedHalfAwayFromZero) {
    const QChar c = QLatin1Char(',');
    EXPECT_EQ(TRealSpinEdit::FormatValue(400, 3, c), QStringLiteral("400,000"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(9.9996, 3, c), QStringLiteral("10,000"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(0.0006, 3, c), QStringLiteral("0,001"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(0.0004, 3, c), QStringLiteral("0,000"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(-0.0001, 3, c), QStringLiteral("0,000"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(-2.5, 0, c), QStringLiteral("-3"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(0.1 + 0.2, 14, c), QStringLiteral("0,30000000000000"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(1234567.123456789, 14, c),
              QStringLiteral("1234567,12345679000000"));
    EXPECT_EQ(TRealSpinEdit::FormatValue(-473612353.604, 2, QLatin1Char('.')),
              QStringLiteral("-473612353.60"));
}

TEST(RealSpinEditRange, ToleranceScalesWithTheBounds) {
    TRealSpinEdit edit;
    edit.SetMinValue(30);
    edit.SetMaxValue(400);
    EXPECT_EQ(edit.ClampToRange(400 + 1e-11), 400 + 1e-11); // within 400e-12
    EXPECT_EQ(edit.ClampToRange(400.001), 400);
    EXPECT_EQ(edit.ClampToRange(29.999), 30);
    EXPECT_EQ(edit.ClampToRange(30 - 1e-12), 30 - 1e-12);
    // Bounds equal within the tolerance: no range at all.
    edit.SetMinValue(1e-13);
    edit.SetMaxValue(5e-13);
    EXPECT_EQ(edit.ClampToRange(-7), -7);
    EXPECT_EQ(edit.ClampToRange(7), 7);
}

} // namespace
