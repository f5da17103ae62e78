#include "LibraryFixture.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "UndoLog.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 60000; // a slow shared machine; never a measure of speed

// The undo item of the list's context menu, as it would open now.
QAction* undoItem(frmMain& w)
{
    return w.listMenu()->findChild<QAction*>(u"mnuListUndo"_s);
}

void pressCtrlZ(frmMain& w)
{
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.List1(), Qt::Key_Z, Qt::ControlModifier);
}

} // namespace

class UndoTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void undoGivesBackTheRecordAtItsPlace_data()
    {
        QTest::addColumn<QString>("steps"); // what is done, and how it is undone
        for (const char* steps : {"delete, Ctrl+Z", "modify, menu", "delete, restart, menu",
                                  "modify, restart, Ctrl+Z", "delete in a search's list",
                                  "modify in a search's list, menu"})
            QTest::newRow(steps) << QString::fromUtf8(steps);
    }
    void undoGivesBackTheRecordAtItsPlace()
    {
        QFETCH(QString, steps);
        const bool modify = steps.contains(u"modify"_s), restart = steps.contains(u"restart"_s);
        const bool search = steps.contains(u"search"_s), menu = steps.contains(u"menu"_s);
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        const QList<LibraryFixture::Record> before = f.stored();
        f.open();
        const QStringList titles = f.listed();
        const auto find = [&f] { // only the second record holds 二
            f.window->searchBox()->setText(u"二"_s);
            QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList{u"第二篇"_s}, Patience);
        };
        if (search)
            find();
        const int row = search ? 0 : 1;
        f.click(row);
        if (modify) {
            f.window->runModal = [](QDialog& dialog) {
                auto& edit = static_cast<frmAdd&>(dialog);
                edit.text1->setText(u"改过的标题"_s);
                edit.text2->setText(u"改过的内容"_s);
                edit.Button1_Click();
            };
            f.button("Button5")->click();
        } else {
            f.dialogs.answers = {Dialogs::Answer::Yes};
            f.button("Button2")->click();
        }
        QVERIFY(f.stored() != before);
        if (search) // searched again: it no longer matches
            QTRY_COMPARE_WITH_TIMEOUT(f.listed(), QStringList(), Patience);
        if (restart) {
            f.window->close();
            LibraryFixture::settle();
            f.open();
        }

        QAction* item = undoItem(*f.window);
        QCOMPARE(item->text(), modify ? u"撤销修改"_s : u"撤销删除"_s);
        QVERIFY(item->isEnabled());
        if (menu)
            item->trigger();
        else
            pressCtrlZ(*f.window);
        QCOMPARE(f.stored(), before);
        QCOMPARE(f.listed(), search ? QStringList{u"第二篇"_s} : titles);
        QCOMPARE(f.window->List1()->currentIndex().row(), row);
        QCOMPARE(f.shown(), before.at(1).second);
        QCOMPARE(f.window->recordset().field(u"标题"_s), before.at(1).first);
        QVERIFY(!undoItem(*f.window)->isEnabled()); // nothing more to undo
        QVERIFY(f.dialogs.messages.size() <= 1);    // only the delete's question
    }

    // A damaged undo file: undo says so and changes nothing.
    void aDamagedUndoFileIsToldAndChangesNothing()
    {
        LibraryFixture f;
        QVERIFY(f.store(LibraryFixture::threeRecords()));
        frmMain& w = f.open();
        f.dialogs.answers = {Dialogs::Answer::Yes};
        w.Button2_Click();
        const QString log = UndoLog::logPathFor(f.databasePath());
        QVERIFY(TestFiles::writeBytes(log, QByteArray(4096, 'x')));
        const QList<LibraryFixture::Record> stored = f.stored();
        QCOMPARE(stored.size(), 2);

        QVERIFY(undoItem(w)->isEnabled());
        pressCtrlZ(w);
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages.last().icon, Dialogs::Icon::Warning);
        QCOMPARE(f.stored(), stored);
        QCOMPARE(TestFiles::bytesOf(log), QByteArray(4096, 'x'));

        // Modify and delete ask whether to go on without undo; No changes nothing.
        f.dialogs.answers = {Dialogs::Answer::No};
        w.runModal = [](QDialog& dialog) {
            static_cast<frmAdd&>(dialog).text2->setText(u"改过的内容"_s);
            static_cast<frmAdd&>(dialog).Button1_Click();
        };
        w.Button5_Click();
        QCOMPARE(f.stored(), stored);
        f.dialogs.answers = {Dialogs::Answer::Yes, Dialogs::Answer::No};
        w.Button2_Click();
        QCOMPARE(f.dialogs.messages.last().buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(f.stored(), stored);
        f.dialogs.answers = {Dialogs::Answer::Yes, Dialogs::Answer::Yes};
        w.Button2_Click();
        QCOMPARE(f.stored().size(), 1);
        QCOMPARE(f.dialogs.messages.size(), 7);
    }
};

QUORREL_TEST(UndoTest, "undo")
#include "tst_undo.moc"
