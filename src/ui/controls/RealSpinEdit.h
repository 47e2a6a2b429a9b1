#pragma once
// The numeric entry field of every settable value: a one-line edit between "-" and "+".

#include <QLineEdit>

#include <initializer_list>
#include <optional>

class QAbstractButton;
class QPushButton;

class TRealSpinEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
    Q_PROPERTY(bool Minus READ Minus WRITE SetMinus)
    Q_PROPERTY(int Precision READ Precision WRITE SetPrecision)
    Q_PROPERTY(double Value READ Value WRITE SetValue)
public:
    explicit TRealSpinEdit(QWidget* parent = nullptr);
    ~TRealSpinEdit() override;

    double Value(); // parses the text; unparsable text becomes MinValue
    // The number the text shows, MinValue while it shows none. Never touches the text, so a
    // reader that is not the operator's own action (a poll, a display) cannot disturb typing.
    double ShownValue() const;
    void SetValue(double v); // fixed notation, Precision decimals, the locale's separator
    double MinValue() const { return FMinValue; }
    void SetMinValue(double v) { FMinValue = v; }
    double MaxValue() const { return FMaxValue; }
    void SetMaxValue(double v) { FMaxValue = v; }
    double Increment() const { return FIncrement; }
    void SetIncrement(double v) { FIncrement = v; }
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool v) { FEditorEnabled = v; }
    bool Minus() const { return FMinus; }
    void SetMinus(bool v) { FMinus = v; }
    int Precision() const { return FPrecision; }
    void SetPrecision(int digits); // 0..14, others ignored

    // A field whose value was never read from the device nor typed shows that it holds none
    // ("unread", the text empty) instead of a number. Writing a value from code, typing and
    // stepping end the state; Enter and leaving the field change nothing while it lasts.
    static constexpr const char* UnreadText = "unread";
    void SetUnread();
    bool Unread() const { return FUnread; }

    double ClampToRange(double x) const;
    void CheckValueRange(); // does exactly what leaving the field does

    virtual bool AcceptsChar(QChar c);
    virtual void StepUp();
    virtual void StepDown();

    // Smallest height at which the text fits; the control never gets lower.
    int MinimumHeight() const;
    QSize sizeHint() const override;
    QPushButton* PlusButton() const { return FPlusButton; }
    QPushButton* MinusButton() const { return FMinusButton; }

    // Beeps sounded by refused keys and read-only stepping since the program started.
    static int BeepCount();

    // The decimal separator of the current number format (the default QLocale); "." when the
    // locale's separator is not a single character.
    static QChar DecimalSeparator();
    // Number to text: fixed notation, at most 15 significant digits, `precision` decimals, no
    // group separators; digits beyond the 15th are shown as zeros.
    static QString FormatValue(double v, int precision, QChar separator);
    // Text to number with the given separator ("." and "," both read as it); nothing when the
    // text is not a finite number.
    static std::optional<double> ParseValue(const QString& text, QChar separator);

signals:
    void OnUpDownChange(TRealSpinEdit* sender);
    void OnConfirm(TRealSpinEdit* sender);
    void UnreadChanged(bool unread);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool CutPasteAllowed() const { return FEditorEnabled && !isReadOnly(); }
    void TypeChar(QChar c);
    void Confirm();
    void FitTextArea();
    void EndUnread();

    double FMinValue = 0;
    double FMaxValue = 0;
    double FIncrement = 1.0;
    bool FEditorEnabled = true;
    bool FMinus = true;
    int FPrecision = 3;
    bool FUnread = false;
    QPushButton* FPlusButton = nullptr;
    QPushButton* FMinusButton = nullptr;
};

// Keeps button enabled exactly while none of fields is unread: a Set or Write never sends a
// value that nobody read or typed.
void EnableWhenRead(QAbstractButton* button, std::initializer_list<TRealSpinEdit*> fields);
