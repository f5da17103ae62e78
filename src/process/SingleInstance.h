#pragma once

#include <QString>

// Tells a second start of the program that the first one still runs. One lock
// file per user and program folder, locked with flock(): the system drops the
// lock with its holder however that ends, so a start killed at any moment
// (even while it takes the lock) never keeps the next one out. An orderly end
// removes the file.
class SingleInstance {
public:
    explicit SingleInstance(const QString& programDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the lock, or when no lock can be made
    // at all (better to run twice than not at all).
    bool acquire();
    bool isHeld() const;

    static QString lockPathFor(const QString& programDir);
    // A name of this user's for `programDir` in the runtime folder, ending
    // in `suffix`: the lock, the collector's channel.
    static QString runtimePathFor(const QString& programDir, QStringView suffix);

private:
    QString m_path;
    int m_fd = -1;
};
