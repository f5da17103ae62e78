#include "DocumentSearch.h"

#include "RecordSource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Bumped whenever the index's tables or its words (BucketBits, bucketOf)
// change; an index of another version is made again. 1 kept every trigram
// with its positions: 3.7 times the database's size; 2 other buckets; 3 had
// no source titles and no checksums.
constexpr int IndexVersion = 4;
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
QString termsOf(const QString& title, const QString& content, const QString& sourceTitle)
{
    std::vector<quint32> buckets;
    buckets.reserve(size_t(title.size() + content.size() + sourceTitle.size()));
    addBuckets(buckets, title); // never a trigram across two fields
    addBuckets(buckets, content);
    addBuckets(buckets, sourceTitle);
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
        *error = e.message.isEmpty() ? what : what + u"\nSQLite: "_s + e.message;
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

// A record's checksum, as the SQL function recordsum(title, content,
// source title): 64 bits over each field's UTF-8 bytes and length (NULL
// counts as empty, as it reads), so a change of any of them shows. Fixed
// here rather than Qt's hash, whose seed and method vary by run and machine.
quint64 mixed(quint64 h, quint64 word)
{
    h ^= word * 0x9E3779B97F4A7C15ull;
    return std::rotl(h, 29) * 0xBF58476D1CE4E5B9ull;
}

void recordSum(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    quint64 h = 0x2545F4914F6CDD1Dull;
    for (int i = 0; i < argc; ++i) {
        const auto* bytes = sqlite3_value_text(argv[i]);
        const int size = sqlite3_value_bytes(argv[i]);
        int at = 0;
        for (; at + 8 <= size; at += 8) {
            quint64 word;
            std::memcpy(&word, bytes + at, 8);
            h = mixed(h, word);
        }
        quint64 tail = 0;
        std::memcpy(&tail, bytes + at, size_t(size - at));
        h = mixed(mixed(h, tail), quint64(size));
    }
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    sqlite3_result_int64(context, qint64(h));
}

// Where the database file stands: which file, how long, when last written
// or changed in any way (ctime moves with every write, whatever sets the
// modification time), and SQLite's own count of its changes in the header,
// which moves with every transaction even within one tick of the clock; the
// same of its write-ahead log (its header changes at every restart), which
// another program may write while the file itself stays as it was.
QString stampOf(const QString& path)
{
    QString stamp;
    for (const auto& [name, offset, size] :
         {std::tuple(path, 24, 4), std::tuple(QString(path + u"-wal"_s), 0, 32)}) {
        const QByteArray file = QFile::encodeName(name);
        struct stat st = {};
        if (::stat(file.constData(), &st) != 0) {
            stamp += u"-;"_s;
            continue;
        }
        char header[32] = {};
        const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            if (S_ISREG(st.st_mode))
                ::pread(fd, header, size_t(size), offset);
            ::close(fd);
        }
        stamp += u"%1:%2:%3:%4.%5:%6.%7:%8;"_s.arg(st.st_dev).arg(st.st_ino).arg(st.st_size)
                     .arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec)
                     .arg(st.st_ctim.tv_sec).arg(st.st_ctim.tv_nsec)
                     .arg(QString::fromLatin1(QByteArray(header, size).toHex()));
    }
    return stamp;
}

// Only regular files of ours make the index: a link (into another SQLite
// file, which would get our tables and journal mode), a second name of
// another file, a FIFO (which would block the opening) or a device is not
// one. open() then removes the name itself, never what it leads to.
bool onlyOurFilesAt(const QString& indexPath)
{
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s}) {
        struct stat st = {};
        if (::lstat(QFile::encodeName(indexPath + suffix).constData(), &st) != 0)
            continue; // nothing there
        if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid())
            return false;
    }
    return true;
}

bool anythingAt(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
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
    if (indexedUpTo >= last)
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
    m_databasePath = databasePath;
    const QString indexPath = indexPathFor(databasePath);
    // No database, no index: the attach below tells it, never making one.
    const QFileInfo database(databasePath);
    const bool large = database.isFile() && database.size() >= m_indexFrom;
    QString why;
    if ((large || anythingAt(indexPath)) && !openIndex(indexPath, &why)) {
        // A damaged or foreign file in the index's place, or one of another
        // version: it only ever holds what can be made again from the database.
        m_db.close();
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s})
            QFile::remove(indexPath + suffix); // a link goes, not what it leads to
        if (!large || !openIndex(indexPath, &why))
            m_db.close();
    }
    m_hasIndex = m_db.isOpen();
    m_indexImpossible = large && !m_hasIndex;
    SqliteError e;
    if (!m_hasIndex
        && !m_db.open(u":memory:"_s, SqliteOpenMode::ReadWriteCreate, &e, {.uriAttach = true}))
        return fail(e, u"无法搜索"_s, error);
    if (!attachDatabase(&e)) {
        close();
        return fail(e, u"无法打开文档数据库"_s, error);
    }
    m_db.setBusyTimeout(3000);
    if (m_hasIndex) {
        // Checked against this state of the file, or everything is unchecked.
        if (stampOf(m_databasePath) != m_stamp)
            m_checked = 0;
        m_stamp = stampOf(m_databasePath);
        if (!catchUp(error)) {
            close();
            return false;
        }
    }
    return true;
}

// Attaches the database as "docs": read and written in place, never made
// (it may have been moved away a moment ago; the program never creates it).
bool DocumentSearch::attachDatabase(SqliteError* error)
{
    const QString uri = u"file:"_s
        + QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(m_databasePath).absoluteFilePath(),
                                                      "/"))
        + u"?mode=rw"_s;
    SqliteStatement attach;
    if (!attach.prepare(m_db, "ATTACH DATABASE ?1 AS docs", error, false)
        || !attach.bindText(1, uri, error) || attach.step(error) != SqliteStep::Done)
        return false;
    attach.finalize();
    struct stat st = {};
    if (::stat(QFile::encodeName(m_databasePath).constData(), &st) == 0) {
        m_device = quint64(st.st_dev);
        m_inode = quint64(st.st_ino);
    }
    if (sqlite3_create_function_v2(m_db.handle(), "recordsum", 3,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                                   nullptr, recordSum, nullptr, nullptr, nullptr)
        != SQLITE_OK) {
        error->message = QString::fromUtf8(sqlite3_errmsg(m_db.handle()));
        return false;
    }
    const auto version = singleInt(m_db, "PRAGMA docs.data_version", error);
    if (!version)
        return false;
    m_dataVersion = *version;
    SqliteStatement probe;
    if (!probe.prepare(m_db, "SELECT rowid, \"标题\", \"内容\" FROM docs.WebDocuments LIMIT 0",
                       error, false))
        return false;
    m_sourceTitle = RecordSource::columnsIn(m_db, "docs").value(0);
    return true;
}

// Before every search and slice: another file at the database's name (a
// backup put back) is opened instead; a write by any other connection leaves
// every indexed record unchecked until indexMore() has compared it again.
bool DocumentSearch::noticeWrites(bool* reopened, QString* error)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(m_databasePath).constData(), &st) != 0
        || quint64(st.st_dev) != m_device || quint64(st.st_ino) != m_inode) {
        *reopened = true;
        const QString path = m_databasePath;
        return open(path, error);
    }
    SqliteError e;
    const auto version = singleInt(m_db, "PRAGMA docs.data_version", &e);
    if (!version)
        return fail(e, u"无法读取文档数据库"_s, error);
    if (*version == m_dataVersion)
        return true;
    m_dataVersion = *version;
    m_checked = 0;
    m_stamp = stampOf(m_databasePath);
    // The first record with a source may have brought the column.
    m_sourceTitle = RecordSource::columnsIn(m_db, "docs").value(0);
    return true;
}

bool DocumentSearch::openIndex(const QString& indexPath, QString* error)
{
    SqliteError e;
    if (!onlyOurFilesAt(indexPath)) {
        if (error)
            *error = u"搜索索引的文件名上是一个不属于本程序的文件"_s;
        return false;
    }
    if (!m_db.open(indexPath, SqliteOpenMode::ReadWriteCreate, &e,
                   {.noFollow = true, .uriAttach = true})
        || m_db.isReadOnly())
        return fail(e, u"无法打开搜索索引"_s, error);
    m_db.setBusyTimeout(3000);
    const auto version = singleInt(m_db, "PRAGMA user_version", &e);
    if (!version)
        return fail(e, u"无法读取搜索索引"_s, error);
    if (*version != 0 && *version != IndexVersion) {
        if (error)
            *error = u"搜索索引来自另一个版本"_s;
        return false;
    }
    const QByteArray create =
        QByteArray("CREATE VIRTUAL TABLE IF NOT EXISTS words USING fts5(") + IndexOptions + ')';
    // WAL keeps the index whole after a crash, with one sync per slice at most.
    if (!m_db.exec("PRAGMA journal_mode=WAL", &e) || !m_db.exec("PRAGMA synchronous=NORMAL", &e)
        || !m_db.exec("BEGIN", &e)
        || !m_db.exec(create.constData(), &e)
        || !m_db.exec("CREATE TABLE IF NOT EXISTS state (id INTEGER PRIMARY KEY CHECK (id = 1), "
                      "upto INTEGER NOT NULL, fingerprint TEXT NOT NULL, "
                      "checked INTEGER NOT NULL, stamp TEXT NOT NULL)",
                      &e)
        || !m_db.exec("INSERT OR IGNORE INTO state VALUES (1, 0, '', 0, '')", &e)
        || !m_db.exec("CREATE TABLE IF NOT EXISTS sums (id INTEGER PRIMARY KEY, "
                      "sum INTEGER NOT NULL)",
                      &e)
        || !m_db.exec("PRAGMA user_version = 4", &e) || !m_db.exec("COMMIT", &e)) {
        if (m_db.inTransaction())
            m_db.exec("ROLLBACK");
        return fail(e, u"无法创建搜索索引"_s, error);
    }
    static_assert(IndexVersion == 4, "the PRAGMA above says 4");
    // A file that calls itself this version but holds other tables (written
    // by hand, or a build of this program that changed them without saying
    // so) is never read as if it were one.
    SqliteStatement shape;
    if (!shape.prepare(m_db, "SELECT sql FROM sqlite_master WHERE name = 'words'", &e, false)
        || shape.step(&e) != SqliteStep::Row)
        return fail(e, u"无法读取搜索索引"_s, error);
    if (!shape.columnText(0).contains(QString::fromLatin1(IndexOptions))) {
        if (error)
            *error = u"搜索索引的格式不同"_s;
        return false;
    }
    shape.finalize();
    if (!readState(&e))
        return fail(e, u"无法读取搜索索引"_s, error);
    return true;
}

void DocumentSearch::close()
{
    m_db.close();
    m_hasIndex = false;
    m_indexImpossible = false;
    m_upTo = 0;
    m_fingerprint.clear();
    m_checked = 0;
    m_stamp.clear();
    m_dataVersion = -1;
    m_device = 0;
    m_inode = 0;
}

bool DocumentSearch::readState(SqliteError* error)
{
    SqliteStatement statement;
    if (!statement.prepare(m_db, "SELECT upto, fingerprint, checked, stamp FROM state WHERE id = 1",
                           error, false))
        return false;
    if (statement.step(error) != SqliteStep::Row)
        return false;
    m_upTo = statement.columnInt64(0);
    m_fingerprint = statement.columnText(1);
    m_checked = statement.columnInt64(2);
    m_stamp = statement.columnText(3);
    return true;
}

bool DocumentSearch::writeState(qint64 upTo, SqliteError* error)
{
    std::optional<QString> print = upTo > 0 ? fingerprint(upTo, error) : QString();
    if (!print)
        return false;
    // What is indexed when everything before it was checked is checked too:
    // it was read in this transaction.
    const qint64 checked = m_checked >= m_upTo ? upTo : std::min(m_checked, upTo);
    SqliteStatement statement;
    if (!statement.prepare(m_db,
                           "UPDATE state SET upto = ?1, fingerprint = ?2, checked = ?3, "
                           "stamp = ?4 WHERE id = 1",
                           error, false)
        || !statement.bindInt64(1, upTo, error) || !statement.bindText(2, *print, error)
        || !statement.bindInt64(3, checked, error) || !statement.bindText(4, m_stamp, error)
        || statement.step(error) != SqliteStep::Done)
        return false;
    m_upTo = upTo;
    m_fingerprint = *print;
    m_checked = checked;
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
        || !m_db.exec("DELETE FROM sums", error) || !writeState(0, error)
        || !m_db.exec("COMMIT", error)) {
        m_db.exec("ROLLBACK");
        readState(nullptr);
        return false;
    }
    return true;
}

bool DocumentSearch::sync(QString* error)
{
    if (!m_db.isOpen()) {
        // The database had gone (moved away, a backup being put back): it may be back.
        if (m_databasePath.isEmpty()) {
            if (error)
                *error = u"没有文档数据库"_s;
            return false;
        }
        return open(QString(m_databasePath), error);
    }
    bool reopened = false;
    if (!noticeWrites(&reopened, error))
        return false;
    return reopened || catchUp(error);
}

bool DocumentSearch::catchUp(QString* error)
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
        return fail(e, u"无法读取文档数据库"_s, error);
    // The last record indexed is gone or another took its bookmark: records
    // after it may have been replaced too, and nothing tells which.
    if (*print != m_fingerprint && !startOver(&e))
        return fail(e, u"无法重置搜索索引"_s, error);
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
        fail(e, u"无法读取文档数据库"_s, error);
        return std::nullopt;
    }
    Progress p;
    p.first = *first;
    p.last = *last;
    p.indexedUpTo = m_hasIndex ? m_upTo : *last;
    p.checkedUpTo = m_hasIndex ? m_checked : *last;
    return p;
}

std::optional<DocumentSearch::Progress> DocumentSearch::indexMore(int limit, QString* error)
{
    if (!m_hasIndex)
        return progress(error);
    if (!sync(error))
        return std::nullopt;
    if (!m_hasIndex)
        return progress(error); // opened again on another file, without an index
    SqliteError e;
    // One transaction: the records read and the mark of how far they go
    // reach the index together. A deferred one, so the database itself is
    // only ever read (an immediate one would lock it against the collector).
    if (!m_db.exec("BEGIN", &e)) {
        fail(e, u"无法写入搜索索引"_s, error);
        return std::nullopt;
    }
    const auto rollback = [&] {
        m_db.exec("ROLLBACK");
        readState(nullptr);
        fail(e, u"无法建立搜索索引"_s, error);
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
    if (m_checked < m_upTo) {
        // What is indexed first agrees with the table again: `limit` records
        // at a time, the last slice up to the last bookmark indexed, so the
        // checksums of records deleted at the end go too.
        if (!upTo.prepare(m_db,
                          "SELECT rowid FROM docs.WebDocuments WHERE rowid > ?1 AND rowid < ?3 "
                          "ORDER BY rowid LIMIT 1 OFFSET ?2",
                          &e, false)
            || !upTo.bindInt64(1, m_checked, &e) || !upTo.bindInt64(2, std::max(limit, 1) - 1, &e)
            || !upTo.bindInt64(3, m_upTo, &e))
            return rollback();
        const SqliteStep found = upTo.step(&e);
        if (found == SqliteStep::Failed)
            return rollback();
        const qint64 checkTo = found == SqliteStep::Row ? upTo.columnInt64(0) : m_upTo;
        upTo.finalize();
        if (!checkRecords(checkTo, &e))
            return rollback();
    } else if (end > m_upTo) {
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

bool DocumentSearch::checkRecords(qint64 upTo, SqliteError* error)
{
    const QByteArray changed =
        QByteArray("SELECT w.rowid FROM docs.WebDocuments AS w LEFT JOIN sums ON sums.id = w.rowid "
                   "WHERE w.rowid > ?1 AND w.rowid <= ?2 "
                   "AND sums.sum IS NOT recordsum(w.\"标题\", w.\"内容\", ") // unqualified: '' too
        + m_sourceTitle + ")";
    SqliteStatement read;
    if (!read.prepare(m_db, changed.constData(), error, false)
        || !read.bindInt64(1, m_checked, error) || !read.bindInt64(2, upTo, error))
        return false;
    QList<qint64> stale;
    SqliteStep step;
    while ((step = read.step(error)) == SqliteStep::Row)
        stale.append(read.columnInt64(0));
    if (step == SqliteStep::Failed)
        return false;
    read.finalize();
    // Changed or put in with a bookmark of its own: indexed again, its old
    // words left to the check of each hit. Deleted: its checksum goes.
    for (const qint64 bookmark : stale) {
        if (!indexRecords(bookmark - 1, bookmark, error))
            return false;
    }
    SqliteStatement gone;
    if (!gone.prepare(m_db,
                      "DELETE FROM sums WHERE id > ?1 AND id <= ?2 AND id NOT IN "
                      "(SELECT rowid FROM docs.WebDocuments WHERE rowid > ?1 AND rowid <= ?2)",
                      error, false)
        || !gone.bindInt64(1, m_checked, error) || !gone.bindInt64(2, upTo, error)
        || gone.step(error) != SqliteStep::Done)
        return false;
    gone.finalize();
    m_checked = upTo;
    return writeState(m_upTo, error);
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
    const QByteArray select =
        QByteArray("SELECT rowid, \"标题\", \"内容\", ") + m_sourceTitle
        + ", recordsum(\"标题\", \"内容\", " + m_sourceTitle
        + ") FROM docs.WebDocuments WHERE rowid > ?1 AND rowid <= ?2 ORDER BY rowid";
    SqliteStatement read;
    SqliteStatement insert;
    SqliteStatement sum;
    if (!read.prepare(m_db, select.constData(), error, false)
        || !read.bindInt64(1, after, error) || !read.bindInt64(2, upTo, error)
        || !insert.prepare(m_db, "INSERT INTO words (rowid, terms) VALUES (?1, ?2)", error, false)
        || !sum.prepare(m_db, "INSERT OR REPLACE INTO sums (id, sum) VALUES (?1, ?2)", error,
                        false))
        return false;
    SqliteStep step;
    while ((step = read.step(error)) == SqliteStep::Row) {
        insert.reset();
        sum.reset();
        const qint64 bookmark = read.columnInt64(0);
        if (!insert.bindInt64(1, bookmark, error)
            || !insert.bindText(
                2, termsOf(read.columnText(1), read.columnText(2), read.columnText(3)), error)
            || insert.step(error) != SqliteStep::Done || !sum.bindInt64(1, bookmark, error)
            || !sum.bindInt64(2, read.columnInt64(4), error) || sum.step(error) != SqliteStep::Done)
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
    const QByteArray sql =
        QByteArray("SELECT rowid FROM docs.WebDocuments WHERE rowid > ?1 "
                   "AND (\"标题\" LIKE ?2 ESCAPE '\\' OR \"内容\" LIKE ?2 ESCAPE '\\' OR ")
        + m_sourceTitle + " LIKE ?2 ESCAPE '\\') ORDER BY rowid";
    SqliteStatement scan;
    if (!scan.prepare(m_db, sql.constData(), error, false)
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
    // Another program may have written since the last look.
    if (!sync(error))
        return std::nullopt;
    const CancelScope scope(m_db.handle(), cancelled);
    SqliteError e;
    Gatherer found(parts);
    const QString pattern = containsPattern(text);
    qint64 scanAfter = std::numeric_limits<qint64>::min();
    if (m_hasIndex && text.toUcs4().size() >= IndexedLength) {
        SqliteStatement lookUp;
        // The index only narrows; the record's own text decides. Only what
        // is checked is looked up: the rest is read below.
        const QByteArray sql =
            QByteArray("SELECT w.rowid FROM words JOIN docs.WebDocuments AS w "
                       "ON w.rowid = words.rowid WHERE words MATCH ?1 AND words.rowid <= ?3 "
                       "AND (w.\"标题\" LIKE ?2 ESCAPE '\\' OR w.\"内容\" LIKE ?2 ESCAPE '\\' "
                       "OR ")
            + m_sourceTitle + " LIKE ?2 ESCAPE '\\') ORDER BY words.rowid";
        if (!lookUp.prepare(m_db, sql.constData(), &e, false)
            || !lookUp.bindText(1, trigramQuery(text), &e) || !lookUp.bindText(2, pattern, &e)
            || !lookUp.bindInt64(3, trusted(), &e)) {
            fail(e, u"无法搜索"_s, error);
            return std::nullopt;
        }
        SqliteStep step;
        while ((step = lookUp.step(&e)) == SqliteStep::Row)
            found.add(lookUp.columnInt64(0));
        if (step == SqliteStep::Failed) {
            fail(e, u"无法搜索"_s, error);
            return std::nullopt;
        }
        scanAfter = trusted();
    }
    if (!scanInto(found, pattern, scanAfter, &e)) {
        fail(e, u"无法搜索"_s, error);
        return std::nullopt;
    }
    return found.rest();
}
