#include "ui/controls/SystemSoundUnit.h"

#include <QApplication>

#ifdef _WIN32
#include <windows.h>
#else
#include <QProcess>
#include <QStandardPaths>
#endif

namespace {
std::function<void(TSystemSound)>& Player() {
    static std::function<void(TSystemSound)> player;
    return player;
}
} // namespace

void SetSystemSoundPlayer(std::function<void(TSystemSound)> player) {
    Player() = std::move(player);
}

QStringList LinuxSoundCommand(TSystemSound sound, const QString& canberraPlayer) {
    if (sound != TSystemSound::Error || canberraPlayer.isEmpty())
        return {};
    return {canberraPlayer, QStringLiteral("--id=dialog-error"),
            QStringLiteral("--description=Halvane")};
}

void PlaySystemSound(TSystemSound sound) {
    if (Player()) {
        Player()(sound);
        return;
    }
#ifdef _WIN32
    MessageBeep(sound == TSystemSound::Error ? MB_ICONHAND : MB_OK);
#else
    // Looked up once: the desktop's sound player does not come and go while the program runs.
    static const QString canberra =
        QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play"));
    const QStringList command = LinuxSoundCommand(sound, canberra);
    if (command.isEmpty() || !QProcess::startDetached(command.first(), command.mid(1)))
        QApplication::beep();
#endif
}
