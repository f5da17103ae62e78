#include "DocumentSearch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Bumped whenever the index's tables or its words (BucketBits, bucketOf)
// change; an index of another version is made again. 1 kept every trigram
// with its positions: 3.7 times the database's size; 2 other buckets.
constexpr int IndexVersion = 3;
// Which records hold a word is all the search asks of the index: no
// positions, no column sizes, no copy of the text.
constexpr char IndexOptions[] =
    "terms, content='', tokenize='ascii', detail=none, columnsize=0";

// The index keeps, for each record, words that stand for its trigrams: a
// trigram's hash cut to BucketBits. Nearly every trigram of clipped text is
// rare, so an index of the trigrams themselves holds nearly one entry of
// nine bytes per character (more than the text); buckets hold long lists of
// records instead, a byte or two for each. A bucket shared by several
// trigrams only lets in records that the check against the record drops.
// 17 bits: at 1,000,000 records of clipped text a bucket lists some 2,300
// records, each read to be checked (15 bits: 9,000, and 60 ms for a search
// of three characters); more bits cost disk (at 100,000 records the index
// is 0.42 times the database at 15 bits, 0.56 at 17, 0.85 at 18).
constexpr int BucketBits = 17;
// Letters of 3 bits each: FTS5's own hash of a word, used while it gathers
// them, takes 3 bits from each byte, so more varied letters would make most
// words share its slots (measured: three quarters of the build's time).
constexpr int TermLength = (BucketBits + 2) / 3;

// Latin letters in any case, everything else exactly, as LIKE compares.
char32_t folded(uint c)
{
    return c >= u'A' && c <= u'Z' ? char32_t(c + (u'a' - u'A')) : char32_t(c);
}

quint32 bucketOf(const uint* trigram)
{
    constexpr quint64 Odd = 0x9E3779B97F4A7C15ull;
    quint64 h = 0;
    for (int i = 0; i < 3; ++i)
        h = (h + folded(trigram[i])) * Odd;
    return quint32(h >> (64 - BucketBits));
}

void appendTerm(QString& out, quint32 bucket)
{
    for (int i = TermLength - 1; i >= 0; --i)
        out += QChar(char16_t(u'a' + ((bucket >> (3 * i)) & 7)));
}

void addBuckets(std::vector<quint32>& out, const QString& text)
{
    const QList<uint> chars = text.toUcs4(); // code points
    for (qsizetype i = 0; i + 3 <= chars.size(); ++i)
        out.push_back(bucketOf(chars.constData() + i));
}

// A record's words for the index, each once.
QString termsOf(const QString& title, const QString& content)
{
    std::vector<quint32> buckets;
    buckets.reserve(size_t(title.size() + content.size()));
    addBuckets(buckets, title); // never a trigram across the two
    addBuckets(buckets, content);
    std::sort(buckets.begin(), buckets.end());
    buckets.erase(std::unique(buckets.begin(), buckets.end()), buckets.end());
    QString terms;
    terms.reserve(qsizetype(buckets.size()) * (TermLength + 1));
    for (const quint32 bucket : buckets) {
        if (!terms.isEmpty())
            terms += u' ';
        appendTerm(terms, bucket);
    }
    return terms;
}

bool fail(const SqliteError& e, const QString& what, QString* error)
{
    if (error)
        *error = e.message.isEmpty() ? what : what + u": "_s + e.message;
    return false;
}

// A LIKE pattern finding `text` anywhere, with its own wildcards taken literally.
QString containsPattern(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return u'%' + escaped + u'%';
}

// More trigrams narrow the hits little once they cover the text, but each
// costs a list to read.
constexpr int MostTrigrams = 12;

int progressHandler(void* context)
{
    const auto* cancelled = static_cast<const std::function<bool()>*>(context);
    return (*cancelled)() ? 1 : 0;
}

// Installs a cancel check on a connection for the life of one query.
class CancelScope {
public:
    CancelScope(sqlite3* db, const std::function<bool()>& cancelled) : m_db(db)
    {
        if (cancelled)
            sqlite3_progress_handler(m_db, 2000, progressHandler,
                                     const_cast<std::function<bool()>*>(&cancelled));
    }
    ~CancelScope() { sqlite3_progress_handler(m_db, 0, nullptr, nullptr); }
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    sqlite3* m_db;
};

// The first column of the first row (0 for none); `bind` goes to ?1 when given.
std::optional<qint64> singleInt(SqliteDatabase& db, const char* sql, SqliteError* error,
                                std::optional<qint64> bind = std::nullopt)
{
    SqliteStatement statement;
    if (!statement.prepare(db, sql, error, false)
        || (bind && !statement.bindInt64(1, *bind, error)))
        return std::nullopt;
    const SqliteStep step = statement.step(error);
    if (step == SqliteStep::Failed)
        return std::nullopt;
    return step == SqliteStep::Row ? statement.columnInt64(0) : 0;
}

} // namespace

QString DocumentSearch::trigramQuery(const QString& text)
{
    const QList<uint> chars = text.toUcs4(); // code points, as the tokenizer counts
    const qsizetype n = chars.size();
    if (n < IndexedLength)
        return {};
    // Every third one from the start, and the last: each character is in one.
    QList<qsizetype> starts;
    for (qsizetype i = 0; i + IndexedLength <= n; i += IndexedLength)
        starts.append(i);
    if (starts.last() != n - IndexedLength)
        starts.append(n - IndexedLength);
    if (starts.size() > MostTrigrams) {
        // Spread over the whole text.
        QList<qsizetype> spread;
        for (int k = 0; k < MostTrigrams; ++k)
            spread.append(starts.at(k * (starts.size() - 1) / (MostTrigrams - 1)));
        starts = spread;
    }
    QString query;
    std::vector<quint32> seen;
    for (const qsizetype start : starts) {
        const quint32 bucket = bucketOf(chars.constData() + start);
        if (std::find(seen.cbegin(), seen.cend(), bucket) != seen.cend())
            continue;
        seen.push_back(bucket);
        if (!query.isEmpty())
            query += u" AND "_s;
        appendTerm(query, bucket);
    }
    return query;
}

int DocumentSearch::Progress::percent() const
{
    if (done())
        return 100;
    const double span = double(last) - double(first) + 1;
    const double behind = double(last) - double(indexedUpTo);
    return std::clamp(int(100.0 * (1.0 - behind / span)), 0, 99);
}

QString DocumentSearch::indexPathFor(const QString& databasePath)
{
    const QFileInfo info(databasePath);
    return info.dir().filePath(info.completeBaseName() + u".search"_s);
}

bool DocumentSearch::open(const QString& databasePath, QString* error)
{
    close();
    if (!QFileInfo(databasePath).isFile()) {
        if (error)
            *error = u"No database: "_s + databasePath;
        return false;
    }
    m_databasePath = databasePath;
    const QString indexPath = indexPathFor(databasePath);
    const bool large = QFileInfo(databasePath).size() >= m_indexFrom;
    QString why;
    if ((large || QFileInfo::exists(indexPath)) && !openIndex(indexPath, &why)) {
        // A damaged or foreign file in the index's place, or one of another
        // version: it only ever holds what can be made again from the database.
        m_db.close();
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s})
            QFile::remove(indexPath + suffix);
        if (!large || !openIndex(indexPath, &why))
            m_db.close();
    }
    m_hasIndex = m_db.isOpen();
    m_indexImpossible = large && !m_hasIndex;
    SqliteError e;
    if (!m_hasIndex && !m_db.open(u":memory:"_s, SqliteOpenMode::ReadWriteCreate, &e))
        return fail(e, u"Cannot search"_s, error);

    SqliteStatement attach;
    if (!attach.prepare(m_db, "ATTACH DATABASE ?1 AS docs", &e, false)
        || !attach.bindText(1, databasePath, &e) || attach.step(&e) != SqliteStep::Done) {
        close();
        return fail(e, u"Cannot open the database"_s, error);
    }
    attach.finalize();
    m_db.setBusyTimeout(3000);
    SqliteStatement probe;
    if (!probe.prepare(m_db, "SELECT rowid, \"标题\", \"内容\" FROM docs.WebDocuments LIMIT 0", &e,
                       false)) {
        close();
        return fail(e, u"Cannot read the database"_s, error);
    }
    probe.finalize();
    if (m_hasIndex && !sync(error)) {
        close();
        return false;
    }
    return true;
}

bool DocumentSearch::openIndex(const QString& indexPath, QString* error)
{
    SqliteError e;
    if (!m_db.open(indexPath, SqliteOpenMode::ReadWriteCreate, &e) || m_db.isReadOnly())
        return fail(e, u"Cannot open the search index"_s, error);
    m_db.setBusyTimeout(3000);
    const auto version = singleInt(m_db, "PRAGMA user_version", &e);
    if (!version)
        return fail(e, u"Cannot read the search index"_s, error);
    if (*version != 0 && *version != IndexVersion) {
        if (error)
            *error = u"The search index is of another version"_s;
        return false;
    }
    const QByteArray create =
        QByteArray("CREATE VIRTUAL TABLE IF NOT EXISTS words USING fts5(") + IndexOptions + ')';
    // WAL keeps the index whole after a crash, with one sync per slice at most.
    if (!m_db.exec("PRAGMA journal_mode=WAL", &e) || !m_db.exec("PRAGMA synchronous=NORMAL", &e)
        || !m_db.exec("BEGIN", &e)
        || !m_db.exec(create.constData(), &e)
        || !m_db.exec("CREATE TABLE IF NOT EXISTS state (id INTEGER PRIMARY KEY CHECK (id = 1), "
                      "upto INTEGER NOT NULL, fingerprint TEXT NOT NULL)",
                      &e)
        || !m_db.exec("INSERT OR IGNORE INTO state VALUES (1, 0, '')", &e)
        || !m_db.exec("PRAGMA user_version = 3", &e) || !m_db.exec("COMMIT", &e)) {
        if (m_db.inTransaction())
            m_db.exec("ROLLBACK");
        return fail(e, u"Cannot make the search index"_s, error);
    }
    static_assert(IndexVersion == 3, "the PRAGMA above says 3");
    // A file that calls itself this version but holds other tables (written
    // by hand, or a build of this program that changed them without saying
    // so) is never read as if it were one.
    SqliteStatement shape;
    if (!shape.prepare(m_db, "SELECT sql FROM sqlite_master WHERE name = 'words'", &e, false)
        || shape.step(&e) != SqliteStep::Row)
        return fail(e, u"Cannot read the search index"_s, error);
    if (!shape.columnText(0).contains(QString::fromLatin1(IndexOptions))) {
        if (error)
            *error = u"The search index is of another kind"_s;
        return false;
    }
    shape.finalize();
    if (!readState(&e))
        return fail(e, u"Cannot read the search index"_s, error);
    return true;
}

void DocumentSearch::close()
{
    m_db.close();
    m_hasIndex = false;
    m_indexImpossible = false;
    m_upTo = 0;
    m_fingerprint.clear();
}

bool DocumentSearch::readState(SqliteError* error)
{
    SqliteStatement statement;
    if (!statement.prepare(m_db, "SELECT upto, fingerprint FROM state WHERE id = 1", error, false))
        return false;
    if (statement.step(error) != SqliteStep::Row)
        return false;
    m_upTo = statement.columnInt64(0);
    m_fingerprint = statement.columnText(1);
    return true;
}

bool DocumentSearch::writeState(qint64 upTo, SqliteError* error)
{
    std::optional<QString> print = upTo > 0 ? fingerprint(upTo, error) : QString();
    if (!print)
        return false;
    SqliteStatement statement;
    if (!statement.prepare(m_db, "UPDATE state SET upto = ?1, fingerprint = ?2 WHERE id = 1",
                           error, false)
        || !statement.bindInt64(1, upTo, error) || !statement.bindText(2, *print, error)
        || statement.step(error) != SqliteStep::Done)
        return false;
    m_upTo = upTo;
    m_fingerprint = *print;
    return true;
}

// What tells a record from one that later took its bookmark; an empty
// optional on failure, "" for no record.
std::optional<QString> DocumentSearch::fingerprint(qint64 bookmark, SqliteError* error)
{
    SqliteStatement statement;
    if (!statement.prepare(m_db,
                           "SELECT length(\"内容\") || ':' || substr(\"标题\", 1, 64) || ':' "
                           "|| substr(\"内容\", 1, 64) FROM docs.WebDocuments WHERE rowid = ?1",
                           error, false)
        || !statement.bindInt64(1, bookmark, error))
        return std::nullopt;
    const SqliteStep step = statement.step(error);
    if (step == SqliteStep::Failed)
        return std::nullopt;
    return step == SqliteStep::Row ? u'#' + statement.columnText(0) : QString();
}

bool DocumentSearch::startOver(SqliteError* error)
{
    if (!m_db.exec("BEGIN", error))
        return false;
    if (!m_db.exec("INSERT INTO words(words) VALUES ('delete-all')", error)
        || !writeState(0, error) || !m_db.exec("COMMIT", error)) {
        m_db.exec("ROLLBACK");
        readState(nullptr);
        return false;
    }
    return true;
}

bool DocumentSearch::sync(QString* error)
{
    if (!m_hasIndex && m_db.isOpen() && !m_indexImpossible
        && QFileInfo(m_databasePath).size() >= m_indexFrom) {
        // Grown large enough for an index. Where it cannot be made now (the
        // database busy, the folder full), searches go on by reading the table.
        const QString path = m_databasePath;
        if (open(path, error))
            return true;
        const qint64 from = std::exchange(m_indexFrom, std::numeric_limits<qint64>::max());
        const bool scanning = open(path, nullptr);
        m_indexFrom = from;
        m_indexImpossible = true;
        return scanning;
    }
    if (!m_hasIndex || m_upTo == 0)
        return true;
    SqliteError e;
    const std::optional<QString> print = fingerprint(m_upTo, &e);
    if (!print)
        return fail(e, u"Cannot read the database"_s, error);
    // The last record indexed is gone or another took its bookmark: records
    // after it may have been replaced too, and nothing tells which.
    if (*print != m_fingerprint && !startOver(&e))
        return fail(e, u"Cannot reset the search index"_s, error);
    return true;
}

std::optional<DocumentSearch::Progress> DocumentSearch::progress(QString* error)
{
    SqliteError e;
    const auto last =
        singleInt(m_db, "SELECT coalesce(max(rowid), 0) FROM docs.WebDocuments", &e);
    const auto first =
        singleInt(m_db, "SELECT coalesce(min(rowid), 0) FROM docs.WebDocuments", &e);
    if (!last || !first) {
        fail(e, u"Cannot read the database"_s, error);
        return std::nullopt;
    }
    Progress p;
    p.first = *first;
    p.last = *last;
    p.indexedUpTo = m_hasIndex ? m_upTo : *last;
    return p;
}

std::optional<DocumentSearch::Progress> DocumentSearch::indexMore(int limit, QString* error)
{
    if (!m_hasIndex)
        return progress(error);
    SqliteError e;
    // One transaction: the records read and the mark of how far they go
    // reach the index together. A deferred one, so the database itself is
    // only ever read (an immediate one would lock it against the collector).
    if (!m_db.exec("BEGIN", &e)) {
        fail(e, u"Cannot write the search index"_s, error);
        return std::nullopt;
    }
    const auto rollback = [&] {
        m_db.exec("ROLLBACK");
        readState(nullptr);
        fail(e, u"Cannot build the search index"_s, error);
        return std::nullopt;
    };
    SqliteStatement upTo;
    if (!upTo.prepare(m_db,
                      "SELECT max(rowid) FROM (SELECT rowid FROM docs.WebDocuments "
                      "WHERE rowid > ?1 ORDER BY rowid LIMIT ?2)",
                      &e, false)
        || !upTo.bindInt64(1, m_upTo, &e) || !upTo.bindInt64(2, std::max(limit, 1), &e)
        || upTo.step(&e) != SqliteStep::Row)
        return rollback();
    const qint64 end = upTo.columnInt64(0); // 0 (NULL) when nothing is left
    upTo.finalize();
    if (end > m_upTo) {
        if (!indexRecords(m_upTo, end, &e))
            return rollback();
        if (!writeState(end, &e))
            return rollback();
    }
    if (!m_db.exec("COMMIT", &e))
        return rollback();
    return progress(error);
}

void DocumentSearch::forget(qint64 bookmark)
{
    // Only the last record indexed matters: its bookmark would be the next
    // new record's. Any other entry of a deleted record is sifted out.
    if (!m_hasIndex || bookmark != m_upTo)
        return;
    SqliteError e;
    const auto before =
        singleInt(m_db, "SELECT coalesce(max(rowid), 0) FROM docs.WebDocuments WHERE rowid < ?1",
                  &e, bookmark);
    if (!before || !writeState(*before, &e))
        readState(nullptr);
}

void DocumentSearch::reindex(qint64 bookmark)
{
    if (!m_hasIndex || bookmark > m_upTo)
        return; // beyond the index records are scanned anyway
    // The old text's entries stay beside the new (a contentless index cannot
    // take them out without it) and are sifted out by the check of each hit.
    SqliteError e;
    if (!m_db.exec("BEGIN", &e))
        return;
    if (!indexRecords(bookmark - 1, bookmark, &e)
        || (bookmark == m_upTo && !writeState(bookmark, &e)) || !m_db.exec("COMMIT", &e)) {
        m_db.exec("ROLLBACK");
        readState(nullptr);
    }
}

bool DocumentSearch::indexRecords(qint64 after, qint64 upTo, SqliteError* error)
{
    SqliteStatement read;
    SqliteStatement insert;
    if (!read.prepare(m_db,
                      "SELECT rowid, \"标题\", \"内容\" FROM docs.WebDocuments "
                      "WHERE rowid > ?1 AND rowid <= ?2 ORDER BY rowid",
                      error, false)
        || !read.bindInt64(1, after, error) || !read.bindInt64(2, upTo, error)
        || !insert.prepare(m_db, "INSERT INTO words (rowid, terms) VALUES (?1, ?2)", error, false))
        return false;
    SqliteStep step;
    while ((step = read.step(error)) == SqliteStep::Row) {
        insert.reset();
        if (!insert.bindInt64(1, read.columnInt64(0), error)
            || !insert.bindText(2, termsOf(read.columnText(1), read.columnText(2)), error)
            || insert.step(error) != SqliteStep::Done)
            return false;
    }
    return step == SqliteStep::Done;
}

// Collects the bookmarks found, handing them on in parts while a search
// runs long, so the list shows its first rows at once.
class DocumentSearch::Gatherer {
public:
    explicit Gatherer(const Parts& parts) : m_parts(parts) { m_sinceHanded.start(); }
    void add(qint64 bookmark)
    {
        m_rows.append(bookmark);
        if (m_parts && m_sinceHanded.elapsed() >= PartMs) {
            m_parts(std::exchange(m_rows, {}));
            m_sinceHanded.restart();
        }
    }
    QList<qint64> rest() { return std::exchange(m_rows, {}); }

private:
    const Parts& m_parts;
    QList<qint64> m_rows;
    QElapsedTimer m_sinceHanded;
};

bool DocumentSearch::scanInto(Gatherer& out, const QString& pattern, qint64 after,
                              SqliteError* error)
{
    SqliteStatement scan;
    if (!scan.prepare(m_db,
                      "SELECT rowid FROM docs.WebDocuments WHERE rowid > ?1 "
                      "AND (\"标题\" LIKE ?2 ESCAPE '\\' OR \"内容\" LIKE ?2 ESCAPE '\\') "
                      "ORDER BY rowid",
                      error, false)
        || !scan.bindInt64(1, after, error) || !scan.bindText(2, pattern, error))
        return false;
    SqliteStep step;
    while ((step = scan.step(error)) == SqliteStep::Row)
        out.add(scan.columnInt64(0));
    return step == SqliteStep::Done;
}

std::optional<QList<qint64>> DocumentSearch::find(const QString& text,
                                                  const std::function<bool()>& cancelled,
                                                  QString* error, const Parts& parts)
{
    if (!m_db.isOpen()) {
        if (error)
            *error = u"No database"_s;
        return std::nullopt;
    }
    const CancelScope scope(m_db.handle(), cancelled);
    SqliteError e;
    Gatherer found(parts);
    const QString pattern = containsPattern(text);
    qint64 scanAfter = std::numeric_limits<qint64>::min();
    if (m_hasIndex && text.toUcs4().size() >= IndexedLength) {
        SqliteStatement lookUp;
        // The index only narrows; the record's own text decides.
        if (!lookUp.prepare(m_db,
                            "SELECT w.rowid FROM words JOIN docs.WebDocuments AS w "
                            "ON w.rowid = words.rowid "
                            "WHERE words MATCH ?1 AND words.rowid <= ?3 "
                            "AND (w.\"标题\" LIKE ?2 ESCAPE '\\' OR w.\"内容\" LIKE ?2 ESCAPE '\\') "
                            "ORDER BY words.rowid",
                            &e, false)
            || !lookUp.bindText(1, trigramQuery(text), &e) || !lookUp.bindText(2, pattern, &e)
            || !lookUp.bindInt64(3, m_upTo, &e)) {
            fail(e, u"Cannot search"_s, error);
            return std::nullopt;
        }
        SqliteStep step;
        while ((step = lookUp.step(&e)) == SqliteStep::Row)
            found.add(lookUp.columnInt64(0));
        if (step == SqliteStep::Failed) {
            fail(e, u"Cannot search"_s, error);
            return std::nullopt;
        }
        scanAfter = m_upTo;
    }
    if (!scanInto(found, pattern, scanAfter, &e)) {
        fail(e, u"Cannot search"_s, error);
        return std::nullopt;
    }
    return found.rest();
}
