#include "DocumentList.h"

#include "DataSource.h"

#include <QTimer>

#include <algorithm>
#include <limits>

DocumentList::DocumentList(QObject* parent) : QAbstractListModel(parent) {}

bool DocumentList::reload(Recordset& records)
{
    beginResetModel();
    m_sparse = false;
    m_pages.clear();
    ++m_generation;
    std::optional<QList<qint64>> first =
        records.bookmarks(std::numeric_limits<qint64>::min(), m_firstSlice);
    m_records = first ? &records : nullptr;
    m_bookmarks = first ? std::move(*first) : QList<qint64>();
    m_loading = m_bookmarks.size() == m_firstSlice;
    endResetModel();
    if (m_loading)
        QTimer::singleShot(0, this, [this, generation = m_generation] { loadMore(generation); });
    else
        Q_EMIT completed();
    return first.has_value();
}

void DocumentList::loadMore(quint64 generation)
{
    if (generation != m_generation || !m_loading || !m_records)
        return;
    std::optional<QList<qint64>> more = m_records->bookmarks(m_bookmarks.last(), m_slice);
    // A failure mid-way keeps the rows listed so far.
    m_loading = more && more->size() == m_slice;
    if (more && !more->isEmpty())
        appendRows(*more);
    if (m_loading)
        QTimer::singleShot(0, this, [this, generation] { loadMore(generation); });
    else
        Q_EMIT completed();
}

void DocumentList::setSlices(int first, int rest)
{
    m_firstSlice = std::max(first, 1);
    m_slice = std::max(rest, 1);
}

void DocumentList::showOnly(Recordset& records, QList<qint64> bookmarks)
{
    beginResetModel();
    m_pages.clear();
    ++m_generation;
    m_loading = false;
    m_sparse = true;
    m_records = &records;
    m_bookmarks = std::move(bookmarks);
    endResetModel();
    Q_EMIT completed();
}

void DocumentList::appendFound(const QList<qint64>& bookmarks)
{
    if (m_sparse && !bookmarks.isEmpty())
        appendRows(bookmarks);
}

void DocumentList::appendRows(const QList<qint64>& bookmarks)
{
    const int first = int(m_bookmarks.size());
    beginInsertRows(QModelIndex(), first, first + int(bookmarks.size()) - 1);
    m_bookmarks.append(bookmarks);
    // The page holding the old last row was read short, perhaps even by a
    // view asking for that row as the rows were announced: read it again.
    const int lastPage = std::max(first - 1, 0) / PageSize;
    m_pages.remove_if([lastPage](const auto& entry) { return entry.first >= lastPage; });
    endInsertRows();
}

void DocumentList::clear()
{
    beginResetModel();
    m_sparse = false;
    m_pages.clear();
    ++m_generation;
    m_loading = false;
    m_records = nullptr;
    m_bookmarks.clear();
    endResetModel();
    Q_EMIT completed();
}

int DocumentList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_bookmarks.size());
}

QVariant DocumentList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_bookmarks.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return title(index.row());
    return {};
}

std::optional<qint64> DocumentList::bookmark(int row) const
{
    if (row < 0 || row >= m_bookmarks.size())
        return std::nullopt;
    return m_bookmarks.at(row);
}

int DocumentList::rowOf(qint64 bookmark) const
{
    const auto it = std::lower_bound(m_bookmarks.cbegin(), m_bookmarks.cend(), bookmark);
    return it != m_bookmarks.cend() && *it == bookmark ? int(it - m_bookmarks.cbegin()) : -1;
}

QString DocumentList::title(int row) const
{
    if (row < 0 || row >= m_bookmarks.size())
        return {};
    const QList<QString>& titles = page(row / PageSize);
    const int offset = row % PageSize;
    return offset < titles.size() ? titles.at(offset) : QString();
}

const QList<QString>& DocumentList::page(int number) const
{
    const auto cached = std::find_if(m_pages.begin(), m_pages.end(),
                                     [number](const auto& entry) { return entry.first == number; });
    if (cached != m_pages.end()) {
        m_pages.splice(m_pages.begin(), m_pages, cached);
        return m_pages.front().second;
    }

    const int first = number * PageSize;
    const int count = std::min<int>(PageSize, int(m_bookmarks.size()) - first);
    QList<QString> titles(count);
    if (m_records && count > 0 && m_sparse) {
        // Rows far apart in the table: one small indexed read each.
        for (int row = 0; row < count; ++row) {
            const qint64 wanted = m_bookmarks.at(first + row);
            const auto entries = m_records->titlesFrom(wanted, 1, MaxTitleLength);
            if (entries && !entries->isEmpty() && entries->first().bookmark == wanted)
                titles[row] = entries->first().title;
        }
    } else if (m_records && count > 0) {
        // Another program may have deleted or added records since the list
        // was filled: titles are matched to rows by bookmark, and a row whose
        // record is gone shows empty until the next refresh.
        const auto entries = m_records->titlesFrom(m_bookmarks.at(first), count, MaxTitleLength);
        if (entries) {
            int row = 0;
            for (const TitleEntry& entry : *entries) {
                while (row < count && m_bookmarks.at(first + row) < entry.bookmark)
                    ++row;
                if (row == count)
                    break;
                if (m_bookmarks.at(first + row) == entry.bookmark)
                    titles[row++] = entry.title;
            }
        }
    }
    m_pages.emplace_front(number, std::move(titles));
    if (int(m_pages.size()) > CachedPages)
        m_pages.pop_back();
    return m_pages.front().second;
}
