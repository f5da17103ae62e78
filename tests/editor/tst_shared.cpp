// The editor and the collector on one Doc.dat.
#include "CollectorFixture.h"
#include "DocVersions.h"
#include "EditorFixture.h"
#include "Rtf.h"
#include "SessionGuard.h"
#include "TestMain.h"

#include <QDir>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QByteArray AppendNow = "[CollectorSet]\nCacheUpdate=false\nTip=false\n";
const QByteArray AppendCached = "[CollectorSet]\nCacheUpdate=true\nTip=false\n";

// The collector in `f`'s folder, opening the editor the way the program does.
struct Both {
    CollectorFixture c;
    QPointer<frmCollectorEditor> editor;

    explicit Both(const QByteArray& settings) : c(settings)
    {
        QVERIFY(c.load());
        c.window->windows().openEditor = [this] {
            c.window->windows().editor = frmCollectorEditor::open(editor, c.dialogs);
        };
    }
    ~Both() { delete editor.data(); }
    RichTextBox& box() { return *editor->text1(); }
};

QByteArray testDocument(const char* name)
{
    return TestFiles::bytesOf(QStringLiteral(QUORREL_TEST_DATA "/rtf/") + QLatin1StringView(name));
}

} // namespace

class SharedTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dropsWhileOpenSurviveClosing()
    {
        Both b(AppendNow);
        b.c.writeDocument(u"xy"_s);
        b.c.window->Editor_Click();
        QVERIFY(b.editor);
        b.box().textCursor().insertText(u"E"_s); // "Exy"
        b.c.dropText(u"ab"_s);
        b.c.dropText(u"\n第二段"_s);
        QCOMPARE(b.c.documentText(), u"xyab\n第二段"_s);
        QVERIFY(b.editor->close());
        QCOMPARE(b.c.documentText(), u"Exyab\n第二段"_s);
        QVERIFY(b.c.dialogs.messages.isEmpty());
    }

    // Opened and left without an edit, however the editor goes, the editor
    // writes nothing: a word processor's document stays byte for byte (with
    // a drop made meanwhile, as the drop left it).
    void unchangedDocumentIsLeftAsItIs_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("drop");
        const std::pair<const char*, QByteArray> documents[] = {
            {"libreoffice", testDocument("libreoffice-writer.rtf")},
            {"word", testDocument("word-like.rtf")},
            {"cut off", testDocument("libreoffice-writer.rtf").chopped(300)},
            {"utf-8 text", testDocument("wordpad-gbk.txt")},
        };
        for (const auto& [name, bytes] : documents) {
            for (const QString& how : {u"close"_s, u"confirm"_s, u"exit"_s})
                QTest::addRow("%s, %s", name, qPrintable(how)) << bytes << how << QString();
        }
        QTest::newRow("libreoffice, a drop, close")
            << testDocument("libreoffice-writer.rtf") << u"close"_s << u"dropped"_s;
    }
    void unchangedDocumentIsLeftAsItIs()
    {
        QFETCH(QByteArray, original);
        QFETCH(QString, how);
        QFETCH(QString, drop);
        Both b(AppendNow);
        b.c.write(u"Doc.dat", original);
        b.c.window->Editor_Click();
        QVERIFY(b.editor);
        const QByteArray expected = drop.isEmpty() ? original : Rtf::append(original, drop).value();
        if (!drop.isEmpty())
            b.c.dropText(drop);
        if (how == u"close"_s)
            QVERIFY(b.editor->close());
        else if (how == u"confirm"_s)
            b.editor->Toolbar1_ButtonClick(10);
        else
            b.c.window->Exit_Click();
        QCOMPARE(b.c.read(u"Doc.dat"), expected);
        QVERIFY(DocVersions::list(b.c.path(u"Doc.dat")).isEmpty());
    }

    // A changed one is saved, its text only, after the file it replaces is
    // kept as a version; a cut-off one likewise.
    void changedDocumentIsSavedAndTheOldOneKept_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::newRow("libreoffice") << testDocument("libreoffice-writer.rtf");
        QTest::newRow("cut off") << testDocument("libreoffice-writer.rtf").chopped(300);
        QTest::newRow("ours") << Rtf::write(u"只有文字"_s);
    }
    void changedDocumentIsSavedAndTheOldOneKept()
    {
        QFETCH(QByteArray, original);
        EditorFixture f;
        f.write(u"Doc.dat", original);
        const QString oldText = f.documentText();
        f.open();
        f.box().textCursor().insertText(u"新"_s);
        QVERIFY(f.close());
        QCOMPARE(f.documentText(), u"新"_s + oldText);
        const auto versions = DocVersions::list(f.path(u"Doc.dat"));
        QCOMPARE(versions.size(), 1);
        QCOMPARE(DocVersions::read(versions[0].path).value(), original);
    }

    void confirmShowsTheDropsItKeeps()
    {
        Both b(AppendNow);
        b.c.window->Editor_Click(); // no Doc.dat yet
        b.box().setText(u"typed "_s);
        b.c.dropText(u"dropped"_s);  // creates it
        b.editor->Toolbar1_ButtonClick(10);
        QCOMPARE(b.box().Text(), u"typed dropped"_s);
        QCOMPARE(b.c.documentText(), u"typed dropped"_s);
        // The drop is one step of the box's history.
        b.editor->Toolbar1_ButtonClick(7);
        QCOMPARE(b.box().Text(), u"typed "_s);
        // The collector builds on the editor's save.
        b.c.dropText(u"!"_s);
        QCOMPARE(b.c.documentText(), u"typed dropped!"_s);
    }

    void otherChangesAreReplacedOnlyWhenTheUserAgrees_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::newRow("confirm") << false;
        QTest::newRow("close") << true;
    }
    void otherChangesAreReplacedOnlyWhenTheUserAgrees()
    {
        QFETCH(bool, closing);
        EditorFixture f;
        f.writeDocument(u"original"_s);
        f.open();
        f.box().setText(u"mine"_s);
        f.writeDocument(u"rewritten elsewhere"_s);

        f.dialogs.answers.push_back(Dialogs::Answer::No);
        if (closing)
            QVERIFY(f.close());
        else
            f.click(10);
        QCOMPARE(f.documentText(), u"rewritten elsewhere"_s);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
        if (closing)
            return;
        QCOMPARE(f.box().Text(), u"mine"_s);

        f.dialogs.answers.push_back(Dialogs::Answer::Yes);
        f.click(10);
        QCOMPARE(f.documentText(), u"mine"_s);
        // Saved now: the next save asks nothing.
        f.box().setText(u"mine again"_s);
        f.click(10);
        QCOMPARE(f.documentText(), u"mine again"_s);
        QCOMPARE(f.dialogs.messages.size(), 2);
    }

    // The editor saves and closes first; the cached text goes after it.
    void exitWithCachingKeepsTheCachedText_data()
    {
        QTest::addColumn<bool>("terminated");
        QTest::newRow("exit item") << false;
        QTest::newRow("SIGTERM") << true;
    }
    void exitWithCachingKeepsTheCachedText()
    {
        QFETCH(bool, terminated);
        Both b(AppendCached);
        b.c.writeDocument(u"xy"_s);
        b.c.dropText(u"ab"_s);
        b.c.window->Editor_Click();
        b.box().setText(u"XY"_s);
        b.c.dropText(u"cd"_s);
        if (terminated) {
            int quits = 0;
            SessionGuard guard(*b.c.window, [&] { ++quits; });
            ::raise(SIGTERM);
            QTRY_COMPARE(quits, 1);
        } else {
            b.c.window->Exit_Click();
        }
        QVERIFY(!b.editor || !b.editor->isVisible());
        QCOMPARE(b.c.documentText(), u"XYabcd"_s);
        QVERIFY(b.c.collector().pendingText().isEmpty());
    }

    void exitStopsWhileTheEditorCannotSave()
    {
        Both b(AppendCached);
        b.c.window->Editor_Click();
        b.box().setText(u"text"_s);
        QVERIFY(QDir().mkdir(b.c.path(u"Doc.dat")));
        b.c.dropText(u"ab"_s);
        b.c.window->Exit_Click();
        QVERIFY(b.editor && b.editor->isVisible());
        QVERIFY(b.c.window->isVisible());
        QCOMPARE(b.c.collector().pendingText(), u"ab"_s);
    }
};

QUORREL_TEST(SharedTest, "shared")
#include "tst_shared.moc"
