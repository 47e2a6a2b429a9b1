// single_instance_probe DIR [hold]: prints "acquired" or "refused"; with "hold" keeps the token
// until stdin closes or the process is killed. On Windows the folder's name makes the mutex name.
#include "app/SingleInstanceUnit.h"

#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
#ifdef _WIN32
    // Named mutexes live in one name space per session: each test folder gets a name of its own,
    // so that the tests never meet a running Halvane or each other.
    const QString token = QStringLiteral("HALVANE_INSTANCE_") + QFileInfo(dir).fileName();
#else
    const QString token = QStringLiteral("HALVANE_INSTANCE");
#endif
    const bool ok = AcquireSingleInstance(token, dir);
    std::printf("%s\n", ok ? "acquired" : "refused");
    std::fflush(stdout);
    if (ok && argc > 2 && std::strcmp(argv[2], "hold") == 0)
        while (std::getchar() != EOF) {
        }
    return ok ? 0 : 1;
}
