#include "EditorFixture.h"
#include "EditorIcons.h"
#include "TestMain.h"

#include <QImage>

using namespace Qt::StringLiterals;

namespace {

// True when the icon shows something at 16 x 16.
bool visible(const QIcon& icon)
{
    const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 128;
    return opaque >= 12;
}

} // namespace

class LoadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Only the exact words count (the keys read at all: tst_toolbar, tst_options).
    void optionsTakeOnlyTheirExactWords()
    {
        EditorFixture f("[CollectorSet]\nsavedelete=TRUE\nexitnew=TRUE\n");
        f.open();
        QVERIFY(!f.logic().savedelete);
        QVERIFY(f.logic().exitnew);
    }

    void windowAsDesigned()
    {
        EditorFixture f;
        f.open();
        QVERIFY(f.editor->isVisible());
        QVERIFY(!f.editor->isModal());
        QToolBar* bar = f.editor->findChild<QToolBar*>(u"Toolbar1"_s);
        QVERIFY(bar);
        int buttons = 0;
        for (QAction* action : bar->actions()) {
            if (!action->isSeparator())
                QVERIFY2(visible(action->icon()), qPrintable(QString::number(++buttons)));
        }
        QCOMPARE(buttons, 11);
        QVERIFY(f.editor->findChild<RichTextBox*>(u"text1"_s));
    }

    void drawnIconsAreNeverBlankAndDiffer()
    {
        QList<QImage> seen;
        for (int button = 1; button <= 11; ++button) {
            const QIcon icon = EditorIcons::drawn(button);
            QVERIFY2(visible(icon), qPrintable(QString::number(button)));
            const QImage image = icon.pixmap(16, 16).toImage();
            QVERIFY(!seen.contains(image));
            seen << image;
        }
        QVERIFY(EditorIcons::icon(0).isNull());
    }

    void iconsComeFromTheDesktopThemeWhereItHasThem()
    {
        const QString previous = QIcon::themeName();
        const QStringList previousPaths = QIcon::themeSearchPaths();
        QIcon::setThemeSearchPaths(previousPaths + QStringList{u"/usr/share/icons"_s});
        QIcon::setThemeName(u"no-such-theme"_s);
        QVERIFY(EditorIcons::icon(1).name().isEmpty()); // drawn
        QVERIFY(visible(EditorIcons::icon(1)));
        QIcon::setThemeName(u"Adwaita"_s);
        const bool adwaita = QIcon::hasThemeIcon(u"edit-copy"_s);
        const QIcon themed = EditorIcons::icon(1);
        const QString name = themed.name();
        const bool shows = visible(themed);
        QIcon::setThemeName(previous);
        QIcon::setThemeSearchPaths(previousPaths);
        if (!adwaita)
            QSKIP("no Adwaita icon theme here");
        QCOMPARE(name, u"edit-copy"_s);
        QVERIFY(shows);
    }

    void loadsTheDocumentAndSavesOnClose()
    {
        EditorFixture f;
        f.writeDocument(u"第一行\nsecond"_s);
        f.open();
        QCOMPARE(f.box().Text(), u"第一行\nsecond"_s);
        f.box().appendPlainText(u"added"_s);
        QVERIFY(f.close());
        QVERIFY(!f.editor); // gone; the next opening reads again
        QCOMPARE(f.documentText(), u"第一行\nsecond\nadded"_s);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // What Chinese word processors write: Western punctuation in a Western
    // font (the RTF suite reads the other writers). Opening and saving keeps
    // every character; a second font is formatting, said once.
    void wordProcessorsPunctuationSurvivesOpenAndSave()
    {
        EditorFixture f;
        f.write(u"Doc.dat",
                "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times New "
                "Roman;}{\\f1\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n{\\f1 "
                "\\'d6\\'d0\\'ce\\'c4}{\\f0 \\'93quoted\\'94 \\'e9t\\'e9}\\par}");
        const QString text = u"中文“quoted” été"_s;
        f.open();
        QCOMPARE(f.box().Text(), text);
        f.box().appendPlainText(QString());
        f.click(10); // confirm: saved
        QVERIFY(f.close());
        QCOMPARE(f.documentText(), text + u'\n');
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].icon, Dialogs::Icon::Information);
    }

    void withoutDocumentClosingCreatesIt()
    {
        EditorFixture f;
        f.open();
        QCOMPARE(f.box().Text(), QString());
        QVERIFY(!f.exists(u"Doc.dat")); // opening creates nothing
        QVERIFY(f.close());
        QVERIFY(f.exists(u"Doc.dat"));
        QCOMPARE(f.documentText(), QString());
    }

    void exitNewOffDiscardsEditsButConfirmKeepsThem()
    {
        EditorFixture f("[CollectorSet]\nexitnew=false\n");
        f.open(); // without a document, closing creates none either
        f.box().setText(u"typed"_s);
        QVERIFY(f.close());
        QVERIFY(!f.exists(u"Doc.dat"));
        f.writeDocument(u"base"_s);
        f.open();
        f.box().setText(u"confirmed"_s);
        f.click(10);
        QCOMPARE(f.documentText(), u"confirmed"_s);
        f.box().setText(u"dropped"_s);
        f.click(11);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!f.editor);
        QCOMPARE(f.documentText(), u"confirmed"_s);
    }

    void openingAgainOnlyShowsTheWindow()
    {
        EditorFixture f;
        f.writeDocument(u"disk"_s);
        frmCollectorEditor* first = f.open();
        f.box().setText(u"unsaved"_s);
        f.writeDocument(u"changed on disk"_s);
        f.editor->hide();
        QCOMPARE(f.open(), first);
        QVERIFY(first->isVisible());
        QCOMPARE(f.box().Text(), u"unsaved"_s);
    }

    // A file that fails to read, whoever runs the test (root too), and text in
    // a code page the program does not read (Latin-1): said once, left as is.
    void unreadableOrForeignDocumentIsKeptOnClose_data()
    {
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("unreadable") << true;
        QTest::newRow("latin-1") << false;
    }
    void unreadableOrForeignDocumentIsKeptOnClose()
    {
        QFETCH(bool, unreadable);
        EditorFixture f;
        const QByteArray latin1 = "caf\xe9 au lait\r\n";
        if (unreadable)
            QVERIFY(QFile::link(u"/proc/self/mem"_s, f.path(u"Doc.dat")));
        else
            f.write(u"Doc.dat", latin1);
        f.open();
        QCOMPARE(f.box().Text(), QString());
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages[0].text.startsWith(u"默认文档读取失败！"_s));
        f.box().setText(u"typed"_s);
        QVERIFY(f.close());
        QCOMPARE(f.dialogs.messages.size(), 1);
        if (unreadable)
            QVERIFY(QFileInfo(f.path(u"Doc.dat")).isSymLink()); // not replaced
        else
            QCOMPARE(f.read(u"Doc.dat"), latin1);
    }

    void confirmReplacesADocumentThatFailedToLoad()
    {
        EditorFixture f;
        QVERIFY(QFile::link(u"/proc/self/mem"_s, f.path(u"Doc.dat")));
        f.open();
        QVERIFY(f.logic().loadFailed());
        // Meanwhile the file became readable with other text: the user's
        // confirm is the consent, so no question.
        QVERIFY(QFile::remove(f.path(u"Doc.dat")));
        f.writeDocument(u"old"_s);
        f.box().setText(u"new"_s);
        f.click(10);
        QCOMPARE(f.documentText(), u"new"_s);
        QVERIFY(!f.logic().loadFailed());
        QCOMPARE(f.dialogs.messages.size(), 1); // only the load's
        f.box().setText(u"closing"_s);
        QVERIFY(f.close()); // saved on closing again
        QCOMPARE(f.documentText(), u"closing"_s);
    }
};

QUORREL_TEST(LoadTest, "load")
#include "tst_load.moc"
