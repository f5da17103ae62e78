#pragma once

#include <QString>

#include <functional>

// Brings the records of a Microsoft Access database (the older tools' Jet 3,
// Jet 4 or ACE WebDocuments.mdb) into Quorrel's SQLite one.
//
// The Access file is read by quorrel-mdb-reader, a child process, because
// libmdb crashes or loops for ever on some damaged files: a crash ends the
// child, a child that stops sending is ended after a time limit. Whatever
// happens, the Access file is never written.
namespace AccessFile {

// Whether the file starts with a Jet or ACE database header (its name says nothing).
bool isAccess(const QString& path);

// The reader beside the running program, or the one set here (tests).
QString readerPath();
void setReaderPath(const QString& path);

// Where `path`'s original is kept: "WebDocuments.access.mdb" beside
// "WebDocuments.mdb", then "WebDocuments.access-1.mdb", ...
QString keptName(const QString& path, int attempt);

} // namespace AccessFile

class AccessImport {
public:
    enum class Outcome {
        NotAccess, // nothing to do: the file is not (or no longer) an Access file
        Done,      // converted or appended
        Declined,  // a short read that the caller chose not to take
        Failed,    // nothing changed; message() says why
        Busy       // another conversion of the file held it past the wait
    };

    // Asked when fewer records could be read than the table says it holds:
    // true to go on with the `read` records that could be read.
    std::function<bool(qint64 read, qint64 expected, const QString& why)> acceptShortRead;
    // Called now and then while records come in (expected is -1 until known).
    std::function<void(qint64 done, qint64 expected)> progress;

    // How long the reader may send nothing before it counts as hung.
    void setStallLimit(int milliseconds) { m_stallLimitMs = milliseconds; }
    // How long to wait for another conversion of the same file (a window
    // does not wait: it tries again at the next use).
    void setLockWait(int milliseconds) { m_lockWaitMs = milliseconds; }

    // Converts the Access file at `path` in place: afterwards `path` is a new
    // SQLite database holding every record, and the original is kept beside
    // it (keptPath()). At every moment `path` is either the untouched Access
    // file or the whole new database.
    Outcome convertInPlace(const QString& path);

    // Appends the records of the Access file `source` to the SQLite database
    // `target`, all in one transaction (waiting for another program's lock).
    Outcome appendTo(const QString& source, const QString& target);

    // Records read from the Access file and the count its table gives.
    qint64 recordsRead() const { return m_read; }
    qint64 recordsExpected() const { return m_expected; }
    QString keptPath() const { return m_keptPath; }
    // Why the last call failed or was declined (Chinese, for the user).
    QString message() const { return m_message; }

private:
    struct Temp;
    Outcome readInto(const QString& source, const QString& sqlitePath);
    Outcome fail(const QString& message);
    bool keepOriginal(const QString& path, int lockedFd);

    int m_stallLimitMs = 20000;
    int m_lockWaitMs = 60000;
    qint64 m_read = 0;
    qint64 m_expected = -1;
    QString m_keptPath;
    QString m_message;
};
