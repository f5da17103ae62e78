#include "CollectorFixture.h"
#include "FileStamp.h"
#include "TestMain.h"

#include <QAction>
#include <QMenu>

using namespace Qt::StringLiterals;

class ExitTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exitAppendsCachedTextAndStoresPosition()
    {
        CollectorFixture f;
        QVERIFY(f.load());
        f.writeDocument(u"xy"_s);
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

    void menuItemsWorkAndHideToggles()
    {
        CollectorFixture f;
        QVERIFY(f.load());
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
