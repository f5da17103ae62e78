#include "SingleInstance.h"
#include "TestMain.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Two real processes: the lock holder and this test.
class SingleInstanceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondProcessIsRefusedUntilTheHolderDies()
    {
        QTemporaryDir dir;
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
        SingleInstance third(dir.path());
        QVERIFY(third.acquire());
        QVERIFY(third.isHeld());

        QProcess late;
        late.start(QStringLiteral(LOCK_HOLDER), {dir.path()});
        QVERIFY(late.waitForFinished(30000));
        QCOMPARE(late.readAll().trimmed(), QByteArray("busy"));
        QCOMPARE(late.exitCode(), 1);
    }

    // A start killed while it made the lock file leaves it empty: that must
    // not keep every later start out. An orderly end removes the file.
    void leftoverLockFileIsNoLock()
    {
        QTemporaryDir dir;
        const QString path = SingleInstance::lockPathFor(dir.path());
        {
            QFile empty(path);
            QVERIFY(empty.open(QIODevice::WriteOnly));
        }
        {
            SingleInstance first(dir.path());
            QVERIFY(first.acquire());
            QVERIFY(first.isHeld());
        }
        QVERIFY(!QFile::exists(path));
    }
};

QUORREL_TEST(SingleInstanceTest, "singleinstance")
#include "tst_singleinstance.moc"
