#include "CacheJournal.h"
#include "Child.h"
#include "RichText.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QString documentText(const QString& folder)
{
    return RichText::loadText(folder + u"/Doc.dat"_s).value_or(u"<missing>"_s);
}

} // namespace

// Ends of the run other than the exit item, each with a real process.
class EndingsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The X server goes away (a remote desktop or X session dies): Qt ends
    // the program at once, and the dropped text must be there at the next start.
    void displayLost()
    {
        const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
        if (xvfb.isEmpty())
            QSKIP("Xvfb is not installed");
        // Xvfb picks a free display itself and tells its number: no race
        // with other X servers starting meanwhile.
        QProcess server;
        server.start(xvfb, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"640x480x24"_s,
                            u"-nolisten"_s, u"tcp"_s});
        const auto stop = qScopeGuard([&] {
            server.kill();
            server.waitForFinished();
        });
        QVERIFY(server.waitForStarted());
        QByteArray announced;
        while (!announced.contains('\n') && server.waitForReadyRead(60000))
            announced += server.readAllStandardOutput();
        bool numbered = false;
        const int display = announced.trimmed().toInt(&numbered);
        if (!numbered)
            QSKIP("Xvfb did not start");

        QTemporaryDir dir;
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"Set.ini"_s), "[CollectorSet]\ntip=false\n"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"DISPLAY"_s, u":"_s + QString::number(display));
        Child child(dir.path(), {u"run"_s, u"x"_s, u"1"_s, u"0"_s}, env);
        QVERIFY2(child.waitFor("loaded"), child.errors().constData());
        child.send("go");
        QVERIFY(child.waitFor("ack 1"));

        server.terminate();
        QVERIFY(server.waitForFinished(60000));
        QVERIFY(child.finish()); // ends by itself: the display connection broke
        qInfo("the child ended with %d: %s", child.exitCode(), child.errors().trimmed().constData());
        QVERIFY(!QFile::exists(dir.filePath(u"Doc.dat"_s))); // nothing had written it

        Child next(dir.path(), {u"load"_s});
        QVERIFY(next.waitFor("loaded"));
        QVERIFY(next.finish());
        QCOMPARE(documentText(dir.path()), u"x-1 摘录\n|"_s);
    }

    // SIGTERM while Doc.dat cannot be written (a folder in its place works
    // for root too): the process ends as asked, the text waits in the
    // journal and reaches Doc.dat at the next start once it can.
    void terminatedWithUnwritableDocument()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"Set.ini"_s), "[CollectorSet]\ntip=false\n"));
        QVERIFY(QDir(dir.path()).mkdir(u"Doc.dat"_s));
        Child child(dir.path(), {u"run"_s, u"t"_s, u"2"_s, u"0"_s});
        QVERIFY(child.waitFor("loaded"));
        child.send("go");
        QVERIFY(child.waitFor("ack 2"));
        child.terminate();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(CacheJournal::parse(TestFiles::bytesOf(dir.filePath(u"Doc.dat.pending"_s))).text,
                 u"t-1 摘录\n|t-2 摘录\n|"_s);

        QVERIFY(QDir(dir.path()).rmdir(u"Doc.dat"_s));
        Child next(dir.path(), {u"load"_s});
        QVERIFY(next.waitFor("loaded"));
        QVERIFY(next.finish());
        QCOMPARE(documentText(dir.path()), u"t-1 摘录\n|t-2 摘录\n|"_s);
        QVERIFY(!QFile::exists(dir.filePath(u"Doc.dat.pending"_s)));
    }

    // A write past the file-size limit fails like a full disk (the drop is
    // not kept) instead of killing the program with SIGXFSZ.
    void fileSizeLimit()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"Set.ini"_s), "[CollectorSet]\ntip=false\n"));
        Child child(dir.path(), {u"filesize"_s, u"65536"_s});
        QVERIFY(child.finish());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(child.lines().contains("big 0 small 5"));
        QCOMPARE(documentText(dir.path()), u"small"_s);
    }
};

QUORREL_TEST(EndingsTest, "endings")
#include "tst_endings.moc"
