#pragma once

#include "DataSource.h"
#include "Sqlite.h"
#include "TestFiles.h"

namespace TestFiles {

// Every record of the database file as "title|content", in record order,
// read through a data source of its own; one line saying why when it cannot
// be read.
inline QStringList recordsIn(const QString& database)
{
    DataSource data;
    data.setDatabaseName(database);
    if (!data.Refresh())
        return {QStringLiteral("<cannot open>")};
    Recordset& records = data.recordset();
    QStringList all;
    for (; !records.isEOF(); records.MoveNext())
        all << records.field(QStringLiteral("标题")).value_or(QStringLiteral("<error>")) + u'|'
                   + records.field(QStringLiteral("内容")).value_or(QStringLiteral("<error>"));
    return all;
}

// Runs `sql` on the database file (made when missing), as another program would.
inline bool execOn(const QString& database, const char* sql)
{
    SqliteDatabase db;
    return db.open(database, SqliteOpenMode::ReadWriteCreate) && db.exec(sql);
}

// The first column of every row `sql` gives on the database file, as text;
// one line saying why when it cannot be read.
inline QStringList queryOn(const QString& database, const QByteArray& sql)
{
    SqliteDatabase db;
    SqliteStatement query;
    if (!db.open(database, SqliteOpenMode::ReadOnly) || !query.prepare(db, sql.constData()))
        return {QStringLiteral("<cannot read>")};
    QStringList rows;
    while (query.step() == SqliteStep::Row)
        rows << query.columnText(0);
    return rows;
}

// Rows that never end and never come: reading them runs for ever.
inline constexpr char EndlessSelect[] =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
    "SELECT i AS rowid, '' AS \"标题\", '' AS \"内容\" FROM n WHERE i < 0";

// SQL making WebDocuments a view over `select` that takes every write into a
// trigger that drops it, so that to SQLite it is as writable as a table.
inline QByteArray ignoringView(const char* select)
{
    QByteArray sql = "CREATE VIEW WebDocuments AS " + QByteArray(select) + ';';
    for (const QByteArray write : {"INSERT", "UPDATE", "DELETE"})
        sql += "CREATE TRIGGER " + write + "s INSTEAD OF " + write
            + " ON WebDocuments BEGIN SELECT RAISE(IGNORE); END;";
    return sql;
}

} // namespace TestFiles
