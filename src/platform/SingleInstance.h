#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// Tells a second start of the program that the first one still runs. One lock
// file per user and program folder; a holder that was killed leaves a lock
// that the next start recognises as stale and takes over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& programDir);

    // True when this process now holds the lock, or when no lock can be made
    // at all (better to run twice than not at all).
    bool acquire();
    bool isHeld() const;

    static QString lockPathFor(const QString& programDir);

private:
    std::unique_ptr<QLockFile> m_lock;
};
