#include "AccessImport.h"

#include "DataSource.h"
#include "Schema.h"
#include "Sqlite.h"
#include "access/AccessStream.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString g_readerPath;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

void syncPath(const QString& path, bool folder)
{
    const int fd = ::open(native(path).constData(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The records as quorrel-mdb-reader sends them (AccessStream.h), parsed as
// they arrive; only the bytes of the record being received are held.
class StreamParser {
public:
    enum class State { Header, Records, Ended, Broken };

    // No value may be longer than this: a reader gone wrong cannot make this
    // process hold more.
    explicit StreamParser(quint64 maxValue) : m_maxValue(maxValue) {}

    // Feeds bytes; calls `record` for each whole record.
    template <typename F>
    void feed(const QByteArray& bytes, F&& record)
    {
        m_buffer.append(bytes);
        qsizetype pos = 0;
        for (;;) {
            const qsizetype left = m_buffer.size() - pos;
            const char* p = m_buffer.constData() + pos;
            if (m_state == State::Header) {
                if (left < 16)
                    break;
                if (std::memcmp(p, AccessStream::kMagic, 8) != 0) {
                    m_state = State::Broken;
                    break;
                }
                expected = qint64(le(p + 8, 8));
                m_state = State::Records;
                pos += 16;
            } else if (m_state == State::Records) {
                if (left < 1)
                    break;
                if (*p == AccessStream::kEnd) {
                    if (left < 9)
                        break;
                    written = qint64(le(p + 1, 8));
                    m_state = State::Ended;
                    pos += 9;
                    continue;
                }
                if (*p != AccessStream::kRecord) {
                    m_state = State::Broken;
                    break;
                }
                if (left < 5)
                    break;
                const quint64 titleSize = le(p + 1, 4);
                if (titleSize > m_maxValue) {
                    m_state = State::Broken;
                    break;
                }
                if (quint64(left) < 9 + titleSize)
                    break;
                const quint64 contentSize = le(p + 5 + titleSize, 4);
                if (contentSize > m_maxValue) {
                    m_state = State::Broken;
                    break;
                }
                if (quint64(left) < 9 + titleSize + contentSize)
                    break;
                record(QByteArrayView(p + 5, qsizetype(titleSize)),
                       QByteArrayView(p + 9 + titleSize, qsizetype(contentSize)));
                pos += qsizetype(9 + titleSize + contentSize);
            } else {
                if (left > 0)
                    m_state = State::Broken; // bytes after the end
                break;
            }
        }
        m_buffer.remove(0, pos);
    }
    State state() const { return m_state; }

    qint64 expected = -1;
    qint64 written = -1;

private:
    static quint64 le(const char* p, int bytes)
    {
        quint64 v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | quint8(p[i]);
        return v;
    }
    quint64 m_maxValue;
    QByteArray m_buffer;
    State m_state = State::Header;
};

// The reader's standard error, through a pipe of our own that is read as
// the reader writes, keeping only the last few kilobytes: libmdb may print
// warnings without end, and QProcess would keep every byte of them while it
// waits for the records.
class ErrorTail {
public:
    ErrorTail()
    {
        if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0)
            m_fds[0] = m_fds[1] = -1;
        else
            ::fcntl(m_fds[1], F_SETFL, 0); // the reader's end blocks, as stderr does
    }
    ~ErrorTail()
    {
        closeWriteEnd();
        if (m_fds[0] >= 0)
            ::close(m_fds[0]);
    }
    ErrorTail(const ErrorTail&) = delete;
    ErrorTail& operator=(const ErrorTail&) = delete;

    bool isOpen() const { return m_fds[0] >= 0; }
    int writeEnd() const { return m_fds[1]; }
    // Once the reader has its copy: the pipe ends when the reader does.
    void closeWriteEnd()
    {
        if (m_fds[1] >= 0)
            ::close(m_fds[1]);
        m_fds[1] = -1;
    }
    void drain()
    {
        char buffer[16384];
        ssize_t n;
        while (m_fds[0] >= 0 && (n = ::read(m_fds[0], buffer, sizeof buffer)) > 0) {
            m_tail.append(buffer, n);
            if (m_tail.size() > 2 * Kept)
                m_tail = m_tail.right(Kept);
        }
    }
    QByteArray tail() const { return m_tail.right(Kept); }

private:
    static constexpr qsizetype Kept = 4096;
    int m_fds[2] = {-1, -1};
    QByteArray m_tail;
};

// What the reader said on its way out, for the message: its last line,
// without its name.
QString readerMessage(const QByteArray& stderrTail)
{
    const QList<QByteArray> lines = stderrTail.trimmed().split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (it->startsWith("quorrel-mdb-reader: "))
            return QString::fromUtf8(it->mid(20));
    return {};
}

QString describeExit(int code, const QString& said)
{
    using namespace AccessStream;
    switch (code) {
    case NotAccess:
        return u"它不是 Access 数据库。"_s;
    case NoTable:
        return u"其中没有表 WebDocuments。"_s;
    case NoFields:
        return u"表 WebDocuments 缺少字段“标题”或“内容”（"_s + said + u"）。"_s;
    case CannotOpen:
        return u"无法读取它。\n"_s + said;
    default:
        return said.isEmpty() ? u"它已损坏。"_s : u"它已损坏（"_s + said + u"）。"_s;
    }
}

// What a failure says: the sentence for the user, then the system's own
// words on a line of their own.
QString withDetail(const QString& sentence, const QString& detail)
{
    return detail.isEmpty() ? sentence : sentence + u"\n"_s + detail;
}

} // namespace

namespace AccessFile {

bool isAccess(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(0x15);
    return head.size() == 0x15
           && (head.startsWith(QByteArrayView("\x00\x01\x00\x00Standard Jet DB", 19))
               || head.startsWith(QByteArrayView("\x00\x01\x00\x00Standard ACE DB", 19)));
}

QString readerPath()
{
    if (!g_readerPath.isEmpty())
        return g_readerPath;
    return QCoreApplication::applicationDirPath() + u"/quorrel-mdb-reader"_s;
}

void setReaderPath(const QString& path)
{
    g_readerPath = path;
}

QString keptName(const QString& path, int attempt)
{
    const QFileInfo info(path);
    const QString tag = attempt == 0 ? u".access"_s : u".access-"_s + QString::number(attempt);
    const QString suffix = info.suffix().isEmpty() ? QString() : u"."_s + info.suffix();
    return info.dir().filePath(info.completeBaseName() + tag + suffix);
}

} // namespace AccessFile

// A hidden temporary SQLite file beside the target, named as the program's
// safe writes name theirs, so one left by a crash is removed at the next
// start; removed here unless released.
struct AccessImport::Temp {
    QString path;
    int lockFd = -1;
    explicit Temp(const QString& target)
    {
        const QFileInfo info(target);
        QTemporaryFile file(info.dir().filePath(u"."_s + info.fileName() + u".XXXXXX.quorrel-tmp"_s));
        file.setAutoRemove(false);
        if (!file.open())
            return;
        path = file.fileName();
        // Held while it is written, so a collector starting meanwhile does not
        // take it for a crash's leftover and remove it.
        lockFd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
        if (lockFd >= 0)
            ::flock(lockFd, LOCK_EX);
    }
    ~Temp()
    {
        if (!path.isEmpty())
            QFile::remove(path);
        if (lockFd >= 0)
            ::close(lockFd);
    }
    void release() { path.clear(); }
};

AccessImport::Outcome AccessImport::fail(const QString& message)
{
    m_message = message;
    return Outcome::Failed;
}

AccessImport::Outcome AccessImport::readInto(const QString& source, const QString& sqlitePath)
{
    m_read = 0;
    m_expected = -1;
    const QString name = QFileInfo(source).fileName();

    SqliteDatabase db;
    SqliteError e;
    // No journal and no syncs while it is made: a file that fails is thrown
    // away, and the whole file is synced once at the end.
    if (!db.open(sqlitePath, SqliteOpenMode::ReadWriteCreate, &e)
        || !db.exec("PRAGMA journal_mode=OFF", &e) || !db.exec("PRAGMA synchronous=OFF", &e)
        || !db.exec(CreateWebDocumentsSql, &e) || !db.exec("BEGIN", &e))
        return fail(withDetail(u"无法在文件夹中建立新的数据库。"_s, e.message));
    SqliteStatement insert;
    if (!insert.prepare(db, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)", &e))
        return fail(withDetail(u"无法在文件夹中建立新的数据库。"_s, e.message));

    // The reader holds a value a few times over (as read, decoded, sent) and
    // libmdb what it needs: that fits in these limits for a whole file read
    // at its usual pace, while a damaged file that makes it want gigabytes or
    // loop ends it, besides the stall limit for a reader that goes quiet.
    const auto sourceSize = rlim_t(qMax<qint64>(QFileInfo(source).size(), 0));
    const rlim_t memoryLimit = (rlim_t(256) << 20) + 8 * sourceSize;
    const rlim_t cpuSeconds = 60 + (sourceSize >> 20);
    ErrorTail errors;
    if (!errors.isOpen())
        return fail(withDetail(u"无法启动 Access 读取程序。"_s, qt_error_string(errno)));
    QProcess reader;
    reader.setProgram(AccessFile::readerPath());
    reader.setArguments({source});
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.setChildProcessModifier([fd = errors.writeEnd(), memoryLimit, cpuSeconds] {
        // Between fork and exec: only async-signal-safe calls.
        ::dup2(fd, STDERR_FILENO);
        const rlimit memory{memoryLimit, memoryLimit};
        ::setrlimit(RLIMIT_AS, &memory);
        const rlimit cpu{cpuSeconds, cpuSeconds + 5};
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
    reader.start(QIODevice::ReadOnly);
    errors.closeWriteEnd();
    if (!reader.waitForStarted(10000))
        return fail(withDetail(u"无法启动 Access 读取程序。"_s,
                               reader.program() + u": "_s + reader.errorString()));

    // Decoded text is at most three bytes of UTF-8 for each byte of the file.
    StreamParser parser(3 * quint64(sourceSize) + 16);
    QString insertError;
    auto store = [&](QByteArrayView title, QByteArrayView content) {
        if (!insertError.isEmpty())
            return;
        // NUL never enters stored text; CR LF stays as the file holds it.
        QString t = QString::fromUtf8(title), c = QString::fromUtf8(content);
        t.remove(QChar(0));
        c.remove(QChar(0));
        SqliteError ie;
        if (!insert.bindText(1, t, &ie) || !insert.bindText(2, c, &ie)
            || insert.step(&ie) != SqliteStep::Done)
            insertError = ie.message;
        insert.reset();
        ++m_read;
    };

    QElapsedTimer quiet, tick;
    quiet.start();
    tick.start();
    bool stalled = false;
    for (;;) {
        const bool more = reader.waitForReadyRead(100);
        errors.drain();
        const QByteArray out = reader.readAllStandardOutput();
        if (!out.isEmpty()) {
            quiet.start();
            parser.feed(out, store);
            m_expected = parser.expected;
        }
        if (!insertError.isEmpty() || parser.state() == StreamParser::State::Broken)
            break;
        if (progress && tick.elapsed() >= 50) {
            tick.start();
            progress(m_read, m_expected);
        }
        if (!more && reader.state() == QProcess::NotRunning)
            break;
        if (quiet.elapsed() > m_stallLimitMs) {
            stalled = true;
            break;
        }
    }
    if (reader.state() != QProcess::NotRunning) {
        reader.kill();
        reader.waitForFinished(5000);
    }
    parser.feed(reader.readAllStandardOutput(), store);
    m_expected = parser.expected;
    errors.drain();
    const QString said = readerMessage(errors.tail());

    if (!insertError.isEmpty())
        return fail(withDetail(u"写入新的数据库失败。"_s, insertError));
    if (reader.error() == QProcess::FailedToStart)
        return fail(withDetail(u"无法启动 Access 读取程序。"_s, reader.errorString()));
    const bool crashed = !stalled && reader.exitStatus() == QProcess::CrashExit;
    const int code = reader.exitStatus() == QProcess::NormalExit ? reader.exitCode() : -1;
    const bool complete = parser.state() == StreamParser::State::Ended && code == 0
                          && parser.written == m_read;
    if (parser.state() == StreamParser::State::Broken)
        return fail(name + u" 无法转换：读取程序送出的数据有误。"_s);
    if (m_expected < 0) {
        // Nothing came: the header, the catalog or the table could not be read.
        if (stalled)
            return fail(name + u" 无法转换：读取时停止响应，文件可能已损坏。"_s);
        if (crashed)
            return fail(name + u" 无法转换：读取时出错，文件可能已损坏。"_s);
        return fail(name + u" 无法转换："_s + describeExit(code, said));
    }
    if (!complete || m_read < m_expected) {
        QString why = stalled   ? u"读取时停止响应"_s
                      : crashed ? u"读取时出错"_s
                                : (said.isEmpty() ? u"文件可能已损坏"_s : said);
        const QString text = name + u" 的表 WebDocuments 应有 "_s + QString::number(m_expected)
                             + u" 条记录，只能读出 "_s + QString::number(m_read) + u" 条（"_s
                             + why + u"）。"_s;
        if (!acceptShortRead || !acceptShortRead(m_read, m_expected, text)) {
            m_message = text;
            return Outcome::Declined;
        }
    }
    // More records than the table's count (a count another writer left
    // stale) loses nothing: every record read is taken.
    if (!db.exec("COMMIT", &e))
        return fail(withDetail(u"写入新的数据库失败。"_s, e.message));
    insert.finalize();
    db.close();
    syncPath(sqlitePath, false);
    return Outcome::Done;
}

bool AccessImport::keepOriginal(const QString& path, int lockedFd)
{
    struct stat locked{};
    ::fstat(lockedFd, &locked);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString kept = AccessFile::keptName(path, attempt);
        struct stat st{};
        if (::stat(native(kept).constData(), &st) == 0) {
            // Kept already by a conversion that ended before its last rename.
            if (sameFile(st, locked)) {
                m_keptPath = kept;
                return true;
            }
            continue; // never overwritten
        }
        // A second name for the same file: the original is never copied or
        // moved, so there is no moment at which it is half anywhere.
        if (::link(native(path).constData(), native(kept).constData()) == 0) {
            m_keptPath = kept;
            return true;
        }
        const int linkErrno = errno;
        if (linkErrno == EEXIST)
            continue;
        if (linkErrno != EPERM && linkErrno != EOPNOTSUPP && linkErrno != EXDEV
            && linkErrno != EMLINK) {
            m_message = withDetail(u"无法保留原文件 "_s + kept + u"。"_s, qt_error_string(linkErrno));
            return false;
        }
        // No hard links here (some file systems): a synced copy, given its
        // name only if that name is still free.
        Temp copy(kept);
        if (copy.path.isEmpty() || !QFile::remove(copy.path) || !QFile::copy(path, copy.path)) {
            m_message = u"无法保留原文件 "_s + kept;
            return false;
        }
        syncPath(copy.path, false);
        if (::renameat2(AT_FDCWD, native(copy.path).constData(), AT_FDCWD,
                        native(kept).constData(), RENAME_NOREPLACE)
            == 0) {
            copy.release();
            m_keptPath = kept;
            return true;
        }
        if (errno != EEXIST) {
            m_message = withDetail(u"无法保留原文件 "_s + kept + u"。"_s, qt_error_string(errno));
            return false;
        }
    }
    m_message = u"无法保留原文件：名称都已被占用。"_s;
    return false;
}

AccessImport::Outcome AccessImport::convertInPlace(const QString& path)
{
    m_keptPath.clear();
    m_message.clear();
    if (!AccessFile::isAccess(path))
        return Outcome::NotAccess;
    const QString name = QFileInfo(path).fileName();

    // One conversion at a time (the collector, the browser and an import from
    // the command line may all find the file): the others wait for the lock,
    // then find it converted.
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(withDetail(name + u" 无法打开。"_s, qt_error_string(errno)));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    const QDeadlineTimer lockDeadline(m_lockWaitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (lockDeadline.hasExpired()) {
            fail(name + u" 正由另一个程序转换，请稍后再试。"_s);
            return Outcome::Busy;
        }
        QThread::msleep(50);
    }
    struct stat locked{}, now{};
    if (::fstat(fd, &locked) != 0 || ::stat(native(path).constData(), &now) != 0
        || !sameFile(locked, now))
        return AccessFile::isAccess(path) ? fail(name + u" 在转换时被改动，请再试一次。"_s)
                                          : Outcome::NotAccess;
    // Another conversion may have put the new database under the name
    // between our first look and our open.
    if (!AccessFile::isAccess(path))
        return Outcome::NotAccess;

    Temp temp(path);
    if (!temp.path.isEmpty())
        QFile::setPermissions(temp.path, QFile::permissions(path));
    if (temp.path.isEmpty())
        return fail(name + u" 无法转换：文件夹 "_s + QFileInfo(path).absolutePath()
                    + u" 不能写入，原文件未改动。"_s);
    if (const Outcome read = readInto(path, temp.path); read != Outcome::Done)
        return read;

    // The original gets its second name first, then the new database takes
    // the first: a crash at any moment leaves the name on the Access file or
    // on the whole new database, and the original under its kept name.
    if (!keepOriginal(path, fd))
        return Outcome::Failed;
    const QString folder = QFileInfo(path).absolutePath();
    syncPath(folder, true);
    if (::rename(native(temp.path).constData(), native(path).constData()) != 0)
        return fail(withDetail(name + u" 无法换成新的数据库。"_s, qt_error_string(errno)));
    temp.release();
    syncPath(folder, true);
    // The browser's search index beside it was made from another file (the
    // index tells a changed database only by its last records): made afresh.
    const QFileInfo info(path);
    for (const QString& end : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s})
        QFile::remove(info.dir().filePath(info.completeBaseName() + u".search"_s + end));
    return Outcome::Done;
}

AccessImport::Outcome AccessImport::appendTo(const QString& source, const QString& target)
{
    m_keptPath.clear();
    m_message.clear();
    if (!AccessFile::isAccess(source)) {
        m_message = QFileInfo(source).fileName() + u" 不是 Access 数据库。"_s;
        return Outcome::NotAccess;
    }
    Temp temp(target);
    if (temp.path.isEmpty())
        return fail(u"文件夹 "_s + QFileInfo(target).absolutePath() + u" 不能写入。"_s);
    if (const Outcome read = readInto(source, temp.path); read != Outcome::Done)
        return read;

    // Only a document table the windows could use takes the records: not
    // another program's view, virtual table or file.
    {
        DataSource document;
        document.setDatabaseName(target);
        QString why;
        if (!document.Refresh(&why))
            return fail(why);
    }
    // The records were read into a file of their own first, so the database
    // is locked only for one copy, and gets every record or none.
    SqliteDatabase db;
    SqliteError e;
    if (!db.open(target, SqliteOpenMode::ReadWrite, &e))
        return fail(withDetail(QFileInfo(target).fileName() + u" 无法打开。"_s, e.message));
    if (db.isReadOnly())
        return fail(QFileInfo(target).fileName() + u" 只能读取，不能写入。"_s);
    db.setBusyTimeout(30000);
    SqliteStatement attach;
    if (!attach.prepare(db, "ATTACH DATABASE ?1 AS access", &e, false)
        || !attach.bindText(1, temp.path, &e) || attach.step(&e) != SqliteStep::Done)
        return fail(withDetail(u"无法读取转换出的记录。"_s, e.message));
    attach.finalize();
    if (!db.exec("BEGIN IMMEDIATE", &e)
        || !db.exec("INSERT INTO main.WebDocuments (\"标题\", \"内容\") SELECT \"标题\", "
                    "\"内容\" FROM access.WebDocuments ORDER BY rowid",
                    &e)) {
        db.exec("ROLLBACK");
        return fail(withDetail(QFileInfo(target).fileName() + u" 写入失败。"_s, e.message));
    }
    // A trigger of the table may have skipped records: all or none.
    if (db.changes() != m_read) {
        db.exec("ROLLBACK");
        return fail(QFileInfo(target).fileName() + u" 没有存入全部记录（表上的触发器可能忽略了它们），"
                                                    u"未作任何改动。"_s);
    }
    if (!db.exec("COMMIT", &e)) {
        db.exec("ROLLBACK");
        return fail(withDetail(QFileInfo(target).fileName() + u" 写入失败。"_s, e.message));
    }
    db.exec("DETACH DATABASE access");
    return Outcome::Done;
}
