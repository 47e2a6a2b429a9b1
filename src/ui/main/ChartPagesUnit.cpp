#include "ui/main/ChartPagesUnit.h"

#include "ui/controls/RealSpinEdit.h"
#include "ui/main/ServiceCommandsUnit.h"

#include "ui_FreqDiffChartPage.h"
#include "ui_IodineChartPage.h"
#include "ui_LaserHeNeChartPage.h"
#include "ui_TestPage.h"

#include <QVBoxLayout>

TIodineChartPage::TIodineChartPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TIodineChartPage>()) {
    ui->setupUi(this);
}
TIodineChartPage::~TIodineChartPage() = default;

TLaserHeNeChartPage::TLaserHeNeChartPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TLaserHeNeChartPage>()) {
    ui->setupUi(this);
}
TLaserHeNeChartPage::~TLaserHeNeChartPage() = default;

TFreqDiffChartPage::TFreqDiffChartPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFreqDiffChartPage>()) {
    ui->setupUi(this);
}
TFreqDiffChartPage::~TFreqDiffChartPage() = default;

TTestPage::TTestPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TTestPage>()) {
    ui->setupUi(this);
    const struct {
        TRealSpinEdit* edit;
        double max;
    } fields[] = {
        {ui->DSPPRealSpinEdit, 255}, {ui->DSPIRealSpinEdit, 255}, {ui->DSPDRealSpinEdit, 65535}};
    for (const auto& field : fields) {
        field.edit->SetMinValue(0);
        field.edit->SetMaxValue(field.max);
        field.edit->SetPrecision(0);
        field.edit->SetUnread(); // 'read' or typing gives the DSP's values
    }
    EnableWhenRead(ui->DSPWritePIDButton,
                   {ui->DSPPRealSpinEdit, ui->DSPIRealSpinEdit, ui->DSPDRealSpinEdit});
    connect(ui->DSPWritePIDButton, &QPushButton::clicked, this,
            [this] { DSPWritePIDButtonClick(); });
    connect(ui->DSPReadPIDButton, &QPushButton::clicked, this, [this] { DSPReadPIDButtonClick(); });
}
TTestPage::~TTestPage() = default;

void TTestPage::DSPWritePIDButtonClick() {
    SendDSPWritePID(ui->DSPPRealSpinEdit->Value(), ui->DSPIRealSpinEdit->Value(),
                    ui->DSPDRealSpinEdit->Value());
}

void TTestPage::DSPReadPIDButtonClick() {
    SendDSPReadPID();
}

void PlaceInto(QWidget* container, QWidget* content) {
    auto* layout = container->layout();
    if (!layout) {
        layout = new QVBoxLayout(container);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(content);
}
