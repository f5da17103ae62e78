#include "CollectedTexts.h"

#include "CacheJournal.h"
#include "Collector.h"
#include "DataSource.h"
#include "DropText.h"
#include "Encoding.h"
#include "FileStamp.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool failWith(QString* error, int code)
{
    if (error)
        *error = qt_error_string(code);
    return false;
}

QJsonObject taken(const CollectedTexts::Entry& entry)
{
    const SaveSettings& s = entry.settings;
    return {{u"k"_s, u"T"_s},
            {u"id"_s, entry.id},
            {u"text"_s, entry.text},
            {u"title"_s, entry.source.title},
            {u"url"_s, entry.source.url},
            {u"time"_s, entry.source.time},
            {u"save"_s, s.save},
            {u"cache"_s, s.CacheUpdate},
            {u"filepath"_s, s.filepath},
            {u"autoname"_s, s.autoname},
            {u"tip"_s, s.tip}};
}

CollectedTexts::Entry entryOf(const QJsonObject& record)
{
    CollectedTexts::Entry entry;
    entry.id = record[u"id"_s].toInteger();
    entry.text = record[u"text"_s].toString();
    entry.source = {record[u"title"_s].toString(), record[u"url"_s].toString(),
                    record[u"time"_s].toString()};
    entry.settings = {record[u"save"_s].toString(), record[u"cache"_s].toBool(),
                      record[u"filepath"_s].toString(), record[u"autoname"_s].toBool(),
                      record[u"tip"_s].toBool()};
    return entry;
}

// Our own file only: no link, no FIFO, nothing that blocks or leads elsewhere.
int openOwn(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, SafeFile::PrivateMode);
    if (fd < 0)
        return -1;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

} // namespace

CollectedTexts::CollectedTexts(const QString& path) : m_path(path) {}

CollectedTexts::~CollectedTexts()
{
    close();
}

void CollectedTexts::setPath(const QString& path)
{
    if (path == m_path)
        return;
    close();
    m_path = path;
}

void CollectedTexts::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::optional<QList<CollectedTexts::Entry>> CollectedTexts::open(QString* error)
{
    close();
    m_open.clear();
    const int fd = openOwn(m_path, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT)
            return QList<Entry>();
        failWith(error, errno);
        return std::nullopt;
    }
    QFile file;
    const bool read = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray bytes = read ? file.readAll() : QByteArray();
    if (!read || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    QList<Entry> entries;
    for (const QByteArray& line : bytes.split('\n')) {
        QJsonParseError parsed;
        const QJsonObject record = QJsonDocument::fromJson(line, &parsed).object();
        if (parsed.error != QJsonParseError::NoError)
            continue; // torn by a crash, or damaged: never acknowledged as it stands
        const QString kind = record[u"k"_s].toString();
        const qint64 id = record[u"id"_s].toInteger();
        m_nextId = std::max(m_nextId, id + 1);
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [id](const Entry& e) { return e.id == id; });
        if (kind == u"T"_s && it == entries.end())
            entries.append(entryOf(record));
        else if (kind == u"S"_s && it != entries.end())
            it->before = record;
        else if (kind == u"D"_s && it != entries.end())
            entries.erase(it);
    }
    // Written afresh with what is left, so no torn line stays in the way.
    QByteArray rest;
    for (const Entry& entry : entries) {
        rest += QJsonDocument(taken(entry)).toJson(QJsonDocument::Compact) + '\n';
        if (entry.before)
            rest += QJsonDocument(*entry.before).toJson(QJsonDocument::Compact) + '\n';
        m_open.append(entry.id);
    }
    if (entries.isEmpty()) {
        if (::unlink(QFile::encodeName(m_path).constData()) != 0 && errno != ENOENT) {
            failWith(error, errno);
            return std::nullopt;
        }
    } else if (!SafeFile::write(m_path, rest, error)) {
        return std::nullopt;
    }
    return entries;
}

bool CollectedTexts::ensureOpen(QString* error)
{
    if (m_fd >= 0)
        return true;
    m_fd = openOwn(m_path, O_WRONLY | O_CREAT | O_APPEND);
    if (m_fd < 0)
        return failWith(error, errno);
    SafeFile::syncFolder(SafeFile::folderOf(m_path)); // a new name must survive too
    return true;
}

bool CollectedTexts::append(const QJsonObject& record, QString* error)
{
    if (!ensureOpen(error))
        return false;
    struct stat st = {};
    if (::fstat(m_fd, &st) != 0)
        return failWith(error, errno);
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int code = errno;
            // Cut back, so the next record starts a line of its own.
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, st.st_size);
            return failWith(error, code);
        }
        p += n;
        left -= n;
    }
    if (::fdatasync(m_fd) != 0) {
        const int code = errno;
        [[maybe_unused]] const int cut = ::ftruncate(m_fd, st.st_size);
        return failWith(error, code);
    }
    return true;
}

bool CollectedTexts::add(Entry& entry, QString* error)
{
    entry.id = m_nextId;
    if (!append(taken(entry), error))
        return false;
    ++m_nextId;
    m_open.append(entry.id);
    return true;
}

bool CollectedTexts::begin(const Entry& entry, const QJsonObject& before, QString* error)
{
    QJsonObject record = before;
    record[u"k"_s] = u"S"_s;
    record[u"id"_s] = entry.id;
    return append(record, error);
}

bool CollectedTexts::finish(const Entry& entry, QString* error)
{
    m_open.removeOne(entry.id);
    if (m_open.isEmpty()) {
        close();
        if (::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT) {
            SafeFile::syncFolder(SafeFile::folderOf(m_path));
            return true;
        }
    }
    return append({{u"k"_s, u"D"_s}, {u"id"_s, entry.id}}, error);
}

namespace {

QString databasePath()
{
    return ProgramDir() + u"WebDocuments.mdb"_s;
}

QJsonValue stampValue(const std::optional<FileStamp>& stamp)
{
    if (!stamp)
        return QJsonValue();
    return QJsonArray{QString::number(stamp->device), QString::number(stamp->inode),
                      QString::number(stamp->size), QString::number(stamp->modifiedNs)};
}

std::optional<FileStamp> stampOf(const QJsonValue& value)
{
    const QJsonArray parts = value.toArray();
    if (parts.size() != 4)
        return std::nullopt;
    return FileStamp{parts[0].toString().toULongLong(), parts[1].toString().toULongLong(),
                     parts[2].toString().toLongLong(), parts[3].toString().toLongLong()};
}

qint64 sizeOf(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_size) : -1;
}

} // namespace

QJsonObject CollectedTexts::targetBefore(const Entry& entry, const Collector& collector)
{
    const SaveSettings& s = entry.settings;
    if (s.save == u"append"_s && s.CacheUpdate)
        return {{u"cached"_s, sizeOf(collector.journalPath())}};
    if (s.save == u"append"_s)
        return {{u"document"_s, stampValue(FileStamp::of(collector.defaultDocumentPath()))}};
    if (s.save == u"create"_s)
        return {{u"folder"_s, s.filepath}, {u"next"_s, collector.nextFileNumber()}};
    DataSource data;
    data.setDatabaseName(databasePath());
    data.setReadOnly(true);
    std::optional<qint64> last;
    if (data.Refresh())
        last = data.recordset().MoveLast() ? data.recordset().Bookmark() : std::optional<qint64>(0);
    return {{u"record"_s, last ? QJsonValue(*last) : QJsonValue()}};
}

bool CollectedTexts::reachedTarget(const Entry& entry, const Collector& collector)
{
    if (!entry.before)
        return false;
    const QJsonObject& before = *entry.before;
    const QString text = DropText::clean(entry.text);
    if (before.contains(u"cached"_s)) {
        // Any whole record after the old end is this text's: nothing else
        // wrote the cached text between the begin and the crash.
        QFile journal(collector.journalPath());
        if (!journal.open(QIODevice::ReadOnly))
            return false;
        const qint64 end =
            std::max(before[u"cached"_s].toInteger(), qint64(CacheJournal::Header.size()));
        return CacheJournal::parse(journal.readAll()).validSize > end;
    }
    if (before.contains(u"document"_s)) {
        const QString document = collector.defaultDocumentPath();
        if (FileStamp::of(document) == stampOf(before[u"document"_s]))
            return false;
        const auto loaded = RichText::loadText(document);
        return loaded && loaded->endsWith(RichText::normalizeLineBreaks(text));
    }
    if (before.contains(u"folder"_s)) {
        // Created at the first free number from the counter on.
        const QByteArray bytes = Encoding::encodeLines(text);
        for (qint64 n = before[u"next"_s].toInteger(); n <= Collector::LastFileNumber; ++n) {
            QFile file(before[u"folder"_s].toString() + QString::number(n) + u".txt"_s);
            if (!file.open(QIODevice::ReadOnly))
                return false;
            if (file.size() == bytes.size() && file.readAll() == bytes)
                return true;
        }
        return false;
    }
    if (before[u"record"_s].isNull())
        return false;
    DataSource data;
    data.setDatabaseName(databasePath());
    data.setReadOnly(true);
    if (!data.Refresh())
        return false;
    Recordset& records = data.recordset();
    const auto added = records.bookmarks(before[u"record"_s].toInteger());
    for (qint64 bookmark : added.value_or(QList<qint64>())) {
        if (records.setBookmark(bookmark) && records.field(u"内容"_s) == std::optional(text))
            return true;
    }
    return false;
}
