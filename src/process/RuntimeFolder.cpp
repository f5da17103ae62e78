#include "RuntimeFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString problemWith(const QString& folder, const QString& detail)
{
    return u"存放收集器的锁和通道的文件夹不安全，收集器不能使用它：%1\n%2"_s.arg(folder, detail);
}

// A folder of ours, whatever its mode: a home or a program folder.
bool isOurs(const QString& folder)
{
    struct stat st = {};
    return !folder.isEmpty() && ::stat(QFile::encodeName(folder).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// Checks a folder of ours: `looseBits` are the mode bits that must be clear.
bool check(const QString& folder, mode_t looseBits, QString* detail)
{
    struct stat st = {};
    const auto fail = [detail](const QString& why) {
        if (detail)
            *detail = why;
        return false;
    };
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return fail(qt_error_string(errno));
    if (S_ISLNK(st.st_mode))
        return fail(u"它是一个符号链接"_s);
    if (!S_ISDIR(st.st_mode))
        return fail(u"它不是文件夹"_s);
    if (st.st_uid != ::geteuid())
        return fail(u"它属于用户 ID %1"_s.arg(st.st_uid));
    if (st.st_mode & looseBits)
        return fail(u"它的权限是 %1"_s.arg(st.st_mode & 07777, 4, 8, QChar(u'0')));
    return true;
}

// Makes `folder` (mode 0700) where it is missing, then checks it.
bool makePrivate(const QString& folder, QString* detail)
{
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) == 0)
        ::chmod(name.constData(), 0700); // whatever the umask took away
    else if (errno != EEXIST) {
        if (detail)
            *detail = qt_error_string(errno);
        return false;
    }
    return check(folder, 077, detail);
}

QString home()
{
    const QString fromEnvironment = qEnvironmentVariable("HOME");
    if (isOurs(fromEnvironment))
        return fromEnvironment;
    // HOME may be another account's (su, sudo -u): the account's own home.
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir) {
        const QString own = QFile::decodeName(entry->pw_dir);
        if (isOurs(own))
            return own;
    }
    return {};
}

} // namespace

namespace RuntimeFolder {

bool isSound(const QString& folder, QString* detail)
{
    // The runtime folder may be group-readable; a folder we made is 0700.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const bool isRuntime = !runtime.isEmpty() && QDir::cleanPath(runtime) == folder;
    return check(folder, isRuntime ? 022 : 077, detail);
}

Place find(const QString& programDir, Use use)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (use == Use::Channel && !runtime.isEmpty() && QDir::isAbsolutePath(runtime) &&
        check(runtime, 022, nullptr))
        return {QDir::cleanPath(runtime), {}};
    QString folder;
    QString detail;
    if (const QString own = home(); !own.isEmpty()) {
        const QString cache = own + u"/.cache"_s;
        if (!QFileInfo::exists(cache))
            ::mkdir(QFile::encodeName(cache).constData(), 0700);
        folder = cache + u"/quorrel"_s;
    } else if (isOurs(programDir)) {
        folder = QDir(programDir).filePath(u".quorrel"_s);
    } else {
        return {{},
                problemWith(programDir,
                            u"no home folder or program folder of user id %1"_s.arg(::geteuid()))};
    }
    folder = QDir::cleanPath(folder);
    if (!makePrivate(folder, &detail))
        return {{}, problemWith(folder, detail)};
    return {folder, {}};
}

QString pathFor(const QString& programDir, QStringView suffix, QString* problem, Use use)
{
    const Place place = find(programDir, use);
    if (place.folder.isEmpty()) {
        if (problem)
            *problem = place.problem;
        return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(programDir).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return place.folder + u"/quorrel-"_s + QString::fromLatin1(hash) + suffix;
}

} // namespace RuntimeFolder
