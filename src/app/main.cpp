#include "ActiveWindow.h"
#include "ClipSource.h"
#include "CollectCommand.h"
#include "Dialogs.h"
#include "ExportAll.h"
#include "ImportAccess.h"
#include "QuorrelIcon.h"
#include "SessionGuard.h"
#include "frmAbout.h"
#include "frmCollectorEditor.h"
#include "frmCollectorWindow.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "frmSet.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#include <functional>
#include <memory>

namespace {

// Opens a modal window made afresh by `make` and runs it until it closes.
// While it is open (the tray menu stays reachable), opening it again brings
// the same window forward instead of stacking a second one.
std::function<void()> modalOpener(std::function<std::unique_ptr<QDialog>()> make)
{
    auto open = std::make_shared<QPointer<QDialog>>();
    return [open, make = std::move(make)] {
        if (*open) {
            (*open)->raise();
            (*open)->activateWindow();
            return;
        }
        const std::unique_ptr<QDialog> dialog = make();
        *open = dialog.get();
        dialog->exec();
    };
}

} // namespace

int main(int argc, char* argv[])
{
    if (const int status = runImportAccess(argc, argv); status >= 0)
        return status;
    if (const int status = runExportAll(argc, argv); status >= 0)
        return status;
    // On a Wayland session run through XWayland: a Wayland client may neither
    // stay on top nor place itself, and the collector must do both.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    if (const auto code = CollectCommand::runIfAsked(argc, argv, [] {
            return ClipSources::pageTitle(ActiveWindow::title());
        }))
        return *code; // --collect and its kin hand text over and end
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorrel"));
    // The collector may be hidden while other windows close; only the exit
    // item (or the end of the session) ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(QuorrelIcon::picture(size));
    QApplication::setWindowIcon(icon);

    // Standard buttons read 确定, 取消, 是, 否 like the rest of the interface.
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);

    QtDialogs dialogs;
    frmCollectorWindow collector(dialogs);
    SessionGuard guard(collector); // before the load, so no signal finds us unguarded

    frmCollectorWindow::Windows& windows = collector.windows();
    windows.openSettings = modalOpener([&] {
        // OK hands the five settings to the running collector: its next drop
        // follows them, without a restart or a new look for free file numbers.
        return std::make_unique<frmSet>(
            dialogs,
            [&collector](const SaveSettings& chosen) { collector.collector().takeSettings(chosen); },
            &collector);
    });
    windows.openHelp = modalOpener([&] { return std::make_unique<frmHelp>(&collector); });
    windows.openAbout = modalOpener([&] { return std::make_unique<frmAbout>(&collector); });

    QPointer<frmCollectorEditor> editor;
    windows.openEditor = [&] {
        windows.editor = frmCollectorEditor::open(editor, dialogs);
    };
    windows.openBrowser = [&windows, &dialogs] {
        frmMain::open(windows.browser, windows.dataSet, dialogs);
    };

    if (!collector.Form_Load()) // another instance runs already, or no lock could be had
        return collector.startProblem().isEmpty() ? 0 : 1;
    return app.exec();
}
