// Prints the plain text of a document as the program reads it.
#include "RichText.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    RichTextBuffer box;
    QString error;
    if (!box.LoadFile(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%s\n", box.Text().toUtf8().constData());
    return 0;
}
