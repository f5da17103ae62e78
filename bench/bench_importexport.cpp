// The browser's batch import and batch export at scale, each against a plain
// tool doing the same work in the same run:
//
//   import 10,000 files of 1 KB into a database of 1,000,000 records
//       vs. the sqlite3 shell inserting the same files' texts (readfile())
//       into a copy of the same database in one transaction;
//   export 10,000 records of 1 KB to numbered files
//       vs. cp -r of a folder of the files such an export writes.
//
//   bench_importexport [records] [runs] [folder]
//
// records (default 1,000,000) fills the import's database; each side runs
// `runs` times (default 3), the two taking turns, and the median is shown; everything goes to a
// temporary folder (under TMPDIR) unless a folder is given. The batches run
// as the browser runs them, with the progress dialog (offscreen) that shows
// after half a second and commits between turns of the event loop. Needs the
// sqlite3 command-line shell. Dirty pages are synced before each timed step,
// so that neither side pays for writing back the other's files.
#include "BatchProgressDialog.h"
#include "DataSource.h"
#include "Dialogs.h"
#include "ImportExport.h"
#include "Sqlite.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFiles = 10'000;

// Answers nothing; a message would mean the batch failed, which is printed.
class NoDialogs final : public Dialogs {
public:
    int messages = 0;
    Answer message(QWidget*, const QString& text, const QString&, Icon, Buttons) override
    {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    std::optional<QString> inputText(QWidget*, const QString&, const QString&,
                                     const QString&, const QString&) override
    {
        return std::nullopt;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString existingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QColor> color(QWidget*, const QColor&) override { return std::nullopt; }
};

// About 1 KB of UTF-8 in lines, Chinese and English, different for each seed.
QByteArray clipping(quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
    qsizetype utf8 = 0;
    while (utf8 < 1000) {
        const bool chinese = random.bounded(2);
        const int run = int(random.bounded(2, 10));
        for (int i = 0; i < run; ++i) {
            text += chinese ? QChar(char16_t(0x4E00 + random.bounded(0x51A6)))
                            : QChar(char16_t('a' + random.bounded(26)));
            utf8 += chinese ? 3 : 1;
        }
        text += random.bounded(8) == 0 ? u"\r\n"_s : u" "_s;
        utf8 += 2;
    }
    return text.toUtf8().left(1024);
}

bool fill(const QString& path, qint64 records, const QByteArray& body)
{
    SqliteDatabase db;
    SqliteStatement insert;
    SqliteError e;
    if (!db.open(path, SqliteOpenMode::ReadWrite, &e) || !db.exec("BEGIN", &e)
        || !insert.prepare(db, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)", &e)) {
        std::fprintf(stderr, "cannot fill %s: %s\n", qPrintable(path), qPrintable(e.message));
        return false;
    }
    const QString text = QString::fromUtf8(body);
    for (qint64 i = 0; i < records; ++i) {
        insert.reset();
        if (!insert.bindText(1, u"网页文摘 %1"_s.arg(i), &e) || !insert.bindText(2, text, &e)
            || insert.step(&e) != SqliteStep::Done) {
            std::fprintf(stderr, "insert %lld failed: %s\n", i, qPrintable(e.message));
            return false;
        }
    }
    insert.finalize();
    return db.exec("COMMIT", &e);
}

bool copyEmpty(const QString& path)
{
    QFile::remove(path);
    return QFile::copy(QStringLiteral(QUORREL_EMPTY_DATABASE), path)
        && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

// Runs a program to its end; false (with its error output) when it fails.
bool run(const QString& program, const QStringList& arguments, const QString& input = {})
{
    QProcess process;
    if (!input.isEmpty())
        process.setStandardInputFile(input);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

qint64 records(const QString& path)
{
    DataSource ds;
    ds.setDatabaseName(path);
    return ds.Refresh() ? ds.recordset().recordCount().value_or(-1) : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

void line(const char* what, const std::vector<double>& ours, const std::vector<double>& theirs,
          const char* tool)
{
    const double a = median(ours);
    const double b = median(theirs);
    std::printf("%-28s ours %7.3f s   %-22s %7.3f s   ratio %.2f\n", what, a, tool, b,
                b > 0 ? a / b : 0.0);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 big = args.size() > 1 ? args.at(1).toLongLong() : 1'000'000;
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 3;
    QTemporaryDir temporary;
    const QString root = (args.size() > 3 ? args.at(3) : temporary.path()) + u'/';
    QDir().mkpath(root);

    // Files to import, and the texts of the records to export.
    const QString files = root + u"files/"_s;
    QDir().mkpath(files);
    QElapsedTimer timer;
    timer.start();
    QByteArray sql = "BEGIN;\n";
    for (int i = 0; i < kFiles; ++i) {
        const QString name = u"%1.txt"_s.arg(i, 5, 10, QLatin1Char('0'));
        QFile file(files + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(clipping(quint32(i))) < 0)
            return 1;
        sql += "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES ('" + name.toUtf8()
             + "', CAST(readfile('" + (files + name).toUtf8() + "') AS TEXT));\n";
    }
    sql += "COMMIT;\n";
    const QString script = root + u"insert.sql"_s;
    {
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly) || file.write(sql) != sql.size())
            return 1;
    }

    // One database of `big` records, copied for each side.
    const QString base = root + u"base.mdb"_s;
    if (!copyEmpty(base) || !fill(base, big, clipping(12345)))
        return 1;
    const QString ours = root + u"ours.mdb"_s;
    const QString theirs = root + u"theirs.mdb"_s;
    QFile::remove(ours);
    QFile::remove(theirs);
    if (!QFile::copy(base, ours) || !QFile::copy(base, theirs))
        return 1;
    QFile::remove(base);
    ::sync();
    std::printf("%d files of 1 KB; database of %lld records, %.0f MB; made in %.1f s\n", kFiles,
                big, double(QFileInfo(ours).size()) / 1e6, double(timer.elapsed()) / 1e3);

    NoDialogs dialogs;
    std::vector<double> importOurs, importTheirs;
    // Each side goes first in every other run, so neither pays more often
    // for what the disk still does after the other.
    for (int r = 0; r < 2 * runs; ++r) {
        if ((r % 2 == 0) == (r / 2 % 2 == 0)) {
            DataSource ds;
            ds.setDatabaseName(ours);
            BatchProgressDialog progress(nullptr);
            ::sync();
            timer.start();
            const auto result =
                ImportExport::importFromFolder(files, dialogs, nullptr, ds, progress);
            importOurs.push_back(seconds(timer));
            if (result.done != kFiles)
                return 1;
        } else {
            ::sync();
            timer.start();
            if (!run(u"sqlite3"_s, {theirs}, script))
                return 1;
            importTheirs.push_back(seconds(timer));
        }
    }
    std::printf("records now: ours %lld, sqlite3 %lld\n", records(ours), records(theirs));
    line("import 10,000 files", importOurs, importTheirs, "sqlite3 (1 transaction)");
    QFile::remove(ours);
    QFile::remove(theirs);

    // The same into an empty database: the cost must not grow with the database.
    {
        const QString small = root + u"small.mdb"_s;
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            if (!copyEmpty(small))
                return 1;
            DataSource ds;
            ds.setDatabaseName(small);
            BatchProgressDialog progress(nullptr);
            ::sync();
            timer.start();
            ImportExport::importFromFolder(files, dialogs, nullptr, ds, progress);
            times.push_back(seconds(timer));
        }
        std::printf("%-28s ours %7.3f s\n", "import into an empty one", median(times));
    }

    // Export: the 10,000 clippings as records; cp copies a folder that one
    // export wrote before, so that either may go first.
    const QString exportDb = root + u"small.mdb"_s;
    const QString reference = root + u"reference/"_s;
    QDir().mkpath(reference);
    {
        DataSource ds;
        ds.setDatabaseName(exportDb);
        SilentProgress progress;
        if (ImportExport::exportToFolder(reference, dialogs, nullptr, ds, progress).done != kFiles)
            return 1;
    }
    std::vector<double> exportOurs, exportTheirs;
    for (int r = 0; r < 2 * runs; ++r) {
        if ((r % 2 == 0) == (r / 2 % 2 == 0)) {
            const QString out = root + u"out/"_s;
            QDir().mkpath(out);
            DataSource ds;
            ds.setDatabaseName(exportDb);
            BatchProgressDialog progress(nullptr);
            ::sync();
            timer.start();
            const auto result = ImportExport::exportToFolder(out, dialogs, nullptr, ds, progress);
            exportOurs.push_back(seconds(timer));
            if (result.done != kFiles)
                return 1;
            QDir(out).removeRecursively();
        } else {
            const QString copy = root + u"copy"_s;
            ::sync();
            timer.start();
            if (!run(u"cp"_s, {u"-r"_s, reference, copy}))
                return 1;
            exportTheirs.push_back(seconds(timer));
            QDir(copy).removeRecursively();
        }
    }
    line("export 10,000 records", exportOurs, exportTheirs, "cp -r of the files");
    return dialogs.messages == 0 ? 0 : 1;
}
