#pragma once

#include "DataSource.h"
#include "DocumentList.h"
#include "UndoLog.h"

#include <QString>

#include <functional>
#include <optional>

class Dialogs;
class QWidget;

// What the document browser does with the document database, apart from any
// widget: its data source, the list of titles over it, and the rules of
// choosing, deleting, adding and changing records. Failures of choosing,
// deleting and reading the current record end silently, leaving everything
// as it was; adding and saving report theirs to the caller.
class DocumentBrowser {
public:
    struct Document {
        QString title;
        QString content;
    };

    // `dialogs` asks the questions; `parent` owns those boxes.
    explicit DocumentBrowser(Dialogs& dialogs, QWidget* parent = nullptr);

    // Binds the data source to the program folder's WebDocuments.mdb and
    // opens it; a database that cannot be opened is reported with the
    // engine's message and leaves an empty list.
    bool Form_Load();

    DataSource& Data1() { return m_data; }
    DocumentList& List1() { return m_list; }

    // Re-reads the record set (its first record becomes current) and fills
    // the list again. False when the database cannot be opened.
    bool Refresh();

    // A click on a row: makes its record current and gives its content;
    // nullopt (nothing changed on screen) on any failure.
    std::optional<QString> choose(int row);

    // Asks "您当真要删除吗？" and deletes the current record, keeping it for
    // undo. True when the record is gone and the list was filled again (the
    // content box is then emptied); false on No and, silently, on any
    // failure. When the undo file cannot keep it, asks whether to delete it
    // all the same.
    bool deleteCurrent();

    // The current record's title and content; nullopt when there is none.
    std::optional<Document> current();

    // Re-reads, then stores a new record. On failure nothing is stored and
    // `error` says why.
    bool add(const QString& title, const QString& content, QString* error = nullptr);
    // Overwrites both fields of the current record, keeping the old ones for
    // undo (asking, as a delete does, when they cannot be kept), then
    // re-reads. False with an empty `error` when the user chose not to go on.
    bool saveCurrent(const QString& title, const QString& content, QString* error = nullptr);

    // What the next undo would undo, for the menu's wording: Unknown when
    // the undo file cannot be read (undo() then says why).
    enum class NextUndo { Nothing, Delete, Modify, Unknown };
    NextUndo nextUndo();
    // Undoes the newest delete or modify, also one made before the program
    // last started; when the record was changed or deleted since a modify,
    // asks first. The record put back becomes current and is listed, also
    // in a search's list. When it cannot be done it says why and nothing
    // changes. The bookmark of the record put back, or nullopt.
    std::optional<qint64> undo();
    UndoLog& undoLog() { return m_undo; }

    // The about note.
    void about();

    // Lists only these records (a search's bookmarks, ascending) until
    // showAll; refreshes keep to them, less any record this browser deleted.
    void showFound(QList<qint64> bookmarks);
    void showAll();
    // More of a search's records, after those listed.
    void addFound(const QList<qint64>& bookmarks);
    bool isFiltered() const { return m_filter.has_value(); }

    // What the browser wrote or read again, so an index can follow; the
    // bookmark is the record deleted or changed.
    enum class Written { Refreshed, Added, Changed, Deleted, Restored };
    std::function<void(Written, qint64)> written;

private:
    bool fill();
    // The last delete or modify failed at the undo file, not the database.
    bool undoFileFailed() const;
    // Then: whether to go on without a way back.
    bool goOnWithoutUndo(const QString& question);
    void tell(Written what, qint64 bookmark = 0);

    Dialogs& m_dialogs;
    QWidget* m_parent;
    DataSource m_data;
    DocumentList m_list;
    UndoLog m_undo;
    std::optional<QList<qint64>> m_filter;
};
