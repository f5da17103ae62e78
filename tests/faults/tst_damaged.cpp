// Damaged and foreign files where the program expects its own: Doc.dat,
// Set.ini, WebDocuments.mdb and a folder to import. None may crash or hang
// the program; each test says what the user gets instead.
#include "CacheJournal.h"
#include "CollectorFixture.h"
#include "EditorFixture.h"
#include "Faults.h"
#include "ImportExport.h"
#include "LibraryFixture.h"
#include "Messages.h"
#include "Settings.h"
#include "TestMain.h"

#include <QRandomGenerator>

#include <unistd.h>

using namespace Qt::StringLiterals;
using Faults::settings;
using Said::Failed;
using Said::Saved;

namespace {

constexpr qint64 MB = 1024 * 1024;

QByteArray noise(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    bytes[0] = '\x89'; // never "{\rtf" by chance
    return bytes;
}

// The browser refuses to add a document, saying why.
void refusesToAdd(frmMain& w)
{
    QString error;
    QVERIFY(!w.browser().add(u"标题"_s, u"内容"_s, &error));
    QVERIFY2(TestFiles::readsAsChinese(error), qPrintable(error));
}

} // namespace

class DamagedTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // --- Doc.dat -----------------------------------------------------------

    void hugeDocumentIsAppendedTo()
    {
        // 100 MB, nearly all of it a hole inside a destination readers skip,
        // so it costs no disk and little time, yet every byte is read.
        CollectorFixture f(settings("append"));
        QVERIFY(Faults::writeSparse(f.path(u"Doc.dat"), "{\\rtf1\\ansi{\\*\\padding ", 100 * MB,
                                    "}head}"));
        QVERIFY(f.load());
        {
            EditorFixture e;
            ProgramDirOverride same(f.dir.path());
            QVERIFY(e.open());
            QCOMPARE(e.box().Text(), u"head"_s);
            QCOMPARE(e.dialogs.messages.size(), 1); // only: a save drops the padding
            delete e.editor.data(); // gone without its close step: nothing is saved
        }
        f.dropText(u"尾"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList{Saved});
        QCOMPARE(f.documentText(), u"head尾"_s);
    }

    // A word processor's Doc.dat whose end was cut off (a full disk, a copy
    // that stopped): a drop at once, the cached text written at the exit and
    // the journal's recovery at the next start keep every byte it has and
    // add the text it can be read with; one that cannot be extended so is
    // left as it is, the drop failing visibly.
    void cutOffDocumentKeepsEveryByte_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("kept"); // false: no place for the text
        const QByteArray doc =
            TestFiles::bytesOf(QStringLiteral(QUORREL_TEST_DATA "/rtf/libreoffice-writer.rtf"));
        const QByteArray inBinary = "{\\rtf1\\ansi text{\\pict\\bin900 \x89PNG";
        for (const QString& how : {u"at once"_s, u"exit"_s, u"recovery"_s}) {
            QTest::addRow("last brace, %s", qPrintable(how)) << doc.chopped(1) << how << true;
            QTest::addRow("in its text, %s", qPrintable(how)) << doc.chopped(300) << how << true;
            QTest::addRow("in binary data, %s", qPrintable(how)) << inBinary << how << false;
        }
    }
    void cutOffDocumentKeepsEveryByte()
    {
        QFETCH(QByteArray, original);
        QFETCH(QString, how);
        QFETCH(bool, kept);
        CollectorFixture f(how == u"at once"_s ? settings("append") : QByteArray("[CollectorSet]\ntip=true\n"));
        QVERIFY(TestFiles::writeBytes(f.path(u"Doc.dat"), original));
        const QString oldText = RichText::decode(original);
        const QString added = u"新加的一段"_s;
        if (how == u"recovery"_s) {
            CacheJournal journal(f.path(u"Doc.dat.pending"));
            QVERIFY(journal.append(added));
        }
        QVERIFY(f.load());
        if (how != u"recovery"_s)
            f.dropText(added);
        if (how == u"exit"_s)
            f.window->Exit_Click();
        const QByteArray now = TestFiles::bytesOf(f.path(u"Doc.dat"));
        if (!kept) {
            QCOMPARE(now, original);
            QCOMPARE(f.collector().pendingText(), how == u"at once"_s ? QString() : added);
            if (how != u"recovery"_s)
                QCOMPARE(f.dialogs.messageTexts().last(), Failed);
            return;
        }
        // Every old byte, in order, around one insertion.
        qsizetype same = 0;
        while (same < original.size() && now.at(same) == original.at(same))
            ++same;
        QVERIFY(now.indexOf(original.mid(same), same) > same || same == original.size());
        QCOMPARE(f.documentText(), oldText + added);
        QVERIFY(!f.dialogs.messageTexts().contains(Failed));
    }

    // --- Set.ini -----------------------------------------------------------

    void damagedSettings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("save");  // what the collector takes
        QTest::addColumn<bool>("tip");

        QTest::newRow("binary garbage") << noise(64 * 1024, 7) << u"append"_s << true;
        QTest::newRow("one 10 MB line")
            << "[CollectorSet]\nsave=create\ntip=" + QByteArray(10 * MB, 'f') << u"create"_s << true;
        QTest::newRow("10 MB without a line break")
            << QByteArray(10 * MB, '[') << u"append"_s << true;
        static const char withNuls[] = "[Collector\0Set]\nsave=database\n[CollectorSet]\n"
                                       "save=cre\0ate\ntip=false\0true\n";
        QTest::newRow("NUL bytes") << QByteArray(withNuls, sizeof withNuls - 1) << u"append"_s
                                   << false;
        QTest::newRow("invalid UTF-8")
            << QByteArray("\xef\xbb\xbf[CollectorSet]\r\nsave=\xff\xfe" "create\r\ntip=\xc3\x28\r\n")
            << u"append"_s << true;
    }

    void damagedSettings()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, save);
        QFETCH(bool, tip);
        CollectorFixture f(content);
        QVERIFY(f.load());
        QCOMPARE(f.collector().save, save);
        QCOMPARE(f.collector().tip, tip);
        // Values are cut to what a setting may hold, never more.
        QVERIFY(ReadSetting(u"tip"_s, QString()).toUtf8().size() <= 254);

        // A new entry is added and every byte that was there stays, in order.
        WriteSetting(u"AutoName"_s, u"true"_s);
        QCOMPARE(ReadSetting(u"AutoName"_s, QString()), u"true"_s);
        const QByteArray after = f.read(u"Set.ini");
        qsizetype kept = 0;
        for (qsizetype i = 0; i < after.size() && kept < content.size(); ++i)
            kept += after[i] == content[kept];
        QCOMPARE(kept, content.size());
    }

    // --- data files that are no files -----------------------------------

    // A link to a file of the user's, or a FIFO, at one of the program's own
    // names: nothing is read, cut, replaced or waited on through it. The
    // collector starts on the defaults; a drop that needs the name fails as
    // any failure does; the name and the user's file stay. The editor on a
    // Doc.dat FIFO shows nothing, and its reload keeps what it shows.
    void ownNamesThatAreNoFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fifo");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("said"); // after a drop
        for (const bool fifo : {false, true}) {
            const char* kind = fifo ? "FIFO" : "link";
            QTest::addRow("Doc.dat, %s", kind) << u"Doc.dat"_s << fifo
                                               << QByteArray("[CollectorSet]\nCacheUpdate=false\n") << Failed;
            QTest::addRow("Doc.dat.pending, %s", kind)
                << u"Doc.dat.pending"_s << fifo << QByteArray() << Failed;
            QTest::addRow("Set.ini, %s", kind) << u"Set.ini"_s << fifo << QByteArray() << Saved;
        }
    }
    void ownNamesThatAreNoFiles()
    {
        QFETCH(QString, name);
        QFETCH(bool, fifo);
        QFETCH(QByteArray, settings);
        QFETCH(QString, said);
        CollectorFixture f(settings);
        QTemporaryDir home;
        const QString mine = home.filePath(u"notes.txt"_s);
        const QByteArray notes = "my notes\n";
        QVERIFY(TestFiles::writeBytes(mine, notes));
        std::optional<Faults::Fifo> pipe;
        if (fifo)
            QVERIFY(pipe.emplace(f.path(name)).made());
        else
            QVERIFY(QFile::link(mine, f.path(name)));
        QVERIFY(f.load());
        QCOMPARE(f.collector().save, u"append"_s);
        f.dropText(u"文字"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList{said});
        WriteSetting(u"left"_s, u"0"_s); // as the exit keeps the window's place
        if (fifo && name == u"Doc.dat"_s) {
            EditorFixture e;
            ProgramDirOverride same(f.dir.path());
            QVERIFY(e.open());
            QCOMPARE(e.box().Text(), QString());
            e.box().setText(u"typed"_s);
            e.click(9); // reload
            QCOMPARE(e.box().Text(), u"typed"_s);
        }
        QVERIFY(!fifo || !pipe->blocked());
        QCOMPARE(TestFiles::bytesOf(mine), notes);
        QVERIFY(fifo ? !QFileInfo(f.path(name)).isFile() : QFileInfo(f.path(name)).isSymLink());
    }

    // --- WebDocuments.mdb --------------------------------------------------

    void foreignDatabase_data()
    {
        QTest::addColumn<QByteArray>("content"); // "truncated" makes one
        QTest::newRow("missing") << QByteArray("<missing>"); // and never created
        QTest::newRow("zero bytes") << QByteArray();
        QTest::newRow("truncated") << QByteArray("truncated");
        // The head of a Jet database, as an .mdb copied from Windows starts.
        QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        jet += QByteArray(4096 - jet.size(), '\0') + noise(60 * 1024, 3);
        QTest::newRow("Access file") << jet;
        QTest::newRow("text file") << u"标题,内容\n甲,一\n"_s.toUtf8();
    }

    void foreignDatabase()
    {
        QFETCH(QByteArray, content);
        CollectorFixture f(settings("database"));
        const QString path = f.path(u"WebDocuments.mdb");
        if (content == "truncated") {
            QVERIFY(TestFiles::copyEmptyDatabase(path));
            {
                SqliteDatabase db; // 200 records of 2000 characters
                QVERIFY(db.open(path, SqliteOpenMode::ReadWrite)
                        && db.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                                   "WHERE i < 199) INSERT INTO WebDocuments (\"标题\", \"内容\") "
                                   "SELECT i, replace(hex(zeroblob(2000)), '00', '内') FROM n"));
            }
            QFile file(path);
            QVERIFY(file.resize(file.size() / 2));
            content = TestFiles::bytesOf(path);
        } else if (content != "<missing>") {
            QVERIFY(TestFiles::writeBytes(path, content));
        }
        QVERIFY(f.load());
        const QStringList names = TestFiles::namesIn(ProgramDir());

        // The drop fails with the usual message. An Access file that cannot
        // be converted was said to be so at the load, and is not again.
        f.dropText(u"一段文字"_s);
        const QStringList said = f.dialogs.messageTexts();
        QCOMPARE(said.size(), QTest::currentDataTag() == QByteArrayView("Access file") ? 2 : 1);
        QCOMPARE(said.last(), Failed);
        QVERIFY2(TestFiles::readsAsChinese(said.first()), qPrintable(said.first()));

        // The browser says why on opening, shows no titles (a truncated
        // database is refused whole), and refuses to add.
        {
            LibraryFixture lib(false);
            ProgramDirOverride same(f.dir.path());
            frmMain& w = lib.open();
            QCOMPARE(lib.listed(), QStringList());
            QCOMPARE(lib.dialogs.messages.size(), 1);
            const QString why = lib.dialogs.messages.at(0).text;
            QVERIFY2(TestFiles::readsAsChinese(why), qPrintable(why));
            refusesToAdd(w);

            // A batch export stops with a message and writes no file.
            QTemporaryDir out;
            lib.dialogs.fileNames.push_back(out.path());
            w.Button9_Click();
            QCOMPARE(lib.dialogs.messages.size(), 2);
            QVERIFY(lib.dialogs.messageTexts().last().startsWith(u"成批导出已停止"_s));
            QCOMPARE(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                     QStringList());
        }

        // Nothing was written into the file, nor beside it.
        QCOMPARE(TestFiles::bytesOf(path), content);
        QCOMPARE(TestFiles::namesIn(ProgramDir()), names);
    }

    // Another program's SQLite file under our name whose table ignores
    // writes, or whose WebDocuments is a view (one that never ends), or ours
    // held by another program in a long write: no drop or add may report
    // success, no window may freeze, and the file stays. Once the lock is
    // gone, a drop is stored.
    void databaseThatTakesNoRecord_data()
    {
        QTest::addColumn<QByteArray>("sql"); // empty: the program's own, locked
        QTest::newRow("trigger ignoring inserts")
            << QByteArray("CREATE TABLE WebDocuments (\"标题\" TEXT, \"内容\" TEXT);"
                          "CREATE TRIGGER t BEFORE INSERT ON WebDocuments "
                          "BEGIN SELECT RAISE(IGNORE); END");
        QTest::newRow("view with INSTEAD OF triggers")
            << TestFiles::ignoringView("SELECT 1 AS rowid, 'a' AS \"标题\", 'b' AS \"内容\"");
        QTest::newRow("view that never ends") << TestFiles::ignoringView(TestFiles::EndlessSelect);
        QTest::newRow("locked by another program") << QByteArray();
    }
    void databaseThatTakesNoRecord()
    {
        QFETCH(QByteArray, sql);
        const bool locked = sql.isEmpty();
        CollectorFixture f(settings("database"));
        const QString path = f.path(u"WebDocuments.mdb");
        SqliteDatabase other;
        QVERIFY(locked ? TestFiles::copyEmptyDatabase(path)
                             && other.open(path, SqliteOpenMode::ReadWrite)
                       : other.open(path, SqliteOpenMode::ReadWriteCreate)
                             && other.exec(sql.constData()));
        const QByteArray before = TestFiles::bytesOf(path);
        QVERIFY(f.load());
        QVERIFY(!locked || other.exec("BEGIN EXCLUSIVE"));
        f.dropText(u"一段文字"_s); // waits out the busy timeout on a lock
        QCOMPARE(f.dialogs.messageTexts(), QStringList{Failed});
        {
            LibraryFixture lib(false);
            ProgramDirOverride same(f.dir.path());
            frmMain& w = lib.open();
            w.Data1().setBusyTimeout(100);
            if (locked) {
                QCOMPARE(lib.listed(), QStringList{});
                QCOMPARE(lib.dialogs.messages.size(), 1); // why the list is empty
            }
            for (const QString& said : lib.dialogs.messageTexts())
                QVERIFY2(TestFiles::readsAsChinese(said), qPrintable(said));
            refusesToAdd(w);
        }
        QCOMPARE(TestFiles::bytesOf(path), before);
        if (locked) {
            QVERIFY(other.exec("ROLLBACK"));
            f.dropText(u"之后"_s);
            QCOMPARE(f.dialogs.messageTexts().last(), Saved);
            QCOMPARE(TestFiles::recordsIn(path), QStringList{u"文档|之后"_s});
        }
    }

    // --- a folder to import ------------------------------------------------

    void awkwardImportFolder()
    {
        LibraryFixture lib;
        QTemporaryDir in;
        const QByteArray folder = QFile::encodeName(in.path()) + '/';
        const auto at = [&](const char* name) { return QByteArray(folder + name); };
        QVERIFY(TestFiles::writeBytes(in.filePath(u"a.txt"_s), "甲"));
        QVERIFY(::symlink(".", at("self.txt").constData()) == 0); // a link to its own folder
        // 200 MB, nearly all a hole: its NULs are no text and are dropped.
        QVERIFY(Faults::writeSparse(in.filePath(u"big.txt"_s), "头", 200 * MB, "尾"));
        QVERIFY(Faults::writeRaw(at("\xb2\xe2\xca\xd4.txt"),
                                 "\xb2\xe2\xca\xd4\xc4\xda\xc8\xdd")); // GBK name and text
        QVERIFY(Faults::writeRaw(at("\xff\xfe.txt"), "\xff\xfe\x80")); // no encoding's

        ScriptedDialogs dialogs;
        DataSource data;
        data.setDatabaseName(lib.databasePath());
        SilentProgress progress;
        const ImportExport::BatchResult result =
            ImportExport::importFromFolder(in.path(), dialogs, nullptr, data, progress);
        QVERIFY2(!result.failed, qPrintable(dialogs.messageTexts().join(u'\n')));
        QCOMPARE(result.done, 3);
        QCOMPARE(TestFiles::recordsIn(lib.databasePath()),
                 (QStringList{u"a.txt|甲"_s, u"big.txt|头尾"_s, u"测试.txt|测试内容"_s}));
        // Bytes that are text in no encoding are no document: passed over,
        // never silently, like the link to the folder itself.
        QCOMPARE(result.notText, 1);
        QCOMPARE(result.notFiles, 1);
        QCOMPARE(dialogs.messages.size(), 1);
    }
};

QUORREL_TEST(DamagedTest, "damaged")
#include "tst_damaged.moc"
