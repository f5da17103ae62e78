#include "CollectorFixture.h"
#include "TestMain.h"
#include "frmSet.h"

#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// The collector's settings item wired as the program wires it: a modal
// dialog run with exec(), whose OK hands the five settings to the collector.
void wireSettings(frmCollectorWindow& window, Dialogs& dialogs)
{
    window.windows().openSettings = [&window, &dialogs] {
        frmSet dialog(
            dialogs,
            [&window](const SaveSettings& chosen) { window.collector().takeSettings(chosen); },
            &window);
        dialog.exec();
    };
}

// Picks the menu item `Set` and, inside the dialog's modal loop, lets `user`
// work its controls. Whatever `user` leaves open is cancelled, so a failing
// step never leaves the test waiting on the dialog.
void useSettingsDialog(CollectorFixture& f, const std::function<void(frmSet&)>& user)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmSet*>(QApplication::activeModalWidget());
        if (dialog) {
            seen = true;
            user(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    const auto items = f.window->menu()->actions();
    const auto set = std::find_if(items.begin(), items.end(), [](const QAction* a) {
        return a->objectName() == u"Set"_s;
    });
    QVERIFY(set != items.end());
    (*set)->trigger();
    QVERIFY2(seen, "the settings item opened no modal dialog");
}

void click(frmSet& dialog, const QString& name)
{
    auto* button = dialog.findChild<QAbstractButton*>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

} // namespace

// What OK in the settings dialog does to the running collector: the very next
// drop follows the new settings, with no restart. What the dialog shows and
// writes is config/tst_settingsdialog's.
class SettingsDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every choice at once (disabled boxes keep their ticks): the collector
    // takes all five, and each shows in the next drops.
    void everyChoiceReachesTheRunningCollector()
    {
        CollectorFixture f;
        QVERIFY(QDir().mkpath(f.path(u"Documents")));
        f.write(u"Documents/0.txt", "taken");
        f.write(u"Documents/1.txt", "taken");
        QVERIFY(TestFiles::copyEmptyDatabase(f.path(u"WebDocuments.mdb")));
        const QString chosen = f.dir.path() + u"/摘录"_s;
        QVERIFY(QDir().mkpath(chosen));
        QVERIFY(f.load());
        wireSettings(*f.window, f.dialogs);
        f.dropText(u"cached "_s);
        QCOMPARE(f.collector().pendingText(), u"cached "_s);

        f.dialogs.fileNames.push_back(chosen);
        useSettingsDialog(f, [](frmSet& d) {
            for (const QString& name : {u"ChkCacheUpdate"_s, u"Option6_1"_s, u"Command3"_s,
                                        u"Option6_2"_s, u"ChkAutoName"_s, u"Check7"_s,
                                        u"Command1"_s})
                click(d, name);
        });
        QCOMPARE(f.collector().save, u"database"_s);
        QCOMPARE(f.collector().filepath, chosen + u'/');
        f.dropText(u"正文"_s);
        QCOMPARE(TestFiles::recordsIn(f.path(u"WebDocuments.mdb")), QStringList{u"文档|正文"_s});
        QVERIFY(f.dialogs.prompts.isEmpty()); // automatic names: no title asked

        // Numbered on from where the load left off: no new look for free numbers.
        f.collector().save = u"create"_s;
        f.dropText(u"第一段"_s);
        QCOMPARE(f.read(u"摘录/2.txt"), QByteArray("第一段\r\n"));

        // Held text stays held for the exit; the new drop is on disk at once.
        f.collector().save = u"append"_s;
        f.dropText(u"at once"_s);
        QCOMPARE(f.documentText(), u"at once"_s);
        QCOMPARE(f.collector().pendingText(), u"cached "_s);
        QCOMPARE(f.dialogs.messageTexts(), QStringList{Said::Saved}); // the first drop's only
    }
};

QUORREL_TEST(SettingsDialogTest, "settingsdialog")
#include "tst_settingsdialog.moc"
