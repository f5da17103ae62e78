#pragma once

#include <QString>

// Tells a second start of the program that the first one still runs. One lock
// file per user and program folder in a private folder of the user's
// (RuntimeFolder), locked with flock(): the system drops the lock with its
// holder however that ends, so a start killed at any moment (even while it
// takes the lock) never keeps the next one out. An orderly end removes the
// file. The lock fails closed: where it cannot be taken for any reason but a
// running holder, acquire() says why and nothing runs without it.
class SingleInstance {
public:
    explicit SingleInstance(const QString& programDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the lock. False when another start
    // holds it (problem() is empty) or when it cannot be taken at all
    // (problem() says why, for the user).
    bool acquire();
    bool isHeld() const;
    const QString& problem() const { return m_problem; }

    // "" when there is no sound folder for it.
    static QString lockPathFor(const QString& programDir);

private:
    QString m_programDir;
    QString m_path;
    QString m_problem;
    int m_folderFd = -1;
    int m_fd = -1;
};
