#pragma once
// The first window of the program: lists the attached devices and opens or closes the chosen
// one. The operator window takes its place once it exists.

#include <QWidget>

class QListWidget;
class QLabel;
class QPushButton;

class TPlaceholderWindow : public QWidget {
    Q_OBJECT
public:
    explicit TPlaceholderWindow(QWidget* parent = nullptr);
    ~TPlaceholderWindow() override;

    void SearchButtonClick();
    void ConnectButtonClick();
    void DisconnectButtonClick();

private:
    QListWidget* FDevices;
    QLabel* FStatus;
    QPushButton* FSearch;
    QPushButton* FConnect;
    QPushButton* FDisconnect;
};
