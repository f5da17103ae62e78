// Converting the Access fixtures: records/s and MB/s of AccessImport (reader
// child process + SQLite) against mdb-export of the same table to /dev/null
// (which cuts long values, so it is a floor), and the reader's peak memory.
// Usage: bench_access [fixtures folder]

#include "AccessImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

double best(int runs, const std::function<void()>& run)
{
    double fastest = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        fastest = std::min(fastest, t.nsecsElapsed() / 1e9);
    }
    return fastest;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString fixtures = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                      : QStringLiteral(ACCESS_FIXTURES);
    AccessFile::setReaderPath(QStringLiteral(MDB_READER));
    std::printf("%-36s %8s %10s %10s %10s %10s %8s\n", "file", "records", "ours s", "rec/s",
                "MB/s", "export s", "ratio");
    for (const QString& name : {u"WebDocuments_jet4_compressed.mdb"_s,
                               u"WebDocuments_jet4_uncompressed.mdb"_s,
                               u"WebDocuments_ace2007.accdb"_s}) {
        const QString source = fixtures + u"/generated/"_s + name;
        if (!QFileInfo::exists(source)) {
            std::printf("%s: missing\n", qPrintable(source));
            return 1;
        }
        const double mb = QFileInfo(source).size() / 1e6;
        QTemporaryDir dir;
        qint64 records = 0;
        const double ours = best(5, [&] {
            const QString path = dir.filePath(u"WebDocuments.mdb"_s);
            for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
                QFile::remove(dir.filePath(f));
            QFile::copy(source, path);
            AccessImport import;
            if (import.convertInPlace(path) != AccessImport::Outcome::Done)
                std::printf("conversion failed: %s\n", qPrintable(import.message()));
            records = import.recordsRead();
        });
        const double exported = best(5, [&] {
            QProcess p;
            p.setStandardOutputFile(u"/dev/null"_s);
            p.start(u"mdb-export"_s, {source, u"WebDocuments"_s});
            p.waitForFinished(60000);
        });
        std::printf("%-36s %8lld %10.3f %10.0f %10.1f %10.3f %8.2f\n", qPrintable(name),
                    records, ours, records / ours, mb / ours, exported, ours / exported);
    }
    // Peak memory of the reader alone (the largest child so far is mdb-export
    // or the reader; run the reader last on the largest value).
    QProcess reader;
    reader.setStandardOutputFile(u"/dev/null"_s);
    reader.start(QStringLiteral(MDB_READER),
                 {fixtures + u"/generated/WebDocuments_ace2007.accdb"_s});
    reader.waitForFinished(60000);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("peak memory of the largest child (reader or mdb-export): %ld KB\n",
                usage.ru_maxrss);
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory of this process (the SQLite side): %ld KB\n", usage.ru_maxrss);
    return 0;
}
