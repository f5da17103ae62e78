#include "SyscallFaults.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace {

std::atomic<int> syncError = 0;
std::atomic<int> failedSyncs = 0;
std::atomic<bool> noHardLinks = false;
std::atomic<bool> noRenameFlags = false;
std::mutex unremovableMutex;
QByteArray unremovablePath; // guarded by unremovableMutex

template <typename Function>
Function* next(const char* name)
{
    return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fdatasync(int fd)
{
    if (const int code = syncError.load()) {
        ++failedSyncs;
        errno = code;
        return -1;
    }
    static auto* const real = next<int(int)>("fdatasync");
    return real(fd);
}

extern "C" int unlink(const char* path) noexcept
{
    {
        std::lock_guard lock(unremovableMutex);
        if (!unremovablePath.isEmpty() && unremovablePath == path) {
            errno = EBUSY;
            return -1;
        }
    }
    static auto* const real = next<int(const char*)>("unlink");
    return real(path);
}

extern "C" int link(const char* from, const char* to) noexcept
{
    if (noHardLinks) {
        errno = EPERM;
        return -1;
    }
    static auto* const real = next<int(const char*, const char*)>("link");
    return real(from, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) noexcept
{
    if (flags != 0 && noRenameFlags) {
        errno = EINVAL;
        return -1;
    }
    static auto* const real = next<int(int, const char*, int, const char*, unsigned)>("renameat2");
    return real(fromDir, from, toDir, to, flags);
}

namespace SyscallFaults {

FailingSync::FailingSync(int code)
{
    failedSyncs = 0;
    syncError = code;
}

FailingSync::~FailingSync()
{
    syncError = 0;
}

int FailingSync::calls() const
{
    return failedSyncs.load();
}

Unremovable::Unremovable(const QString& path)
{
    std::lock_guard lock(unremovableMutex);
    unremovablePath = QFile::encodeName(path);
}

Unremovable::~Unremovable()
{
    std::lock_guard lock(unremovableMutex);
    unremovablePath.clear();
}

NoHardLinks::NoHardLinks(bool renameFlags)
{
    noHardLinks = true;
    noRenameFlags = !renameFlags;
}

NoHardLinks::~NoHardLinks()
{
    noHardLinks = noRenameFlags = false;
}

} // namespace SyscallFaults
