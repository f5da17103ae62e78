#include "ImportAccess.h"

#include "AccessCommand.h"
#include "ProgramDir.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int runImportAccess(int argc, char* argv[])
{
    if (argc < 2 || std::strcmp(argv[1], "--import-access") != 0)
        return -1;
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("用法：quorrel --import-access 文件\n", stderr);
        return 2;
    }
    ProgramDirectory::resolve();
    QString out, err;
    const int status =
        importAccessCommand(QString::fromLocal8Bit(argv[2]), ProgramDir(), &out, &err);
    std::fputs(out.toLocal8Bit().constData(), stdout);
    if (!err.isEmpty())
        std::fprintf(stderr, "quorrel: %s\n", err.toLocal8Bit().constData());
    return status;
}
