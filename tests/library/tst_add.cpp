#include "LibraryFixture.h"
#include "TestMain.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

// Works the dialog `open` makes the browser show through `script`, without a
// modal loop; true when the dialog ended.
bool closes(frmMain& w, const std::function<void()>& open, std::function<void(frmAdd&)> script)
{
    auto closed = std::make_shared<bool>(false);
    w.runModal = [script, closed](QDialog& dialog) {
        QObject::connect(&dialog, &QDialog::finished, [closed] { *closed = true; });
        script(static_cast<frmAdd&>(dialog));
    };
    open();
    return *closed;
}

void type(frmAdd& add, const QString& title, const QString& content)
{
    add.text1->setText(title);
    add.text2->setText(content);
}

} // namespace

class AddTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void anEmptyBoxIsRefusedAndNothingIsStored_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("content");
        QTest::newRow("no title") << QString() << u"内容"_s;
        QTest::newRow("no content") << u"标题"_s << QString();
        QTest::newRow("neither") << QString() << QString();
    }
    void anEmptyBoxIsRefusedAndNothingIsStored()
    {
        QFETCH(QString, title);
        QFETCH(QString, content);
        LibraryFixture f;
        frmMain& w = f.open();
        QVERIFY(!closes(w, [&] { w.Button1_Click(); }, [&](frmAdd& add) {
            type(add, title, content);
            add.Button1_Click();
            QCOMPARE(add.text1->text(), title); // kept for the user to finish
            QCOMPARE(add.text2->Text(), content);
        }));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages.first().text, u"文章标题和文章内容均不能为空！"_s);
        QCOMPARE(f.dialogs.messages.first().icon, Dialogs::Icon::Information);
        QVERIFY(f.stored().isEmpty());
    }

    void addingOneStoresItListsItAndCloses()
    {
        LibraryFixture f;
        QVERIFY(f.store({{u"旧的"_s, u"旧内容"_s}}));
        frmMain& w = f.open();
        f.click(0);
        QVERIFY(closes(w, [&] { w.Button1_Click(); }, [&](frmAdd& add) {
            QVERIFY(!add.Check1->isChecked() && !add.Check1->isHidden());
            QVERIFY(add.text1->text().isEmpty() && add.text2->Text().isEmpty());
            type(add, u"  "_s, u"多行\n内容 "_s); // spaces are text
            add.Button1_Click();
        }));
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.stored().last(), LibraryFixture::Record(u"  "_s, u"多行\n内容 "_s));
        QCOMPARE(f.listed(), QStringList({u"旧的"_s, u"  "_s}));
        QCOMPARE(f.shown(), u"旧内容"_s); // adding leaves the content box alone
    }

    void severalInARowWithTheCheckBoxThenCloseStoresNothing()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        QVERIFY(closes(w, [&] { w.Button1_Click(); }, [&](frmAdd& add) {
            QSignalSpy finished(&add, &QDialog::finished);
            add.Check1->setChecked(true);
            for (int i = 1; i <= 3; ++i) {
                type(add, u"标题%1"_s.arg(i), u"内容%1"_s.arg(i));
                add.text2->setFocus();
                add.Button1_Click();
                QVERIFY(add.text1->text().isEmpty() && add.text2->Text().isEmpty());
                QCOMPARE(add.focusWidget(), add.text1);
            }
            QCOMPARE(f.listed(), QStringList({u"标题1"_s, u"标题2"_s, u"标题3"_s}));
            QVERIFY(finished.isEmpty());
            type(add, u"标题"_s, u"内容"_s); // typed, then closed: stores nothing
            add.Button2->click();
        }));
        QCOMPARE(f.stored().size(), 3);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // Edit mode shows the current record and stores both boxes, empty ones
    // without a word, then re-reads: the first record is current, the content box empty.
    void editModeShowsTheCurrentRecordAndStoresBothFields_data()
    {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("edited");
        QTest::addColumn<LibraryFixture::Record>("typed");
        QTest::newRow("no click: the first, cleared") << -1 << 0 << LibraryFixture::Record();
        QTest::newRow("the row clicked") << 2 << 2 << LibraryFixture::Record(u"丙改"_s, u"新的\n内容"_s);
    }
    void editModeShowsTheCurrentRecordAndStoresBothFields()
    {
        QFETCH(int, clicked);
        QFETCH(int, edited);
        QFETCH(LibraryFixture::Record, typed);
        LibraryFixture f;
        QVERIFY(f.store({{u"甲"_s, u"甲文"_s}, {u"乙"_s, u"乙文"_s}, {u"丙"_s, u"丙文"_s}}));
        frmMain& w = f.open();
        if (clicked >= 0)
            f.click(clicked);
        QList<LibraryFixture::Record> expected = f.stored();
        QVERIFY(closes(w, [&] { f.button("Button5")->click(); }, [&](frmAdd& add) {
            QVERIFY(add.Check1->isHidden());
            QCOMPARE(add.text1->text(), expected.at(edited).first);
            QCOMPARE(add.text2->Text(), expected.at(edited).second);
            type(add, typed.first, typed.second);
            add.Button1->click();
        }));
        QVERIFY(f.dialogs.messages.isEmpty());
        expected[edited] = typed;
        QCOMPARE(f.stored(), expected);
        QStringList titles;
        for (const auto& record : std::as_const(expected))
            titles << record.first;
        QCOMPARE(f.listed(), titles);
        QVERIFY(f.shown().isEmpty());
        QCOMPARE(w.recordset().field(u"标题"_s), expected.at(0).first);
    }

    void aDatabaseFailureKeepsTheDialogOpenWithItsTexts()
    {
        LibraryFixture f;
        QVERIFY(f.store({{u"甲"_s, u"甲文"_s}}));
        frmMain& w = f.open();

        // Adding: the file went away while the browser was open.
        QVERIFY(QFile::rename(f.databasePath(), f.databasePath() + u".moved"_s));
        QVERIFY(!closes(w, [&] { w.Button1_Click(); }, [&](frmAdd& add) {
            type(add, u"标题"_s, u"不能丢的内容"_s);
            add.Button1_Click();
            QCOMPARE(add.text1->text(), u"标题"_s);
            QCOMPARE(add.text2->Text(), u"不能丢的内容"_s);
        }));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages.first().text.startsWith(u"文档保存失败！"_s));
        QCOMPARE(f.dialogs.messages.first().icon, Dialogs::Icon::Warning);
        // A search meanwhile looks for the file and makes none in its place.
        QSignalSpy answered(&w.search(), &SearchService::found);
        w.searchBox()->setText(u"甲"_s);
        w.searchNow();
        QTRY_VERIFY_WITH_TIMEOUT(!answered.isEmpty(), 60000);
        QVERIFY(!QFile::exists(f.databasePath()));
        w.searchBox()->clear();
        QVERIFY(QFile::rename(f.databasePath() + u".moved"_s, f.databasePath()));

        // Editing: the file can only be read.
        w.Data1().setReadOnly(true);
        w.refreshList();
        f.click(0);
        QCOMPARE(f.shown(), u"甲文"_s);
        QVERIFY(!closes(w, [&] { w.Button5_Click(); }, [&](frmAdd& add) {
            type(add, u"改"_s, u"改过的内容"_s);
            add.Button1_Click();
            QCOMPARE(add.text2->Text(), u"改过的内容"_s);
        }));
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.stored(), QList<LibraryFixture::Record>({{u"甲"_s, u"甲文"_s}}));
        QCOMPARE(f.shown(), u"甲文"_s); // the browser is left as it was
    }
};

QUORREL_TEST(AddTest, "add")
#include "tst_add.moc"
