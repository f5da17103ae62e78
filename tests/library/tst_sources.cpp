// Where records came from, in the browser, and every record exported to one
// Markdown or JSON Lines file that other programs read back exactly.
#include "DocumentExport.h"
#include "ImportExport.h"
#include "LibraryFixture.h"
#include "Schema.h"
#include "TestMain.h"

#include <QComboBox>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

using Record = DocumentExport::Record;

// Stores records with their sources as the collector does.
bool storeWithSources(const QString& database, const QList<Record>& records)
{
    DataSource data;
    data.setDatabaseName(database);
    if (!data.Refresh())
        return false;
    Recordset& rs = data.recordset();
    for (const Record& r : records)
        if (!rs.AddNew() || !rs.setField(Field::Title, r.title)
            || !rs.setField(Field::Content, r.content) || !rs.setField(Field::SourceTitle, r.sourceTitle)
            || !rs.setField(Field::SourceUrl, r.sourceUrl)
            || !rs.setField(Field::CollectedAt, r.collected) || !rs.Update())
            return false;
    return true;
}

QList<Record> awkwardRecords()
{
    return {
        {u"# 不是标题 *强调* `代码` [链接](x) {#id} --"_s,
         u"# 标题行\n```\n代码块\n```\n> 引用\n- 列表\n1. 编号\n\n<b>HTML</b> &amp; $x$ @cite\n"_s,
         u"页面 — 标题 [1] <b>"_s, u"https://例子.com/路径?q=1#frag"_s, u"2026-12-07 19:20:00"_s},
        {u"  两端  有空格  "_s, u"Windows 行尾\r\n第二行\r\n"_s, u"'单' \"双\" ... \\"_s,
         u"https://example.com/a_b*c?x=1&y=2"_s, u"2026-01-01 00:00:00"_s},
        {QString(), QString(), QString(), QString(), QString()},
        {u"emoji 😀👍🏽 \t制表"_s, u"孤立的\r回车\n和换行\t制表\t"_s, u"a\tb\nc"_s,
         u"javascript:alert(1)"_s, QString()},
        {u"1. 不是列表"_s, u"````` 五个 ``` 和 `一个`\n\n\n"_s, QString(), QString(),
         u"2026-06-30 08:00:01"_s},
        {u"—"_s, u"\n"_s, u"-"_s, QString(), QString()},
    };
}

// The records as another program reads them from the file.
QJsonArray readBack(const QString& path)
{
    QProcess reader;
    reader.start(u"python3"_s, {QStringLiteral(READ_EXPORT), QFileInfo(path).suffix(), path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        return {QString::fromUtf8(reader.readAllStandardError())};
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
}

QJsonArray asJson(const QList<Record>& records)
{
    QJsonArray all;
    for (const Record& r : records)
        all.append(QJsonArray{r.title, r.content, r.sourceTitle, r.sourceUrl, r.collected});
    return all;
}

// Stops the export at its first turn, as the cancel button does.
class Cancelling final : public BatchProgress {
public:
    void begin(const QString&, const QString&, int) override {}
    bool due() override { return true; }
    bool update(int) override { return false; }
    void finish() override {}
};

} // namespace

Q_DECLARE_METATYPE(DocumentExport::Record)

class SourcesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyRecordComesBackExactly_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QList<Record>>("records"); // sources left empty add no fields for them
        QTest::newRow("Markdown, read by pandoc") << u"md"_s << awkwardRecords();
        QTest::newRow("JSON Lines, read by Python") << u"jsonl"_s << awkwardRecords();
        QTest::newRow("a table without sources")
            << u"jsonl"_s << QList<Record>{{u"旧表"_s, u"没有来源的列"_s, {}, {}, {}}};
    }
    void everyRecordComesBackExactly()
    {
        QFETCH(QString, suffix);
        QFETCH(QList<Record>, records);
        if (suffix == u"md"_s && QStandardPaths::findExecutable(u"pandoc"_s).isEmpty())
            QSKIP("pandoc is not installed (scripts/deps.sh test installs it)");
        LibraryFixture f;
        QVERIFY(storeWithSources(f.databasePath(), records));
        const QString path = f.dir.filePath(u"全部."_s + suffix);
        SilentProgress progress;
        const auto result = DocumentExport::exportTo(
            f.databasePath(), path, *DocumentExport::formatOf(path), progress);
        QCOMPARE(result.error, QString());
        QCOMPARE(result.done, records.size());
        QCOMPARE(readBack(path), asJson(records));
        QCOMPARE(QFile::permissions(path) & 0x0077, 0); // private, as every file we make
    }

    void anExportThatDoesNotFinishLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("messages");
        QTest::newRow("cancelled") << u"全部.md"_s << true << 0;
        QTest::newRow("neither type") << u"全部.txt"_s << false << 1;
        QTest::newRow("no database") << u"全部.jsonl"_s << false << 1;
    }
    void anExportThatDoesNotFinishLeavesTheFileAsItWas()
    {
        QFETCH(QString, name);
        QFETCH(bool, cancel);
        QFETCH(int, messages);
        LibraryFixture f;
        QVERIFY(storeWithSources(f.databasePath(), awkwardRecords()));
        const QString path = f.dir.filePath(name);
        QVERIFY(TestFiles::writeBytes(path, "old"));
        f.dialogs.fileNames = {path};
        Cancelling cancelling;
        SilentProgress silent;
        const QString database = QTest::currentDataTag() == "no database"_ba
            ? f.dir.filePath(u"无.mdb"_s) : f.databasePath();
        BatchProgress& progress = cancel ? static_cast<BatchProgress&>(cancelling) : silent;
        const auto result = DocumentExport::exportAsked(f.dialogs, nullptr, database, progress);
        QCOMPARE(result.cancelled, cancel);
        QCOMPARE(f.dialogs.messages.size(), messages);
        QCOMPARE(TestFiles::bytesOf(path), "old");
        QCOMPARE(TestFiles::namesIn(f.dir.path()).filter(u"quorrel-tmp"_s), QStringList());
    }

    void theCommandSaysHowItWent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("database");
        QTest::addColumn<int>("status");
        QTest::newRow("written") << u"导出.md"_s << true << 0;
        QTest::newRow("neither type") << u"导出.html"_s << true << 2;
        QTest::newRow("no database") << u"导出.jsonl"_s << false << 1;
        QTest::newRow("no such folder") << u"无/导出.jsonl"_s << true << 1;
    }
    void theCommandSaysHowItWent()
    {
        QFETCH(QString, name);
        QFETCH(bool, database);
        QFETCH(int, status);
        LibraryFixture f(database);
        if (database)
            QVERIFY(f.store({{u"甲"_s, u"甲文"_s}, {u"乙"_s, u"乙文"_s}}));
        SilentProgress progress;
        QString out, err;
        const QString path = f.dir.filePath(name);
        QCOMPARE(DocumentExport::exportCommand(path, f.databasePath(), progress, &out, &err),
                 status);
        // Said on the output or on the error output; the output says how many.
        QCOMPARE((QList<bool>{out.isEmpty(), err.isEmpty(), QFile::exists(path)}),
                 (QList<bool>{status != 0, status == 0, status == 0}));
        QVERIFY(out.contains(u'2') || status != 0);
    }

    void theSaveDialogWritesTheTypeChosen()
    {
        // The real dialog: the second type chosen, a name typed without a suffix.
        QtDialogs dialogs;
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* types = dialog->findChild<QComboBox*>(u"fileTypeCombo"_s);
            QVERIFY(types);
            types->setCurrentIndex(1);
            Q_EMIT types->activated(1);
            Q_EMIT types->textActivated(types->itemText(1));
            dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(u"摘录"_s);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        LibraryFixture f;
        const QString path = dialogs.saveFileName(nullptr, u"导出全部"_s, f.dir.path(),
                                                  u"Markdown (*.md);;JSON Lines (*.jsonl)"_s);
        QCOMPARE(DocumentExport::formatOf(path), DocumentExport::Format::JsonLines);
    }

    void aRowShowsAndOpensItsSource_data()
    {
        QTest::addColumn<Record>("record");
        QTest::addColumn<bool>("opens");
        const auto from = [](const QString& title, const QString& url, const QString& at) {
            return Record{u"摘录"_s, u"内容"_s, title, url, at};
        };
        QTest::newRow("a web page") << from(u"测试页面"_s, u"https://example.com/页面?a=1"_s,
                                            u"2026-12-07 19:20:00"_s) << true;
        QTest::newRow("not a web address") << from(u"脚本"_s, u"javascript:alert(1)"_s, {}) << false;
        QTest::newRow("a title only") << from(u"只有标题"_s, {}, {}) << false;
        QTest::newRow("no source") << from({}, {}, {}) << false;
    }
    void aRowShowsAndOpensItsSource()
    {
        QFETCH(Record, record);
        QFETCH(bool, opens);
        LibraryFixture f;
        QVERIFY(storeWithSources(f.databasePath(), {record}));
        frmMain& w = f.open();
        QList<QUrl> opened;
        w.openUrl = [&](const QUrl& url) { return opened.append(url), true; };
        const QString tip = w.rowToolTip(0);
        for (const QString& part : {record.sourceTitle, record.sourceUrl, record.collected})
            QVERIFY2(tip.contains(part), qPrintable(tip));
        QCOMPARE(tip.isEmpty(), record.sourceTitle.isEmpty());

        QListView* list = w.List1();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualRect(list->model()->index(0, 0)).center());
        QCOMPARE(opened, opens ? QList<QUrl>{QUrl(record.sourceUrl)} : QList<QUrl>());
        QCOMPARE(f.shown(), record.content); // the row is chosen as by a click

        QAction* open =
            w.listMenu(list->model()->index(0, 0))->findChild<QAction*>(u"mnuOpenSource"_s);
        QVERIFY(open);
        QCOMPARE(open->isEnabled(), opens);
    }

    void theListMenuExportsEverything()
    {
        LibraryFixture f;
        QVERIFY(storeWithSources(f.databasePath(), awkwardRecords()));
        frmMain& w = f.open();
        const QString path = f.dir.filePath(u"菜单.jsonl"_s);
        f.dialogs.fileNames = {path};
        QAction* exportAll = w.listMenu()->findChild<QAction*>(u"mnuExportAll"_s);
        QVERIFY(exportAll);
        exportAll->trigger();
        QCOMPARE(f.dialogs.messages.size(), 0);
        QCOMPARE(readBack(path), asJson(awkwardRecords()));
    }
};

QUORREL_TEST(SourcesTest, "sources")
#include "tst_sources.moc"
