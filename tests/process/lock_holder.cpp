// Holds the single-instance lock of the folder given as argument, prints
// "held", "busy" or "failed", and waits to be killed. With --listen PATH it
// plays a listener of another account instead: it takes every text handed
// to it at PATH, printing "listening" and then "got <text>" for each.
#include "CollectChannel.h"
#include "SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArrayView(argv[1]) == "--listen") {
        CollectServer server;
        server.trusts = [](uid_t) { return true; };
        server.take = [](const QString& text, const CollectSource&) {
            std::printf("got %s\n", text.toUtf8().constData());
            std::fflush(stdout);
            return true;
        };
        if (!server.listen(QString::fromLocal8Bit(argv[2])))
            return 1;
        std::printf("listening\n");
        std::fflush(stdout);
        return app.exec();
    }
    if (argc < 2)
        return 2;
    SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    const bool held = instance.acquire();
    std::printf("%s\n", held ? "held" : instance.problem().isEmpty() ? "busy" : "failed");
    std::fflush(stdout);
    if (!held)
        return 1;
    for (;;)
        ::pause();
}
