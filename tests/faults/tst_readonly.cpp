// A write-protected Doc.dat and a program folder that takes no new files.
// Root is not stopped by permission bits, so folders are made immutable,
// which binds root too; where that is not allowed and permissions would not
// bind either, the test skips. Doc.dat's own protection is a permission that
// only the program's refusal honours (the folder would let a new file take
// its name), so as root that test runs again as an unprivileged user.
#include "CollectorFixture.h"
#include "Faults.h"
#include "TestMain.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using Faults::settings;
using Faults::ReadOnly;

using Said::Failed;
using Said::Saved;

namespace {

// Runs test function `name` of this suite in a child process as nobody,
// from a copy of this executable that nobody can reach; fails unless it
// passed there.
void runAsNobody(const char* name)
{
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
    if (setpriv.isEmpty())
        QSKIP("root, and no setpriv to run the test as an unprivileged user");
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"tst_faults"_s);
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                      | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(dir.path(), open) && QFile::setPermissions(copy, open));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"XDG_RUNTIME_DIR"_s); // root's
    env.insert(u"HOME"_s, dir.path());
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(dir.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, copy,
                          u"readonly"_s, QString::fromLatin1(name)});
    QVERIFY(child.waitForFinished(120'000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
                 && output.contains(QByteArray(QByteArray("PASS   : ReadOnlyTest::") + name))
                 && !output.contains("SKIP"),
             output.constData());
}

} // namespace

class ReadOnlyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writeProtectedDocumentIsNotReplaced()
    {
        if (::geteuid() == 0)
            return runAsNobody("writeProtectedDocumentIsNotReplaced");
        CollectorFixture f(settings("append"));
        f.writeDocument(u"受保护"_s);
        QVERIFY(f.load());
        const QByteArray before = f.read(u"Doc.dat");
        {
            ReadOnly locked(f.path(u"Doc.dat"));
            if (!locked.active())
                QSKIP("cannot write-protect a file for this user on this file system");
            f.dropText(u"新"_s);
            QCOMPARE(f.dialogs.messageTexts(), QStringList{Failed});
            QCOMPARE(f.read(u"Doc.dat"), before);
        }
        f.dropText(u"新"_s);
        QCOMPARE(f.documentText(), u"受保护新"_s);
    }

    void writeProtectedProgramFolder()
    {
        CollectorFixture f(settings("append"));
        f.writeDocument(u"旧"_s);
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        const auto state = [&] {
            return QByteArrayList{f.read(u"Doc.dat"), f.read(u"Set.ini"),
                                  f.read(u"WebDocuments.mdb"),
                                  TestFiles::namesIn(ProgramDir()).join(u'/').toUtf8()};
        };
        const QByteArrayList before = state();

        ReadOnly locked(f.dir.path());
        if (!locked.active())
            QSKIP("cannot write-protect a folder for this user on this file system");

        // Append: no temporary file can be made beside Doc.dat.
        f.dropText(u"甲"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList{Failed});

        // Database: the file itself is writable, but its journal cannot be
        // made, so the record is refused rather than stored unsafely.
        f.collector().save = u"database"_s;
        f.dropText(u"乙"_s);
        QCOMPARE(f.dialogs.messageTexts().last(), Failed);

        // Create: the numbered files live in a folder of their own.
        f.collector().save = u"create"_s;
        f.dropText(u"丙"_s);
        QCOMPARE(f.dialogs.messageTexts().last(), Saved);
        QCOMPARE(TestFiles::bytesOf(f.collector().numberedFilePath(0)), u"丙\r\n"_s.toUtf8());

        QCOMPARE(state(), before); // nothing beside the save folder changed

        // The save folder write-protected too: the next number is kept for later.
        ReadOnly saveFolderLocked(f.collector().filepath);
        QVERIFY(saveFolderLocked.active());
        f.dropText(u"丁"_s);
        QCOMPARE(f.dialogs.messageTexts().last(), Failed);
        QCOMPARE(TestFiles::namesIn(f.collector().filepath), QStringList{u"0.txt"_s});
        QCOMPARE(f.collector().nextFileNumber(), 1); // where the search stood
    }
};

QUORREL_TEST(ReadOnlyTest, "readonly")
#include "tst_readonly.moc"
