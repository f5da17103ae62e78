#include "LibraryFixture.h"
#include "TestMain.h"

#include <QRadioButton>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

QRadioButton* option(QWidget* window, int number)
{
    return window->findChild<QRadioButton*>(u"Option%1"_s.arg(number));
}

// The number of the checked option, 0 for none.
int checked(QWidget* window)
{
    for (int number = 1; number <= 5; ++number) {
        if (option(window, number)->isChecked())
            return number;
    }
    return 0;
}

} // namespace

class DataSetTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachChoiceAppliesAtOnceAndIsPreselectedNextTimeAndTheColour()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        const QFont design = w.text1()->font();
        w.Button10_Click();
        frmDataSet* window = w.dataSetWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(checked(window) != 0); // the design size is one of the five
        QList<qreal> sizes;
        for (int number = 1; number <= 5; ++number) {
            option(window, number)->click();
            sizes << w.text1()->font().pointSizeF();
            QCOMPARE(w.text1()->font().family(), design.family());
        }
        QCOMPARE(QSet<qreal>(sizes.begin(), sizes.end()).size(), 5);
        QVERIFY(sizes.contains(design.pointSizeF()));
        option(window, 3)->click();
        QCOMPARE(w.text1()->font().pointSizeF(), sizes.at(2));

        // A second press brings the same window forward; closed, the next
        // one opens with the choice made.
        w.Button10_Click();
        QCOMPARE(w.dataSetWindow(), window);
        QCOMPARE(w.findChildren<frmDataSet*>().size(), 1);
        window->close();
        LibraryFixture::settle();
        QVERIFY(!w.findChild<frmDataSet*>());
        w.Button10_Click();
        QVERIFY(w.dataSetWindow());
        QCOMPARE(checked(w.dataSetWindow()), 3);

        // The background colour; a cancelled dialog leaves it as it was.
        const QColor base = w.text1()->palette().color(QPalette::Base);
        auto* button = w.dataSetWindow()->findChild<QPushButton*>(u"Button3"_s);
        const QColor chosen(0xff, 0xf8, 0xdc);
        const std::pair<std::optional<QColor>, QColor> steps[] = {
            {std::nullopt, base}, {chosen, chosen}, {std::nullopt, chosen}};
        for (const auto& [answer, shown] : steps) {
            f.dialogs.colors = {answer};
            button->click();
            QCOMPARE(w.text1()->palette().color(QPalette::Base), shown);
        }
    }

    void closingTheBrowserClosesItAndTheNextStartsAfreshOrWithItsOwnSize()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        const qreal design = w.text1()->font().pointSizeF();
        w.Button10_Click();
        option(w.dataSetWindow(), 1)->click();
        QVERIFY(w.text1()->font().pointSizeF() != design);
        QPointer<frmDataSet> window = w.dataSetWindow();
        w.close();
        LibraryFixture::settle();
        QVERIFY(!window);
        QVERIFY(!f.window);
        frmMain& again = f.open();
        QCOMPARE(again.text1()->font().pointSizeF(), design);
        // A size of its own selects no option, and opening keeps it.
        QFont font = again.text1()->font();
        font.setPointSizeF(9.5);
        again.text1()->setFont(font);
        again.Button10_Click();
        QCOMPARE(checked(again.dataSetWindow()), 0);
        QCOMPARE(again.text1()->font().pointSizeF(), 9.5);
    }
};

QUORREL_TEST(DataSetTest, "dataset")
#include "tst_dataset.moc"
