#pragma once

#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

// The document database, WebDocuments.mdb: an SQLite file holding the table
// WebDocuments with the TEXT fields 标题 (title) and 内容 (content). A
// DataSource opens it; its Recordset walks the records in insertion (rowid)
// order with the classic data-control operations.
//
// The record set keeps only the current record's rowid: moving runs one small
// indexed query and fields are read when asked for, so opening and moving
// cost the same for ten records as for a million. Nothing here ever creates
// the file or the table; the only fields it adds are the three source fields
// (Schema.h), on the first record stored with a non-empty source.

enum class DataErrorKind {
    None,
    NotOpen,         // no successful Refresh yet, or the last one failed
    FileMissing,     // the database file does not exist
    CannotOpen,      // it exists but cannot be opened (a folder, no permission)
    NotADatabase,    // not an SQLite database, e.g. an Access .mdb
    MissingTable,    // no table WebDocuments
    MissingField,    // the table lacks 标题 or 内容
    NoCurrentRecord, // no record is current (empty, past the end, deleted)
    InvalidBookmark, // no record with that bookmark
    NotEditing,      // setField or Update without AddNew or Edit
    UnknownField,    // a field name other than those of Schema.h
    Busy,            // another program kept the file locked past the busy timeout
    ReadOnly,        // the file can only be read
    Failed,          // anything else SQLite reported
};

struct DataError {
    DataErrorKind kind = DataErrorKind::None;
    QString message;
};

// One row of the quick title listing.
struct TitleEntry {
    qint64 bookmark = 0;
    QString title;
};

class DataSource;
struct SqliteError;

class Recordset {
public:
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Starts a new record; fields not set are stored as "". Discards an
    // unsaved AddNew or Edit.
    bool AddNew(QString* error = nullptr);
    // Starts changing the current record.
    bool Edit(QString* error = nullptr);
    // `name` is one of Schema.h's fields; only between AddNew/Edit and Update.
    // A non-empty source field adds the source fields the table lacks, in
    // the transaction that stores the record.
    bool setField(const QString& name, const QString& value, QString* error = nullptr);
    // Stores the pending AddNew or Edit. After AddNew the record that was
    // current stays current. On failure the pending values are kept, so the
    // caller may retry.
    bool Update(QString* error = nullptr);
    // Forgets a pending AddNew or Edit.
    void CancelUpdate();
    // Removes the current record; no record is current until the next move,
    // and MoveNext goes on to the record after the deleted one.
    bool Delete(QString* error = nullptr);
    // Past the last record EOF becomes true; moving again fails.
    bool MoveNext(QString* error = nullptr);
    bool MoveFirst(QString* error = nullptr);
    // Goes to the last record; on an empty table it fails as MoveFirst does.
    bool MoveLast(QString* error = nullptr);
    bool isEOF() const;

    // Groups operations: the records stored by Update between BeginTrans and
    // CommitTrans reach the file together, with one disk sync instead of one
    // each, and reads in between see one unchanging file. While a transaction
    // is open no other connection can write the file (and, once this one has
    // written, none can read it), so keep transactions short and never hold
    // one across the event loop. A failed CommitTrans, Rollback, a Refresh
    // and the end of the data source drop everything since BeginTrans.
    bool BeginTrans(QString* error = nullptr);
    bool CommitTrans(QString* error = nullptr);
    void Rollback();
    bool inTransaction() const;

    // A bookmark is the record's rowid: stable for the record's life.
    std::optional<qint64> Bookmark() const;
    bool setBookmark(qint64 bookmark, QString* error = nullptr);
    // The bookmark of the record most recently stored by Update.
    std::optional<qint64> LastModified() const;

    // During AddNew/Edit this is the value the record will get. A source
    // field the table lacks reads as "".
    std::optional<QString> field(const QString& name, QString* error = nullptr) const;

    std::optional<qint64> recordCount(QString* error = nullptr) const;
    // Every record's title with its bookmark, in record order, without
    // reading any content: what a list window shows.
    std::optional<QList<TitleEntry>> titles(QString* error = nullptr) const;
    // The bookmarks of up to `limit` records (all when negative) after the
    // one with bookmark `after`, in record order, reading no field: 8 bytes a
    // record, so a list of a million rows is indexed without its titles.
    std::optional<QList<qint64>> bookmarks(qint64 after = std::numeric_limits<qint64>::min(),
                                           qint64 limit = -1, QString* error = nullptr) const;
    // Up to `limit` records from the one with bookmark `first` on (or the
    // next one after it), with their titles cut to `maxTitleLength`
    // characters: one page of a list window.
    std::optional<QList<TitleEntry>> titlesFrom(qint64 first, int limit,
                                                int maxTitleLength = 1024,
                                                QString* error = nullptr) const;

    // The outcome of the last operation (kind None after a success).
    const DataError& lastError() const { return m_lastError; }

private:
    friend class DataSource;
    struct Connection;
    enum class Position { None, Current, Deleted, PastEnd };
    enum class Pending { None, Adding, Editing };

    Recordset();
    bool open(const QString& path, bool readOnly, int busyTimeoutMs);
    void close(const DataError& why);
    void setBusyTimeout(int milliseconds);
    bool isOpen() const { return m_connection != nullptr; }

    bool requireOpen(QString* error) const;
    bool requireCurrent(QString* error) const;
    bool succeed() const;
    bool fail(DataErrorKind kind, const QString& message, QString* error) const;
    bool failSqlite(int code, const QString& what, const QString& sqliteMessage,
                    QString* error) const;
    // Next rowid after `after` (the first when nullopt); nullopt at the end or on error.
    std::optional<qint64> seek(std::optional<qint64> after, bool* ok, QString* error);
    void cancelPending();
    bool sourcePending() const;
    bool hasSourceColumn(int source) const;
    bool storeFields(QString* error);
    bool storeSource(qint64 rowid, const std::array<std::optional<QString>, 3>& values,
                     SqliteError* e);

    std::unique_ptr<Connection> m_connection;
    QString m_path;
    DataError m_openError; // why the record set is closed
    mutable DataError m_lastError;

    Position m_position = Position::None;
    qint64 m_rowid = 0;
    std::optional<qint64> m_lastModified;

    Pending m_pending = Pending::None;
    std::optional<QString> m_pendingTitle;
    std::optional<QString> m_pendingContent;
    std::array<std::optional<QString>, 3> m_pendingSource; // in Schema.h's order
};

class DataSource {
public:
    DataSource();
    ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // Takes effect at the next Refresh.
    void setDatabaseName(const QString& path);
    QString DatabaseName() const;
    QString RecordSource() const; // always u"WebDocuments"

    // (Re)opens the file and makes the first record current (none when the
    // table is empty). On failure the data source is closed and every
    // record-set operation fails, naming this error.
    bool Refresh(QString* error = nullptr);
    Recordset& recordset();

    bool isOpen() const;
    const DataError& lastError() const;

    // How long a write waits for another program's lock before failing
    // (default 3000 ms); applies at once and to later Refreshes.
    void setBusyTimeout(int milliseconds);
    // Opens the file for reading only from the next Refresh; writes then fail
    // with ReadOnly, as they do when the file itself is write-protected.
    void setReadOnly(bool readOnly);

    // Called by Refresh when the file is a Microsoft Access database (the
    // older tools' WebDocuments.mdb), before it is opened: a window converts
    // it there, asking and telling the user (AccessImport).
    void setAccessConverter(std::function<void(const QString& path)> convert);

private:
    std::function<void(const QString&)> m_convertAccess;
    QString m_path;
    int m_busyTimeoutMs = 3000;
    bool m_readOnly = false;
    Recordset m_recordset;
};
