// Tries the lock named by its argument and says "LOCKED" or "REFUSED" on one
// line; a holder keeps the lock until it is killed.
#include "singleinstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    // The lock records the application's name; without an application object the
    // name is empty, and a reader would take the live holder for a stale one.
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    const bool locked = instance.tryLock();
    std::printf("%s\n", locked ? "LOCKED" : "REFUSED");
    std::fflush(stdout);
    return locked ? app.exec() : 1;
}
