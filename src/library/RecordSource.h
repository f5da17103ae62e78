#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Where a record came from, as the collector keeps it beside the record in
// the columns 来源标题, 来源网址 and 收集时间 of WebDocuments (a table made
// before sources were kept has none, and reads as no source). Read on its
// own connection by bookmark, so a tool tip never moves the browser's
// current record.
class SqliteDatabase;

namespace RecordSource {

// The source title, address and time of `schema`.WebDocuments as SQL
// expressions: the quoted column where the table has it, '' where not (a
// quoted name of no column would read as that text).
QList<QByteArray> columnsIn(SqliteDatabase& db, const char* schema = "main");

struct Source {
    QString title;
    QString url;
    QString time;
    bool isEmpty() const { return title.isEmpty() && url.isEmpty() && time.isEmpty(); }
};

// The record's source; empty when it has none or cannot be read.
Source read(const QString& database, qint64 bookmark);
// The list row's tool tip: one line each for what is known; "" for nothing.
QString toolTip(const Source& source);
// The address to open in a web browser: only a valid http or https one.
std::optional<QUrl> webAddress(const Source& source);

} // namespace RecordSource
