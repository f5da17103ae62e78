// Finding records by text on a large WebDocuments.mdb: building the trigram
// index (time, size against the database's), then searches of 1, 2, 3 and 8
// characters, each on a warm cache.
//
//   bench_search [records] [folder] [keep]
//
// With `keep`, a whole index already in the folder is searched without being
// built again.
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
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
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
    const bool keep = argc > 3 && qstrcmp(argv[3], "keep") == 0;
    if (!keep) {
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QFile::remove(indexPath + suffix);
    }

    // As the browser builds it: slices of its own transaction each.
    if (!keep) {
        DocumentSearch search;
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
    }
    std::printf("database %.1f MB, index %.1f MB (%.2f x)\n", megabytes(path),
                megabytes(indexPath), megabytes(indexPath) / megabytes(path));

    DocumentSearch search;
    timer.start();
    if (!search.open(path))
        return 1;
    std::printf("open with a whole index: %.3f ms\n", ms(timer.nsecsElapsed()));

    // Queries cut from a record in the middle, so each finds something.
    const QString sample = recordText(path, records / 2);
    struct Query {
        const char* what;
        QString text;
    };
    const Query queries[] = {
        {"1 character (common)", sample.mid(40, 1)},
        {"1 character (Latin)", u"q"_s},
        {"2 characters", sample.mid(40, 2)},
        {"3 characters", sample.mid(40, 3)},
        {"3 characters (Latin word)", u"web"_s},
        {"8 characters", sample.mid(40, 8)},
        {"8 characters, none found", u"不在其中的八个字符"_s.left(8)},
    };
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
    return 0;
}
