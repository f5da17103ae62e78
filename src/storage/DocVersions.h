#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Earlier states of a document (Doc.dat), kept before the program replaces
// it other than by adding to its end: the editor's saves, and a drop that
// rewrites a plain-text document as RTF. They lie in the folder "Versions"
// beside the document, one file each, named
//     Doc.dat.<UTC time yyyyMMddTHHmmss.zzz>Z.<why>[-<n>].<rtf|txt>
// so that names sort by time and say what they hold. Written like every
// file of the program (SafeFile), private, never through a link.
namespace DocVersions {

enum class Reason { EditorSave, Rewrite };

struct Version {
    QString path;
    QDateTime kept; // UTC
    qint64 size = 0;
    Reason reason = Reason::EditorSave;
};

// The bounds: the last KeepCount versions, and every one of the last
// KeepDays days, whichever keeps more.
constexpr int KeepCount = 20;
constexpr int KeepDays = 30;

QString folderFor(const QString& documentPath);

// Keeps the document as it is now as a version, then drops versions past
// the bounds. True when it is kept, when there is no document to keep, and
// when the newest version holds the same bytes already.
bool keep(const QString& documentPath, Reason reason, QString* error = nullptr,
          const QDateTime& now = QDateTime::currentDateTimeUtc());

// The document's versions, newest first; anything else in the folder (a
// link, a name not of this form) is passed over.
QList<Version> list(const QString& documentPath);

// A version's bytes; nullopt when it is gone, a link or unreadable.
std::optional<QByteArray> read(const QString& versionPath, QString* error = nullptr);

// Removes the versions past the bounds; the number removed.
int prune(const QString& documentPath, const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace DocVersions
