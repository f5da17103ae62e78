#include "CollectorFixture.h"
#include "FileStamp.h"
#include "RichText.h"
#include "TestMain.h"

#include <QAction>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace {

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
        const auto before = FileStamp::of(f.path(u"Doc.dat")); // a rewrite is a new inode
        f.window->HideWindow_Click(); // position is stored hidden too
        f.window->Exit_Click();
        QVERIFY(FileStamp::of(f.path(u"Doc.dat")) == before);
        QCOMPARE(f.read(u"Doc.dat"), QByteArray("{\\rtf1 old}"));
        QVERIFY(f.read(u"Set.ini").contains("left="));
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
