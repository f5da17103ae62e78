#include "CollectorFixture.h"
#include "TestMain.h"

#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Only a setting's exact word changes it; the load writes nothing.
    void settingsTakeOnlyTheirExactWords_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("cache");
        QTest::addColumn<QString>("folder");
        QTest::newRow("no file") << QByteArray() << true << u"Documents/"_s;
        QTest::newRow("not the exact words")
            << QByteArray("[CollectorSet]\nsave=Create\nTip=False\nAutoName=TRUE\n"
                          "CacheUpdate=false\nfilepath=<dir>/notes\n")
            << false << u"notes/"_s;
    }
    void settingsTakeOnlyTheirExactWords()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, cache);
        QFETCH(QString, folder);
        CollectorFixture f;
        if (!settings.isNull())
            f.write(u"Set.ini", settings.replace("<dir>", QFile::encodeName(f.dir.path())));
        QVERIFY(f.load());
        const Collector& c = f.collector();
        QCOMPARE(c.save, u"append"_s);
        QVERIFY(c.tip);
        QVERIFY(!c.autoname);
        QCOMPARE(c.CacheUpdate, cache);
        QCOMPARE(c.filepath, ProgramDir() + folder);
        QVERIFY(QFileInfo(c.filepath).isDir());
        QCOMPARE(c.nextFileNumber(), 0);
        QVERIFY(f.window->isVisible());
        QVERIFY(f.window->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(f.read(u"Set.ini"), settings.isNull() ? QByteArray("<missing>") : settings);
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
