#include "LibraryFixture.h"
#include "TestMain.h"

#include "Fonts.h"

#include <QRadioButton>

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
    void opensTopMostWithTheDesignSizePreselected()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        w.Button10_Click();
        frmDataSet* window = w.dataSetWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), u"显示设置"_s);
        QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(checked(window), 5);
        QCOMPARE(w.text1()->font().pointSizeF(), 9.0);

        // A second press brings the same window forward.
        w.Button10_Click();
        QCOMPARE(w.dataSetWindow(), window);
        QCOMPARE(w.findChildren<frmDataSet*>().size(), 1);
    }

    void eachChoiceAppliesAtOnceAndIsPreselectedNextTime()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        w.Button10_Click();
        const QList<int> sizes{36, 28, 15, 11, 9};
        for (int number = 1; number <= 5; ++number) {
            option(w.dataSetWindow(), number)->click();
            QCOMPARE(w.text1()->font().pointSizeF(), qreal(sizes.at(number - 1)));
            QCOMPARE(w.text1()->font().family(), Fonts::songti(9).family());
        }
        option(w.dataSetWindow(), 3)->click(); // 中等
        QPointer<frmDataSet> first = w.dataSetWindow();
        first->close();
        LibraryFixture::settle();
        QVERIFY(!first);
        w.Button10_Click();
        QVERIFY(w.dataSetWindow());
        QCOMPARE(checked(w.dataSetWindow()), 3);
    }

    void aSizeOfItsOwnSelectsNoOption()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        QFont font = w.text1()->font();
        font.setPointSizeF(9.5);
        w.text1()->setFont(font);
        w.Button10_Click();
        QCOMPARE(checked(w.dataSetWindow()), 0);
        QCOMPARE(w.text1()->font().pointSizeF(), 9.5);
    }

    void backgroundColourAndACancelledDialog()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        w.Button10_Click();
        const QColor design = w.text1()->palette().color(QPalette::Base);
        auto* button = w.dataSetWindow()->findChild<QPushButton*>(u"Button3"_s);
        f.dialogs.colors = {std::nullopt};
        button->click();
        QCOMPARE(w.text1()->palette().color(QPalette::Base), design);
        f.dialogs.colors = {QColor(0xff, 0xf8, 0xdc)};
        button->click();
        QCOMPARE(w.text1()->palette().color(QPalette::Base), QColor(0xff, 0xf8, 0xdc));
        f.dialogs.colors = {std::nullopt};
        button->click(); // cancelled again: the chosen colour stays
        QCOMPARE(w.text1()->palette().color(QPalette::Base), QColor(0xff, 0xf8, 0xdc));
    }

    void closingTheBrowserClosesItAndTheNextBrowserStartsAfresh()
    {
        LibraryFixture f;
        frmMain& w = f.open();
        w.Button10_Click();
        option(w.dataSetWindow(), 1)->click();
        QPointer<frmDataSet> window = w.dataSetWindow();
        w.close();
        LibraryFixture::settle();
        QVERIFY(!window);
        QVERIFY(!f.window);
        frmMain& again = f.open();
        QCOMPARE(again.text1()->font().pointSizeF(), 9.0);
    }
};

QUORREL_TEST(DataSetTest, "dataset")
#include "tst_dataset.moc"
