#pragma once
// One running copy per machine.
//
// On Windows the token is a named mutex; elsewhere it is an exclusive flock() on a file named
// after the token in the user's runtime directory. Either way the operating system releases it
// when the process ends, also after a crash, so a dead first copy never blocks the next start.
// The token is held until the process ends; nothing ever releases it explicitly.

#include <QString>

inline const char* const InstanceToken = "HALVANE_INSTANCE";

// True when this process now holds the token; false when another process holds it or it cannot
// be taken. lockDirectory overrides where the lock file lives (non-Windows only; empty = the
// runtime directory, or the temporary directory when there is none).
bool AcquireSingleInstance(const QString& token = QString::fromLatin1(InstanceToken),
                           const QString& lockDirectory = QString());
