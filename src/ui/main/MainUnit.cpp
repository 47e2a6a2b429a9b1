// The operator window: creation and release, page switching, the logo, shared helpers.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include "app/GlobalUnit.h"
#include "link/ConnectionUnit.h"
#include "ui/firmware/FirmwareUpdateViewUnit.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/PeakListDelegateUnit.h"
#include "ui/main/PicturesUnit.h"
#include "ui/main/ServicePasswordUnit.h"
#include "ui/main/TuningStatusUnit.h"
#include "ui/service/LaserFrameUnit.h"
#include "ui/service/LaserHeNeViewUnit.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>

TMainForm* MainForm = nullptr;

const QUrl TMainForm::MakerWebAddress(QStringLiteral("https://www.example.com/halvane"));

namespace {

std::function<void(const QUrl&)>& UrlOpener() {
    static std::function<void(const QUrl&)> opener = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    return opener;
}

// The window's fonts come from Windows; elsewhere the nearest installed families stand in.
void InstallFontFallbacks() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QFont::insertSubstitutions(QStringLiteral("Segoe UI"),
                               {QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    QFont::insertSubstitutions(QStringLiteral("Consolas"),
                               {QStringLiteral("DejaVu Sans Mono"),
                                QStringLiteral("Liberation Mono"), QStringLiteral("Noto Mono"),
                                QStringLiteral("Courier New")});
}

constexpr int ClientWidth = 1133;
constexpr int ClientHeight = 691;
constexpr int PeakListRowHeight = 18;

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TMainForm>()) {
    MainForm = this; // set before the creation steps, as views created there may reach it
    InstallFontFallbacks();
    ui->setupUi(this);
    SetUpWindow();
    ConnectHandlers();
    FormCreate();
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    FormDestroy();
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::SetUpWindow() {
    setObjectName(QStringLiteral("MainForm"));
    // Single fixed border, system menu and minimise button only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Every control of the form moves into the client area, which a frameless scroll area
    // shows; it scrolls only when the screen is too small for the window.
    FClient = new QWidget;
    FClient->setObjectName(QStringLiteral("ClientArea"));
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const bool hidden = child->isHidden();
        child->setParent(FClient);
        child->setHidden(hidden);
    }
    FClient->setFixedSize(ClientWidth, ClientHeight);
    FClientScroll = new QScrollArea(this);
    FClientScroll->setObjectName(QStringLiteral("ClientScrollArea"));
    FClientScroll->setFrameShape(QFrame::NoFrame);
    FClientScroll->setWidget(FClient);
    FitToScreen();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    ConnectionTimer = new QTimer(this);
    ConnectionTimer->setObjectName(QStringLiteral("ConnectionTimer"));
    ConnectionTimer->setInterval(1000);
    BlinkTimer = new QTimer(this);
    BlinkTimer->setObjectName(QStringLiteral("BlinkTimer"));
    BlinkTimer->setInterval(500);

    ui->PeakListBox->setItemDelegate(new TPeakListDelegate([this] { return LockedPeakIdLB; },
                                                           [this] { return SelectedPeakIdLB; },
                                                           PeakListRowHeight, ui->PeakListBox));
    ui->PeakListBox->setUniformItemSizes(true);

    // The image list of the simple page: picture N-1 shows peak number N.
    for (int n = 1; n <= SimpleButtonPictureCount; ++n)
        FSimpleButtonPictures[static_cast<size_t>(n - 1)] =
            SimpleButtonPicture(n, ui->SimpleFPeakPngSpeedButton->iconSize());

    ui->LogoImage->setPixmap(LogoPicture(ui->LogoImage->size()));
    ui->LogoImage->setCursor(Qt::PointingHandCursor);
    ui->LogoImage->installEventFilter(this);
    ui->SimpleMenuTabSheet->installEventFilter(this);
    qApp->installEventFilter(this); // key preview

    // Both simple status panels paint their own background, whatever the style does.
    SetPanelColor(ui->SimpleStatusPanel, ButtonFaceColor());
    SetPanelColor(ui->SimpleStatusHeNePanel, ButtonFaceColor());
}

void TMainForm::ConnectHandlers() {
    connect(ui->SearchUrzadzenButton, &QPushButton::clicked, this,
            &TMainForm::SearchUrzadzenButtonClick);
    connect(ui->ConnectButton, &QPushButton::clicked, this, &TMainForm::ConnectButtonClick);
    connect(ui->DisconnectButton, &QPushButton::clicked, this, &TMainForm::DisconnectButtonClick);
    connect(ConnectionTimer, &QTimer::timeout, this, &TMainForm::ConnectionTimerTimer);
    connect(BlinkTimer, &QTimer::timeout, this, &TMainForm::BlinkTimerTimer);

    // Every click on a row makes it the reference, also on the row that is already current;
    // the keyboard focus alone never picks one.
    connect(ui->PeakListBox, &QListWidget::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            PeakListBoxClick(index.row());
    });
    // Only the operator's choice sends: a reply that sets the row must not echo back.
    connect(ui->HarmonicComboBox, &QComboBox::activated, this, &TMainForm::HarmonicComboBoxChange);
    connect(ui->ScopeScaleComboBox, &QComboBox::activated, this,
            &TMainForm::ScopeScaleComboBoxChange);
    connect(ui->StartButton, &QPushButton::clicked, this, &TMainForm::StartButtonClick);
    connect(ui->LockButton, &QPushButton::clicked, this, &TMainForm::LockButtonClick);
    connect(ui->NextButton, &QPushButton::clicked, this, &TMainForm::NextButtonClick);
    connect(ui->BackButton, &QPushButton::clicked, this, &TMainForm::BackButtonClick);
    connect(ui->SimpleFPeakPngSpeedButton, &QToolButton::clicked, this,
            &TMainForm::SimpleFPeakPngSpeedButtonClick);
    connect(ui->SimpleJPeakPngSpeedButton, &QToolButton::clicked, this,
            &TMainForm::SimpleJPeakPngSpeedButtonClick);
    connect(ui->FreqDifferenceSet1Button, &QPushButton::clicked, this,
            &TMainForm::FreqDifferenceSet1ButtonClick);
    connect(ui->FreqDifference2Button, &QPushButton::clicked, this,
            &TMainForm::FreqDifference2ButtonClick);
}

void TMainForm::FormCreate() {
    // 1.
    IodineLaserRunning = false;
    // 2. The application manager: the single-instance check, then Laser, FirmwareUpdater and
    //    LogFile.
    ApplicationManager = new TApplicationManager();
    InstallFreqDifferenceHandler();
    // 3. The HeNe status view (it writes the laser head's status into this window), then the
    //    firmware update view.
    LaserHeNeChartView = std::make_unique<TLaserHeNeChartView>(TLaserHeNeStatusControls{
        ui->LaserHeNeStateValueLabel, ui->StatusHeNeLabel, ui->SimpleStatusHeNePanel,
        ui->FreqDifference1RealSpinEdit, [this] { return GetFPeakValue(); },
        [this] { return GetJPeakValue(); }, &TMainForm::SetPanelColor,
        [this](TLaserState state, const QString& text) { LaserHeadStateShown(state, text); },
        [this] {
            return TIodineLock{FIodineStatus, FIodineLockedPeak};
        }});
    FirmwareUpdateView = new TServiceMasterFirmwareUpdateView(ui->FirmwareUpdateTabSheet);
    ui->FirmwareUpdateTabSheetLayout->addWidget(FirmwareUpdateView);
    connect(FirmwareUpdateView, &TServiceMasterFirmwareUpdateView::RunStarted, this,
            [this] { FirmwareRunChanged(true); });
    connect(FirmwareUpdateView, &TServiceMasterFirmwareUpdateView::RunEnded, this,
            [this] { FirmwareRunChanged(false); });
    // 4. The laser-head service frame on ServiceLaserTabSheet, with its views.
    FLaserFrame = new TLaserFrame(ui->ServiceLaserTabSheet);
    FLaserFrame->Init();
    // 5. The service panel starts hidden; the service unlock (FServicePassword). The panel's
    //    content and the chart pages are put in place here too.
    ui->ServicePanel->hide();
    CreateServicePanel();
    CreateCharts();
    CreateLinkHealth();
    // 6. Tabs hidden; the simple page is active (its show handler starts the watchdog once the
    //    page is really showing).
    SetTabsVisible(false);
    ui->PageControl->setCurrentWidget(ui->SimpleMenuTabSheet);
    // 7.
    setWindowTitle(QStringLiteral("Halvane v.2022.06.1"));
    ui->ConnectButton->setEnabled(false);
    ui->DisconnectButton->setEnabled(false);
    // 8.
    Connection = new TConnection();
    // 9.
    CreatePeakList();
    FirstAvaiablePeakIndex = 0;
    LastAvaiablePeakIndex = 0;
    ui->ExpectedPeaksFromComboBox->clear();
    ui->ExpectedPeaksToComboBox->clear();
    for (int i = 0; i < FPeakList->Count(); ++i) {
        ui->ExpectedPeaksFromComboBox->addItem((*FPeakList)[i].Name);
        ui->ExpectedPeaksToComboBox->addItem((*FPeakList)[i].Name);
    }
    ui->ExpectedPeaksFromComboBox->setCurrentIndex(0);
    ui->ExpectedPeaksToComboBox->setCurrentIndex(0);
    // 10.
    SearchUrzadzenButtonClick();
    // 11.
    ResetTuningControls();
    // 12.
    SimpleMenuFirstPeakId = -1;
    SimpleMenuSecondPeakId = -1;
    // 13.
    if (LaserHeNeChartView)
        LaserHeNeChartView->SetShowData(true);
}

void TMainForm::FormDestroy() {
    if (FDestroyed)
        return;
    FDestroyed = true;
    // The window is going: the watchdog must not search or connect again meanwhile.
    ConnectionTimer->stop();
    BlinkTimer->stop();
    ReleaseLinkHealth();
    // 1. The receive thread stops before anything it may call is freed.
    TerminateReceiveThread();
    FreeReceiveThread();
    RemoveFreqDifferenceHandler();
    // 2. LaserHeNeChartView (reset clears the field first), then FirmwareUpdateView (field
    //    cleared first; a run still going on ends before the link closes).
    LaserHeNeChartView.reset();
    TServiceMasterFirmwareUpdateView* firmwareUpdateView = FirmwareUpdateView;
    FirmwareUpdateView = nullptr;
    delete firmwareUpdateView;
    // 3.
    if (TLaserFrame* frame = FLaserFrame) {
        frame->Release();
        FLaserFrame = nullptr;
        delete frame;
    }
    // 4.
    if (Connection)
        Connection->Disconnect();
    // 5.
    QThread::msleep(100);
    // 6. FServicePassword (with the charts and their logs), then the peak table, the
    //    application manager and the connection, each global cleared before its object is freed.
    ReleaseServicePanel();
    FPeakList.reset();
    TApplicationManager* manager = ApplicationManager;
    ApplicationManager = nullptr;
    delete manager;
    TConnection* connection = Connection;
    Connection = nullptr;
    delete connection;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        // An unhandled key travels from the focused control up to the window, passing this
        // filter once per step: only its first delivery counts.
        const auto* widget = static_cast<QWidget*>(watched);
        const QWidget* first = QApplication::focusWidget();
        if (widget->window() == this && (widget == first || (!first && widget == this)))
            for (const QChar key : static_cast<QKeyEvent*>(event)->text())
                emit KeyPreview(key);
        return false;
    }
    if (watched == ui->SimpleMenuTabSheet && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            SimpleMenuTabSheetShow();
        else if (event->type() == QEvent::Hide)
            SimpleMenuTabSheetHide();
    } else if (watched == ui->LogoImage && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            ui->LogoImage->rect().contains(mouse->position().toPoint())) {
            LogoImageClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::FitToScreen() {
    const QSize client = FClient->size();
    QSize size = client;
    const QScreen* screen = this->screen();
    if (screen) {
        // The frame around the client area is known once the window is shown.
        const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize();
        size = size.boundedTo(screen->availableGeometry().size() - frame);
    }
    const Qt::ScrollBarPolicy bars =
        size == client ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    FClientScroll->setHorizontalScrollBarPolicy(bars);
    FClientScroll->setVerticalScrollBarPolicy(bars);
    setFixedSize(size);
    FClientScroll->setGeometry(rect());
    if (screen && isVisible()) {
        // The whole window stays on the screen's available area.
        const QRect available = screen->availableGeometry();
        const QRect frame = frameGeometry();
        const auto inside = [](int start, int length, int areaStart, int areaLength) {
            return std::max(std::min(start, areaStart + areaLength - length), areaStart);
        };
        const QPoint at(inside(frame.x(), frame.width(), available.x(), available.width()),
                        inside(frame.y(), frame.height(), available.y(), available.height()));
        if (at != frame.topLeft())
            move(at);
    }
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FScreenWatched && windowHandle()) {
        FScreenWatched = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { FitToScreen(); });
    }
    FitToScreen();
}

void TMainForm::SimpleMenuTabSheetShow() {
    ConnectionTimer->start();
}

void TMainForm::SimpleMenuTabSheetHide() {
    ConnectionTimer->stop();
}

void TMainForm::LogoImageClick() {
    UrlOpener()(MakerWebAddress);
}

QLabel* TMainForm::AddNetworkIndicator() {
    constexpr int Width = 190;
    constexpr int Height = 22;
    constexpr int Gap = 6;
    // Left of the logo, over the blank top row between the iodine status and the logo.
    const int logoLeft = ui->LogoImage->mapTo(FClient, QPoint(0, 0)).x();
    auto* label = new QLabel(FClient); // scrolls with the logo
    label->setObjectName(QStringLiteral("MqttStateLabel"));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(logoLeft - Gap - Width, 0, Width, Height);
    label->raise();
    label->show();
    return label;
}

void TMainForm::SetUrlOpener(std::function<void(const QUrl&)> opener) {
    UrlOpener() = std::move(opener);
}

void TMainForm::SetTabsVisible(bool Value) {
    for (int i = 0; i < ui->PageControl->count(); ++i)
        ui->PageControl->setTabVisible(i, Value);
}

void TMainForm::NextButtonClick() {
    ui->PageControl->setCurrentWidget(ui->MainTabSheet);
}

void TMainForm::BackButtonClick() {
    ui->FreqDifference1RealSpinEdit->SetValue(ui->FreqDifference2RealSpinEdit->Value());
    ui->PageControl->setCurrentWidget(ui->SimpleMenuTabSheet);
}

void TMainForm::ResetTuningControls() {
    ui->LockButton->hide();
    ui->StartButton->setEnabled(Connection && Connection->Connected());
    ui->CFTValueLabel->setText(QStringLiteral("0"));
    ui->LifetimeLabel->setText(QStringLiteral("00:00"));
    ui->PeakListBox->clear();
    ui->ScopeScaleComboBox->setEnabled(false);
    ui->PeakLabel->setText(QStringLiteral("--"));
}

QColor TMainForm::PanelColor(const QLabel* panel) {
    return panel->palette().color(QPalette::Window);
}

void TMainForm::SetPanelColor(QLabel* panel, const QColor& color) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::WindowText, PanelTextColor(color));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

QColor TMainForm::ButtonFaceColor() const {
    return QApplication::palette().color(QPalette::Button);
}
