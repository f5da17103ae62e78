#include "CacheJournal.h"
#include "ChildProcess.h"
#include "SafeFile.h"
#include "SyscallFaults.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using TestFiles::bytesOf;
using TestFiles::namesIn;
// Takes the concatenations the tests build.
CacheJournal::Contents parsed(const QByteArray& bytes) { return CacheJournal::parse(bytes); }

} // namespace

class JournalTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recordsReadBackAndStayReadable()
    {
        QTemporaryDir dir;
        CacheJournal journal(dir.filePath(u"Doc.dat.pending"_s));
        QVERIFY(!journal.exists());
        const QString texts[] = {u"ab"_s, u"中文😀\n第二行\r\n"_s, u"T 3 00000000\n"_s, u"x"_s};
        for (const QString& text : texts)
            QVERIFY(journal.append(text));
        const QByteArray bytes = bytesOf(journal.path());
        QVERIFY(bytes.startsWith(CacheJournal::Header));
        QVERIFY(bytes.contains("中文😀\n第二行")); // a person can read what is kept
        const auto contents = CacheJournal(journal.path()).open();
        QVERIFY(contents);
        QCOMPARE(contents->text, texts[0] + texts[1] + texts[2] + texts[3]);
        QVERIFY(!contents->handedOver);
        QCOMPARE(contents->validSize, bytes.size());
        QCOMPARE(contents->ignoredSize, 0);

        // Retired, it is gone; a new journal starts on the next append.
        QVERIFY(journal.retire());
        QVERIFY(!journal.exists());
        QVERIFY(journal.retire()); // nothing there: fine
        QVERIFY(journal.append(u"b"_s));
        QCOMPARE(parsed(bytesOf(journal.path())).text, u"b"_s);
        CacheJournal blocked(dir.filePath(u"sub/j"_s)); // no such folder
        QString error;
        QVERIFY(!blocked.append(u"x"_s, &error));
        QVERIFY(!error.isEmpty());
    }

    // A crash can cut the last write anywhere: every cut keeps exactly the
    // whole records before it, and the next record after the cut reads back.
    void tornTailIsIgnoredAtEveryCut()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"j"_s);
        const QByteArray whole = CacheJournal::Header + CacheJournal::record('T', "first") +
                                 CacheJournal::record('T', "第二");
        const QByteArray last = CacheJournal::record('T', "third, never acknowledged");
        for (qsizetype cut = 0; cut < last.size(); ++cut) {
            QVERIFY(TestFiles::writeBytes(path, whole + last.left(cut)));
            CacheJournal journal(path);
            const auto contents = journal.open();
            QVERIFY(contents);
            QCOMPARE(contents->text, u"first第二"_s);
            QCOMPARE(contents->ignoredSize, cut);
            QCOMPARE(QFileInfo(path).size(), whole.size()); // the torn bytes are gone
            QVERIFY(journal.append(u"+next"_s));
            QCOMPARE(parsed(bytesOf(path)).text, u"first第二+next"_s);
        }
        // A header torn when the file was made: nothing was acknowledged.
        for (qsizetype cut = 1; cut < CacheJournal::Header.size(); ++cut) {
            const auto contents = parsed(CacheJournal::Header.left(cut));
            QVERIFY(contents.text.isEmpty());
            QCOMPARE(contents.validSize, 0);
        }
    }

    void damagedRecordsAreNotTrusted()
    {
        const QByteArray good = CacheJournal::Header + CacheJournal::record('T', "kept");
        QByteArray flipped = CacheJournal::record('T', "payload");
        flipped[flipped.indexOf("payload") + 2] = 'X'; // the checksum no longer fits
        QCOMPARE(parsed(good + flipped).text, u"kept"_s);
        // Damage costs only the record it hits, the header's included.
        const QByteArray after = CacheJournal::record('T', "+after");
        auto c = parsed(good + flipped + after);
        QCOMPARE(c.text, u"kept+after"_s);
        QCOMPARE(c.ignoredSize, 0);
        QByteArray header = CacheJournal::Header;
        header[3] = '#';
        QCOMPARE(parsed(header + CacheJournal::record('T', "kept") + after).text, u"kept+after"_s);
        QCOMPARE(parsed(good + "T 99999999999 00000000\n").text, u"kept"_s);
        QCOMPARE(parsed(good + "Q 1 00000000\nx\n").text, u"kept"_s);
        QCOMPARE(parsed("not a journal at all").text, QString());
        // Zeros, as a power loss may leave past the end of a file.
        QCOMPARE(parsed(good + QByteArray(4096, '\0')).text, u"kept"_s);
    }

    void handOverAndDone()
    {
        const FileStamp stamp{1, 2, 3, 4};
        const auto h = [](const std::optional<FileStamp>& s) {
            QTemporaryDir dir;
            CacheJournal journal(dir.filePath(u"j"_s));
            journal.beginHandOver(s);
            return bytesOf(journal.path()).mid(CacheJournal::Header.size());
        };
        const QByteArray head = CacheJournal::Header + CacheJournal::record('T', "a");
        auto c = parsed(head + h(stamp));
        QCOMPARE(c.text, u"a"_s);
        QVERIFY(c.handedOver);
        QCOMPARE(c.documentBefore, std::optional<FileStamp>(stamp));
        c = parsed(head + h(std::nullopt));
        QVERIFY(c.handedOver);
        QVERIFY(!c.documentBefore);
        // A hand-over that failed: the run went on and cached more.
        c = parsed(head + h(stamp) + CacheJournal::record('T', "b"));
        QCOMPARE(c.text, u"ab"_s);
        QVERIFY(!c.handedOver);
        // Done: what came before is in Doc.dat.
        c = parsed(head + h(stamp) + CacheJournal::record('D', {}) +
                                CacheJournal::record('T', "c"));
        QCOMPARE(c.text, u"c"_s);
        QVERIFY(!c.handedOver);
    }

    // Whatever else has the journal's name is neither read, cut nor waited
    // on: opening fails, a cached drop fails, and the name and what a link
    // there leads to stay as they were.
    void aJournalNameThatIsNoFileIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("link to a file of the user's") << QByteArray("link");
        QTest::newRow("link to nowhere") << QByteArray("dangling");
        QTest::newRow("FIFO") << QByteArray("fifo");
    }
    void aJournalNameThatIsNoFileIsLeftAlone()
    {
        QFETCH(QByteArray, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Doc.dat.pending"_s);
        const QByteArray name = QFile::encodeName(path);
        const QByteArray notes = "the user's notes\n";
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"notes.txt"_s), notes));
        if (kind == "fifo")
            QVERIFY(::mkfifo(name.constData(), 0600) == 0);
        else
            QVERIFY(::symlink(kind == "link" ? "notes.txt" : "nowhere", name.constData()) == 0);
        struct stat before {};
        QVERIFY(::lstat(name.constData(), &before) == 0);

        // In a child: a wait on the FIFO fails the test instead of hanging it.
        const std::optional<int> opened = exitCodeOfChild(
            [&] {
                CacheJournal journal(path);
                return journal.open() || journal.append(u"x"_s) ? 1 : 0;
            },
            10s);
        QCOMPARE(opened, std::optional<int>(0));
        QCOMPARE(bytesOf(dir.filePath(u"notes.txt"_s)), notes);
        struct stat after {};
        QVERIFY(::lstat(name.constData(), &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
    }

    void safeWritesLeaveNoTemporaryFiles_data()
    {
        QTest::addColumn<bool>("oldFileSystem"); // no hard links, no renameat2 flags
        QTest::newRow("any") << false;
        QTest::newRow("old file system") << true;
    }
    void safeWritesLeaveNoTemporaryFiles()
    {
        QFETCH(bool, oldFileSystem);
        std::optional<SyscallFaults::NoHardLinks> old;
        if (oldFileSystem)
            old.emplace(false);
        QTemporaryDir dir;
        const QString target = dir.filePath(u"Doc.dat"_s);
        QVERIFY(SafeFile::write(target, "one"));
        QVERIFY(SafeFile::write(target, "two")); // its mode kept: tst_drops
        QCOMPARE(bytesOf(target), QByteArray("two"));

        const QString numbered = dir.filePath(u"0.txt"_s);
        QVERIFY(SafeFile::createExclusive(numbered, "text\r\n"));
        QString error;
        QVERIFY(!SafeFile::createExclusive(numbered, "other", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(numbered), QByteArray("text\r\n"));
        QVERIFY(QFile::link(u"/nonexistent/target"_s, dir.filePath(u"1.txt"_s)));
        QVERIFY(!SafeFile::createExclusive(dir.filePath(u"1.txt"_s), "x")); // a dangling link too
        QVERIFY(!SafeFile::createExclusive(dir.filePath(u"missing/2.txt"_s), "x"));
        QCOMPARE(namesIn(dir.path()), QStringList({u"0.txt"_s, u"1.txt"_s, u"Doc.dat"_s}));

        // A name near the system's limit (244 bytes) still has room for a temporary name.
        QTemporaryDir other;
        QVERIFY(SafeFile::write(other.filePath(QString(80, u'长') + u".txt"_s), "long"));
        QVERIFY(SafeFile::createExclusive(other.filePath(QString(80, u'名') + u".txt"_s), "long"));
        QCOMPARE(namesIn(other.path()).size(), 2);

        // A folder in the way cannot be replaced; the temporary file goes too.
        QVERIFY(QDir(dir.path()).mkdir(u"Set.ini"_s));
        QVERIFY(!SafeFile::write(dir.filePath(u"Set.ini"_s), "x"));
        QCOMPARE(namesIn(dir.path()),
                 QStringList({u"0.txt"_s, u"1.txt"_s, u"Doc.dat"_s, u"Set.ini"_s}));
    }

    // Data is on the disk before it counts as written: a sync the disk
    // refuses fails the write, and nothing takes the target's name.
    void aFailingSyncFailsTheWrite_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("replace") << 0;
        QTest::newRow("create exclusively") << 1;
        QTest::newRow("journal append") << 2;
    }
    void aFailingSyncFailsTheWrite()
    {
        QFETCH(int, way);
        QTemporaryDir dir;
        const QString target = dir.filePath(u"Doc.dat"_s);
        CacheJournal journal(target);
        QVERIFY(way == 1 || (way == 2 ? journal.append(u"old"_s) : SafeFile::write(target, "old")));
        const QByteArray before = bytesOf(target);
        QString error;
        bool written = false;
        {
            SyscallFaults::FailingSync failing(EIO);
            written = way == 0   ? SafeFile::write(target, "new", &error)
                      : way == 1 ? SafeFile::createExclusive(target, "new", &error)
                                 : journal.append(u"new"_s, &error);
            QVERIFY(failing.calls() > 0);
        }
        QVERIFY(!written);
        QCOMPARE(error, qt_error_string(EIO));
        QCOMPARE(bytesOf(target), before);
        QCOMPARE(namesIn(dir.path()), way == 1 ? QStringList() : QStringList{u"Doc.dat"_s});
        if (way == 2) // the next append follows the last whole record
            QVERIFY(journal.append(u"+"_s) && parsed(bytesOf(target)).text == u"old+"_s);
    }

    void leftoversAreRecognisedAndRemoved()
    {
        QVERIFY(SafeFile::isLeftover(u".Doc.dat.aB3xY9.quorrel-tmp"_s));
        QVERIFY(SafeFile::isLeftover(u".12.txt.000000.quorrel-tmp"_s));
        for (const QString& name : {u"Doc.dat.aB3xY9"_s /* anybody's */, u".Doc.dat.aB3x.quorrel-tmp"_s,
                                    u".Doc.dat.aB3-Y9.quorrel-tmp"_s, u"..abcdef.quorrel-tmp"_s})
            QVERIFY2(!SafeFile::isLeftover(name), qPrintable(name));

        QTemporaryDir dir;
        QVERIFY(TestFiles::writeBytes(dir.filePath(u".Doc.dat.aB3xY9.quorrel-tmp"_s), "half"));
        QVERIFY(TestFiles::writeBytes(dir.filePath(u".5.txt.zzzzzz.quorrel-tmp"_s), "half"));
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"Doc.dat.aB3xY9"_s), "not ours to judge"));
        QVERIFY(QDir(dir.path()).mkdir(u".x.abcdef.quorrel-tmp"_s)); // folders stay
        // One that another process is still writing (it holds a lock on it,
        // as a conversion from the command line does) is not a leftover.
        const QString busy = dir.filePath(u".WebDocuments.mdb.Qw3rTy.quorrel-tmp"_s);
        QVERIFY(TestFiles::writeBytes(busy, "being written"));
        const int fd = ::open(QFile::encodeName(busy).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
        QCOMPARE(SafeFile::removeLeftovers(dir.path()), 2);
        ::close(fd);
        QCOMPARE(namesIn(dir.path()), QStringList({busy.section(u'/', -1), u".x.abcdef.quorrel-tmp"_s,
                                                   u"Doc.dat.aB3xY9"_s}));
    }
};

QUORREL_TEST(JournalTest, "journal")
#include "tst_journal.moc"
