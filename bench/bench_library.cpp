// The document browser at scale: opening it until its list is painted, with
// 100,000 and 1,000,000 records; scrolling; one row click showing 10 KB and
// 10 MB of content; one delete at 1,000,000 records.
//
//   bench_library [folder]
//
// The databases are made in a temporary folder (under TMPDIR) unless a folder
// is given. Each measurement runs in a child process of its own, so the peak
// memory it reports (ru_maxrss) is the browser's, not the filling's. Runs on
// the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "ProgramDir.h"
#include "RichTextBox.h"
#include "ScriptedDialogs.h"
#include "Sqlite.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Counts paints of a widget, so a measurement ends when the user would see it.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Processes events until `watch` saw a new paint (or two seconds passed).
void waitForPaint(PaintWatch& watch, QWidget* widget)
{
    const int before = watch.paints;
    widget->update();
    QElapsedTimer limit;
    limit.start();
    while (watch.paints == before && limit.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// `bytesWanted` of UTF-8 in lines of clipped web text, or in one line.
QString documentText(qsizetype bytesWanted, bool oneLine = false)
{
    const QString line = oneLine ? u"网页上选中的一段文字，拖到收集器上保存，之后阅读。Some English words. "_s
                                 : u"网页上选中的一段文字，拖到收集器上保存，之后阅读。Some English words.\n"_s;
    const qsizetype lineBytes = line.toUtf8().size();
    return line.repeated((bytesWanted + lineBytes - 1) / lineBytes);
}

bool fill(const QString& path, qint64 records)
{
    QFile::remove(path);
    SqliteDatabase db;
    SqliteStatement insert;
    SqliteError e;
    if (!db.open(path, SqliteOpenMode::ReadWriteCreate, &e)
        || !db.exec("CREATE TABLE WebDocuments (\"标题\" TEXT, \"内容\" TEXT)", &e)
        || !db.exec("BEGIN", &e)
        || !insert.prepare(db, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)", &e)) {
        std::fprintf(stderr, "cannot fill %s: %s\n", qPrintable(path), qPrintable(e.message));
        return false;
    }
    // About 250 bytes a record, as in the database benchmark.
    const QString body = u"网页上选中的一段文字，拖到收集器上保存。Some English text too. "_s.repeated(3);
    const auto add = [&](const QString& title, const QString& content) {
        insert.reset();
        return insert.bindText(1, title, &e) && insert.bindText(2, content, &e)
            && insert.step(&e) == SqliteStep::Done;
    };
    // The two large records come first, so they are on the first screen.
    if (!add(u"十千字节的文档"_s, documentText(10 * 1024))
        || !add(u"十兆字节的文档"_s, documentText(10 * 1024 * 1024))
        || !add(u"十兆字节的一行"_s, documentText(10 * 1024 * 1024, true)))
        return false;
    for (qint64 i = 3; i < records; ++i) {
        if (!add(u"网页文摘 %1"_s.arg(i), body)) {
            std::fprintf(stderr, "insert %lld failed: %s\n", i, qPrintable(e.message));
            return false;
        }
    }
    insert.finalize();
    return db.exec("COMMIT", &e);
}

// One child run on the database in `folder`.
int child(const QString& folder, bool withDelete)
{
    ProgramDirOverride programDir(folder);
    ScriptedDialogs dialogs;

    QElapsedTimer timer;
    timer.start();
    double cpu = cpuMs();
    auto* window = new frmMain(dialogs);
    PaintWatch listPaints(window->List1()->viewport());
    window->show();
    window->Form_Load();
    waitForPaint(listPaints, window->List1()->viewport());
    const double openMs = double(timer.nsecsElapsed()) / 1e6;
    const double openCpuMs = cpuMs() - cpu;
    const DocumentList& list = window->browser().List1();
    while (!list.isComplete())
        QCoreApplication::processEvents();
    const double listedMs = double(timer.nsecsElapsed()) / 1e6;
    const double listedCpuMs = cpuMs() - cpu;
    const int rows = window->List1()->model()->rowCount();
    timer.restart();
    cpu = cpuMs();
    const qsizetype scanned = window->recordset().bookmarks().value_or(QList<qint64>()).size();
    const double scanMs = double(timer.nsecsElapsed()) / 1e6;
    const double scanCpuMs = cpuMs() - cpu;

    // Scrolling: jumps to random places, each until painted; the worst counts.
    QScrollBar* bar = window->List1()->verticalScrollBar();
    std::mt19937 random(7);
    double worstScrollMs = 0;
    for (int i = 0; i < 40; ++i) {
        timer.restart();
        bar->setValue(std::uniform_int_distribution<int>(0, bar->maximum())(random));
        waitForPaint(listPaints, window->List1()->viewport());
        worstScrollMs = std::max(worstScrollMs, double(timer.nsecsElapsed()) / 1e6);
    }
    bar->setValue(0);
    waitForPaint(listPaints, window->List1()->viewport());

    // A click until the content box is painted; then until it holds all.
    PaintWatch textPaints(window->text1()->viewport());
    double clickMs[3] = {0, 0, 0};
    double wholeMs[3] = {0, 0, 0};
    for (int row = 0; row < 3; ++row) {
        timer.restart();
        window->List1()->setCurrentIndex(window->List1()->model()->index(row, 0));
        waitForPaint(textPaints, window->text1()->viewport());
        clickMs[row] = double(timer.nsecsElapsed()) / 1e6;
        while (!window->contentComplete())
            QCoreApplication::processEvents();
        wholeMs[row] = double(timer.nsecsElapsed()) / 1e6;
    }

    double deleteMs = -1;
    double deleteCpuMs = -1;
    if (withDelete) {
        window->List1()->setCurrentIndex(window->List1()->model()->index(rows / 2, 0));
        dialogs.answers = {Dialogs::Answer::Yes};
        timer.restart();
        cpu = cpuMs();
        window->Button2_Click();
        waitForPaint(listPaints, window->List1()->viewport());
        deleteMs = double(timer.nsecsElapsed()) / 1e6;
        deleteCpuMs = cpuMs() - cpu;
        while (!list.isComplete())
            QCoreApplication::processEvents();
        if (window->List1()->model()->rowCount() != rows - 1)
            std::printf("  delete FAILED\n");
    }

    std::printf("  %d rows: open to list painted %7.1f ms (CPU %7.1f ms)   worst of 40 scroll jumps %6.1f ms\n"
                "    every row listed after %7.1f ms (CPU %7.1f ms); one scan of every bookmark alone %7.1f ms (CPU %7.1f ms, %lld)\n"
                "  row click to content painted (to content all in the box):\n"
                "    10 KB %7.1f ms (%7.1f)   10 MB in lines %7.1f ms (%7.1f)   10 MB in one line %7.1f ms (%7.1f)\n",
                rows, openMs, openCpuMs, worstScrollMs, listedMs, listedCpuMs, scanMs, scanCpuMs,
                qint64(scanned),
                clickMs[0], wholeMs[0], clickMs[1], wholeMs[1], clickMs[2], wholeMs[2]);
    if (withDelete)
        std::printf("  one delete (ask, delete, re-read, list painted) %7.1f ms (CPU %7.1f ms)\n",
                    deleteMs, deleteCpuMs);
    std::printf("  peak resident memory %6.1f MB\n", peakMegabytes());
    delete window;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args.at(1) == u"--child")
        return child(args.at(2), args.size() > 3 && args.at(3) == u"--delete");

    QTemporaryDir temporary;
    const QString root = args.size() > 1 ? args.at(1) : temporary.path();
    std::printf("platform %s; wall times, with the process's CPU time where the machine may be busy\n",
                qPrintable(QGuiApplication::platformName()));
    for (const qint64 records : {qint64(100'000), qint64(1'000'000)}) {
        const QString folder = root + u"/records-%1"_s.arg(records);
        QDir().mkpath(folder);
        QElapsedTimer timer;
        timer.start();
        if (!fill(folder + u"/WebDocuments.mdb"_s, records))
            return 1;
        std::printf("%lld records (three of 10 KB, 10 MB, 10 MB in one line), filled in %.1f s\n", records,
                    double(timer.elapsed()) / 1e3);
        std::fflush(stdout);
        // Once to warm the file cache as a second opening would find it, then measured.
        for (int run = 0; run < 2; ++run) {
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedChannels);
            if (run == 0)
                process.setStandardOutputFile(QProcess::nullDevice());
            QStringList childArgs{u"--child"_s, folder};
            if (records == 1'000'000 && run == 1)
                childArgs << u"--delete"_s;
            process.start(QCoreApplication::applicationFilePath(), childArgs);
            process.waitForFinished(-1);
        }
    }
    return 0;
}
