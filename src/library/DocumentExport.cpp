#include "DocumentExport.h"

#include "Dialogs.h"
#include "ImportExport.h"
#include "RecordSource.h"
#include "SafeFile.h"
#include "Sqlite.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace DocumentExport {
namespace {

const QString Title = u"导出全部"_s;
// A group of records is read, then written with no lock on the database.
constexpr int GroupRows = 256;
constexpr qsizetype GroupChars = 4 * 1024 * 1024;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString reasonOf(int error)
{
    return ImportExport::reasonOfError(error);
}

QString reasonOf(const SqliteError& error)
{
    switch (error.code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return u"文档数据库正被其他程序占用"_s;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return u"不是有效的文档数据库"_s;
    case SQLITE_CANTOPEN:
        return u"文档数据库无法打开"_s;
    default:
        return u"读取失败\n"_s + error.message;
    }
}

bool isSpace(QChar c)
{
    return c == u' ' || c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// Text a Markdown reader gives back exactly, within a heading or list item.
QString inlineText(const QString& text)
{
    static const QString Markup = u"\\`*_{}[]<>#!&|~^$@\"'"_s;
    QString out;
    out.reserve(text.size() + text.size() / 4);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar before = i > 0 ? text.at(i - 1) : QChar();
        const QChar after = i + 1 < text.size() ? text.at(i + 1) : QChar();
        const bool paired = (c == u'-' || c == u'.') && (before == c || after == c); // -- ...
        if (Markup.contains(c) || paired) {
            out += u'\\';
            out += c;
        } else if (c == u' ' && i > 0 && !after.isNull() && !isSpace(before) && !isSpace(after)) {
            out += c; // a lone space between words is read as one
        } else if (isSpace(c)) {
            out += u"&#%1;"_s.arg(c.unicode());
        } else {
            out += c;
        }
    }
    return out;
}

bool isPlainWebAddress(const QString& url)
{
    if (!url.startsWith(u"http://"_s) && !url.startsWith(u"https://"_s))
        return false;
    return std::none_of(url.cbegin(), url.cend(), [](QChar c) {
        return isSpace(c) || c == u'<' || c == u'>' || c == u'\\' || c == u'&' || c == u'`';
    });
}

QString jsonString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += u"\\\""_s; break;
        case u'\\': out += u"\\\\"_s; break;
        case u'\n': out += u"\\n"_s; break;
        case u'\r': out += u"\\r"_s; break;
        case u'\t': out += u"\\t"_s; break;
        default:
            if (c.unicode() < 0x20)
                out += u"\\u%1"_s.arg(c.unicode(), 4, 16, QChar(u'0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

qsizetype longestBacktickRun(const QString& text)
{
    qsizetype longest = 0;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c == u'`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// Whether every line break is CR LF and there is no other CR.
bool onlyCrLf(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && (i + 1 == text.size() || text.at(i + 1) != u'\n'))
            return false;
        if (c == u'\n' && (i == 0 || text.at(i - 1) != u'\r'))
            return false;
    }
    return true;
}

} // namespace

std::optional<Format> formatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"md"_s || suffix == u"markdown"_s)
        return Format::Markdown;
    if (suffix == u"jsonl"_s)
        return Format::JsonLines;
    return std::nullopt;
}

QByteArray markdownOf(const Record& record)
{
    QString out = u"# "_s + inlineText(record.title) + u"\n\n"_s;
    const auto item = [&](const QString& label, const QString& value) {
        if (!value.isEmpty())
            out += u"- "_s + label + u"："_s + value + u'\n';
    };
    item(u"来源标题"_s, inlineText(record.sourceTitle));
    item(u"来源网址"_s, isPlainWebAddress(record.sourceUrl) ? u'<' + record.sourceUrl + u'>'
                                                          : inlineText(record.sourceUrl));
    item(u"收集时间"_s, inlineText(record.collected));
    if (!out.endsWith(u"\n\n"_s))
        out += u'\n';
    QString body = record.content;
    QString marks;
    if (body.contains(u'\r')) {
        if (onlyCrLf(body)) {
            body.replace(u"\r\n"_s, u"\n"_s);
            marks = u"{.crlf}"_s;
        } else {
            body = jsonString(body);
            marks = u"{.json}"_s;
        }
    }
    const QString fence(std::max<qsizetype>(3, longestBacktickRun(body) + 1), u'`');
    out += fence + marks + u'\n' + body + u'\n' + fence + u"\n\n"_s;
    return out.toUtf8();
}

QByteArray jsonLineOf(const Record& record)
{
    return (u"{\"title\":"_s + jsonString(record.title) + u",\"content\":"_s
            + jsonString(record.content) + u",\"source_title\":"_s
            + jsonString(record.sourceTitle) + u",\"source_url\":"_s
            + jsonString(record.sourceUrl) + u",\"collected_at\":"_s
            + jsonString(record.collected) + u"}\n"_s)
        .toUtf8();
}

Result exportTo(const QString& database, const QString& path, Format format,
                BatchProgress& progress)
{
    Result result;
    SqliteError e;
    const auto cannotRead = [&] {
        result.error = u"无法读取文档数据库“%1”（%2）"_s.arg(shown(database), reasonOf(e));
        return result;
    };
    if (!QFileInfo(database).isFile()) {
        result.error = u"文档数据库“%1”不存在"_s.arg(shown(database));
        return result;
    }
    SqliteDatabase db;
    SqliteStatement read;
    if (!db.open(database, SqliteOpenMode::ReadOnly, &e) || !db.setBusyTimeout(3000, &e)
        || !read.prepare(db, "SELECT type FROM sqlite_master WHERE name = 'WebDocuments'", &e)
        || read.step(&e) == SqliteStep::Failed)
        return cannotRead();
    if (read.columnText(0) != u"table"_s) { // no table, or a view that may never end
        e = {SQLITE_NOTADB, {}};
        return cannotRead();
    }
    // Source columns the table lacks read as empty.
    const QByteArray select = "SELECT rowid, \"标题\", \"内容\", "
        + RecordSource::columnsIn(db).join(", ")
        + " FROM WebDocuments WHERE rowid > ?1 ORDER BY rowid LIMIT ?2";
    if (!read.prepare(db, "SELECT count(*) FROM WebDocuments", &e)
        || read.step(&e) != SqliteStep::Row)
        return cannotRead();
    const qint64 total = read.columnInt64(0);
    if (!read.prepare(db, select.constData(), &e))
        return cannotRead();

    SafeFile::Writer out(path);
    const auto cannotWrite = [&] {
        result.error = u"无法写入文件“%1”（%2）"_s.arg(shown(path), reasonOf(out.errorCode()));
        return result;
    };
    if (out.errorCode() != 0)
        return cannotWrite();
    progress.begin(Title, u"正在导出到 %1 ……"_s.arg(shown(path)),
                   int(std::min<qint64>(total, std::numeric_limits<int>::max())));
    qint64 after = std::numeric_limits<qint64>::min();
    QList<Record> group;
    for (;;) {
        group.clear();
        qsizetype chars = 0;
        {
            const SqliteResetGuard done(read); // no lock kept while the group is written
            if (!read.bindInt64(1, after, &e) || !read.bindInt64(2, GroupRows, &e)) {
                progress.finish();
                return cannotRead();
            }
            SqliteStep step = SqliteStep::Done;
            while (chars < GroupChars && (step = read.step(&e)) == SqliteStep::Row) {
                after = read.columnInt64(0);
                group.append({read.columnText(1), read.columnText(2), read.columnText(3),
                              read.columnText(4), read.columnText(5)});
                chars += group.last().content.size();
            }
            if (chars < GroupChars && step == SqliteStep::Failed) {
                progress.finish();
                return cannotRead();
            }
        }
        if (group.isEmpty())
            break;
        for (const Record& record : std::as_const(group)) {
            if (!out.append(format == Format::Markdown ? markdownOf(record) : jsonLineOf(record))) {
                progress.finish();
                return cannotWrite();
            }
            ++result.done;
            if (progress.due() && !progress.update(int(std::min<qint64>(
                                      result.done, std::numeric_limits<int>::max())))) {
                progress.finish();
                result.cancelled = true;
                return result;
            }
        }
    }
    progress.finish();
    if (!out.commit())
        return cannotWrite();
    return result;
}

Result exportAsked(Dialogs& dialogs, QWidget* parent, const QString& database,
                   BatchProgress& progress)
{
    const QString path = dialogs.saveFileName(parent, Title, QString(),
                                              u"Markdown 文件 (*.md);;JSON Lines 文件 (*.jsonl)"_s);
    if (path.isEmpty())
        return {};
    Result result;
    if (const std::optional<Format> format = formatOf(path))
        result = exportTo(database, path, *format, progress);
    else
        result.error = u"只能导出为 Markdown（.md）或 JSON Lines（.jsonl）文件，“%1”两者都不是"_s
                           .arg(shown(path));
    if (!result.error.isEmpty())
        dialogs.message(parent, u"导出全部失败：%1。"_s.arg(result.error), Title,
                        Dialogs::Icon::Warning);
    return result;
}

int exportCommand(const QString& file, const QString& database, BatchProgress& progress,
                  QString* out, QString* err)
{
    const std::optional<Format> format = formatOf(file);
    if (!format) {
        *err = u"%1: 只能导出为 Markdown（.md）或 JSON Lines（.jsonl）文件"_s.arg(file);
        return 2;
    }
    const Result result = exportTo(database, file, *format, progress);
    if (result.cancelled) {
        *err = u"%1: 已中断，文件没有写入"_s.arg(file);
        return 1;
    }
    if (!result.error.isEmpty()) {
        *err = result.error;
        return 1;
    }
    *out = u"已导出 %1 篇文档到 %2\n"_s.arg(result.done).arg(file);
    return 0;
}

} // namespace DocumentExport
