#include "ui/main/PicturesUnit.h"

#include "ui/main/PeakTableUnit.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor BeamRed(0xC8, 0x1E, 0x1E);
const QColor Ink(0x26, 0x32, 0x38);
const QColor Muted(0x90, 0xA4, 0xAE);

// A little absorption spectrum: one bump per peak at its offset, the chosen one in red.
void PaintSpectrum(QPainter& p, const QRectF& area, int highlightIndex) {
    TPeakList peaks;
    peaks.CreatePeakList();
    const double lo = -320.0, hi = 180.0; // MHz around component f
    auto xOf = [&](double offset) {
        // Higher frequency to the left, as the peaks are named a (highest) to n.
        return area.left() + (hi - offset) / (hi - lo) * area.width();
    };
    const double base = area.bottom();
    p.setPen(QPen(Muted, 1.5));
    p.drawLine(QPointF(area.left(), base), QPointF(area.right(), base));
    for (int i = 0; i < peaks.Count(); ++i) {
        const bool chosen = i == highlightIndex;
        const double x = xOf(peaks[i].Offset);
        const double h = chosen ? area.height() : area.height() * 0.55;
        const double w = area.width() / 90.0;
        QPainterPath path(QPointF(x - 3 * w, base));
        path.cubicTo(QPointF(x - w, base), QPointF(x - w * 0.6, base - h), QPointF(x, base - h));
        path.cubicTo(QPointF(x + w * 0.6, base - h), QPointF(x + w, base),
                     QPointF(x + 3 * w, base));
        p.setPen(QPen(chosen ? BeamRed : Muted, chosen ? 2.5 : 1.5));
        p.drawPath(path);
    }
}

} // namespace

QPixmap SimpleButtonPicture(int peakNumber, const QSize& size) {
    if (peakNumber < 1 || peakNumber > SimpleButtonPictureCount || size.isEmpty())
        return QPixmap();
    TPeakList peaks;
    peaks.CreatePeakList();
    const int index = peakNumber - 1;

    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(QPointF(0, 0), QSizeF(size));
    // Horizontal measures follow the width, vertical ones the height (the pictures may be tall).
    const double wu = r.width() / 100.0;
    const double hu = r.height() / 100.0;
    const double u = std::min(wu, hu);

    QLinearGradient card(r.topLeft(), r.bottomLeft());
    card.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    card.setColorAt(1, QColor(0xE6, 0xEC, 0xF0));
    p.setPen(Qt::NoPen);
    p.setBrush(card);
    p.drawRoundedRect(r, u * 6, u * 6);

    // The peak's letter, large, in the beam's red, with room below for descenders (j).
    QFont letterFont(QStringLiteral("Segoe UI"));
    letterFont.setBold(true);
    letterFont.setPixelSize(static_cast<int>(std::min(wu * 60, hu * 42)));
    p.setFont(letterFont);
    p.setPen(BeamRed);
    p.drawText(QRectF(r.left(), r.top() + hu * 4, r.width(), hu * 56), Qt::AlignCenter,
               peaks[index].Name);

    QFont captionFont(QStringLiteral("Segoe UI"));
    captionFont.setPixelSize(static_cast<int>(std::min(wu * 7.5, hu * 6)));
    p.setFont(captionFont);
    p.setPen(Ink);
    const QString offset =
        peakNumber == PeakIndexF + 1
            ? QStringLiteral("reference")
            : FixedText(peaks[index].Offset, 1, QLocale::c()) + QStringLiteral(" MHz");
    p.drawText(QRectF(r.left(), r.top() + hu * 61, r.width(), hu * 8), Qt::AlignCenter,
               QStringLiteral("peak %1 \u00B7 %2").arg(peakNumber).arg(offset));

    PaintSpectrum(p, QRectF(r.left() + wu * 10, r.top() + hu * 73, r.width() - wu * 20, hu * 18),
                  index);
    return pixmap;
}

QPixmap LogoPicture(const QSize& size) {
    if (size.isEmpty())
        return QPixmap();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(QPointF(0, 0), QSizeF(size));
    const double h = r.height();

    // A beam that leaves a cell as a wave and runs on as a straight line.
    const QRectF cell(r.left() + h * 0.08, r.top() + h * 0.22, h * 0.56, h * 0.56);
    QLinearGradient glass(cell.topLeft(), cell.bottomRight());
    glass.setColorAt(0, QColor(0xB3, 0x88, 0xC9));
    glass.setColorAt(1, QColor(0x6A, 0x3D, 0x8C));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(cell);
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(QRectF(cell.left() + cell.width() * 0.2, cell.top() + cell.height() * 0.15,
                         cell.width() * 0.3, cell.height() * 0.2));

    const double y = cell.center().y();
    QPainterPath wave(QPointF(cell.center().x(), y));
    const double start = cell.center().x();
    const double waveEnd = cell.right() + h * 0.5;
    for (double x = start; x <= waveEnd; x += 1.0)
        wave.lineTo(x, y + std::sin((x - start) / (h * 0.07)) * h * 0.08 *
                               (1.0 - (x - start) / (waveEnd - start)));
    wave.lineTo(r.right() - h * 0.05, y);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(BeamRed, std::max(2.0, h * 0.035), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wave);

    const QRectF textArea(cell.right() + h * 0.15, r.top(), r.right() - cell.right() - h * 0.2,
                          y - h * 0.06);
    const QString word = QStringLiteral("HALVANE");
    QFont font(QStringLiteral("Segoe UI"));
    font.setBold(true);
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    int pixels = static_cast<int>(h * 0.3);
    do { // the largest size whose word fits the room
        font.setPixelSize(pixels);
    } while (--pixels > 6 && QFontMetricsF(font).horizontalAdvance(word) > textArea.width());
    p.setFont(font);
    p.setPen(Ink);
    p.drawText(textArea, Qt::AlignLeft | Qt::AlignBottom, word);

    const QString motto = QStringLiteral("iodine-stabilised HeNe laser");
    QFont small(QStringLiteral("Segoe UI"));
    pixels = static_cast<int>(h * 0.12);
    do {
        small.setPixelSize(pixels);
    } while (--pixels > 6 && QFontMetricsF(small).horizontalAdvance(motto) > textArea.width());
    p.setFont(small);
    p.setPen(Muted.darker(130));
    p.drawText(QRectF(textArea.left(), y + h * 0.08, textArea.width(), h * 0.2),
               Qt::AlignLeft | Qt::AlignTop, motto);
    return pixmap;
}
