#pragma once

#include <QString>

// The five settings that steer how the collector saves a drop, as the
// collector holds them. The advanced settings dialog hands them over on OK;
// the program's start-up wires that hand-over to the running collector, since
// the collector's library sits above this one.
struct SaveSettings {
    QString save;     // "append", "create" or "database"
    bool CacheUpdate = true;
    QString filepath; // resolved folder, always ending in '/'
    bool autoname = false;
    bool tip = true;

    friend bool operator==(const SaveSettings&, const SaveSettings&) = default;
};

// The advanced settings dialog apart from its widgets: the controls' working
// copy of the five settings, which controls each save mode enables, and the
// reading and writing of the settings file.
class AdvancedSettings {
public:
    // The option buttons `Option6(0)` .. `Option6(2)`.
    enum Mode { Append = 0, Create = 1, Database = 2 };

    Mode mode = Append;
    bool cacheUpdate = true; // ChkCacheUpdate
    bool autoName = false;   // ChkAutoName
    bool tip = true;         // Check7
    QString path;            // text1; empty means the default folder

    // Fills the working copy from Set.ini: save, CacheUpdate, AutoName,
    // filepath, tip, in that order. filepath is shown as stored, unresolved.
    void LoadSettings();

    // What each mode enables: the cache box for append, the path group for
    // create, the auto-name box for database. A disabled box keeps its tick.
    bool cacheUpdateEnabled() const { return mode == Append; }
    bool pathEnabled() const { return mode == Create; }
    bool autoNameEnabled() const { return mode == Database; }

    // A folder chooser's answer: the chosen folder, or "" when cancelled,
    // which returns to the default folder.
    void setChosenFolder(const QString& folder) { path = folder; }

    // Writes save, CacheUpdate, filepath, AutoName and tip, in that order,
    // whatever the mode, and returns the values the collector takes from now
    // on (`programDir` resolves the default folder). A folder the settings
    // file cannot keep as chosen (a line break in its name, a file that
    // cannot be written) is not taken: the folder loaded stays in the file
    // and in the result, and `pathKept` says so, for the dialog to tell.
    SaveSettings Save(const QString& programDir, bool* pathKept = nullptr) const;

    static QString modeWord(Mode mode);

private:
    QString m_storedPath = QStringLiteral("default"); // filepath as loaded
};
