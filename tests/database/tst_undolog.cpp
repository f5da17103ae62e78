#include "TestDatabase.h"
#include "TestMain.h"

#include "UndoLog.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// A database as other programs may leave it: the two fields, the source
// fields and columns of every type, with NULLs, empty texts and blobs.
struct Folder {
    QTemporaryDir dir;
    QString database = dir.filePath(u"WebDocuments.mdb"_s);
    QString log = UndoLog::logPathFor(database);

    bool make()
    {
        return TestFiles::copyEmptyDatabase(database)
            && exec("ALTER TABLE WebDocuments ADD COLUMN \"来源标题\" TEXT;"
                    "ALTER TABLE WebDocuments ADD COLUMN \"来源网址\" TEXT;"
                    "ALTER TABLE WebDocuments ADD COLUMN \"收集时间\" TEXT;"
                    "ALTER TABLE WebDocuments ADD COLUMN \"other \"\"program\"\"\" BLOB;"
                    "ALTER TABLE WebDocuments ADD COLUMN n INTEGER;"
                    "ALTER TABLE WebDocuments ADD COLUMN r REAL;"
                    "INSERT INTO WebDocuments VALUES ('一', '一的内容', '页一', 'https://a/1', "
                    "'2026-12-07 10:00:00', x'00ff', 1, 2.5), ('二', '二的内容\n第二行', NULL, "
                    "NULL, NULL, NULL, NULL, NULL), ('三', '', '', '', '', x'', '3', -0.5)");
    }
    bool exec(const char* sql) const { return TestFiles::execOn(database, sql); }
    // Every row, rowid first, each value as an SQL literal (so its type shows).
    QStringList rows() const
    {
        const QString values = TestFiles::queryOn(
            database, "SELECT group_concat('quote(\"' || replace(name, '\"', '\"\"') || '\")', "
                      "' || ''|'' || ') FROM pragma_table_info('WebDocuments')").value(0);
        return TestFiles::queryOn(database, "SELECT rowid || '|' || " + values.toUtf8()
                                      + " FROM WebDocuments ORDER BY rowid");
    }
};

} // namespace

class UndoLogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // dN deletes the record with rowid N, mN modifies it, z undoes, - finds
    // nothing to undo, ! finds the record changed since and Z undoes all the
    // same; a adds a record, eN changes one, xN deletes one and c adds a
    // column as another program would. `order` is the titles at the end.
    void undoGivesBackExactlyWhatWasThere_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("order");
        QTest::newRow("delete") << u"d2 z"_s << u"一 二 三"_s;
        QTest::newRow("modify") << u"m2 z"_s << u"一 二 三"_s;
        QTest::newRow("modify, delete") << u"m2 d2 z z"_s << u"一 二 三"_s;
        QTest::newRow("two deletes, newest first") << u"d1 d3 z z"_s << u"一 二 三"_s;
        QTest::newRow("only the newest") << u"d1 d3 z"_s << u"二 三"_s;
        QTest::newRow("a modify changing nothing") << u"m2 m2 z -"_s << u"一 二 三"_s;
        QTest::newRow("new record between") << u"d2 a z"_s << u"一 二 三 新"_s;
        // The last record's rowid goes to the next new one: the old record
        // comes back just after it.
        QTest::newRow("rowid taken") << u"d3 a z"_s << u"一 二 新 三"_s;
        QTest::newRow("rowid taken, room before it") << u"d3 a x2 z"_s << u"一 三 新"_s;
        QTest::newRow("a column added since") << u"m2 d1 c z z"_s << u"一 二 三"_s;
        QTest::newRow("changed since a modify") << u"m2 e2 ! Z"_s << u"一 二 三"_s;
        QTest::newRow("deleted since a modify") << u"m2 x2 ! Z"_s << u"一 二 三"_s;
    }
    void undoGivesBackExactlyWhatWasThere()
    {
        QFETCH(QString, steps);
        QFETCH(QString, order);
        Folder f;
        QVERIFY(f.make());
        const QStringList before = f.rows();
        for (const QString& step : steps.split(u' ')) {
            UndoLog log(f.database); // a new one each time, as after a restart
            const char kind = step.at(0).toLatin1();
            const QByteArray id = step.mid(1).toLatin1();
            // What another program does to the file meanwhile.
            const QByteArray sql = kind == 'a'
                ? QByteArray("INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES ('新', '新')")
                : kind == 'e' ? QByteArray("UPDATE WebDocuments SET n = 9 WHERE rowid = " + id)
                : kind == 'x' ? QByteArray("DELETE FROM WebDocuments WHERE rowid = " + id)
                : kind == 'c' ? QByteArray("ALTER TABLE WebDocuments ADD COLUMN later TEXT")
                              : QByteArray();
            const bool ok = !sql.isEmpty() ? f.exec(sql.constData())
                : kind == 'd' ? log.deleteRecord(id.toLongLong())
                : kind == 'm' ? log.modifyRecord(id.toLongLong(), u"改"_s, u"改后的内容"_s)
                : kind == '!' ? !log.undo() && log.failure() == UndoLog::Failure::ChangedSince
                : kind == '-' ? !log.undo() && log.failure() == UndoLog::Failure::Nothing
                : kind == 'Z' ? log.undo(true).has_value()
                              : log.undo().has_value();
            QVERIFY2(ok, qPrintable(step + u": "_s + log.errorText()));
        }
        const QString added = u"|NULL"_s.repeated(steps.count(u'c'));
        const QStringList after = f.rows();
        QStringList titles, values; // values: each row without its rowid
        for (const QString& row : after) {
            titles << row.section(u'|', 1, 1).remove(u'\'');
            values << row.section(u'|', 1);
        }
        QCOMPARE(titles.join(u' '), order);
        // Every record that came back holds exactly what it held.
        for (const QString& row : before)
            if (order.contains(row.section(u'|', 1, 1).mid(1, 1)))
                QVERIFY2(values.contains(row.section(u'|', 1) + added), qPrintable(row));
        if (!steps.contains(u'a') && !steps.contains(u'x') && titles.size() == 3)
            for (qsizetype i = 0; i < after.size(); ++i)
                QCOMPARE(after.at(i), before.at(i) + added); // rowids too
    }

    // A lock held by another program, a damaged or foreign undo file or a
    // link in its place: a delete and an undo each fail and change neither
    // file.
    void aFailureChangesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<UndoLog::Failure>("failure");
        QTest::newRow("database locked") << u"lock"_s << UndoLog::Failure::Busy;
        QTest::newRow("damaged") << u"damage"_s << UndoLog::Failure::LogDamaged;
        QTest::newRow("another SQLite file") << u"foreign"_s << UndoLog::Failure::LogDamaged;
        QTest::newRow("a link") << u"link"_s << UndoLog::Failure::LogUnavailable;
    }
    void aFailureChangesNothing()
    {
        QFETCH(QString, fault);
        QFETCH(UndoLog::Failure, failure);
        Folder f;
        QVERIFY(f.make());
        UndoLog log(f.database);
        log.setBusyTimeout(50);
        QVERIFY(log.deleteRecord(2));
        SqliteDatabase holder;
        if (fault == u"lock"_s) {
            QVERIFY(holder.open(f.database, SqliteOpenMode::ReadWrite)
                    && holder.exec("BEGIN EXCLUSIVE"));
        } else if (fault == u"damage"_s) {
            QByteArray bytes = TestFiles::bytesOf(f.log);
            bytes.replace(0, 16, "not an undo file");
            QVERIFY(TestFiles::writeBytes(f.log, bytes));
        } else if (fault == u"foreign"_s) {
            QVERIFY(QFile::remove(f.log) && QFile::copy(f.database, f.log));
        } else {
            QVERIFY(QFile::rename(f.log, f.log + u".real"_s));
            QVERIFY(QFile::link(f.log + u".real"_s, f.log));
        }
        const QByteArray logBytes = TestFiles::bytesOf(f.log);
        const auto unchanged = [&] {
            holder.exec("ROLLBACK");
            const QStringList rows = f.rows();
            holder.exec("BEGIN EXCLUSIVE");
            return rows.size() == 2 && TestFiles::bytesOf(f.log) == logBytes;
        };
        for (const bool undo : {false, true}) {
            QVERIFY(undo ? !log.undo(true) : !log.deleteRecord(1));
            QCOMPARE(log.failure(), failure);
            QVERIFY(!log.errorText().isEmpty() && unchanged());
        }
    }

    // The newest KeepAtLeast entries and every one of the last KeepDays days
    // are kept, whichever are more.
    void theLogIsBounded_data()
    {
        QTest::addColumn<int>("old");
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("kept");
        QTest::newRow("old ones beyond the newest") << UndoLog::KeepAtLeast + 4 << 1
                                                    << UndoLog::KeepAtLeast;
        QTest::newRow("recent ones") << 5 << UndoLog::KeepAtLeast + 1 << UndoLog::KeepAtLeast + 1;
    }
    void theLogIsBounded()
    {
        QFETCH(int, old);
        QFETCH(int, recent);
        QFETCH(int, kept);
        Folder f;
        QVERIFY(f.make());
        QVERIFY(f.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < 300) INSERT INTO WebDocuments (\"标题\", \"内容\") "
                       "SELECT i, i FROM n"));
        UndoLog log(f.database);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < old + recent; ++i) {
            const QDateTime when = i < old ? now.addDays(-UndoLog::KeepDays - 1) : now;
            log.setClock([when] { return when; });
            QVERIFY2(log.modifyRecord(10 + i, u"改"_s, u"改"_s), qPrintable(log.errorText()));
        }
        const auto entries = log.entries();
        QVERIFY(entries);
        QCOMPARE(entries->size(), kept);
        QCOMPARE(entries->first().bookmark, 10 + old + recent - 1);
        QCOMPARE(entries->last().bookmark, 10 + old + recent - kept);
    }

    void theUndoFileIsPrivateWhateverTheUmask()
    {
        Folder f;
        QVERIFY(f.make());
        const mode_t umask = ::umask(0);
        const bool deleted = UndoLog(f.database).deleteRecord(1);
        ::umask(umask);
        QVERIFY(deleted);
        QCOMPARE(int(QFile::permissions(f.log)), 0x6600); // owner read and write only
    }
};

QUORREL_TEST(UndoLogTest, "undolog")
#include "tst_undolog.moc"
