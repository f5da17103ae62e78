#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Thin owning wrappers over the SQLite C API. Nothing here throws: every call
// that can fail returns false (or SqliteStep::Failed) and, when asked, fills in
// an SqliteError. SQL text is always a fixed literal of ours; values go in
// through bind*(), never into the SQL.

struct SqliteError {
    int code = 0; // SQLite's primary result code (SQLITE_BUSY, SQLITE_NOTADB, ...); 0 for none
    QString message;
};

enum class SqliteOpenMode {
    ReadOnly,
    ReadWrite,      // the file must exist; falls back to reading when it cannot be written
    ReadWriteCreate // only for tools that make a database
};

// Extras for open(): `noFollow` refuses a link at `path` (a file the program
// owns must not write through a link into another); `uriAttach` lets ATTACH
// take a `file:` URI, so it can say mode=rw and never create the attached
// file (`path` itself stays literal).
struct SqliteOpenOptions {
    bool noFollow = false;
    bool uriAttach = false;
};

class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Closes whatever was open first. `path` is taken literally, never as a URI.
    bool open(const QString& path, SqliteOpenMode mode, SqliteError* error = nullptr,
              SqliteOpenOptions options = {});
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // True when the connection can only read (opened so, or the file is write-protected).
    bool isReadOnly() const;

    // How long a statement waits for another connection's lock before failing with SQLITE_BUSY.
    bool setBusyTimeout(int milliseconds, SqliteError* error = nullptr);
    // Bounds each step() and exec() to the busy timeout plus `milliseconds`
    // of wall time: one that runs longer (a trigger or view of a foreign file
    // that never ends) is interrupted and fails with SQLITE_INTERRUPT. Every
    // step has its own deadline, so a long walk of many short steps is never
    // cut. 0 (the default) for no limit.
    void setStepTimeLimit(int milliseconds);
    // Runs fixed SQL without results (BEGIN, COMMIT, CREATE TABLE in tools).
    bool exec(const char* sql, SqliteError* error = nullptr);

    // True between BEGIN and the COMMIT or ROLLBACK that ends it.
    bool inTransaction() const;
    qint64 lastInsertRowId() const;
    qint64 changes() const;
    sqlite3* handle() const { return m_db; }

    struct StepClock;

private:
    friend class SqliteStatement;
    void armClock() const;

    sqlite3* m_db = nullptr;
    // Shared with the statements, which arm it at each step; it outlives a
    // connection that a statement keeps open (sqlite3_close_v2).
    std::shared_ptr<StepClock> m_clock;
};

enum class SqliteStep { Row, Done, Failed };

class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // `persistent` hints that the statement is kept and reused for the connection's life.
    bool prepare(SqliteDatabase& db, const char* sql, SqliteError* error = nullptr,
                 bool persistent = true);
    void finalize();
    bool isPrepared() const { return m_stmt != nullptr; }

    // Parameters count from 1. Text goes in as UTF-8 with its length, so an
    // empty string is stored as '' (never NULL) and embedded quotes or NULs
    // mean nothing special. The bytes are kept until the next reset().
    bool bindText(int index, QStringView value, SqliteError* error = nullptr);
    bool bindInt64(int index, qint64 value, SqliteError* error = nullptr);
    bool bindNull(int index, SqliteError* error = nullptr);

    SqliteStep step(SqliteError* error = nullptr);

    // Columns count from 0 and are valid after step() gave Row. NULL reads as "" / 0.
    QString columnText(int column) const;
    qint64 columnInt64(int column) const;

    // Ends the current run (releasing the read lock it may hold) and drops the bindings.
    void reset();

private:
    bool check(int rc, SqliteError* error) const;

    sqlite3_stmt* m_stmt = nullptr;
    std::shared_ptr<SqliteDatabase::StepClock> m_clock;
    std::vector<QByteArray> m_boundText; // owns the bytes SQLite was given by pointer
};

// Resets a statement on scope exit, so that a statement that stopped at a row
// does not keep the file's shared lock and block writers in other processes.
class SqliteResetGuard {
public:
    explicit SqliteResetGuard(SqliteStatement& statement) : m_statement(statement)
    {
        m_statement.reset();
    }
    ~SqliteResetGuard() { m_statement.reset(); }
    SqliteResetGuard(const SqliteResetGuard&) = delete;
    SqliteResetGuard& operator=(const SqliteResetGuard&) = delete;

private:
    SqliteStatement& m_statement;
};
