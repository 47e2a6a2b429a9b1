#include "ui/firmware/FirmwareUpdateViewUnit.h"

#include "ui_FirmwareUpdateViewUnit.h"

#include "link/ConnectionUnit.h"
#include "monitor/LinkEventsUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "ui/controls/FileDialogUnit.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QStackedWidget>
#include <QThread>

#include <algorithm>
#include <mutex>

namespace {

QString ShowOpenFileDialog(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!filter.isEmpty())
        dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

TServiceMasterFirmwareUpdateView::TOpenFileDialog& OpenFileDialog() {
    static TServiceMasterFirmwareUpdateView::TOpenFileDialog dialog = ShowOpenFileDialog;
    return dialog;
}

} // namespace

struct TServiceMasterFirmwareUpdateView::TRunRelay {
    std::mutex Mutex;
    TServiceMasterFirmwareUpdateView* View;

    explicit TRunRelay(TServiceMasterFirmwareUpdateView* view) : View(view) {}

    // On the worker, after the update has returned.
    void Finished() {
        std::lock_guard lock(Mutex);
        // Posted while the view surely lives; a view freed before the call runs takes the call
        // with it.
        if (View)
            QMetaObject::invokeMethod(
                View, [view = View] { view->EndRun(); }, Qt::QueuedConnection);
    }
    void Detach() {
        std::lock_guard lock(Mutex);
        View = nullptr;
    }
};

TServiceMasterFirmwareUpdateView::TServiceMasterFirmwareUpdateView(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TServiceMasterFirmwareUpdateView>()),
      FRelay(std::make_shared<TRunRelay>(this)) {
    ui->setupUi(this);
    ui->MasterFirmwareUpdateDeviceIdComboBox->setCurrentIndex(-1); // no board at start
    const QRect group = ui->MasterFirmwareUpdateGroupBox->geometry();
    setMinimumSize(group.right() + 8, group.bottom() + 8);

    connect(ui->MasterFirmwareUpdateOpenButton, &QPushButton::clicked, this,
            &TServiceMasterFirmwareUpdateView::MasterFirmwareUpdateOpenButtonClick);
    connect(ui->MasterFirmwareUpdateProgramButton, &QPushButton::clicked, this,
            &TServiceMasterFirmwareUpdateView::MasterFirmwareUpdateProgramButtonClick);
    // Only the operator's choice empties the path, not a change made by code.
    connect(ui->MasterFirmwareUpdateDeviceIdComboBox, &QComboBox::activated, this,
            &TServiceMasterFirmwareUpdateView::MasterFirmwareUpdateDeviceIdComboBoxChange);
}

TServiceMasterFirmwareUpdateView::~TServiceMasterFirmwareUpdateView() {
    FRelay->Detach();
    // Returns once no notification of another thread can reach this view any more.
    if (TFirmwareUpdater* updater = FirmwareUpdater)
        updater->RemoveObserver(this);
    if (FRunning) {
        WaitForRunEnd();
        UpdatingDeviceId.store(0);
        if (FGuardedWindow)
            FGuardedWindow->removeEventFilter(this);
    }
}

void TServiceMasterFirmwareUpdateView::SetOpenFileDialog(TOpenFileDialog dialog) {
    OpenFileDialog() = dialog ? std::move(dialog) : TOpenFileDialog(ShowOpenFileDialog);
}

QString TServiceMasterFirmwareUpdateView::FileFilter(int index) {
    switch (index) {
    case 0:
        return QStringLiteral("VFD firmware files (*.hex1)");
    case 1:
        return QStringLiteral("DSP firmware files (*.x00)");
    case 2:
        return QStringLiteral("FreqMeter firmware files (*.xxx)");
    case 3:
        return QStringLiteral("Laser HeNe firmware files (*.hex2)");
    default:
        return {};
    }
}

void TServiceMasterFirmwareUpdateView::MasterFirmwareUpdateOpenButtonClick() {
    SelectPath();
}

void TServiceMasterFirmwareUpdateView::MasterFirmwareUpdateProgramButtonClick() {
    FirmwareUpdate();
}

void TServiceMasterFirmwareUpdateView::MasterFirmwareUpdateDeviceIdComboBoxChange() {
    ui->MasterFirmwareUpdatePathEdit->clear();
}

void TServiceMasterFirmwareUpdateView::SelectPath() {
    const QString filter = FileFilter(ui->MasterFirmwareUpdateDeviceIdComboBox->currentIndex());
    ui->MasterFirmwareUpdatePathEdit->clear();
    const QString chosen = OpenFileDialog()(this, filter);
    if (!chosen.isEmpty())
        ui->MasterFirmwareUpdatePathEdit->setText(QFileInfo(chosen).absoluteFilePath());
}

void TServiceMasterFirmwareUpdateView::FirmwareUpdate() {
    if (FRunning)
        return;
    const int index = ui->MasterFirmwareUpdateDeviceIdComboBox->currentIndex();
    if (index < 0) {
        ShowStatus(QStringLiteral("Select device"));
        return;
    }
    SetButtonsEnabled(false);
    const QString path = ui->MasterFirmwareUpdatePathEdit->text();
    TFirmwareUpdater* updater = FirmwareUpdater;
    // A link counts as the file it points to; a folder is no file.
    if (!QFileInfo(path).isFile() || !updater) {
        if (updater)
            ShowStatus(QStringLiteral("Select file"));
        SetButtonsEnabled(true);
        return;
    }

    FRunning = true;
    FNotified.store(false);
    // Nothing of the previous run stays up through this one's reset and erase.
    ui->MasterFirmwareUpdateStatusLabel->setText(QStringLiteral("Programming..."));
    SetProgress(0);
    updater->SetDevId(index + 1);
    updater->AddObserver(this);
    UpdatingDeviceId.store(index + 1);
    FGuardedWindow = window();
    FGuardedWindow->installEventFilter(this);
    // Acknowledgements come back sooner with the short latency timer (about twice as fast a
    // data phase, measured); the default returns when the run ends.
    if (Connection)
        Connection->SetLowLatencyTimer();
    emit RunStarted();
    updater->RunThreadedUpdate(path, [relay = FRelay] { relay->Finished(); });
}

void TServiceMasterFirmwareUpdateView::Notify(TSubject* Subject) {
    const auto* updater = dynamic_cast<const TFirmwareUpdater*>(Subject);
    if (!updater)
        return;
    // The values as they are now; the display may come later.
    const int32_t state = updater->ProgrammingState();
    const TFirmwareUpdaterErrors error = updater->Error();
    FNotified.store(true);
    if (QThread::currentThread() == thread()) {
        DisplayStep(state, error);
        return;
    }
    // Queued to this view: a view freed before the call runs takes it with it, and the view
    // leaves the updater (waiting for running notifications) before it is freed.
    QMetaObject::invokeMethod(
        this, [this, state, error] { DisplayStep(state, error); }, Qt::QueuedConnection);
}

void TServiceMasterFirmwareUpdateView::DisplayStep(int32_t programmingState,
                                                   TFirmwareUpdaterErrors error) {
    if (!PageShown())
        return;
    SetProgress(programmingState);
    // The progress may reach 100 before the last frames: the outcome shows when the run has
    // ended.
    const QString errorText = FirmwareUpdaterErrorText(error);
    ShowStatus(errorText.isEmpty() ? QStringLiteral("Programming...") : errorText);
}

void TServiceMasterFirmwareUpdateView::EndRun() {
    if (!FRunning)
        return;
    FRunning = false;
    UpdatingDeviceId.store(0);
    if (Connection)
        Connection->SetDefaultLatencyTimer();
    TFirmwareUpdater* updater = FirmwareUpdater;
    if (updater)
        updater->RemoveObserver(this);
    if (FGuardedWindow)
        FGuardedWindow->removeEventFilter(this);
    FGuardedWindow = nullptr;
    QString result = QStringLiteral("no result");
    if (updater && FNotified.load()) {
        const TFirmwareUpdaterErrors error = updater->Error();
        if (error == _fue_none) {
            SetProgress(100);
            ShowStatus(QStringLiteral("Success"));
            result = QStringLiteral("Success");
        } else {
            ShowStatus(FirmwareUpdaterErrorText(error));
            result = FirmwareUpdaterErrorText(error);
        }
    }
    if (LinkEvents)
        LinkEvents->OperatorAction(
            QStringLiteral("firmware run, board %1: %2")
                .arg(ui->MasterFirmwareUpdateDeviceIdComboBox->currentText(), result));
    SetButtonsEnabled(true);
    emit RunEnded();
}

void TServiceMasterFirmwareUpdateView::WaitForRunEnd() {
    // The worker needs nothing of this thread: without acknowledgements it ends through its
    // time limits.
    while (TFirmwareUpdater* updater = FirmwareUpdater) {
        if (!updater->IsRunning())
            break;
        QThread::msleep(5);
    }
}

bool TServiceMasterFirmwareUpdateView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FGuardedWindow && event->type() == QEvent::Close && FRunning) {
        // A board left half written is worse than a window that stays a little longer.
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TServiceMasterFirmwareUpdateView::PageShown() const {
    const QWidget* page = this;
    for (const QWidget* parent = parentWidget(); parent;
         page = parent, parent = parent->parentWidget())
        if (const auto* pages = qobject_cast<const QStackedWidget*>(parent))
            if (pages->currentWidget() != page)
                return false;
    return true;
}

void TServiceMasterFirmwareUpdateView::ShowStatus(const QString& text) {
    ui->MasterFirmwareUpdateStatusLabel->setText(text);
    emit StatusTextShown(text);
}

void TServiceMasterFirmwareUpdateView::SetProgress(int32_t programmingState) {
    // Values above 100 show a full bar.
    ui->MasterFirmwareUpdateProgressBar->setValue(std::clamp(programmingState, 0, 100));
}

void TServiceMasterFirmwareUpdateView::SetButtonsEnabled(bool enabled) {
    ui->MasterFirmwareUpdateOpenButton->setEnabled(enabled);
    ui->MasterFirmwareUpdateProgramButton->setEnabled(enabled);
}
