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
// megabytes and a list that opens at once.
class DocumentList : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 256;
    static constexpr int CachedPages = 16;
    static constexpr int MaxTitleLength = 1024; // a title is one line, a path at most

    explicit DocumentList(QObject* parent = nullptr);

    // Fills the list again from `records` (every record, in order); an
    // unreadable or closed record set gives an empty list. False on failure.
    bool reload(Recordset& records);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The bookmark of a row, nullopt outside the list.
    std::optional<qint64> bookmark(int row) const;
    // The row showing a bookmark, -1 when none.
    int rowOf(qint64 bookmark) const;
    QString title(int row) const;

private:
    const QList<QString>& page(int number) const;

    Recordset* m_records = nullptr;
    QList<qint64> m_bookmarks; // ascending, as record order is rowid order
    // Most recently used first; a handful of pages of titles.
    mutable std::list<std::pair<int, QList<QString>>> m_pages;
};
