// The browser as the collector's menu opens it and its exit closes it.
#include "CollectorFixture.h"
#include "LibraryFixture.h"
#include "TestFiles.h"
#include "TestMain.h"

using namespace Qt::StringLiterals;

class OpeningTest : public QObject {
    Q_OBJECT

    // A loaded collector beside a database, wired as the program's entry point does.
    static void start(CollectorFixture& c)
    {
        QVERIFY(TestFiles::copyEmptyDatabase(c.path(u"WebDocuments.mdb")));
        QVERIFY(c.load());
        frmCollectorWindow::Windows& windows = c.window->windows();
        windows.openBrowser = [&windows, &c] {
            frmMain::open(windows.browser, windows.dataSet, c.dialogs);
        };
    }

    static int browsers()
    {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += qobject_cast<frmMain*>(widget) != nullptr;
        return count;
    }

private Q_SLOTS:
    void theMenuOpensOneBrowserHoweverOftenItIsChosen()
    {
        CollectorFixture c;
        start(c);
        for (int i = 0; i < 3; ++i)
            c.window->DataExplorer_Click();
        QCOMPARE(browsers(), 1);
        auto* browser = qobject_cast<frmMain*>(c.window->windows().browser.data());
        QVERIFY(browser && browser->isVisible());

        // Closed, the next choice opens a new one.
        browser->Button4_Click();
        LibraryFixture::settle();
        QVERIFY(!c.window->windows().browser);
        c.window->DataExplorer_Click();
        QCOMPARE(browsers(), 1);
        QVERIFY(c.window->windows().browser);
        delete c.window->windows().browser.data();
    }

    void theExitClosesTheBrowserAndItsDisplaySettings()
    {
        CollectorFixture c;
        start(c);
        c.window->DataExplorer_Click();
        auto* browser = qobject_cast<frmMain*>(c.window->windows().browser.data());
        browser->Button10_Click();
        QVERIFY(c.window->windows().dataSet);
        QCOMPARE(c.window->windows().dataSet.data(), browser->dataSetWindow());
        c.window->Exit_Click();
        LibraryFixture::settle();
        QVERIFY(!c.window->windows().browser);
        QVERIFY(!c.window->windows().dataSet);
        QVERIFY(!c.window->isVisible());
    }
};

QUORREL_TEST(OpeningTest, "opening")
#include "tst_opening.moc"
