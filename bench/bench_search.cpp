// Finding records by text on a large WebDocuments.mdb: building the trigram
// index (time, size against the database's), then searches of 1, 2, 3 and 8
// characters, each on a warm cache.
//
//   bench_search [records] [folder] [keep|variants]
//
// With `keep`, a whole index already in the folder is searched without being
// built again. With `variants`, ways of keeping the index are built side by
// side instead (each into a file of its own, as the browser builds it: in
// slices of one transaction each) and each prints one line of `key=value`
// fields:
//
//   variant=NAME build_s=S index_mb=M database_mb=M ratio=R q3_ms=T
//   q3latin_ms=T q8_ms=T q8none_ms=T
//
// (all on one line; q*: median of 5 searches of 3 characters, the word
// "web", 8 characters, 8 characters found nowhere, each hit checked against
// the record as the browser does). `variant=scan` is no index at all, every
// search reading the table; `variant=program-N` the program's own index
// built in slices of N records; the others FTS5 trigram tables.
// records defaults to 1,000,000 of a title of 12 and a content of 300 Chinese
// characters with a few English words, drawn from 3,000 characters with the
// common ones more often, as clipped text is. The database is made in a
// temporary folder (under TMPDIR) unless a folder is given; a folder already
// holding WebDocuments.mdb is used as it is (and its index, if any, is built
// again from nothing).
#include "DocumentSearch.h"
#include "Sqlite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

double ms(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

class TextMaker {
public:
    TextMaker() : m_random(17)
    {
        // Zipf-like weights over 3,000 CJK characters.
        std::vector<double> weights;
        for (int i = 0; i < 3000; ++i) {
            m_chars.append(QChar(char16_t(0x4E00 + (i * 7) % 20000)));
            weights.push_back(1.0 / std::pow(double(i + 1), 0.8));
        }
        m_pick = std::discrete_distribution<int>(weights.begin(), weights.end());
    }
    QString text(int characters)
    {
        static const QString words[] = {u" Quorrel "_s, u" web "_s, u" text "_s, u" 2026 "_s};
        QString out;
        out.reserve(characters + 16);
        while (out.size() < characters) {
            if (m_random() % 60 == 0)
                out += words[m_random() % 4];
            else
                out += m_chars.at(m_pick(m_random));
        }
        return out;
    }

private:
    std::mt19937 m_random;
    QList<QChar> m_chars;
    std::discrete_distribution<int> m_pick;
};

bool fill(const QString& path, qint64 records)
{
    SqliteDatabase db;
    SqliteStatement insert;
    SqliteError e;
    if (!db.open(path, SqliteOpenMode::ReadWriteCreate, &e)
        || !db.exec("CREATE TABLE IF NOT EXISTS WebDocuments (\"标题\" TEXT, \"内容\" TEXT)", &e)
        || !db.exec("BEGIN", &e)
        || !insert.prepare(db, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)", &e)) {
        std::printf("cannot fill: %s\n", qPrintable(e.message));
        return false;
    }
    TextMaker maker;
    for (qint64 i = 0; i < records; ++i) {
        insert.reset();
        if (!insert.bindText(1, maker.text(12), &e) || !insert.bindText(2, maker.text(300), &e)
            || insert.step(&e) != SqliteStep::Done) {
            std::printf("cannot fill: %s\n", qPrintable(e.message));
            return false;
        }
    }
    insert.finalize();
    return db.exec("COMMIT", &e);
}

QString recordText(const QString& path, qint64 rowid)
{
    SqliteDatabase db;
    SqliteStatement read;
    if (!db.open(path, SqliteOpenMode::ReadOnly)
        || !read.prepare(db, "SELECT \"内容\" FROM WebDocuments WHERE rowid >= ?1 LIMIT 1")
        || !read.bindInt64(1, rowid) || read.step() != SqliteStep::Row)
        return {};
    return read.columnText(0);
}

double megabytes(const QString& path)
{
    return double(QFileInfo(path).size()) / (1024.0 * 1024.0);
}

struct Query {
    const char* what;
    QString text;
};

// Queries cut from a record in the middle, so each finds something.
QList<Query> queriesFor(const QString& path, qint64 records)
{
    const QString sample = recordText(path, records / 2);
    return {
        {"1 character (common)", sample.mid(40, 1)},
        {"1 character (Latin)", u"q"_s},
        {"2 characters", sample.mid(40, 2)},
        {"3 characters", sample.mid(40, 3)},
        {"3 characters (Latin word)", u"web"_s},
        {"8 characters", sample.mid(40, 8)},
        {"8 characters, none found", u"不在其中的八个字符"_s.left(8)},
    };
}

// One way of keeping the index, built and searched by hand beside the
// program's own.
struct Variant {
    const char* name;
    const char* options;   // of the fts5 table
    int sliceRows;         // records per transaction
    int hashMb = 0;        // memory for terms before they are written; 0: FTS5's 1 MB
    bool optimize = false; // all segments merged into one after the build
    bool positions = true; // queries as phrases (detail=full) or as trigrams
};

QString phrase(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

// The trigrams covering a text, all of which a record holding it has: what
// an index without positions (detail=none) can be asked.
QString trigramsAnd(const QString& text)
{
    const QList<uint> chars = text.toUcs4();
    const qsizetype n = chars.size();
    QList<qsizetype> starts;
    for (qsizetype i = 0; i + 3 <= n; i += 3)
        starts.append(i);
    if (n >= 3 && starts.last() != n - 3)
        starts.append(n - 3); // each character in one
    QStringList terms;
    for (const qsizetype i : starts)
        terms.append(
            phrase(QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()) + i, 3)));
    return terms.join(u" AND "_s);
}

QString likePattern(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return u'%' + escaped + u'%';
}

// Median of 5 runs of a query answered through the index (or the table
// alone with `scan`), in ms; -1 on failure.
double timeQuery(SqliteDatabase& db, const QString& text, bool positions, bool scan)
{
    SqliteStatement statement;
    const char* sql = scan ? "SELECT rowid FROM docs.WebDocuments WHERE ?1 IS NOT NULL "
                             "AND (\"标题\" LIKE ?2 ESCAPE '\\' OR \"内容\" LIKE ?2 ESCAPE '\\') "
                             "ORDER BY rowid"
                           : "SELECT w.rowid FROM words JOIN docs.WebDocuments AS w "
                             "ON w.rowid = words.rowid WHERE words MATCH ?1 "
                             "AND (w.\"标题\" LIKE ?2 ESCAPE '\\' OR w.\"内容\" LIKE ?2 ESCAPE '\\') "
                             "ORDER BY words.rowid";
    if (!statement.prepare(db, sql))
        return -1;
    std::vector<qint64> times;
    QElapsedTimer timer;
    for (int run = 0; run < 5; ++run) {
        statement.reset();
        timer.start();
        if (!statement.bindText(1, positions ? phrase(text) : trigramsAnd(text))
            || !statement.bindText(2, likePattern(text)))
            return -1;
        SqliteStep step;
        while ((step = statement.step()) == SqliteStep::Row) {
        }
        if (step != SqliteStep::Done)
            return -1;
        times.push_back(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    return ms(times[times.size() / 2]);
}

bool runVariant(const Variant& v, const QString& path, const QString& folder, qint64 records)
{
    const bool scan = v.options == nullptr;
    const QString indexPath = folder + u"/variant.search"_s;
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(indexPath + suffix);
    QElapsedTimer timer;
    timer.start();
    {
        SqliteDatabase db;
        SqliteError e;
        SqliteStatement attach;
        if (!db.open(indexPath, SqliteOpenMode::ReadWriteCreate, &e)
            || !db.exec("PRAGMA journal_mode=WAL", &e) || !db.exec("PRAGMA synchronous=NORMAL", &e)
            || !attach.prepare(db, "ATTACH DATABASE ?1 AS docs", &e)
            || !attach.bindText(1, path, &e) || attach.step(&e) != SqliteStep::Done)
            return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
        attach.finalize();
        if (!scan) {
            const QByteArray create = "CREATE VIRTUAL TABLE words USING fts5(title, content, "
                                      "content='', tokenize='trigram'"
                + QByteArray(v.options) + ")";
            if (!db.exec(create.constData(), &e))
                return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
            if (v.hashMb > 0) {
                const QByteArray hash = "INSERT INTO words(words, rank) VALUES ('hashsize', "
                    + QByteArray::number(v.hashMb * 1024 * 1024) + ")";
                if (!db.exec(hash.constData(), &e))
                    return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
            }
            SqliteStatement insert;
            if (!insert.prepare(db, "INSERT INTO words (rowid, title, content) SELECT rowid, "
                                    "\"标题\", \"内容\" FROM docs.WebDocuments "
                                    "WHERE rowid > ?1 AND rowid <= ?2", &e))
                return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
            // Bookmarks of the benchmark's database run from 1 without gaps.
            for (qint64 from = 0; from < records; from += v.sliceRows) {
                insert.reset();
                if (!db.exec("BEGIN", &e) || !insert.bindInt64(1, from, &e)
                    || !insert.bindInt64(2, from + v.sliceRows, &e)
                    || insert.step(&e) != SqliteStep::Done || !db.exec("COMMIT", &e))
                    return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
            }
            if (v.optimize && !db.exec("INSERT INTO words(words) VALUES ('optimize')", &e))
                return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
        }
        if (!db.exec("PRAGMA main.wal_checkpoint(TRUNCATE)", &e))
            return std::printf("variant %s: %s\n", v.name, qPrintable(e.message)), false;
    }
    const double built = scan ? 0.0 : ms(timer.nsecsElapsed()) / 1e3;

    SqliteDatabase db;
    SqliteStatement attach;
    if (!db.open(indexPath, SqliteOpenMode::ReadWrite)
        || !attach.prepare(db, "ATTACH DATABASE ?1 AS docs") || !attach.bindText(1, path)
        || attach.step() != SqliteStep::Done)
        return false;
    attach.finalize();
    double times[4];
    const QList<Query> queries = queriesFor(path, records);
    const int picked[4] = {3, 4, 5, 6};
    for (int i = 0; i < 4; ++i) {
        timeQuery(db, queries.at(picked[i]).text, v.positions, scan); // warm
        times[i] = timeQuery(db, queries.at(picked[i]).text, v.positions, scan);
    }
    const double index = scan ? 0.0 : megabytes(indexPath);
    std::printf("variant=%s build_s=%.1f index_mb=%.1f database_mb=%.1f ratio=%.2f q3_ms=%.2f "
                "q3latin_ms=%.2f q8_ms=%.2f q8none_ms=%.2f\n",
                v.name, built, index, megabytes(path), index / megabytes(path), times[0],
                times[1], times[2], times[3]);
    db.close();
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(indexPath + suffix);
    return true;
}

// The program's own index, built and searched as the browser does (the
// browser's slices are of about 80 ms: some hundreds of records).
bool runProgram(const QString& path, qint64 records, int sliceRows)
{
    const QString indexPath = DocumentSearch::indexPathFor(path);
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(indexPath + suffix);
    QElapsedTimer timer;
    timer.start();
    {
        DocumentSearch search;
        search.setIndexFrom(0);
        if (!search.open(path))
            return false;
        for (;;) {
            const auto progress = search.indexMore(sliceRows);
            if (!progress)
                return false;
            if (progress->done())
                break;
        }
    }
    const double built = ms(timer.nsecsElapsed()) / 1e3;
    DocumentSearch search;
    if (!search.open(path))
        return false;
    const QList<Query> queries = queriesFor(path, records);
    double times[4];
    const int picked[4] = {3, 4, 5, 6};
    for (int i = 0; i < 4; ++i) {
        std::vector<qint64> runs;
        search.find(queries.at(picked[i]).text); // warm
        for (int run = 0; run < 5; ++run) {
            timer.start();
            if (!search.find(queries.at(picked[i]).text))
                return false;
            runs.push_back(timer.nsecsElapsed());
        }
        std::sort(runs.begin(), runs.end());
        times[i] = ms(runs[runs.size() / 2]);
    }
    const double index = megabytes(indexPath);
    std::printf("variant=program-%d build_s=%.1f index_mb=%.1f database_mb=%.1f ratio=%.2f q3_ms=%.2f "
                "q3latin_ms=%.2f q8_ms=%.2f q8none_ms=%.2f\n",
                sliceRows, built, index, megabytes(path), index / megabytes(path), times[0],
                times[1], times[2], times[3]);
    return true;
}

int variants(const QString& path, const QString& folder, qint64 records)
{
    const Variant all[] = {
        {"scan", nullptr, 0},
        {"full-20000", "", 20000},
        {"none-20000", ", detail=none", 20000, 0, false, false},
        {"none-columnsize0-20000", ", detail=none, columnsize=0", 20000, 0, false, false},
        {"none-columnsize0-2000", ", detail=none, columnsize=0", 2000, 0, false, false},
        {"none-columnsize0-100000", ", detail=none, columnsize=0", 100000, 0, false, false},
        {"none-columnsize0-20000-optimize", ", detail=none, columnsize=0", 20000, 0, true, false},
        {"none-columnsize0-20000-hash64", ", detail=none, columnsize=0", 20000, 64, false, false},
        {"none-columnsize0-20000-hash64-optimize", ", detail=none, columnsize=0", 20000, 64, true,
         false},
    };
    const QByteArray only = qgetenv("QUORREL_BENCH_VARIANTS"); // comma-separated names
    for (const Variant& v : all) {
        if (!only.isEmpty() && !only.split(',').contains(QByteArray(v.name)))
            continue;
        if (!runVariant(v, path, folder, records))
            return 1;
    }
    for (const int slice : {20000, 500}) {
        const QByteArray name = "program-" + QByteArray::number(slice);
        if ((only.isEmpty() || only.split(',').contains(name))
            && !runProgram(path, records, slice))
            return std::printf("variant %s failed\n", name.constData()), 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    const qint64 records = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 1000000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    const QString path = folder + u"/WebDocuments.mdb"_s;
    const QString indexPath = DocumentSearch::indexPathFor(path);

    QElapsedTimer timer;
    if (!QFile::exists(path)) {
        timer.start();
        if (!fill(path, records))
            return 1;
        std::printf("made %lld records in %.1f s\n", records, ms(timer.nsecsElapsed()) / 1e3);
    }
    if (argc > 3 && qstrcmp(argv[3], "variants") == 0)
        return variants(path, folder, records);
    const bool keep = argc > 3 && qstrcmp(argv[3], "keep") == 0;
    if (!keep) {
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QFile::remove(indexPath + suffix);
    }

    // As the browser builds it: slices of its own transaction each (and
    // whatever the database's size: the index is what is measured).
    if (!keep) {
        DocumentSearch search;
        search.setIndexFrom(0);
        const std::clock_t cpuStart = std::clock();
        timer.start();
        if (!search.open(path))
            return 1;
        int slices = 0;
        int failures = 0;
        for (;;) {
            QString error;
            const auto progress = search.indexMore(20000, &error);
            if (!progress) {
                // Another program may hold the file for a moment, as in use.
                std::printf("a slice failed (%s)\n", qPrintable(error));
                if (++failures == 5)
                    return 1;
                QThread::sleep(1);
                continue;
            }
            ++slices;
            if (progress->done())
                break;
        }
        std::printf("index built in %.1f s (%d slices of 20,000 records)\n",
                    ms(timer.nsecsElapsed()) / 1e3, slices);
        // On a shared machine the time it would take alone.
        std::printf("index build cpu %.1f s\n",
                    double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
    std::printf("database %.1f MB, index %.1f MB (%.2f x)\n", megabytes(path),
                megabytes(indexPath), megabytes(indexPath) / megabytes(path));

    DocumentSearch search;
    timer.start();
    if (!search.open(path))
        return 1;
    std::printf("open with a whole index: %.3f ms\n", ms(timer.nsecsElapsed()));

    const QList<Query> queries = queriesFor(path, records);
    // Whole search, and until the first rows reach the list (the first
    // part, or the whole result when it came in one).
    for (const Query& query : queries) {
        std::vector<qint64> times;
        std::vector<qint64> firsts;
        qsizetype found = 0;
        for (int run = 0; run < 5; ++run) {
            qint64 first = -1;
            qsizetype inParts = 0;
            timer.start();
            const auto result = search.find(query.text, {}, nullptr, [&](QList<qint64> part) {
                if (first < 0)
                    first = timer.nsecsElapsed();
                inParts += part.size();
            });
            times.push_back(timer.nsecsElapsed());
            firsts.push_back(first < 0 ? times.back() : first);
            if (!result)
                return std::printf("search failed\n"), 1;
            found = inParts + result->size();
        }
        std::sort(times.begin(), times.end());
        std::sort(firsts.begin(), firsts.end());
        std::printf("%-32s median %9.2f ms  max %9.2f ms  first rows %8.2f ms  found %lld\n",
                    query.what, ms(times[times.size() / 2]), ms(times.back()),
                    ms(firsts[firsts.size() / 2]), qint64(found));
    }

    // Another program writes one record: the next search reads the indexed
    // records it can no longer trust, and the index checks them again.
    {
        SqliteDatabase other;
        if (!other.open(path, SqliteOpenMode::ReadWrite)
            || !other.exec("UPDATE WebDocuments SET \"标题\" = \"标题\" || '改' WHERE rowid = 2"))
            return std::printf("cannot write the database\n"), 1;
    }
    const auto three = std::find_if(queries.cbegin(), queries.cend(), [](const Query& q) {
        return qstrcmp(q.what, "3 characters") == 0;
    });
    const QString text = three->text;
    timer.start();
    if (!search.find(text))
        return std::printf("search failed\n"), 1;
    std::printf("search after another program wrote: %.1f ms\n", ms(timer.nsecsElapsed()));
    const std::clock_t cpuStart = std::clock();
    timer.start();
    for (;;) {
        const auto progress = search.indexMore(20000);
        if (!progress)
            return std::printf("check failed\n"), 1;
        if (progress->done())
            break;
    }
    std::printf("index checked again in %.1f s (cpu %.1f s)\n", ms(timer.nsecsElapsed()) / 1e3,
                double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    timer.start();
    if (!search.find(text))
        return std::printf("search failed\n"), 1;
    std::printf("search once checked: %.2f ms\n", ms(timer.nsecsElapsed()));
    return 0;
}
