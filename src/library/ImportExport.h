#pragma once

#include <QByteArray>
#include <QString>

class DataSource;
class Dialogs;
class QWidget;

// How a batch command shows its progress and learns that the user wants it
// to stop. The batch calls begin() once, asks due() after every item (cheap)
// and, when it says so, brings the database to rest (commits) and calls
// update(), which may run the event loop; finish() comes last, before any
// message. BatchProgressDialog is the window's version.
class BatchProgress {
public:
    virtual ~BatchProgress() = default;

    // `label` says what runs; `total` is the number of items found.
    virtual void begin(const QString& title, const QString& label, int total) = 0;
    // True when the window should get a turn now.
    virtual bool due() = 0;
    // Shows `done` of the total; false once the user asked to stop.
    virtual bool update(int done) = 0;
    virtual void finish() = 0;
};

// Never shows anything and never stops a batch; gives the window a turn
// every 256 items, which keeps transactions short all the same.
class SilentProgress final : public BatchProgress {
public:
    void begin(const QString&, const QString&, int) override { m_items = 0; }
    bool due() override { return ++m_items % 256 == 0; }
    bool update(int) override { return true; }
    void finish() override {}

private:
    int m_items = 0;
};

// The browser's four commands that move text between the document database
// and text files. They take the browser's data source (`Data1`), ask their
// questions through `dialogs` with `parent` as the owner, and report no
// success. Files are read as the rich-text box loads them (RTF as its plain
// text, otherwise UTF-8, else GB18030) and written as UTF-8 text with every
// line, the last one included, ended by CR LF.
//
// Wiring in the browser, one line each:
//   Button7: ImportExport::importFile(dialogs, this, Data1);
//   Button8: { BatchProgressDialog p(this); ImportExport::importFolder(dialogs, this, Data1, p); }
//   Button3: ImportExport::exportShown(dialogs, this, text1->Text());
//   Button9: { BatchProgressDialog p(this); ImportExport::exportAll(dialogs, this, Data1, p); }
// then fill the list again: both imports refresh the data source, and the
// batch export leaves no record current. While a batch runs its progress
// dialog keeps the user out of the browser; nothing else may use `data` then.
namespace ImportExport {

// Counters of the batch loops are 16-bit: at most this many files are
// imported in one batch, and exported files are numbered 0 to this.
inline constexpr int MaxItems = 32767;
// Larger files are refused rather than read into memory.
inline constexpr qint64 MaxFileBytes = qint64(256) * 1024 * 1024;

struct BatchResult {
    QString folder;         // the chosen folder, ending in '/'; "" when none was chosen
    int done = 0;           // files imported or written (and kept)
    bool cancelled = false; // the user stopped the batch
    bool failed = false;    // a failure stopped the batch; a message said so
    int notText = 0;        // import: binary files passed over
    int notFiles = 0;       // import: names that are no regular file, or links leading out
};

// "导    入": the open dialog "导入文档" (filter "文本文件 (*.txt)"); the
// chosen file becomes one record titled with its full path. Ends silently on
// any failure, a binary file included. True when a record was stored.
bool importFile(Dialogs& dialogs, QWidget* parent, DataSource& data);

// "成批导入": the folder dialog "请选择要导入文件所在的目录：", then every
// regular file of the folder whose name ends in ".txt" (any case; hidden
// files left out), in name order, as a record titled with its bare name.
// Anything else of that name (folder, FIFO, device, broken or looping link,
// a link leading out of the folder, a file of /proc or /sys) is skipped
// without being read, and so is a binary file (what is neither RTF nor text
// once NULs are dropped, the test the single import makes too); both are
// counted, and a message at the end tells how many when there were any. A
// failure stops the batch with a message naming the file and how many were
// imported; what was imported stays. The data source ends refreshed.
BatchResult importFolder(Dialogs& dialogs, QWidget* parent, DataSource& data,
                         BatchProgress& progress);

// "导    出": the save dialog "导出文档"; writes `text` (the shown content)
// to the chosen file, replacing it whole. Ends silently on any failure.
// True when the file was written.
bool exportShown(Dialogs& dialogs, QWidget* parent, const QString& text);

// "成批导出": the folder dialog "请选择要导出文件存放的目录："; then each
// record's content, in record order, into the next free name 0.txt, 1.txt,
// ... of the folder, numbering from 0 and passing over every name that is
// taken (files are created exclusively, nothing is ever overwritten). Titles
// are not written. Failures stop the batch as in importFolder. Afterwards no
// record is current.
BatchResult exportAll(Dialogs& dialogs, QWidget* parent, DataSource& data,
                      BatchProgress& progress);

// The two batches after their folder dialog, for callers that know the folder.
BatchResult importFromFolder(const QString& folder, Dialogs& dialogs, QWidget* parent,
                             DataSource& data, BatchProgress& progress);
BatchResult exportToFolder(const QString& folder, Dialogs& dialogs, QWidget* parent,
                           DataSource& data, BatchProgress& progress);

// How the batch messages name a failed file operation (an errno), in Chinese.
QString reasonOfError(int error);

} // namespace ImportExport
