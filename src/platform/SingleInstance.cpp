#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

SingleInstance::SingleInstance(const QString& programDir)
    : m_lock(std::make_unique<QLockFile>(lockPathFor(programDir)))
{
    // A holder that is alive never goes stale; a dead one is detected by pid.
    m_lock->setStaleLockTime(0);
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
    if (m_lock->tryLock(0))
        return true;
    return m_lock->error() != QLockFile::LockFailedError;
}

bool SingleInstance::isHeld() const
{
    return m_lock->isLocked();
}
