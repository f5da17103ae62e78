// Getting a kept version of Doc.dat back from the editor, and the notice
// that the editor keeps only the text of a richer document.
#include "DocVersions.h"
#include "EditorFixture.h"
#include "Rtf.h"
#include "TestMain.h"

#include <QMenu>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A word processor's document no other test has opened: the notice is given
// once per document in a run of the program.
QByteArray freshRichDocument()
{
    static int serial = 0;
    QByteArray doc = TestFiles::bytesOf(QStringLiteral(QUORREL_TEST_DATA "/rtf/word-like.rtf"));
    return doc.insert(doc.indexOf("\\rtf1") + 5, "{\\*\\serial " + QByteArray::number(++serial) + "}");
}

int notices(const ScriptedDialogs& dialogs)
{
    return int(std::count_if(dialogs.messages.begin(), dialogs.messages.end(), [](const auto& m) {
        return m.icon == Dialogs::Icon::Information;
    }));
}

} // namespace

class VersionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Saves of "first", "second", "third" leave two versions; one is chosen
    // from the text box's menu, opened, and saved back.
    void versionIsOpenedAndSavedBack_data()
    {
        QTest::addColumn<std::optional<int>>("choice"); // newest first; nullopt: cancelled
        QTest::addColumn<QString>("saved");             // Doc.dat's text afterwards
        QTest::newRow("the older, by closing") << std::optional<int>(1) << u"first"_s;
        QTest::newRow("the newest") << std::optional<int>(0) << u"second"_s;
        QTest::newRow("cancelled") << std::optional<int>() << u"third"_s;
    }
    void versionIsOpenedAndSavedBack()
    {
        QFETCH(std::optional<int>, choice);
        QFETCH(QString, saved);
        EditorFixture f;
        f.writeDocument(u"first"_s);
        f.open();
        f.editor->versionsAction()->trigger(); // none yet: said, and nothing else
        QVERIFY(f.dialogs.tables.isEmpty());
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.box().Text(), u"first"_s);
        f.dialogs.messages.clear();
        for (const QString& text : {u"second"_s, u"third"_s}) {
            f.box().setText(text);
            f.click(10);
        }
        QVERIFY(std::unique_ptr<QMenu>(f.editor->createContextMenu())
                    ->actions().contains(f.editor->versionsAction()));
        QVERIFY(!f.editor->versionsAction()->shortcut().isEmpty());

        f.dialogs.rowChoices.push_back(choice);
        f.editor->versionsAction()->trigger();
        QCOMPARE(f.dialogs.tables.size(), 1);
        QCOMPARE(f.dialogs.tables[0].size(), 2);
        QCOMPARE(f.box().Text(), saved);
        QCOMPARE(f.documentText(), u"third"_s); // nothing written before a save
        QVERIFY(f.close());
        QCOMPARE(f.documentText(), saved);
        // The document it replaced is a version in its turn.
        const auto versions = DocVersions::list(f.path(u"Doc.dat"));
        QCOMPARE(versions.size(), choice ? 3 : 2);
        if (choice)
            QCOMPARE(DocVersions::read(versions[0].path).value(), Rtf::write(u"third"_s));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // Opening a word processor's document says once that a save keeps its
    // text only; not again for the same document, drops into it included.
    void richDocumentIsNoticedOnce_data()
    {
        QTest::addColumn<QString>("between"); // what happens before the second opening
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing") << u"nothing"_s << 1;
        QTest::newRow("a drop into it") << u"drop"_s << 1;
        QTest::newRow("another document") << u"another"_s << 2;
        QTest::newRow("saved from the editor: text only") << u"save"_s << 1;
    }
    void richDocumentIsNoticedOnce()
    {
        QFETCH(QString, between);
        QFETCH(int, expected);
        EditorFixture f;
        f.write(u"Doc.dat", freshRichDocument());
        f.open();
        if (between == u"save"_s)
            f.box().textCursor().insertText(u"x"_s);
        QVERIFY(f.close());
        if (between == u"drop"_s)
            QVERIFY(RichText::appendText(f.path(u"Doc.dat"), u"dropped"_s));
        else if (between == u"another"_s)
            f.write(u"Doc.dat", freshRichDocument());
        f.open();
        QVERIFY(f.close());
        QCOMPARE(notices(f.dialogs), expected);
        QCOMPARE(f.dialogs.messages.size(), expected);
    }
};

QUORREL_TEST(VersionsTest, "versions")
#include "tst_versions.moc"
