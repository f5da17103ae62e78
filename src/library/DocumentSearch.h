#pragma once

#include "Sqlite.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>

// Finds the records of a document database whose title, content or source
// title contains a text: Latin letters without regard to case, everything
// else exactly, the bookmarks in record order.
//
// Texts of three characters or more are looked up in a full-text index of
// their trigrams (SQLite FTS5, each trigram as a word naming its hash's
// bucket) kept in a file of its own beside the database (WebDocuments.search
// for WebDocuments.mdb), so the database stays a plain table any SQLite
// program can read and write. A small database gets no index: reading the
// whole table answers as fast as anyone types, and the index would cost disk
// for nothing; it gets one once it has grown past IndexFrom bytes. The index
// is only a sieve: every hit is checked against the record itself, so
// records sharing a bucket with the text, or deleted or changed since they
// were indexed, never show wrongly. Records with a bookmark beyond the last
// one indexed (added by the collector, an import or any other program) are
// scanned, so they are found before the index catches up with them. Shorter
// texts, and every text while there is no index, scan the table.
//
// A record changed in place by another program keeps its bookmark, and the
// table its size, so the index also keeps a checksum of each record it
// holds. Whenever the database may have been written by anyone else (the
// file's stamp differs from the one the index was checked against, or
// SQLite's data_version moved, looked at before every search) the records
// up to the last one indexed count as unchecked: searches read them from the
// table, and indexMore() compares them with their checksums, a slice at a
// time, indexing again those that changed. The list is exact whoever wrote.
//
// One object is one connection, used from one thread.
class DocumentSearch {
public:
    // Index slice outcome.
    struct Progress {
        qint64 indexedUpTo = 0; // bookmark of the last record indexed
        qint64 last = 0;        // bookmark of the last record in the database
        qint64 first = 0;       // bookmark of the first record
        qint64 checkedUpTo = 0; // records up to here match their checksums
        bool done() const { return indexedUpTo >= last && checkedUpTo >= indexedUpTo; }
        // 0..100 of the building, by bookmarks: counting a million records
        // would cost a scan. Checking what is indexed goes unreported.
        int percent() const;
    };

    DocumentSearch() = default;
    ~DocumentSearch() = default;
    DocumentSearch(const DocumentSearch&) = delete;
    DocumentSearch& operator=(const DocumentSearch&) = delete;

    static QString indexPathFor(const QString& databasePath);
    // The length from which a text is looked up in the index.
    static constexpr int IndexedLength = 3;
    // The index's query for a text of IndexedLength characters or more: the
    // words of trigrams that cover it, all of which a record holding it has.
    // The index keeps no positions, so it cannot ask for them in a row; the
    // check of each hit against the record does.
    static QString trigramQuery(const QString& text);

    // The database's size in bytes from which an index is made; below it an
    // index already there is still used.
    // 8 MB (about 8,000 clippings of a page): the whole table is read in
    // well under 100 ms there (bench_search variants: 10,000 records of 9.8
    // MB took 80 to 140 ms on a loaded 2-core machine).
    static constexpr qint64 IndexFrom = 8 * 1024 * 1024;
    void setIndexFrom(qint64 bytes) { m_indexFrom = bytes; }

    // Opens the database for reading and its index, making the index when
    // there is none and the database is large enough, and making it again
    // when it is damaged, of another version or no longer fits the
    // database. Without an index everything still works, by scanning.
    bool open(const QString& databasePath, QString* error = nullptr);
    void close();
    bool isOpen() const { return m_db.isOpen(); }
    bool hasIndex() const { return m_hasIndex; }

    // Checks the index against the database: opens it again when another
    // file took its name or it had gone, notices writes by anyone else, records added at
    // the end, and starts over when the last records were replaced by
    // another program; makes the index once the database has grown large
    // enough. Cheap: a stat and three small reads.
    bool sync(QString* error = nullptr);
    // Checks up to `limit` indexed records against their checksums, or, when
    // all are checked, adds up to `limit` records beyond the last indexed
    // one; in one transaction.
    std::optional<Progress> indexMore(int limit, QString* error = nullptr);
    std::optional<Progress> progress(QString* error = nullptr);

    // After this program deleted or changed a record: keeps the index right
    // about it (a deleted last record would otherwise leave its bookmark to
    // be taken by the next new one).
    void forget(qint64 bookmark);
    void reindex(qint64 bookmark);

    // Takes the bookmarks found so far while a long search runs.
    using Parts = std::function<void(QList<qint64>)>;
    static constexpr int PartMs = 100;

    // The matching bookmarks; nullopt on failure or when `cancelled` (asked
    // now and then while the query runs) said so. An empty text matches
    // every record. With `parts`, a search running longer than PartMs hands
    // what it found so far to it every PartMs, in order, and returns only
    // the rest.
    std::optional<QList<qint64>> find(const QString& text,
                                      const std::function<bool()>& cancelled = {},
                                      QString* error = nullptr, const Parts& parts = {});

private:
    bool openIndex(const QString& indexPath, QString* error);
    bool attachDatabase(SqliteError* error);
    bool noticeWrites(bool* reopened, QString* error);
    bool catchUp(QString* error);
    bool checkRecords(qint64 upTo, SqliteError* error);
    qint64 trusted() const { return std::min(m_upTo, m_checked); }
    bool readState(SqliteError* error);
    bool writeState(qint64 upTo, SqliteError* error);
    std::optional<QString> fingerprint(qint64 bookmark, SqliteError* error);
    bool startOver(SqliteError* error);
    bool indexRecords(qint64 after, qint64 upTo, SqliteError* error);
    class Gatherer;
    bool scanInto(Gatherer& out, const QString& pattern, qint64 after, SqliteError* error);

    SqliteDatabase m_db;
    QString m_databasePath;
    qint64 m_indexFrom = IndexFrom;
    bool m_hasIndex = false;
    bool m_indexImpossible = false; // the folder takes no index: not tried again
    qint64 m_upTo = 0;      // the last bookmark indexed
    QString m_fingerprint;  // of that record when it was indexed
    qint64 m_checked = 0;   // records up to here match their checksums
    QString m_stamp;        // the database file's state they were checked in
    qint64 m_dataVersion = -1;
    quint64 m_device = 0;   // the file attached, told from one put in its place
    quint64 m_inode = 0;
    QByteArray m_sourceTitle; // the column's name in SQL, or '' where the table has none
};
