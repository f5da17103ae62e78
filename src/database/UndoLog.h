#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// The way back from the browser's deletes and modifies. Each one is made
// here, in one transaction with a copy of the whole row as it was (every
// column of WebDocuments with its value and type, whatever other programs
// added to the table), kept in a side file beside the database,
// WebDocuments.undo. WebDocuments.mdb itself holds nothing of it: its table
// changes only by the delete, the modify and their undo.
//
// The side file is an SQLite file of its own, private (0600), never opened
// through a symbolic link, and bounded: the newest KeepAtLeast entries and
// every entry of the last KeepDays days are kept, whichever keeps more.
// Nothing stays open between calls, so the log is as another program or the
// next start left it.
class UndoLog {
public:
    static constexpr int KeepAtLeast = 100;
    static constexpr int KeepDays = 30;

    enum class Kind { Deleted, Modified };
    struct Entry {
        Kind kind = Kind::Deleted;
        qint64 bookmark = 0; // the record's rowid
        QDateTime made;
    };

    enum class Failure {
        None,
        Nothing,        // nothing to undo
        Busy,           // another program kept the database locked
        LogDamaged,     // the side file is not an undo file of this program, or is damaged
        LogUnavailable, // the side file cannot be made or opened (a link, a folder, no room)
        NoDatabase,     // the database or its table cannot be opened
        RecordGone,     // the record to delete or modify is not there
        ChangedSince,   // undo of a modify: the record was changed or deleted since
        Failed,         // anything else SQLite reported
    };

    explicit UndoLog(QString databasePath = {});
    void setDatabasePath(const QString& path) { m_databasePath = path; }
    // WebDocuments.mdb -> WebDocuments.undo, in the same folder.
    static QString logPathFor(const QString& databasePath);

    // How long to wait for another program's lock (default 3000 ms).
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }
    // The time entries are stamped and bounded by; tests set it.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    // Deletes the record, keeping it for undo. On failure nothing changed.
    bool deleteRecord(qint64 bookmark);
    // Sets the record's title and content, keeping the old row for undo
    // (nothing is kept when both stay as they were).
    bool modifyRecord(qint64 bookmark, const QString& title, const QString& content);

    // The entries that can be undone, newest first; nullopt on failure.
    std::optional<QList<Entry>> entries();

    // Undoes the newest entry and gives the bookmark of the record put back.
    // A deleted record comes back with its old rowid, so at its old place in
    // record order; when a newer record has taken that rowid meanwhile, it
    // takes the free rowid nearest to it. Undoing a modify puts back the whole
    // old row; when the record was changed or deleted since, it fails with
    // ChangedSince unless `overwriteChanges`. On failure nothing changed.
    std::optional<qint64> undo(bool overwriteChanges = false);

    Failure failure() const { return m_failure; }
    // What went wrong, technical, in English (empty after a success).
    QString errorText() const { return m_error; }

private:
    struct Session;
    // Opens the log (making it when Create), checks that it is ours and,
    // unless only reading, attaches the database. On failure sets it, with
    // Nothing when there is no log.
    bool openSession(Session& s, int access);
    bool fail(Failure failure, const QString& text);
    bool failLog(Session& s, const QString& what);
    bool failDatabase(Session& s, const QString& what);
    bool record(Kind kind, qint64 bookmark, const QString* title, const QString* content);

    QString m_databasePath;
    int m_busyTimeoutMs = 3000;
    std::function<QDateTime()> m_now;
    Failure m_failure = Failure::None;
    QString m_error;
};
