// Converts the Access file argv[1] in place with the reader argv[2]; the
// Access tests kill it at random moments.
#include "AccessImport.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    AccessFile::setReaderPath(QString::fromLocal8Bit(argv[2]));
    AccessImport import;
    return import.convertInPlace(QString::fromLocal8Bit(argv[1])) == AccessImport::Outcome::Done
               ? 0
               : 1;
}
