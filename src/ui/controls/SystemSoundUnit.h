#pragma once
// The system's two message sounds: the default beep and the error (stop) beep.
//
// Windows: MessageBeep with MB_OK (the "Default Beep" sound) and MB_ICONHAND (the "Critical
// Stop" sound). Linux: the default beep is the bell; the error beep is the desktop's sound theme
// event "dialog-error", played by canberra-gtk-play where that is installed, else the bell too.

#include <QString>
#include <QStringList>

#include <functional>

enum class TSystemSound { Default, Error };

// Sounds it (or hands it to the player a test installed); never waits for the sound.
void PlaySystemSound(TSystemSound sound);

// Replaces what sounds (tests record the sounds instead); an empty player restores the system.
void SetSystemSoundPlayer(std::function<void(TSystemSound)> player);

// The program and arguments that play a sound on Linux, given the path of canberra-gtk-play
// (empty when it is not installed); an empty list means the bell.
QStringList LinuxSoundCommand(TSystemSound sound, const QString& canberraPlayer);
