#include "CacheJournal.h"
#include "CollectorFixture.h"
#include "FileStamp.h"
#include "SyscallFaults.h"
#include "TestMain.h"

using namespace Qt::StringLiterals;

using Said::Failed;
using Said::Saved;

// A run that ends without the exit item (a crash, SIGKILL, a lost display)
// leaves its cached text in the journal; the next load writes it to Doc.dat,
// exactly once. Destroying the window without the exit stands for the crash.
class RecoveryTest : public QObject {
    Q_OBJECT

    static QString journalText(const CollectorFixture& f)
    {
        return CacheJournal::parse(f.read(u"Doc.dat.pending")).text;
    }

private Q_SLOTS:
    void cachedDropsOutliveACrash()
    {
        CollectorFixture f;
        f.writeDocument(u"xy"_s);
        QVERIFY(f.load());
        f.dropText(u"ab"_s);
        f.dropText(u"cd\r\n中文"_s);
        f.dropText(QString()); // nothing to keep, still a success
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Saved, Saved, Saved}));
        QCOMPARE(f.documentText(), u"xy"_s); // Doc.dat is not rewritten per drop
        QCOMPARE(journalText(f), u"abcd\n中文"_s); // line breaks kept as LF

        f.window.reset(); // the process dies here
        QVERIFY(f.load());
        QCOMPARE(f.documentText(), u"xyabcd\n中文"_s);
        QVERIFY(!QFile::exists(f.path(u"Doc.dat.pending")));
        QVERIFY(f.collector().pendingText().isEmpty());

        f.window.reset();
        QVERIFY(f.load()); // nothing left to write twice
        QCOMPARE(f.documentText(), u"xyabcd\n中文"_s);

        // Without Doc.dat the recovery creates it.
        f.dropText(u"new"_s);
        QFile::remove(f.path(u"Doc.dat"));
        f.window.reset();
        QVERIFY(f.load());
        QCOMPARE(f.documentText(), u"new"_s);
    }

    void documentThatCannotBeWrittenKeepsTheJournal()
    {
        CollectorFixture f;
        QVERIFY(CacheJournal(f.path(u"Doc.dat.pending")).append(u"keep"_s));
        QVERIFY(QDir(ProgramDir()).mkdir(u"Doc.dat"_s)); // cannot be replaced by a file
        QVERIFY(f.load());
        QCOMPARE(f.collector().pendingText(), u"keep"_s);
        f.dropText(u"+more"_s);
        QCOMPARE(journalText(f), u"keep+more"_s);

        f.window.reset(); // and the next run dies too
        QVERIFY(f.load());
        QCOMPARE(f.collector().pendingText(), u"keep+more"_s);
        QVERIFY(QDir(ProgramDir()).rmdir(u"Doc.dat"_s)); // mended: the exit writes it
        f.window->Exit_Click();
        QCOMPARE(f.documentText(), u"keep+more"_s);
        QVERIFY(!QFile::exists(f.path(u"Doc.dat.pending")));
    }

    // The exit appends to Doc.dat and then removes the journal; a crash
    // between the two must not write the text a second time, while a crash
    // before the append must still write it.
    void handOverWritesExactlyOnce_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<bool>("documentReplaced");
        QTest::addColumn<bool>("editedMeanwhile");
        QTest::addColumn<QString>("expected");
        QTest::newRow("crash after Doc.dat was replaced") << u"xy"_s << true << false << u"xyab"_s;
        QTest::newRow("crash before Doc.dat was replaced") << u"xy"_s << false << false << u"xyab"_s;
        // Doc.dat unchanged since the hand-over began: its end proves nothing.
        QTest::newRow("crash before, Doc.dat ending in the text")
            << u"ab"_s << false << false << u"abab"_s;
        QTest::newRow("crash before, then edited elsewhere")
            << u"xy"_s << false << true << u"editedab"_s;
    }
    void handOverWritesExactlyOnce()
    {
        QFETCH(QString, document);
        QFETCH(bool, documentReplaced);
        QFETCH(bool, editedMeanwhile);
        QFETCH(QString, expected);
        CollectorFixture f;
        f.writeDocument(document);
        QVERIFY(f.load());
        f.dropText(u"a"_s);
        f.dropText(u"b"_s);
        const QByteArray journal = f.read(u"Doc.dat.pending");
        const auto before = FileStamp::of(f.path(u"Doc.dat"));
        if (documentReplaced) {
            f.window->Exit_Click();
            QCOMPARE(f.documentText(), document + u"ab"_s);
        }
        f.window.reset();
        // The journal as the crash left it: the hand-over begun, not ended.
        f.write(u"Doc.dat.pending", journal);
        {
            CacheJournal j(f.path(u"Doc.dat.pending"));
            QVERIFY(j.open() && j.beginHandOver(before));
        }
        if (editedMeanwhile)
            f.writeDocument(u"edited"_s);
        QVERIFY(f.load());
        QCOMPARE(f.documentText(), expected);
        QVERIFY(!QFile::exists(f.path(u"Doc.dat.pending")));
    }

    // A journal that cannot be removed after the exit's append says in itself
    // that its text is in Doc.dat; else the next start, finding Doc.dat
    // changed since, would append the text again.
    void journalThatCannotBeRemovedIsMarkedDone()
    {
        CollectorFixture f;
        f.writeDocument(u"xy"_s);
        QVERIFY(f.load());
        f.dropText(u"ab"_s);
        {
            SyscallFaults::Unremovable stuck(f.path(u"Doc.dat.pending"));
            f.window->Exit_Click();
        }
        QCOMPARE(f.documentText(), u"xyab"_s);
        QVERIFY(QFile::exists(f.path(u"Doc.dat.pending")));
        QVERIFY(journalText(f).isEmpty());
        f.window.reset();
        f.writeDocument(u"xyab, edited"_s);
        QVERIFY(f.load());
        QCOMPARE(f.documentText(), u"xyab, edited"_s);
        QVERIFY(!QFile::exists(f.path(u"Doc.dat.pending")));
    }

    void journalThatCannotBeWrittenFailsTheDrop()
    {
        CollectorFixture f;
        QVERIFY(QDir(ProgramDir()).mkdir(u"Doc.dat.pending"_s));
        QVERIFY(f.load());
        f.dropText(u"not kept"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList{Failed});
        QVERIFY(f.collector().pendingText().isEmpty());
        f.window->Exit_Click();
        QVERIFY(!QFile::exists(f.path(u"Doc.dat")));
    }

    void crashLeftoversGoAtTheLoad()
    {
        CollectorFixture f("[CollectorSet]\nsave=create\n");
        QVERIFY(QDir(ProgramDir()).mkdir(u"Documents"_s));
        f.write(u".Doc.dat.Ab12Cd.quorrel-tmp", "{\\rtf1 half a copy");
        f.write(u".Set.ini.Ab12Cd.quorrel-tmp", "[Coll");
        f.write(u"Documents/.0.txt.q1w2e3.quorrel-tmp", "half");
        f.write(u"Documents/notes.txt.q1w2e3", "someone else's");
        QVERIFY(f.load());
        QVERIFY(!QFile::exists(f.path(u".Doc.dat.Ab12Cd.quorrel-tmp")));
        QVERIFY(!QFile::exists(f.path(u".Set.ini.Ab12Cd.quorrel-tmp")));
        f.dropText(u"whole"_s);
        QCOMPARE(TestFiles::namesIn(f.collector().filepath),
                 QStringList({u"0.txt"_s, u"notes.txt.q1w2e3"_s}));
        QCOMPARE(f.read(u"Documents/0.txt"), QByteArray("whole\r\n"));
    }
};

QUORREL_TEST(RecoveryTest, "recovery")
#include "tst_recovery.moc"
