// The operator window: the peak list, the simple page's buttons, Start and Lock, the frequency
// difference, and the tuning status with its colours and blinking.
#include "ui/main/MainUnit.h"

#include "ui_MainUnit.h"

#include "ui/main/TuningCommandsUnit.h"
#include "ui/main/TuningStatusUnit.h"
#include "ui/service/LaserHeNeViewUnit.h"

#include <QLocale>

#include "monitor/StatusModelUnit.h"

#include <QTimer>
#include <cmath>

void TMainForm::CreatePeakList() {
    FPeakList = std::make_unique<TPeakList>();
    FPeakList->CreatePeakList();
}

void TMainForm::FillPeakListBox(int index) {
    const int reference = index == -1 ? PeakIndexF : index + FirstAvaiablePeakIndex;
    const QStringList texts = FPeakList->PeakListTexts(FirstAvaiablePeakIndex,
                                                       LastAvaiablePeakIndex, reference, QLocale());
    // A click on a row refills the list from inside the list's own signal: rows of an unchanged
    // count are rewritten in place, so no item dies under the click.
    if (ui->PeakListBox->count() == texts.size()) {
        for (int row = 0; row < texts.size(); ++row)
            ui->PeakListBox->item(row)->setText(texts[row]);
    } else {
        ui->PeakListBox->clear();
        ui->PeakListBox->addItems(texts);
    }
    SetPeakListBoxIndex = reference - FirstAvaiablePeakIndex;
    ui->PeakListBox->viewport()->update();
}

void TMainForm::PeakListBoxClick(int row) {
    SelectedPeakIdLB = row;
    FillPeakListBox(row);
}

void TMainForm::ExpectedPeaks(uint16_t mask) {
    const TPeakRange range = ExpectedPeakRange(mask, FPeakList->Count());
    // A mask without any peak of the table leaves no range to show: everything stays as it was.
    if (!range.Valid())
        return;
    FirstAvaiablePeakIndex = range.First;
    LastAvaiablePeakIndex = range.Last;
    ui->ExpectedPeaksFromComboBox->setCurrentIndex(range.First);
    ui->ExpectedPeaksToComboBox->setCurrentIndex(range.Last);
    FillPeakListBox(-1);
    PrepareSimpleMenu();
}

void TMainForm::ChangePeakOffset(int16_t offsetKHz) {
    FPeakList->ChangePeakOffset(offsetKHz);
}

void TMainForm::SetLockedPeakIdLB(int value) {
    LockedPeakIdLB = value - FirstAvaiablePeakIndex;
    ui->PeakListBox->viewport()->update();
}

void TMainForm::SetPeakLabelByIndex(int peak) {
    ui->PeakLabel->setText(FPeakList->PeakNameByNumber(peak));
}

double TMainForm::GetFPeakValue() const {
    return (*FPeakList)[PeakIndexF].Value;
}

double TMainForm::GetJPeakValue() const {
    return (*FPeakList)[PeakIndexJ].Value;
}

void TMainForm::PrepareSimpleMenu() {
    const TSimpleMenuPeaks peaks = SimpleMenuPeaks(FirstAvaiablePeakIndex, LastAvaiablePeakIndex);
    SimpleMenuFirstPeakId = peaks.First;
    SimpleMenuSecondPeakId = peaks.Second;
    const std::pair<QToolButton*, int> buttons[] = {
        {ui->SimpleFPeakPngSpeedButton, SimpleMenuFirstPeakId},
        {ui->SimpleJPeakPngSpeedButton, SimpleMenuSecondPeakId},
    };
    for (const auto& [button, number] : buttons) {
        if (number >= 1 && number <= static_cast<int>(FSimpleButtonPictures.size())) {
            button->setIcon(QIcon(FSimpleButtonPictures[static_cast<size_t>(number - 1)]));
            button->setToolTip(
                QStringLiteral("Go to peak %1").arg(FPeakList->PeakNameByNumber(number)));
            button->update();
        }
    }
}

void TMainForm::SimpleFPeakPngSpeedButtonClick(bool down) {
    SimpleButtonPressed(ui->SimpleFPeakPngSpeedButton, ui->SimpleJPeakPngSpeedButton,
                        SimpleMenuFirstPeakId, down);
}

void TMainForm::SimpleJPeakPngSpeedButtonClick(bool down) {
    SimpleButtonPressed(ui->SimpleJPeakPngSpeedButton, ui->SimpleFPeakPngSpeedButton,
                        SimpleMenuSecondPeakId, down);
}

void TMainForm::SimpleButtonPressed(QToolButton* /*button*/, QToolButton* other, int peakNumber,
                                    bool down) {
    if (!down)
        return;               // releasing a pressed button sends nothing
    other->setChecked(false); // one group: at most one button down, both may be up
    if (peakNumber != -1) {
        SendCommand(SimpleButtonCommand(peakNumber));
        OperatorAction(
            QStringLiteral("peak %1 chosen").arg(FPeakList->PeakNameByNumber(peakNumber)));
    }
}

void TMainForm::StartButtonClick() {
    for (const TCommand& command : StartCommands(ui->AutomaticRadioButton->isChecked(),
                                                 SetPeakListBoxIndex, FirstAvaiablePeakIndex))
        SendCommand(command);
    ui->LockButton->setVisible(ui->HalfAutomaticRadioButton->isChecked());
    ui->PeakLabel->setText(QStringLiteral("--"));
    OperatorAction(ui->AutomaticRadioButton->isChecked()
                       ? QStringLiteral("Start, automatic, peak %1")
                             .arg(FPeakList->PeakNameByNumber(SetPeakListBoxIndex +
                                                              FirstAvaiablePeakIndex + 1))
                       : QStringLiteral("Start, half-automatic"));
}

void TMainForm::LockButtonClick() {
    SendCommand(LockCommand());
    OperatorAction(QStringLiteral("Lock"));
}

void TMainForm::HarmonicComboBoxChange() {
    if (const auto command = HarmonicCommand(ui->HarmonicComboBox->currentIndex()))
        SendCommand(*command);
}

void TMainForm::ScopeScaleComboBoxChange() {
    if (const auto command = ScopeScaleCommand(ui->ScopeScaleComboBox->currentIndex()))
        SendCommand(*command);
}

void TMainForm::FreqDifferenceSet1ButtonClick() {
    const double megahertz = ui->FreqDifference1RealSpinEdit->Value();
    ui->FreqDifference2RealSpinEdit->SetValue(megahertz);
    SendCommand(FreqDifferenceCommand(megahertz));
    FreqDifferenceSetByOperator(megahertz);
}

void TMainForm::FreqDifference2ButtonClick() {
    const double megahertz = ui->FreqDifference2RealSpinEdit->Value();
    ui->FreqDifference1RealSpinEdit->SetValue(megahertz);
    SendCommand(FreqDifferenceCommand(megahertz));
    FreqDifferenceSetByOperator(megahertz);
}

void TMainForm::FreqDifferenceSetByOperator(double megahertz) {
    SetPointKnown(megahertz);
    OperatorAction(QStringLiteral("frequency difference set to %1 MHz")
                       .arg(QLocale().toString(megahertz, 'f', 3)));
}

void TMainForm::SetPointKnown(double megahertz) {
    const double hz = std::nearbyint(megahertz * 1e6);
    UpdateStatusModel([hz](TStatusSnapshot& s) { s.FreqDifferenceSetHz = hz; });
}

void TMainForm::ShowTuningStatus(uint16_t state) {
    const TTuningStatusView view =
        TuningStatusView(state, IodineLaserRunning, ui->PeakIdLabel->text(), SimpleMenuFirstPeakId,
                         SimpleMenuSecondPeakId, *FPeakList, QLocale());
    ui->StatusLabel->setText(view.StatusText);
    if (view.FirstButtonDown)
        ui->SimpleFPeakPngSpeedButton->setChecked(*view.FirstButtonDown);
    if (view.SecondButtonDown)
        ui->SimpleJPeakPngSpeedButton->setChecked(*view.SecondButtonDown);
    if (view.LockedPeakNumber) {
        SetLockedPeakIdLB(*view.LockedPeakNumber - 1);
        SetPeakLabelByIndex(*view.LockedPeakNumber);
    }
    FIodineStatus = state;
    FIodineLockedPeak = QChar();
    if (state == 3 && view.LockedPeakNumber) {
        const QString name = FPeakList->PeakNameByNumber(*view.LockedPeakNumber);
        if (name.size() == 1)
            FIodineLockedPeak = name.at(0);
    }
    // Back after a lost link and not yet known whether the laser still runs: the panel keeps
    // saying so instead of "laser is off - wait".
    const bool awaiting = FAwaitingRunning && !IodineLaserRunning;
    if (!awaiting)
        ui->SimpleStatusPanel->setText(view.PanelText);
    // Buttons disabled only because the laser was not known to run come back with the first
    // status that does not disable them itself (a laser still locked after a reconnect).
    std::optional<bool> buttons = view.ButtonsEnabled;
    if (!IodineLaserRunning)
        FButtonsOffForLaser = true;
    else if (buttons)
        FButtonsOffForLaser = false;
    else if (FButtonsOffForLaser) {
        buttons = true;
        FButtonsOffForLaser = false;
    }
    if (buttons) {
        ui->SimpleFPeakPngSpeedButton->setEnabled(*buttons);
        ui->SimpleJPeakPngSpeedButton->setEnabled(*buttons);
    }
    if (view.PanelColor && !awaiting)
        SetPanelColor(ui->SimpleStatusPanel, *view.PanelColor);
    switch (view.Blink) {
    case TBlinkChange::On:
        // Reports arrive faster than the blink: a running timer keeps its phase.
        if (!BlinkTimer->isActive())
            BlinkTimer->start();
        break;
    case TBlinkChange::Off:
        BlinkTimer->stop();
        break;
    case TBlinkChange::Unchanged:
        break;
    }
    FeedTuningStatus(state, view.StatusText);
    if (LaserHeNeChartView)
        LaserHeNeChartView->IodineChanged();
}

void TMainForm::ForgetIodineStatus() {
    FIodineStatus = -1;
    FIodineLockedPeak = QChar();
    if (LaserHeNeChartView)
        LaserHeNeChartView->ForgetState();
}

void TMainForm::BlinkTimerTimer() {
    SetPanelColor(ui->SimpleStatusPanel,
                  BlinkColor(PanelColor(ui->SimpleStatusPanel), ButtonFaceColor()));
}
