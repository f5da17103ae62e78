// The collector's costs: start-up to the face painted against a bare Qt
// window, and one drop in each save mode, with what the syncs to the disk
// add (the journal of cached drops, numbered files, Doc.dat at the exit).
//
//   bench_collector            all figures
//   bench_collector append     the append figures only
//   bench_collector --files    only the drops that write files (append, create)
//   bench_collector --child collector|minimal   (used by the start-up figure)
//   bench_collector --peak idle|append|rewrite|raw <Doc.dat>   (the memory figure)
#include "Collector.h"
#include "Dialogs.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "Rtf.h"
#include "Sqlite.h"
#include "frmCollectorWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class SilentDialogs final : public Dialogs {
public:
    Answer message(QWidget*, const QString&, const QString&, Icon, Buttons) override
    {
        return Answer::Ok;
    }
    std::optional<QString> inputText(QWidget*, const QString&, const QString&,
                                     const QString&, const QString&) override
    {
        return u"标题"_s;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString existingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QColor> color(QWidget*, const QColor&) override { return std::nullopt; }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double timeMs(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

// Shows one window and quits once it has been painted; prints peak RSS in KiB.
class PaintWatcher : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(o, e);
    }
};

int child(int argc, char* argv[], const QString& what)
{
    QApplication app(argc, argv);
    PaintWatcher watcher;
    SilentDialogs dialogs;
    QTemporaryDir dir;
    ProgramDirOverride programDir(dir.path());
    std::unique_ptr<QWidget> window;
    if (what == u"collector"_s) {
        auto collector = std::make_unique<frmCollectorWindow>(dialogs);
        collector->findChild<QWidget*>(u"Label1"_s)->installEventFilter(&watcher);
        collector->Form_Load();
        window = std::move(collector);
    } else {
        window = std::make_unique<QWidget>();
        window->resize(37, 37);
        window->installEventFilter(&watcher);
        window->show();
    }
    app.exec();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}

void startup(const QString& self)
{
    std::printf("start-up to first paint (median of 15 runs, platform %s):\n",
                qEnvironmentVariable("QT_QPA_PLATFORM", u"default"_s).toUtf8().constData());
    double base = 0;
    for (const QString& what : {u"minimal"_s, u"collector"_s}) {
        std::vector<double> times;
        long rss = 0;
        for (int i = 0; i < 15; ++i) {
            QProcess p;
            QElapsedTimer t;
            t.start();
            p.start(self, {u"--child"_s, what});
            p.waitForFinished(60000);
            times.push_back(t.nsecsElapsed() / 1e6);
            rss = std::max(rss, p.readAllStandardOutput().trimmed().toLong());
        }
        const double ms = median(times);
        if (what == u"minimal"_s)
            base = ms;
        std::printf("  %-10s %8.1f ms  peak RSS %6.1f MB", what.toUtf8().constData(), ms,
                    rss / 1024.0);
        if (what == u"collector"_s)
            std::printf("  ratio %.2fx (goal <= 1.5x, RSS <= 40 MB)", ms / base);
        std::printf("\n");
    }
}

QString sampleText(qsizetype bytes)
{
    const QString line = u"摘录的一段文字 Some selected text from a web page, 123.\n"_s;
    const qsizetype lineBytes = line.toUtf8().size();
    QString text;
    for (qsizetype size = 0; size < bytes; size += lineBytes) // not toUtf8() each time: 10 MB took minutes
        text += line;
    return text;
}

void appendAtOnce()
{
    std::printf("append at once, one drop (median of 9):\n");
    for (qsizetype size : {qsizetype(1) << 10, qsizetype(1) << 20, qsizetype(10) << 20}) {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        SilentDialogs dialogs;
        Collector c(dialogs);
        c.save = u"append"_s;
        c.CacheUpdate = false;
        RichTextBuffer doc;
        doc.setText(sampleText(size));
        doc.SaveFile(c.defaultDocumentPath());
        const qsizetype fileSize = QFileInfo(c.defaultDocumentPath()).size();
        std::vector<double> drops, raws, synced;
        const auto raw = [&](bool sync) {
            QFile in(c.defaultDocumentPath());
            in.open(QIODevice::ReadOnly);
            const QByteArray bytes = in.readAll();
            QFile out(dir.filePath(u"raw.bin"_s));
            out.open(QIODevice::WriteOnly);
            out.write(bytes);
            out.flush();
            if (sync)
                ::fdatasync(out.handle());
        };
        for (int i = 0; i < 9; ++i) {
            drops.push_back(timeMs([&] { c.storeDrop(u"x"_s); }));
            raws.push_back(timeMs([&] { raw(false); }));
            synced.push_back(timeMs([&] { raw(true); }));
        }
        const double d = median(drops), r = median(raws);
        std::printf("  Doc.dat %9lld bytes: drop %8.2f ms (%.1fx raw); raw read+write %7.2f ms"
                    " (goal <= 5x), with fdatasync %7.2f ms\n",
                    static_cast<long long>(fileSize), d, d / r, r, median(synced));
    }
}

QByteArray escapedBytes(QByteArrayView bytes)
{
    QByteArray out;
    for (const char c : bytes)
        out += "\\'" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    return out;
}

// An RTF document as a Chinese word processor writes it: GBK bytes as \'hh,
// formatting groups, paragraphs, and a 4 KB picture every 200 lines.
QByteArray foreignDocument(qsizetype bytes)
{
    QByteArray doc = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0"
                     "\\fnil\\fprq2\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}{\\f1\\fswiss\\fcharset0 "
                     "Arial;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard"
                     "\\lang2052\\f0\\fs20 ";
    QStringEncoder gbk("GB18030");
    const QByteArray chinese = escapedBytes(QByteArray(gbk.encode(u"摘录的一段文字"_s)));
    const QByteArray line =
        chinese + " {\\b\\cf1 Some} selected {\\f1 text} from a web page, 123.\\par\r\n";
    QByteArray picture = "{\\pict\\pngblip\\picw100\\pich100\\picwgoal1500\\pichgoal1500 ";
    for (int i = 0; i < 4096; ++i)
        picture += QByteArray::number(i * 7 % 256, 16).rightJustified(2, '0') + (i % 64 == 63 ? "\r\n" : "");
    picture += "}\\par\r\n";
    for (int n = 1; doc.size() < bytes; ++n) {
        doc += line;
        if (n % 200 == 0)
            doc += picture;
    }
    doc += "}\r\n";
    return doc;
}

// Synced, so that its write-back does not run into the figure that follows.
bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           ::fdatasync(file.handle()) == 0;
}

// A Doc.dat another program wrote: the append inserts the drop and keeps the
// document; before, each drop read the text and rewrote the document.
void appendToForeign()
{
    std::printf("append to a foreign Doc.dat, one drop (median of 9):\n");
    for (qsizetype size : {qsizetype(17) << 20}) {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        SilentDialogs dialogs;
        Collector c(dialogs);
        c.save = u"append"_s;
        c.CacheUpdate = false;
        const QString path = c.defaultDocumentPath();
        const QByteArray foreign = foreignDocument(size);
        std::vector<double> drops, rewrites, synced;
        for (int i = 0; i < 9; ++i) {
            writeFile(path, foreign);
            drops.push_back(timeMs([&] { c.storeDrop(u"新的一段 x"_s); }));
            writeFile(path, foreign);
            rewrites.push_back(timeMs([&] {
                RichTextBuffer doc;
                doc.LoadFile(path);
                doc.setText(doc.Text() + u"新的一段 x"_s);
                doc.SaveFile(path);
            }));
            synced.push_back(timeMs([&] {
                QFile in(path);
                in.open(QIODevice::ReadOnly);
                const QByteArray bytes = in.readAll();
                QFile out(dir.filePath(u"raw.bin"_s));
                out.open(QIODevice::WriteOnly);
                out.write(bytes);
                out.flush();
                ::fdatasync(out.handle());
            }));
        }
        std::vector<double> finds, reads;
        for (int i = 0; i < 9; ++i) {
            finds.push_back(timeMs([&] { (void)Rtf::insertion(foreign, u"新的一段 x"_s); }));
            reads.push_back(timeMs([&] { (void)Rtf::read(foreign); }));
        }
        const double d = median(drops), w = median(rewrites), r = median(synced);
        std::printf("  Doc.dat %9lld bytes: drop %8.2f ms (%.2fx raw); read+rewrite as before %8.2f ms"
                    " (%.2fx raw); raw read+write with fdatasync %7.2f ms\n",
                    static_cast<long long>(foreign.size()), d, d / r, w, w / r, r);
        std::printf("  in memory: finding the place %.2f ms, reading the text %.2f ms\n",
                    median(finds), median(reads));
    }
}

// Peak memory of one drop into a 110 MB foreign Doc.dat, each in a process
// of its own: an idle process, the append, the former read and rewrite, and
// a raw read + write with fdatasync.
void peakMemory(const QString& self)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Doc.dat"_s);
    const QByteArray foreign = foreignDocument(qsizetype(110) << 20);
    std::printf("peak RSS, one drop into a foreign Doc.dat of %lld bytes:\n",
                static_cast<long long>(foreign.size()));
    for (const QString& what : {u"idle"_s, u"append"_s, u"rewrite"_s, u"raw"_s}) {
        writeFile(path, foreign);
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(self, {u"--peak"_s, what, path});
        p.waitForFinished(600000);
        const double ms = t.nsecsElapsed() / 1e6;
        std::printf("  %-8s %8.1f MB  (%.0f ms with start-up)\n", what.toUtf8().constData(),
                    p.readAllStandardOutput().trimmed().toLong() / 1024.0, ms);
    }
}

int peakChild(int argc, char* argv[], const QString& what, const QString& path)
{
    QApplication app(argc, argv);
    SilentDialogs dialogs;
    ProgramDirOverride programDir(QFileInfo(path).path());
    Collector c(dialogs);
    c.save = u"append"_s;
    c.CacheUpdate = false;
    if (what == u"append"_s) {
        c.storeDrop(u"新的一段 x"_s);
    } else if (what == u"rewrite"_s) {
        RichTextBuffer doc;
        doc.LoadFile(path);
        doc.setText(doc.Text() + u"新的一段 x"_s);
        doc.SaveFile(path);
    } else if (what == u"raw"_s) {
        QFile in(path);
        in.open(QIODevice::ReadOnly);
        const QByteArray bytes = in.readAll();
        QFile out(path + u".raw"_s);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.flush();
        ::fdatasync(out.handle());
    }
    // VmHWM, not getrusage: ru_maxrss keeps the forking parent's peak.
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                std::printf("%s\n", line.mid(6).trimmed().split(' ').value(0).constData());
        }
    }
    return 0;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

// One cached drop: the text appended to the journal and synced, against a
// bare write + fdatasync of the same bytes to a file of the same folder.
void cachedDrops()
{
    std::printf("cached append, one drop (journal write + fdatasync), 200 drops each:\n");
    for (qsizetype size : {qsizetype(100), qsizetype(10) << 10}) {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        SilentDialogs dialogs;
        Collector c(dialogs);
        c.save = u"append"_s;
        c.CacheUpdate = true;
        const QString text = sampleText(size);
        const QByteArray bytes = text.toUtf8();
        std::vector<double> drops, raws;
        QFile raw(dir.filePath(u"raw.bin"_s));
        raw.open(QIODevice::WriteOnly);
        for (int i = 0; i < 200; ++i) {
            drops.push_back(timeMs([&] { c.storeDrop(text); }));
            raws.push_back(timeMs([&] {
                raw.write(bytes);
                raw.flush();
                ::fdatasync(raw.handle());
            }));
        }
        std::printf("  %6lld bytes: drop median %.3f ms, 90%% %.3f ms; bare write+fdatasync"
                    " median %.3f ms\n",
                    static_cast<long long>(bytes.size()), median(drops),
                    percentile(drops, 0.9), median(raws));
        // The exit's write of all of it: hand-over record, Doc.dat written
        // and synced with its folder, the journal removed.
        const double exit = timeMs([&] { c.WriteDefaultDocument(); });
        std::printf("          exit write of %lld KiB cached: %.2f ms\n",
                    static_cast<long long>(bytes.size() * 200 / 1024), exit);
    }
}

void createWithManyFiles()
{
    QTemporaryDir dir;
    ProgramDirOverride programDir(dir.path());
    SilentDialogs dialogs;
    Collector c(dialogs);
    c.save = u"create"_s;
    c.filepath = dir.path() + u"/Documents/"_s;
    QDir().mkdir(c.filepath);
    for (int n = 0; n < 32000; ++n) {
        QFile f(c.numberedFilePath(n));
        f.open(QIODevice::WriteOnly);
    }
    const double scan = timeMs([&] { c.FindFreeFileNumber(); });
    std::vector<double> drops, bare;
    for (int i = 0; i < 50; ++i)
        drops.push_back(timeMs([&] { c.storeDrop(u"text"_s); }));
    // The same file made in place without any sync, as before.
    for (int i = 0; i < 50; ++i) {
        bare.push_back(timeMs([&] {
            QFile f(c.numberedFilePath(c.nextFileNumber() + 100 + i));
            f.open(QIODevice::WriteOnly | QIODevice::NewOnly);
            f.write("text\r\n");
        }));
    }
    std::printf("create with 32,000 numbered files: start-up scan %.1f ms, drop median %.3f ms,"
                " 90%% %.3f ms (goal < 2 ms; whole file synced with its folder);"
                " unsynced in-place file %.3f ms\n",
                scan, median(drops), percentile(drops, 0.9), median(bare));
}

void databaseWithManyRecords()
{
    QTemporaryDir dir;
    ProgramDirOverride programDir(dir.path());
    const QString path = ProgramDir() + u"WebDocuments.mdb"_s;
    {
        SqliteDatabase db;
        db.open(path, SqliteOpenMode::ReadWriteCreate);
        db.exec("CREATE TABLE WebDocuments (\"标题\" TEXT, \"内容\" TEXT)");
        db.exec("BEGIN");
        SqliteStatement insert;
        insert.prepare(db, "INSERT INTO WebDocuments VALUES (?1, ?2)");
        const QString content = sampleText(300);
        for (int i = 0; i < 1000000; ++i) {
            const QString title = u"文档 "_s + QString::number(i);
            insert.bindText(1, title);
            insert.bindText(2, content);
            insert.step();
            insert.reset();
        }
        db.exec("COMMIT");
    }
    SilentDialogs dialogs;
    Collector c(dialogs);
    c.save = u"database"_s;
    c.autoname = true;
    c.bindDatabase();
    std::vector<double> drops;
    for (int i = 0; i < 50; ++i)
        drops.push_back(timeMs([&] { c.storeDrop(u"dropped text"_s); }));
    std::printf("database with 1,000,000 records: drop median %.2f ms, max %.2f ms"
                " (goal < 20 ms)\n",
                median(drops), *std::max_element(drops.begin(), drops.end()));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--child")
        return child(argc, argv, QString::fromLatin1(argv[2]));
    if (argc == 4 && QByteArray(argv[1]) == "--peak")
        return peakChild(argc, argv, QString::fromLatin1(argv[2]), QString::fromLocal8Bit(argv[3]));
    QApplication app(argc, argv);
    const bool filesOnly = argc == 2 && QByteArray(argv[1]) == "--files";
    if (argc == 2 && QByteArray(argv[1]) == "append") {
        appendAtOnce();
        appendToForeign();
        peakMemory(QCoreApplication::applicationFilePath());
        return 0;
    }
    if (!filesOnly)
        startup(QCoreApplication::applicationFilePath());
    appendAtOnce();
    cachedDrops();
    if (!filesOnly) {
        appendToForeign();
        peakMemory(QCoreApplication::applicationFilePath());
    }
    createWithManyFiles();
    if (!filesOnly)
        databaseWithManyRecords();
    return 0;
}
