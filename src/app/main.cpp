#include "Dialogs.h"
#include "SessionGuard.h"
#include "frmCollectorWindow.h"
#include "frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorrel"));
    // The collector may be hidden while other windows close; only the exit
    // item (or the end of the session) ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    // Standard buttons read 确定, 取消, 是, 否 like the rest of the interface.
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);

    QtDialogs dialogs;
    frmCollectorWindow collector(dialogs);
    SessionGuard guard(collector); // before the load, so no signal finds us unguarded
    frmCollectorWindow::Windows& windows = collector.windows();
    windows.openBrowser = [&windows, &dialogs] {
        frmMain::open(windows.browser, windows.dataSet, dialogs);
    };
    if (!collector.Form_Load())
        return 0; // another instance runs already
    return app.exec();
}
