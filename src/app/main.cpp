// Halvane: operator and service program of an iodine-stabilised HeNe laser.

#include "app/GlobalUnit.h"
#include "app/PlaceholderWindow.h"
#include "app/SleepPreventionUnit.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace {

// The program's one visual style: Fusion with a light palette.
void ApplyLightStyle(QApplication& app) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(style);
    app.setPalette(app.style()->standardPalette());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TSleepPrevention::Acquire();
    ApplyLightStyle(app);

    TApplicationManager::SetInstanceRefusedHandler([] {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Program is already running!"), QMessageBox::Ok);
        box.exec();
    });

    int code = 0;
    {
        TPlaceholderWindow window;
        window.show();
        code = app.exec();
    }
    TSleepPrevention::Release();
    return code;
}
