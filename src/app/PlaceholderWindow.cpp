#include "app/PlaceholderWindow.h"

#include "app/GlobalUnit.h"
#include "link/ConnectionUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

TPlaceholderWindow::TPlaceholderWindow(QWidget* parent) : QWidget(parent) {
    // The application manager comes first: its creation refuses a second copy.
    ApplicationManager = new TApplicationManager();
    Connection = new TConnection();

    setWindowTitle(QStringLiteral("Halvane v.2022.06.1"));
    FDevices = new QListWidget(this);
    FDevices->setObjectName(QStringLiteral("DevicesListBox"));
    FStatus = new QLabel(this);
    FStatus->setObjectName(QStringLiteral("StatusLabel"));
    FSearch = new QPushButton(QStringLiteral("Search"), this);
    FSearch->setObjectName(QStringLiteral("SearchButton"));
    FConnect = new QPushButton(QStringLiteral("Connect"), this);
    FConnect->setObjectName(QStringLiteral("ConnectButton"));
    FDisconnect = new QPushButton(QStringLiteral("Disconnect"), this);
    FDisconnect->setObjectName(QStringLiteral("DisconnectButton"));

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(FSearch);
    buttons->addWidget(FConnect);
    buttons->addWidget(FDisconnect);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Devices"), this));
    layout->addWidget(FDevices);
    layout->addLayout(buttons);
    layout->addWidget(FStatus);
    resize(480, 320);

    connect(FSearch, &QPushButton::clicked, this, &TPlaceholderWindow::SearchButtonClick);
    connect(FConnect, &QPushButton::clicked, this, &TPlaceholderWindow::ConnectButtonClick);
    connect(FDisconnect, &QPushButton::clicked, this, &TPlaceholderWindow::DisconnectButtonClick);
    SearchButtonClick();
}

TPlaceholderWindow::~TPlaceholderWindow() {
    Connection->Disconnect();
    QThread::msleep(100);
    delete ApplicationManager;
    ApplicationManager = nullptr;
    TConnection* c = Connection;
    Connection = nullptr;
    delete c;
}

void TPlaceholderWindow::SearchButtonClick() {
    QStringList names;
    FDevices->clear();
    Connection->GetAvailableDevices(names);
    FDevices->addItems(names);
    if (!names.isEmpty())
        FDevices->setCurrentRow(0);
    FStatus->setText(names.isEmpty() ? QStringLiteral("No device found")
                                     : QStringLiteral("%1 device(s) found").arg(names.size()));
}

void TPlaceholderWindow::ConnectButtonClick() {
    if (QListWidgetItem* item = FDevices->currentItem())
        Connection->SetDeviceID(item->text());
    FStatus->setText(Connection->Connect() ? QStringLiteral("Connected")
                                           : QStringLiteral("Connection error"));
}

void TPlaceholderWindow::DisconnectButtonClick() {
    if (Connection->Disconnect())
        FStatus->setText(QStringLiteral("Disconnected"));
}
