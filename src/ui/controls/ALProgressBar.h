#pragma once
// A drawn bar showing an integer position between Min and Max (the mirror positions).

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

enum TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };
enum TBarColorStyle { cs1Color, cs2Colors, cs3Colors };

// Colour k of a gradient run of m lines from a to b (1 <= k <= m): each channel is
// a + (k - 1) * (b - a) / (m - 1), rounded to the nearest integer (halves to even). A run of one
// line is the colour a. A k outside 1..m gives no colour and, when `error` is given, the text
// "ColorIndex can't be less than 1 or greater than " followed by m.
std::optional<QColor> Blend(const QColor& a, const QColor& b, int k, int m,
                            QString* error = nullptr);

class TALProgressBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(bool ShowBorder READ ShowBorder WRITE SetShowBorder)
    Q_PROPERTY(bool ShowPosText READ ShowPosText WRITE SetShowPosText)
    Q_PROPERTY(QString PosTextSuffix READ PosTextSuffix WRITE SetPosTextSuffix)
    Q_PROPERTY(QString PosTextPrefix READ PosTextPrefix WRITE SetPosTextPrefix)
    Q_PROPERTY(int BarColorStyle READ BarColorStyleInt WRITE SetBarColorStyleInt)
    Q_PROPERTY(int Direction READ DirectionInt WRITE SetDirectionInt)
    Q_PROPERTY(bool Percentage READ Percentage WRITE SetPercentage)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QColor BarColor1 READ BarColor1 WRITE SetBarColor1)
    Q_PROPERTY(QColor BarColor2 READ BarColor2 WRITE SetBarColor2)
    Q_PROPERTY(QColor BarColor3 READ BarColor3 WRITE SetBarColor3)
    Q_PROPERTY(QColor BackgroundColor READ BackgroundColor WRITE SetBackgroundColor)
    Q_PROPERTY(QColor BorderColor1 READ BorderColor1 WRITE SetBorderColor1)
    Q_PROPERTY(QColor BorderColor2 READ BorderColor2 WRITE SetBorderColor2)
public:
    explicit TALProgressBar(QWidget* parent = nullptr);
    ~TALProgressBar() override;

    int Position() const { return fPosition; }
    void SetPosition(int v);
    int Min() const { return fMin; }
    void SetMin(int v);
    int Max() const { return fMax; }
    void SetMax(int v);
    bool ShowBorder() const { return fShowBorder; }
    void SetShowBorder(bool v);
    bool ShowPosText() const { return fShowPosText; }
    void SetShowPosText(bool v);
    QString PosTextSuffix() const { return fPosTextSuffix; }
    void SetPosTextSuffix(const QString& v);
    QString PosTextPrefix() const { return fPosTextPrefix; }
    void SetPosTextPrefix(const QString& v);
    TBarColorStyle BarColorStyle() const { return fBarColorStyle; }
    void SetBarColorStyle(TBarColorStyle v);
    TProgressDirection Direction() const { return fDirection; }
    void SetDirection(TProgressDirection v);
    bool Percentage() const { return fPercentage; }
    void SetPercentage(bool v);
    QString Text() const { return fText; }
    void SetText(const QString& v);
    QColor BarColor1() const { return fBarColor1; }
    void SetBarColor1(const QColor& v);
    QColor BarColor2() const { return fBarColor2; }
    void SetBarColor2(const QColor& v);
    QColor BarColor3() const { return fBarColor3; }
    void SetBarColor3(const QColor& v);
    QColor BackgroundColor() const { return fBackgroundColor; }
    void SetBackgroundColor(const QColor& v);
    QColor BorderColor1() const { return fBorderColor1; }
    void SetBorderColor1(const QColor& v);
    QColor BorderColor2() const { return fBorderColor2; }
    void SetBorderColor2(const QColor& v);
    QImage BarBitmap() const { return fBarBitmap; }
    void SetBarBitmap(const QImage& picture); // an empty picture returns to the colour fill

    // The text the bar shows (prefix + number + suffix, or Text).
    QString PositionText() const;
    // Pixels of the travel length that are filled (0 to the travel length).
    int FilledLength() const;
    // Pixels the bar travels: the width or height, less the border.
    int TravelLength() const;
    // Number of times the bar was painted (to check that unchanged positions cost nothing).
    int PaintCount() const { return FPaintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Draws the whole control into MainBitmap and shows it.
    void Paint();
    void Render();
    void DrawBar(QPainter& painter, int w, int h, bool regenerate);
    void DrawGradient(int w, int h);
    void DrawTiles(int w, int h);
    void DrawBorder(QPainter& painter, int w, int h) const;
    void DrawPosText(QPainter& painter, int w, int h) const;
    bool Horizontal() const;
    // Filled pixels for a travel length, before limiting to it.
    int FillFor(int travel) const;

    int BarColorStyleInt() const { return fBarColorStyle; }
    void SetBarColorStyleInt(int v) { SetBarColorStyle(static_cast<TBarColorStyle>(v)); }
    int DirectionInt() const { return fDirection; }
    void SetDirectionInt(int v) { SetDirection(static_cast<TProgressDirection>(v)); }

    QImage MainBitmap;
    QColor fBorderColor1;
    QColor fBorderColor2;
    QColor fBackgroundColor;
    int fPosition = 0;
    QImage fBarBitmap;
    int fMin = 0;
    int fMax = 100;
    bool fShowBorder = true;
    TProgressDirection fDirection = pdLeftToRight;
    bool fShowPosText = true;
    QString fPosTextSuffix;
    QString fPosTextPrefix;
    TBarColorStyle fBarColorStyle = cs3Colors;
    QColor fBarColor1{0, 128, 0};
    QColor fBarColor2{255, 255, 0};
    QColor fBarColor3{255, 0, 0};
    bool RegenerateBitmap = true;
    QImage TiledBarBitmap;
    bool fPercentage = false;
    QString fText;
    int FPaintCount = 0;
};
