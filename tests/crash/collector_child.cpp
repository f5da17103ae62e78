// The collector as the program runs it (window, signal guard, load), driven
// from the test: it drops texts and prints each one once it is acknowledged,
// so the test can end it at any moment and check what survived.
//
//   collector_child <folder> run <prefix> <drops, -1: endless> <exit: 0|1>
//       prints "loaded", waits for a line on stdin, then drops
//       "<prefix>-<n> 摘录\n|" for n = 1, 2, ... printing "ack <n>" after each;
//       then prints "exiting" and takes the exit item (1), or waits to be ended (0)
//   collector_child <folder> load
//       loads (and so recovers) and ends
//   collector_child <folder> filesize <bytes>
//       limits file sizes to <bytes>, drops a text larger than that and a
//       small one, prints "big <pending chars> small <pending chars>", exits
#include "ProgramDir.h"
#include "ScriptedDialogs.h"
#include "SessionGuard.h"
#include "frmCollectorWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

void say(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3)
        return 2;
    ProgramDirOverride programDir(args.at(1));
    const QString mode = args.at(2);

    ScriptedDialogs dialogs;
    frmCollectorWindow collector(dialogs);
    SessionGuard guard(collector);
    if (!collector.Form_Load())
        return 3;
    say("loaded");
    if (mode == QStringLiteral("load"))
        return 0;

    if (mode == QStringLiteral("filesize") && args.size() == 4) {
        const rlimit limit{args.at(3).toULong(), RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Collector& c = collector.collector();
        c.storeDrop(QString(int(limit.rlim_cur), QLatin1Char('x')));
        const qsizetype big = c.pendingText().size();
        c.storeDrop(QStringLiteral("small"));
        say("big " + QByteArray::number(big) + " small " + QByteArray::number(c.pendingText().size()));
        QTimer::singleShot(0, &collector, &frmCollectorWindow::Exit_Click); // needs the event loop
        return app.exec();
    }

    if (mode != QStringLiteral("run") || args.size() != 6)
        return 2;
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 4;
    const QString prefix = args.at(3);
    const int drops = args.at(4).toInt();
    const bool exit = args.at(5) == QStringLiteral("1");
    int n = 0;
    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, &collector, [&] {
        if (drops >= 0 && n >= drops) {
            loop.stop();
            if (exit) {
                say("exiting");
                collector.Exit_Click();
            }
            return;
        }
        ++n;
        collector.Label1_OLEDragDrop(prefix + u'-' + QString::number(n) + QStringLiteral(" 摘录\n|"));
        say("ack " + QByteArray::number(n));
    });
    loop.start(0);
    return app.exec();
}
