// Holds the single-instance lock of the folder given as argument, prints
// "held" or "busy", and waits to be killed.
#include "SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    const bool held = instance.acquire();
    std::printf("%s\n", held ? "held" : "busy");
    std::fflush(stdout);
    if (!held)
        return 1;
    for (;;)
        ::pause();
}
