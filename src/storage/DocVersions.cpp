#include "DocVersions.h"

#include "Rtf.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace DocVersions {
namespace {

const QString Folder = u"Versions"_s;
const QString TimeFormat = u"yyyyMMdd'T'HHmmss.zzz"_s;

QString reasonWord(Reason reason)
{
    return reason == Reason::Rewrite ? u"rewrite"_s : u"editor"_s;
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

struct Parsed {
    Version version;
    int counter = 1;
};

std::optional<Parsed> parse(const QString& documentName, const QFileInfo& entry)
{
    static const QRegularExpression Pattern(
        uR"(^\.(\d{8}T\d{6}\.\d{3})Z\.(editor|rewrite)(?:-(\d+))?\.(?:rtf|txt)$)"_s);
    const QString name = entry.fileName();
    if (!name.startsWith(documentName))
        return std::nullopt;
    const auto match = Pattern.match(QStringView(name).sliced(documentName.size()));
    if (!match.hasMatch())
        return std::nullopt;
    const QDateTime read = QDateTime::fromString(match.captured(1), TimeFormat);
    if (!read.isValid())
        return std::nullopt;
    const QDateTime kept(read.date(), read.time(), Qt::UTC);
    Parsed parsed;
    parsed.version = {entry.filePath(), kept, entry.size(),
                      match.captured(2) == u"rewrite"_s ? Reason::Rewrite : Reason::EditorSave};
    parsed.counter = match.hasCaptured(3) ? match.captured(3).toInt() : 1;
    return parsed;
}

// The folder, made when missing; refused when it is a link or no folder.
bool openFolder(const QString& folder, QString* error)
{
    SafeFile::makeFolder(folder);
    struct stat st = {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return fail(error, qt_error_string(errno));
    if (!S_ISDIR(st.st_mode))
        return fail(error, u"%1 不是文件夹"_s.arg(folder));
    return true;
}

} // namespace

QString folderFor(const QString& documentPath)
{
    return QDir(SafeFile::folderOf(documentPath)).filePath(Folder);
}

QList<Version> list(const QString& documentPath)
{
    const QString documentName = QFileInfo(documentPath).fileName();
    const QString folder = folderFor(documentPath);
    if (QFileInfo(folder).isSymLink())
        return {};
    QList<Parsed> found;
    const auto entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        if (const auto parsed = parse(documentName, entry))
            found.append(*parsed);
    }
    std::sort(found.begin(), found.end(), [](const Parsed& a, const Parsed& b) {
        return a.version.kept != b.version.kept ? a.version.kept > b.version.kept
                                                : a.counter > b.counter;
    });
    QList<Version> versions;
    versions.reserve(found.size());
    for (const Parsed& p : found)
        versions.append(p.version);
    return versions;
}

std::optional<QByteArray> read(const QString& versionPath, QString* error)
{
    return SafeFile::readOwn(versionPath, error);
}

bool keep(const QString& documentPath, Reason reason, QString* error, const QDateTime& now)
{
    const QFileInfo document(documentPath);
    if (!document.exists())
        return true; // nothing there to lose
    const std::optional<QByteArray> bytes = SafeFile::readOwn(documentPath, error);
    if (!bytes)
        return false;
    const QString folder = folderFor(documentPath);
    if (!openFolder(folder, error))
        return false;
    SafeFile::removeLeftovers(folder); // a version a crash left half-made
    const QList<Version> versions = list(documentPath);
    if (!versions.isEmpty() && versions.front().size == bytes->size() &&
        read(versions.front().path) == *bytes)
        return true; // kept already, the last time it was replaced
    const QString stem = QDir(folder).filePath(document.fileName() + u'.' +
                                               now.toUTC().toString(TimeFormat) + u"Z."_s +
                                               reasonWord(reason));
    const QString extension = Rtf::isRtf(*bytes) ? u".rtf"_s : u".txt"_s;
    // Created, never replacing: two saves within a millisecond get a counter.
    for (int counter = 1; counter <= 100; ++counter) {
        const QString path =
            stem + (counter > 1 ? u'-' + QString::number(counter) : QString()) + extension;
        QString why;
        if (SafeFile::createExclusive(path, *bytes, &why)) {
            prune(documentPath, now);
            return true;
        }
        const QFileInfo taken(path);
        if (!taken.exists() && !taken.isSymLink())
            return fail(error, why);
    }
    return fail(error, u"%1 中没有可用的文件名"_s.arg(folder));
}

int prune(const QString& documentPath, const QDateTime& now)
{
    const QList<Version> versions = list(documentPath);
    const QDateTime cutoff = now.toUTC().addDays(-KeepDays);
    int removed = 0;
    for (qsizetype i = KeepCount; i < versions.size(); ++i) {
        if (versions[i].kept < cutoff &&
            ::unlink(QFile::encodeName(versions[i].path).constData()) == 0)
            ++removed;
    }
    if (removed > 0)
        SafeFile::syncFolder(folderFor(documentPath));
    return removed;
}

} // namespace DocVersions
