#pragma once
// The laser-head service frame on the main window's service page: every laser-head parameter
// with its Read and Write buttons (right), the regulation chart and the frame monitor (left).
//
// The frame holds the controls and one-line handlers; the views do the work:
//   LHView         TServiceLHView: buttons to commands, decoded answers back into the controls
//   ChartView      TServiceChartView: the regulation chart and its value labels
//   SendFrameView  TServiceSendFrameView: the frame monitor

#include <QWidget>

#include <memory>

class QKeyEvent;
class TServiceLHView;
class TServiceChartView;
class TServiceSendFrameView;

namespace Ui {
class TLaserFrame;
}

class TLaserFrame : public QWidget {
    Q_OBJECT
public:
    // Makes owner the frame's parent (the main window passes ServiceLaserTabSheet).
    explicit TLaserFrame(QWidget* owner);
    // Frees the views if Release did not, then the controls.
    ~TLaserFrame() override;

    // Fills the parent, shows the frame in front, then creates LHView, ChartView and
    // SendFrameView in this order. Laser must exist (the views subscribe to its model).
    void Init();
    // Frees LHView, ChartView and SendFrameView in this order (each field cleared first),
    // processes the pending events once, then hides the frame. Call before freeing the frame.
    void Release();

    // The frame's controls, for its views.
    Ui::TLaserFrame* Controls() const { return ui.get(); }

    // Key filter of the serial-number digit: backspace, 0-9, A-F and a-f pass, every other
    // typed character is discarded (keys that type nothing, such as the arrows, pass).
    static bool SerialDigitKeyAccepted(const QKeyEvent& event);

    void ServiceShowChartCheckBoxClick();
    void ServiceShowFramesCheckBoxClick();
    void ServiceClearFramesButtonClick();

    std::unique_ptr<TServiceLHView> LHView;
    std::unique_ptr<TServiceChartView> ChartView;
    std::unique_ptr<TServiceSendFrameView> SendFrameView;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpControls();
    void ConnectHandlers();

    std::unique_ptr<Ui::TLaserFrame> ui;
};
