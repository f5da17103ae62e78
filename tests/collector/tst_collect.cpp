#include "CollectChannel.h"
#include "CollectRequest.h"
#include "CollectorFixture.h"
#include "LocalConditions.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QDateTime>
#include <QMimeData>
#include <QProcess>
#include <QUrl>

#include <chrono>
#include <future>

using namespace Qt::StringLiterals;
using CollectRequest::Source;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CollectRequest::Source)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

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

    // Hands `text` to the collector of the fixture's folder as `quorrel
    // --collect` does, then lets the queued store run.
    static CollectChannel::Result handOver(const QString& text)
    {
        const QStringList paths = CollectChannel::pathsFor(ProgramDir());
        auto sent = std::async(std::launch::async, [&] {
            return CollectChannel::send(paths, text, CollectSource{}, 20000);
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(sent.wait_for(0s) == std::future_status::ready, 25000); }();
        const CollectChannel::Result result = sent.get();
        QCoreApplication::processEvents();
        return result;
    }

private Q_SLOTS:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<std::optional<Source>>("source");
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QString>>("url");
        const auto none = std::optional<QString>();
        const auto window = std::optional<Source>();
        QTest::newRow("plain start") << QStringList() << window << none << none;
        QTest::newRow("Qt's own option")
            << QStringList{u"-platform"_s, u"xcb"_s} << window << none << none;
        QTest::newRow("selection")
            << QStringList{u"--collect"_s} << std::optional(Source::Selection) << none << none;
        QTest::newRow("stdin") << QStringList{u"--collect"_s, u"-"_s}
                               << std::optional(Source::StandardInput) << none << none;
        QTest::newRow("clipboard") << QStringList{u"--collect-clipboard"_s}
                                   << std::optional(Source::Clipboard) << none << none;
        QTest::newRow("stdin with a source")
            << QStringList{u"--collect"_s,      u"-"_s,    u"--source-url"_s, u"https://a.cn/"_s,
                           u"--source-title"_s, u"页 面"_s}
            << std::optional(Source::StandardInput) << std::optional(u"页 面"_s)
            << std::optional(u"https://a.cn/"_s);
        QTest::newRow("clipboard with a title")
            << QStringList{u"--collect-clipboard"_s, u"--source-title"_s, u""_s}
            << std::optional(Source::Clipboard) << std::optional(QString()) << none;
    }
    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(std::optional<Source>, source);
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QString>, url);
        const CollectRequest::Parsed parsed = CollectRequest::parse(arguments);
        QCOMPARE(parsed.error, QString());
        QCOMPARE(parsed.source, source);
        QCOMPARE(parsed.sourceTitle, title);
        QCOMPARE(parsed.sourceUrl, url);
    }

    // A wrong collect command is still one: it fails with its reason and
    // starts no window.
    void wrongArguments()
    {
        const QList<QStringList> wrong = {
            {u"--collect"_s, u"a.txt"_s}, {u"--collect-clipboard"_s, u"-"_s}, {u"--collected"_s},
            {u"--collect"_s, u"--source-title"_s},
            {u"--collect"_s, u"--source-url"_s, u"a"_s, u"--source-url"_s, u"b"_s}};
        for (const QStringList& arguments : wrong) {
            const CollectRequest::Parsed parsed = CollectRequest::parse(arguments);
            QVERIFY2(!parsed.error.isEmpty(), qPrintable(arguments.join(u' ')));
            QCOMPARE(parsed.source, std::optional(Source::Selection));
        }
    }

    // The address a browser puts beside the copied text: Firefox's in UTF-16,
    // Chromium's in UTF-8; only its first line, and nothing for a non-address.
    void addressOfTheCopiedPage_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("address");
        const QString page = u"https://例子.cn/a b?q=中#x"_s;
        const QString encoded = QString::fromLatin1(QUrl(page).toEncoded());
        const auto utf16 = [](const QString& s, bool bom) {
            QByteArray bytes = bom ? QByteArray("\xff\xfe") : QByteArray();
            bytes.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
            return bytes;
        };
        QTest::newRow("Firefox") << u"text/x-moz-url-priv"_s << utf16(encoded, false) << encoded;
        QTest::newRow("Firefox, with a byte order mark and a second line")
            << u"text/x-moz-url-priv"_s << utf16(encoded + u"\n标题"_s, true) << encoded;
        QTest::newRow("Chromium") << u"chromium/x-source-url"_s << encoded.toUtf8() << encoded;
        QTest::newRow("not an address")
            << u"chromium/x-source-url"_s << QByteArray("just some words") << QString();
        QTest::newRow("none offered") << u"text/html"_s << encoded.toUtf8() << QString();
    }
    void addressOfTheCopiedPage()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, address);
        const auto copied = text(u"copied"_s);
        copied->setData(format, bytes);
        QCOMPARE(CollectRequest::fromClipboards(Source::Clipboard, {true, nullptr, copied.get()})
                     .address,
                 address);
    }

    void clipboards_data()
    {
        QTest::addColumn<Source>("source");
        // No selection data: a platform without a selection.
        QTest::addColumn<std::shared_ptr<QMimeData>>("selection");
        QTest::addColumn<std::shared_ptr<QMimeData>>("clipboard");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::addColumn<QString>("problem");
        const auto none = std::optional<QString>();
        const auto copied = text(u"copied"_s);
        QTest::newRow("the selection, not the clipboard")
            << Source::Selection << text(u"选中\r\n😀"_s) << copied
            << std::optional(u"选中\r\n😀"_s) << QString();
        QTest::newRow("empty selection: the clipboard is no stand-in")
            << Source::Selection << std::make_shared<QMimeData>() << copied << none << NoSelection;
        QTest::newRow("empty text")
            << Source::Selection << text({}) << copied << none << NoSelection;
        QTest::newRow("only NUL")
            << Source::Selection << text(u"\0\0"_s) << copied << none << NoSelection;
        QTest::newRow("a line break is text") << Source::Selection << text(u"\r\n"_s)
                                              << copied << std::optional(u"\r\n"_s) << QString();
        QTest::newRow("an image") << Source::Selection << image() << copied << none << NoSelection;
        QTest::newRow("a file list")
            << Source::Selection << fileList() << copied << none << NoSelection;
        QTest::newRow("no selection on this platform: the clipboard")
            << Source::Selection << std::shared_ptr<QMimeData>() << copied
            << std::optional(u"copied"_s) << QString();
        QTest::newRow("no selection, empty clipboard")
            << Source::Selection << std::shared_ptr<QMimeData>()
            << std::make_shared<QMimeData>() << none << NoClipboard;
        QTest::newRow("clipboard asked for") << Source::Clipboard << text(u"selected"_s)
                                             << copied << std::optional(u"copied"_s) << QString();
        QTest::newRow("clipboard holds files") << Source::Clipboard << text(u"selected"_s)
                                               << fileList() << none << NoClipboard;
        QTest::newRow("no clipboard data") << Source::Clipboard << text(u"selected"_s)
                                           << std::shared_ptr<QMimeData>() << none << NoClipboard;
    }
    void clipboards()
    {
        QFETCH(Source, source);
        QFETCH(std::shared_ptr<QMimeData>, selection);
        QFETCH(std::shared_ptr<QMimeData>, clipboard);
        QFETCH(std::optional<QString>, expected);
        QFETCH(QString, problem);
        const CollectRequest::Choice choice = CollectRequest::fromClipboards(
            source, {selection != nullptr, selection.get(), clipboard.get()});
        QCOMPARE(choice.text, expected);
        QCOMPARE(choice.problem, problem);
    }

    void standardInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("UTF-8") << QByteArray("中文 😀\n") << std::optional(u"中文 😀\n"_s);
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
    // the text: cleaned, with the title prompt and the same message. (Each
    // save mode of a collected text: acknowledgedMeansKept.)
    void handedOverTextIsStoredAsADrop()
    {
        CollectorFixture f(collectorSet("save=database\n"));
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        f.dialogs.inputs.push_back(u"标题"_s);
        QCOMPARE(handOver(u"一\r\n二\0"_s), CollectChannel::Result::Taken);
        QTRY_COMPARE(f.dialogs.messageTexts(), QStringList{Said::Saved});
        QCOMPARE(TestFiles::recordsIn(f.path(u"WebDocuments.mdb")), QStringList{u"标题|一\n二"_s});
    }

    void nothingToKeepIsRefused()
    {
        CollectorFixture f(collectorSet("CacheUpdate=false\n"));
        QVERIFY(f.load());
        QCOMPARE(handOver(u"\0"_s), CollectChannel::Result::Refused);
        QCOMPARE(handOver(QString()), CollectChannel::Result::Refused);
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
        CollectorFixture f(collectorSet("save=database\ntip=false\n"));
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

    // A text --collect was told is taken outlives the collector: ended
    // while it waited, or after its store got there but before that was
    // noted, the next start stores it exactly once, in the mode it came in.
    void acknowledgedMeansKept_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<QByteArray>("later"); // Set.ini at the next start; empty: the same
        QTest::addColumn<bool>("storeBegun");
        const QList<std::pair<const char*, QByteArray>> modes = {
            {"cached", ""},
            {"append at once", "CacheUpdate=false\n"},
            {"create", "save=create\n"},
            {"database", "save=database\nAutoName=true\n"}};
        for (const auto& [name, mode] : modes) {
            QTest::addRow("%s, ended while it waited", name) << mode << QByteArray() << false;
            QTest::addRow("%s, ended after its store", name) << mode << QByteArray() << true;
        }
        QTest::newRow("create, settings changed to append before the next start")
            << QByteArray("save=create\n") << QByteArray("save=append\n") << false;
    }
    void acknowledgedMeansKept()
    {
        QFETCH(QByteArray, mode);
        QFETCH(QByteArray, later);
        QFETCH(bool, storeBegun);
        const QStringList texts{u"我的笔记"_s, u"第二段"_s}; // the second waits for the first
        CollectorFixture f(collectorSet(mode));
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        QVERIFY(f.load());
        const QString save = f.collector().save;
        if (storeBegun) // the run ends while "saved" is up, after the store
            f.dialogs.whileMessageOpen = [&f] { f.window->runEnding(); };
        for (const QString& text : texts)
            QVERIFY(f.window->collectText(text));
        if (storeBegun)
            QTRY_COMPARE(f.dialogs.messages.size(), 1);
        f.window.reset(); // a crash: nothing more is written
        f.dialogs.whileMessageOpen = {};
        if (!later.isEmpty())
            f.write(u"Set.ini", collectorSet(later));
        QVERIFY(f.load());
        QCoreApplication::processEvents();
        QStringList kept;
        if (save == u"create"_s) {
            for (const QString& name : TestFiles::namesIn(f.path(u"Documents")))
                kept << QString::fromUtf8(f.read(QString(u"Documents/"_s + name))).trimmed();
        } else if (save == u"database"_s) {
            kept = TestFiles::recordsIn(f.path(u"WebDocuments.mdb"));
        } else {
            f.window.reset(); // what it cached goes to Doc.dat at the next start
            QVERIFY(f.load());
            kept << f.documentText();
        }
        QStringList expected = texts;
        if (save == u"database"_s)
            expected = {u"文档|"_s + texts[0], u"文档|"_s + texts[1]};
        else if (save != u"create"_s)
            expected = {texts.join(QString())};
        QCOMPARE(kept, expected);
        QVERIFY(!QFile::exists(f.window->collectedPath())); // nothing left for later
    }

    // Where the lock cannot be taken, no collector runs and the user is told:
    // the window start in a message box, the command on standard error.
    void noRunWithoutALock_data()
    {
        QTest::addColumn<bool>("command");
        QTest::newRow("window start") << false;
        QTest::newRow("quorrel --collect -") << true;
    }
    void noRunWithoutALock()
    {
        QFETCH(bool, command);
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath(u".cache"_s)));
        QVERIFY(QFile::link(QDir::tempPath(), home.filePath(u".cache/quorrel"_s)));
        LocalConditions::Environment env;
        env.set("HOME", home.path());
        env.set("XDG_RUNTIME_DIR", std::nullopt);
        if (command) {
            QProcess quorrel;
            quorrel.start(QStringLiteral(QUORREL_EXECUTABLE), {u"--collect"_s, u"-"_s});
            quorrel.write("秘密");
            quorrel.closeWriteChannel();
            QVERIFY(quorrel.waitForFinished(60000));
            QCOMPARE(quorrel.exitCode(), 3);
            QVERIFY(QString::fromUtf8(quorrel.readAllStandardError()).contains(QDir::tempPath()));
            return;
        }
        CollectorFixture f(collectorSet(""));
        QVERIFY(!f.load());
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages.first().icon, Dialogs::Icon::Critical);
        QCOMPARE(f.dialogs.messages.first().text, f.window->startProblem());
        QVERIFY(!f.window->isVisible());
    }

    // `quorrel --collect -` hands its text over with the source given and the
    // time it ran.
    void commandCarriesItsSource()
    {
        QTemporaryDir home;
        LocalConditions::Environment env;
        env.set("HOME", home.path());
        env.set("XDG_RUNTIME_DIR", std::nullopt);
        CollectServer server;
        QList<CollectSource> sources;
        server.take = [&sources](const QString&, const CollectSource& source) {
            sources << source;
            return true;
        };
        const QString programDir = QFileInfo(QStringLiteral(QUORREL_EXECUTABLE)).canonicalPath();
        QVERIFY(server.listen(CollectChannel::pathFor(programDir)));
        const QDateTime started = QDateTime::currentDateTime().addMSecs(-1000);
        QProcess quorrel;
        quorrel.start(QStringLiteral(QUORREL_EXECUTABLE),
                      {u"--collect"_s, u"-"_s, u"--source-title"_s, u"测试页面"_s,
                       u"--source-url"_s, u"https://例子.cn/a"_s});
        quorrel.write("text");
        quorrel.closeWriteChannel();
        // Served meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(quorrel.state() == QProcess::NotRunning, 60000);
        QCOMPARE(quorrel.exitCode(), 0);
        QCOMPARE(sources.size(), 1);
        QCOMPARE(sources[0].title, u"测试页面"_s);
        QCOMPARE(sources[0].url, u"https://例子.cn/a"_s);
        const QDateTime taken = QDateTime::fromString(sources[0].time, u"yyyy-MM-dd HH:mm:ss"_s);
        QVERIFY2(taken >= started && taken <= QDateTime::currentDateTime(),
                 qPrintable(sources[0].time));
    }

    // A command from a session without the runtime folder (su, ssh, cron)
    // reaches a collector started with one, and the other way round.
    void reachedFromAnotherSession_data()
    {
        QTest::addColumn<bool>("collectorHasRuntime");
        QTest::newRow("collector with a runtime folder, command without") << true;
        QTest::newRow("collector without, command with") << false;
    }
    void reachedFromAnotherSession()
    {
        QFETCH(bool, collectorHasRuntime);
        QTemporaryDir home;
        QTemporaryDir runtime;
        LocalConditions::Environment env;
        env.set("HOME", home.path());
        const auto session = [&](bool withRuntime) {
            env.set("XDG_RUNTIME_DIR", withRuntime ? std::optional(runtime.path()) : std::nullopt);
        };
        session(collectorHasRuntime);
        CollectorFixture f(collectorSet("CacheUpdate=false\n"));
        QVERIFY(f.load());
        session(!collectorHasRuntime);
        QCOMPARE(handOver(u"text"_s), CollectChannel::Result::Taken);
        QTRY_COMPARE(f.documentText(), u"text"_s);
    }
};

QUORREL_TEST(CollectTest, "collect")
#include "tst_collect.moc"
