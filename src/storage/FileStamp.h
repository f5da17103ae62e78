#pragma once

#include <QString>

#include <optional>

// Identifies one state of a file: which file it is and when and how it was
// last written. A program that replaces the file (a new inode) or writes into
// it (a new size or modification time) changes its stamp.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    static std::optional<FileStamp> of(const QString& path);
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
