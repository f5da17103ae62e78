#pragma once

#include "AdvancedSettings.h"
#include "CacheJournal.h"
#include "ClipSource.h"
#include "DataSource.h"

#include <QString>

#include <deque>
#include <optional>

class Dialogs;
class QWidget;

// What the collector keeps and how it stores a drop, apart from any window:
// the settings snapshot taken at load, the text cached for the default
// document, the numbered-file counter, and the three save modes.
class Collector {
public:
    static constexpr int LastFileNumber = 32767;

    // `dialogs` asks the title and reports outcomes; `parent` owns those boxes.
    explicit Collector(Dialogs& dialogs, QWidget* parent = nullptr);

    // The settings snapshot. The advanced settings dialog assigns these
    // directly, so a change governs the next drop without a restart.
    QString save;       // "append", "create" or "database"
    bool CacheUpdate = false;
    bool autoname = false;
    bool tip = false;
    QString filepath;   // folder for numbered files, always ending in '/'

    // The readers of the load, each one key of the settings file.
    void GetSaveMode();
    void GetTip();
    void GetCacheUpdate();
    void GetAutoName();
    void GetFilePath();
    void readSettings(); // the five above, in the order the load runs them

    // The five settings chosen in the advanced settings dialog, taken as they
    // are: no file is read and the file-number count goes on where it was.
    void takeSettings(const SaveSettings& chosen);

    // Binds the data control to ProgramDir() + "WebDocuments.mdb" and converts
    // an older tool's Access database found there (and at later opens).
    void bindDatabase();
    // Creates `filepath` (one level) and finds the first free file number.
    void prepareSaveDirectory();
    void FindFreeFileNumber();

    // Stores one drop by `save`; nullopt is a drag that carried no text.
    // In database mode the record keeps `source`, and the title prompt
    // offers the page's title; the files only ever hold the text.
    void storeDrop(const std::optional<QString>& text, const ClipSource& source = {});
    // The sources of the latest texts stored, newest first.
    const std::deque<ClipSource>& recentSources() const { return m_recentSources; }

    // Appends PendingText to Doc.dat (creating it when missing) and empties
    // PendingText once it is on disk; then the journal of the cached text
    // goes. True when nothing was left to write.
    bool WriteDefaultDocument(QString* error = nullptr);

    // Run by the load before anything else touches Doc.dat: text cached by a
    // run that ended without writing it (a crash, a kill, a lost display) is
    // appended to Doc.dat now. If that fails it stays cached, in the journal
    // and in PendingText. Also removes temporary files a crash left behind.
    void recoverCachedText();

    QString journalPath() const;

    // "文档保存失败！", whatever `tip` says (for the exit, which must not fail silently).
    void tellSaveFailed();

    const QString& pendingText() const { return PendingText; }
    int nextFileNumber() const { return NextFileNumber; }

    QString defaultDocumentPath() const;
    QString numberedFilePath(int number) const;

private:
    bool appendCached();
    bool isInDocument(const CacheJournal::Contents& journal) const;
    // Adds `text` to the end of Doc.dat, creating it when missing.
    bool appendToDocument(const QString& text, QString* error = nullptr);
    bool createNumberedFile();
    bool addRecord();
    void report(bool saved);
    void tell(const QString& text);

    Dialogs& m_dialogs;
    QWidget* m_parent;

    QString DocTitle;
    QString DroppedText;
    QString PendingText;
    int NextFileNumber = 0;

    ClipSource m_source; // of the drop being stored
    std::deque<ClipSource> m_recentSources;

    DataSource Data1;
    CacheJournal m_journal; // the cached text on disk, beside Doc.dat
};
