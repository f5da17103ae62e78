// Finding records by text: the search itself over its index and scans, the
// index following what this and other programs write, and the browser's
// search field.
#include "DocumentSearch.h"
#include "LibraryFixture.h"
#include "TestDatabase.h"
#include "TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include <algorithm>
#include <limits>
#include <numeric>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 60000; // a slow shared machine; never a measure of speed

using TestFiles::execOn;

QList<LibraryFixture::Record> sampleRecords()
{
    return {
        {u"Quorrel 使用说明"_s, u"把网页上的文字拖到收集器上。"_s},
        {u"购物清单"_s, u"牛奶、面包、QUORREL 贴纸"_s},
        {u"英文摘录"_s, u"The quick brown fox jumps over the lazy dog."_s},
        {u"符号"_s, u"100% 纯_棉 \\ 反斜杠 \"引号\" a*b"_s},
        {u"空"_s, QString()},
        {u"搜索标题和内容"_s, u"Ärger über Umlaute"_s},
    };
}

// With a record whose trigrams a search may find out of order.
QList<LibraryFixture::Record> searchedRecords()
{
    return sampleRecords()
        << LibraryFixture::Record{
               u"长文"_s,
               u"𠀀𠀁𠀂𠀃 哈哈哈哈哈哈 一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌亥"_s};
}

// Bookmarks are rowids from 1 in a fresh database.
QList<qint64> rows(std::initializer_list<qint64> indexes)
{
    QList<qint64> result;
    for (const qint64 i : indexes)
        result.append(i + 1);
    return result;
}

bool buildAll(DocumentSearch& search)
{
    for (int i = 0; i < 1000; ++i)
        if (const auto progress = search.indexMore(1000); !progress || progress->done())
            return progress.has_value();
    return false;
}

bool openFrom(DocumentSearch& search, const QString& path, qint64 indexFrom = 0)
{
    search.setIndexFrom(indexFrom);
    return search.open(path);
}

// A database of the sample records and a search on it, its index whole.
bool indexed(LibraryFixture& f, DocumentSearch& search)
{
    return f.store(sampleRecords()) && openFrom(search, f.databasePath()) && buildAll(search);
}

// `count` records, each made by `make` from its index.
template<typename Make>
QList<LibraryFixture::Record> numbered(int count, Make make)
{
    QList<LibraryFixture::Record> result;
    for (int i = 0; i < count; ++i)
        result.append(make(i));
    return result;
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsInTitlesAndContents_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("Latin, any case") << u"QuOrReL"_s << rows({0, 1});
        QTest::newRow("one Chinese character") << u"网"_s << rows({0});
        QTest::newRow("two") << u"说明"_s << rows({0});
        QTest::newRow("three") << u"收集器"_s << rows({0});
        QTest::newRow("title and content") << u"the"_s << rows({2});
        QTest::newRow("eight with a space") << u"lazy dog"_s << rows({2});
        QTest::newRow("percent is literal") << u"0%"_s << rows({3});
        QTest::newRow("underscore is literal") << u"纯_棉"_s << rows({3});
        QTest::newRow("lone underscore") << u"_"_s << rows({3});
        QTest::newRow("backslash") << u"\\"_s << rows({3});
        QTest::newRow("quotes") << u"\"引号\""_s << rows({3});
        QTest::newRow("star") << u"a*b"_s << rows({3});
        QTest::newRow("other letters exactly") << u"Ärger"_s << rows({5});
        QTest::newRow("other letters in another case") << u"äRGER"_s << rows({});
        QTest::newRow("none") << u"不存在的文字"_s << rows({});
        QTest::newRow("the name of a source column the table lacks") << u"来源标题"_s << rows({});
        QTest::newRow("characters beyond 16 bits") << u"𠀁𠀂𠀃"_s << rows({6});
        QTest::newRow("one trigram over and over") << u"哈哈哈哈"_s << rows({6});
        QTest::newRow("longer than the trigrams asked for")
            << u"二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌"_s << rows({6});
        QTest::newRow("its trigrams, not in a row") << u"一二三甲乙丙"_s << rows({});
        QTest::newRow("across title and content") << u"长文𠀀"_s << rows({});
        QTest::newRow("empty: every record") << QString() << rows({0, 1, 2, 3, 4, 5, 6});
    }
    void findsInTitlesAndContents()
    {
        QFETCH(QString, text);
        QFETCH(QList<qint64>, expected);
        LibraryFixture f;
        QVERIFY(f.store(searchedRecords()));
        DocumentSearch search;
        QVERIFY(openFrom(search, f.databasePath()) && search.hasIndex());
        // The same answers before the index holds anything, half way and whole.
        QCOMPARE(search.find(text), std::optional(expected));
        QVERIFY(search.indexMore(3));
        QCOMPARE(search.find(text), std::optional(expected));
        QVERIFY(buildAll(search));
        QCOMPARE(search.find(text), std::optional(expected));
    }

    void theIndexIsBuiltInSlicesAndKept()
    {
        LibraryFixture f;
        QVERIFY(f.store(numbered(10, [](int i) {
            return LibraryFixture::Record{u"标题%1"_s.arg(i), u"内容%1"_s.arg(i)};
        })));
        {
            DocumentSearch search;
            QVERIFY(openFrom(search, f.databasePath()));
            for (int last = -1; last < 100;) {
                const auto progress = search.indexMore(3);
                QVERIFY(progress && progress->percent() > last);
                last = progress->percent();
                QCOMPARE(progress->done(), last == 100);
            }
        }
        QVERIFY(QFile::exists(DocumentSearch::indexPathFor(f.databasePath())));
        DocumentSearch again;
        QVERIFY(openFrom(again, f.databasePath()) && again.progress()->done()); // nothing left
        QCOMPARE(again.find(u"内容7"_s), std::optional(rows({7})));
    }

    void aLongSearchHandsOnItsRowsInPartsAndCanBeCancelled()
    {
        LibraryFixture f;
        QList<qint64> expected;
        for (int i = 0; i < 3000; i += 3)
            expected.append(i + 1);
        QVERIFY(f.store(numbered(3000, [](int i) {
            return LibraryFixture::Record{u"第%1篇"_s.arg(i), i % 3 ? u"别的"_s : u"要的"_s};
        })));
        DocumentSearch search;
        QVERIFY(openFrom(search, f.databasePath()));
        QList<QList<qint64>> parts;
        // A slow machine, played by a pause at each check.
        const auto rest = search.find(
            u"要"_s, [] { return QThread::msleep(20), false; }, nullptr,
            [&](QList<qint64> part) { parts.append(part); });
        QVERIFY(rest && !parts.isEmpty() && !parts.contains(QList<qint64>()));
        QCOMPARE(std::accumulate(parts.cbegin(), parts.cend(), QList<qint64>()) + *rest, expected);

        int checks = 0;
        QVERIFY(!search.find(u"要"_s, [&] { return ++checks > 1; }));
        QCOMPARE(search.find(u"要"_s), std::optional(expected)); // usable again
    }

    void recordsWrittenElsewhereAreFoundAndGoneOnesAreNot()
    {
        LibraryFixture f;
        DocumentSearch search;
        QVERIFY(indexed(f, search));
        // The search keeps nothing in the database: it stays one plain table.
        QCOMPARE(TestFiles::queryOn(f.databasePath(), "SELECT name FROM sqlite_master"),
                 QStringList{u"WebDocuments"_s});

        // Stored by another program while the search holds the file open:
        // found before and after the index catches up.
        QVERIFY(execOn(f.databasePath(),
                       "INSERT INTO WebDocuments VALUES ('新收集的', '又一段网页文字')"));
        QCOMPARE(search.find(u"网页文字"_s), std::optional(rows({6})));
        QVERIFY(search.sync() && buildAll(search));
        QCOMPARE(search.find(u"网页文字"_s), std::optional(rows({6})));

        // Deleted or changed elsewhere: the index's old entries find nothing.
        QVERIFY(execOn(f.databasePath(), "DELETE FROM WebDocuments WHERE rowid = 3"));
        QCOMPARE(search.find(u"lazy dog"_s), std::optional(rows({})));
        QVERIFY(execOn(f.databasePath(),
                       "UPDATE WebDocuments SET \"内容\" = '换成了别的话' WHERE rowid = 2"));
        QCOMPARE(search.find(u"面包"_s), std::optional(rows({})));
        // A change this program made and told of is found by its new text.
        search.reindex(2);
        QCOMPARE(search.find(u"换成了别的"_s), std::optional(rows({1})));
    }

    void aRecordChangedElsewhereIsFoundByItsNewText_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("how"); // while the search is open, closed, or in a new file
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint64>>("expected");
        const QByteArray sameLength = "UPDATE WebDocuments SET \"内容\" = "
                                      "'The quick brown cat jumps over the lazy dog.' WHERE rowid = 3";
        for (const QString& how : {u"open"_s, u"closed"_s, u"replaced"_s}) {
            const QByteArray row = how.toLatin1();
            QTest::addRow("%s: content, same length and count", row.constData())
                << sameLength << how << u"brown cat"_s << rows({2});
            QTest::addRow("%s: the first record's title", row.constData())
                << QByteArray("UPDATE WebDocuments SET \"标题\" = '改过的标题' WHERE rowid = 1") << how
                << u"改过的标题"_s << rows({0});
            QTest::addRow("%s: a source title, its column new", row.constData())
                << QByteArray("ALTER TABLE WebDocuments ADD COLUMN \"来源标题\" TEXT; "
                              "UPDATE WebDocuments SET \"来源标题\" = '某网站的标题' WHERE rowid = 4")
                << how << u"某网站"_s << rows({3});
            QTest::addRow("%s: put in under a bookmark of a deleted one", row.constData())
                << QByteArray("DELETE FROM WebDocuments WHERE rowid = 2; INSERT INTO WebDocuments "
                              "(rowid, \"标题\", \"内容\") VALUES (2, '又来了', '同一个书签的新文字')")
                << how << u"书签的新"_s << rows({1});
        }
    }
    void aRecordChangedElsewhereIsFoundByItsNewText()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QString, how);
        QFETCH(QString, text);
        QFETCH(QList<qint64>, expected);
        LibraryFixture f;
        DocumentSearch search;
        QVERIFY(indexed(f, search));
        if (how == u"closed"_s)
            search.close();
        if (how == u"replaced"_s) {
            // A copy changed and put in the database's place, as a backup is.
            const QString copy = f.databasePath() + u".new"_s;
            QVERIFY(QFile::copy(f.databasePath(), copy));
            QVERIFY(execOn(copy, sql.constData()));
            QCOMPARE(::rename(QFile::encodeName(copy).constData(),
                              QFile::encodeName(f.databasePath()).constData()), 0);
        } else {
            QVERIFY(execOn(f.databasePath(), sql.constData()));
        }
        if (how == u"closed"_s)
            QVERIFY(search.open(f.databasePath()));
        // Found at once, by reading what is unchecked, and from the index
        // once it has caught up.
        QCOMPARE(search.find(text), std::optional(expected));
        QVERIFY(buildAll(search));
        QCOMPARE(search.find(text), std::optional(expected));
        QCOMPARE(search.find(u"lazy dog"_s), std::optional(rows({2})));
    }

    // What is in the index's place is not used: an index is made anew there.
    void onlyARegularFileOfItsOwnIsTheIndex_data()
    {
        QTest::addColumn<QString>("inPlace");
        QTest::newRow("a link to another database") << u"symlink"_s;
        QTest::newRow("a second name of another database") << u"link"_s;
        QTest::newRow("a damaged file") << u"damaged"_s;
    }
    void onlyARegularFileOfItsOwnIsTheIndex()
    {
        QFETCH(QString, inPlace);
        LibraryFixture f;
        QVERIFY(f.store(sampleRecords()));
        const QString other = f.dir.filePath(u"other.db"_s);
        QVERIFY(QFile::copy(f.databasePath(), other));
        const QByteArray before = TestFiles::bytesOf(other);
        const QString indexPath = DocumentSearch::indexPathFor(f.databasePath());
        const QByteArray name = QFile::encodeName(indexPath), target = QFile::encodeName(other);
        const auto linking = inPlace == u"link"_s ? ::link : ::symlink;
        if (inPlace == u"damaged"_s)
            QVERIFY(TestFiles::writeBytes(indexPath, QByteArray(8192, 'x')));
        else
            QCOMPARE(linking(target.constData(), name.constData()), 0);
        DocumentSearch search;
        QVERIFY(openFrom(search, f.databasePath()) && search.hasIndex()); // in a file of its own
        QVERIFY(buildAll(search));
        QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0})));
        search.close();
        QCOMPARE(TestFiles::bytesOf(other), before);
        struct stat st = {};
        QVERIFY(::lstat(name.constData(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_nlink == 1));
    }

    void theLastRecordsReplacedElsewhereStartTheIndexOver()
    {
        LibraryFixture f;
        DocumentSearch search;
        QVERIFY(indexed(f, search));
        // SQLite gives a deleted last record's rowid to the next new one.
        QVERIFY(execOn(f.databasePath(), "DELETE FROM WebDocuments WHERE rowid >= 5"));
        QVERIFY(f.store({{u"替代者"_s, u"新的最后一篇"_s}, {u"又一个"_s, u"第七"_s}}));
        QVERIFY(search.sync());
        QCOMPARE(search.progress()->indexedUpTo, 0);
        QCOMPARE(search.find(u"新的最后"_s), std::optional(rows({4})));
        QVERIFY(buildAll(search));
        QCOMPARE(search.find(u"新的最后"_s), std::optional(rows({4})));
        QCOMPARE(search.find(u"标题和"_s), std::optional(rows({})));
    }

    void aLastRecordDeletedHereKeepsTheIndex()
    {
        LibraryFixture f;
        DocumentSearch search;
        QVERIFY(indexed(f, search));
        QVERIFY(execOn(f.databasePath(), "DELETE FROM WebDocuments WHERE rowid = 6"));
        search.forget(6);
        QVERIFY(f.store({{u"接班"_s, u"拿到了同一个书签"_s}}));
        QVERIFY(search.sync());
        QCOMPARE(search.progress()->indexedUpTo, 5); // not started over
        QCOMPARE(search.find(u"同一个书签"_s), std::optional(rows({5})));
        QCOMPARE(search.find(u"Umlaute"_s), std::optional(rows({})));
    }

    void noIndexOrNoDatabaseNeverStopsTheSearchNorIsMade()
    {
        LibraryFixture f;
        QVERIFY(f.store(sampleRecords()));
        DocumentSearch search;
        // No index can be kept there: everything is scanned.
        QVERIFY(QDir().mkdir(DocumentSearch::indexPathFor(f.databasePath())));
        QVERIFY(openFrom(search, f.databasePath()));
        QVERIFY(!search.hasIndex() && search.progress()->done());
        QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0})));

        // The database moved away is not made, and is searched once back.
        const QString away = f.databasePath() + u".moved"_s;
        QVERIFY(QFile::rename(f.databasePath(), away));
        QVERIFY(!search.find(u"收集器"_s) && !QFile::exists(f.databasePath()));
        QVERIFY(QFile::rename(away, f.databasePath()));
        QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0})));

        // No database at all: nothing is made.
        LibraryFixture none(false);
        QVERIFY(!search.open(none.databasePath()));
        QVERIFY(!QFile::exists(none.databasePath()));
        QVERIFY(!search.find(u"abc"_s));
    }

    void aSmallDatabaseIsScannedUntilItGrows()
    {
        LibraryFixture f;
        QVERIFY(f.store(sampleRecords()));
        const QString indexPath = DocumentSearch::indexPathFor(f.databasePath());
        const qint64 size = QFileInfo(f.databasePath()).size();
        DocumentSearch search;
        QVERIFY(openFrom(search, f.databasePath(), size + 64 * 1024));
        QVERIFY(!search.hasIndex() && !QFile::exists(indexPath) && search.progress()->done());
        QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0})));
        QVERIFY(search.sync() && !search.hasIndex());

        // Past the size: the next look at the database makes the index.
        QVERIFY(f.store(numbered(40, [](int i) {
            return LibraryFixture::Record{u"长的%1"_s.arg(i),
                                          QString(2000, QChar(u'文')) + QString::number(i)};
        })));
        QVERIFY(QFileInfo(f.databasePath()).size() >= size + 64 * 1024);
        QVERIFY(search.sync() && search.hasIndex() && QFile::exists(indexPath));
        QVERIFY(buildAll(search));
        QCOMPARE(search.find(u"文文39"_s), std::optional(rows({45})));
        QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0})));
        search.close();

        // An index already there is used whatever the size.
        QVERIFY(openFrom(search, f.databasePath(), std::numeric_limits<qint64>::max()));
        QVERIFY(search.hasIndex() && search.progress()->done());
    }

    void anIndexOfAnotherKindIsNeverRead_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::newRow("a later version") << QByteArray("PRAGMA user_version = 99");
        QTest::newRow("an earlier version") << QByteArray("PRAGMA user_version = 2");
        QTest::newRow("this version, other options")
            << QByteArray("DROP TABLE words; CREATE VIRTUAL TABLE words USING "
                          "fts5(title, content, content='', tokenize='trigram')");
        QTest::newRow("this version, a plain table")
            << QByteArray("DROP TABLE words; CREATE TABLE words (terms)");
    }
    void anIndexOfAnotherKindIsNeverRead()
    {
        QFETCH(QByteArray, change);
        LibraryFixture f;
        QVERIFY(f.store(sampleRecords()));
        const QString indexPath = DocumentSearch::indexPathFor(f.databasePath());
        // An index the program made, then changed; record 2 gets "收集器" behind
        // its back (only the last record is fingerprinted), so an index that
        // is read instead of made again misses it.
        const auto makeAndChange = [&] {
            DocumentSearch made;
            if (!execOn(f.databasePath(), "UPDATE WebDocuments SET \"内容\" = '' WHERE rowid = 2")
                || !openFrom(made, f.databasePath()) || !buildAll(made))
                return false;
            made.close();
            return QFile::exists(indexPath) && execOn(indexPath, change.constData())
                && execOn(f.databasePath(),
                          "UPDATE WebDocuments SET \"内容\" = '收集器' WHERE rowid = 2");
        };
        QVERIFY(makeAndChange());
        {
            // A small database: the file is dropped and none is made.
            DocumentSearch search;
            QVERIFY(openFrom(search, f.databasePath(), std::numeric_limits<qint64>::max()));
            QVERIFY(!search.hasIndex() && !QFile::exists(indexPath));
            QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0, 1})));
        }
        QVERIFY(makeAndChange());
        DocumentSearch search;
        QVERIFY(openFrom(search, f.databasePath()) && search.hasIndex());
        QCOMPARE(search.progress()->indexedUpTo, 0); // made again from nothing
        QVERIFY(buildAll(search));
        QCOMPARE(search.find(u"收集器"_s), std::optional(rows({0, 1})));
    }

    void theSearchFieldFiltersTheList()
    {
        LibraryFixture f;
        QVERIFY(f.store(sampleRecords()));
        frmMain& w = f.open();
        QTRY_COMPARE_WITH_TIMEOUT(w.searchState()->isVisible(), false, Patience); // index whole

        w.searchBox()->setText(u"quorrel"_s);
        QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList({u"Quorrel 使用说明"_s, u"购物清单"_s}),
                                  Patience);
        QCOMPARE(w.searchState()->text(), u"找到 2 篇"_s);
        // The clicked row's record is the current one.
        f.click(1);
        QCOMPARE(f.shown(), u"牛奶、面包、QUORREL 贴纸"_s);
        QCOMPARE(w.browser().current()->title, u"购物清单"_s);

        // Changed so that it no longer matches: it leaves the list.
        QVERIFY(w.browser().saveCurrent(u"购物清单"_s, u"牛奶"_s));
        QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList({u"Quorrel 使用说明"_s}), Patience);

        // Deleting on the search's list deletes the clicked record only.
        f.click(0);
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList(), Patience);
        QCOMPARE(f.stored().size(), 5);
        QTRY_COMPARE_WITH_TIMEOUT(w.searchState()->text(), u"没有找到"_s, Patience);

        // A new record that matches joins the list.
        QVERIFY(w.browser().add(u"新 QUORREL 笔记"_s, u"内容"_s));
        QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList({u"新 QUORREL 笔记"_s}), Patience);

        w.searchBox()->clear();
        QCOMPARE(f.listed().size(), 6);
        QVERIFY(!w.searchState()->isVisible() && !w.browser().isFiltered());
    }

    void theIndexIsBuiltBehindTheWindowShowingHowFar()
    {
        LibraryFixture f;
        QVERIFY(f.store(numbered(40, [](int i) {
            return LibraryFixture::Record{u"第%1篇"_s.arg(i), i == 33 ? u"要找的那一篇"_s : u"别的"_s};
        })));
        f.window = new frmMain(f.dialogs);
        frmMain& w = *f.window;
        w.search().setSliceRows(3);
        w.search().setIndexFrom(0);
        QList<int> seen;
        QStringList notes;
        connect(&w.search(), &SearchService::indexProgress, &w, [&](int percent) {
            seen << percent;
            notes << w.searchState()->text();
        });
        w.show();
        w.Form_Load();
        // Asked at once: found whether or not the index has got there.
        w.searchBox()->setText(u"要找的那"_s);
        w.searchNow();
        QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList({u"第33篇"_s}), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty() && seen.last() == 100, Patience);
        QVERIFY(seen.size() >= 10 && std::is_sorted(seen.cbegin(), seen.cend()));
        QVERIFY(notes.first().contains(u"正在建立搜索索引 %1%"_s.arg(seen.first())));
        QCOMPARE(w.searchState()->text(), u"找到 1 篇"_s);
    }

    void theListShowsTheLatestSearchAsItsRowsArrive()
    {
        LibraryFixture f;
        QVERIFY(f.store(sampleRecords()));
        frmMain& w = f.open();
        // A search's rows arrive in parts, after those shown.
        w.browser().showFound({1});
        QCOMPARE(f.listed(), QStringList({u"Quorrel 使用说明"_s})); // its page is read now
        w.browser().addFound({3, 6});
        QCOMPARE(f.listed(),
                 QStringList({u"Quorrel 使用说明"_s, u"英文摘录"_s, u"搜索标题和内容"_s}));
        f.click(2);
        QCOMPARE(f.shown(), u"Ärger über Umlaute"_s);
        w.browser().showAll();
        QCOMPARE(f.listed().size(), 6);

        // Typing on replaces the search.
        w.searchBox()->setText(u"搜"_s);
        w.searchBox()->setText(u"搜索标"_s);
        w.searchBox()->setText(u"牛"_s);
        QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList({u"购物清单"_s}), Patience);
        // Cleared before a search came back: every record, and it stays so
        // once the search's thread is past it (its reports keep their order).
        int reported = 0;
        connect(&w.search(), &SearchService::indexProgress, &w, [&] { ++reported; });
        w.searchBox()->setText(u"英文"_s);
        w.searchNow();
        w.searchBox()->clear();
        QCOMPARE(f.listed().size(), 6);
        w.search().open(f.databasePath()); // reports once the search before it is done
        QTRY_VERIFY2_WITH_TIMEOUT(reported > 0, "the search thread past the search", Patience);
        QCOMPARE(f.listed().size(), 6);
    }
};

QUORREL_TEST(SearchTest, "search")
#include "tst_search.moc"
