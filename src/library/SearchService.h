#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

// Runs a DocumentSearch on a thread of its own, so neither building the
// index nor a long scan ever holds up the window: the index is built in
// short slices (each its own transaction, so the collector can still store
// records in between), and a search asked for meanwhile runs between two
// slices. A newer search cancels an older one still running.
class SearchService : public QObject {
    Q_OBJECT
public:
    explicit SearchService(QObject* parent = nullptr);
    ~SearchService() override;

    // Opens the database's index and goes on building it.
    void open(const QString& databasePath);
    // Starts a search; its result comes with found() under the number
    // returned. Any earlier search still to come is dropped.
    quint64 find(const QString& text);
    // Drops any search still to come.
    void cancel();
    // The database was written: catch up with what was added.
    void recordsChanged();
    // This program deleted or changed a record.
    void forget(qint64 bookmark);
    void reindex(qint64 bookmark);

    // Fixed slices of this many records instead of slices of about 80 ms;
    // tests make them small.
    void setSliceRows(int rows);
    // DocumentSearch::setIndexFrom, before open().
    void setIndexFrom(qint64 bytes);

Q_SIGNALS:
    // The bookmarks found by a search, in parts while it runs long: each
    // part follows the last in record order, and `complete` marks the last.
    // `ok` is false when the search failed (the database went away).
    void found(quint64 search, const QList<qint64>& bookmarks, bool ok, bool complete);
    // 0..99 while the index is being built, 100 once it is whole, -1 when
    // there is none (everything is then found by scanning).
    void indexProgress(int percent);

private:
    struct Worker;
    void post(std::function<void(Worker&)> job);
    void buildMore();

    QThread m_thread;
    QObject* m_context = nullptr;    // lives on the thread; jobs run in its name
    std::unique_ptr<Worker> m_worker; // touched only on the thread
    std::atomic<quint64> m_latest{0};
    std::atomic<bool> m_stopping{false};
};
