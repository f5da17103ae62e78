#pragma once

#include <QString>

// The table of WebDocuments.mdb exactly as Quorrel makes it: shared by the
// build tool that makes the empty database and the Access conversion.
inline constexpr char CreateWebDocumentsSql[] =
    "CREATE TABLE WebDocuments (\"标题\" TEXT, \"内容\" TEXT)";

// The fields of WebDocuments by name. The three source fields are extra TEXT
// columns that the record set adds on the first record stored with a
// source, so that other programs reading the file find them beside the
// record; a table without them reads as having empty sources.
namespace Field {
inline const QString Title = QStringLiteral("标题");
inline const QString Content = QStringLiteral("内容");
inline const QString SourceTitle = QStringLiteral("来源标题"); // the page's title
inline const QString SourceUrl = QStringLiteral("来源网址");   // its address or origin
inline const QString CollectedAt = QStringLiteral("收集时间"); // local time, CollectedAtFormat
// As QDateTime::toString() takes it: local time to the second.
inline const QString CollectedAtFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace Field
