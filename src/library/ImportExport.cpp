#include "ImportExport.h"

#include "DataSource.h"
#include "Dialogs.h"
#include "Encoding.h"
#include "RichText.h"
#include "Rtf.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <vector>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ImportExport {
namespace {

const QString TitleField = u"标题"_s;
const QString ContentField = u"内容"_s;
const QString TextFilter = u"文本文件 (*.txt)"_s;
const QString ImportTitle = u"成批导入"_s;
const QString ExportTitle = u"成批导出"_s;

QString withSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString reasonOf(int error)
{
    return reasonOfError(error);
}

QString reasonOf(const DataError& error)
{
    switch (error.kind) {
    case DataErrorKind::FileMissing:
        return u"文档数据库不存在"_s;
    case DataErrorKind::CannotOpen:
        return u"文档数据库无法打开"_s;
    case DataErrorKind::NotADatabase:
        return u"不是有效的文档数据库"_s;
    case DataErrorKind::MissingTable:
    case DataErrorKind::MissingField:
        return u"文档数据库缺少表 WebDocuments 或其字段"_s;
    case DataErrorKind::Busy:
        return u"文档数据库正被其他程序占用"_s;
    case DataErrorKind::ReadOnly:
        return u"文档数据库只能读取"_s;
    default:
        return error.message;
    }
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now; false (errno set) when the close reports a failed write.
    bool close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

enum class Read { Done, NotAFile, NotText, Failed };

// The kernel's views of itself and of devices (/proc, /sys and the like):
// their "files" are the process's environment, keys and settings, never
// documents of the user's.
bool isPseudoFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case 0x62656570: // configfs
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case BINFMTFS_MAGIC:
    case NSFS_MAGIC:
    case 0x65735543: // fusectl
        return true;
    default:
        return false;
    }
}

// Reads a document as the rich-text box loads it. Opened without blocking and
// checked after opening, so a FIFO or device that took a file's place is
// never read from, and a batch cannot hang on it; nor is a file of /proc or
// /sys. `follow`: a link at the name is followed (a file the user chose),
// else refused. NULs are dropped, never part of stored text; what is then
// neither RTF nor text is a binary file, which is no document.
Read readDocument(const QByteArray& name, bool follow, QString* text, QString* reason)
{
    Fd fd(::open(name.constData(),
                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (follow ? 0 : O_NOFOLLOW)));
    if (fd.get() < 0) {
        if (errno == ELOOP)
            return Read::NotAFile;
        *reason = reasonOf(errno);
        return Read::Failed;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        *reason = reasonOf(errno);
        return Read::Failed;
    }
    if (!S_ISREG(st.st_mode) || isPseudoFileSystem(fd.get()))
        return Read::NotAFile;
    const QString tooLarge = u"文件大于 %1 MB"_s.arg(MaxFileBytes / (1024 * 1024));
    if (st.st_size > MaxFileBytes) {
        *reason = tooLarge;
        return Read::Failed;
    }
    // The size is a hint: the file may grow or shrink while it is read.
    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > MaxFileBytes) {
                *reason = tooLarge;
                return Read::Failed;
            }
            bytes.resize(got + 65536);
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *reason = reasonOf(errno);
            return Read::Failed;
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    bytes.removeIf([](char c) { return c == '\0'; });
    if (!Rtf::isRtf(bytes) && !Encoding::isText(bytes))
        return Read::NotText;
    *text = RichText::decode(bytes);
    text->remove(QChar(u'\0')); // an RTF escape can make one too
    return Read::Done;
}

enum class Create { Done, Taken, Failed };

// Creates `path` exclusively with `bytes`. Not SafeFile::createExclusive: an
// existing name must be told apart from a real failure, and the failure
// described. A file that could not be written whole is removed again.
Create createFile(const QString& path, const QByteArray& bytes, QString* reason)
{
    const QByteArray name = QFile::encodeName(path);
    Fd fd(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                 SafeFile::PrivateMode));
    if (fd.get() < 0) {
        if (errno == EEXIST)
            return Create::Taken;
        *reason = reasonOf(errno);
        return Create::Failed;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd.get(), bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *reason = reasonOf(n < 0 ? errno : ENOSPC);
            fd.close();
            ::unlink(name.constData());
            return Create::Failed;
        }
        written += n;
    }
    if (!fd.close()) {
        *reason = reasonOf(errno);
        ::unlink(name.constData());
        return Create::Failed;
    }
    return Create::Done;
}

// A file of a batch import: its name as shown and stored, as on disk, and
// the path it is read from (where a link in the folder leads).
struct Entry {
    QString name;
    QByteArray raw;
    QByteArray file;
};

struct Listing {
    std::vector<Entry> entries;
    int notFiles = 0; // names that are no regular file, or links leading out
};

QByteArray realPath(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray real(resolved);
    std::free(resolved);
    return real;
}

// The regular files of `folder` whose names end in ".txt" (in any case, as
// the pattern "*.txt" matched where these files come from), in name order.
// Folders, FIFOs, devices, sockets and links that lead nowhere, or out of
// the folder (an unpacked archive's link to /proc/self/environ or a key
// elsewhere), are counted and left out without being opened, as are hidden
// files, as a file list leaves them out. Names are taken as bytes and shown
// decoded as text files are (UTF-8, else GB18030), so that files named in
// GBK, as unpacked from archives made on Windows, are read and titled correctly.
std::optional<Listing> listTextFiles(const QString& folder, QString* reason)
{
    const QByteArray folderBytes = QFile::encodeName(folder);
    QByteArray realFolder = realPath(folderBytes);
    if (!realFolder.isEmpty() && !realFolder.endsWith('/'))
        realFolder += '/';
    DIR* dir = ::opendir(folderBytes.constData());
    if (!dir) {
        *reason = reasonOf(errno);
        return std::nullopt;
    }
    Listing listing;
    int error = 0;
    for (;;) {
        errno = 0; // readdir tells its end from a failure only by errno
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const QByteArray raw(entry->d_name);
        if (raw.startsWith('.') || raw.size() < 5 || raw.right(4).toLower() != ".txt")
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++listing.notFiles;
            continue;
        }
        QByteArray file = folderBytes + raw;
        // A link counts when it leads to a regular file of this folder.
        if (S_ISLNK(st.st_mode)) {
            file = realPath(file);
            if (realFolder.isEmpty() || !file.startsWith(realFolder)
                || ::stat(file.constData(), &st) != 0) {
                ++listing.notFiles;
                continue;
            }
        }
        if (!S_ISREG(st.st_mode)) {
            ++listing.notFiles;
            continue;
        }
        listing.entries.push_back({Encoding::decodeNarrow(raw), raw, file});
    }
    ::closedir(dir);
    if (error != 0) {
        *reason = reasonOf(error);
        return std::nullopt;
    }
    // Name order, independent of the locale; ties broken for a fixed order.
    std::sort(listing.entries.begin(), listing.entries.end(), [](const Entry& a, const Entry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.raw < b.raw;
    });
    return listing;
}

bool addRecord(Recordset& records, const QString& title, const QString& content)
{
    return records.AddNew() && records.setField(TitleField, title)
        && records.setField(ContentField, content) && records.Update();
}

} // namespace

bool importFile(Dialogs& dialogs, QWidget* parent, DataSource& data)
{
    const QString path = dialogs.openFileName(parent, u"导入文档"_s, QString(), TextFilter);
    if (path.isEmpty())
        return false;
    QString text;
    QString reason;
    if (readDocument(QFile::encodeName(path), true, &text, &reason) != Read::Done)
        return false;
    if (!data.Refresh())
        return false;
    Recordset& records = data.recordset();
    if (addRecord(records, path, text))
        return true;
    records.CancelUpdate();
    return false;
}

BatchResult importFolder(Dialogs& dialogs, QWidget* parent, DataSource& data,
                         BatchProgress& progress)
{
    const QString folder =
        dialogs.existingDirectory(parent, u"请选择要导入文件所在的目录："_s, QString());
    if (folder.isEmpty())
        return {};
    return importFromFolder(folder, dialogs, parent, data, progress);
}

BatchResult importFromFolder(const QString& chosen, Dialogs& dialogs, QWidget* parent,
                             DataSource& data, BatchProgress& progress)
{
    BatchResult result;
    result.folder = withSlash(chosen);
    const QString& folder = result.folder;
    const QString label = u"正在导入 %1 中的文件……"_s.arg(shown(folder));
    // Files passed over are counted, so the user knows the folder held more.
    const auto skipped = [&] {
        QString lines;
        if (result.notText > 0)
            lines += u"\n另有 %1 个文件不是文本文件，未导入。"_s.arg(result.notText);
        if (result.notFiles > 0)
            lines += u"\n另有 %1 个文件不是普通文件或链接到该目录之外，未导入。"_s.arg(result.notFiles);
        return lines;
    };
    const auto stop = [&](const QString& why) {
        result.failed = true;
        dialogs.message(parent,
                        u"成批导入已停止：%1。\n已导入 %2 个文件。"_s.arg(why).arg(result.done)
                            + skipped(),
                        ImportTitle, Dialogs::Icon::Warning);
        return result;
    };
    const auto summary = [&] {
        if (!result.cancelled && (result.notText > 0 || result.notFiles > 0))
            dialogs.message(parent,
                            u"成批导入已完成。\n已导入 %1 个文件。"_s.arg(result.done) + skipped(),
                            ImportTitle, Dialogs::Icon::Information);
        return result;
    };
    const auto databaseFailure = [&](const DataError& error) {
        return u"无法写入文档数据库“%1”（%2）"_s.arg(shown(data.DatabaseName()), reasonOf(error));
    };

    QString reason;
    const std::optional<Listing> listed = listTextFiles(folder, &reason);
    if (!listed)
        return stop(u"无法读取目录“%1”（%2）"_s.arg(shown(folder), reason));
    const std::vector<Entry>& names = listed->entries;
    result.notFiles = listed->notFiles;
    if (names.empty())
        return summary();
    if (!data.Refresh())
        return stop(u"无法打开文档数据库“%1”（%2）"_s.arg(shown(data.DatabaseName()),
                                                        reasonOf(data.lastError())));
    Recordset& records = data.recordset();
    const int total = int(std::min<size_t>(names.size(), MaxItems));
    progress.begin(ImportTitle, label, total);

    // Records are stored in groups, one transaction between two turns of the
    // window: one disk sync per group, and the file is never left locked
    // while the window (or the collector's drop) runs.
    int stored = 0; // in the open transaction, not yet in the file
    const auto commit = [&]() -> bool {
        const int group = std::exchange(stored, 0);
        if (!records.inTransaction())
            return group == 0; // else SQLite rolled it back itself (disk full, I/O error)
        if (!records.CommitTrans())
            return false;
        result.done += group;
        return true;
    };

    QString why; // what stopped the batch
    for (int i = 0; size_t(i) < names.size(); ++i) {
        const QString path = folder + names[i].name;
        if (i == MaxItems) {
            why = u"一次最多导入 %1 个文件，从文件“%2”起未导入"_s.arg(MaxItems).arg(shown(path));
            break;
        }
        if (!records.inTransaction() && !records.BeginTrans()) {
            why = databaseFailure(records.lastError());
            break;
        }
        QString text;
        const Read read = readDocument(names[i].file, false, &text, &reason);
        result.notText += read == Read::NotText;
        result.notFiles += read == Read::NotAFile;
        if (read == Read::Failed) {
            why = u"无法读取文件“%1”（%2）"_s.arg(shown(path), reason);
            break;
        }
        if (read == Read::Done) {
            if (!addRecord(records, names[i].name, text)) {
                why = u"无法保存文件“%1”（%2）"_s.arg(shown(path), reasonOf(records.lastError()));
                records.CancelUpdate();
                break;
            }
            ++stored;
        }
        if (progress.due() || i + 1 == total) {
            if (!commit()) {
                why = databaseFailure(records.lastError());
                break;
            }
            if (!progress.update(i + 1)) {
                result.cancelled = true;
                break;
            }
        }
    }
    // What was stored before the stop stays.
    if (!commit() && why.isEmpty())
        why = databaseFailure(records.lastError());
    progress.finish();
    data.Refresh(); // the first record current, as after any import
    if (!why.isEmpty())
        return stop(why);
    return summary();
}

bool exportShown(Dialogs& dialogs, QWidget* parent, const QString& text)
{
    const QString path = dialogs.saveFileName(parent, u"导出文档"_s, QString(), TextFilter);
    if (path.isEmpty())
        return false;
    return SafeFile::write(path, Encoding::encodeLines(text));
}

BatchResult exportAll(Dialogs& dialogs, QWidget* parent, DataSource& data,
                      BatchProgress& progress)
{
    const QString folder =
        dialogs.existingDirectory(parent, u"请选择要导出文件存放的目录："_s, QString());
    if (folder.isEmpty())
        return {};
    return exportToFolder(folder, dialogs, parent, data, progress);
}

BatchResult exportToFolder(const QString& chosen, Dialogs& dialogs, QWidget* parent,
                           DataSource& data, BatchProgress& progress)
{
    BatchResult result;
    result.folder = withSlash(chosen);
    const QString& folder = result.folder;
    const auto stop = [&](const QString& why) {
        result.failed = true;
        dialogs.message(parent, u"成批导出已停止：%1。\n已导出 %2 个文件。"_s.arg(why).arg(result.done),
                        ExportTitle, Dialogs::Icon::Warning);
        return result;
    };
    const auto numbered = [&](int number) -> QString {
        return folder + QString::number(number) + u".txt"_s;
    };

    if (!data.Refresh())
        return stop(u"无法打开文档数据库“%1”（%2）"_s.arg(shown(data.DatabaseName()),
                                                        reasonOf(data.lastError())));
    Recordset& records = data.recordset();
    const qint64 count = records.recordCount().value_or(0);
    progress.begin(ExportTitle, u"正在导出到 %1 ……"_s.arg(shown(folder)),
                   int(std::min<qint64>(count, MaxItems + 1)));

    // Reads go in groups too: one read lock per group instead of two per record.
    QString why;
    QString reason;
    int number = 0;
    while (!records.isEOF()) {
        if (!records.inTransaction() && !records.BeginTrans()) {
            why = u"无法读取文档数据库“%1”（%2）"_s.arg(shown(data.DatabaseName()),
                                                       reasonOf(records.lastError()));
            break;
        }
        const std::optional<QString> content = records.field(ContentField);
        if (!content) {
            why = u"无法读取要写入文件“%1”的文档（%2）"_s.arg(shown(numbered(number)),
                                                             reasonOf(records.lastError()));
            break;
        }
        const QByteArray bytes = Encoding::encodeLines(*content);
        Create created = Create::Taken;
        for (; number <= MaxItems; ++number) {
            created = createFile(numbered(number), bytes, &reason);
            if (created != Create::Taken)
                break;
        }
        if (created == Create::Taken) {
            why = u"文件编号最大为 %1，无法创建文件“%2”"_s.arg(MaxItems).arg(
                shown(numbered(MaxItems + 1)));
            break;
        }
        if (created == Create::Failed) {
            why = u"无法创建文件“%1”（%2）"_s.arg(shown(numbered(number)), reason);
            break;
        }
        ++number;
        ++result.done;
        if (!records.MoveNext()) {
            why = u"无法读取下一个文档（%1）"_s.arg(reasonOf(records.lastError()));
            break;
        }
        if (progress.due() || records.isEOF()) {
            records.Rollback(); // the group only read: nothing to keep
            if (!progress.update(result.done)) {
                result.cancelled = true;
                break;
            }
        }
    }
    records.Rollback();
    progress.finish();
    // No record is current afterwards, however the loop ended.
    if (!records.isEOF() && records.MoveLast())
        records.MoveNext();
    if (!why.isEmpty())
        stop(why);
    return result;
}

QString reasonOfError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return u"没有权限"_s;
    case ENOENT:
        return u"文件或目录不存在"_s;
    case ENOSPC:
    case EDQUOT:
        return u"磁盘已满"_s;
    case EROFS:
        return u"磁盘只能读取"_s;
    case EISDIR:
        return u"这是一个目录"_s;
    case ENAMETOOLONG:
        return u"文件名太长"_s;
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace ImportExport
