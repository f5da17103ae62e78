#include "Child.h"
#include "RichText.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// One start of the child: its prefix and how many drops it acknowledged.
struct Run {
    QString prefix;
    int acknowledged = 0;
};

QString clipping(const QString& prefix, int n)
{
    return prefix + u'-' + QString::number(n) + u" 摘录\n|"_s;
}

} // namespace

// The child drops texts and is killed with SIGKILL at random moments: while
// loading (and so recovering), between drops, inside a drop, inside the
// exit's write. After every restart each acknowledged text must be stored
// exactly once, in order, whole; the one in flight at the kill may be there.
class KillLoopTest : public QObject {
    Q_OBJECT

    QRandomGenerator m_random;
    int m_kills = 0;
    int m_killsInExit = 0; // of those, inside the exit's write

    // Starts the child `runs.size()` times in `folder`, each time checking
    // with `check` once the child has loaded. Runs for about `budgetMs`.
    template <typename Check>
    void killLoop(const QString& folder, qint64 budgetMs, Check check)
    {
        QList<Run> runs;
        QElapsedTimer clock;
        clock.start();
        while (runs.size() < 10 || clock.elapsed() < budgetMs) {
            const QString prefix = u"r"_s + QString::number(runs.size());
            // Some runs take the exit item after a few drops, so kills also
            // land inside the exit's write of Doc.dat.
            const bool exits = m_random.bounded(3) == 0;
            const QString drops = exits ? QString::number(m_random.bounded(1, 20)) : u"-1"_s;
            Child child(folder, {u"run"_s, prefix, drops, exits ? u"1"_s : u"0"_s});
            if (m_random.bounded(4) == 0) {
                child.runFor(m_random.bounded(80)); // killed while it loads
            } else {
                QVERIFY2(child.waitFor("loaded"),
                         QByteArray("exit code " + QByteArray::number(child.exitCode()) + ' ' +
                                    child.errors())
                             .constData());
                check(runs);
                if (QTest::currentTestFailed())
                    return;
                child.send("go");
                child.runFor(m_random.bounded(150));
            }
            if (child.running()) {
                child.kill();
                ++m_kills;
                if (child.lines().contains("exiting"))
                    ++m_killsInExit;
            } else {
                QCOMPARE(child.exitCode(), 0);
            }
            runs.append({prefix, child.acknowledged()});
        }
        Child last(folder, {u"load"_s});
        QVERIFY(last.waitFor("loaded"));
        QVERIFY(last.finish());
        check(runs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const quint32 seed = QRandomGenerator::system()->generate();
        m_random.seed(seed);
        qInfo("random seed %u", seed);
    }

    void cachedAppend()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"Set.ini"_s), "[CollectorSet]\ntip=false\n"));
        // A large document makes every write of it long enough to be hit.
        QString seed;
        while (seed.size() < 600'000)
            seed += u"已有的文字 existing text. "_s;
        QVERIFY(RichText::saveText(dir.filePath(u"Doc.dat"_s), seed));

        const int before = m_kills;
        const int beforeInExit = m_killsInExit;
        killLoop(dir.path(), 25'000, [&](const QList<Run>& runs) {
            const auto text = RichText::loadText(dir.filePath(u"Doc.dat"_s));
            QVERIFY(text);
            QVERIFY(text->startsWith(seed));
            QString rest = text->mid(seed.size());
            for (const Run& run : runs) {
                for (int n = 1; n <= run.acknowledged; ++n) {
                    const QString expected = clipping(run.prefix, n);
                    QVERIFY2(rest.startsWith(expected),
                             qPrintable(u"missing "_s + expected + u" before: "_s + rest.left(40)));
                    rest.remove(0, expected.size());
                }
                const QString inFlight = clipping(run.prefix, run.acknowledged + 1);
                if (rest.startsWith(inFlight))
                    rest.remove(0, inFlight.size());
            }
            QVERIFY2(rest.isEmpty(), qPrintable(u"unexpected: "_s + rest.left(80)));
        });
        qInfo("cached append: %d kills, %d of them inside the exit's write", m_kills - before,
              m_killsInExit - beforeInExit);
    }

    void createMode()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeBytes(dir.filePath(u"Set.ini"_s),
                                      "[CollectorSet]\nsave=create\ntip=false\n"));
        const QString documents = dir.filePath(u"Documents"_s);

        const int before = m_kills;
        killLoop(dir.path(), 15'000, [&](const QList<Run>& runs) {
            QStringList contents;
            const auto names = QDir(documents).entryList(QDir::Files | QDir::Hidden | QDir::System);
            for (const QString& name : names) {
                QVERIFY2(!name.startsWith(u'.'), qPrintable(u"left behind: "_s + name));
                contents << QString::fromUtf8(TestFiles::bytesOf(documents + u'/' + name));
            }
            int expected = 0;
            for (const Run& run : runs) {
                for (int n = 1; n <= run.acknowledged + 1; ++n) {
                    // every line break of a numbered file is CR LF
                    const QString whole = clipping(run.prefix, n).replace(u"\n"_s, u"\r\n"_s) + u"\r\n"_s;
                    const auto found = contents.count(whole);
                    if (n <= run.acknowledged)
                        QVERIFY2(found == 1, qPrintable(whole + u" found "_s + QString::number(found)));
                    else
                        QVERIFY(found <= 1);
                    expected += int(found);
                }
            }
            // Anything else would be empty, torn or doubled.
            QCOMPARE(contents.size(), expected);
        });
        qInfo("create mode: %d kills", m_kills - before);
    }
};

QUORREL_TEST(KillLoopTest, "killloop")
#include "tst_killloop.moc"
