#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The file helpers every suite needs, written once.
namespace TestFiles {

// The file's bytes; "<missing>" when it cannot be read, so that a missing
// file never compares equal to an empty one.
inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size() && file.flush();
}

// Every name in `folder`, hidden ones included, sorted.
inline QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                      | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Whether a message reads as Chinese: its first line has Chinese text and no
// Latin word besides paths, database file names, names in quotes and the
// program's own names (detail for whoever looks into it may follow on later
// lines, in any language).
inline bool readsAsChinese(const QString& message)
{
    QString line = message.section(u'\n', 0, 0);
    static const QRegularExpression path(QStringLiteral("/[^\\s，。：；（）“”]*"));
    static const QRegularExpression ours(QStringLiteral(
        "“[^”]*”|[\\w.-]+\\.(mdb|accdb)\\b|WebDocuments|SQLite|Access|quorrel|--import-access"));
    line.remove(path).remove(ours);
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return line.contains(han) && !line.contains(latin);
}

#ifdef QUORREL_EMPTY_DATABASE
// A writable copy of the empty database the build makes, as the program ships it.
inline bool copyEmptyDatabase(const QString& path)
{
    return QFile::copy(QStringLiteral(QUORREL_EMPTY_DATABASE), path)
        && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}
#endif

} // namespace TestFiles
