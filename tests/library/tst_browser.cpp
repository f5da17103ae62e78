#include "LibraryFixture.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "ContentChunks.h"
#include "DocumentBrowser.h"
#include "Fonts.h"
#include "RichText.h"

#include <QDir>
#include <QTemporaryDir>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace {

const QString Question = u"您当真要删除吗？"_s;

} // namespace

class BrowserTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensWithEveryTitleAndAnEmptyContentBox()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        frmMain& w = f.open();
        QCOMPARE(f.listed(), QStringList({u"第一篇"_s, u"第二篇"_s, u"第三篇"_s}));
        QVERIFY(f.shown().isEmpty());
        QVERIFY(w.text1()->isReadOnly());
        QCOMPARE(w.text1()->font().family(), Fonts::songti(9).family()); // 宋体 or its stand-in
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void aRowClickShowsItsContentAndMakesItCurrent()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        frmMain& w = f.open();
        f.click(1);
        QCOMPARE(f.shown(), u"二的内容\n第二行"_s);
        QCOMPARE(w.recordset().field(u"标题"_s), u"第二篇"_s);
        f.click(2);
        QCOMPARE(f.shown(), u"三的内容"_s);
    }

    // The four import and export buttons act on the browser's own records and
    // show what they imported in its list.
    void importAndExportButtonsWorkOnTheBrowsersRecords()
    {
        LibraryFixture f;
        QVERIFY(f.store({{u"旧"_s, u"旧的内容"_s}}));
        f.open();
        QTemporaryDir folder;
        const QString in = folder.path() + u"/in/"_s;
        const QString out = folder.path() + u"/out/"_s;
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
        QVERIFY(TestFiles::writeBytes(in + u"a.txt"_s, "第一\r\n"));
        QVERIFY(TestFiles::writeBytes(in + u"b.txt"_s, "second"));
        f.dialogs.fileNames = {in + u"a.txt"_s, in};
        f.button("Button7")->click();
        f.button("Button8")->click();
        LibraryFixture::settle();
        QCOMPARE(f.listed(), QStringList({u"旧"_s, in + u"a.txt"_s, u"a.txt"_s, u"b.txt"_s}));

        f.click(3);
        f.dialogs.fileNames = {out + u"shown.txt"_s, out};
        f.button("Button3")->click();
        f.button("Button9")->click();
        QCOMPARE(TestFiles::bytesOf(out + u"shown.txt"_s), QByteArray("second\r\n"));
        QCOMPARE(TestFiles::namesIn(out), QStringList({u"0.txt"_s, u"1.txt"_s, u"2.txt"_s,
                                                      u"3.txt"_s, u"shown.txt"_s}));
        // its own line end, then the added one
        QCOMPARE(TestFiles::bytesOf(out + u"1.txt"_s), QByteArray("第一\r\n\r\n"));
        QVERIFY(f.dialogs.messages.isEmpty()); // no success message
    }

    void deleteBeforeAnyClickTakesTheFirstRecord()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        f.open();
        f.dialogs.answers = {Dialogs::Answer::No, Dialogs::Answer::Yes};
        f.button("Button2")->click();
        QCOMPARE(f.stored().size(), 3); // No: nothing happens
        f.button("Button2")->click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        const auto& asked = f.dialogs.messages.first();
        QCOMPARE(asked.text, Question);
        QCOMPARE(asked.icon, Dialogs::Icon::None);
        QCOMPARE(asked.buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(f.listed(), QStringList({u"第二篇"_s, u"第三篇"_s}));
        QCOMPARE(f.stored().first().first, u"第二篇"_s);
    }

    void deleteTakesTheClickedRecordAndEmptiesTheContentBox()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        frmMain& w = f.open();
        f.click(2); // the last one: the record set moves back to the first
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QCOMPARE(f.listed(), QStringList({u"第一篇"_s, u"第二篇"_s}));
        QVERIFY(f.shown().isEmpty());
        // The re-read made the first record current: the next delete takes it.
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QCOMPARE(f.listed(), QStringList({u"第二篇"_s}));
    }

    void deletingTheOnlyRecordLeavesNothing()
    {
        LibraryFixture f;
        QVERIFY(f.store({{u"唯一"_s, u"内容"_s}}));
        frmMain& w = f.open();
        f.click(0);
        QCOMPARE(f.shown(), u"内容"_s);
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QVERIFY(f.listed().isEmpty());
        QVERIFY(f.shown().isEmpty());
        QVERIFY(f.stored().isEmpty());

        // An empty database: the question comes, then nothing.
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Question, Question}));
        QVERIFY(f.listed().isEmpty());
    }

    void aMissingDatabaseIsReportedOnceAndEverythingElseIsQuiet()
    {
        LibraryFixture f(false);
        frmMain& w = f.open();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages.first().text.contains(u"WebDocuments.mdb"_s));
        QVERIFY2(TestFiles::readsAsChinese(f.dialogs.messages.first().text),
                 qPrintable(f.dialogs.messages.first().text));
        QVERIFY(f.listed().isEmpty());
        bool shown = false;
        w.runModal = [&](QDialog&) { shown = true; };
        w.Button5_Click();
        QVERIFY(!shown);
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QCOMPARE(f.dialogs.messageTexts().last(), Question); // asked, then silence
        QCOMPARE(f.dialogs.messages.size(), 2);
        QVERIFY(!QFile::exists(f.databasePath())); // never created
    }

    void aRecordAnotherProgramDeletedChangesNothingWhenClicked()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        frmMain& w = f.open();
        f.click(0);
        {
            DataSource other;
            other.setDatabaseName(f.databasePath());
            QVERIFY(other.Refresh());
            QVERIFY(other.recordset().MoveNext() && other.recordset().Delete());
        }
        f.click(1);
        QCOMPARE(f.shown(), u"一的内容"_s);
        QCOMPARE(w.recordset().field(u"标题"_s), u"第一篇"_s);
        // Refreshing shows the list as it now is.
        w.refreshList();
        QCOMPARE(f.listed(), QStringList({u"第一篇"_s, u"第三篇"_s}));
    }

    // A search's list loses the record deleted from it, also when the list
    // is read again; every row stays a record that exists.
    void deletingFromASearchsResultsKeepsToTheRest()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        DocumentBrowser browser(f.dialogs);
        QVERIFY(browser.Form_Load());
        const qint64 first = browser.List1().bookmark(0).value();
        const qint64 third = browser.List1().bookmark(2).value();
        browser.showFound({first, third});
        QCOMPARE(browser.choose(1), u"三的内容"_s);
        f.dialogs.answers = {Dialogs::Answer::Yes};
        QVERIFY(browser.deleteCurrent());
        QVERIFY(browser.isFiltered());
        QCOMPARE(browser.List1().rowCount(), 1);
        QCOMPARE(browser.List1().title(0), u"第一篇"_s);
        QVERIFY(browser.Refresh());
        QCOMPARE(browser.List1().rowCount(), 1);
        browser.showAll();
        QCOMPARE(browser.List1().rowCount(), 2);
    }

    void manyRecordsAreListedPageByPage()
    {
        // More rows than the cache holds pages, with holes in the bookmarks.
        LibraryFixture f;
        const int count = DocumentList::PageSize * (DocumentList::CachedPages + 2) + 7;
        QList<LibraryFixture::Record> records;
        for (int i = 0; i < count; ++i)
            records.append({u"标题%1"_s.arg(i), u"内容%1"_s.arg(i)});
        QVERIFY(f.store(records));
        {
            DataSource other;
            other.setDatabaseName(f.databasePath());
            QVERIFY(other.Refresh());
            Recordset& rs = other.recordset();
            for (int i = 0; i < 300; ++i) { // delete every third of the first 900
                QVERIFY(rs.Delete());
                QVERIFY(rs.MoveNext() && rs.MoveNext() && rs.MoveNext());
            }
        }
        f.open();
        const QStringList titles = f.listed();
        QCOMPARE(titles.size(), count - 300);
        QCOMPARE(titles.first(), u"标题1"_s);
        QCOMPARE(titles.at(1), u"标题2"_s);
        QCOMPARE(titles.at(2), u"标题4"_s);
        QCOMPARE(titles.last(), u"标题%1"_s.arg(count - 1));
        // Read again backwards, after the first pages left the cache.
        for (int row = titles.size() - 1; row >= 0; row -= 97)
            QCOMPARE(f.window->List1()->model()->index(row, 0).data().toString(), titles.at(row));
        f.click(int(titles.size()) - 1);
        QCOMPARE(f.shown(), u"内容%1"_s.arg(count - 1));
    }

    void aLongContentFillsTheBoxPieceByPiece_data()
    {
        QTest::addColumn<QString>("content");
        const QString line = u"一行中文，还有😀和 English。\n"_s;
        const qsizetype lines = 3 * ContentChunks::ChunkSize / line.size();
        QTest::newRow("lines") << line.repeated(lines);
        QTest::newRow("one line") << u"长😀"_s.repeated(ContentChunks::ChunkSize);
        QTest::newRow("a shorter long line, ended")
            << u"长"_s.repeated(3 * ContentChunks::MaxLineLength) + u'\n';
        QTest::newRow("CR LF") << u"甲\r\n乙\r丙"_s;
    }
    void aLongContentFillsTheBoxPieceByPiece()
    {
        QFETCH(QString, content);
        LibraryFixture f;
        QVERIFY(f.store({{u"长文"_s, content}, {u"短文"_s, u"短"_s}}));
        frmMain& w = f.open();
        const QString expected = RichText::normalizeLineBreaks(content);
        f.click(0);
        QCOMPARE(f.shown(), expected); // whole at once for export and the rest
        QVERIFY(!w.text1()->Text().isEmpty());
        QTRY_VERIFY(w.contentComplete());
        QString inBox = w.text1()->Text();
        if (std::ranges::all_of(expected.split(u'\n'), [](const QString& line) {
                return line.size() <= ContentChunks::MaxLineLength;
            })) {
            QCOMPARE(inBox, expected);
        } else {
            // Only the display breaks an overlong line; every character is there.
            QVERIFY(inBox.size() > expected.size());
            QCOMPARE(inBox.remove(u'\n'), QString(expected).remove(u'\n'));
            for (const QString& shownLine : w.text1()->Text().split(u'\n'))
                QVERIFY(shownLine.size() <= ContentChunks::MaxLineLength + 1);
        }
        // A click while the box still fills replaces it with the new record.
        f.click(0);
        f.click(1);
        QTRY_VERIFY(w.contentComplete());
        QCoreApplication::processEvents();
        QCOMPARE(w.text1()->Text(), u"短"_s);
    }

    void theListFillsInSlicesAndARefreshStartsAgain()
    {
        LibraryFixture f;
        QList<LibraryFixture::Record> records;
        for (int i = 0; i < 300; ++i)
            records.append({u"标题%1"_s.arg(i), u"内容%1"_s.arg(i)});
        QVERIFY(f.store(records));
        frmMain& w = f.open();
        DocumentList& list = w.browser().List1();
        list.setSlices(40, 25);
        w.refreshList();
        QCOMPARE(list.rowCount(), 40); // shown before the rest is read
        QVERIFY(!list.isComplete());
        // The last row of the first slice was read before its page was full.
        QCOMPARE(list.title(39), u"标题39"_s);
        f.click(5);
        QCOMPARE(f.shown(), u"内容5"_s);

        QCoreApplication::processEvents(); // one more slice
        QVERIFY(list.rowCount() > 40);
        w.refreshList(); // starts again: no row twice
        QCOMPARE(list.rowCount(), 40);
        QTRY_VERIFY(list.isComplete());
        QCOMPARE(f.listed().size(), 300);
        QCOMPARE(f.listed().last(), u"标题299"_s);
        QCOMPARE(f.listed().at(40), u"标题40"_s);
        QCOMPARE(f.listed().at(256), u"标题256"_s); // across a page started short

        // Deleting far down the list brings the user back to that place.
        w.List1()->resize(200, 120);
        w.List1()->scrollToBottom();
        QCoreApplication::processEvents();
        const int place = w.List1()->verticalScrollBar()->value();
        QVERIFY(place > 0);
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QTRY_VERIFY(list.isComplete());
        QCOMPARE(list.rowCount(), 299);
        QCOMPARE(w.List1()->verticalScrollBar()->value(), place - 1);
    }

    void aHugeTitleIsCutInTheList()
    {
        LibraryFixture f;
        const QString title = u"长"_s.repeated(100'000);
        QVERIFY(f.store({{title, u"x"_s}}));
        f.open();
        QCOMPARE(f.listed().first(), title.left(DocumentList::MaxTitleLength));
    }

    void aboutAndExit()
    {
        LibraryFixture f;
        f.open();
        f.button("Button6")->click();
        QCOMPARE(f.dialogs.messages.size(), 1);

        f.button("Button4")->click();
        LibraryFixture::settle();
        QVERIFY(!f.window); // closed and gone
    }
};

QUORREL_TEST(BrowserTest, "browser")
#include "tst_browser.moc"
