#include "AccessCommand.h"
#include "AccessImport.h"
#include "Faults.h"
#include "SyscallFaults.h"
#include "TestDatabase.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kFixtures = QStringLiteral(ACCESS_FIXTURES);
const QString kJet4 = u"generated/WebDocuments_jet4_compressed.mdb"_s; // 16 records

using TestFiles::bytesOf;

// A fixture copied into `dir` as WebDocuments.mdb, `size` bytes of it (all when negative).
QString placeFixture(const QTemporaryDir& dir, const QString& fixture, qint64 size = -1)
{
    const QString path = dir.filePath(u"WebDocuments.mdb"_s);
    const QByteArray bytes = bytesOf(kFixtures + u'/' + fixture);
    return TestFiles::writeBytes(path, size < 0 ? bytes : bytes.left(size)) ? path : QString();
}

// WebDocuments_expected.bin: per value a 32-bit length and UTF-8, -1 for
// NULL, which the conversion stores as empty text; as TestFiles::recordsIn
// lists them.
QStringList expectedRecords()
{
    const QByteArray bin = bytesOf(kFixtures + u"/generated/WebDocuments_expected.bin"_s);
    QStringList values;
    for (qsizetype i = 0; i + 4 <= bin.size();) {
        qint32 n;
        memcpy(&n, bin.constData() + i, 4);
        i += 4;
        values << (n < 0 ? QString() : QString::fromUtf8(bin.mid(i, n)));
        i += qMax(n, 0);
    }
    QStringList records;
    for (qsizetype i = 0; i + 1 < values.size(); i += 2)
        records << values[i] + u'|' + values[i + 1];
    return records;
}

// The reader run on any table of a file: the values it sends, in order.
QList<QByteArray> readerValues(const QString& file, const QStringList& tableAndFields)
{
    QProcess reader;
    reader.start(QStringLiteral(MDB_READER), QStringList{file} + tableAndFields);
    reader.waitForFinished(30000);
    const QByteArray out = reader.readAllStandardOutput();
    QList<QByteArray> values;
    qsizetype i = 16;
    while (i < out.size() && out[i] == 'R') {
        ++i;
        for (int f = 0; f < 2; ++f) {
            quint32 n;
            memcpy(&n, out.constData() + i, 4);
            values << out.mid(i + 4, n);
            i += 4 + n;
        }
    }
    return values;
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(kFixtures + u"/generated/WebDocuments_expected.bin"_s))
            QSKIP("The Access fixtures (../shared/fixtures/access beside the project) are absent");
        AccessFile::setReaderPath(QStringLiteral(MDB_READER));
    }

    void convertsExactly_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("records"); // -1: the 16 of WebDocuments_expected.bin
        QTest::addColumn<bool>("onAStick"); // no hard links, the kept name taken by a file of the user's
        QTest::newRow("jet4 compressed") << kJet4 << -1 << false;
        QTest::newRow("jet4 uncompressed") << u"generated/WebDocuments_jet4_uncompressed.mdb"_s
            << -1 << false;
        QTest::newRow("ace 2007") << u"generated/WebDocuments_ace2007.accdb"_s << -1 << false;
        QTest::newRow("empty") << u"generated/template_empty.mdb"_s << 0 << false;
        QTest::newRow("stale count") << u"generated/libmdb_inserted_mixedcomp.mdb"_s << 3 << false;
        QTest::newRow("on a memory stick") << u"generated/template_empty.mdb"_s << 0 << true;
    }
    void convertsExactly()
    {
        QFETCH(QString, fixture);
        QFETCH(int, records);
        QFETCH(bool, onAStick);
        QTemporaryDir dir;
        const QString path = placeFixture(dir, fixture);
        const QByteArray original = bytesOf(path);
        const auto shared = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(path, shared)); // whom the user let read it still may
        QFile(dir.filePath(u"WebDocuments.search"_s)).open(QIODevice::WriteOnly); // a stale index
        const QString taken = dir.filePath(u"WebDocuments.access.mdb"_s);
        QVERIFY(!onAStick || TestFiles::writeBytes(taken, "mine"));
        std::optional<SyscallFaults::NoHardLinks> stick;
        if (onAStick) // the original is kept as a copy
            stick.emplace();

        AccessImport import;
        QCOMPARE(import.convertInPlace(path), AccessImport::Outcome::Done);
        const QStringList got = TestFiles::recordsIn(path); // "<cannot open>" unless a database
        if (records < 0)
            QCOMPARE(got, expectedRecords());
        else
            QCOMPARE(got.size(), records);
        if (records == 3)
            QVERIFY2(got[2].startsWith(u"second 第二|"_s), qPrintable(got[2]));
        QCOMPARE(import.keptPath(),
                 onAStick ? dir.filePath(u"WebDocuments.access-1.mdb"_s) : taken);
        QCOMPARE(bytesOf(import.keptPath()), original);
        const auto asSeenByUs = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
        QCOMPARE(QFile::permissions(path) & ~asSeenByUs, shared);
        if (onAStick)
            QCOMPARE(bytesOf(taken), QByteArray("mine"));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"WebDocuments.search"_s)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), onAStick ? 3 : 2);
        // From now on the ordinary database: converted only once.
        QCOMPARE(import.convertInPlace(path), AccessImport::Outcome::NotAccess);
    }

    void publicFilesText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("tableAndField");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("compressed CJK") << u"jackcess_testUnicodeCompV2003.mdb"_s
            << QStringList{u"Table"_s, u"Unicode"_s} << 4 << QByteArray("漢字仮名交じり文");
        QTest::newRow("emoji") << u"jackcess_testEmoticonsV2010.accdb"_s
            << QStringList{u"data"_s, u"data"_s} << 79 << QByteArray("a🙏a");
        QTest::newRow("GBK in Jet 3") << u"ucanaccess_charsetGBK.mdb"_s
            << QStringList{u"table1"_s, u"field1"_s} << 0 << QByteArray("GBK编码");
    }
    void publicFilesText()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, tableAndField);
        QFETCH(int, index);
        QFETCH(QByteArray, value);
        const QList<QByteArray> values =
            readerValues(kFixtures + u"/public/"_s + file, tableAndField + tableAndField.mid(1));
        QVERIFY(values.size() > 2 * index);
        QCOMPARE(values[2 * index], value);
    }

    void multiPageMemo()
    {
        const QList<QByteArray> values = readerValues(
            kFixtures + u"/public/mdbreader_V2016_longtext.accdb"_s,
            {u"Table1"_s, u"LongText"_s, u"LongText"_s});
        QCOMPARE(values.size(), 2);
        QCOMPARE(QString::fromUtf8(values[0]).size(), 5000);
        QVERIFY(values[0].startsWith("Lorem ipsum"));
    }

    // Foreign, damaged and cut files: a message, the file as it was, nothing
    // else left in the folder; a short read asks first.
    void refusesDamaged_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<qint64>("size");
        for (const QString& bad : QDir(kFixtures + u"/bad"_s).entryList(QDir::Files))
            QTest::newRow(qPrintable(bad)) << u"bad/"_s + bad << qint64(-1);
        QTest::newRow("after the first page") << kJet4 << qint64(4096);
        QTest::newRow("mid-page") << kJet4 << qint64(100000);
        QTest::newRow("page boundary, values cut") << kJet4 << qint64(204800);
        QTest::newRow("last pages cut") << kJet4 << qint64(700000);
        QTest::newRow("missing table") << u"public/jackcess_emptyJet4.mdb"_s << qint64(-1);
    }
    void refusesDamaged()
    {
        QFETCH(QString, fixture);
        QFETCH(qint64, size);
        QTemporaryDir dir;
        const QString path = placeFixture(dir, fixture, size);
        const QByteArray original = bytesOf(path);
        AccessImport import;
        import.setStallLimit(1500);
        qint64 asked = -1;
        import.acceptShortRead = [&](qint64 read, qint64 expected, const QString&) {
            asked = read;
            return read == expected; // never: declined
        };
        const AccessImport::Outcome outcome = import.convertInPlace(path);
        if (AccessFile::isAccess(path) && size > 200000)
            QVERIFY2(asked >= 0 && asked < 16, "a short read asks first");
        QVERIFY(outcome != AccessImport::Outcome::Done);
        QVERIFY2(outcome == AccessImport::Outcome::NotAccess
                     || TestFiles::readsAsChinese(import.message()),
                 qPrintable(import.message()));
        QCOMPARE(bytesOf(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"WebDocuments.mdb"_s});
    }

    // Long values whose pages say more than the file holds: a chain of rows
    // that comes back, or values that share one chain, would make many times
    // the file out of it. Made here from a sound file, a few bytes changed:
    // in WebDocuments_jet4_compressed.mdb the contents of records 13 and 15
    // are memos on chains of long-value rows, record 13's of 140,000 bytes
    // from page 29 row 0, record 15's of 600,000 from page 84 row 0.
    void refusesValuesTheFileCannotHold_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<QByteArray>("was");
        QTest::addColumn<QByteArray>("now");
        QTest::newRow("chain comes back") // the row names itself as the next
            << qint64(29 * 4096 + 0x14) << QByteArray::fromHex("001e0000")
            << QByteArray::fromHex("001d0000");
        QTest::newRow("values share one chain") // record 13's memo header takes record 15's
            << qint64(109336) << QByteArray::fromHex("e0220200001d0000")
            << QByteArray::fromHex("c027090000540000");
    }
    void refusesValuesTheFileCannotHold()
    {
        QFETCH(qint64, at);
        QFETCH(QByteArray, was);
        QFETCH(QByteArray, now);
        QTemporaryDir dir;
        const QString path = placeFixture(dir, kJet4);
        QByteArray bytes = bytesOf(path);
        QCOMPARE(bytes.mid(at, was.size()), was);
        QVERIFY(TestFiles::writeBytes(path, bytes.replace(at, now.size(), now)));

        AccessImport import;
        QString why;
        import.acceptShortRead = [&](qint64, qint64, const QString& text) { return why = text, false; };
        QCOMPARE(import.convertInPlace(path), AccessImport::Outcome::Declined);
        QVERIFY2(TestFiles::readsAsChinese(why), qPrintable(why));
        QCOMPARE(bytesOf(path), bytes);
    }

    // Stand-ins for the reader: one that floods its error output without
    // end, one that tells the limits it runs under, one that checks the file
    // it would write is locked. The conversion ends,
    // holds no more of the flood than its last lines, and the reader has
    // limits on memory and processor time.
    void readerIsKeptInBounds_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("unsaid"); // what the message must not hold
        QTest::newRow("floods its error output") << QByteArray("yes 'warning from libmdb' >&2")
                                                 << u"warning"_s;
        QTest::newRow("tells its limits")
            << QByteArray("echo \"quorrel-mdb-reader: $(ulimit -v) $(ulimit -t)\" >&2; exit 7")
            << u"unlimited"_s;
        QTest::newRow("finds the new database held") // so no collector starting takes it away
            << QByteArray("flock -n \"${0%/*}\"/.WebDocuments.mdb.*-tmp true"
                          " && echo 'quorrel-mdb-reader: free' >&2; exit 7")
            << u"free"_s;
    }
    void readerIsKeptInBounds()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, unsaid);
        QTemporaryDir dir;
        const QString path = placeFixture(dir, u"generated/template_1row.mdb"_s);
        const QString reader = dir.filePath(u"reader.sh"_s);
        QVERIFY(TestFiles::writeBytes(reader, "#!/bin/sh\n" + script + '\n'));
        QVERIFY(QFile::setPermissions(reader, QFile::ReadOwner | QFile::ExeOwner));
        AccessFile::setReaderPath(reader);
        const auto restore = qScopeGuard([] { AccessFile::setReaderPath(QStringLiteral(MDB_READER)); });

        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        AccessImport import;
        import.setStallLimit(1500);
        QCOMPARE(import.convertInPlace(path), AccessImport::Outcome::Failed);
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 32 * 1024, // kilobytes
                 qPrintable(u"grew by %1 KB"_s.arg(after.ru_maxrss - before.ru_maxrss)));
        QVERIFY2(TestFiles::readsAsChinese(import.message()), qPrintable(import.message()));
        QVERIFY2(!import.message().contains(unsaid), qPrintable(import.message()));
    }

    void shortReadTaken()
    {
        QTemporaryDir dir;
        const QString path = placeFixture(dir, kJet4, 700000);
        AccessImport import;
        import.acceptShortRead = [](qint64, qint64, const QString&) { return true; };
        QCOMPARE(import.convertInPlace(path), AccessImport::Outcome::Done);
        QCOMPARE(import.recordsExpected(), 16);
        QCOMPARE(TestFiles::recordsIn(path), expectedRecords().mid(0, import.recordsRead()));
    }

    void readOnlyFolder()
    {
        QTemporaryDir dir;
        const QString path = placeFixture(dir, u"generated/template_1row.mdb"_s);
        const QByteArray original = bytesOf(path);
        AccessImport::Outcome outcome;
        {
            const Faults::ReadOnly folder(dir.path()); // immutable, which binds root too
            if (!folder.active())
                QSKIP("cannot write-protect a folder for this user on this file system");
            AccessImport import;
            outcome = import.convertInPlace(path);
            QVERIFY(import.message().contains(u"不能写入"_s));
        }
        QCOMPARE(outcome, AccessImport::Outcome::Failed);
        QCOMPARE(bytesOf(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
    }

    // Killed at random moments: the name holds the untouched Access file or
    // the whole new database, the original is never lost.
    void killedAtRandom()
    {
        const QByteArray original = bytesOf(kFixtures + u'/' + kJet4);
        int converted = 0;
        for (int round = 0; round < 12; ++round) {
            QTemporaryDir dir;
            const QString path = placeFixture(dir, kJet4);
            QProcess child;
            child.start(QStringLiteral(TEST_TOOL), {u"convert-access"_s, path, QStringLiteral(MDB_READER)});
            QVERIFY(child.waitForStarted());
            // The random moment itself, not a wait for a state.
            QThread::usleep(QRandomGenerator::global()->bounded(round < 6 ? 80000 : 1000000));
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished();
            const QString kept = dir.filePath(u"WebDocuments.access.mdb"_s);
            if (bytesOf(path) == original) {
                QVERIFY(!QFileInfo::exists(kept) || bytesOf(kept) == original);
            } else {
                ++converted;
                QCOMPARE(TestFiles::recordsIn(path), expectedRecords());
                QCOMPARE(bytesOf(kept), original);
            }
            // Whatever was left, the next conversion finishes the work.
            AccessImport import;
            QVERIFY(import.convertInPlace(path) != AccessImport::Outcome::Failed);
            QCOMPARE(TestFiles::recordsIn(path), expectedRecords());
        }
        qInfo("%d of 12 rounds had converted when killed", converted);
    }

    void importTwiceAppends()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(u"WebDocuments.mdb"_s);
        QVERIFY(TestFiles::copyEmptyDatabase(db));
        const QString source = kFixtures + u"/generated/WebDocuments_ace2007.accdb"_s;
        for (int i = 0; i < 2; ++i) {
            QString out, err;
            QCOMPARE(importAccessCommand(source, dir.path(), &out, &err), 0);
            QVERIFY2(out.contains(u"已添加 16 条记录"_s), qPrintable(out + err));
        }
        QCOMPARE(TestFiles::recordsIn(db), expectedRecords() + expectedRecords());

        QString out, err;
        QVERIFY(importAccessCommand(kFixtures + u"/bad/random.mdb"_s, dir.path(), &out, &err) != 0);
        QVERIFY2(TestFiles::readsAsChinese(err), qPrintable(err));
        QCOMPARE(TestFiles::recordsIn(db).size(), 32);

        // A table whose trigger drops records takes none, and says so.
        QVERIFY(TestFiles::execOn(db, "CREATE TRIGGER t BEFORE INSERT ON WebDocuments WHEN "
                                      "new.\"标题\" = '' BEGIN SELECT RAISE(IGNORE); END"));
        QCOMPARE(importAccessCommand(source, dir.path(), &out, &err), 1);
        QVERIFY2(TestFiles::readsAsChinese(err), qPrintable(err));
        QCOMPARE(TestFiles::recordsIn(db).size(), 32);
    }
};

QUORREL_TEST(TestAccess, "access")
#include "tst_access.moc"
