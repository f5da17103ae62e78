// Runs a batch import as the browser does, with its progress dialog over a
// stand-in browser window, for a look under a real X server.
//   batch_import <folder> <database>
#include "BatchProgressDialog.h"
#include "DataSource.h"
#include "Dialogs.h"
#include "ImportExport.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: batch_import <folder> <database>\n");
        return 2;
    }
    QLabel window(u"文档浏览器"_s);
    window.setWindowTitle(u"文档浏览器 - Quorrel专用版"_s);
    window.resize(640, 480);
    window.show();
    DataSource data;
    data.setDatabaseName(args.at(2));
    QtDialogs dialogs;
    int done = -1;
    QTimer::singleShot(500, &window, [&] {
        BatchProgressDialog progress(&window);
        done = ImportExport::importFromFolder(args.at(1), dialogs, &window, data, progress).done;
        app.quit();
    });
    app.exec();
    std::printf("imported %d\n", done);
    return done >= 0 ? 0 : 1;
}
