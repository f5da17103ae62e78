// The record set's costs on a large WebDocuments.mdb: opening it, one drop in
// database mode, many adds, and reading every title.
//
//   bench_database [records] [folder] [adds]
//
// records defaults to 1,000,000 and adds to 10,000; the database is made in a
// temporary folder (under TMPDIR) unless a folder is given (an empty folder
// argument also means a temporary one). Every add is its own transaction,
// as in the program, so those figures include the disk's sync time.
#include "DataSource.h"
#include "Sqlite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"标题"_s;
const QString kContent = u"内容"_s;

double ms(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// Median and worst of `runs` timings of `work`.
template <typename Work>
void report(const char* what, int runs, Work work)
{
    std::vector<qint64> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!work()) {
            std::printf("%-44s FAILED\n", what);
            return;
        }
        times.push_back(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %9.3f ms   max %9.3f ms   (%d runs)\n", what,
                ms(times[times.size() / 2]), ms(times.back()), runs);
}

bool fill(const QString& path, qint64 records)
{
    SqliteDatabase db;
    SqliteStatement insert;
    SqliteError e;
    if (!db.open(path, SqliteOpenMode::ReadWrite, &e) || !db.exec("BEGIN", &e)
        || !insert.prepare(db, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)", &e)) {
        std::fprintf(stderr, "cannot fill %s: %s\n", qPrintable(path), qPrintable(e.message));
        return false;
    }
    // About 250 bytes a record: a title and a short clipping.
    const QString body = u"网页上选中的一段文字，拖到收集器上保存。Some English text too. "_s.repeated(3);
    for (qint64 i = 0; i < records; ++i) {
        insert.reset();
        if (!insert.bindText(1, u"网页文摘 %1"_s.arg(i), &e) || !insert.bindText(2, body, &e)
            || insert.step(&e) != SqliteStep::Done) {
            std::fprintf(stderr, "insert %lld failed: %s\n", i, qPrintable(e.message));
            return false;
        }
    }
    insert.finalize();
    return db.exec("COMMIT", &e);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 records = args.size() > 1 ? args.at(1).toLongLong() : 1'000'000;
    QTemporaryDir temporary;
    const QString folder = args.size() > 2 && !args.at(2).isEmpty() ? args.at(2) : temporary.path();
    // Each add syncs the disk: on a busy disk 10,000 of them take a minute.
    const int adds = args.size() > 3 ? std::max(1, args.at(3).toInt()) : 10'000;
    const QByteArray addsLabel =
        QLocale(QLocale::English).toString(adds).toLatin1() + " x (AddNew + 2 setField + Update)";
    const QString path = folder + u"/WebDocuments.mdb"_s;
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(QUORREL_EMPTY_DATABASE), path)) {
        std::fprintf(stderr, "cannot copy the empty database to %s\n", qPrintable(path));
        return 1;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    QElapsedTimer timer;
    timer.start();
    if (!fill(path, records))
        return 1;
    ::sync(); // so that writing back the fill does not slow the first timed syncs
    std::printf("database: %s, %lld records, %.1f MB, filled in %.1f s\n", qPrintable(path),
                records, double(QFileInfo(path).size()) / 1e6, double(timer.elapsed()) / 1e3);

    DataSource ds;
    ds.setDatabaseName(path);
    Recordset& rs = ds.recordset();
    QString error;
    if (!ds.Refresh(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    report("Refresh", 50, [&] { return ds.Refresh(); });
    report("drop: Refresh + AddNew + 2 setField + Update", 50, [&] {
        return ds.Refresh() && rs.AddNew() && rs.setField(kTitle, u"拖入的标题"_s)
            && rs.setField(kContent, u"拖入的内容，一段网页文字。"_s) && rs.Update();
    });
    report(addsLabel.constData(), 1, [&] {
        for (int i = 0; i < adds; ++i) {
            if (!rs.AddNew() || !rs.setField(kTitle, u"批量 %1"_s.arg(i))
                || !rs.setField(kContent, u"内容"_s) || !rs.Update())
                return false;
        }
        return true;
    });
    report("recordCount", 5, [&] { return rs.recordCount().has_value(); });
    qint64 walked = 0;
    report("every title: MoveFirst/MoveNext/field", 1, [&] {
        walked = 0;
        if (!rs.MoveFirst())
            return false;
        while (!rs.isEOF()) {
            if (!rs.field(kTitle))
                return false;
            ++walked;
            rs.MoveNext();
        }
        return true;
    });
    qint64 listed = 0;
    report("every title: titles()", 3, [&] {
        const auto titles = rs.titles();
        listed = titles ? titles->size() : 0;
        return titles.has_value();
    });
    std::printf("titles walked %lld, listed %lld\n", walked, listed);
    return 0;
}
