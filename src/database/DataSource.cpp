#include "DataSource.h"

#include "AccessImport.h"
#include "Schema.h"
#include "Sqlite.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const QString Deleted = u"没有当前记录：它已被另一个程序删除。"_s;

// The source fields, as the record set counts them from 0.
const QString* const SourceFields[] = {&Field::SourceTitle, &Field::SourceUrl, &Field::CollectedAt};

// 0 for 标题, 1 for 内容, 2 + the source's number for a source field, -1 for
// anything else.
int fieldIndex(const QString& name)
{
    if (name == Field::Title)
        return 0;
    if (name == Field::Content)
        return 1;
    for (int source = 0; source < 3; ++source) {
        if (name == *SourceFields[source])
            return 2 + source;
    }
    return -1;
}

// Brackets, not double quotes: SQLite reads a double-quoted name that names
// no column as a string, so a field that is gone would read as its own name.
QByteArray quoted(const QString& field)
{
    return '[' + field.toUtf8() + ']';
}

DataErrorKind kindOf(int sqliteCode)
{
    switch (sqliteCode) {
    case SQLITE_NOTADB:
        return DataErrorKind::NotADatabase;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DataErrorKind::Busy;
    case SQLITE_READONLY:
        return DataErrorKind::ReadOnly;
    case SQLITE_CANTOPEN:
        return DataErrorKind::CannotOpen;
    case SQLITE_INTERRUPT:
        return DataErrorKind::TimedOut;
    default:
        return DataErrorKind::Failed;
    }
}

} // namespace

// One open file with every statement the record set needs, prepared once.
// Members are destroyed in reverse order: the statements before the database.
struct Recordset::Connection {
    SqliteDatabase db;
    SqliteStatement first;
    SqliteStatement last;
    SqliteStatement next;
    SqliteStatement exists;
    SqliteStatement title;
    SqliteStatement content;
    SqliteStatement insert;
    SqliteStatement update;
    SqliteStatement remove;
    SqliteStatement count;
    SqliteStatement titles;
    SqliteStatement bookmarks;
    SqliteStatement titlePage;
    SqliteStatement schemaVersion;
    SqliteStatement source[3]; // made when the field is first read

    // Which source fields the table has, as of the schema version read with them.
    std::array<bool, 3> sourceColumn{};
    qint64 columnsOfVersion = -1;

    // Reads again which source fields the table has, unless the schema is
    // the one they were read from; another program may have added them.
    bool readSourceColumns(bool always, SqliteError* error = nullptr)
    {
        {
            SqliteResetGuard guard(schemaVersion);
            if (schemaVersion.step(error) != SqliteStep::Row)
                return false;
            if (!always && schemaVersion.columnInt64(0) == columnsOfVersion)
                return true;
            columnsOfVersion = schemaVersion.columnInt64(0);
        }
        SqliteStatement pragma;
        if (!pragma.prepare(db, "PRAGMA table_info(\"WebDocuments\")", error, false))
            return false;
        sourceColumn = {};
        SqliteStep step;
        while ((step = pragma.step(error)) == SqliteStep::Row) {
            for (int i = 0; i < 3; ++i)
                sourceColumn[i] = sourceColumn[i] || pragma.columnText(1) == *SourceFields[i];
        }
        return step == SqliteStep::Done;
    }

    bool prepareAll(SqliteError* error)
    {
        // Fields go in through NULL-coalescing so that an Edit that set only
        // one field leaves the other as it is.
        const std::pair<SqliteStatement*, const char*> all[] = {
            {&first, "SELECT rowid FROM WebDocuments ORDER BY rowid LIMIT 1"},
            {&last, "SELECT rowid FROM WebDocuments ORDER BY rowid DESC LIMIT 1"},
            {&next, "SELECT rowid FROM WebDocuments WHERE rowid > ?1 ORDER BY rowid LIMIT 1"},
            {&exists, "SELECT 1 FROM WebDocuments WHERE rowid = ?1"},
            {&title, "SELECT \"标题\" FROM WebDocuments WHERE rowid = ?1"},
            {&content, "SELECT \"内容\" FROM WebDocuments WHERE rowid = ?1"},
            {&insert, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)"},
            {&update, "UPDATE WebDocuments SET \"标题\" = coalesce(?1, \"标题\"), "
                      "\"内容\" = coalesce(?2, \"内容\") WHERE rowid = ?3"},
            {&remove, "DELETE FROM WebDocuments WHERE rowid = ?1"},
            {&count, "SELECT count(*) FROM WebDocuments"},
            {&titles, "SELECT rowid, \"标题\" FROM WebDocuments ORDER BY rowid"},
            {&bookmarks, "SELECT rowid FROM WebDocuments WHERE rowid > ?1 ORDER BY rowid LIMIT ?2"},
            {&titlePage, "SELECT rowid, substr(\"标题\", 1, ?3) FROM WebDocuments "
                         "WHERE rowid >= ?1 ORDER BY rowid LIMIT ?2"},
            {&schemaVersion, "PRAGMA schema_version"},
        };
        for (const auto& [statement, sql] : all) {
            if (!statement->prepare(db, sql, error))
                return false;
        }
        return true;
    }
};

// --- Recordset ---

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

bool Recordset::succeed() const
{
    m_lastError = DataError();
    return true;
}

bool Recordset::fail(DataErrorKind kind, const QString& message, QString* error) const
{
    m_lastError = DataError{kind, message};
    if (error)
        *error = message;
    return false;
}

bool Recordset::failSqlite(int code, const QString& what, const QString& sqliteMessage,
                           QString* error) const
{
    const DataErrorKind kind = kindOf(code);
    const QString file = QDir::toNativeSeparators(m_path);
    QString message;
    // The user's sentence first; what SQLite said, in its English, on a
    // second line for whoever looks into it.
    switch (kind) {
    case DataErrorKind::NotADatabase:
        message = u"%1：%2 不是 SQLite 3 数据库，不能作为文档数据库使用。"_s.arg(what, file);
        break;
    case DataErrorKind::Busy:
        message = u"%1：另一个程序占用 %2 的时间太长。"_s.arg(what, file);
        break;
    case DataErrorKind::ReadOnly:
        message = u"%1：%2 只能读取，不能写入。"_s.arg(what, file);
        break;
    case DataErrorKind::TimedOut:
        message = u"%1：%2 中的一项操作超过了时限，已被中止（文件中可能有不会结束的触发器）。"_s
                      .arg(what, file);
        break;
    case DataErrorKind::CannotOpen:
        message = u"%1：无法打开 %2。"_s.arg(what, file);
        break;
    default:
        message = u"%1：%2 出错。"_s.arg(what, file);
        break;
    }
    if (!sqliteMessage.isEmpty())
        message += u"\nSQLite: "_s + sqliteMessage;
    return fail(kind, message, error);
}

bool Recordset::open(const QString& path, bool readOnly, int busyTimeoutMs, int stepTimeLimitMs)
{
    close(DataError());
    m_path = path;
    const QString file = QDir::toNativeSeparators(path);
    const auto refuse = [this](DataErrorKind kind, const QString& message) {
        close(DataError{kind, message});
        return fail(kind, message, nullptr);
    };
    const auto refuseSqlite = [this](const SqliteError& e) {
        failSqlite(e.code, u"无法打开文档数据库"_s, e.message, nullptr);
        close(m_lastError);
        return false;
    };

    // An empty name or ":memory:" would give SQLite's temporary databases,
    // so only an existing file, by its absolute path, is ever handed over.
    if (path.isEmpty())
        return refuse(DataErrorKind::FileMissing, u"没有指定文档数据库文件。"_s);
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(DataErrorKind::FileMissing,
                      u"文档数据库 %1 不存在。"_s.arg(file));
    if (info.isDir())
        return refuse(DataErrorKind::CannotOpen,
                      u"文档数据库 %1 是一个文件夹，不是文件。"_s.arg(file));

    auto connection = std::make_unique<Connection>();
    SqliteError e;
    if (!connection->db.open(info.absoluteFilePath(),
                             readOnly ? SqliteOpenMode::ReadOnly : SqliteOpenMode::ReadWrite, &e))
        return refuseSqlite(e);
    connection->db.setBusyTimeout(busyTimeoutMs);
    connection->db.setStepTimeLimit(stepTimeLimitMs);

    // The first read of the file: a file that is not SQLite fails here. Only
    // a plain table is ours: a view can run any query (one that never ends)
    // and take writes into triggers, a virtual table is another program's
    // code, and a table without rowid has no bookmarks.
    {
        SqliteStatement list;
        if (!list.prepare(connection->db, "PRAGMA main.table_list(\"WebDocuments\")", &e, false))
            return refuseSqlite(e);
        const SqliteStep step = list.step(&e);
        if (step == SqliteStep::Failed)
            return refuseSqlite(e);
        const QString noTable = u"文档数据库 %1 中没有表 WebDocuments。"_s.arg(file);
        if (step == SqliteStep::Done)
            return refuse(DataErrorKind::MissingTable, noTable);
        const QString type = list.columnText(2);
        if (type != u"table"_s || list.columnInt64(4) != 0)
            return refuse(DataErrorKind::MissingTable,
                          noTable + u"\nWebDocuments: "_s
                              + (type == u"table"_s ? u"WITHOUT ROWID"_s : type));
    }
    QStringList columns;
    {
        SqliteStatement pragma;
        if (!pragma.prepare(connection->db, "PRAGMA table_info(\"WebDocuments\")", &e, false))
            return refuseSqlite(e);
        SqliteStep step;
        while ((step = pragma.step(&e)) == SqliteStep::Row)
            columns << pragma.columnText(1);
        if (step == SqliteStep::Failed)
            return refuseSqlite(e);
    }
    for (const QString& name : {u"标题"_s, u"内容"_s}) {
        if (!columns.contains(name))
            return refuse(DataErrorKind::MissingField,
                          u"文档数据库 %1 的表 WebDocuments 中没有字段“%2”。"_s.arg(file, name));
    }
    if (!connection->prepareAll(&e) || !connection->readSourceColumns(true, &e))
        return refuseSqlite(e);

    m_connection = std::move(connection);
    bool ok = false;
    const std::optional<qint64> first = seek(std::nullopt, &ok, nullptr);
    if (!ok) {
        close(m_lastError);
        return false;
    }
    m_position = first ? Position::Current : Position::PastEnd;
    m_rowid = first.value_or(0);
    return succeed();
}

void Recordset::close(const DataError& why)
{
    m_connection.reset();
    m_openError = why;
    m_position = Position::None;
    m_rowid = 0;
    m_lastModified.reset();
    cancelPending();
}

void Recordset::setBusyTimeout(int milliseconds)
{
    if (m_connection)
        m_connection->db.setBusyTimeout(milliseconds);
}

void Recordset::cancelPending()
{
    m_pending = Pending::None;
    m_pendingTitle.reset();
    m_pendingContent.reset();
    m_pendingSource = {};
}

// True when Update has a source to write: an empty one on a table without
// the source fields stores the record exactly as before they were kept.
bool Recordset::sourcePending() const
{
    for (int i = 0; i < 3; ++i) {
        if (m_pendingSource[i] && (!m_pendingSource[i]->isEmpty() || hasSourceColumn(i)))
            return true;
    }
    return false;
}

bool Recordset::hasSourceColumn(int source) const
{
    // Looked at again whenever the schema changed: another program may have
    // added the fields, a rolled-back transaction taken them away again. A
    // failed look counts as "not there": the field then reads as "".
    return m_connection->readSourceColumns(false) && m_connection->sourceColumn[source];
}

bool Recordset::requireOpen(QString* error) const
{
    if (m_connection)
        return true;
    if (m_openError.message.isEmpty())
        return fail(DataErrorKind::NotOpen, u"文档数据库没有打开。"_s, error);
    return fail(DataErrorKind::NotOpen, u"文档数据库没有打开："_s + m_openError.message, error);
}

bool Recordset::requireCurrent(QString* error) const
{
    switch (m_position) {
    case Position::Current:
        return true;
    case Position::Deleted:
        return fail(DataErrorKind::NoCurrentRecord,
                    u"没有当前记录：它已被删除，请先移到另一条记录。"_s,
                    error);
    case Position::PastEnd:
    case Position::None:
        break;
    }
    return fail(DataErrorKind::NoCurrentRecord,
                u"没有当前记录：没有记录，或已经过了最后一条记录。"_s,
                error);
}

std::optional<bool> Recordset::rowExists(qint64 rowid, SqliteError* error)
{
    SqliteStatement& statement = m_connection->exists;
    SqliteResetGuard guard(statement);
    if (!statement.bindInt64(1, rowid, error))
        return std::nullopt;
    switch (statement.step(error)) {
    case SqliteStep::Row:
        return true;
    case SqliteStep::Done:
        return false;
    case SqliteStep::Failed:
        break;
    }
    return std::nullopt;
}

bool Recordset::failUnchanged(const SqliteError& checking, const QString& what,
                              const QString& notDone, QString* error)
{
    if (checking.code != 0) // the check itself failed
        return failSqlite(checking.code, what, checking.message, error);
    return fail(DataErrorKind::Failed,
                u"%1：%2 %3（表上的触发器可能忽略了这项操作）。"_s.arg(
                    what, QDir::toNativeSeparators(m_path), notDone),
                error);
}

std::optional<qint64> Recordset::seek(std::optional<qint64> after, bool* ok, QString* error)
{
    SqliteStatement& statement = after ? m_connection->next : m_connection->first;
    SqliteResetGuard guard(statement);
    SqliteError e;
    if (after && !statement.bindInt64(1, *after, &e)) {
        *ok = failSqlite(e.code, u"无法移到下一条记录"_s, e.message, error);
        return std::nullopt;
    }
    switch (statement.step(&e)) {
    case SqliteStep::Row:
        *ok = true;
        return statement.columnInt64(0);
    case SqliteStep::Done:
        *ok = true;
        return std::nullopt;
    case SqliteStep::Failed:
        break;
    }
    *ok = failSqlite(e.code, u"无法移到另一条记录"_s, e.message, error);
    return std::nullopt;
}

bool Recordset::MoveFirst(QString* error)
{
    if (!requireOpen(error))
        return false;
    cancelPending();
    bool ok = false;
    const std::optional<qint64> first = seek(std::nullopt, &ok, error);
    if (!ok)
        return false;
    if (!first) {
        m_position = Position::PastEnd;
        return fail(DataErrorKind::NoCurrentRecord, u"没有当前记录：表中没有记录。"_s,
                    error);
    }
    m_position = Position::Current;
    m_rowid = *first;
    return succeed();
}

bool Recordset::MoveLast(QString* error)
{
    if (!requireOpen(error))
        return false;
    cancelPending();
    SqliteStatement& statement = m_connection->last;
    SqliteResetGuard guard(statement);
    SqliteError e;
    switch (statement.step(&e)) {
    case SqliteStep::Row:
        m_position = Position::Current;
        m_rowid = statement.columnInt64(0);
        return succeed();
    case SqliteStep::Done:
        m_position = Position::PastEnd;
        return fail(DataErrorKind::NoCurrentRecord, u"没有当前记录：表中没有记录。"_s,
                    error);
    case SqliteStep::Failed:
        break;
    }
    return failSqlite(e.code, u"无法移到最后一条记录"_s, e.message, error);
}

bool Recordset::BeginTrans(QString* error)
{
    if (!requireOpen(error))
        return false;
    if (inTransaction())
        return fail(DataErrorKind::Failed, u"事务已经开始。"_s, error);
    SqliteError e;
    if (!m_connection->db.exec("BEGIN", &e))
        return failSqlite(e.code, u"无法开始事务"_s, e.message, error);
    return succeed();
}

bool Recordset::CommitTrans(QString* error)
{
    if (!requireOpen(error))
        return false;
    if (!inTransaction())
        return fail(DataErrorKind::Failed, u"没有已开始的事务。"_s, error);
    SqliteError e;
    if (!m_connection->db.exec("COMMIT", &e)) {
        // A commit that stays pending would keep the file locked; the caller
        // learns from the error that nothing of it was stored.
        Rollback();
        return failSqlite(e.code, u"无法保存事务中的记录"_s, e.message,
                          error);
    }
    return succeed();
}

void Recordset::Rollback()
{
    if (!inTransaction())
        return;
    m_connection->db.exec("ROLLBACK");
    m_lastModified.reset(); // it may name a record that is gone again
}

bool Recordset::inTransaction() const
{
    return m_connection && m_connection->db.inTransaction();
}

bool Recordset::MoveNext(QString* error)
{
    if (!requireOpen(error))
        return false;
    if (m_position == Position::PastEnd || m_position == Position::None)
        return fail(DataErrorKind::NoCurrentRecord,
                    u"没有当前记录：已经过了最后一条记录。"_s, error);
    cancelPending();
    bool ok = false;
    const std::optional<qint64> next = seek(m_rowid, &ok, error);
    if (!ok)
        return false;
    // Past the end the last rowid is kept; only EOF says there is nothing more.
    m_position = next ? Position::Current : Position::PastEnd;
    m_rowid = next.value_or(m_rowid);
    return succeed();
}

bool Recordset::isEOF() const
{
    return m_position == Position::PastEnd || m_position == Position::None;
}

std::optional<qint64> Recordset::Bookmark() const
{
    if (m_position == Position::Current)
        return m_rowid;
    return std::nullopt;
}

std::optional<qint64> Recordset::LastModified() const
{
    return m_lastModified;
}

bool Recordset::setBookmark(qint64 bookmark, QString* error)
{
    if (!requireOpen(error))
        return false;
    SqliteStatement& statement = m_connection->exists;
    SqliteResetGuard guard(statement);
    SqliteError e;
    statement.bindInt64(1, bookmark);
    switch (statement.step(&e)) {
    case SqliteStep::Row:
        cancelPending();
        m_position = Position::Current;
        m_rowid = bookmark;
        return succeed();
    case SqliteStep::Done:
        return fail(DataErrorKind::InvalidBookmark,
                    u"没有书签为 %1 的记录（它可能已被删除）。"_s.arg(bookmark),
                    error);
    case SqliteStep::Failed:
        break;
    }
    return failSqlite(e.code, u"无法转到书签所指的记录"_s, e.message, error);
}

bool Recordset::AddNew(QString* error)
{
    if (!requireOpen(error))
        return false;
    if (m_connection->db.isReadOnly())
        return failSqlite(SQLITE_READONLY, u"无法添加记录"_s, QString(), error);
    cancelPending();
    m_pending = Pending::Adding;
    return succeed();
}

bool Recordset::Edit(QString* error)
{
    if (!requireOpen(error) || !requireCurrent(error))
        return false;
    if (m_connection->db.isReadOnly())
        return failSqlite(SQLITE_READONLY, u"无法修改记录"_s, QString(), error);
    SqliteStatement& statement = m_connection->exists;
    SqliteResetGuard guard(statement);
    SqliteError e;
    statement.bindInt64(1, m_rowid);
    switch (statement.step(&e)) {
    case SqliteStep::Row:
        cancelPending();
        m_pending = Pending::Editing;
        return succeed();
    case SqliteStep::Done:
        return fail(DataErrorKind::NoCurrentRecord,
                    Deleted, error);
    case SqliteStep::Failed:
        break;
    }
    return failSqlite(e.code, u"无法修改记录"_s, e.message, error);
}

bool Recordset::setField(const QString& name, const QString& value, QString* error)
{
    if (!requireOpen(error))
        return false;
    const int index = fieldIndex(name);
    if (index < 0)
        return fail(DataErrorKind::UnknownField,
                    u"表 WebDocuments 中没有字段“%1”，它的字段是“标题”和“内容”。"_s.arg(name),
                    error);
    if (m_pending == Pending::None)
        return fail(DataErrorKind::NotEditing,
                    u"只有在添加或修改记录时才能设置字段。"_s, error);
    (index == 0 ? m_pendingTitle : index == 1 ? m_pendingContent : m_pendingSource[index - 2]) =
        value;
    return succeed();
}

void Recordset::CancelUpdate()
{
    cancelPending();
}

bool Recordset::Update(QString* error)
{
    if (!requireOpen(error))
        return false;
    if (!sourcePending())
        return storeFields(error);
    // The record, its source and the fields that may be added for it reach
    // the file together or not at all; the write lock is taken first, as
    // another writer holding it could otherwise never let this one go on.
    const bool outer = !inTransaction();
    SqliteError e;
    if (!m_connection->db.exec(outer ? "BEGIN IMMEDIATE" : "SAVEPOINT source", &e))
        return failSqlite(e.code, u"无法保存记录"_s, e.message, error);
    const auto pending = std::tuple(m_pending, m_pendingTitle, m_pendingContent, m_pendingSource,
                                    m_lastModified);
    if (!storeFields(error)) {
        m_connection->db.exec(outer ? "ROLLBACK" : "ROLLBACK TO source; RELEASE source");
        return false;
    }
    if (storeSource(*m_lastModified, std::get<3>(pending), &e)
        && m_connection->db.exec(outer ? "COMMIT" : "RELEASE source", &e))
        return succeed();
    m_connection->db.exec(outer ? "ROLLBACK" : "ROLLBACK TO source; RELEASE source");
    m_connection->readSourceColumns(true); // the fields may be gone again
    std::tie(m_pending, m_pendingTitle, m_pendingContent, m_pendingSource, m_lastModified) = pending;
    return failSqlite(e.code, u"无法保存记录的来源"_s, e.message, error);
}

bool Recordset::storeSource(qint64 rowid, const std::array<std::optional<QString>, 3>& values,
                            SqliteError* e)
{
    const bool adding = std::any_of(values.begin(), values.end(),
                                    [](const auto& value) { return value && !value->isEmpty(); });
    // Read inside the transaction: another program may have added some.
    if (adding && !m_connection->readSourceColumns(true, e))
        return false;
    QByteArray assignments;
    QList<int> bound;
    for (int i = 0; i < 3; ++i) {
        // All three at once, so that other programs find one shape of table.
        if (adding && !m_connection->sourceColumn[i]) {
            const QByteArray add = "ALTER TABLE WebDocuments ADD COLUMN " + quoted(*SourceFields[i])
                + " TEXT";
            if (!m_connection->db.exec(add.constData(), e))
                return false;
            m_connection->columnsOfVersion = -1; // read again with the new schema's version
            m_connection->sourceColumn[i] = true;
        }
        if (!values[i] || !m_connection->sourceColumn[i])
            continue; // nothing to set, or nothing to clear
        bound << i;
        assignments += (assignments.isEmpty() ? "" : ", ") + quoted(*SourceFields[i]) + " = ?"
            + QByteArray::number(bound.size());
    }
    if (bound.isEmpty())
        return true;
    SqliteStatement update;
    const QByteArray sql = "UPDATE WebDocuments SET " + assignments + " WHERE rowid = ?"
        + QByteArray::number(bound.size() + 1);
    if (!update.prepare(m_connection->db, sql.constData(), e, false))
        return false;
    for (int n = 0; n < bound.size(); ++n) {
        if (!update.bindText(n + 1, *values[bound[n]], e))
            return false;
    }
    return update.bindInt64(bound.size() + 1, rowid, e) && update.step(e) == SqliteStep::Done;
}

bool Recordset::storeFields(QString* error)
{
    if (!requireOpen(error))
        return false;
    SqliteError e;
    switch (m_pending) {
    case Pending::None:
        return fail(DataErrorKind::NotEditing, u"须先添加或修改记录，才能保存。"_s, error);

    case Pending::Adding: {
        SqliteStatement& statement = m_connection->insert;
        SqliteResetGuard guard(statement);
        if (!statement.bindText(1, m_pendingTitle.value_or(QString()), &e)
            || !statement.bindText(2, m_pendingContent.value_or(QString()), &e)
            || statement.step(&e) != SqliteStep::Done)
            return failSqlite(e.code, u"无法保存新记录"_s, e.message, error);
        // A trigger of a foreign file may have skipped the row (RAISE(IGNORE))
        // or removed it again: then nothing was stored, whatever SQLite says.
        const qint64 added = m_connection->db.lastInsertRowId();
        if (m_connection->db.changes() != 1 || rowExists(added, &e) != true)
            return failUnchanged(e, u"无法保存新记录"_s, u"没有存入这条记录"_s, error);
        m_lastModified = added;
        cancelPending();
        return succeed();
    }

    case Pending::Editing: {
        SqliteStatement& statement = m_connection->update;
        SqliteResetGuard guard(statement);
        // An unset field binds NULL, which the statement turns into "keep".
        const auto bindField = [&](int index, const std::optional<QString>& value) {
            return value ? statement.bindText(index, *value, &e) : statement.bindNull(index, &e);
        };
        if (!bindField(1, m_pendingTitle) || !bindField(2, m_pendingContent)
            || !statement.bindInt64(3, m_rowid, &e) || statement.step(&e) != SqliteStep::Done)
            return failSqlite(e.code, u"无法保存修改后的记录"_s, e.message, error);
        const bool changed = m_connection->db.changes() == 1;
        const std::optional<bool> exists = rowExists(m_rowid, &e);
        if (exists == false) {
            cancelPending(); // the change has nowhere to go
            return fail(DataErrorKind::NoCurrentRecord, Deleted, error);
        }
        if (!changed || !exists.has_value())
            return failUnchanged(e, u"无法保存修改后的记录"_s, u"没有改动这条记录"_s, error);
        m_lastModified = m_rowid;
        cancelPending();
        return succeed();
    }
    }
    return false;
}

bool Recordset::Delete(QString* error)
{
    if (!requireOpen(error) || !requireCurrent(error))
        return false;
    cancelPending();
    SqliteStatement& statement = m_connection->remove;
    SqliteResetGuard guard(statement);
    SqliteError e;
    if (!statement.bindInt64(1, m_rowid, &e) || statement.step(&e) != SqliteStep::Done)
        return failSqlite(e.code, u"无法删除记录"_s, e.message, error);
    const bool removed = m_connection->db.changes() == 1;
    const std::optional<bool> exists = rowExists(m_rowid, &e);
    // A record a trigger kept stays current; one that is gone is gone
    // either way, and MoveNext continues after its rowid.
    if (exists != false)
        return failUnchanged(e, u"无法删除记录"_s, u"没有删除这条记录"_s, error);
    m_position = Position::Deleted;
    if (!removed)
        return fail(DataErrorKind::NoCurrentRecord, Deleted, error);
    return succeed();
}

std::optional<QString> Recordset::field(const QString& name, QString* error) const
{
    if (!requireOpen(error))
        return std::nullopt;
    const int index = fieldIndex(name);
    if (index < 0) {
        fail(DataErrorKind::UnknownField,
             u"表 WebDocuments 中没有字段“%1”，它的字段是“标题”和“内容”。"_s.arg(name), error);
        return std::nullopt;
    }
    if (m_pending != Pending::None) {
        const std::optional<QString>& pending = index == 0 ? m_pendingTitle
            : index == 1                                   ? m_pendingContent
                                                           : m_pendingSource[index - 2];
        if (pending || m_pending == Pending::Adding) {
            succeed();
            return pending.value_or(QString());
        }
    }
    if (!requireCurrent(error))
        return std::nullopt;
    SqliteError e;
    if (index >= 2) {
        SqliteStatement& source = m_connection->source[index - 2];
        if (!hasSourceColumn(index - 2)) {
            succeed();
            return QString();
        }
        const QByteArray sql = "SELECT " + quoted(name) + " FROM WebDocuments WHERE rowid = ?1";
        if (!source.isPrepared() && !source.prepare(m_connection->db, sql.constData(), &e)) {
            failSqlite(e.code, u"无法读取字段“%1”"_s.arg(name), e.message, error);
            return std::nullopt;
        }
    }
    SqliteStatement& statement = index == 0 ? m_connection->title
        : index == 1                        ? m_connection->content
                                            : m_connection->source[index - 2];
    SqliteResetGuard guard(statement);
    statement.bindInt64(1, m_rowid);
    switch (statement.step(&e)) {
    case SqliteStep::Row:
        succeed();
        return statement.columnText(0);
    case SqliteStep::Done:
        fail(DataErrorKind::NoCurrentRecord, Deleted,
             error);
        return std::nullopt;
    case SqliteStep::Failed:
        break;
    }
    failSqlite(e.code, u"无法读取字段“%1”"_s.arg(name), e.message, error);
    return std::nullopt;
}

std::optional<qint64> Recordset::recordCount(QString* error) const
{
    if (!requireOpen(error))
        return std::nullopt;
    SqliteStatement& statement = m_connection->count;
    SqliteResetGuard guard(statement);
    SqliteError e;
    if (statement.step(&e) != SqliteStep::Row) {
        failSqlite(e.code, u"无法统计记录数"_s, e.message, error);
        return std::nullopt;
    }
    succeed();
    return statement.columnInt64(0);
}

std::optional<QList<TitleEntry>> Recordset::titles(QString* error) const
{
    if (!requireOpen(error))
        return std::nullopt;
    SqliteStatement& statement = m_connection->titles;
    SqliteResetGuard guard(statement);
    SqliteError e;
    QList<TitleEntry> result;
    SqliteStep step;
    while ((step = statement.step(&e)) == SqliteStep::Row)
        result.append(TitleEntry{statement.columnInt64(0), statement.columnText(1)});
    if (step == SqliteStep::Failed) {
        failSqlite(e.code, u"无法列出标题"_s, e.message, error);
        return std::nullopt;
    }
    succeed();
    return result;
}

std::optional<QList<qint64>> Recordset::bookmarks(qint64 after, qint64 limit,
                                                  QString* error) const
{
    if (!requireOpen(error))
        return std::nullopt;
    SqliteStatement& statement = m_connection->bookmarks;
    SqliteResetGuard guard(statement);
    SqliteError e;
    QList<qint64> result;
    if (!statement.bindInt64(1, after, &e) || !statement.bindInt64(2, limit < 0 ? -1 : limit, &e)) {
        failSqlite(e.code, u"无法列出记录"_s, e.message, error);
        return std::nullopt;
    }
    if (limit > 0)
        result.reserve(limit);
    SqliteStep step;
    while ((step = statement.step(&e)) == SqliteStep::Row)
        result.append(statement.columnInt64(0));
    if (step == SqliteStep::Failed) {
        failSqlite(e.code, u"无法列出记录"_s, e.message, error);
        return std::nullopt;
    }
    succeed();
    return result;
}

std::optional<QList<TitleEntry>> Recordset::titlesFrom(qint64 first, int limit,
                                                       int maxTitleLength, QString* error) const
{
    if (!requireOpen(error))
        return std::nullopt;
    SqliteStatement& statement = m_connection->titlePage;
    SqliteResetGuard guard(statement);
    SqliteError e;
    QList<TitleEntry> result;
    if (!statement.bindInt64(1, first, &e) || !statement.bindInt64(2, qMax(limit, 0), &e)
        || !statement.bindInt64(3, qMax(maxTitleLength, 0), &e)) {
        failSqlite(e.code, u"无法列出标题"_s, e.message, error);
        return std::nullopt;
    }
    result.reserve(qMax(limit, 0));
    SqliteStep step;
    while ((step = statement.step(&e)) == SqliteStep::Row)
        result.append(TitleEntry{statement.columnInt64(0), statement.columnText(1)});
    if (step == SqliteStep::Failed) {
        failSqlite(e.code, u"无法列出标题"_s, e.message, error);
        return std::nullopt;
    }
    succeed();
    return result;
}

// --- DataSource ---

DataSource::DataSource() = default;
DataSource::~DataSource() = default;

void DataSource::setDatabaseName(const QString& path)
{
    m_path = path;
}

QString DataSource::DatabaseName() const
{
    return m_path;
}

QString DataSource::RecordSource() const
{
    return u"WebDocuments"_s;
}

bool DataSource::Refresh(QString* error)
{
    if (m_convertAccess && AccessFile::isAccess(m_path))
        m_convertAccess(m_path);
    if (m_recordset.open(m_path, m_readOnly, m_busyTimeoutMs, m_stepTimeLimitMs))
        return true;
    if (error)
        *error = m_recordset.lastError().message;
    return false;
}

Recordset& DataSource::recordset()
{
    return m_recordset;
}

bool DataSource::isOpen() const
{
    return m_recordset.isOpen();
}

const DataError& DataSource::lastError() const
{
    return m_recordset.lastError();
}

void DataSource::setBusyTimeout(int milliseconds)
{
    m_busyTimeoutMs = milliseconds;
    m_recordset.setBusyTimeout(milliseconds);
}

void DataSource::setStepTimeLimit(int milliseconds)
{
    m_stepTimeLimitMs = milliseconds;
}

void DataSource::setAccessConverter(std::function<void(const QString& path)> convert)
{
    m_convertAccess = std::move(convert);
}

void DataSource::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
}
