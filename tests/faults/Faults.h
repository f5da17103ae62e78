#pragma once

#include "TestDatabase.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Tools to make the disk misbehave on purpose, for whoever runs the tests
// (root included: permission bits do not stop root, these do).
namespace Faults {

// Runs `run` while no file of this process can grow past `bytes`: a write
// that would go beyond fails with EFBIG, as on a full disk. SIGXFSZ is
// ignored meanwhile, so the process lives on to handle the error. False,
// with nothing run, where no limit could be set.
template <typename Run>
bool underSizeLimit(rlim_t bytes, Run&& run)
{
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    bool active = ::getrlimit(RLIMIT_FSIZE, &old) == 0;
    const rlimit lowered{bytes, old.rlim_max};
    active = active && ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    if (active) {
        run();
        ::setrlimit(RLIMIT_FSIZE, &old);
    }
    std::signal(SIGXFSZ, oldHandler);
    return active;
}

// While alive, `path` (a file or a folder) cannot be changed, replaced or,
// for a folder, added to: the file system's immutable flag, which binds root
// too; where that is not allowed, write permission taken away (which binds
// everyone but root). active() is false where neither took; the caller skips.
class ReadOnly {
public:
    explicit ReadOnly(const QString& path) : m_path(path), m_immutable(setImmutable(true))
    {
        if (m_immutable || ::geteuid() == 0)
            return;
        m_permissions = QFile::permissions(path);
        m_chmodded = QFile::setPermissions(
            path, m_permissions & ~(QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup
                                    | QFile::WriteOther));
    }
    ~ReadOnly()
    {
        if (m_immutable)
            setImmutable(false);
        if (m_chmodded)
            QFile::setPermissions(m_path, m_permissions);
    }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;
    bool active() const { return m_immutable || m_chmodded; }

private:
    bool setImmutable(bool on) const
    {
        const int fd =
            ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        int flags = 0;
        const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0
            && (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
        if (fd >= 0)
            ::close(fd);
        return ok;
    }

    QString m_path;
    bool m_immutable = false;
    bool m_chmodded = false;
    QFile::Permissions m_permissions;
};

// A FIFO at `path` that nobody writes to: whoever opens it for reading waits
// for a writer. So that a test of that fails instead of hanging, a watchdog
// tries the writing end every half second; it opens only while a reader
// waits, which it then frees (to read an empty file) and notes.
class Fifo {
public:
    explicit Fifo(const QString& path) : m_path(QFile::encodeName(path))
    {
        m_made = ::mkfifo(m_path.constData(), 0600) == 0;
        if (!m_made)
            return;
        m_watchdog = std::thread([this] {
            std::unique_lock lock(m_mutex);
            while (!m_done) {
                if (m_wake.wait_for(lock, std::chrono::milliseconds(500)) == std::cv_status::timeout
                    && !m_done) {
                    // Fails (ENXIO) unless someone has it open for reading.
                    const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                    if (fd >= 0) {
                        m_rescued = true;
                        ::close(fd);
                    }
                }
            }
        });
    }
    ~Fifo()
    {
        if (m_watchdog.joinable()) {
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_wake.notify_all();
            m_watchdog.join();
        }
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;
    bool made() const { return m_made; }
    // True when something blocked on the FIFO until the watchdog freed it.
    bool blocked() const { return m_rescued; }

private:
    QByteArray m_path;
    bool m_made = false;
    std::atomic<bool> m_rescued = false;
    bool m_done = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_watchdog;
};

// Set.ini with the save mode and the cache given, tips on, automatic titles.
inline QByteArray settings(const char* mode, const char* cache = "false")
{
    return "[CollectorSet]\nsave=" + QByteArray(mode) + "\nCacheUpdate=" + QByteArray(cache)
        + "\nAutoName=true\ntip=true\n";
}

// A file named by raw bytes, for names that are valid in no encoding.
inline bool writeRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// A sparse file of `size` bytes: `head`, a hole of NULs, `tail` at the end.
// Costs no disk space, however large.
inline bool writeSparse(const QString& path, const QByteArray& head, qint64 size,
                        const QByteArray& tail)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(head) != head.size()
        || !file.resize(size - tail.size()) || !file.seek(size - tail.size())
        || file.write(tail) != tail.size())
        return false;
    return file.flush();
}

} // namespace Faults
