#pragma once

#include <QByteArray>
#include <QString>

// Faults a test cannot make with files alone: a disk that reports a failed
// sync, a file even root cannot remove, a file system without hard links.
// The test executable that links SyscallFaults.cpp defines fdatasync, unlink,
// link and renameat2 itself, so its calls (and
// those of the libraries linked into it) come here first; outside these
// guards they go on to the C library unchanged.
namespace SyscallFaults {

// While alive, every fdatasync fails with `code`; calls() counts them.
class FailingSync {
public:
    explicit FailingSync(int code);
    ~FailingSync();
    FailingSync(const FailingSync&) = delete;
    FailingSync& operator=(const FailingSync&) = delete;
    int calls() const;
};

// While alive, unlink of `path` fails with EBUSY.
class Unremovable {
public:
    explicit Unremovable(const QString& path);
    ~Unremovable();
    Unremovable(const Unremovable&) = delete;
    Unremovable& operator=(const Unremovable&) = delete;
};

// While alive, link fails with EPERM, as on a FAT memory stick; without
// `renameFlags`, so does renameat2 with a flag (EINVAL), as on file systems
// that know none.
class NoHardLinks {
public:
    explicit NoHardLinks(bool renameFlags = true);
    ~NoHardLinks();
    NoHardLinks(const NoHardLinks&) = delete;
    NoHardLinks& operator=(const NoHardLinks&) = delete;
};

} // namespace SyscallFaults
