#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString& programDir) : m_path(lockPathFor(programDir))
{
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops the lock; the file stays, empty of meaning
}

QString SingleInstance::lockPathFor(const QString& programDir)
{
    // The runtime folder rather than the program folder: that one may be
    // read-only, and a lock there must not look like user data.
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(programDir).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return base + u"/quorrel-" + QString::number(::getuid()) + u'-' + QString::fromLatin1(hash) +
           u".lock";
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        return true;
    }
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return !busy;
}

bool SingleInstance::isHeld() const
{
    return m_fd >= 0;
}
