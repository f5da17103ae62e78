#include "UndoLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int ApplicationId = 0x51556e64; // "QUnd": a file of ours, not any SQLite file
constexpr int LogVersion = 1;
constexpr qint64 MsPerDay = 24 * 60 * 60 * 1000;

enum class Access { Read, Write, Create };

struct ValueFree {
    void operator()(sqlite3_value* value) const { sqlite3_value_free(value); }
};

// One column of a row: its name and its value exactly, type included.
struct Cell {
    QByteArray name;
    std::unique_ptr<sqlite3_value, ValueFree> value;
};
using Row = std::vector<Cell>;

class Statement {
public:
    Statement(sqlite3* db, const QByteArray& sql)
    {
        m_rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3_stmt* get() const { return m_stmt; }
    bool bind(int index, qint64 value) { return keep(sqlite3_bind_int64(m_stmt, index, value)); }
    bool bind(int index, const QByteArray& utf8)
    {
        return keep(
            sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
    }
    bool bind(int index, const sqlite3_value* value)
    {
        return keep(sqlite3_bind_value(m_stmt, index, value));
    }
    bool bindBlob(int index, const QByteArray& bytes)
    {
        return keep(bytes.isNull() ? sqlite3_bind_null(m_stmt, index)
                                   : sqlite3_bind_blob(m_stmt, index, bytes.constData(),
                                                       int(bytes.size()), SQLITE_TRANSIENT));
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return m_rc == SQLITE_OK ? sqlite3_step(m_stmt) : m_rc; }
    qint64 int64(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QByteArray blob(int column) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return data ? QByteArray(data, sqlite3_column_bytes(m_stmt, column)) : QByteArray();
    }

private:
    bool keep(int rc)
    {
        if (m_rc == SQLITE_OK)
            m_rc = rc;
        return m_rc == SQLITE_OK;
    }
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

QByteArray quoted(const QByteArray& name)
{
    QByteArray out = name;
    out.replace('"', "\"\"");
    return '"' + out + '"';
}

// What a row holds, as one number to compare: did anything change since?
// NULLs are left out, so that a column added to the table since (the
// collector adds the source columns at its first drop that has a source)
// does not count as a change.
QByteArray digest(const Row& row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto addSized = [&hash](const char* data, qint64 size) {
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
        hash.addData(QByteArrayView(data, size));
    };
    for (const Cell& cell : row) {
        sqlite3_value* v = cell.value.get();
        const char type = char(sqlite3_value_type(v));
        if (type == SQLITE_NULL)
            continue;
        addSized(cell.name.constData(), cell.name.size());
        hash.addData(QByteArrayView(&type, 1));
        switch (type) {
        case SQLITE_INTEGER: {
            const qint64 n = sqlite3_value_int64(v);
            addSized(reinterpret_cast<const char*>(&n), sizeof n);
            break;
        }
        case SQLITE_FLOAT: {
            const double d = sqlite3_value_double(v);
            addSized(reinterpret_cast<const char*>(&d), sizeof d);
            break;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const auto* data = type == SQLITE_TEXT
                                   ? reinterpret_cast<const char*>(sqlite3_value_text(v))
                                   : static_cast<const char*>(sqlite3_value_blob(v));
            addSized(data ? data : "", sqlite3_value_bytes(v));
            break;
        }
        default:
            break;
        }
    }
    return hash.result();
}

// SQLite's primary code and message after a failed call on `db`.
int codeOf(sqlite3* db)
{
    return sqlite3_errcode(db) & 0xff;
}

QString messageOf(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The whole row with that rowid: SQLITE_ROW when read, SQLITE_DONE when there
// is none, else SQLite's error.
int readRow(sqlite3* db, qint64 rowid, Row* row)
{
    Statement select(db, "SELECT * FROM docs.WebDocuments WHERE rowid = ?1");
    select.bind(1, rowid);
    row->clear();
    const int rc = select.step();
    if (rc == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(select.get()); ++i)
            row->push_back({QByteArray(sqlite3_column_name(select.get(), i)),
                            std::unique_ptr<sqlite3_value, ValueFree>(
                                sqlite3_value_dup(sqlite3_column_value(select.get(), i)))});
    }
    return rc;
}

// Errors of the statements on the log alone, and those of the database.
UndoLog::Failure logFailure(int code)
{
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return UndoLog::Failure::Busy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR: // a table of ours missing: not our file after all
        return UndoLog::Failure::LogDamaged;
    default:
        return UndoLog::Failure::LogUnavailable;
    }
}

UndoLog::Failure databaseFailure(int code)
{
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return UndoLog::Failure::Busy;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
        return UndoLog::Failure::NoDatabase;
    default:
        return UndoLog::Failure::Failed;
    }
}

// The side file beside the database's name, in its folder with every link
// of the folder's path resolved (so that refusing links refuses the file's own).
QString canonicalLogPath(const QString& databasePath)
{
    const QFileInfo info(databasePath);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return {};
    return QDir(folder).filePath(QFileInfo(UndoLog::logPathFor(databasePath)).fileName());
}

} // namespace

// One connection for one operation: the log as main, the database attached
// as "docs", so the change and its entry reach both files in one commit.
struct UndoLog::Session {
    sqlite3* db = nullptr;
    QByteArray alias;   // the table's INTEGER PRIMARY KEY column: the rowid by another name
    bool empty = false; // a log with no tables yet, opened without making them

    ~Session()
    {
        if (db) {
            if (!sqlite3_get_autocommit(db))
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close_v2(db);
        }
    }
    bool exec(const char* sql)
    {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

UndoLog::UndoLog(QString databasePath) : m_databasePath(std::move(databasePath)) {}

QString UndoLog::logPathFor(const QString& databasePath)
{
    const QFileInfo info(databasePath);
    return info.dir().filePath(info.completeBaseName() + u".undo"_s);
}

bool UndoLog::fail(Failure failure, const QString& text)
{
    m_failure = failure;
    m_error = text;
    return false;
}

bool UndoLog::failLog(Session& s, const QString& what)
{
    return fail(logFailure(codeOf(s.db)),
                u"%1（%3）\nSQLite: %2"_s.arg(what, messageOf(s.db),
                                     QDir::toNativeSeparators(canonicalLogPath(m_databasePath))));
}

bool UndoLog::failDatabase(Session& s, const QString& what)
{
    return fail(databaseFailure(codeOf(s.db)), u"%1\nSQLite: %2"_s.arg(what, messageOf(s.db)));
}

bool UndoLog::record(Kind kind, qint64 bookmark, const QString* title, const QString* content)
{
    m_failure = Failure::None;
    m_error.clear();
    Session s;
    if (!openSession(s, int(Access::Create)))
        return false;
    if (!s.exec("BEGIN IMMEDIATE"))
        return failDatabase(s, u"无法开始修改"_s);

    Row before;
    switch (readRow(s.db, bookmark, &before)) {
    case SQLITE_ROW:
        break;
    case SQLITE_DONE:
        return fail(Failure::RecordGone, u"没有书签为 %1 的记录。"_s.arg(bookmark));
    default:
        return failDatabase(s, u"无法读取记录"_s);
    }

    QByteArray after;
    if (kind == Kind::Deleted) {
        Statement remove(s.db, "DELETE FROM docs.WebDocuments WHERE rowid = ?1");
        remove.bind(1, bookmark);
        if (remove.step() != SQLITE_DONE)
            return failDatabase(s, u"无法删除记录"_s);
    } else {
        Statement update(s.db, "UPDATE docs.WebDocuments SET \"标题\" = ?1, \"内容\" = ?2 "
                               "WHERE rowid = ?3");
        update.bind(1, title->toUtf8());
        update.bind(2, content->toUtf8());
        update.bind(3, bookmark);
        if (update.step() != SQLITE_DONE)
            return failDatabase(s, u"无法修改记录"_s);
        Row changed;
        if (readRow(s.db, bookmark, &changed) != SQLITE_ROW)
            return failDatabase(s, u"无法读取修改后的记录"_s);
        after = digest(changed);
        if (after == digest(before)) { // nothing to undo
            if (!s.exec("COMMIT"))
                return failDatabase(s, u"无法保存修改"_s);
            return true;
        }
    }

    const qint64 now = (m_now ? m_now() : QDateTime::currentDateTimeUtc()).toMSecsSinceEpoch();
    Statement entry(s.db, "INSERT INTO main.entries (kind, bookmark, made, after) "
                          "VALUES (?1, ?2, ?3, ?4)");
    entry.bind(1, qint64(kind == Kind::Deleted ? 1 : 2));
    entry.bind(2, bookmark);
    entry.bind(3, now);
    entry.bindBlob(4, after);
    if (entry.step() != SQLITE_DONE)
        return failLog(s, u"无法保存撤销所需的记录"_s);
    const qint64 id = sqlite3_last_insert_rowid(s.db);
    Statement cell(s.db, "INSERT INTO main.cells (entry, position, name, value) "
                         "VALUES (?1, ?2, ?3, ?4)");
    for (size_t i = 0; i < before.size(); ++i) {
        sqlite3_reset(cell.get());
        cell.bind(1, id);
        cell.bind(2, qint64(i));
        cell.bind(3, before[i].name);
        cell.bind(4, before[i].value.get());
        if (cell.step() != SQLITE_DONE)
            return failLog(s, u"无法保存撤销所需的记录"_s);
    }

    // The bound: entries beyond the newest KeepAtLeast that are also older
    // than KeepDays go.
    const char* const prune[] = {
        "DELETE FROM main.cells WHERE entry IN (SELECT id FROM main.entries WHERE made < ?1 "
        "AND id NOT IN (SELECT id FROM main.entries ORDER BY id DESC LIMIT ?2))",
        "DELETE FROM main.entries WHERE made < ?1 "
        "AND id NOT IN (SELECT id FROM main.entries ORDER BY id DESC LIMIT ?2)",
    };
    for (const char* sql : prune) {
        Statement statement(s.db, sql);
        statement.bind(1, now - KeepDays * MsPerDay);
        statement.bind(2, qint64(KeepAtLeast));
        if (statement.step() != SQLITE_DONE)
            return failLog(s, u"无法删除旧的撤销记录"_s);
    }
    if (!s.exec("COMMIT"))
        return failDatabase(s, u"无法保存修改"_s);
    return true;
}

bool UndoLog::deleteRecord(qint64 bookmark)
{
    return record(Kind::Deleted, bookmark, nullptr, nullptr);
}

bool UndoLog::modifyRecord(qint64 bookmark, const QString& title, const QString& content)
{
    return record(Kind::Modified, bookmark, &title, &content);
}

std::optional<QList<UndoLog::Entry>> UndoLog::entries()
{
    m_failure = Failure::None;
    m_error.clear();
    Session s;
    if (!openSession(s, int(Access::Read))) {
        if (m_failure == Failure::Nothing)
            return QList<Entry>();
        return std::nullopt;
    }
    QList<Entry> all;
    if (s.empty)
        return all;
    Statement select(s.db, "SELECT kind, bookmark, made FROM main.entries ORDER BY id DESC");
    int rc;
    while ((rc = select.step()) == SQLITE_ROW)
        all.append({select.int64(0) == 1 ? Kind::Deleted : Kind::Modified, select.int64(1),
                    QDateTime::fromMSecsSinceEpoch(select.int64(2), Qt::UTC)});
    if (rc != SQLITE_DONE) {
        failLog(s, u"无法读取撤销记录"_s);
        return std::nullopt;
    }
    return all;
}

std::optional<qint64> UndoLog::undo(bool overwriteChanges)
{
    m_failure = Failure::None;
    m_error.clear();
    Session s;
    if (!openSession(s, int(Access::Write)))
        return std::nullopt;
    if (s.empty) {
        fail(Failure::Nothing, u"没有可以撤销的操作。"_s);
        return std::nullopt;
    }
    if (!s.exec("BEGIN IMMEDIATE")) {
        failDatabase(s, u"无法开始撤销"_s);
        return std::nullopt;
    }

    qint64 id = 0;
    Kind kind = Kind::Deleted;
    qint64 bookmark = 0;
    QByteArray after;
    int rc;
    {
        Statement newest(s.db, "SELECT id, kind, bookmark, after FROM main.entries "
                               "ORDER BY id DESC LIMIT 1");
        rc = newest.step();
        if (rc == SQLITE_DONE) {
            fail(Failure::Nothing, u"没有可以撤销的操作。"_s);
            return std::nullopt;
        }
        if (rc != SQLITE_ROW) {
            failLog(s, u"无法读取撤销记录"_s);
            return std::nullopt;
        }
        id = newest.int64(0);
        kind = newest.int64(1) == 1 ? Kind::Deleted : Kind::Modified;
        bookmark = newest.int64(2);
        after = newest.blob(3);
    }

    // The old row, less the rowid's other name (the rowid is set on its own).
    Row old;
    {
        Statement cells(s.db, "SELECT name, value FROM main.cells WHERE entry = ?1 "
                              "ORDER BY position");
        cells.bind(1, id);
        while ((rc = cells.step()) == SQLITE_ROW) {
            QByteArray name(reinterpret_cast<const char*>(sqlite3_column_text(cells.get(), 0)),
                            sqlite3_column_bytes(cells.get(), 0));
            if (name == s.alias)
                continue;
            old.push_back(
                {std::move(name), std::unique_ptr<sqlite3_value, ValueFree>(
                                      sqlite3_value_dup(sqlite3_column_value(cells.get(), 1)))});
        }
        if (rc != SQLITE_DONE || old.empty()) {
            if (rc == SQLITE_DONE)
                fail(Failure::LogDamaged, u"撤销记录 %1 中没有任何字段。"_s.arg(id));
            else
                failLog(s, u"无法读取撤销记录"_s);
            return std::nullopt;
        }
    }

    // Is the record there, and as the modify left it?
    Row now;
    rc = readRow(s.db, bookmark, &now);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        failDatabase(s, u"无法读取记录"_s);
        return std::nullopt;
    }
    const bool present = rc == SQLITE_ROW;
    const bool unchanged = present && digest(now) == after;
    if (kind == Kind::Modified && !unchanged && !overwriteChanges) {
        fail(Failure::ChangedSince, present ? u"记录 %1 此后又被修改过。"_s.arg(bookmark)
                                            : u"记录 %1 此后已被删除。"_s.arg(bookmark));
        return std::nullopt;
    }

    qint64 target = bookmark;
    if (kind == Kind::Modified && present) {
        QByteArray sql = "UPDATE docs.WebDocuments SET ";
        for (size_t i = 0; i < old.size(); ++i)
            sql +=
                (i ? ", " : "") + quoted(old[i].name) + " = ?" + QByteArray::number(qint64(i + 1));
        sql += " WHERE rowid = ?" + QByteArray::number(qint64(old.size() + 1));
        Statement update(s.db, sql);
        for (size_t i = 0; i < old.size(); ++i)
            update.bind(int(i + 1), old[i].value.get());
        update.bind(int(old.size() + 1), bookmark);
        if (update.step() != SQLITE_DONE) {
            failDatabase(s, u"无法恢复记录"_s);
            return std::nullopt;
        }
    } else {
        if (present) {
            // A newer record took the rowid (SQLite gives a new record the
            // rowid after the highest, so a deleted last record's rowid goes
            // to the next one). The free rowid just before it keeps the old
            // order among the records that were there; without one the
            // record goes just after the records that took its place.
            Statement below(s.db, "SELECT max(rowid) FROM docs.WebDocuments WHERE rowid < ?1");
            below.bind(1, bookmark);
            if (below.step() != SQLITE_ROW) {
                failDatabase(s, u"找不到放回记录的位置"_s);
                return std::nullopt;
            }
            const bool none = sqlite3_column_type(below.get(), 0) == SQLITE_NULL;
            if (bookmark > 1 && (none || below.int64(0) < bookmark - 1)) {
                target = bookmark - 1;
            } else {
                Statement above(
                    s.db, "SELECT min(a.rowid) + 1 FROM docs.WebDocuments AS a "
                          "WHERE a.rowid >= ?1 AND NOT EXISTS "
                          "(SELECT 1 FROM docs.WebDocuments AS b WHERE b.rowid = a.rowid + 1)");
                above.bind(1, bookmark);
                if (above.step() != SQLITE_ROW) {
                    failDatabase(s, u"找不到放回记录的位置"_s);
                    return std::nullopt;
                }
                target = above.int64(0);
            }
            // Older entries of the record follow it to its new rowid.
            Statement follow(s.db, "UPDATE main.entries SET bookmark = ?1 "
                                   "WHERE bookmark = ?2 AND id <> ?3");
            follow.bind(1, target);
            follow.bind(2, bookmark);
            follow.bind(3, id);
            if (follow.step() != SQLITE_DONE) {
                failLog(s, u"无法更新撤销记录"_s);
                return std::nullopt;
            }
        }
        QByteArray names = "rowid";
        QByteArray values = "?1";
        for (size_t i = 0; i < old.size(); ++i) {
            names += ", " + quoted(old[i].name);
            values += ", ?" + QByteArray::number(qint64(i + 2));
        }
        Statement insert(s.db,
                         "INSERT INTO docs.WebDocuments (" + names + ") VALUES (" + values + ")");
        insert.bind(1, target);
        for (size_t i = 0; i < old.size(); ++i)
            insert.bind(int(i + 2), old[i].value.get());
        if (insert.step() != SQLITE_DONE) {
            failDatabase(s, u"无法恢复记录"_s);
            return std::nullopt;
        }
    }

    for (const char* sql :
         {"DELETE FROM main.cells WHERE entry = ?1", "DELETE FROM main.entries WHERE id = ?1"}) {
        Statement statement(s.db, sql);
        statement.bind(1, id);
        if (statement.step() != SQLITE_DONE) {
            failLog(s, u"无法删除撤销记录"_s);
            return std::nullopt;
        }
    }
    if (!s.exec("COMMIT")) {
        failDatabase(s, u"无法保存撤销"_s);
        return std::nullopt;
    }
    return target;
}

bool UndoLog::openSession(Session& s, int how)
{
    const Access access = Access(how);
    const QString& databasePath = m_databasePath;
    if (databasePath.isEmpty())
        return fail(Failure::NoDatabase, u"没有设置文档数据库。"_s);
    const QString logPath = canonicalLogPath(databasePath);
    const QString shown = QDir::toNativeSeparators(logPath.isEmpty() ? databasePath : logPath);
    if (logPath.isEmpty())
        return fail(Failure::NoDatabase, u"%1 所在的文件夹不存在。"_s.arg(shown));
    const QByteArray name = QFile::encodeName(logPath);

    // Made private, and never through a link: SQLite refuses links in the
    // path too (NOFOLLOW), this checks the file itself first.
    const int flags = access == Access::Read ? O_RDONLY : O_RDWR;
    const int fd =
        ::open(name.constData(),
               flags | O_NOFOLLOW | O_CLOEXEC | (access == Access::Create ? O_CREAT : 0), 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return fail(Failure::Nothing, u"没有可以撤销的操作。"_s);
        return fail(Failure::LogUnavailable,
                    u"无法打开 %1：%2"_s.arg(
                        shown, error == ELOOP ? u"它是一个符号链接"_s
                                              : QString::fromLocal8Bit(strerror(error))));
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return fail(Failure::LogUnavailable, u"%1 is not a regular file."_s.arg(shown));

    const int open = (access == Access::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                     SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(name.constData(), &s.db, open, nullptr) != SQLITE_OK)
        return fail(Failure::LogUnavailable, u"无法打开 %1：%2"_s.arg(shown, messageOf(s.db)));
    sqlite3_busy_timeout(s.db, m_busyTimeoutMs);
    // A table of another program's making runs no functions with side
    // effects from its triggers or views, and no schema can be written.
    sqlite3_db_config(s.db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(s.db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    if (access != Access::Read && sqlite3_db_readonly(s.db, "main") == 1)
        return fail(Failure::LogUnavailable, u"%1 can only be read."_s.arg(shown));

    // Ours, empty, or someone else's.
    qint64 values[3] = {};
    const char* const checks[] = {"PRAGMA main.application_id", "PRAGMA main.user_version",
                                  "SELECT count(*) FROM main.sqlite_schema"};
    for (int i = 0; i < 3; ++i) {
        Statement check(s.db, checks[i]);
        if (check.step() != SQLITE_ROW)
            return fail(logFailure(codeOf(s.db)),
                        u"无法读取 %1：%2"_s.arg(shown, messageOf(s.db)));
        values[i] = check.int64(0);
    }
    const bool ours = values[0] == ApplicationId && values[1] == LogVersion;
    const bool fresh = values[0] == 0 && values[1] == 0 && values[2] == 0;
    if (!ours && !fresh)
        return fail(Failure::LogDamaged, u"%1 不是本程序的撤销文件。"_s.arg(shown));
    if (fresh && access != Access::Create) {
        s.empty = true;
    } else if (fresh) {
        // auto_vacuum before the first table: dropped entries give their
        // room back to the disk.
        const QByteArray make =
            "PRAGMA main.auto_vacuum = FULL; BEGIN IMMEDIATE;"
            "CREATE TABLE main.entries (id INTEGER PRIMARY KEY, kind INTEGER NOT NULL,"
            " bookmark INTEGER NOT NULL, made INTEGER NOT NULL, after BLOB);"
            "CREATE TABLE main.cells (entry INTEGER NOT NULL, position INTEGER NOT NULL,"
            " name TEXT NOT NULL, value);"
            "CREATE INDEX main.cells_entry ON cells (entry, position);"
            "PRAGMA main.application_id = "
            + QByteArray::number(ApplicationId) + "; PRAGMA main.user_version = "
            + QByteArray::number(LogVersion) + "; COMMIT";
        if (!s.exec(make.constData()))
            return fail(logFailure(codeOf(s.db)),
                        u"无法创建 %1：%2"_s.arg(shown, messageOf(s.db)));
    }
    if (access == Access::Read)
        return true;

    // The database, by its path with every link resolved (NOFOLLOW holds
    // for it too).
    const QString database = QFileInfo(databasePath).canonicalFilePath();
    if (database.isEmpty())
        return fail(Failure::NoDatabase,
                    u"文档数据库 %1 不存在。"_s.arg(databasePath));
    {
        Statement attach(s.db, "ATTACH DATABASE ?1 AS docs");
        attach.bind(1, database.toUtf8());
        if (attach.step() != SQLITE_DONE)
            return fail(databaseFailure(codeOf(s.db)),
                        u"无法打开文档数据库：%1"_s.arg(messageOf(s.db)));
    }
    Statement info(s.db, "PRAGMA docs.table_info(\"WebDocuments\")");
    int rc;
    int columns = 0;
    int keys = 0;
    QByteArray key;
    while ((rc = info.step()) == SQLITE_ROW) {
        ++columns;
        if (sqlite3_column_int(info.get(), 5) > 0) {
            ++keys;
            if (QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2)))
                    .toUpper() == "INTEGER")
                key = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        }
    }
    if (rc != SQLITE_DONE)
        return fail(databaseFailure(codeOf(s.db)),
                    u"无法读取文档数据库：%1"_s.arg(messageOf(s.db)));
    if (columns == 0)
        return fail(Failure::NoDatabase, u"文档数据库中没有表 WebDocuments。"_s);
    if (keys == 1)
        s.alias = key;
    return true;
}
