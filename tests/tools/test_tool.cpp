// What the tests run as another program:
//   test_tool rtf-text FILE         prints the plain text of a document as the program reads it;
//   test_tool convert-access FILE READER   converts an Access file in place (the Access
//                                   tests kill it at random moments).
#include "AccessImport.h"
#include "RichText.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const auto mode = [&](const char* name, int args) {
        return argc == args + 2 && std::strcmp(argv[1], name) == 0;
    };
    if (mode("rtf-text", 1)) {
        RichTextBuffer box;
        QString error;
        if (!box.LoadFile(QString::fromLocal8Bit(argv[2]), &error)) {
            std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
            return 1;
        }
        std::printf("%s\n", box.Text().toUtf8().constData());
        return 0;
    }
    if (mode("convert-access", 2)) {
        AccessFile::setReaderPath(QString::fromLocal8Bit(argv[3]));
        AccessImport import;
        return import.convertInPlace(QString::fromLocal8Bit(argv[2])) == AccessImport::Outcome::Done
                   ? 0
                   : 1;
    }
    return 2;
}
