// TMainForm: what the laser-head model tells the window directly.
#include "ui/main/MainUnit.h"

#include "laser/LaserDeviceUnit.h"
#include "laser/LaserUnit.h"
#include "ui_MainUnit.h"

#include <QMetaObject>
#include <QPointer>

void TMainForm::InstallFreqDifferenceHandler() {
    if (!Laser)
        return;
    // Called on the receive thread after the answer is stored; the fields are written on the
    // GUI thread with the value the model holds when the queued call runs. The reported value
    // is shown as it is: the fields' limits apply only to what the operator types.
    QPointer<TMainForm> self(this);
    Laser->SetFreqDifferenceHandler([self](double) {
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (!self || !Laser)
                    return;
                const double mhz =
                    Laser->LHParameters()->LaserWavelengthCalculator()->Wavelength() / 1000000.0;
                self->ui->FreqDifference1RealSpinEdit->SetValue(mhz);
                self->ui->FreqDifference2RealSpinEdit->SetValue(mhz);
                // The laser head's answer is its set point: the stability record goes by it.
                self->SetPointKnown(mhz);
            },
            Qt::QueuedConnection);
    });
}

void TMainForm::RemoveFreqDifferenceHandler() {
    if (Laser)
        Laser->SetFreqDifferenceHandler({}); // waits for a call in progress
}
