#include "EditorFixture.h"
#include "TestMain.h"
#include "frmCollectorEditorSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QCheckBox* check(QWidget* dialog, const QString& name)
{
    return dialog->findChild<QCheckBox*>(name);
}

} // namespace

class OptionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The dialog shows the editor's values, not the file's; Cancel changes
    // nothing, OK writes both keys even when nothing changed.
    void showsTheEditorsValuesAndOnlyOkWrites()
    {
        EditorFixture f("[CollectorSet]\nexitnew=false\n");
        f.open();
        const QByteArray byHand = "[CollectorSet]\nsavedelete=true\nexitnew=true\n";
        f.write(u"Set.ini", byHand);
        {
            frmCollectorEditorSet dialog(f.logic(), f.editor);
            dialog.Form_Load();
            QVERIFY(!check(&dialog, u"Check1"_s)->isChecked());
            QVERIFY(!check(&dialog, u"Check2"_s)->isChecked());
            check(&dialog, u"Check1"_s)->setChecked(true);
            check(&dialog, u"Check2"_s)->setChecked(true);
            dialog.Command2_Click();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QVERIFY(!f.logic().savedelete);
        QVERIFY(!f.logic().exitnew);
        QCOMPARE(f.read(u"Set.ini"), byHand);
        frmCollectorEditorSet dialog(f.logic(), f.editor);
        dialog.Form_Load();
        dialog.Command1_Click();
        QCOMPARE(f.read(u"Set.ini"), QByteArray("[CollectorSet]\nsavedelete=false\nexitnew=false\n"));
    }

    // Button 8 shows the dialog modal; its OK writes both keys and the
    // editor follows them at once.
    void okWritesBothKeysAndTheEditorFollows()
    {
        EditorFixture f;
        f.writeDocument(u"abcdef"_s);
        f.open();
        bool seen = false;
        QTimer answer; // polls until the dialog's own loop runs
        connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<frmCollectorEditorSet*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answer.stop();
            seen = dialog->isModal();
            check(dialog, u"Check1"_s)->setChecked(true);
            check(dialog, u"Check2"_s)->setChecked(false);
            dialog->findChild<QPushButton*>(u"Command1"_s)->click();
        });
        answer.start(0);
        f.click(8);
        QVERIFY(seen);
        QVERIFY(f.read(u"Set.ini").contains("savedelete=true"));
        QVERIFY(f.read(u"Set.ini").contains("exitnew=false"));
        // The next save-as deletes, and closing no longer saves.
        f.select(2, 4);
        f.dialogs.fileNames.push_back(f.path(u"cd.txt"));
        f.click(4);
        QCOMPARE(f.box().Text(), u"abef"_s);
        QVERIFY(f.close());
        QCOMPARE(f.documentText(), u"abcdef"_s);
    }
};

QUORREL_TEST(OptionsTest, "options")
#include "tst_options.moc"
