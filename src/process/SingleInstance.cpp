#include "SingleInstance.h"

#include "RuntimeFolder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString cannotLock(const QString& path, const QString& detail)
{
    return u"无法取得单实例锁，为免两个收集器同时运行，本次不启动：%1\n%2"_s.arg(path, detail);
}

} // namespace

SingleInstance::SingleInstance(const QString& programDir) : m_programDir(programDir) {}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0) {
        // Removed while still locked: a start that opened it meanwhile sees,
        // once it has the lock, that the name no longer leads to its file,
        // and retries.
        ::unlinkat(m_folderFd, QFile::encodeName(QFileInfo(m_path).fileName()).constData(), 0);
        ::close(m_fd);
    }
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

QString SingleInstance::lockPathFor(const QString& programDir)
{
    return RuntimeFolder::pathFor(programDir, u".lock", nullptr, RuntimeFolder::Use::Lock);
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    m_problem.clear();
    m_path = RuntimeFolder::pathFor(m_programDir, u".lock", &m_problem, RuntimeFolder::Use::Lock);
    if (m_path.isEmpty())
        return false;
    const auto fail = [this](const QString& detail) {
        m_problem = cannotLock(m_path, detail);
        return false;
    };
    // Everything below goes through the folder as opened and checked here,
    // so a folder swapped in under its name afterwards is never used.
    if (m_folderFd < 0) {
        const QString folder = QFileInfo(m_path).path();
        m_folderFd = ::open(QFile::encodeName(folder).constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (m_folderFd < 0)
            return fail(qt_error_string(errno));
        struct stat st = {};
        if (::fstat(m_folderFd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077))
            return fail(u"the folder changed while it was opened"_s);
    }
    const QByteArray name = QFile::encodeName(QFileInfo(m_path).fileName());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Not blocking: a FIFO at the name must not hang the start.
        const int fd = ::openat(m_folderFd, name.constData(),
                                O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0)
            return fail(qt_error_string(errno));
        struct stat locked = {};
        if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode) || locked.st_uid != ::geteuid()) {
            ::close(fd);
            return fail(u"the lock file is not a file of user id %1"_s.arg(::geteuid()));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            ::close(fd);
            if (code == EWOULDBLOCK)
                return false; // another start of this program folder runs
            return fail(qt_error_string(code));
        }
        struct stat named = {};
        if (::fstatat(m_folderFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            m_fd = fd;
            return true;
        }
        ::close(fd); // a holder that ended removed this file: take the new one
    }
    return fail(u"the lock file kept changing"_s);
}

bool SingleInstance::isHeld() const
{
    return m_fd >= 0;
}
