#include "EditorFixture.h"
#include "TestMain.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

class ToolbarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void withoutSelectionCopyCutSaveAsAndDeleteDoNothing()
    {
        EditorFixture f;
        f.writeDocument(u"abcdef"_s);
        f.open();
        QGuiApplication::clipboard()->setText(u"clip"_s);
        f.select(3, 3);
        for (const int button : {1, 2, 4, 6})
            f.click(button);
        QCOMPARE(f.box().Text(), u"abcdef"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"clip"_s);
        QVERIFY(f.dialogs.fileFilters.isEmpty());
        // Paste needs no selection: it goes in at the caret.
        f.click(3);
        QCOMPARE(f.box().Text(), u"abcclipdef"_s);
    }

    void clipboardSelectAllDeleteAndUndo()
    {
        EditorFixture f;
        f.writeDocument(u"abcdef"_s);
        f.open();
        f.select(2, 4);
        // Copy, cut, undo, select all, delete, undo: the text after each.
        const std::pair<int, QString> steps[] = {{1, u"abcdef"_s}, {2, u"abef"_s},
                                                 {7, u"abcdef"_s}, {5, u"abcdef"_s},
                                                 {6, QString()},   {7, u"abcdef"_s}};
        for (const auto& [button, text] : steps) {
            f.click(button);
            QCOMPARE(f.box().Text(), text);
            if (button == 1)
                QCOMPARE(QGuiApplication::clipboard()->text(), u"cd"_s);
            if (button == 5)
                QCOMPARE(f.box().SelText(), u"abcdef"_s);
        }
    }

    // The selection goes to the file as named, lines in CR LF, replacing
    // what was there; with savedelete on it leaves the text, one undo step.
    void saveSelectionAsFile_data()
    {
        QTest::addColumn<bool>("savedelete");
        QTest::addColumn<QString>("left");
        QTest::newRow("savedelete off") << false << u"头\n中一\n中二\n尾"_s;
        QTest::newRow("savedelete on") << true << u"头\n\n尾"_s;
    }
    void saveSelectionAsFile()
    {
        QFETCH(bool, savedelete);
        QFETCH(QString, left);
        EditorFixture f(savedelete ? QByteArray("[CollectorSet]\nsavedelete=true\n")
                                   : QByteArray());
        const QString document = u"头\n中一\n中二\n尾"_s;
        f.writeDocument(document);
        f.open();
        f.write(u"part", "an older, longer file");
        f.select(2, 7);
        f.dialogs.fileNames.push_back(f.path(u"part")); // no extension added
        f.click(4);
        QCOMPARE(f.read(u"part"), u"中一\r\n中二\r\n"_s.toUtf8());
        QCOMPARE(f.box().Text(), left);
        QCOMPARE(f.dialogs.fileFilters.size(), 1);
        QCOMPARE(f.documentText(), document); // the document waits for a save
        f.click(7);
        QCOMPARE(f.box().Text(), document);
    }

    void refreshReplacesEditsAndIgnoresErrors()
    {
        EditorFixture f;
        f.writeDocument(u"disk"_s);
        f.open();
        f.box().setText(u"edited"_s);
        f.writeDocument(u"disk grew"_s);
        f.click(9);
        QCOMPARE(f.box().Text(), u"disk grew"_s);
        QVERIFY(QFile::remove(f.path(u"Doc.dat")));
        f.box().setText(u"edited again"_s);
        f.click(9);
        QCOMPARE(f.box().Text(), u"edited again"_s);
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(!f.exists(u"Doc.dat"));
    }
};

QUORREL_TEST(ToolbarTest, "toolbar")
#include "tst_toolbar.moc"
