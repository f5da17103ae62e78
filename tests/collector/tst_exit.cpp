#include "CollectorFixture.h"
#include "RichText.h"
#include "SessionGuard.h"
#include "TestMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// An editor that saves its own text to Doc.dat when it closes.
class SavingEditor : public QWidget {
public:
    QString text;
    QString path;

protected:
    void closeEvent(QCloseEvent*) override
    {
        RichTextBuffer box;
        box.setText(text);
        box.SaveFile(path);
    }
};

// A window that will not close, as an editor whose user keeps it open.
class RefusingWindow : public QWidget {
protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

QStringList captions(const QMenu* menu)
{
    QStringList list;
    for (const QAction* action : menu->actions())
        list << (action->isSeparator() ? u"-"_s : action->text());
    return list;
}

} // namespace

class ExitTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exitAppendsCachedTextAndStoresPosition()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        RichTextBuffer doc;
        doc.setText(u"xy"_s);
        QVERIFY(doc.SaveFile(f.path(u"Doc.dat")));
        f.dropText(u"ab"_s);
        f.dropText(u"cd"_s);
        f.window->move(120, 240);
        f.window->Exit_Click();
        QCOMPARE(f.documentText(), u"xyabcd"_s);
        QVERIFY(f.read(u"Set.ini").contains("left=1800"));
        QVERIFY(f.read(u"Set.ini").contains("top=3600"));
        QVERIFY(!f.window->isVisible());

        // The next start stands where this one ended.
        f.window.reset();
        QVERIFY(f.load());
        QCOMPARE(f.window->pos(), QPoint(120, 240));
    }

    void exitWithNothingPendingLeavesTheDocument()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        f.write(u"Doc.dat", "{\\rtf1 old}");
        const QDateTime before = QFileInfo(f.path(u"Doc.dat")).lastModified();
        QTest::qWait(20);
        f.window->HideWindow_Click(); // position is stored hidden too
        f.window->Exit_Click();
        QCOMPARE(QFileInfo(f.path(u"Doc.dat")).lastModified(), before);
        QCOMPARE(f.read(u"Doc.dat"), QByteArray("{\\rtf1 old}"));
        QVERIFY(f.read(u"Set.ini").contains("left="));
    }

    void exitThatCannotWriteKeepsRunning()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        f.dropText(u"precious"_s);
        QVERIFY(QDir(ProgramDir()).mkdir(u"Doc.dat"_s)); // cannot be replaced by a file
        f.window->Exit_Click();
        QCOMPARE(f.dialogs.messageTexts().last(), u"文档保存失败！"_s);
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.collector().pendingText(), u"precious"_s);
        QVERIFY(!QFile::exists(f.path(u"Set.ini")));

        QVERIFY(QDir(ProgramDir()).rmdir(u"Doc.dat"_s)); // mended: exit again
        f.window->Exit_Click();
        QCOMPARE(f.documentText(), u"precious"_s);
    }

    void openEditorClosesBeforeTheCachedTextIsWritten()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        SavingEditor editor;
        editor.text = u"edited"_s;
        editor.path = f.path(u"Doc.dat");
        editor.show();
        QWidget browser;
        browser.show();
        f.window->windows().editor = &editor;
        f.window->windows().browser = &browser;
        f.dropText(u"+cached"_s);
        f.window->Exit_Click();
        QCOMPARE(f.documentText(), u"edited+cached"_s);
        QVERIFY(!editor.isVisible());
        QVERIFY(!browser.isVisible());
    }

    void terminationSignalSavesCachedText()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        SavingEditor editor; // must not overwrite the cached text after it is saved
        editor.text = u"edited"_s;
        editor.path = f.path(u"Doc.dat");
        editor.show();
        f.window->windows().editor = &editor;
        int quits = 0;
        SessionGuard guard(*f.window, [&] { ++quits; });
        f.dropText(u"+kept on SIGTERM"_s);
        ::raise(SIGTERM);
        QTRY_COMPARE(quits, 1);
        QCOMPARE(f.documentText(), u"edited+kept on SIGTERM"_s);
        QVERIFY(f.collector().pendingText().isEmpty());
    }

    void editorThatStaysOpenStopsTheExit()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        RefusingWindow editor;
        editor.show();
        f.window->windows().editor = &editor;
        f.dropText(u"pending"_s);
        f.window->Exit_Click();
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.collector().pendingText(), u"pending"_s);
        QVERIFY(!QFile::exists(f.path(u"Doc.dat")));
        QVERIFY(!QFile::exists(f.path(u"Set.ini")));
    }

    void menuItemsAndHiding()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        QMenu* menu = f.window->menu();
        QCOMPARE(menu->objectName(), u"Menu"_s);
        QCOMPARE(captions(menu),
                 QStringList({u"启动文档编辑器"_s, u"启动文档浏览器"_s, u"打开文档保存目录"_s,
                              u"隐藏悬浮窗"_s, u"高级设置"_s, u"-"_s, u"帮助"_s, u"关于"_s,
                              u"退出"_s}));
        auto* hide = f.window->findChild<QAction*>(u"HideWindow"_s);
        QVERIFY(hide);
        // No tray here: hiding would leave nothing to bring the collector back.
        QVERIFY(!hide->isEnabled());
        hide->setEnabled(true);
        hide->trigger();
        QVERIFY(!f.window->isVisible());
        QCOMPARE(hide->text(), u"显示悬浮窗"_s);
        hide->trigger();
        QVERIFY(f.window->isVisible());
        QCOMPARE(hide->text(), u"隐藏悬浮窗"_s);

        QString opened;
        f.window->openFolder = [&](const QString& dir) { opened = dir; };
        f.window->findChild<QAction*>(u"OpenDir"_s)->trigger();
        QCOMPARE(opened, f.collector().filepath);

        int editors = 0;
        f.window->windows().openEditor = [&] { ++editors; };
        f.window->findChild<QAction*>(u"Editor"_s)->trigger();
        f.window->findChild<QAction*>(u"Help"_s)->trigger(); // not there yet: nothing
        QCOMPARE(editors, 1);
    }

    void pressesOnTheFace()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        auto* face = f.window->findChild<QWidget*>(u"Label1"_s);
        QVERIFY(face);
        QTest::mousePress(face, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!f.window->menu()->isVisible());
        QTest::mouseRelease(face, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mousePress(face, Qt::RightButton, {}, QPoint(5, 5));
        QTRY_VERIFY(f.window->menu()->isVisible());
        f.window->menu()->hide();
        f.window->cSysTray1_MouseDown(Qt::LeftButton, QPoint(5, 5));
        QVERIFY(!f.window->menu()->isVisible());
        f.window->cSysTray1_MouseDown(Qt::MiddleButton, QPoint(5, 5));
        QTRY_VERIFY(f.window->menu()->isVisible());
        f.window->menu()->hide();
    }
};

QUORREL_TEST(ExitTest, "exit")
#include "tst_exit.moc"
