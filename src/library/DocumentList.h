#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

#include <list>
#include <optional>
#include <utility>

class Recordset;

// The rows of the browser's list: one per record of a record set, showing its
// title, in record order. Only the bookmarks are held (8 bytes a record);
// titles are read a page at a time when the view paints them and kept in a
// small cache, and no content is ever read, so a million records cost a few
// megabytes. The bookmarks come in slices: the first at once, the rest while
// the event loop runs, so the list shows without waiting for a scan of the
// whole table.
class DocumentList : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 256;
    static constexpr int CachedPages = 16;
    static constexpr int MaxTitleLength = 1024; // a title is one line, a path at most
    static constexpr int FirstSlice = 16 * 1024;
    static constexpr int Slice = 128 * 1024;

    explicit DocumentList(QObject* parent = nullptr);

    // Fills the list again from `records` (every record, in order); an
    // unreadable or closed record set gives an empty list. False on failure.
    bool reload(Recordset& records);
    void clear();
    // Shows only the records with these bookmarks (ascending), all at once:
    // the rows of a search.
    void showOnly(Recordset& records, QList<qint64> bookmarks);
    // More rows of the search shown, after the last.
    void appendFound(const QList<qint64>& bookmarks);
    // False while later slices of bookmarks are still to come.
    bool isComplete() const { return !m_loading; }
    // Slice sizes, for tests of a list that fills in several steps.
    void setSlices(int first, int rest);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The bookmark of a row, nullopt outside the list.
    std::optional<qint64> bookmark(int row) const;
    // The row showing a bookmark, -1 when none.
    int rowOf(qint64 bookmark) const;
    QString title(int row) const;

Q_SIGNALS:
    void completed();

private:
    const QList<QString>& page(int number) const;
    void loadMore(quint64 generation);
    void appendRows(const QList<qint64>& bookmarks);

    Recordset* m_records = nullptr;
    int m_firstSlice = FirstSlice;
    int m_slice = Slice;
    bool m_loading = false;
    bool m_sparse = false; // rows are a search's, not every record
    quint64 m_generation = 0; // a reload stops the slices of the last one
    QList<qint64> m_bookmarks; // ascending, as record order is rowid order
    // Most recently used first; a handful of pages of titles.
    mutable std::list<std::pair<int, QList<QString>>> m_pages;
};
