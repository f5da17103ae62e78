#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString& programDir) : m_path(lockPathFor(programDir))
{
}

SingleInstance::~SingleInstance()
{
    if (m_fd < 0)
        return;
    // Removed while still locked: a start that opened it meanwhile sees, once
    // it has the lock, that the name no longer leads to its file, and retries.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

QString SingleInstance::lockPathFor(const QString& programDir)
{
    return runtimePathFor(programDir, u".lock");
}

QString SingleInstance::runtimePathFor(const QString& programDir, QStringView suffix)
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
           suffix;
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return true;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            return !busy;
        }
        struct stat locked = {}, named = {};
        if (::fstat(fd, &locked) == 0 && ::stat(name.constData(), &named) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            m_fd = fd;
            return true;
        }
        ::close(fd); // a holder that ended removed this file: take the new one
    }
    return true;
}

bool SingleInstance::isHeld() const
{
    return m_fd >= 0;
}
