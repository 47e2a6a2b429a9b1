#include "ui/controls/ALProgressBar.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Nearest integer, halves to the even neighbour (the default floating-point rounding mode).
double RoundHalfEven(double v) {
    return std::nearbyint(v);
}

int BlendChannel(int a, int b, int k, int m) {
    if (m <= 1)
        return a;
    const double step = double(k - 1) * double(b - a) / double(m - 1);
    return a + int(RoundHalfEven(step));
}

} // namespace

std::optional<QColor> Blend(const QColor& a, const QColor& b, int k, int m, QString* error) {
    if (k < 1 || k > m) {
        if (error)
            *error = QStringLiteral("ColorIndex can't be less than 1 or greater than ") +
                     QString::number(m);
        return std::nullopt;
    }
    return QColor(BlendChannel(a.red(), b.red(), k, m), BlendChannel(a.green(), b.green(), k, m),
                  BlendChannel(a.blue(), b.blue(), k, m));
}

TALProgressBar::TALProgressBar(QWidget* parent) : QWidget(parent) {
    const QPalette pal = QApplication::palette();
    // Plain 8-bit colours, so that what is set is what is drawn.
    fBorderColor1 = QColor(pal.color(QPalette::Dark).rgb());
    fBorderColor2 = QColor(pal.color(QPalette::Light).rgb());
    fBackgroundColor = QColor(pal.color(QPalette::Button).rgb());
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(1000, 20);
}

TALProgressBar::~TALProgressBar() = default;

void TALProgressBar::SetPosition(int v) {
    if (v == fPosition)
        return;
    fPosition = v;
    // A new position reuses the fill image.
    RegenerateBitmap = false;
    Paint();
    RegenerateBitmap = true;
}

void TALProgressBar::SetMin(int v) {
    fMin = v;
    Paint();
}

void TALProgressBar::SetMax(int v) {
    fMax = v;
    Paint();
}

void TALProgressBar::SetShowBorder(bool v) {
    fShowBorder = v;
    Paint();
}

void TALProgressBar::SetShowPosText(bool v) {
    fShowPosText = v;
    Paint();
}

void TALProgressBar::SetPosTextSuffix(const QString& v) {
    fPosTextSuffix = v;
    Paint();
}

void TALProgressBar::SetPosTextPrefix(const QString& v) {
    fPosTextPrefix = v;
    Paint();
}

void TALProgressBar::SetBarColorStyle(TBarColorStyle v) {
    fBarColorStyle = std::clamp(v, cs1Color, cs3Colors);
    Paint();
}

void TALProgressBar::SetDirection(TProgressDirection v) {
    fDirection = std::clamp(v, pdLeftToRight, pdTopToBottom);
    Paint();
}

void TALProgressBar::SetPercentage(bool v) {
    fPercentage = v;
    Paint();
}

void TALProgressBar::SetText(const QString& v) {
    fText = v;
    Paint();
}

void TALProgressBar::SetBarColor1(const QColor& v) {
    fBarColor1 = v;
    Paint();
}

void TALProgressBar::SetBarColor2(const QColor& v) {
    fBarColor2 = v;
    Paint();
}

void TALProgressBar::SetBarColor3(const QColor& v) {
    fBarColor3 = v;
    Paint();
}

void TALProgressBar::SetBackgroundColor(const QColor& v) {
    fBackgroundColor = v;
    Paint();
}

void TALProgressBar::SetBorderColor1(const QColor& v) {
    fBorderColor1 = v;
    Paint();
}

void TALProgressBar::SetBorderColor2(const QColor& v) {
    fBorderColor2 = v;
    Paint();
}

void TALProgressBar::SetBarBitmap(const QImage& picture) {
    fBarBitmap = picture.copy();
    Paint();
}

bool TALProgressBar::Horizontal() const {
    return fDirection == pdLeftToRight || fDirection == pdRightToLeft;
}

int TALProgressBar::TravelLength() const {
    const int length = Horizontal() ? width() : height();
    return fShowBorder ? length - 2 : length;
}

int TALProgressBar::FillFor(int travel) const {
    if (!(fMin < fPosition && fMin != fMax) || travel <= 0)
        return 0;
    const double span = std::fabs(double(fMax) - double(fMin));
    const double fraction = (double(fPosition) - double(fMin)) / span;
    // Beyond the maximum the bar is simply full.
    return int(std::min(double(travel) + 1, RoundHalfEven(fraction * travel)));
}

int TALProgressBar::FilledLength() const {
    const int travel = TravelLength();
    return std::clamp(FillFor(travel), 0, std::max(0, travel));
}

QString TALProgressBar::PositionText() const {
    if (!fText.isEmpty())
        return fText;
    const int64_t min = fMin;
    const int64_t max = fMax;
    const int64_t pos = fPosition;
    int64_t number = 0;
    if (max - min < 1) {
        number = 0;
    } else if (fPercentage) {
        if (pos <= min)
            number = 0;
        else if (pos >= max)
            number = 100;
        else
            number = int64_t(RoundHalfEven(double(pos - min) / double(max - min) * 100.0));
    } else {
        number = std::clamp(pos, min, max);
    }
    return fPosTextPrefix + QString::number(number) + fPosTextSuffix;
}

void TALProgressBar::Paint() {
    Render();
    update();
}

void TALProgressBar::Render() {
    ++FPaintCount;
    const int w = width();
    const int h = height();
    const qreal dpr = devicePixelRatioF();
    const QSize pixels(int(std::ceil(w * dpr)), int(std::ceil(h * dpr)));
    if (MainBitmap.size() != pixels || MainBitmap.devicePixelRatio() != dpr) {
        MainBitmap = QImage(pixels, QImage::Format_RGB32);
        MainBitmap.setDevicePixelRatio(dpr);
    }
    if (w <= 0 || h <= 0)
        return;
    // Text on the image has the same size as on the control.
    MainBitmap.setDotsPerMeterX(int(std::lround(logicalDpiX() / 0.0254)));
    MainBitmap.setDotsPerMeterY(int(std::lround(logicalDpiY() / 0.0254)));

    QPainter painter(&MainBitmap);
    DrawBar(painter, w, h, RegenerateBitmap);
    if (fShowBorder)
        DrawBorder(painter, w, h);
    if (fShowPosText)
        DrawPosText(painter, w, h);
}

void TALProgressBar::DrawBar(QPainter& painter, int w, int h, bool regenerate) {
    // The fill image is rebuilt when asked, and always when it no longer fits the control.
    const bool stale = TiledBarBitmap.size() != MainBitmap.size() ||
                       TiledBarBitmap.devicePixelRatio() != MainBitmap.devicePixelRatio();
    if (fBarBitmap.isNull()) {
        if (fBarColorStyle == cs1Color) {
            painter.fillRect(0, 0, w, h, fBarColor1);
        } else {
            if (regenerate || stale)
                DrawGradient(w, h);
            painter.drawImage(0, 0, TiledBarBitmap);
        }
    } else {
        if (regenerate || stale)
            DrawTiles(w, h);
        painter.drawImage(0, 0, TiledBarBitmap);
    }

    const int travel = TravelLength();
    const int unfilled = travel - FillFor(travel);
    if (unfilled <= 0)
        return;
    const int inset = fShowBorder ? 1 : 0;
    const QRect inner(inset, inset, w - 2 * inset, h - 2 * inset);
    QRect empty;
    switch (fDirection) {
    case pdLeftToRight:
        empty = QRect(inner.right() + 1 - unfilled, inner.top(), unfilled, inner.height());
        break;
    case pdRightToLeft:
        empty = QRect(inner.left(), inner.top(), unfilled, inner.height());
        break;
    case pdTopToBottom:
        empty = QRect(inner.left(), inner.bottom() + 1 - unfilled, inner.width(), unfilled);
        break;
    case pdBottomToTop:
        empty = QRect(inner.left(), inner.top(), inner.width(), unfilled);
        break;
    }
    painter.fillRect(empty, fBackgroundColor);
}

void TALProgressBar::DrawGradient(int w, int h) {
    TiledBarBitmap = QImage(MainBitmap.size(), QImage::Format_RGB32);
    TiledBarBitmap.setDevicePixelRatio(MainBitmap.devicePixelRatio());
    TiledBarBitmap.fill(fBarColor1);
    QPainter painter(&TiledBarBitmap);

    const bool horizontal = Horizontal();
    const bool forward = fDirection == pdLeftToRight || fDirection == pdTopToBottom;
    const int total = horizontal ? w : h;
    const int run = fBarColorStyle == cs2Colors ? total : total / 2;
    const auto line = [&](int i, const QColor& color) {
        if (horizontal)
            painter.fillRect(i, 0, 1, h, color);
        else
            painter.fillRect(0, i, w, 1, color);
    };

    QColor start = fBarColor1;
    QColor end = fBarColor2;
    if (!forward) {
        start = fBarColor2;
        end = fBarColor1;
        if (fBarColorStyle == cs3Colors) {
            start = fBarColor3;
            end = fBarColor2;
        }
    }
    for (int i = 0; i < run; ++i)
        line(i, Blend(start, end, i + 1, run).value_or(start));

    if (fBarColorStyle == cs3Colors) {
        const int rest = total - run;
        const QColor last = forward ? fBarColor3 : fBarColor1;
        for (int j = run; j < total; ++j)
            line(j, Blend(fBarColor2, last, j - run + 1, rest).value_or(fBarColor2));
    }
}

void TALProgressBar::DrawTiles(int w, int h) {
    TiledBarBitmap = QImage(MainBitmap.size(), QImage::Format_RGB32);
    TiledBarBitmap.setDevicePixelRatio(MainBitmap.devicePixelRatio());
    TiledBarBitmap.fill(fBackgroundColor);
    const QSizeF tile = fBarBitmap.deviceIndependentSize();
    const int tw = std::max(1, int(tile.width()));
    const int th = std::max(1, int(tile.height()));
    QPainter painter(&TiledBarBitmap);
    for (int x = 0; x <= w / tw; ++x) {
        for (int y = 0; y <= h / th; ++y)
            painter.drawImage(x * tw, y * th, fBarBitmap);
    }
}

void TALProgressBar::DrawBorder(QPainter& painter, int w, int h) const {
    // Top edge and left edge in the shadow colour, bottom and right in the highlight colour; the
    // top-right and bottom-left corners belong to the shadow.
    painter.fillRect(1, 0, w - 1, 1, fBorderColor1);
    painter.fillRect(0, 0, 1, h, fBorderColor1);
    painter.fillRect(1, h - 1, w - 2, 1, fBorderColor2);
    painter.fillRect(w - 1, 1, 1, h - 1, fBorderColor2);
}

void TALProgressBar::DrawPosText(QPainter& painter, int w, int h) const {
    const QString text = PositionText();
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(painter.font(), &MainBitmap);
    const int left = w / 2 - metrics.horizontalAdvance(text) / 2;
    const int top = h / 2 - metrics.height() / 2;
    painter.drawText(left, top + metrics.ascent(), text);
}

void TALProgressBar::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
    if (MainBitmap.size() != pixels || MainBitmap.devicePixelRatio() != dpr)
        Render();
    QPainter painter(this);
    painter.drawImage(0, 0, MainBitmap);
}

void TALProgressBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        Paint();
}
