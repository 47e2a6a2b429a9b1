#include "app/SingleInstanceUnit.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

bool AcquireSingleInstance(const QString& token, const QString& lockDirectory) {
#ifdef _WIN32
    Q_UNUSED(lockDirectory);
    // Unowned, default security; the handle is deliberately never closed.
    CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(token.utf16()));
    return GetLastError() == 0;
#else
    QString dir = lockDirectory;
    if (dir.isEmpty())
        dir = qEnvironmentVariable("XDG_RUNTIME_DIR"); // the session's runtime directory
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QDir::tempPath();
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(token + QStringLiteral(".lock")));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true; // fd stays open: the lock lives exactly as long as this process
#endif
}
