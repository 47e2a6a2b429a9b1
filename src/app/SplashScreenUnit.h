#pragma once
// The borderless start window: title, picture and notice line while the main window gets ready
// out of sight; after its timer it shows the main window and closes.

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

class QGroupBox;
class QLabel;
class QTimer;

class TSplashScreen : public QWidget {
    Q_OBJECT
public:
    // `mainWindow` is shown when the timer runs out; it may be freed before that.
    explicit TSplashScreen(QWidget* mainWindow, QWidget* parent = nullptr);
    ~TSplashScreen() override;

    // Milliseconds from creation until the main window shows.
    static constexpr int kDelayMs = 3000;
    // The client area (GroupBox1 fills it) and the border drawn round it, in pixels.
    static constexpr int kClientWidth = 1133;
    static constexpr int kClientHeight = 506;
    static constexpr int kBorderWidth = 1;
    static QColor BorderColor();

    QGroupBox* GroupBox1 = nullptr;
    QLabel* TitleLabel = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label1 = nullptr;
    QTimer* Timer = nullptr;

    void FormCreate();
    // One typed character of the picture-swapping sequence.
    void FormKeyPress(QChar key);
    void TimerTimer();

    // The maker's notice line for a year.
    static QString NoticeText(int year);
    // The two pictures of the window (641 x 311 and 501 x 340 pixels).
    static QImage PaintPicture1();
    static QImage PaintPicture2();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWidget> FMainWindow;
    // Characters of the sequence typed so far in a row.
    int FKeyCounter = 0;
};
