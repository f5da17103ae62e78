#include "CollectorFixture.h"
#include "TestMain.h"

#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaultsWithoutSettingsFile()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        Collector& c = f.collector();
        QCOMPARE(c.save, u"append"_s);
        QVERIFY(c.CacheUpdate);
        QVERIFY(c.tip);
        QVERIFY(!c.autoname);
        QCOMPARE(c.filepath, ProgramDir() + u"Documents/"_s);
        QVERIFY(QFileInfo(c.filepath).isDir());
        QCOMPARE(c.nextFileNumber(), 0);
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.window->width(), 37); // 560 twips at 96 dpi
        QVERIFY(f.window->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!QFile::exists(f.path(u"Set.ini"))); // only a write creates it
    }

    void exactWordsDecide()
    {
        CollectorFixture f("[CollectorSet]\nsave=Create\nTip=False\nAutoName=TRUE\n"
                           "CacheUpdate=false\nfilepath=" +
                           QFile::encodeName(QDir::tempPath()) + "/q-notes-none\n");
        QVERIFY(f.load());
        Collector& c = f.collector();
        QCOMPARE(c.save, u"append"_s);
        QVERIFY(c.tip);
        QVERIFY(!c.autoname);
        QVERIFY(!c.CacheUpdate);
        QCOMPARE(c.filepath, QDir::tempPath() + u"/q-notes-none/"_s);
        QDir(c.filepath).removeRecursively();
    }

    void storedPositionIsApplied_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("moved");
        QTest::newRow("both") << QByteArray("[CollectorSet]\nleft=1500\ntop=3000\n") << true;
        QTest::newRow("top missing") << QByteArray("[CollectorSet]\nleft=1500\n") << false;
        QTest::newRow("no number") << QByteArray("[CollectorSet]\nleft=abc\ntop=3000\n") << false;
        QTest::newRow("too far") << QByteArray("[CollectorSet]\nleft=40000\ntop=3000\n") << false;
    }
    void storedPositionIsApplied()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, moved);
        CollectorFixture f(settings);
        QVERIFY(f.load());
        QCOMPARE(f.window->pos() == QPoint(100, 200), moved);
    }

    void scanFindsFirstFreeNumber()
    {
        CollectorFixture f;
        QDir(ProgramDir()).mkdir(u"Documents"_s);
        for (const char* name : {"Documents/0.txt", "Documents/1.txt", "Documents/3.txt"})
            f.write(QString::fromLatin1(name), "x");
        QVERIFY(f.load());
        QCOMPARE(f.collector().nextFileNumber(), 2);

        // A folder named like a numbered file is no file.
        CollectorFixture g;
        QDir(ProgramDir()).mkpath(u"Documents/0.txt"_s);
        QVERIFY(g.load());
        QCOMPARE(g.collector().nextFileNumber(), 0);
    }

    void secondInstanceInTheSameFolderIsRefused()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        ScriptedDialogs dialogs;
        frmCollectorWindow second(dialogs);
        QVERIFY(!second.Form_Load());
        QVERIFY(!second.isVisible());
    }

    // Two real processes of the installed program in one folder: the second
    // ends at once, and the first ends cleanly on SIGTERM.
    void secondProcessExitsAtOnce()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(u"quorrel"_s);
        QVERIFY(QFile::copy(QStringLiteral(QUORREL_EXECUTABLE), program));
        QProcess first;
        first.start(program, {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dir.filePath(u"Documents"_s)).isDir(), 30000);

        QProcess second;
        second.start(program, {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        // Not the exit item: nothing pending to write, and no position stored.
        QVERIFY(!QFile::exists(dir.filePath(u"Set.ini"_s)));
        QVERIFY(!QFile::exists(dir.filePath(u"Doc.dat"_s)));
    }
};

QUORREL_TEST(StartupTest, "startup")
#include "tst_startup.moc"
