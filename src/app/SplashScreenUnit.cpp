#include "app/SplashScreenUnit.h"

#include <QCloseEvent>
#include <QDate>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The typed sequence that swaps the pictures.
constexpr char kSequence[] = "qvk";
constexpr int kSequenceLength = 3;

// The maker's notice line; "%d" is the current year.
constexpr char kNoticeFormat[] = "Copyright \u00A9 %d The Halvane developers. All rights reserved.";

QFont SegoeFont(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Noto Sans"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// The red of a HeNe beam at 633 nm.
const QColor kBeamRed(230, 20, 30);

void DrawBeam(QPainter& p, QPointF from, QPointF to) {
    p.setPen(QPen(QColor(255, 40, 40, 55), 11, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(QPen(QColor(255, 60, 60, 110), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(QPen(kBeamRed, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
}

// A Lorentzian line of the given centre and half width.
double Lorentz(double x, double centre, double halfWidth) {
    const double d = (x - centre) / halfWidth;
    return 1.0 / (1.0 + d * d);
}

} // namespace

TSplashScreen::TSplashScreen(QWidget* mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), FMainWindow(mainWindow) {
    setObjectName(QStringLiteral("SplashScreen"));
    setWindowTitle(QStringLiteral("SplashScreen"));
    setFont(SegoeFont(15));
    // The client area inside a 1-pixel border drawn round it.
    setFixedSize(kClientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
    setFocusPolicy(Qt::StrongFocus);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
    outer->setSpacing(0);
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(GroupBox1);

    auto* inner = new QVBoxLayout(GroupBox1);
    inner->setContentsMargins(0, 30, 0, 0);
    inner->setSpacing(0);
    TitleLabel = new QLabel(QStringLiteral("HALVANE"), GroupBox1);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    TitleLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    TitleLabel->setFont(SegoeFont(40, true));
    inner->addWidget(TitleLabel);

    Image1 = new QLabel(GroupBox1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(QPixmap::fromImage(PaintPicture1()));
    inner->addWidget(Image1, 1);

    Image2 = new QLabel(GroupBox1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setPixmap(QPixmap::fromImage(PaintPicture2()));
    Image2->setVisible(false);
    inner->addWidget(Image2, 1);

    // The notice line sits over the picture area at a fixed place.
    Label1 = new QLabel(GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(SegoeFont(15, true));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setGeometry(528, 472, 587, 21);
    Label1->setFixedSize(587, 21);
    Label1->raise();

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(kDelayMs);
    connect(Timer, &QTimer::timeout, this, &TSplashScreen::TimerTimer);

    FormCreate();
    Timer->start();

    if (QScreen* where = QGuiApplication::primaryScreen())
        move(where->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

TSplashScreen::~TSplashScreen() = default;

QString TSplashScreen::NoticeText(int year) {
    return QString::asprintf(kNoticeFormat, year);
}

void TSplashScreen::FormCreate() {
    Label1->setText(NoticeText(QDate::currentDate().year()));
}

void TSplashScreen::FormKeyPress(QChar key) {
    ++FKeyCounter;
    if (FKeyCounter > kSequenceLength || key != QLatin1Char(kSequence[FKeyCounter - 1]))
        FKeyCounter = 0;
    if (FKeyCounter == kSequenceLength) {
        Image1->setVisible(false);
        Image2->setVisible(true);
    }
}

void TSplashScreen::TimerTimer() {
    Timer->stop();
    // The main window first: while the splash is the program's only window, closing it would
    // end the program.
    if (FMainWindow)
        FMainWindow->show();
    close();
}

void TSplashScreen::keyPressEvent(QKeyEvent* event) {
    // Every typed character counts, control characters (Enter, Escape, Backspace) as wrong keys;
    // keys that type nothing (Shift alone) do not count.
    const QString typed = event->text();
    for (QChar c : typed)
        FormKeyPress(c);
    event->accept();
}

void TSplashScreen::closeEvent(QCloseEvent* event) {
    // Until the timer has shown the main window the splash stays: closing it earlier would leave
    // the program without a visible window.
    if (Timer->isActive()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TSplashScreen::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setPen(Qt::NoPen);
    p.setBrush(BorderColor());
    const QRect r = rect();
    p.drawRect(QRect(r.left(), r.top(), r.width(), kBorderWidth));
    p.drawRect(QRect(r.left(), r.bottom() - kBorderWidth + 1, r.width(), kBorderWidth));
    p.drawRect(QRect(r.left(), r.top(), kBorderWidth, r.height()));
    p.drawRect(QRect(r.right() - kBorderWidth + 1, r.top(), kBorderWidth, r.height()));
}

QColor TSplashScreen::BorderColor() {
    return QColor(100, 100, 100);
}

void TSplashScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

QImage TSplashScreen::PaintPicture1() {
    QImage image(641, 311, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    p.setPen(QColor(90, 98, 110));
    p.setFont(SegoeFont(17));
    p.drawText(QRectF(0, 18, 641, 28), Qt::AlignCenter,
               QStringLiteral("Iodine-stabilised He-Ne laser \u00B7 operator and service program"));

    // Optical table under the set-up.
    QLinearGradient table(0, 182, 0, 200);
    table.setColorAt(0, QColor(90, 96, 104));
    table.setColorAt(1, QColor(52, 56, 62));
    p.setPen(Qt::NoPen);
    p.setBrush(table);
    p.drawRoundedRect(QRectF(14, 182, 613, 16), 4, 4);
    p.setBrush(QColor(120, 126, 134));
    for (int x = 30; x < 620; x += 24)
        p.drawEllipse(QPointF(x, 190), 1.6, 1.6);

    // Laser head: a brushed-metal tube on two mounts.
    p.setBrush(QColor(70, 74, 80));
    p.drawRect(QRectF(70, 160, 26, 22));
    p.drawRect(QRectF(236, 160, 26, 22));
    QLinearGradient tube(0, 96, 0, 162);
    tube.setColorAt(0.0, QColor(214, 218, 224));
    tube.setColorAt(0.35, QColor(245, 247, 250));
    tube.setColorAt(1.0, QColor(120, 126, 136));
    p.setBrush(tube);
    p.setPen(QPen(QColor(80, 86, 96), 1.2));
    p.drawRoundedRect(QRectF(30, 96, 272, 66), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(196, 30, 38));
    p.drawRect(QRectF(30, 150, 272, 5));
    p.setPen(QColor(40, 46, 56));
    p.setFont(SegoeFont(22, true));
    p.drawText(QRectF(30, 100, 272, 34), Qt::AlignCenter, QStringLiteral("HeNe"));
    p.setFont(SegoeFont(13));
    p.drawText(QRectF(30, 128, 272, 20), Qt::AlignCenter, QStringLiteral("633 nm"));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 42, 48));
    p.drawRect(QRectF(302, 118, 12, 26));

    // Beam through the iodine cell to the right edge.
    DrawBeam(p, QPointF(314, 131), QPointF(628, 131));

    // Iodine cell: a glass cylinder with violet vapour and a cold finger below.
    const QRectF cell(396, 104, 150, 54);
    QLinearGradient vapour(0, cell.top(), 0, cell.bottom());
    vapour.setColorAt(0.0, QColor(186, 120, 214, 120));
    vapour.setColorAt(0.5, QColor(128, 40, 160, 150));
    vapour.setColorAt(1.0, QColor(90, 20, 120, 150));
    p.setPen(QPen(QColor(90, 110, 130, 200), 1.4));
    p.setBrush(vapour);
    p.drawRoundedRect(cell, 8, 8);
    p.setBrush(QColor(220, 235, 245, 170));
    p.drawEllipse(QRectF(cell.left() - 6, cell.top(), 12, cell.height()));
    p.drawEllipse(QRectF(cell.right() - 6, cell.top(), 12, cell.height()));
    p.setBrush(QColor(255, 255, 255, 90));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(cell.left() + 10, cell.top() + 6, cell.width() - 20, 7), 3, 3);
    p.setPen(QPen(QColor(90, 110, 130, 200), 1.4));
    p.setBrush(QColor(128, 40, 160, 150));
    p.drawRoundedRect(QRectF(460, 156, 20, 28), 6, 6);
    p.setPen(QColor(60, 20, 80));
    p.setFont(SegoeFont(16, true));
    p.drawText(QRectF(396, 70, 150, 28), Qt::AlignCenter, QStringLiteral("I\u2082"));

    // The fourteen hyperfine components a to n as a scan trace.
    const double left = 40;
    const double right = 600;
    const double base = 286;
    const double heights[14] = {0.62, 0.70, 0.74, 0.80, 0.86, 0.90, 0.93,
                                0.95, 0.92, 0.88, 0.84, 0.78, 0.72, 0.66};
    double centres[14];
    for (int i = 0; i < 14; ++i)
        centres[i] = left + 24 + i * (right - left - 48) / 13.0;
    QPainterPath trace;
    for (int x = int(left); x <= int(right); ++x) {
        double y = 0;
        for (int i = 0; i < 14; ++i)
            y += heights[i] * Lorentz(x, centres[i], 4.0);
        const QPointF point(x, base - 62 * std::min(1.0, y));
        if (x == int(left))
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    p.setPen(QPen(QColor(200, 206, 214), 1));
    p.drawLine(QPointF(left, base), QPointF(right, base));
    p.setPen(QPen(QColor(20, 70, 150), 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
    p.setPen(QColor(70, 78, 90));
    p.setFont(SegoeFont(12));
    for (int i = 0; i < 14; ++i)
        p.drawText(QRectF(centres[i] - 10, base + 3, 20, 18), Qt::AlignCenter,
                   QString(QChar('a' + i)));
    return image;
}

QImage TSplashScreen::PaintPicture2() {
    QImage image(501, 340, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // A beam passes behind an iodine molecule.
    DrawBeam(p, QPointF(10, 150), QPointF(491, 150));

    // Bond, then the two atoms as shaded spheres.
    p.setPen(Qt::NoPen);
    QLinearGradient bond(0, 138, 0, 162);
    bond.setColorAt(0, QColor(170, 130, 190));
    bond.setColorAt(1, QColor(90, 50, 110));
    p.setBrush(bond);
    p.drawRoundedRect(QRectF(180, 138, 140, 24), 10, 10);
    for (double cx : {170.0, 330.0}) {
        QRadialGradient atom(QPointF(cx - 24, 124), 96, QPointF(cx - 28, 118));
        atom.setColorAt(0.0, QColor(240, 215, 250));
        atom.setColorAt(0.35, QColor(150, 70, 190));
        atom.setColorAt(1.0, QColor(60, 15, 85));
        p.setBrush(atom);
        p.drawEllipse(QPointF(cx, 150), 72, 72);
    }
    p.setPen(QColor(255, 255, 255));
    p.setFont(SegoeFont(30, true));
    p.drawText(QRectF(98, 120, 144, 60), Qt::AlignCenter, QStringLiteral("I"));
    p.drawText(QRectF(258, 120, 144, 60), Qt::AlignCenter, QStringLiteral("I"));

    // The line the laser is locked to.
    p.setPen(QColor(40, 46, 56));
    p.setFont(SegoeFont(18, true));
    p.drawText(QRectF(0, 248, 501, 30), Qt::AlignCenter,
               QStringLiteral("R(127) 11-5, component f"));
    p.setFont(SegoeFont(16));
    p.drawText(QRectF(0, 280, 501, 30), Qt::AlignCenter, QStringLiteral("473 612 353 604 kHz"));
    return image;
}
