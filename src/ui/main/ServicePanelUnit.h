#pragma once
// The content of the service panel: every servo and calibration setting of the controller and
// its DSP with its 'Set' button, 'Read', 'Read FW', the CFT calibration captions and the service
// chart. A Designer form placed into the main window's ServicePanel when the window is created.
//
// Each 'Set' sends its field through the service command table and, when the frame was
// written, shows a green caption for one second. The window owns 'Hide' and the expected-peaks
// 'Set' (they need the window's size and peak table); the panel only offers their buttons.

#include <QWidget>

#include <memory>

class QAbstractButton;
class QLabel;
class TRealSpinEdit;
struct TServiceSetRow;

namespace Ui {
class TServicePanelFrame;
}

class TServicePanelFrame : public QWidget {
    Q_OBJECT
public:
    explicit TServicePanelFrame(QWidget* parent = nullptr);
    ~TServicePanelFrame() override;

    Ui::TServicePanelFrame& Controls() { return *ui; }

    // A 'Set' button of the command table: convert its field, send, confirm in green what was
    // written.
    void SetButtonClick(const TServiceSetRow& row);
    void ReadParamsButtonClick();
    void ReadFWButtonClick();
    void StabilizationCheckCheckBoxClick();
    void CFTOffsetRealSpinEditConfirm();
    // The captions of the CFT calibration fields for the offset now in its field.
    void SwitchCFTCalibrationMode();

    // Where the window puts its expected-peaks group and its corrupt-frame counter.
    QWidget* ExpectedPeaksPlace() const;
    QWidget* CRCErrorsPlace() const;

    TRealSpinEdit* SpinEdit(const TServiceSetRow& row) const;
    QAbstractButton* Button(const TServiceSetRow& row) const;

private:
    std::unique_ptr<Ui::TServicePanelFrame> ui;
};
