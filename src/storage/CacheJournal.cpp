#include "CacheJournal.h"

#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

const QByteArray CacheJournal::Header =
    QByteArrayLiteral("Quorrel: text dropped on the collector, kept until it is in Doc.dat\n");

namespace {

quint32 crc32(char kind, QByteArrayView payload)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    const auto feed = [&](char byte) { crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8); };
    feed(kind);
    for (char byte : payload)
        feed(byte);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray stampText(const std::optional<FileStamp>& stamp)
{
    if (!stamp)
        return QByteArrayLiteral("none");
    return QByteArray::number(stamp->device) + ' ' + QByteArray::number(stamp->inode) + ' ' +
           QByteArray::number(stamp->size) + ' ' + QByteArray::number(stamp->modifiedNs);
}

// nullopt inside nullopt: the payload is no stamp at all.
std::optional<std::optional<FileStamp>> parseStamp(QByteArrayView payload)
{
    if (payload == "none")
        return std::optional<FileStamp>();
    const QList<QByteArray> parts = payload.toByteArray().split(' ');
    if (parts.size() != 4)
        return std::nullopt;
    bool ok[4] = {};
    const FileStamp stamp{parts[0].toULongLong(&ok[0]), parts[1].toULongLong(&ok[1]),
                          parts[2].toLongLong(&ok[2]), parts[3].toLongLong(&ok[3])};
    if (!(ok[0] && ok[1] && ok[2] && ok[3]))
        return std::nullopt;
    return std::optional<FileStamp>(stamp);
}

bool failErrno(QString* error, int code)
{
    if (error)
        *error = qt_error_string(code);
    return false;
}

} // namespace

QByteArray CacheJournal::record(char kind, QByteArrayView payload)
{
    QByteArray line;
    line += kind;
    line += ' ';
    line += QByteArray::number(payload.size());
    line += ' ';
    line += QByteArray::number(crc32(kind, payload), 16).rightJustified(8, '0');
    line += '\n';
    line += payload;
    line += '\n';
    return line;
}

namespace {

struct Record {
    char kind = 0;
    QByteArrayView payload;
    qsizetype end = 0; // just past its closing LF
};

// The whole record starting at `pos`, if there is one.
std::optional<Record> recordAt(QByteArrayView bytes, qsizetype pos)
{
    // "K <length> <crc>\n": at most 1 + 1 + 12 + 1 + 8 + 1 bytes.
    const qsizetype lineEnd = bytes.indexOf('\n', pos);
    if (lineEnd < 0 || lineEnd - pos > 23)
        return std::nullopt;
    const QByteArrayView line = bytes.sliced(pos, lineEnd - pos);
    const char kind = line.isEmpty() ? 0 : line.at(0);
    if ((kind != 'T' && kind != 'H' && kind != 'D') || line.size() < 12 || line.at(1) != ' ')
        return std::nullopt;
    const qsizetype space = line.indexOf(' ', 2);
    if (space < 0 || line.size() - space - 1 != 8)
        return std::nullopt;
    bool lengthOk = false, crcOk = false;
    const qint64 length = line.sliced(2, space - 2).toLongLong(&lengthOk);
    const quint32 crc = line.sliced(space + 1).toUInt(&crcOk, 16);
    if (!lengthOk || !crcOk || length < 0 || length > bytes.size() - lineEnd - 2)
        return std::nullopt;
    const QByteArrayView payload = bytes.sliced(lineEnd + 1, length);
    const qsizetype end = lineEnd + 1 + length;
    if (bytes.at(end) != '\n' || crc32(kind, payload) != crc)
        return std::nullopt;
    if (kind == 'H' && !parseStamp(payload))
        return std::nullopt;
    return Record{kind, payload, end + 1};
}

} // namespace

CacheJournal::Contents CacheJournal::parse(QByteArrayView bytes)
{
    Contents contents;
    if (bytes.size() < Header.size() && Header.startsWith(bytes)) {
        contents.ignoredSize = bytes.size(); // a header torn at creation: nothing was acknowledged
        return contents;
    }
    QByteArray pending;
    // A damaged header or record (not what a crash does: the disk's or a
    // person's doing) costs only itself; the records after it still count.
    qsizetype pos = bytes.startsWith(Header) ? Header.size() : 0;
    contents.validSize = pos;
    while (pos < bytes.size()) {
        const auto record = recordAt(bytes, pos);
        if (!record) {
            const qsizetype next = bytes.indexOf('\n', pos);
            if (next < 0)
                break;
            pos = next + 1; // every record starts a line
            continue;
        }
        if (record->kind == 'T') {
            pending += record->payload;
            contents.handedOver = false;
            contents.documentBefore.reset();
        } else if (record->kind == 'H') {
            contents.handedOver = true;
            contents.documentBefore = *parseStamp(record->payload);
        } else {
            pending.clear();
            contents.handedOver = false;
            contents.documentBefore.reset();
        }
        pos = record->end;
        contents.validSize = pos;
    }
    contents.ignoredSize = bytes.size() - contents.validSize;
    contents.text = QString::fromUtf8(pending);
    return contents;
}

CacheJournal::CacheJournal(const QString& path) : m_path(path)
{
}

CacheJournal::~CacheJournal()
{
    close();
}

void CacheJournal::setPath(const QString& path)
{
    if (path == m_path)
        return;
    close();
    m_path = path;
    m_size = 0;
}

void CacheJournal::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CacheJournal::exists() const
{
    return QFileInfo::exists(m_path);
}

std::optional<CacheJournal::Contents> CacheJournal::open(QString* error)
{
    close();
    m_size = 0;
    // Never through a link (cutting its torn tail would cut another file), and
    // never a FIFO, which would wait for a writer while the lock is held.
    const int fd = SafeFile::openOwn(m_path, O_RDWR);
    if (fd < 0) {
        if (errno == ENOENT)
            return Contents{};
        failErrno(error, errno);
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = SafeFile::readAll(fd);
    if (!bytes) {
        failErrno(error, errno);
        ::close(fd);
        return std::nullopt;
    }
    Contents contents = parse(*bytes);
    // The torn tail goes, or a record appended after it could not be read back.
    if (contents.ignoredSize > 0 &&
        (::ftruncate(fd, contents.validSize) != 0 || ::fdatasync(fd) != 0)) {
        failErrno(error, errno);
        ::close(fd);
        return std::nullopt;
    }
    m_fd = fd;
    m_size = contents.validSize;
    return contents;
}

bool CacheJournal::ensureOpen(QString* error)
{
    if (m_fd >= 0)
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          SafeFile::PrivateMode);
    if (fd >= 0) {
        m_fd = fd;
        m_size = 0;
        return true;
    }
    if (errno != EEXIST)
        return failErrno(error, errno);
    return open(error).has_value();
}

bool CacheJournal::appendRecord(char kind, QByteArrayView payload, QString* error)
{
    if (!ensureOpen(error))
        return false;
    const bool fresh = m_size == 0;
    const QByteArray bytes = (fresh ? Header : QByteArray()) + record(kind, payload);
    // A write that failed half-way left bytes after the last whole record.
    struct stat st = {};
    if (::fstat(m_fd, &st) != 0)
        return failErrno(error, errno);
    if (st.st_size != m_size && ::ftruncate(m_fd, m_size) != 0)
        return failErrno(error, errno);
    qint64 at = m_size;
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size_t(left), at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, m_size);
            return failErrno(error, code);
        }
        p += n;
        at += n;
        left -= n;
    }
    if (::fdatasync(m_fd) != 0) {
        const int code = errno;
        [[maybe_unused]] const int cut = ::ftruncate(m_fd, m_size);
        return failErrno(error, code);
    }
    m_size = at;
    if (fresh)
        SafeFile::syncFolder(SafeFile::folderOf(m_path)); // the new name must survive too
    return true;
}

bool CacheJournal::append(const QString& text, QString* error)
{
    return appendRecord('T', text.toUtf8(), error);
}

bool CacheJournal::beginHandOver(const std::optional<FileStamp>& document, QString* error)
{
    return appendRecord('H', stampText(document), error);
}

bool CacheJournal::retire(QString* error)
{
    close();
    m_size = 0;
    if (::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT) {
        SafeFile::syncFolder(SafeFile::folderOf(m_path));
        return true;
    }
    // Cannot be removed: say in it that everything before is in Doc.dat.
    return appendRecord('D', {}, error);
}
