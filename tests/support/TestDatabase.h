#pragma once

#include "DataSource.h"
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

} // namespace TestFiles
