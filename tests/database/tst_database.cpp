#include "DataSource.h"
#include "Schema.h"
#include "TestDatabase.h"
#include "TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"标题"_s;
const QString kContent = u"内容"_s;

using TestFiles::bytesOf;

// `owner.call` fails, and owner's last error says why, in Chinese.
#define FAILS_WITH(owner, call, why)                                                           \
    do {                                                                                       \
        QVERIFY(!(owner).call);                                                                \
        QCOMPARE((owner).lastError().kind, DataErrorKind::why);                                \
        QVERIFY2(TestFiles::readsAsChinese((owner).lastError().message),                       \
                 qPrintable((owner).lastError().message));                                     \
    } while (false)

bool add(Recordset& rs, const QString& title, const QString& content)
{
    return rs.AddNew() && rs.setField(kTitle, title) && rs.setField(kContent, content)
        && rs.Update();
}

QStringList walkTitles(Recordset& rs)
{
    QStringList titles;
    for (bool moved = rs.MoveFirst(); moved && !rs.isEOF(); rs.MoveNext())
        titles << rs.field(kTitle).value_or(u"<error>"_s);
    return titles;
}

} // namespace

class DatabaseTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir; // each test's own

    // Opens `ds` on a copy in `dir` of the empty database the build makes.
    bool openEmpty(DataSource& ds) const
    {
        ds.setDatabaseName(dir->filePath(u"WebDocuments.mdb"_s));
        return TestFiles::copyEmptyDatabase(ds.DatabaseName()) && ds.Refresh();
    }

private Q_SLOTS:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    void walksRecordsInInsertionOrder()
    {
        DataSource ds;
        QVERIFY(openEmpty(ds));
        QCOMPARE(ds.RecordSource(), u"WebDocuments"_s);
        Recordset& rs = ds.recordset();

        // Empty table: EOF, and nothing that needs a record works.
        QVERIFY(rs.isEOF() && !rs.Bookmark());
        QString error;
        FAILS_WITH(rs, MoveFirst(&error), NoCurrentRecord);
        QVERIFY(!error.isEmpty());
        FAILS_WITH(rs, MoveNext(), NoCurrentRecord);
        FAILS_WITH(rs, field(kTitle), NoCurrentRecord);
        FAILS_WITH(rs, Edit(), NoCurrentRecord);
        FAILS_WITH(rs, Delete(), NoCurrentRecord);
        FAILS_WITH(rs, MoveLast(), NoCurrentRecord);

        // Titles that would sort differently, to show nothing sorts them.
        QVERIFY(add(rs, u"b"_s, u"1"_s) && add(rs, u"a"_s, u"2"_s));
        QVERIFY(rs.isEOF()); // adding moved nothing
        QVERIFY(ds.Refresh());
        QCOMPARE(rs.field(kTitle).value(), u"b"_s);
        const qint64 first = rs.Bookmark().value();

        // Adding keeps the current record current; an unset field is stored as "".
        QVERIFY(rs.AddNew() && rs.setField(kTitle, u"c"_s));
        QCOMPARE(rs.field(kContent).value(), QString()); // the new record's buffer
        QVERIFY(rs.Update());
        QCOMPARE(rs.Bookmark().value(), first);
        QCOMPARE(rs.field(kTitle).value(), u"b"_s);
        QVERIFY(rs.LastModified().value() > first);

        QVERIFY(rs.MoveLast());
        QCOMPARE(rs.field(kTitle).value(), u"c"_s);
        QCOMPARE(walkTitles(rs), (QStringList{u"b"_s, u"a"_s, u"c"_s}));
        QVERIFY(rs.isEOF() && !rs.Bookmark());
        FAILS_WITH(rs, MoveNext(), NoCurrentRecord);
        QCOMPARE(rs.recordCount().value(), 3);
        const QList<TitleEntry> titles = rs.titles().value();
        QCOMPARE(titles.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(titles.at(i).title, QString(u"bac"_s[i]));
        QCOMPARE(titles.at(0).bookmark, first);
        QCOMPARE(titles.at(2).bookmark, rs.LastModified().value());
        QVERIFY(rs.setBookmark(titles.at(2).bookmark));
        QCOMPARE(rs.field(kContent).value(), QString());
        QVERIFY(rs.MoveNext() && rs.isEOF());
    }

    void listsBookmarksAndPagesOfTitles()
    {
        DataSource ds;
        QVERIFY(openEmpty(ds));
        Recordset& rs = ds.recordset();
        QVERIFY(rs.bookmarks().value().isEmpty() && rs.titlesFrom(0, 10).value().isEmpty());
        for (int i = 0; i < 5; ++i)
            QVERIFY(add(rs, u"标题%1"_s.arg(i) + u"长"_s.repeated(i), u"内容"_s));
        QVERIFY(rs.MoveFirst() && rs.MoveNext() && rs.Delete()); // a hole after the first

        const QList<qint64> bookmarks = rs.bookmarks().value();
        QCOMPARE(bookmarks.size(), 4);
        QVERIFY(std::is_sorted(bookmarks.cbegin(), bookmarks.cend()));
        const QList<TitleEntry> all = rs.titles().value();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(all.at(i).bookmark, bookmarks.at(i));

        // From a deleted bookmark the page starts at the next record, and
        // titles are cut to whole characters.
        const QList<TitleEntry> page = rs.titlesFrom(bookmarks.at(0) + 1, 2, 4).value();
        QCOMPARE(page.size(), 2);
        QCOMPARE(page.at(0).bookmark, bookmarks.at(1));
        QCOMPARE(page.at(0).title, u"标题2长"_s);
        QCOMPARE(page.at(1).title, u"标题3长"_s);
        QCOMPARE(rs.titlesFrom(bookmarks.last() + 1, 10).value().size(), 0);

        ds.setDatabaseName(dir->filePath(u"missing.mdb"_s));
        QVERIFY(!ds.Refresh() && !rs.bookmarks());
        FAILS_WITH(rs, titlesFrom(0, 10), NotOpen);
    }

    void editsAndDeletesTheCurrentRecord()
    {
        DataSource ds;
        QVERIFY(openEmpty(ds));
        Recordset& rs = ds.recordset();
        for (const QString& title : {u"one"_s, u"two"_s, u"three"_s})
            QVERIFY(add(rs, title, title + u" text"_s));
        QVERIFY(ds.Refresh());

        // Misuse fails cleanly and changes nothing.
        FAILS_WITH(rs, Update(), NotEditing);
        FAILS_WITH(rs, setField(kTitle, u"x"_s), NotEditing);
        QVERIFY(rs.Edit());
        FAILS_WITH(rs, setField(u"Title"_s, u"x"_s), UnknownField);
        FAILS_WITH(rs, field(u"标题 "_s), UnknownField);
        QVERIFY(rs.setField(kTitle, u"dropped"_s));
        rs.CancelUpdate();
        QVERIFY(!rs.Update());

        // Edit writes only the fields that were set, into the file.
        QVERIFY(rs.MoveNext());
        const qint64 two = rs.Bookmark().value();
        QVERIFY(rs.Edit() && rs.setField(kTitle, u"TWO"_s));
        QCOMPARE(rs.field(kTitle).value(), u"TWO"_s);
        QVERIFY(rs.Update());
        QCOMPARE(rs.LastModified().value(), two);
        QCOMPARE(TestFiles::recordsIn(ds.DatabaseName()),
                 (QStringList{u"one|one text"_s, u"TWO|two text"_s, u"three|three text"_s}));

        // Delete leaves no current record; MoveNext goes on after it.
        QVERIFY(rs.Delete() && !rs.Bookmark() && !rs.isEOF());
        FAILS_WITH(rs, field(kContent), NoCurrentRecord);
        QVERIFY(!rs.Edit());
        FAILS_WITH(rs, Delete(), NoCurrentRecord);
        FAILS_WITH(rs, setBookmark(two), InvalidBookmark);
        QVERIFY(rs.MoveNext());
        QCOMPARE(rs.field(kTitle).value(), u"three"_s);
        QCOMPARE(walkTitles(rs), (QStringList{u"one"_s, u"three"_s}));
    }

    void keepsSourcesInFieldsAddedOnFirstUse_data()
    {
        QTest::addColumn<QStringList>("source"); // the first fields of it that are set
        QTest::addColumn<bool>("rolledBack");
        QTest::addColumn<bool>("added");
        const QStringList whole{u"测试页面"_s, u"https://example.org/a?b=1"_s, u"2026-12-07 19:20:05"_s};
        QTest::newRow("none") << QStringList() << false << false;
        QTest::newRow("empty") << QStringList{QString(), QString(), QString()} << false << false;
        QTest::newRow("title only") << QStringList{whole.first()} << false << true;
        QTest::newRow("whole") << whole << false << true;
        QTest::newRow("rolled back") << whole << true << false;
    }

    void keepsSourcesInFieldsAddedOnFirstUse()
    {
        QFETCH(QStringList, source);
        QFETCH(bool, rolledBack);
        QFETCH(bool, added);
        const QString sourceFields[] = {Field::SourceTitle, Field::SourceUrl, Field::CollectedAt};
        DataSource ds;
        QVERIFY(openEmpty(ds));
        const QString path = ds.DatabaseName();
        Recordset& rs = ds.recordset();
        QVERIFY(add(rs, u"old"_s, u"1"_s));
        DataSource before; // opened while the table has no source fields
        before.setDatabaseName(path);
        QVERIFY(before.Refresh());

        QVERIFY(!rolledBack || rs.BeginTrans());
        QVERIFY(rs.AddNew() && rs.setField(kTitle, u"t"_s) && rs.setField(kContent, u"c"_s));
        for (int i = 0; i < source.size(); ++i)
            QVERIFY(rs.setField(sourceFields[i], source[i]));
        QCOMPARE(rs.field(Field::SourceTitle).value(), source.value(0));
        QVERIFY(rs.Update());
        if (rolledBack)
            rs.Rollback();

        QCOMPARE(TestFiles::queryOn(path, "SELECT count(*) FROM pragma_table_info('WebDocuments')"),
                 QStringList{QString::number(added ? 5 : 2)});
        // What reads only 标题 and 内容 sees no difference.
        QCOMPARE(TestFiles::recordsIn(path),
                 rolledBack ? QStringList{u"old|1"_s} : (QStringList{u"old|1"_s, u"t|c"_s}));
        // Read by the record set that wrote it and by one opened before.
        const QStringList kept =
            rolledBack ? QStringList() : source + QStringList(3 - source.size());
        for (Recordset* reader : {&rs, &before.recordset()}) {
            QStringList read;
            for (bool on = reader->MoveFirst(); on && !reader->isEOF(); on = reader->MoveNext())
                for (const QString& field : sourceFields)
                    read << reader->field(field).value_or(u"<error>"_s);
            QCOMPARE(read, QStringList(3) + kept); // the old record's, then the new one's
        }
    }

    // Another data source on the same file (records it adds are listed after
    // a refresh: tst_browser).
    void twoDataSourcesShareOneFile()
    {
        DataSource collector;
        QVERIFY(openEmpty(collector));
        QVERIFY(add(collector.recordset(), u"dropped"_s, u"text"_s));
        QVERIFY(add(collector.recordset(), u"typed"_s, QString()));
        DataSource browser;
        browser.setDatabaseName(collector.DatabaseName());
        QVERIFY(collector.Refresh() && browser.Refresh());

        // A record deleted by the other side reads as gone, not as stale data.
        QVERIFY(collector.recordset().MoveFirst());
        QVERIFY(browser.recordset().MoveFirst() && browser.recordset().Delete());
        FAILS_WITH(collector, recordset().field(kTitle), NoCurrentRecord);
        FAILS_WITH(collector, recordset().Edit(), NoCurrentRecord);
        QVERIFY(collector.recordset().MoveNext());
        QCOMPARE(collector.recordset().field(kTitle).value(), u"typed"_s);

        // Deleted between Edit and Update: the change has nowhere to go.
        QVERIFY(collector.recordset().Edit() && collector.recordset().setField(kTitle, u"changed"_s));
        QVERIFY(browser.Refresh() && browser.recordset().Delete());
        FAILS_WITH(collector, recordset().Update(), NoCurrentRecord);
        QVERIFY(collector.Refresh() && collector.recordset().isEOF());
    }

    // Stored once the lock is gone: tst_damaged databaseThatTakesNoRecord,
    // row "locked by another program".
    void writerWaitsForALockThenFails()
    {
        DataSource ds;
        QVERIFY(openEmpty(ds));
        Recordset& rs = ds.recordset();
        QVERIFY(add(rs, u"before"_s, u"x"_s) && rs.MoveFirst());

        SqliteDatabase holder;
        QVERIFY(holder.open(ds.DatabaseName(), SqliteOpenMode::ReadWrite)
                && holder.exec("BEGIN IMMEDIATE"));
        ds.setBusyTimeout(300);

        QVERIFY(rs.AddNew() && rs.setField(kTitle, u"blocked"_s));
        QElapsedTimer waited;
        waited.start();
        QString error;
        QVERIFY(!rs.Update(&error));
        QVERIFY2(waited.elapsed() >= 250, "gave up without waiting for the lock");
        QCOMPARE(rs.lastError().kind, DataErrorKind::Busy);
        QVERIFY(!error.isEmpty());
        QCOMPARE(rs.field(kTitle).value(), u"blocked"_s); // kept for a retry
        FAILS_WITH(rs, Delete(), Busy);
    }

    void groupsWritesInTransactions()
    {
        DataSource ds;
        QVERIFY(openEmpty(ds));
        Recordset& rs = ds.recordset();
        const auto inFile = [&] { return TestFiles::recordsIn(ds.DatabaseName()); };

        QVERIFY(!rs.CommitTrans() && rs.BeginTrans() && rs.inTransaction());
        QVERIFY(!rs.BeginTrans() && rs.inTransaction()); // no nesting
        QVERIFY(add(rs, u"a"_s, u"1"_s) && add(rs, u"b"_s, u"2"_s));
        QCOMPARE(rs.recordCount().value(), 2);
        QCOMPARE(inFile(), QStringList()); // not in the file yet
        QVERIFY(rs.CommitTrans() && !rs.inTransaction());
        QCOMPARE(inFile(), (QStringList{u"a|1"_s, u"b|2"_s}));

        // Rollback and Refresh both drop what the transaction stored.
        QVERIFY(rs.BeginTrans() && add(rs, u"dropped"_s, u"x"_s));
        rs.Rollback();
        QVERIFY(!rs.inTransaction() && !rs.LastModified());
        QVERIFY(rs.BeginTrans() && add(rs, u"dropped too"_s, u"x"_s));
        QVERIFY(ds.Refresh() && !rs.inTransaction());
        QCOMPARE(walkTitles(rs), (QStringList{u"a"_s, u"b"_s}));

        // A commit that cannot get the file stores nothing and leaves it unlocked.
        QVERIFY(rs.BeginTrans() && add(rs, u"blocked"_s, u"x"_s));
        SqliteDatabase reader;
        QVERIFY(reader.open(ds.DatabaseName(), SqliteOpenMode::ReadOnly));
        SqliteStatement reading;
        QVERIFY(reading.prepare(reader, "SELECT rowid FROM WebDocuments"));
        QCOMPARE(reading.step(), SqliteStep::Row); // holds a read lock
        ds.setBusyTimeout(50);
        QString error;
        FAILS_WITH(rs, CommitTrans(&error), Busy);
        QVERIFY(!error.isEmpty() && !rs.inTransaction());
        reading.reset();
        QVERIFY(add(rs, u"after"_s, u"y"_s));
        QCOMPARE(inFile(), (QStringList{u"a|1"_s, u"b|2"_s, u"after|y"_s}));
    }

    void refusesFilesItCannotUse_data()
    {
        QTest::addColumn<QByteArray>("setup"); // how to make the file
        QTest::addColumn<DataErrorKind>("kind");
        const auto row = [](const char* name, const QByteArray& setup, DataErrorKind kind) {
            QTest::newRow(name) << setup << kind;
        };
        using enum DataErrorKind;
        row("missing", "none", FileMissing);
        row("Access file", "access", NotADatabase);
        row("zero bytes", "empty", MissingTable);
        row("other table", "CREATE TABLE Docs (\"标题\" TEXT, \"内容\" TEXT)", MissingTable);
        row("no content field", "CREATE TABLE WebDocuments (\"标题\" TEXT)", MissingField);
        row("no title field", "CREATE TABLE WebDocuments (title TEXT, \"内容\" TEXT)", MissingField);
        row("folder", "folder", CannotOpen);
        // Only a plain table is the document table.
        row("view taking writes into triggers",
            TestFiles::ignoringView("SELECT 1 AS rowid, 'a' AS \"标题\", 'b' AS \"内容\""), MissingTable);
        row("view that never ends", TestFiles::ignoringView(TestFiles::EndlessSelect), MissingTable);
        row("virtual table", "CREATE VIRTUAL TABLE WebDocuments USING fts5(\"标题\", \"内容\")",
            MissingTable);
        row("table without rowid",
            "CREATE TABLE WebDocuments (\"标题\" TEXT PRIMARY KEY, \"内容\" TEXT) WITHOUT ROWID",
            MissingTable);
    }
    void refusesFilesItCannotUse()
    {
        QFETCH(QByteArray, setup);
        QFETCH(DataErrorKind, kind);
        const QString path = dir->filePath(u"WebDocuments.mdb"_s);
        if (setup == "access") {
            QByteArray bytes("\0\1\0\0Standard Jet DB\0", 24);
            QVERIFY(TestFiles::writeBytes(path, bytes.append(4096 - bytes.size(), '\x5a')));
        } else if (setup == "empty") {
            QVERIFY(TestFiles::writeBytes(path, QByteArray()));
        } else if (setup == "folder") {
            QVERIFY(QDir(dir->path()).mkdir(u"WebDocuments.mdb"_s));
        } else if (setup != "none") {
            QVERIFY(TestFiles::execOn(path, setup.constData()));
        }
        const QByteArray before = bytesOf(path);
        const QStringList filesBefore = TestFiles::namesIn(dir->path());

        DataSource ds;
        ds.setDatabaseName(path);
        QString error;
        QVERIFY(!ds.Refresh(&error) && !ds.isOpen());
        QCOMPARE(ds.lastError().kind, kind);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY2(TestFiles::readsAsChinese(error), qPrintable(error));

        // Every operation says the database is not open, and why.
        Recordset& rs = ds.recordset();
        QVERIFY(rs.isEOF());
        FAILS_WITH(rs, MoveFirst(), NotOpen);
        QVERIFY(rs.lastError().message.contains(error));
        QVERIFY(!rs.AddNew() && !rs.setField(kTitle, u"x"_s) && !rs.Update() && !rs.field(kTitle));
        FAILS_WITH(rs, titles(), NotOpen);

        // Nothing was created, changed or left beside it.
        QCOMPARE(bytesOf(path), before);
        QCOMPARE(TestFiles::namesIn(dir->path()), filesBefore);
    }

    // A foreign file's triggers may skip, undo or never end a write: each is
    // a failure that changed nothing, never a success.
    void writesThatChangeNothingFail_data()
    {
        QTest::addColumn<QByteArray>("sql"); // run on a database holding one record
        QTest::addColumn<QByteArray>("write");
        QTest::addColumn<DataErrorKind>("kind");
        const QByteArray endless = "CREATE VIEW endless AS " + QByteArray(TestFiles::EndlessSelect) + ';';
        // A trigger `when` a write, doing `body`; a body of 0 reads the endless view.
        const auto row = [&](const char* name, const char* when, const char* body, const char* write) {
            const QByteArray sql = "CREATE TRIGGER t " + QByteArray(when) + " ON WebDocuments BEGIN "
                + (body ? body : "SELECT count(*) FROM endless") + "; END";
            QTest::newRow(name) << (body ? sql : endless + sql) << QByteArray(write)
                                << (body ? DataErrorKind::Failed : DataErrorKind::TimedOut);
        };
        const char* ignore = "SELECT RAISE(IGNORE)";
        row("insert ignored", "BEFORE INSERT", ignore, "add");
        row("insert taken back", "AFTER INSERT", "DELETE FROM WebDocuments WHERE rowid = new.rowid", "add");
        row("update ignored", "BEFORE UPDATE", ignore, "edit");
        row("delete ignored", "BEFORE DELETE", ignore, "delete");
        row("insert never ends", "BEFORE INSERT", nullptr, "add");
        row("update never ends", "BEFORE UPDATE", nullptr, "edit");
    }
    void writesThatChangeNothingFail()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QByteArray, write);
        QFETCH(DataErrorKind, kind);
        DataSource ds;
        QVERIFY(openEmpty(ds));
        QVERIFY(add(ds.recordset(), u"kept"_s, u"as it was"_s));
        QVERIFY(TestFiles::execOn(ds.DatabaseName(), sql.constData()));
        ds.setBusyTimeout(0);
        ds.setStepTimeLimit(100);
        QVERIFY(ds.Refresh());

        Recordset& rs = ds.recordset();
        const bool written = write == "add" ? add(rs, u"new"_s, u"x"_s)
            : write == "edit" ? rs.Edit() && rs.setField(kContent, u"changed"_s) && rs.Update()
                              : rs.Delete();
        QVERIFY(!written);
        QCOMPARE(rs.lastError().kind, kind);
        QVERIFY2(TestFiles::readsAsChinese(rs.lastError().message),
                 qPrintable(rs.lastError().message));
        // Nothing changed, and the record is still the current one.
        rs.CancelUpdate();
        QCOMPARE(rs.field(kContent).value_or(u"<no current record>"_s), u"as it was"_s);
        QCOMPARE(TestFiles::recordsIn(ds.DatabaseName()), QStringList{u"kept|as it was"_s});
    }

    void readOnlyFileReadsButRefusesWrites_data()
    {
        QTest::addColumn<bool>("byPermission");
        QTest::newRow("opened for reading") << false;
        QTest::newRow("write-protected file") << true;
    }
    void readOnlyFileReadsButRefusesWrites()
    {
        QFETCH(bool, byPermission);
        if (byPermission && ::geteuid() == 0)
            QSKIP("root writes to write-protected files; the other row covers read-only use");
        DataSource writer;
        QVERIFY(openEmpty(writer) && add(writer.recordset(), u"kept"_s, u"safe"_s));
        const QString path = writer.DatabaseName();
        const QByteArray before = bytesOf(path);

        DataSource ds;
        ds.setDatabaseName(path);
        if (byPermission)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        else
            ds.setReadOnly(true);
        QVERIFY(ds.Refresh());
        Recordset& rs = ds.recordset();
        QCOMPARE(rs.field(kContent).value(), u"safe"_s);
        QCOMPARE(rs.titles().value().size(), 1);
        QString error;
        FAILS_WITH(rs, AddNew(&error), ReadOnly);
        QVERIFY(!error.isEmpty());
        FAILS_WITH(rs, Edit(), ReadOnly);
        FAILS_WITH(rs, Delete(), ReadOnly);
        QCOMPARE(rs.field(kTitle).value(), u"kept"_s);
        QCOMPARE(bytesOf(path), before);
    }

    void storesTextExactly_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("content");
        QTest::newRow("Chinese") << u"网页文摘"_s << u"第一段。\r\n第二段：“引号”"_s;
        QTest::newRow("emoji and CJK Ext B") << u"😀👍🏽"_s << u"𠀀𪜀 and 🇨🇳"_s;
        QTest::newRow("both empty") << QString() << QString();
        QTest::newRow("SQL-looking") << u"x'); DROP TABLE WebDocuments; --"_s
                                     << u"\"标题\" = NULL; DELETE FROM WebDocuments WHERE 1=1; '' \""_s;
        QTest::newRow("long title") << QString(100'000, u'题') << u"c"_s;
        const QString line = u"0123456789abcdef中文😀\n"_s;
        QTest::newRow("10 MB content") << u"big"_s << line.repeated(10 * 1024 * 1024 / line.size() + 1);
    }
    void storesTextExactly()
    {
        QFETCH(QString, title);
        QFETCH(QString, content);
        DataSource ds;
        QVERIFY(openEmpty(ds));
        QVERIFY(add(ds.recordset(), title, content));

        QVERIFY(TestFiles::recordsIn(ds.DatabaseName()) == QStringList{title + u'|' + content});

        // Stored as TEXT, never NULL, so other tools see the same thing.
        QCOMPARE(TestFiles::queryOn(ds.DatabaseName(),
                                    "SELECT typeof(\"标题\") || ' ' || typeof(\"内容\") || ' ' || "
                                    "length(CAST(\"内容\" AS BLOB)) FROM WebDocuments"),
                 QStringList{u"text text %1"_s.arg(content.toUtf8().size())});
    }

    // A database the program creates (the search index) is its user's alone,
    // and so are the journal files SQLite makes beside it.
    void createsPrivateFiles()
    {
        const mode_t umaskBefore = ::umask(022);
        const QString path = dir->filePath(u"made.db"_s);
        SqliteDatabase db;
        const bool made = db.open(path, SqliteOpenMode::ReadWriteCreate)
            && db.exec("PRAGMA journal_mode=WAL") && db.exec("CREATE TABLE t (x)");
        ::umask(umaskBefore);
        QVERIFY(made);
        for (const QString& name : {path, QString(path + u"-wal"_s)}) // 0 when missing
            QCOMPARE(int(QFile::permissions(name)), 0x6600); // owner read and write only
    }
};

QUORREL_TEST(DatabaseTest, "database")
#include "tst_database.moc"
