// single_instance_probe DIR [hold]: prints "acquired" or "refused"; with "hold" keeps the token
// until stdin closes or the process is killed.
#include "app/SingleInstanceUnit.h"

#include <QString>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const bool ok =
        AcquireSingleInstance(QStringLiteral("HALVANE_INSTANCE"), QString::fromLocal8Bit(argv[1]));
    std::printf("%s\n", ok ? "acquired" : "refused");
    std::fflush(stdout);
    if (ok && argc > 2 && std::strcmp(argv[2], "hold") == 0)
        while (std::getchar() != EOF) {
        }
    return ok ? 0 : 1;
}
