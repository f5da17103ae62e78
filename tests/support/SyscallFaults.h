#pragma once

#include <QByteArray>
#include <QString>

// Faults a test cannot make with files alone: a disk that reports a failed
// sync, a file even root cannot remove. The test executable that links
// SyscallFaults.cpp defines fdatasync and unlink itself, so its calls (and
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

} // namespace SyscallFaults
