#pragma once
// The firmware page: the operator chooses a board and an image file, programs the board and
// watches a status line and a progress bar.
//
// A run goes on the updater's worker thread, so the window keeps painting and answering while
// the board is reset, erased (up to 10 s) and written. During a run both buttons are disabled,
// the view observes FirmwareUpdater, UpdatingDeviceId names the board, and the window refuses
// to close. The updater notifies on its worker; the view copies the values and queues their
// display to the GUI thread. When the run has ended the view shows its outcome, leaves the
// updater, clears UpdatingDeviceId and enables the buttons again.

#include "firmware/FirmwareUpdaterUnit.h"
#include "laser/ObserverPatternUnit.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

namespace Ui {
class TServiceMasterFirmwareUpdateView;
}

class TServiceMasterFirmwareUpdateView : public QWidget, public TObserver {
    Q_OBJECT
public:
    explicit TServiceMasterFirmwareUpdateView(QWidget* parent = nullptr);
    // A run still going on is waited for (it ends through its own time limits), so that the
    // link is never closed under it.
    ~TServiceMasterFirmwareUpdateView() override;

    // The file dialog: shows an open-file dialog with the name filter (empty: none) and returns
    // the chosen file's full path, or an empty text when the operator cancels. Replaceable so
    // that tests choose files without a dialog.
    using TOpenFileDialog = std::function<QString(QWidget* parent, const QString& filter)>;
    static void SetOpenFileDialog(TOpenFileDialog dialog);
    // The dialog's name filter for a board (list index 0 to 3); empty for no board.
    static QString FileFilter(int index);

    // Asks for an image file and puts its path into the path edit (empty on cancel).
    void SelectPath();
    // One programming run of the selected board with the file in the path edit.
    void FirmwareUpdate();
    // From FirmwareUpdater, on the thread that changed it.
    void Notify(TSubject* Subject) override;

    void MasterFirmwareUpdateOpenButtonClick();
    void MasterFirmwareUpdateProgramButtonClick();
    // The operator chose another board: the path no longer fits it.
    void MasterFirmwareUpdateDeviceIdComboBoxChange();

    // Between the start of a run and the display of its outcome.
    bool Running() const { return FRunning; }

signals:
    // A run has begun: the link serves it alone until RunEnded.
    void RunStarted();
    // Every text of a run's display written to the status label, in order.
    void StatusTextShown(const QString& text);
    // A run has ended and its outcome is shown; the buttons are enabled again.
    void RunEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The page is the one shown (every page control above the view shows the view's page).
    bool PageShown() const;
    void DisplayStep(int32_t programmingState, TFirmwareUpdaterErrors error);
    void ShowStatus(const QString& text);
    void SetProgress(int32_t programmingState);
    void SetButtonsEnabled(bool enabled);
    void EndRun();
    void WaitForRunEnd();

    // The worker's way back to this view: cleared under its lock when the view goes, so the
    // worker never queues to a freed view.
    struct TRunRelay;

    std::unique_ptr<Ui::TServiceMasterFirmwareUpdateView> ui;
    std::shared_ptr<TRunRelay> FRelay;
    QPointer<QWidget> FGuardedWindow; // the window that must not close during the run
    bool FRunning = false;
    std::atomic<bool> FNotified{false}; // the running update notified at least once
};
