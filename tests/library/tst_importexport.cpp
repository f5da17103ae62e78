#include "BatchProgressDialog.h"
#include "../faults/Faults.h"
#include "DataSource.h"
#include "ImportExport.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "TestMain.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"标题"_s;
const QString kContent = u"内容"_s;

// Gives the window a turn after every `every` items (never for 0) and asks
// to stop at the update that reports `stopAt` done.
class ScriptedProgress final : public BatchProgress {
public:
    int every = 1;
    int stopAt = -1;
    int total = -1;
    QList<int> updates;
    int finished = 0;

    void begin(const QString&, const QString&, int found) override { total = found; }
    bool due() override { return every > 0 && ++m_items % every == 0; }
    bool update(int done) override
    {
        updates << done;
        return done != stopAt;
    }
    void finish() override { ++finished; }

private:
    int m_items = 0;
};

struct Library {
    QTemporaryDir dir;
    DataSource data;
    ScriptedDialogs dialogs;
    ScriptedProgress progress;

    Library()
    {
        const QString path = dir.filePath(u"WebDocuments.mdb"_s);
        TestFiles::copyEmptyDatabase(path);
        data.setDatabaseName(path);
    }

    QString folder(const QString& name) const
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name) + u'/';
    }

    bool add(const QString& title, const QString& content)
    {
        Recordset& rs = data.recordset();
        return (data.isOpen() || data.Refresh()) && rs.AddNew() && rs.setField(kTitle, title)
            && rs.setField(kContent, content) && rs.Update();
    }

    QStringList records() const { return TestFiles::recordsIn(data.DatabaseName()); }

    ImportExport::BatchResult importFolder(const QString& folder)
    {
        dialogs.fileNames.push_back(folder);
        return ImportExport::importFolder(dialogs, nullptr, data, progress);
    }
    ImportExport::BatchResult exportAll(const QString& folder)
    {
        dialogs.fileNames.push_back(folder);
        return ImportExport::exportAll(dialogs, nullptr, data, progress);
    }
    QStringList messages() const { return dialogs.messageTexts(); }
};

void write(const QString& path, const QByteArray& bytes)
{
    QVERIFY2(TestFiles::writeBytes(path, bytes), qPrintable(path));
}

using TestFiles::bytesOf;
using TestFiles::namesIn;

} // namespace

class ImportExportTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void singleImportTitlesWithTheWholePath()
    {
        Library lib;
        const QString folder = lib.folder(u"in"_s);
        write(folder + u"a.txt"_s, "first line\r\nsecond line\r\n");

        lib.dialogs.fileNames = {folder + u"a.txt"_s};
        QVERIFY(ImportExport::importFile(lib.dialogs, nullptr, lib.data));
        QCOMPARE(lib.dialogs.fileFilters, QStringList{u"导入文档|文本文件 (*.txt)"_s});
        QCOMPARE(lib.records(), QStringList{folder + u"a.txt|first line\nsecond line\n"_s});

        // Cancelled, missing, a FIFO, a folder: silently nothing, and no hang.
        Faults::Fifo fifo(folder + u"fifo.txt"_s); // freed within a second if opened
        QVERIFY(fifo.made());
        QDir(folder).mkdir(u"dir.txt"_s);
        lib.dialogs.fileNames = {QString(), folder + u"missing.txt"_s,
                                        folder + u"fifo.txt"_s, folder + u"dir.txt"_s};
        for (int i = 0; i < 4; ++i)
            QVERIFY(!ImportExport::importFile(lib.dialogs, nullptr, lib.data));
        QVERIFY2(!fifo.blocked(), "the import waited on the FIFO");
        QCOMPARE(lib.records().size(), 1);
        QVERIFY(lib.messages().isEmpty());

        // A database that cannot be opened stores nothing and says nothing.
        lib.data.setDatabaseName(folder + u"none.mdb"_s);
        lib.dialogs.fileNames = {folder + u"a.txt"_s};
        QVERIFY(!ImportExport::importFile(lib.dialogs, nullptr, lib.data));
        QVERIFY(lib.messages().isEmpty());
    }

    void batchImportTakesRegularTextFilesInNameOrder()
    {
        Library lib;
        lib.progress.every = 3; // a turn now and then, and one at the end
        QVERIFY(lib.add(u"old"_s, u"kept"_s));
        const QString folder = lib.folder(u"in"_s);
        using Pairs = std::initializer_list<std::pair<QString, const char*>>;
        for (const auto& [name, bytes] : Pairs{{u"b.txt"_s, ""}, {u"a.txt"_s, "alpha"},
                 {u"C.TXT"_s, "upper case"}, {u"notes.md"_s, "not text"},
                 {u".hidden.txt"_s, "hidden"}, {u"target"_s, "through a link"}})
            write(folder + name, bytes);
        QDir(folder).mkdir(u"x.txt"_s);
        Faults::Fifo fifo(folder + u"y.txt"_s); // freed within a second if opened
        QVERIFY(fifo.made());
        for (const auto& [name, to] : Pairs{{u"z.txt"_s, "nowhere"}, {u"loop1.txt"_s, "loop2.txt"},
                 {u"loop2.txt"_s, "loop1.txt"}, {u"link.txt"_s, "target"}})
            QVERIFY(::symlink(to, QFile::encodeName(folder + name).constData()) == 0);

        const ImportExport::BatchResult result = lib.importFolder(folder.chopped(1));
        QCOMPARE(result.folder, folder);
        QCOMPARE(result.done, 4);
        QVERIFY(!result.failed && !result.cancelled && !fifo.blocked());
        QCOMPARE(result.notFiles, 5); // a folder, a FIFO, three links leading nowhere
        QCOMPARE(lib.messages().size(), 1); // which says so
        QCOMPARE(lib.records(), (QStringList{u"old|kept"_s, u"a.txt|alpha"_s, u"b.txt|"_s,
                                             u"C.TXT|upper case"_s,
                                             u"link.txt|through a link"_s}));
        QCOMPARE(lib.progress.total, 4);
        QCOMPARE(lib.progress.updates, (QList<int>{3, 4}));
        QCOMPARE(lib.progress.finished, 1);
        // Refreshed: the first record is current again.
        QCOMPARE(lib.data.recordset().field(kTitle).value(), u"old"_s);

        // Cancelled at the folder dialog, or a folder without text files: nothing.
        QCOMPARE(lib.importFolder(QString()).folder, QString());
        QCOMPARE(lib.importFolder(lib.folder(u"empty"_s)).done, 0);
        QCOMPARE(lib.records().size(), 5);
        QCOMPARE(lib.messages().size(), 1);
    }

    // What an unpacked archive may hold beside its text files: a binary file
    // named .txt, links leading out of the folder (to the environment, a
    // device, a key kept elsewhere). Each is passed over, counted and told;
    // a link within the folder and text with a stray NUL are read.
    void batchImportPassesOverWhatIsNoTextOfTheFolder_data()
    {
        QTest::addColumn<QByteArray>("link"); // where a.txt leads; "": a.txt is a file
        QTest::addColumn<QByteArray>("bytes"); // of a.txt, or of the link's target in the test
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("notText");
        QTest::addColumn<int>("notFiles");
        QImage picture(32, 32, QImage::Format_RGB32);
        for (int i = 0; i < 32 * 32; ++i)
            picture.setPixel(i % 32, i / 32, qRgb(i * 7 % 256, i * 13 % 256, i * 29 % 256));
        QBuffer png;
        QVERIFY(png.open(QIODevice::WriteOnly) && picture.save(&png, "PNG"));
        QTest::newRow("PNG named .txt") << QByteArray() << png.data() << 0 << 1 << 0;
        QTest::newRow("text with a NUL") << QByteArray() << QByteArray("a\0b", 3) << 1 << 0 << 0;
        QTest::newRow("link to the environment") << QByteArray("/proc/self/environ")
                                                 << QByteArray() << 0 << 0 << 1;
        QTest::newRow("link to a device") << QByteArray("/dev/zero") << QByteArray() << 0 << 0 << 1;
        QTest::newRow("link to a file elsewhere") << QByteArray("../keys/id_rsa")
                                                  << QByteArray("secret key") << 0 << 0 << 1;
        QTest::newRow("link within the folder") << QByteArray("sub/inner")
                                                << QByteArray("inner text") << 1 << 0 << 0;
    }
    void batchImportPassesOverWhatIsNoTextOfTheFolder()
    {
        QFETCH(QByteArray, link);
        QFETCH(QByteArray, bytes);
        QFETCH(int, done);
        QFETCH(int, notText);
        QFETCH(int, notFiles);
        Library lib;
        const QString folder = lib.folder(u"in"_s);
        lib.folder(u"in/sub"_s);
        lib.folder(u"keys"_s);
        if (link.isEmpty()) {
            write(folder + u"a.txt"_s, bytes);
        } else {
            if (!link.startsWith('/'))
                write(folder + QString::fromUtf8(link), bytes);
            QVERIFY(::symlink(link.constData(), QFile::encodeName(folder + u"a.txt"_s)) == 0);
        }
        const ImportExport::BatchResult result = lib.importFolder(folder);
        QVERIFY(!result.failed);
        QCOMPARE((QList<int>{result.done, result.notText, result.notFiles}),
                 (QList<int>{done, notText, notFiles}));
        QCOMPARE(lib.records().size(), done);
        QCOMPARE(lib.messages().size(), notText + notFiles > 0 ? 1 : 0);
    }

    void chineseTextReadsAlikeFromEveryEncoding()
    {
        Library lib;
        const QString folder = lib.folder(u"in"_s);
        write(folder + u"1 gbk.txt"_s, "\xd6\xd0\xce\xc4\xce\xc4\xb1\xbe\r\n\xb5\xda\xb6\xfe\xd0\xd0");
        write(folder + u"2 utf8.txt"_s, u"中文文本\r\n第二行"_s.toUtf8());
        write(folder + u"3 bom.txt"_s, "\xef\xbb\xbf" + u"中文文本\n第二行"_s.toUtf8());
        write(folder + u"4 rtf.txt"_s,
              "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}"
              "{\\colortbl;\\red0\\green0\\blue0;}\\f0\\fs18 \\'d6\\'d0\\'ce\\'c4"
              "{\\b \\u25991?\\u26412?}\\par \\'b5\\'da\\'b6\\'fe\\'d0\\'d0}");
        write(folder + u"5 nul.txt"_s, QByteArray("\xe4\xb8\xad\0\xe6\x96\x87\xe6\x96\x87\xe6\x9c\xac", 13)
                                           + "\n" + u"第二行"_s.toUtf8());

        QCOMPARE(lib.importFolder(folder).done, 5);
        QStringList expected;
        for (const char* name : {"1 gbk", "2 utf8", "3 bom", "4 rtf", "5 nul"})
            expected << QString::fromLatin1(name) + u".txt|中文文本\n第二行"_s;
        QCOMPARE(lib.records(), expected);
    }

    void batchExportNumbersFreeNamesAndNeverOverwrites()
    {
        Library lib;
        for (const QString& text : {u"一\n二"_s, QString(), u"third"_s})
            QVERIFY(lib.add(u"title "_s + text, text));
        const QString folder = lib.folder(u"out"_s);
        write(folder + u"0.txt"_s, "old zero");
        write(folder + u"2.txt"_s, "old two");

        ImportExport::BatchResult result = lib.exportAll(folder.chopped(1));
        QCOMPARE(result.done, 3);
        QVERIFY(lib.messages().isEmpty());
        QCOMPARE((QList<QByteArray>{bytesOf(folder + u"0.txt"_s), bytesOf(folder + u"1.txt"_s),
                                    bytesOf(folder + u"2.txt"_s), bytesOf(folder + u"3.txt"_s),
                                    bytesOf(folder + u"4.txt"_s)}),
                 (QList<QByteArray>{"old zero", u"一\r\n二\r\n"_s.toUtf8(), "old two", "\r\n",
                                    "third\r\n"})); // no title
        // No current record: the browser's delete and modify do nothing.
        QVERIFY(lib.data.recordset().isEOF() && !lib.data.recordset().Bookmark());

        // A second export goes on after the first; names held by a folder or a
        // link are passed over, and nothing is written through the link.
        QDir(folder).mkdir(u"5.txt"_s);
        QVERIFY(::symlink("elsewhere.txt", QFile::encodeName(folder + u"6.txt"_s).constData()) == 0);
        QCOMPARE(lib.exportAll(folder).done, 3);
        QCOMPARE(namesIn(folder).join(u' '), u"0.txt 1.txt 2.txt 3.txt 4.txt 5.txt 6.txt 7.txt "
                                             u"8.txt 9.txt"_s);
        QCOMPARE(bytesOf(folder + u"9.txt"_s), "third\r\n");
        QVERIFY(!QFile::exists(folder + u"elsewhere.txt"_s));

        // An empty database exports nothing.
        Library empty;
        const QString none = empty.folder(u"out"_s);
        QCOMPARE(empty.exportAll(none).done, 0);
        QVERIFY(namesIn(none).isEmpty());
        QVERIFY(empty.messages().isEmpty());
    }

    void exportOfTheShownTextWritesItWithCrLf()
    {
        Library lib;
        const QString folder = lib.folder(u"out"_s);
        const QString path = folder + u"shown"_s; // no extension is added
        write(path, "replaced whole");
        lib.dialogs.fileNames = {path};
        QVERIFY(ImportExport::exportShown(lib.dialogs, nullptr, u"一\n二\r\n三\r四"_s));
        QCOMPARE(lib.dialogs.fileFilters, QStringList{u"导出文档|文本文件 (*.txt)"_s});
        QCOMPARE(bytesOf(path), u"一\r\n二\r\n三\r\n四\r\n"_s.toUtf8());

        // The box is empty after a deletion or an edit: the file holds CR LF.
        lib.dialogs.fileNames = {path};
        QVERIFY(ImportExport::exportShown(lib.dialogs, nullptr, QString()));
        QCOMPARE(bytesOf(path), "\r\n");

        // Cancelled, or a folder that is not there: silently no file.
        lib.dialogs.fileNames = {QString(), folder + u"missing/x.txt"_s};
        for (int i = 0; i < 2; ++i)
            QVERIFY(!ImportExport::exportShown(lib.dialogs, nullptr, u"x"_s));
        QCOMPARE(namesIn(folder), QStringList{u"shown"_s});
        QVERIFY(lib.messages().isEmpty());
    }

    void aFailureStopsTheBatchAndKeepsWhatWasDone()
    {
        // Import: everything goes in one transaction here, so what was done
        // before the failing file stays only if the stop commits it.
        Library lib;
        lib.progress.every = 0;
        const QString folder = lib.folder(u"in"_s);
        write(folder + u"a.txt"_s, "a");
        write(folder + u"b.txt"_s, "b");
        QFile huge(folder + u"c.txt"_s); // sparse: far larger than an import takes
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(ImportExport::MaxFileBytes + 1));
        write(folder + u"d.txt"_s, "d");
        ImportExport::BatchResult result = lib.importFolder(folder);
        QVERIFY(result.failed);
        QCOMPARE(result.done, 2);
        QCOMPARE(lib.records(), (QStringList{u"a.txt|a"_s, u"b.txt|b"_s}));
        QCOMPARE(lib.dialogs.messages.at(0).title, u"成批导入"_s);
        QCOMPARE(lib.progress.finished, 1);

        // A database that cannot store or cannot be opened stops it at once.
        lib.data.setReadOnly(true);
        QVERIFY(lib.importFolder(folder).failed);
        lib.data.setDatabaseName(folder + u"none.mdb"_s);
        QVERIFY(lib.importFolder(folder).failed);
        QVERIFY(lib.exportAll(lib.folder(u"out"_s)).failed);
        QVERIFY(lib.importFolder(folder + u"missing"_s).failed);
        QCOMPARE(lib.records(), QStringList{u"<cannot open>"_s});
        // Each message names the file and what was done; the first says why.
        const QList<QStringList> said{{folder + u"c.txt"_s, u"MB"_s, u"已导入 2 个文件"_s},
                                      {folder + u"a.txt"_s, u"已导入 0 个文件"_s},
                                      {folder + u"none.mdb"_s},
                                      {u"已导出 0 个文件"_s},
                                      {folder + u"missing/"_s}};
        QCOMPARE(lib.messages().size(), said.size());
        for (int i = 0; i < said.size(); ++i)
            for (const QString& part : said[i])
                QVERIFY2(lib.messages().at(i).contains(part), qPrintable(lib.messages().at(i)));
    }

    void cancelKeepsWhatWasDone()
    {
        Library lib;
        const QString folder = lib.folder(u"in"_s);
        for (const char* name : {"a", "b", "c", "d"})
            write(folder + QString::fromLatin1(name) + u".txt"_s, name);
        lib.progress.stopAt = 2;
        ImportExport::BatchResult result = lib.importFolder(folder);
        QVERIFY(result.cancelled && !result.failed);
        QCOMPARE(result.done, 2);
        QCOMPARE(lib.records(), (QStringList{u"a.txt|a"_s, u"b.txt|b"_s}));

        const QString out = lib.folder(u"out"_s);
        lib.progress.stopAt = 1;
        result = lib.exportAll(out);
        QVERIFY(result.cancelled);
        QCOMPARE(namesIn(out), QStringList{u"0.txt"_s});
        QVERIFY(!lib.data.recordset().Bookmark()); // however the export ended
        QVERIFY(lib.messages().isEmpty());
    }

    void theCountersStopAt32767()
    {
        Library lib;
        const QString folder = lib.folder(u"many"_s);
        const int count = ImportExport::MaxItems + 1;
        for (int i = 0; i < count; ++i)
            write(folder + u"%1.txt"_s.arg(i, 5, 10, QLatin1Char('0')), QByteArray());
        lib.progress.every = 1000;
        ImportExport::BatchResult result = lib.importFolder(folder);
        QVERIFY(result.failed);
        QCOMPARE(result.done, ImportExport::MaxItems);
        QCOMPARE(lib.progress.total, ImportExport::MaxItems);
        for (const QString& part : {QString(folder + u"32767.txt"_s), u"已导入 32767 个文件"_s})
            QVERIFY2(lib.messages().at(0).contains(part), qPrintable(lib.messages().at(0)));

        // One record more than there are free numbers: 0.txt is taken.
        QVERIFY(lib.add(u"one more"_s, u"x"_s));
        const QString out = lib.folder(u"out"_s);
        write(out + u"0.txt"_s, "taken");
        result = lib.exportAll(out);
        QVERIFY(result.failed);
        QCOMPARE(result.done, ImportExport::MaxItems);
        QVERIFY(QFile::exists(out + u"32767.txt"_s));
        QVERIFY(lib.messages().at(1).contains(out + u"32768.txt"_s));
        QVERIFY(lib.messages().at(1).contains(u"已导出 32767 个文件"_s));
    }

    void theProgressDialogShowsAndCancels()
    {
        Library lib;
        const QString folder = lib.folder(u"in"_s);
        for (const char* name : {"a", "b", "c"})
            write(folder + QString::fromLatin1(name) + u".txt"_s, name);

        // Shown at once here, moving on with the batch; cancelled while the
        // batch gives the window its turn.
        BatchProgressDialog progress(nullptr, 0, 0);
        bool shown = false;
        std::function<void()> watch = [&] {
            QProgressDialog* dialog = progress.dialog();
            QVERIFY(dialog && dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), u"成批导入"_s);
            QCOMPARE(dialog->maximum(), 3);
            if (dialog->value() < 2)
                return QTimer::singleShot(0, this, watch);
            shown = true;
            dialog->cancel();
        };
        QTimer::singleShot(0, this, watch);
        lib.dialogs.fileNames = {folder};
        const ImportExport::BatchResult result =
            ImportExport::importFolder(lib.dialogs, nullptr, lib.data, progress);
        QVERIFY(result.cancelled && shown && result.done == 2);
        QCOMPARE(lib.records(), (QStringList{u"a.txt|a"_s, u"b.txt|b"_s}));
        QVERIFY(!progress.dialog()); // gone with the batch

        // A window that goes away under the dialog stops the batch, and nothing
        // touches what is gone.
        auto* window = new QWidget;
        BatchProgressDialog orphaned(window, 0, 0);
        QTimer::singleShot(0, this, [&] { delete window; });
        lib.dialogs.fileNames = {folder};
        const ImportExport::BatchResult second =
            ImportExport::importFolder(lib.dialogs, nullptr, lib.data, orphaned);
        QVERIFY(second.cancelled && second.done == 1);
        QCOMPARE(lib.records().size(), 3);
    }
};

QUORREL_TEST(ImportExportTest, "importexport")
#include "tst_importexport.moc"
