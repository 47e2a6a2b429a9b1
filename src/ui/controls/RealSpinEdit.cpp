#include "ui/controls/RealSpinEdit.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// Significant digits a value keeps in the text.
constexpr int kSignificantDigits = 15;
// Height of the system's thin window border, in pixels.
constexpr int kSystemBorderHeight = 1;

std::atomic<int> BeepCounter{0};

void Beep() {
    BeepCounter.fetch_add(1, std::memory_order_relaxed);
    QApplication::beep();
}

// The font of the two step buttons: Segoe UI where it exists, otherwise the nearest sans serif.
QFont ButtonFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Noto Sans"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(11);
    return font;
}

} // namespace

TRealSpinEdit::TRealSpinEdit(QWidget* parent) : QLineEdit(parent) {
    FPlusButton = new QPushButton(QStringLiteral("+"), this);
    FMinusButton = new QPushButton(QStringLiteral("-"), this);
    const QColor windowText = QApplication::palette().color(QPalette::WindowText);
    for (QPushButton* button : {FPlusButton, FMinusButton}) {
        button->setFont(ButtonFont());
        QPalette pal = button->palette();
        pal.setColor(QPalette::ButtonText, windowText);
        button->setPalette(pal);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        button->setCursor(Qt::ArrowCursor);
    }
    connect(FPlusButton, &QPushButton::clicked, this, [this] { StepUp(); });
    connect(FMinusButton, &QPushButton::clicked, this, [this] { StepDown(); });
    // Any number in the field, typed or written, ends the unread state.
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty())
            EndUnread();
    });

    setAlignment(Qt::AlignCenter);
    // Dropped text would bypass the keystroke filter.
    setAcceptDrops(false);
    SetValue(0);
    setMinimumHeight(MinimumHeight());
    resize(145, 22);
}

TRealSpinEdit::~TRealSpinEdit() {
    delete FPlusButton;
    FPlusButton = nullptr;
    delete FMinusButton;
    FMinusButton = nullptr;
}

int TRealSpinEdit::BeepCount() {
    return BeepCounter.load(std::memory_order_relaxed);
}

QChar TRealSpinEdit::DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && !point[0].isLetterOrNumber() && point[0] != QLatin1Char('-') &&
        !point[0].isSpace())
        return point[0];
    return QLatin1Char('.');
}

QString TRealSpinEdit::FormatValue(double v, int precision, QChar separator) {
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    precision = std::clamp(precision, 0, 14);

    // 17 significant digits identify the double; the text keeps at most 15 of them, rounded
    // half away from zero at the last kept place.
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 16);
    const std::string sci(buf, res.ptr);
    const auto ePos = sci.find('e');
    const std::string digits = sci.substr(0, 1) + sci.substr(2, ePos - 2);
    const int exponent = std::stoi(sci.substr(ePos + 1));
    int intDigits = exponent + 1; // digits before the decimal point (may be 0 or negative)

    if (intDigits > kSignificantDigits) {
        // Too large for fixed notation with 15 significant digits.
        char big[64];
        const auto r = std::to_chars(big, big + sizeof big, v, std::chars_format::scientific,
                                     kSignificantDigits - 1);
        QString text = QString::fromLatin1(big, int(r.ptr - big)).toUpper();
        text.replace(QLatin1Char('.'), separator);
        return text;
    }

    const int keep = std::min(kSignificantDigits, intDigits + precision);
    std::string kept;
    if (keep >= 0) {
        kept = digits.substr(0, std::size_t(keep));
        if (std::size_t(keep) < digits.size() && digits[std::size_t(keep)] >= '5') {
            int i = keep - 1;
            while (i >= 0 && kept[std::size_t(i)] == '9')
                kept[std::size_t(i--)] = '0';
            if (i >= 0) {
                ++kept[std::size_t(i)];
            } else {
                kept.insert(kept.begin(), '1');
                ++intDigits;
            }
        }
    }
    // kept[i] has the weight 10^(intDigits - 1 - i).
    const auto digitAt = [&](int i) {
        return (i >= 0 && i < int(kept.size())) ? QLatin1Char(kept[std::size_t(i)])
                                                : QLatin1Char('0');
    };
    QString text;
    if (intDigits <= 0) {
        text = QStringLiteral("0");
    } else {
        for (int i = 0; i < intDigits; ++i)
            text += digitAt(i);
    }
    if (precision > 0) {
        text += separator;
        for (int f = 1; f <= precision; ++f)
            text += digitAt(intDigits - 1 + f);
    }
    const bool nonZero = std::any_of(kept.begin(), kept.end(), [](char c) { return c != '0'; });
    if (v < 0 && nonZero)
        text.prepend(QLatin1Char('-'));
    return text;
}

std::optional<double> TRealSpinEdit::ParseValue(const QString& text, QChar separator) {
    QString t = text.trimmed();
    for (QChar& c : t) {
        if (c == QLatin1Char('.') || c == QLatin1Char(',') || c == separator)
            c = QLatin1Char('.');
    }
    if (t.startsWith(QLatin1Char('+')))
        t.remove(0, 1);
    if (t.isEmpty())
        return std::nullopt;
    for (QChar c : t) {
        if (c.unicode() > 0x7F)
            return std::nullopt;
    }
    const std::string s = t.toStdString();
    double value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double TRealSpinEdit::Value() {
    if (const auto v = ParseValue(text(), DecimalSeparator()))
        return *v;
    if (!FUnread) // an unread field keeps showing that it holds no value
        SetValue(FMinValue);
    return FMinValue;
}

double TRealSpinEdit::ShownValue() const {
    return ParseValue(text(), DecimalSeparator()).value_or(FMinValue);
}

void TRealSpinEdit::SetValue(double v) {
    setText(FormatValue(v, FPrecision, DecimalSeparator()));
    EndUnread();
}

void TRealSpinEdit::SetUnread() {
    clear();
    setPlaceholderText(QLatin1String(UnreadText));
    if (!FUnread) {
        FUnread = true;
        emit UnreadChanged(true);
    }
}

void TRealSpinEdit::EndUnread() {
    if (!FUnread)
        return;
    FUnread = false;
    setPlaceholderText(QString());
    emit UnreadChanged(false);
}

void TRealSpinEdit::SetPrecision(int digits) {
    if (digits < 0 || digits >= 15)
        return;
    FPrecision = digits;
    if (!FUnread)
        SetValue(Value());
}

double TRealSpinEdit::ClampToRange(double x) const {
    const auto tolerance = [](double a, double b) {
        return std::max(1e-12, 1e-12 * std::min(std::fabs(a), std::fabs(b)));
    };
    if (std::fabs(FMinValue - FMaxValue) <= tolerance(FMinValue, FMaxValue))
        return x; // no range
    if (FMinValue - x > tolerance(x, FMinValue))
        return FMinValue;
    if (x - FMaxValue > tolerance(x, FMaxValue))
        return FMaxValue;
    return x;
}

void TRealSpinEdit::Confirm() {
    if (FUnread)
        return; // nothing typed: there is no value to confirm
    SetValue(ClampToRange(Value()));
    emit OnConfirm(this);
}

void TRealSpinEdit::CheckValueRange() {
    Confirm();
}

bool TRealSpinEdit::AcceptsChar(QChar c) {
    if (c == QChar(3) || c == QChar(8) || c == QChar(22))
        return true;

    QString result = text();
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    if (hasSelectedText())
        result.remove(start, selectionLength());
    result.insert(start, c);

    const QString pattern = QStringLiteral("^") + (FMinus ? QStringLiteral("[-]?") : QString()) +
                            QStringLiteral("([0-9]+[\\") + DecimalSeparator() +
                            QStringLiteral("]?[0-9]*)?$");
    const QRegularExpression re(pattern);
    const QRegularExpressionMatch match = re.match(result);
    // An empty match does not count.
    const bool matches = match.hasMatch() && match.capturedLength(0) > 0;
    return matches && FEditorEnabled;
}

void TRealSpinEdit::StepUp() {
    if (isReadOnly()) {
        Beep();
    } else {
        SetValue(ClampToRange(Value() + FIncrement));
        emit OnUpDownChange(this);
    }
    setFocus(Qt::OtherFocusReason);
}

void TRealSpinEdit::StepDown() {
    if (isReadOnly()) {
        Beep();
    } else {
        SetValue(ClampToRange(Value() - FIncrement));
        emit OnUpDownChange(this);
    }
    setFocus(Qt::OtherFocusReason);
}

int TRealSpinEdit::MinimumHeight() const {
    const int h = QFontMetrics(font()).height();
    const int hSys = QFontMetrics(QApplication::font()).height();
    return 4 * kSystemBorderHeight + h + std::min(hSys, h) / 4 + 2;
}

QSize TRealSpinEdit::sizeHint() const {
    return {145, std::max(22, MinimumHeight())};
}

void TRealSpinEdit::TypeChar(QChar c) {
    if (c == QLatin1Char('.') || c == QLatin1Char(','))
        c = DecimalSeparator();
    if (!AcceptsChar(c)) {
        Beep();
        return;
    }
    if (!isReadOnly())
        insert(QString(c));
}

void TRealSpinEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        StepUp();
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Down:
        StepDown();
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Confirm();
        event->accept();
        return;
    default:
        break;
    }

    if (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste)) {
        if (CutPasteAllowed())
            QLineEdit::keyPressEvent(event);
        else
            event->accept();
        return;
    }

    const QString typed = event->text();
    const Qt::KeyboardModifiers mods = event->modifiers();
    // Control (without Alt, which together with Control is AltGr) makes a shortcut, not a
    // character.
    const bool shortcut =
        (mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier);
    const bool printable = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                                           [](QChar c) { return c.isPrint(); });
    if (shortcut || !printable) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    for (QChar c : typed)
        TypeChar(c);
    event->accept();
}

void TRealSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // Committed text passes the same filter as typed characters, one at a time.
    const QString committed = event->commitString();
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&rest);
    for (QChar c : committed)
        TypeChar(c);
    event->accept();
}

void TRealSpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Returning from a popup or from another window does not enter the field anew.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    const bool leftPress = event->reason() == Qt::MouseFocusReason &&
                           (QGuiApplication::mouseButtons() & Qt::LeftButton);
    if (!leftPress)
        selectAll();
}

void TRealSpinEdit::focusOutEvent(QFocusEvent* event) {
    // A popup (the context menu) or a switch to another window does not leave the field.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        Confirm();
    QLineEdit::focusOutEvent(event);
}

void TRealSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    // Never lower than the text needs, also when a layout lifted the minimum height.
    if (height() < MinimumHeight())
        resize(width(), MinimumHeight());
    const int side = height();
    if (FMinusButton)
        FMinusButton->setGeometry(0, 0, side, side);
    if (FPlusButton)
        FPlusButton->setGeometry(width() - side, 0, side, side);
    FitTextArea();
}

void TRealSpinEdit::FitTextArea() {
    if (!FPlusButton || !FMinusButton)
        return;
    // The text runs from just right of the left button to just left of the right one; the
    // margins count from the style's contents rectangle, which already leaves out the frame.
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const int leftEdge = FMinusButton->width() + 1;
    const int rightEdge = width() - FPlusButton->width() - 2;
    const int left = std::max(0, leftEdge - contents.left());
    const int right = std::max(0, contents.right() + 1 - rightEdge);
    setTextMargins(left, 0, right, 0);
}

void TRealSpinEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        setMinimumHeight(MinimumHeight());
        FitTextArea();
    }
}

void TRealSpinEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection clipboard.
    if (event->button() == Qt::MiddleButton && !CutPasteAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TRealSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
    // The edit's usual menu, with cut and paste only where typing is allowed.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto add = [&](const QString& name, const QString& text, QKeySequence::StandardKey key,
                         bool enabled, auto slot) {
        QString caption = text;
        const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
        if (!shortcut.isEmpty())
            caption += QLatin1Char('\t') + shortcut;
        QAction* action = menu->addAction(caption, this, slot);
        action->setObjectName(name);
        action->setEnabled(enabled);
    };
    const bool editable = !isReadOnly();
    const bool selection = hasSelectedText();
    const bool clipboardText = !QGuiApplication::clipboard()->text().isEmpty();
    add(QStringLiteral("edit-undo"), tr("&Undo"), QKeySequence::Undo, editable && isUndoAvailable(),
        &QLineEdit::undo);
    add(QStringLiteral("edit-redo"), tr("&Redo"), QKeySequence::Redo, editable && isRedoAvailable(),
        &QLineEdit::redo);
    menu->addSeparator();
    add(QStringLiteral("edit-cut"), tr("Cu&t"), QKeySequence::Cut, CutPasteAllowed() && selection,
        &QLineEdit::cut);
    add(QStringLiteral("edit-copy"), tr("&Copy"), QKeySequence::Copy, selection, &QLineEdit::copy);
    add(QStringLiteral("edit-paste"), tr("&Paste"), QKeySequence::Paste,
        CutPasteAllowed() && clipboardText, &QLineEdit::paste);
    add(QStringLiteral("edit-delete"), tr("Delete"), QKeySequence::UnknownKey,
        editable && selection, &QLineEdit::del);
    menu->addSeparator();
    add(QStringLiteral("select-all"), tr("Select All"), QKeySequence::SelectAll,
        !text().isEmpty() && selectedText() != text(), &QLineEdit::selectAll);
    menu->popup(event->globalPos());
}

void EnableWhenRead(QAbstractButton* button, std::initializer_list<TRealSpinEdit*> fields) {
    if (!button)
        return;
    const QList<QPointer<TRealSpinEdit>> watched(fields.begin(), fields.end());
    const auto update = [button, watched] {
        button->setEnabled(std::none_of(watched.begin(), watched.end(),
                                        [](const TRealSpinEdit* f) { return f && f->Unread(); }));
    };
    for (TRealSpinEdit* field : fields)
        if (field)
            QObject::connect(field, &TRealSpinEdit::UnreadChanged, button, update);
    update();
}
