#include "Sqlite.h"

#include <sqlite3.h>

#include <chrono>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool fail(SqliteError* error, int rc, const QString& message)
{
    if (error) {
        error->code = rc & 0xff;
        error->message = message;
    }
    return false;
}

QString messageOf(sqlite3* db, int rc)
{
    // The connection's message matches rc only while nothing else ran on it.
    if (db && sqlite3_errcode(db) == rc)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

} // namespace

struct SqliteDatabase::StepClock {
    using Clock = std::chrono::steady_clock;
    std::chrono::milliseconds limit{0};
    std::chrono::milliseconds busy{0};
    Clock::time_point deadline = Clock::time_point::max();

    void arm()
    {
        if (limit.count() > 0)
            deadline = Clock::now() + busy + limit;
    }
    // Between steps no deadline holds: SQLite's own work (reading a changed
    // schema) must not be cut by one that ran out long ago.
    void disarm() { deadline = Clock::time_point::max(); }
    // SQLite's progress handler: non-zero interrupts the running statement.
    static int late(void* clock)
    {
        return Clock::now() > static_cast<const StepClock*>(clock)->deadline ? 1 : 0;
    }
};

// --- SqliteDatabase ---

SqliteDatabase::~SqliteDatabase()
{
    close();
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_clock(std::move(other.m_clock))
{
}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
        m_clock = std::move(other.m_clock);
    }
    return *this;
}

bool SqliteDatabase::open(const QString& path, SqliteOpenMode mode, SqliteError* error,
                          SqliteOpenOptions options)
{
    close();
    int flags = 0;
    switch (mode) {
    case SqliteOpenMode::ReadOnly:
        flags = SQLITE_OPEN_READONLY;
        break;
    case SqliteOpenMode::ReadWrite:
        flags = SQLITE_OPEN_READWRITE;
        break;
    case SqliteOpenMode::ReadWriteCreate:
        flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    // Without SQLITE_OPEN_URI a name such as "file:x?mode=rwc" stays a plain
    // file name, so a path cannot switch on creation behind our back.
    QByteArray name = path.toUtf8();
    if (options.noFollow)
        flags |= SQLITE_OPEN_NOFOLLOW;
    if (options.uriAttach) {
        flags |= SQLITE_OPEN_URI;
        if (name.startsWith("file:"))
            name.prepend("./"); // still the file of that name, not a URI
    }
    // SQLite would make a new file readable by everyone; clippings are the
    // user's alone. Its journal and WAL files take the database file's mode.
    if (mode == SqliteOpenMode::ReadWriteCreate && !name.isEmpty() && name != ":memory:") {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = messageOf(db, rc);
        sqlite3_close_v2(db); // a handle comes back even on failure
        return fail(error, rc, message);
    }
    m_db = db;
    m_clock = std::make_shared<StepClock>();
    return true;
}

void SqliteDatabase::close()
{
    if (m_db) {
        // _v2: if a statement outlives us, SQLite closes once it is finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_clock.reset();
}

bool SqliteDatabase::isReadOnly() const
{
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

bool SqliteDatabase::setBusyTimeout(int milliseconds, SqliteError* error)
{
    if (!m_db)
        return fail(error, SQLITE_MISUSE, QStringLiteral("database not open"));
    const int rc = sqlite3_busy_timeout(m_db, milliseconds);
    if (rc != SQLITE_OK)
        return fail(error, rc, messageOf(m_db, rc));
    m_clock->busy = std::chrono::milliseconds(qMax(milliseconds, 0));
    return true;
}

void SqliteDatabase::setStepTimeLimit(int milliseconds)
{
    if (!m_db)
        return;
    m_clock->limit = std::chrono::milliseconds(qMax(milliseconds, 0));
    m_clock->disarm();
    // Looked at every thousand virtual-machine instructions: a clock read
    // costs nothing next to them, and a short statement never calls it.
    if (milliseconds > 0)
        sqlite3_progress_handler(m_db, 1000, &StepClock::late, m_clock.get());
    else
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

void SqliteDatabase::armClock() const
{
    if (m_clock)
        m_clock->arm();
}

bool SqliteDatabase::exec(const char* sql, SqliteError* error)
{
    if (!m_db)
        return fail(error, SQLITE_MISUSE, QStringLiteral("database not open"));
    char* message = nullptr;
    armClock();
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    m_clock->disarm();
    if (rc == SQLITE_OK)
        return true;
    const QString text = message ? QString::fromUtf8(message) : messageOf(m_db, rc);
    sqlite3_free(message);
    return fail(error, rc, text);
}

bool SqliteDatabase::inTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

qint64 SqliteDatabase::lastInsertRowId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

qint64 SqliteDatabase::changes() const
{
    return m_db ? sqlite3_changes64(m_db) : 0;
}

// --- SqliteStatement ---

SqliteStatement::~SqliteStatement()
{
    finalize();
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr)),
      m_clock(std::move(other.m_clock)),
      m_boundText(std::move(other.m_boundText))
{
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this != &other) {
        finalize();
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_clock = std::move(other.m_clock);
        m_boundText = std::move(other.m_boundText);
    }
    return *this;
}

bool SqliteStatement::prepare(SqliteDatabase& db, const char* sql, SqliteError* error,
                              bool persistent)
{
    finalize();
    if (!db.isOpen())
        return fail(error, SQLITE_MISUSE, QStringLiteral("database not open"));
    const unsigned flags = persistent ? SQLITE_PREPARE_PERSISTENT : 0;
    const int rc = sqlite3_prepare_v3(db.handle(), sql, -1, flags, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return fail(error, rc, messageOf(db.handle(), rc));
    }
    m_clock = db.m_clock;
    return true;
}

void SqliteStatement::finalize()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
    m_clock.reset();
    m_boundText.clear();
}

bool SqliteStatement::check(int rc, SqliteError* error) const
{
    if (rc == SQLITE_OK)
        return true;
    return fail(error, rc, messageOf(m_stmt ? sqlite3_db_handle(m_stmt) : nullptr, rc));
}

bool SqliteStatement::bindText(int index, QStringView value, SqliteError* error)
{
    if (!m_stmt)
        return fail(error, SQLITE_MISUSE, QStringLiteral("statement not prepared"));
    static const char empty[] = "";
    QByteArray bytes = value.toUtf8();
    // A null pointer would bind NULL, so an empty string gets a real one.
    const char* data = bytes.isEmpty() ? empty : bytes.constData();
    const auto size = static_cast<sqlite3_uint64>(bytes.size());
    // SQLITE_STATIC: the bytes live in m_boundText until reset(), which saves
    // copying contents of many megabytes a second time.
    m_boundText.push_back(std::move(bytes));
    return check(sqlite3_bind_text64(m_stmt, index, data, size, SQLITE_STATIC, SQLITE_UTF8),
                 error);
}

bool SqliteStatement::bindInt64(int index, qint64 value, SqliteError* error)
{
    if (!m_stmt)
        return fail(error, SQLITE_MISUSE, QStringLiteral("statement not prepared"));
    return check(sqlite3_bind_int64(m_stmt, index, value), error);
}

bool SqliteStatement::bindNull(int index, SqliteError* error)
{
    if (!m_stmt)
        return fail(error, SQLITE_MISUSE, QStringLiteral("statement not prepared"));
    return check(sqlite3_bind_null(m_stmt, index), error);
}

SqliteStep SqliteStatement::step(SqliteError* error)
{
    if (!m_stmt) {
        fail(error, SQLITE_MISUSE, QStringLiteral("statement not prepared"));
        return SqliteStep::Failed;
    }
    if (m_clock)
        m_clock->arm();
    const int rc = sqlite3_step(m_stmt);
    if (m_clock)
        m_clock->disarm();
    if (rc == SQLITE_ROW)
        return SqliteStep::Row;
    if (rc == SQLITE_DONE)
        return SqliteStep::Done;
    fail(error, rc, messageOf(sqlite3_db_handle(m_stmt), rc));
    return SqliteStep::Failed;
}

QString SqliteStatement::columnText(int column) const
{
    // Text first, then its length: the order SQLite documents for a stable length.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    if (!text)
        return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
}

qint64 SqliteStatement::columnInt64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

void SqliteStatement::reset()
{
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    m_boundText.clear();
}
