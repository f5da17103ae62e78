#pragma once

#include "DocVersions.h"
#include "FileStamp.h"

#include <QString>
#include <QStringList>

#include <optional>

class Dialogs;
class QWidget;
class RichTextBox;

// What the default-document editor does, apart from its toolbar and window:
// its two options, loading and saving Doc.dat, the edit commands and saving
// the selection as a file. It works on a copy of Doc.dat held in `text1`.
class CollectorEditor {
public:
    // `dialogs` asks the questions and reports failures; `parent` owns those boxes.
    CollectorEditor(Dialogs& dialogs, RichTextBox& text1, QWidget* parent = nullptr);

    // The options. The options dialog assigns these directly, so the next
    // save-as and the close step follow a change at once.
    bool savedelete = false; // delete the selection once it is saved as a file
    bool exitnew = true;     // save the text to Doc.dat when the window closes

    // The readers of the load, each one key of the settings file.
    void GetSaveDelete();
    void GetExitNew();
    // The load's last step: Doc.dat's text when it is an ordinary file, else
    // empty (no file is created). A file that cannot be read is reported.
    void loadDocument();

    // The edit commands; copy, cut and delete act only on a selection.
    void copy();
    void cut();
    void paste();
    void selectAll();
    void deleteSelection();
    void undo();
    // Writes the selection and CR LF to a file the user names; with
    // `savedelete` on, then removes the selection. Silent on every failure.
    void saveSelectionAsFile();
    // Reads Doc.dat again, replacing any edits; errors leave the text as it is.
    void refresh();
    // Writes the text to Doc.dat (see saveDocument). True when it is on disk.
    bool confirm();
    // Lists the kept versions of Doc.dat and puts the chosen one's text in
    // the box (one step undo takes back); saving then makes it Doc.dat.
    void openVersion();
    // The close step: true when the window may close.
    bool queryUnload();

    QString documentPath() const;
    bool loadFailed() const { return m_loadFailed; }

    static const QString SaveAsTitle;
    static const QString SaveAsFilter;
    // The choice openVersion offers: its title, prompt, columns and a row
    // for each version (newest first, as DocVersions::list gives them).
    static const QString VersionsTitle;
    static const QString VersionsPrompt;
    static const QStringList VersionColumns;
    static QList<QStringList> versionRows(const QList<DocVersions::Version>& versions);

private:
    enum class Outcome { Saved, Declined, Failed };
    // Writes the text to Doc.dat; nothing when the text is as last loaded or
    // saved. Text added to the end of the file by others since then (drops on
    // the collector) is first added to the end of the box; a file changed in
    // any other way is replaced only if the user agrees. The file replaced is
    // kept as a version first. Failures are reported; the text stays.
    Outcome saveDocument(bool closing);
    // Says, once per document, that a save keeps only the text of one that
    // holds more (formatting, tables, pictures).
    void noticeRichDocument();
    void remember(const QString& text);
    void appendToBox(const QString& tail);

    Dialogs& m_dialogs;
    RichTextBox& text1;
    QWidget* m_parent;

    // Doc.dat as last loaded or saved here: its stamp (none when it was
    // missing) and its text.
    struct Known {
        std::optional<FileStamp> stamp;
        QString text;
    };
    Known m_known;
    bool m_loadFailed = false;
};
