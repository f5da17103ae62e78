#include "ClipSource.h"
#include "CollectorFixture.h"
#include "DataSource.h"
#include "Encoding.h"
#include "Rtf.h"
#include "Schema.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QScopeGuard>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using namespace Said;

// Text as browsers put it into their own formats: UTF-16 in the machine's order.
QByteArray utf16(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

using Formats = QMap<QString, QByteArray>; // MIME type: data

} // namespace

class DropsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void appendJoinsDropsAndLeavesAForeignTextFile_data()
    {
        QTest::addColumn<bool>("cached");
        QTest::newRow("cached") << true;
        QTest::newRow("at once") << false;
    }
    // Drops join with nothing between. A plain-text Doc.dat in a code page we
    // do not read (Latin-1 here) is somebody's file: a drop, at once or cached
    // until the exit, fails and leaves its bytes as they were. A drop at once
    // goes into whatever others made of the file meanwhile.
    void appendJoinsDropsAndLeavesAForeignTextFile()
    {
        QFETCH(bool, cached);
        CollectorFixture f(collectorSet(cached ? "" : "CacheUpdate=false\n"));
        QVERIFY(f.load());
        f.dropText(u"ab"_s);
        f.dropText(u"cd\n中文😀{}\\"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Saved, Saved}));
        QCOMPARE(f.dialogs.messages.first().icon, Dialogs::Icon::Information);
        const QString joined = u"abcd\n中文😀{}\\"_s;
        QCOMPARE(f.collector().pendingText(), cached ? joined : QString());
        if (cached)
            QVERIFY(!QFile::exists(f.path(u"Doc.dat"))); // nothing on disk before the exit
        else
            QCOMPARE(f.documentText(), joined); // created by the first drop

        const QByteArray latin1 = "caf\xe9 au lait\r\nna\xefve\r\n";
        f.write(u"Doc.dat", latin1);
        f.dropText(u"x"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Saved, Saved, cached ? Saved : Failed}));
        if (cached) {
            QVERIFY(!f.collector().WriteDefaultDocument());
            QCOMPARE(f.collector().pendingText(), joined + u"x"_s); // kept for a later try
        }
        QCOMPARE(f.read(u"Doc.dat"), latin1);
        if (cached)
            return;
        RichTextBuffer editor; // replaces the file, as the editor saves it
        editor.setText(u"edited"_s);
        QVERIFY(editor.SaveFile(f.path(u"Doc.dat")));
        f.dropText(u"c"_s);
        QCOMPARE(f.documentText(), u"editedc"_s);
        f.write(u"Doc.dat", "written in place"); // same file, plain text
        f.dropText(u"d"_s);
        QCOMPARE(f.documentText(), u"written in placed"_s);
    }

    // A Doc.dat a word processor wrote keeps its pictures and formatting:
    // drops, at once or cached until the exit, go into it and every byte of
    // it stays.
    void appendKeepsAForeignDocument()
    {
        CollectorFixture f(collectorSet("CacheUpdate=false\ntip=false\n"));
        QVERIFY(f.load());
        const QByteArray original =
            TestFiles::bytesOf(QStringLiteral(QUORREL_TEST_DATA "/rtf/word-like.rtf"));
        QVERIFY(original.contains("\\pict"));
        f.write(u"Doc.dat", original);
        const QString oldText = f.documentText();
        const auto at = Rtf::insertion(original, u"x"_s);
        QVERIFY(at);
        const auto keptAround = [&] {
            const QByteArray now = f.read(u"Doc.dat");
            return now.startsWith(original.left(at->offset)) &&
                   now.endsWith(original.mid(at->offset));
        };

        f.dropText(u"第一\r\nline"_s);
        f.dropText(u"+more"_s);
        QCOMPARE(f.documentText(), oldText + u"第一\nline+more"_s);
        QVERIFY(keptAround());

        f.collector().CacheUpdate = true;
        f.dropText(u" cached"_s);
        QVERIFY(f.collector().WriteDefaultDocument());
        QCOMPARE(f.documentText(), oldText + u"第一\nline+more cached"_s);
        QVERIFY(keptAround());
    }

    // A drag without text fails; one from a source that would delete what it
    // moved is refused outright. GTK file managers offer the dragged files'
    // URIs as plain text too: that is no text a user selected. A link dragged
    // from a page keeps its URL.
    void dragsWithoutText()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        QVERIFY(!f.dropMoveOnly(u"moved"_s));
        QVERIFY(f.dialogs.messages.isEmpty());
        f.dropText(std::nullopt);

        const QList<QUrl> files = {QUrl::fromLocalFile(f.path(u"笔记.txt")),
                                   QUrl::fromLocalFile(f.path(u"b c.txt"))};
        QMimeData fromFileManager;
        fromFileManager.setUrls(files);
        fromFileManager.setData(u"text/plain"_s, files[0].toEncoded() + "\r\n" +
                                                     files[1].toEncoded() + "\r\n");
        fromFileManager.setData(u"text/plain;charset=utf-8"_s, fromFileManager.data(u"text/plain"_s));
        f.dropData(fromFileManager, true);
        QMimeData asPath; // some managers put the bare path in the text
        asPath.setUrls({files[1]});
        asPath.setText(files[1].toLocalFile());
        f.dropData(asPath, true);
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Failed, Failed, Failed}));
        QVERIFY(f.collector().pendingText().isEmpty());
        f.collector().tip = false;
        f.dropText(std::nullopt);
        QCOMPARE(f.dialogs.messages.size(), 3);

        const QString url = u"https://example.org/a?b=1"_s;
        QMimeData link;
        link.setUrls({QUrl(url)});
        link.setText(url);
        f.dropData(link, true);
        QMimeData mixed; // a file's name inside other text is text
        mixed.setUrls({files[0]});
        mixed.setText(u"see "_s + files[0].toString());
        f.dropData(mixed, true);
        QCOMPARE(f.collector().pendingText(), url + u"see "_s + files[0].toString());
        QCOMPARE(f.dialogs.messages.size(), 3); // tip off: a success says nothing either
    }

    // Browsers give LF, GTK editors CR LF; whatever the source, the program
    // keeps LF inside and writes CR LF into files written line by line, and a
    // NUL never gets in.
    void lineBreaksAndNulAreTheSameFromEverySource_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("cached") << QByteArray("save=append\n");
        QTest::newRow("create") << QByteArray("save=create\n");
        QTest::newRow("database") << QByteArray("save=database\nAutoName=true\n");
    }
    void lineBreaksAndNulAreTheSameFromEverySource()
    {
        QFETCH(QByteArray, mode);
        CollectorFixture f(collectorSet("tip=false\n" + mode));
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        const QString fromBrowser = u"一\n二\n\n三"_s;
        f.dropText(fromBrowser);
        f.dropText(u"一\r\n二\r\n\r三"_s);   // an editor, and a lone CR
        f.dropText(u"一\n二\0\n\n三\0"_s); // a page that set a NUL
        const QString kept = f.collector().save;
        if (kept == u"append"_s) {
            QCOMPARE(f.collector().pendingText(), fromBrowser + fromBrowser + fromBrowser);
        } else if (kept == u"create"_s) {
            for (const char* name : {"Documents/0.txt", "Documents/1.txt", "Documents/2.txt"})
                QCOMPARE(f.read(QString::fromLatin1(name)),
                         QByteArray("一\r\n二\r\n\r\n三\r\n"));
        } else {
            const QString record = u"文档|"_s + fromBrowser;
            QCOMPARE(TestFiles::recordsIn(f.path(u"WebDocuments.mdb")),
                     QStringList({record, record, record}));
        }
    }

    void createNeverOverwrites()
    {
        CollectorFixture f(collectorSet("save=create\n"));
        QVERIFY(QDir(ProgramDir()).mkdir(u"Documents"_s));
        for (const char* name : {"Documents/0.txt", "Documents/1.txt", "Documents/2.txt"})
            f.write(QString::fromLatin1(name), "old");
        QVERIFY(f.load());
        f.dropText(u"第一 line"_s);
        QCOMPARE(f.read(u"Documents/3.txt"), QByteArray("第一 line\r\n"));
        QCOMPARE(f.collector().nextFileNumber(), 4);

        f.write(u"Documents/4.txt", "made meanwhile");
        // A dangling link is no file, yet its name is taken.
        QVERIFY(QFile::link(u"/nonexistent/target"_s, f.path(u"Documents/5.txt")));
        f.dropText(QString());
        QCOMPARE(f.read(u"Documents/4.txt"), QByteArray("made meanwhile"));
        QCOMPARE(f.read(u"Documents/6.txt"), QByteArray("\r\n"));
        QCOMPARE(f.read(u"Documents/0.txt"), QByteArray("old"));

        // A new folder during the run: numbering goes on from the counter.
        const QString other = ProgramDir() + u"other/"_s;
        QVERIFY(QDir().mkdir(other));
        f.collector().filepath = other;
        f.dropText(u"z"_s);
        QVERIFY(QFile::exists(other + u"7.txt"_s));

        f.collector().filepath = ProgramDir() + u"missing/"_s;
        f.dropText(u"lost?"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Saved, Saved, Saved, Failed}));
        QCOMPARE(f.collector().nextFileNumber(), 8);
    }

    void createStopsAtTheLastNumber()
    {
        CollectorFixture f(collectorSet("save=create\n"));
        QVERIFY(f.load());
        // Every number below the last is taken: the scan must end on it.
        for (int n = 0; n < Collector::LastFileNumber; ++n) {
            QFile file(f.collector().numberedFilePath(n));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        f.collector().FindFreeFileNumber();
        QCOMPARE(f.collector().nextFileNumber(), Collector::LastFileNumber);
        f.dropText(u"last"_s);
        QCOMPARE(f.read(u"Documents/32767.txt"), QByteArray("last\r\n"));
        f.dropText(u"one too many"_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Saved, Failed}));
        f.collector().FindFreeFileNumber(); // all taken: still ends
        QCOMPARE(f.collector().nextFileNumber(), Collector::LastFileNumber);
    }

    void databaseAsksForATitle()
    {
        CollectorFixture f(collectorSet("save=database\ntip=false\n"));
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        f.dialogs.inputs = {u"  "_s, std::nullopt, u""_s, u"它's; DROP TABLE"_s};
        for (const QString& text : {u"one"_s, u"two"_s, u"three"_s, u"four"_s})
            f.dropText(text);
        QCOMPARE(f.dialogs.prompts.first(), u"输入信息|请输入文档标题:"_s);
        // Cancel and an empty title are reported whatever `tip` says.
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Cancelled, Cancelled}));
        const QString db = f.path(u"WebDocuments.mdb");
        QCOMPARE(TestFiles::recordsIn(db), QStringList({u"  |one"_s, u"它's; DROP TABLE|four"_s}));

        f.collector().autoname = true;
        for (int i = 0; i < 3; ++i)
            f.dropText(QString::number(i));
        QCOMPARE(TestFiles::recordsIn(db).mid(2),
                 QStringList({u"文档|0"_s, u"文档|1"_s, u"文档|2"_s}));
        QCOMPARE(f.dialogs.prompts.size(), 4); // no prompt with automatic names
    }

    void sourceOfADrag_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("url");
        const QString page = u"https://example.org/页?q=1"_s;
        const QString mozUrl = u"text/x-moz-url"_s;
        const QString uriList = u"text/uri-list"_s;
        const QString taint = u"chromium/x-renderer-taint"_s;
        QTest::newRow("Firefox link") << u"测试页面 — Mozilla Firefox"_s
            << Formats{{mozUrl, utf16(page + u"\n链接"_s)}} << u"测试页面"_s << page;
        QTest::newRow("Firefox selection")
            << u"A - B - Mozilla Firefox"_s << Formats{} << u"A - B"_s << QString();
        QTest::newRow("Firefox copy, with a mark") << u"Page — Firefox Nightly"_s
            << Formats{{u"text/x-moz-url-priv"_s, "\xff\xfe" + utf16(page)},
                       {mozUrl, utf16(u"https://elsewhere.example/"_s)}}
            << u"Page"_s << page;
        QTest::newRow("Chromium selection") << u"Page - Chromium"_s
            << Formats{{taint, "https://example.org"}} << u"Page"_s << u"https://example.org"_s;
        QTest::newRow("opaque origin")
            << u"Page - Google Chrome"_s << Formats{{taint, "null"}} << u"Page"_s << QString();
        QTest::newRow("links") << u"Page - Google Chrome"_s
            << Formats{{uriList, "# links\r\nhttps://a.example/x\r\n"}, {taint, "https://b"}}
            << u"Page"_s << u"https://a.example/x"_s;
        QTest::newRow("script link") << u"Page — Mozilla Firefox"_s
            << Formats{{mozUrl, utf16(u"javascript:go()\nGo"_s)}} << u"Page"_s << QString();
        QTest::newRow("only the browser's name")
            << u"Mozilla Firefox"_s << Formats{{mozUrl, utf16(page)}} << QString() << page;
        QTest::newRow("another program")
            << u"notes.txt - gedit"_s << Formats{} << u"notes.txt - gedit"_s << QString();
        QTest::newRow("window not told")
            << QString() << Formats{{mozUrl, utf16(page)}} << QString() << QString();
        QTest::newRow("file manager") << u"Home - Files"_s
            << Formats{{uriList, "file:///etc/hostname\r\n"}} << QString() << QString();
    }

    void sourceOfADrag()
    {
        QFETCH(QString, window);
        QFETCH(Formats, formats);
        QFETCH(QString, title);
        QFETCH(QString, url);
        QMimeData data;
        data.setText(u"text"_s);
        for (const auto& [format, payload] : formats.asKeyValueRange())
            data.setData(format, payload);
        const QDateTime when(QDate(2026, 12, 7), QTime(9, 5, 7));
        const ClipSource source = ClipSources::of(window, &data, when);
        QCOMPARE(source.title, title);
        QCOMPARE(source.url, url);
        // The time only with a source: a drag with none keeps nothing.
        QCOMPARE(source.time, source.isEmpty() ? QString() : u"2026-12-07 09:05:07"_s);
    }

    // A drag from a browser: the record keeps its source and the title
    // prompt offers the page's title; documents and numbered files keep only
    // the text, and the face's tool tip names the source.
    void dropsKeepTheirSource_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("database") << QByteArray("save=database\ntip=false\n");
        QTest::newRow("append") << QByteArray("save=append\nCacheUpdate=false\ntip=false\n");
        QTest::newRow("create") << QByteArray("save=create\ntip=false\n");
    }

    void dropsKeepTheirSource()
    {
        QFETCH(QByteArray, mode);
        CollectorFixture f(collectorSet(mode));
        const QString db = f.path(u"WebDocuments.mdb");
        QVERIFY(TestFiles::copyEmptyDatabase(db));
        QVERIFY(f.load());
        const QString page = u"https://example.org/页"_s;
        QString window = u"测试页面 — Mozilla Firefox"_s;
        f.window->activeWindowTitle = [&window] { return window; };
        f.dialogs.inputs = {u"题"_s, u"题2"_s};
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-999);

        QMimeData link;
        link.setText(u"摘录"_s);
        link.setData(u"text/x-moz-url"_s, utf16(page + u"\n链接"_s));
        f.dropData(link, true);
        window.clear(); // a window that cannot be told
        f.dropText(u"无来源"_s);

        const QString tip = f.window->findChild<CollectorFace*>(u"Label1"_s)->toolTip();
        QVERIFY2(tip.contains(u"测试页面"_s) && tip.contains(page), qPrintable(tip));
        if (f.collector().save == u"append"_s)
            QCOMPARE(f.documentText(), u"摘录无来源"_s);
        if (f.collector().save == u"create"_s)
            QCOMPARE(TestFiles::bytesOf(f.collector().numberedFilePath(0)),
                     Encoding::encodeLines(u"摘录"_s));
        if (f.collector().save != u"database"_s)
            return;
        QCOMPARE(f.dialogs.offered, QStringList({u"测试页面"_s, QString()}));
        QCOMPARE(TestFiles::recordsIn(db), QStringList({u"题|摘录"_s, u"题2|无来源"_s}));
        DataSource data;
        data.setDatabaseName(db);
        QVERIFY(data.Refresh());
        Recordset& records = data.recordset();
        QCOMPARE(records.field(Field::SourceTitle).value(), u"测试页面"_s);
        QCOMPARE(records.field(Field::SourceUrl).value(), page);
        const QDateTime taken =
            QDateTime::fromString(records.field(Field::CollectedAt).value(), Field::CollectedAtFormat);
        QVERIFY(taken >= before && taken <= QDateTime::currentDateTime());
        QVERIFY(records.MoveNext());
        for (const QString& field : {Field::SourceTitle, Field::SourceUrl, Field::CollectedAt})
            QCOMPARE(records.field(field).value(), QString());

        // A collected text whose source a script named without a time was taken now.
        f.dialogs.inputs = {u"题3"_s};
        QVERIFY(f.window->collectText(u"收集"_s, ClipSource{u"脚本页"_s, QString(), QString()}));
        QTRY_COMPARE_WITH_TIMEOUT(TestFiles::recordsIn(db).size(), 3, 5000);
        QVERIFY(records.MoveNext());
        QCOMPARE(records.field(Field::SourceTitle).value(), u"脚本页"_s);
        QVERIFY(QDateTime::fromString(records.field(Field::CollectedAt).value(),
                                      Field::CollectedAtFormat) >= before);
    }

    // What the program makes is its user's alone, whatever the umask; a file
    // it replaces keeps the mode it had.
    void filesItMakesArePrivate()
    {
        const mode_t umaskBefore = ::umask(022);
        const auto restore = qScopeGuard([umaskBefore] { ::umask(umaskBefore); });
        const auto mode = [](const QString& path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777)
                                                                          : -1;
        };
        CollectorFixture f(collectorSet("tip=false\n"));
        QVERIFY(f.load());
        f.dropText(u"cached"_s);
        QCOMPARE(mode(f.path(u"Doc.dat.pending")), 0600);
        f.collector().CacheUpdate = false;
        f.dropText(u"a"_s);
        QCOMPARE(mode(f.path(u"Doc.dat")), 0600);
        QCOMPARE(::chmod(QFile::encodeName(f.path(u"Doc.dat")).constData(), 0644), 0);
        f.dropText(u"b"_s);
        QCOMPARE(mode(f.path(u"Doc.dat")), 0644); // shared on purpose, stays shared

        f.collector().save = u"create"_s;
        f.collector().filepath = ProgramDir() + u"new/"_s;
        f.collector().prepareSaveDirectory();
        f.dropText(u"c"_s);
        QCOMPARE(mode(f.path(u"new")), 0700);
        QCOMPARE(mode(f.path(u"new/0.txt")), 0600);
    }
};

QUORREL_TEST(DropsTest, "drops")
#include "tst_drops.moc"
