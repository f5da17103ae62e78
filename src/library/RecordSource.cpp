#include "RecordSource.h"

#include "Schema.h"
#include "Sqlite.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace RecordSource {

QList<QByteArray> columnsIn(SqliteDatabase& db, const char* schema)
{
    QList<QByteArray> columns;
    SqliteStatement has;
    const bool ok = has.prepare(db, "SELECT 1 FROM pragma_table_info('WebDocuments', ?1) "
                                    "WHERE name = ?2",
                                nullptr, false);
    for (const QString& name : {Field::SourceTitle, Field::SourceUrl, Field::CollectedAt}) {
        has.reset();
        const bool present = ok && has.bindText(1, QString::fromLatin1(schema))
            && has.bindText(2, name) && has.step() == SqliteStep::Row;
        columns.append(present ? '"' + name.toUtf8() + '"' : QByteArray("''"));
    }
    return columns;
}

Source read(const QString& database, qint64 bookmark)
{
    SqliteDatabase db;
    SqliteStatement statement;
    if (!db.open(database, SqliteOpenMode::ReadOnly))
        return {};
    db.setBusyTimeout(500); // a tool tip does not wait long for the collector
    const QByteArray select = "SELECT " + columnsIn(db).join(", ")
        + " FROM WebDocuments WHERE rowid = ?1";
    if (!statement.prepare(db, select.constData(), nullptr, false)
        || !statement.bindInt64(1, bookmark) || statement.step() != SqliteStep::Row)
        return {};
    return {statement.columnText(0), statement.columnText(1), statement.columnText(2)};
}

QString toolTip(const Source& source)
{
    QStringList lines;
    if (!source.title.isEmpty())
        lines << u"来源：%1"_s.arg(source.title);
    if (!source.url.isEmpty())
        lines << u"网址：%1"_s.arg(source.url);
    if (!source.time.isEmpty())
        lines << u"收集时间：%1"_s.arg(source.time);
    return lines.join(u'\n');
}

std::optional<QUrl> webAddress(const Source& source)
{
    const QUrl url(source.url);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http"_s && scheme != u"https"_s))
        return std::nullopt;
    return url;
}

} // namespace RecordSource
