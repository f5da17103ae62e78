#include "CollectChannel.h"
#include "CollectRequest.h"
#include "CollectorFixture.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QMimeData>

#include <chrono>
#include <future>

using namespace Qt::StringLiterals;
using CollectRequest::Source;

Q_DECLARE_METATYPE(CollectRequest::Source)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QString Saved = u"文件保存成功！"_s;
const QString Cancelled = u"文档保存已取消！"_s;
const QString NoSelection = u"选中的内容里没有文字"_s;
const QString NoClipboard = u"剪贴板里没有文字"_s;

std::shared_ptr<QMimeData> text(const QString& t)
{
    auto data = std::make_shared<QMimeData>();
    data->setText(t);
    return data;
}

// What a file manager puts on the selection or clipboard for copied files.
std::shared_ptr<QMimeData> fileList()
{
    auto data = std::make_shared<QMimeData>();
    const QList<QUrl> files = {QUrl::fromLocalFile(u"/home/u/笔记.txt"_s),
                               QUrl::fromLocalFile(u"/home/u/b c.txt"_s)};
    data->setUrls(files);
    data->setData(u"text/plain"_s, files[0].toEncoded() + "\n" + files[1].toEncoded());
    return data;
}

std::shared_ptr<QMimeData> image()
{
    auto data = std::make_shared<QMimeData>();
    data->setData(u"image/png"_s, QByteArray("\x89PNG\r\n\x1a\n", 8));
    return data;
}

} // namespace

class CollectTest : public QObject {
    Q_OBJECT

    static QByteArray settings(const char* lines) { return QByteArray("[CollectorSet]\n") + lines; }

    // Hands `text` to the collector of the fixture's folder as `quorrel
    // --collect` does, then lets the queued store run.
    static CollectChannel::Result handOver(const QString& text)
    {
        const QString path = CollectChannel::pathFor(ProgramDir());
        auto sent =
            std::async(std::launch::async, [&] { return CollectChannel::send(path, text, 20000); });
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 25000);
        }();
        const CollectChannel::Result result = sent.get();
        QCoreApplication::processEvents();
        return result;
    }

private Q_SLOTS:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<std::optional<Source>>("source");
        QTest::addColumn<bool>("wrong");
        QTest::newRow("plain start") << QStringList() << std::optional<Source>() << false;
        QTest::newRow("Qt's own option")
            << QStringList{u"-platform"_s, u"xcb"_s} << std::optional<Source>() << false;
        QTest::newRow("selection")
            << QStringList{u"--collect"_s} << std::optional(Source::Selection) << false;
        QTest::newRow("stdin") << QStringList{u"--collect"_s, u"-"_s}
                               << std::optional(Source::StandardInput) << false;
        QTest::newRow("clipboard")
            << QStringList{u"--collect-clipboard"_s} << std::optional(Source::Clipboard) << false;
        QTest::newRow("a file name")
            << QStringList{u"--collect"_s, u"a.txt"_s} << std::optional(Source::Selection) << true;
        QTest::newRow("clipboard and stdin") << QStringList{u"--collect-clipboard"_s, u"-"_s}
                                             << std::optional(Source::Selection) << true;
        QTest::newRow("misspelt") << QStringList{u"--collected"_s}
                                  << std::optional(Source::Selection) << true;
    }
    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(std::optional<Source>, source);
        QFETCH(bool, wrong);
        const CollectRequest::Parsed parsed = CollectRequest::parse(arguments);
        QCOMPARE(parsed.source, source);
        QCOMPARE(!parsed.error.isEmpty(), wrong);
    }

    void clipboards_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<bool>("hasSelection");
        QTest::addColumn<std::shared_ptr<QMimeData>>("selection");
        QTest::addColumn<std::shared_ptr<QMimeData>>("clipboard");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::addColumn<QString>("problem");
        const auto none = std::optional<QString>();
        const auto copied = text(u"copied"_s);
        QTest::newRow("the selection, not the clipboard")
            << Source::Selection << true << text(u"选中\r\n😀"_s) << copied
            << std::optional(u"选中\r\n😀"_s) << QString();
        QTest::newRow("empty selection: the clipboard is no stand-in")
            << Source::Selection << true << std::make_shared<QMimeData>() << copied << none
            << NoSelection;
        QTest::newRow("empty text")
            << Source::Selection << true << text({}) << copied << none << NoSelection;
        QTest::newRow("only NUL") << Source::Selection << true << text(u"\0\0"_s) << copied << none
                                  << NoSelection;
        QTest::newRow("a line break is text") << Source::Selection << true << text(u"\r\n"_s)
                                              << copied << std::optional(u"\r\n"_s) << QString();
        QTest::newRow("an image") << Source::Selection << true << image() << copied << none
                                  << NoSelection;
        QTest::newRow("a file list")
            << Source::Selection << true << fileList() << copied << none << NoSelection;
        QTest::newRow("no selection on this platform: the clipboard")
            << Source::Selection << false << std::shared_ptr<QMimeData>() << copied
            << std::optional(u"copied"_s) << QString();
        QTest::newRow("no selection, empty clipboard")
            << Source::Selection << false << std::shared_ptr<QMimeData>()
            << std::make_shared<QMimeData>() << none << NoClipboard;
        QTest::newRow("clipboard asked for") << Source::Clipboard << true << text(u"selected"_s)
                                             << copied << std::optional(u"copied"_s) << QString();
        QTest::newRow("clipboard holds files") << Source::Clipboard << true << text(u"selected"_s)
                                               << fileList() << none << NoClipboard;
        QTest::newRow("no clipboard data") << Source::Clipboard << true << text(u"selected"_s)
                                           << std::shared_ptr<QMimeData>() << none << NoClipboard;
    }
    void clipboards()
    {
        QFETCH(Source, source);
        QFETCH(bool, hasSelection);
        QFETCH(std::shared_ptr<QMimeData>, selection);
        QFETCH(std::shared_ptr<QMimeData>, clipboard);
        QFETCH(std::optional<QString>, expected);
        QFETCH(QString, problem);
        const CollectRequest::Choice choice = CollectRequest::fromClipboards(
            source, {hasSelection, selection.get(), clipboard.get()});
        QCOMPARE(choice.text, expected);
        QCOMPARE(choice.problem, problem);
    }

    void standardInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("UTF-8") << QByteArray("中文 😀\n") << std::optional(u"中文 😀\n"_s);
        QTest::newRow("UTF-8 with a BOM")
            << QByteArray("\xef\xbb\xbftext") << std::optional(u"text"_s);
        QTest::newRow("GB18030") << QByteArray("\xd6\xd0\xce\xc4\r\n")
                                 << std::optional(u"中文\r\n"_s);
        QTest::newRow("nothing") << QByteArray() << std::optional<QString>();
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                                << std::optional<QString>();
    }
    void standardInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<QString>, expected);
        const CollectRequest::Choice choice = CollectRequest::fromInput(bytes);
        QCOMPARE(choice.text, expected);
        QCOMPARE(choice.problem.isEmpty(), expected.has_value());
    }

    // Through the channel to a loaded collector, stored exactly as a drop of
    // the text: cleaned, in the save mode, with the same messages.
    void handedOverTextIsStoredAsADrop_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("append at once") << QByteArray("CacheUpdate=false\n");
        QTest::newRow("cached") << QByteArray("");
        QTest::newRow("create") << QByteArray("save=create\n");
        QTest::newRow("database") << QByteArray("save=database\n");
    }
    void handedOverTextIsStoredAsADrop()
    {
        QFETCH(QByteArray, mode);
        CollectorFixture f(settings("") + mode);
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        f.dialogs.inputs.push_back(u"标题"_s);
        QCOMPARE(handOver(u"一\r\n二\0"_s), CollectChannel::Result::Taken);
        QTRY_COMPARE(f.dialogs.messageTexts(), QStringList{Saved});
        QCOMPARE(f.dialogs.messages.first().title, u"提示"_s);
        const QString save = f.collector().save;
        if (save == u"append"_s && f.collector().CacheUpdate)
            QCOMPARE(f.collector().pendingText(), u"一\n二"_s);
        else if (save == u"append"_s)
            QCOMPARE(f.documentText(), u"一\n二"_s);
        else if (save == u"create"_s)
            QCOMPARE(f.read(u"Documents/0.txt"), QByteArray("一\r\n二\r\n"));
        else {
            QCOMPARE(f.dialogs.prompts, QStringList{u"输入信息|请输入文档标题:"_s});
            QCOMPARE(TestFiles::recordsIn(f.path(u"WebDocuments.mdb")), QStringList{u"标题|一\n二"_s});
        }
    }

    void nothingToKeepIsRefused()
    {
        CollectorFixture f(settings("CacheUpdate=false\n"));
        QVERIFY(f.load());
        QCOMPARE(handOver(u"\0"_s), CollectChannel::Result::Refused);
        QCOMPARE(handOver(QString()), CollectChannel::Result::Refused);
        QCoreApplication::processEvents();
        QVERIFY(f.dialogs.messages.isEmpty()); // not even a failure notice
        QVERIFY(!QFile::exists(f.path(u"Doc.dat")));
    }

    // Texts that come while the title prompt is up, collected or dropped,
    // wait for it: one prompt after the other, each title with its own text.
    void textsWaitForTheOpenPrompt_data()
    {
        QTest::addColumn<bool>("firstDropped");
        QTest::addColumn<bool>("secondDropped");
        QTest::newRow("collected, then collected") << false << false;
        QTest::newRow("dropped, then collected") << true << false;
        QTest::newRow("collected, then dropped") << false << true;
    }
    void textsWaitForTheOpenPrompt()
    {
        QFETCH(bool, firstDropped);
        QFETCH(bool, secondDropped);
        const auto give = [](CollectorFixture& f, const QString& text, bool dropped) {
            if (dropped)
                f.window->Label1_OLEDragDrop(text);
            else
                QVERIFY(f.window->collectText(text));
        };
        CollectorFixture f(settings("save=database\ntip=false\n"));
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        f.dialogs.inputs = {u"first"_s, u"second"_s};
        int open = 0;
        int most = 0;
        f.dialogs.whileInputOpen = [&] {
            most = std::max(most, ++open);
            if (f.dialogs.prompts.size() == 1) {
                give(f, u"text 2"_s, secondDropped);
                QCoreApplication::processEvents(); // the prompt's own event loop
            }
            --open;
        };
        give(f, u"text 1"_s, firstDropped);
        QTRY_COMPARE(TestFiles::recordsIn(f.path(u"WebDocuments.mdb")),
                     QStringList({u"first|text 1"_s, u"second|text 2"_s}));
        QCOMPARE(most, 1);
    }

    // A cancelled prompt stores nothing, and says so whatever `tip` says.
    void cancelledTitle()
    {
        CollectorFixture f(settings("save=database\ntip=false\n"));
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        QCOMPARE(handOver(u"text"_s), CollectChannel::Result::Taken);
        QTRY_COMPARE(f.dialogs.messageTexts(), QStringList{Cancelled});
        QCOMPARE(TestFiles::recordsIn(f.path(u"WebDocuments.mdb")), QStringList());
    }
};

QUORREL_TEST(CollectTest, "collect")
#include "tst_collect.moc"
