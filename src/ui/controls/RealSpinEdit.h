#pragma once
// The numeric entry field of every settable value: a one-line edit between "-" and "+".

#include <QLineEdit>

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

    double Value();            // parses the text; unparsable text becomes MinValue
    void SetValue(double v);   // fixed notation, Precision decimals, the locale's separator
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

    double ClampToRange(double x) const;
    void CheckValueRange(); // does exactly what leaving the field does

    virtual bool AcceptsChar(QChar c);
    virtual void StepUp();
    virtual void StepDown();

signals:
    void OnUpDownChange(TRealSpinEdit* sender);
    void OnConfirm(TRealSpinEdit* sender);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double FMinValue = 0;
    double FMaxValue = 0;
    double FIncrement = 1.0;
    bool FEditorEnabled = true;
    bool FMinus = true;
    int FPrecision = 3;
    QPushButton* FPlusButton = nullptr;
    QPushButton* FMinusButton = nullptr;
};
