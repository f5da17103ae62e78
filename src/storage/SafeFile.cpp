#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace SafeFile {
namespace {

const QString TempSuffix = u".quorrel-tmp"_s;
constexpr int RandomChars = 6;

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool failErrno(QString* error, int code)
{
    return fail(error, qt_error_string(code));
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

bool writeAll(int fd, QByteArrayView data)
{
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// An open temporary file beside the target; removed again unless released.
class TempFile {
public:
    explicit TempFile(const QString& target)
    {
        const QFileInfo info(target);
        QString name = info.fileName();
        if (QFile::encodeName(name).size() > 200) // room for our 20 characters within 255 bytes
            name.truncate(50);
        const QString stem = info.dir().filePath(u"."_s + name + u"."_s);
        static constexpr char Alphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QString candidate = stem;
            for (int i = 0; i < RandomChars; ++i)
                candidate += QLatin1Char(Alphabet[QRandomGenerator::global()->bounded(62)]);
            candidate += TempSuffix;
            m_fd = ::open(native(candidate).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, PrivateMode);
            if (m_fd >= 0) {
                m_path = native(candidate);
                return;
            }
            m_errno = errno;
            if (m_errno != EEXIST)
                return;
        }
    }
    ~TempFile()
    {
        close();
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int openErrno() const { return m_errno; }
    const QByteArray& path() const { return m_path; }

    // Writes everything and syncs it: only then may it take the final name.
    bool fill(std::span<const QByteArrayView> parts, QString* error)
    {
        for (const QByteArrayView data : parts) {
            if (!writeAll(m_fd, data))
                return failErrno(error, errno);
        }
        if (::fdatasync(m_fd) != 0)
            return failErrno(error, errno);
        return true;
    }
    bool close()
    {
        if (m_fd < 0)
            return true;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0;
    }
    // The file has its final name now: nothing left to remove.
    void release() { m_path.clear(); }

private:
    int m_fd = -1;
    int m_errno = 0;
    QByteArray m_path;
};

// Where a link points, when it points at a file: QSaveFile did the same, so
// a file the user chose that is a link keeps being one.
QString resolveLink(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

// Without renameat2's no-replace or hard links (some file systems), the old
// way: written in place under a name nobody had, synced before success.
bool createInPlace(const QString& path, QByteArrayView data, QString* error)
{
    const QByteArray name = native(path);
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, PrivateMode);
    if (fd < 0)
        return failErrno(error, errno);
    const bool ok = writeAll(fd, data) && ::fdatasync(fd) == 0;
    const int code = errno;
    if (::close(fd) != 0 || !ok) {
        ::unlink(name.constData()); // a numbered file holds one whole drop or does not exist
        return failErrno(error, ok ? errno : code);
    }
    syncFolder(folderOf(path));
    return true;
}

// A temporary file that another process still writes and holds locked (a
// conversion started from the command line while the collector starts).
bool inUse(const QString& path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

} // namespace

bool makeFolder(const QString& path)
{
    if (::mkdir(native(path).constData(), PrivateFolderMode) == 0)
        return true;
    struct stat st {};
    return errno == EEXIST && ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

void syncFolder(const QString& dir)
{
    const int fd = ::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool write(const QString& path, QByteArrayView data, QString* error)
{
    return write(path, std::span<const QByteArrayView>(&data, 1), error);
}

namespace {

// Replaces `target` (no link) with the parts, keeping its permissions.
bool replace(const QString& target, std::span<const QByteArrayView> parts, QString* error)
{
    // A write-protected file stays as it is, though its folder would let a
    // new file take its name.
    if (::access(native(target).constData(), W_OK) != 0 && errno != ENOENT)
        return failErrno(error, errno);
    TempFile temp(target);
    if (!temp.isOpen())
        return failErrno(error, temp.openErrno());
    // A file that is replaced keeps its permissions.
    struct stat old = {};
    if (::stat(native(target).constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(temp.fd(), old.st_mode & 07777);
    if (!temp.fill(parts, error))
        return false;
    if (!temp.close())
        return failErrno(error, errno);
    if (::rename(temp.path().constData(), native(target).constData()) != 0)
        return failErrno(error, errno);
    temp.release();
    syncFolder(folderOf(target));
    return true;
}

} // namespace

bool write(const QString& path, std::span<const QByteArrayView> parts, QString* error)
{
    return replace(resolveLink(path), parts, error);
}

int openOwn(const QString& path, int flags, unsigned mode)
{
    // Looked at first, so that not even opening touches a FIFO or device
    // (which may wake whoever waits at its other end); checked again once open.
    struct stat named {};
    if (::lstat(native(path).constData(), &named) == 0 && !S_ISREG(named.st_mode)) {
        errno = S_ISLNK(named.st_mode) ? ELOOP : EINVAL;
        return -1;
    }
    const int fd = ::open(native(path).constData(),
                          flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode_t(mode));
    if (fd < 0)
        return -1;
    struct stat st {};
    const int code = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (code != 0) {
        ::close(fd);
        errno = code;
        return -1;
    }
    // Reads and writes of a regular file wait as they always do.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<QByteArray> readOwn(const QString& path, QString* error, int* code)
{
    const auto failed = [&](int number) -> std::optional<QByteArray> {
        if (code)
            *code = number;
        failErrno(error, number);
        return std::nullopt;
    };
    const int fd = openOwn(path, O_RDONLY);
    if (fd < 0)
        return failed(errno);
    std::optional<QByteArray> bytes = readAll(fd);
    const int number = errno;
    ::close(fd);
    return bytes ? bytes : failed(number);
}

std::optional<QByteArray> readAll(int fd)
{
    QByteArray bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(qsizetype(st.st_size)); // a hint: the file may change meanwhile
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return bytes;
        if (n < 0 && errno != EINTR)
            return std::nullopt;
        if (n > 0)
            bytes.append(buffer, n);
    }
}

bool writeOwn(const QString& path, QByteArrayView data, QString* error)
{
    return writeOwn(path, std::span<const QByteArrayView>(&data, 1), error);
}

bool writeOwn(const QString& path, std::span<const QByteArrayView> parts, QString* error)
{
    // The rename below replaces whatever has the name by then, never what a
    // link points to; this keeps a link or special file from being replaced.
    struct stat st {};
    if (::lstat(native(path).constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return failErrno(error, ELOOP);
        if (!S_ISREG(st.st_mode))
            return failErrno(error, EINVAL);
    } else if (errno != ENOENT) {
        return failErrno(error, errno);
    }
    return replace(path, parts, error);
}

bool createExclusive(const QString& path, QByteArrayView data, QString* error)
{
    TempFile temp(path);
    if (!temp.isOpen())
        return failErrno(error, temp.openErrno());
    if (!temp.fill(std::span<const QByteArrayView>(&data, 1), error))
        return false;
    if (!temp.close())
        return failErrno(error, errno);
    const QByteArray name = native(path);
    if (::renameat2(AT_FDCWD, temp.path().constData(), AT_FDCWD, name.constData(),
                    RENAME_NOREPLACE) == 0) {
        temp.release();
        syncFolder(folderOf(path));
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return failErrno(error, errno); // EEXIST above all: the name is taken
    // No renameat2 here: a hard link never replaces either; the temporary
    // name then goes (a crash between the two leaves it to removeLeftovers).
    if (::link(temp.path().constData(), name.constData()) == 0) {
        syncFolder(folderOf(path));
        return true; // ~TempFile unlinks the second name
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return failErrno(error, errno);
    return createInPlace(path, data, error);
}

bool isLeftover(const QString& fileName)
{
    // ".<name>.XXXXXX.quorrel-tmp"
    const qsizetype fixed = 1 + 1 + RandomChars + TempSuffix.size();
    if (fileName.size() <= fixed || !fileName.startsWith(u'.') || !fileName.endsWith(TempSuffix))
        return false;
    const qsizetype dot = fileName.size() - TempSuffix.size() - RandomChars - 1;
    if (fileName.at(dot) != u'.')
        return false;
    for (qsizetype i = dot + 1; i < dot + 1 + RandomChars; ++i) {
        const QChar c = fileName.at(i);
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

int removeLeftovers(const QString& dir)
{
    int removed = 0;
    const QDir folder(dir);
    const auto entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !isLeftover(entry.fileName()) || inUse(entry.filePath()))
            continue;
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    if (removed > 0)
        syncFolder(dir);
    return removed;
}

struct Writer::Temp {
    explicit Temp(const QString& target) : file(target) {}
    TempFile file;
};

namespace {
constexpr qsizetype WriterBuffer = 1 << 20;
}

Writer::Writer(const QString& path) : m_target(resolveLink(path))
{
    if (::access(native(m_target).constData(), W_OK) != 0 && errno != ENOENT) {
        m_error = errno;
        return;
    }
    m_temp = std::make_unique<Temp>(m_target);
    if (!m_temp->file.isOpen()) {
        m_error = m_temp->file.openErrno();
        return;
    }
    struct stat old = {};
    if (::stat(native(m_target).constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(m_temp->file.fd(), old.st_mode & 07777);
    m_buffer.reserve(WriterBuffer);
}

Writer::~Writer() = default;

int Writer::errorCode() const
{
    return m_error;
}

bool Writer::flush()
{
    if (m_error == 0 && !writeAll(m_temp->file.fd(), m_buffer))
        m_error = errno;
    m_buffer.clear();
    return m_error == 0;
}

bool Writer::append(QByteArrayView data)
{
    if (m_error != 0)
        return false;
    m_buffer.append(data);
    return m_buffer.size() < WriterBuffer || flush();
}

bool Writer::commit()
{
    if (!flush())
        return false;
    if (::fdatasync(m_temp->file.fd()) != 0 || !m_temp->file.close()
        || ::rename(m_temp->file.path().constData(), native(m_target).constData()) != 0) {
        m_error = errno;
        return false;
    }
    m_temp->file.release();
    syncFolder(folderOf(m_target));
    return true;
}

} // namespace SafeFile
