// A disk that refuses to take more bytes, made with the file size limit: every
// save fails the way the user is told it fails, the files it would have
// replaced stay as they were, and nothing is reported as saved that is not.
#include "CollectorFixture.h"
#include "EditorFixture.h"
#include "Faults.h"
#include "ImportExport.h"
#include "LibraryFixture.h"
#include "Settings.h"
#include "TestMain.h"
#include "frmSet.h"

#include <QDirIterator>

using namespace Qt::StringLiterals;
using Faults::settings;
using Faults::underSizeLimit;
using Said::Failed;
using Said::Saved;

namespace {

// Larger than any limit used here, so that every save of it must grow a file.
const QString Long = QString(8000, u'长');

// Every entry under the program folder, with the bytes of its files.
QMap<QString, QByteArray> snapshot()
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(ProgramDir(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries[path] = it.fileInfo().isFile() ? TestFiles::bytesOf(path) : QByteArray();
    }
    return entries;
}

} // namespace

class FullDiskTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A drop that does not fit fails and leaves every file as it was: no half
    // file, no temporary one, no journal. The next drop on a mended disk holds
    // no trace of it.
    void aDropThatDoesNotFitChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("mode");
        for (const char* mode : {"append", "create", "database"})
            QTest::newRow(mode) << QByteArray(mode);
    }
    void aDropThatDoesNotFitChangesNothing()
    {
        QFETCH(QByteArray, mode);
        CollectorFixture f(settings(mode.constData(), "false"));
        const QString db = f.path(u"WebDocuments.mdb");
        QVERIFY(mode != "database" || TestFiles::copyEmptyDatabase(db));
        QVERIFY(f.load());
        f.dropText(u"之前"_s);
        const auto before = snapshot();
        const int number = f.collector().nextFileNumber();
        const qsizetype largest = std::ranges::max(before, {}, &QByteArray::size).size();
        // Room for a little more than any file holds: a writer that grew a
        // file in place would be cut off half way.
        QVERIFY(underSizeLimit(largest + 16, [&] { f.dropText(Long); }));
        QCOMPARE(f.dialogs.messageTexts(), QStringList({Saved, Failed}));
        QCOMPARE(snapshot(), before);
        QCOMPARE(f.collector().nextFileNumber(), number);

        f.dropText(Long);
        QCOMPARE(f.dialogs.messageTexts().last(), Saved);
        if (mode == "append")
            QCOMPARE(f.documentText(), u"之前"_s + Long);
        else if (mode == "create")
            QCOMPARE(TestFiles::bytesOf(f.collector().numberedFilePath(1)),
                     (Long + u"\r\n"_s).toUtf8());
        else
            QCOMPARE(TestFiles::recordsIn(db), (QStringList{u"文档|之前"_s, u"文档|"_s + Long}));
    }

    void cachedTextThatCannotBeWrittenAtExitIsKept()
    {
        CollectorFixture f(settings("append", "true"));
        f.writeDocument(u"之前"_s);
        QVERIFY(f.load());
        const QByteArray before = f.read(u"Doc.dat");
        f.dropText(Long);
        QCOMPARE(f.dialogs.messageTexts(), QStringList{Saved}); // cached, as promised
        const QStringList names = TestFiles::namesIn(ProgramDir());
        QVERIFY(underSizeLimit(before.size() + 16, [&] { f.window->Exit_Click(); }));
        QCOMPARE(f.dialogs.messageTexts().last(), Failed); // the exit tells, tip or not
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.collector().pendingText(), Long);
        QCOMPARE(f.read(u"Doc.dat"), before);
        QCOMPARE(TestFiles::namesIn(ProgramDir()), names); // nor the position stored

        f.window->Exit_Click();
        QCOMPARE(f.documentText(), u"之前"_s + Long);
    }

    void settingsThatCannotBeWrittenLeaveTheFileWhole()
    {
        CollectorFixture f(settings("append", "true"));
        QVERIFY(f.load());
        const QByteArray before = f.read(u"Set.ini");

        // The dialog's OK: nothing is reported (settings writes are silent),
        // the collector follows the choice for this run, the file stays.
        SaveSettings applied;
        frmSet dialog(f.dialogs, [&](const SaveSettings& chosen) { applied = chosen; });
        dialog.Form_Load();
        dialog.Option6_Click(AdvancedSettings::Create);
        // Each key's new file would be as long as the old one: the limit must
        // be below that to refuse it.
        QVERIFY(underSizeLimit(16, [&] { dialog.Command1_Click(); }));
        QCOMPARE(applied.save, u"create"_s);
        QCOMPARE(f.read(u"Set.ini"), before);
        QCOMPARE(f.dialogs.messages.size(), 0);
        QCOMPARE(TestFiles::namesIn(ProgramDir()).filter(u"Set.ini"_s), QStringList{u"Set.ini"_s});

        // One key at a time, as the exit stores the position.
        QVERIFY(underSizeLimit(before.size(), [] { WriteSetting(u"left"_s, u"1234"_s); }));
        QCOMPARE(f.read(u"Set.ini"), before);
        QCOMPARE(ReadSetting(u"left"_s, u"none"_s), u"none"_s);
    }

    void editorSaveFailsAndKeepsTheText()
    {
        EditorFixture e;
        e.writeDocument(u"原文"_s);
        QVERIFY(e.open());
        const QByteArray before = e.read(u"Doc.dat");
        e.box().setText(u"原文"_s + Long);
        QVERIFY(underSizeLimit(before.size() + 16, [&] { QVERIFY(!e.logic().confirm()); }));
        QCOMPARE(e.dialogs.messages.size(), 1);
        QVERIFY(e.dialogs.messages.at(0).text.startsWith(u"默认文档保存失败！"_s));
        QCOMPARE(e.dialogs.messages.at(0).icon, Dialogs::Icon::Warning);
        QCOMPARE(e.read(u"Doc.dat"), before);
        QCOMPARE(e.box().Text(), u"原文"_s + Long); // nothing typed is lost

        // Closing with the automatic update on fails the same way and stays open.
        QVERIFY(underSizeLimit(before.size() + 16, [&] { QVERIFY(!e.close()); }));
        QCOMPARE(e.read(u"Doc.dat"), before);
        QVERIFY(e.logic().confirm());
        QCOMPARE(e.documentText(), u"原文"_s + Long);
    }

    void batchExportStopsWithoutAHalfFile()
    {
        LibraryFixture lib;
        QVERIFY(lib.store({{u"1"_s, u"小"_s}, {u"2"_s, Long}, {u"3"_s, u"小"_s}}));
        frmMain& w = lib.open();
        QTemporaryDir out;
        lib.dialogs.fileNames.push_back(out.path());
        const QByteArray database = TestFiles::bytesOf(lib.databasePath());
        QVERIFY(underSizeLimit(4096, [&] { w.Button9_Click(); }));
        QCOMPARE(TestFiles::namesIn(out.path()), QStringList{u"0.txt"_s}); // 1.txt removed again
        QCOMPARE(lib.dialogs.messages.size(), 1);
        const QString message = lib.dialogs.messages.at(0).text;
        QVERIFY2(message.startsWith(u"成批导出已停止"_s), qPrintable(message));
        QVERIFY(message.contains(u"1.txt"_s));
        QVERIFY(message.contains(u"已导出 1 个文件"_s));
        QCOMPARE(TestFiles::bytesOf(lib.databasePath()), database);
    }

    void batchImportKeepsWhatWasCommitted()
    {
        LibraryFixture lib;
        QTemporaryDir in;
        const int files = 600;
        for (int i = 0; i < files; ++i)
            QVERIFY(TestFiles::writeBytes(in.filePath(u"%1.txt"_s.arg(i, 3, 10, QLatin1Char('0'))),
                                       QByteArray(1000, char('a' + i % 26))));
        ScriptedDialogs dialogs;
        DataSource data;
        data.setDatabaseName(lib.databasePath());
        SilentProgress progress; // commits every 256 files
        ImportExport::BatchResult result;
        // Room for a group or so, not for all.
        QVERIFY(underSizeLimit(QFileInfo(lib.databasePath()).size() + 400 * 1024, [&] {
            result = ImportExport::importFromFolder(in.path(), dialogs, nullptr, data, progress);
        }));
        QVERIFY(result.failed);
        QVERIFY(result.done < files);
        QVERIFY(result.done > 0); // the first group went in before the disk filled
        QCOMPARE(dialogs.messages.size(), 1);
        const QString message = dialogs.messages.at(0).text;
        QVERIFY2(message.startsWith(u"成批导入已停止"_s), qPrintable(message));
        QVERIFY2(message.contains(u"已导入 %1 个文件"_s.arg(result.done)), qPrintable(message));
        // Exactly the files the message counts are stored, whole, in order.
        const QStringList records = TestFiles::recordsIn(lib.databasePath());
        QCOMPARE(records.size(), result.done);
        for (int i = 0; i < records.size(); ++i)
            QCOMPARE(records.at(i), u"%1.txt|"_s.arg(i, 3, 10, QLatin1Char('0'))
                                        + QString(1000, QChar(u'a' + i % 26)));
        QCOMPARE(TestFiles::namesIn(ProgramDir()), QStringList{u"WebDocuments.mdb"_s});
    }

    void exportedTextAndSavedSelectionLeaveTheOldFile()
    {
        // Both end silently on failure; the file they would replace stays.
        QTemporaryDir out;
        const QString target = out.filePath(u"旧.txt"_s);
        QVERIFY(TestFiles::writeBytes(target, "old\r\n"));
        const auto oldFileStays = [&] {
            return TestFiles::bytesOf(target) == "old\r\n"
                && TestFiles::namesIn(out.path()) == QStringList{u"旧.txt"_s};
        };

        LibraryFixture lib;
        QVERIFY(lib.store({{u"甲"_s, Long}}));
        frmMain& w = lib.open();
        lib.click(0);
        QCOMPARE(lib.shown().size(), Long.size());
        lib.dialogs.fileNames.push_back(target);
        QVERIFY(underSizeLimit(1024, [&] { w.Button3_Click(); }));
        QVERIFY(oldFileStays());
        QCOMPARE(lib.dialogs.messages.size(), 0);

        // With "delete what was saved" on, a selection that was not saved
        // (the dialog cancelled, the write refused) stays.
        EditorFixture e("[CollectorSet]\nsavedelete=true\nexitnew=false\n");
        e.writeDocument(u"开头"_s + Long);
        QVERIFY(e.open());
        QVERIFY(e.logic().savedelete);
        e.select(2, 2 + Long.size());
        e.click(4);
        QCOMPARE(e.box().Text(), u"开头"_s + Long);
        e.dialogs.fileNames.push_back(target);
        QVERIFY(underSizeLimit(1024, [&] { e.click(4); }));
        QVERIFY(oldFileStays());
        QCOMPARE(e.box().Text(), u"开头"_s + Long);
        QCOMPARE(e.box().SelText(), Long);
        QVERIFY(e.dialogs.messages.isEmpty());

        e.dialogs.fileNames.push_back(target);
        e.click(4);
        QCOMPARE(TestFiles::bytesOf(target).size(), Long.toUtf8().size() + 2);
        QCOMPARE(e.box().Text(), u"开头"_s);
    }
};

QUORREL_TEST(FullDiskTest, "fulldisk")
#include "tst_fulldisk.moc"
