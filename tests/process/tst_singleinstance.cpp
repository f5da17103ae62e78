#include "CollectChannel.h"
#include "LocalConditions.h"
#include "SingleInstance.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

// Two real processes: the lock holder and this test.
class SingleInstanceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondProcessIsRefusedUntilTheHolderDies()
    {
        QTemporaryDir dir;
        // A start killed while it made the lock file leaves it empty: no lock.
        const QString lock = SingleInstance::lockPathFor(dir.path());
        QVERIFY(TestFiles::writeBytes(lock, {}));
        QProcess holder;
        holder.start(QStringLiteral(LOCK_HOLDER), {dir.path()});
        QVERIFY(holder.waitForReadyRead(30000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

        SingleInstance second(dir.path());
        QVERIFY(!second.acquire());

        // Another folder is another program.
        QTemporaryDir other;
        SingleInstance elsewhere(other.path());
        QVERIFY(elsewhere.acquire());

        holder.kill(); // SIGKILL: the lock file stays behind, unlocked
        QVERIFY(holder.waitForFinished(30000));
        auto third = std::make_unique<SingleInstance>(dir.path());
        QVERIFY(third->acquire());
        QVERIFY(third->isHeld());

        // Also for a start without the runtime folder the holder had (su,
        // ssh, cron): one lock whatever the session.
        QTemporaryDir runtime;
        for (const bool withRuntime : {true, false}) {
            QProcess late;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
            if (!withRuntime)
                env.remove(u"XDG_RUNTIME_DIR"_s);
            late.setProcessEnvironment(env);
            late.start(QStringLiteral(LOCK_HOLDER), {dir.path()});
            QVERIFY(late.waitForFinished(30000));
            QCOMPARE(late.readAll().trimmed(), QByteArray("busy"));
            QCOMPARE(late.exitCode(), 1);
        }
        third.reset();
        QVERIFY(!QFile::exists(lock)); // an orderly end removes it
    }

    // The lock and the channel live only in a folder of this user's that
    // nobody else can write; where that cannot be had, or the lock cannot be
    // taken, nothing runs without a lock and the user is told why.
    void onlyAFolderOfOurOwn_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::addColumn<bool>("folderSound");
        QTest::addColumn<bool>("lockTaken");
        // A runtime folder that will not do is passed over for one of our own;
        // our own folder spoilt is refused; so is a lock that is not ours.
        for (const char* plant : {"none", "foreign stand-in", "foreign runtime", "open runtime",
                                  "linked runtime", "foreign made", "open made", "linked made",
                                  "folder lock", "foreign lock"}) {
            const QString where = QString::fromLatin1(plant).section(u' ', 1);
            QTest::newRow(plant) << QString::fromLatin1(plant) << (where != u"made"_s)
                                 << (where != u"made"_s && where != u"lock"_s);
        }
    }
    void onlyAFolderOfOurOwn()
    {
        QFETCH(QString, plant);
        QFETCH(bool, folderSound);
        QFETCH(bool, lockTaken);
        const bool foreign = plant.startsWith(u"foreign"_s);
        if (foreign && ::geteuid() != 0)
            QSKIP("only root can plant another account's files");
        QTemporaryDir base;
        const QString program = base.filePath(u"program"_s);
        const QString home = base.filePath(u"home"_s);
        const QString tmp = base.filePath(u"tmp"_s);
        const QString runtime = base.filePath(u"run"_s);
        QVERIFY(QDir().mkpath(home + u"/.cache"_s) && QDir().mkpath(tmp) && QDir().mkpath(runtime));
        QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
        ::chmod(QFile::encodeName(tmp).constData(), 01777); // as /tmp is
        LocalConditions::Environment env;
        env.set("HOME", home);
        env.set("TMPDIR", tmp);
        env.set("XDG_RUNTIME_DIR", std::nullopt);
        const QString made = home + u"/.cache/quorrel"_s;
        // "<how> <where>": what is done to which of the folders and files.
        const QString how = plant.section(u' ', 0, 0);
        const QString where = plant.section(u' ', 1);
        if (where == u"runtime"_s)
            env.set("XDG_RUNTIME_DIR", runtime);
        if (where == u"made"_s) // made, and sound once
            QVERIFY(!SingleInstance::lockPathFor(program).isEmpty());
        const QString target = where == u"stand-in"_s ? tmp + u"/runtime-root"_s // the old fallback
            : where == u"runtime"_s                   ? runtime
            : where == u"made"_s                      ? made
                                                      : SingleInstance::lockPathFor(program);
        QVERIFY(!target.isEmpty());
        if (where == u"stand-in"_s || how == u"folder"_s)
            QVERIFY(QDir().mkpath(target));
        if (where == u"lock"_s && how == u"foreign"_s)
            QVERIFY(TestFiles::writeBytes(target, {}));
        if (how == u"foreign"_s)
            QVERIFY(LocalConditions::giveAway(target));
        if (how == u"open"_s)
            ::chmod(QFile::encodeName(target).constData(), 0777);
        if (how == u"linked"_s) { // to the runtime folder, in place of ours or as the variable
            const QString link = where == u"made"_s ? made : base.filePath(u"link"_s);
            QVERIFY(where != u"made"_s || QDir(made).removeRecursively());
            QVERIFY(QFile::link(runtime, link));
            if (where == u"runtime"_s)
                env.set("XDG_RUNTIME_DIR", link);
        }

        for (const QString& path :
             {SingleInstance::lockPathFor(program), CollectChannel::pathFor(program)}) {
            QCOMPARE(!path.isEmpty(), folderSound);
            if (path.isEmpty())
                continue;
            struct stat folder = {};
            QCOMPARE(::lstat(QFile::encodeName(QFileInfo(path).path()).constData(), &folder), 0);
            QVERIFY2(S_ISDIR(folder.st_mode) && folder.st_uid == ::geteuid() &&
                         !(folder.st_mode & 022),
                     qPrintable(path));
        }
        QString problem;
        const bool none = CollectChannel::pathFor(program, &problem).isEmpty();
        QCOMPARE(!problem.isEmpty(), none);
        SingleInstance instance(program);
        QCOMPARE(instance.acquire(), lockTaken);
        QCOMPARE(instance.problem().isEmpty(), lockTaken); // never silent, never a run without it
    }
};

QUORREL_TEST(SingleInstanceTest, "singleinstance")
#include "tst_singleinstance.moc"
