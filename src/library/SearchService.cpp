#include "SearchService.h"

#include "DocumentSearch.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int SliceMs = 80;      // short enough that a search waits little for a slice
constexpr int RetryMs = 1000;    // after a slice failed (another program held the file)
constexpr int FirstSliceRows = 500;

} // namespace

struct SearchService::Worker {
    DocumentSearch search;
    bool building = false;
    bool retrying = false;
    int sliceRows = FirstSliceRows;
    bool fixedSlices = false;
};

SearchService::SearchService(QObject* parent)
    : QObject(parent), m_worker(std::make_unique<Worker>())
{
    m_thread.setObjectName(QStringLiteral("search"));
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
}

SearchService::~SearchService()
{
    m_stopping = true;
    ++m_latest; // a running search gives up at its next check
    m_thread.quit();
    m_thread.wait();
    // The thread is gone: its objects may be dropped from here.
    delete m_context;
}

void SearchService::post(std::function<void(Worker&)> job)
{
    QMetaObject::invokeMethod(m_context, [this, job = std::move(job)] {
        if (!m_stopping)
            job(*m_worker);
    }, Qt::QueuedConnection);
}

void SearchService::setSliceRows(int rows)
{
    post([rows](Worker& w) {
        w.sliceRows = std::max(rows, 1);
        w.fixedSlices = true;
    });
}

void SearchService::setIndexFrom(qint64 bytes)
{
    post([bytes](Worker& w) { w.search.setIndexFrom(bytes); });
}

void SearchService::open(const QString& databasePath)
{
    post([this, databasePath](Worker& w) {
        w.search.open(databasePath);
        if (!w.search.hasIndex()) {
            w.building = false;
            Q_EMIT indexProgress(-1);
            return;
        }
        const bool idle = !w.building;
        w.building = true;
        if (idle)
            buildMore();
    });
}

void SearchService::buildMore()
{
    Worker& w = *m_worker;
    if (!w.building || m_stopping)
        return;
    QElapsedTimer took;
    took.start();
    const auto progress = w.search.indexMore(w.sliceRows);
    if (!progress) {
        // Busy or gone: try again a little later instead of spinning.
        if (!w.retrying) {
            w.retrying = true;
            QTimer::singleShot(RetryMs, m_context, [this] {
                m_worker->retrying = false;
                buildMore();
            });
        }
        return;
    }
    if (!w.fixedSlices) {
        const qint64 ms = std::max<qint64>(took.elapsed(), 1);
        w.sliceRows = int(std::clamp<qint64>(w.sliceRows * SliceMs / ms, 50, 50000));
    }
    Q_EMIT indexProgress(progress->percent());
    if (progress->done()) {
        w.building = false;
        return;
    }
    QTimer::singleShot(0, m_context, [this] { buildMore(); });
}

void SearchService::recordsChanged()
{
    post([this](Worker& w) {
        w.search.sync(); // may open the database again, or make the index as it grew
        if (!w.search.hasIndex())
            return;
        if (!w.building) {
            w.building = true;
            buildMore();
        }
    });
}

void SearchService::forget(qint64 bookmark)
{
    post([bookmark](Worker& w) { w.search.forget(bookmark); });
}

void SearchService::reindex(qint64 bookmark)
{
    post([bookmark](Worker& w) { w.search.reindex(bookmark); });
}

void SearchService::cancel()
{
    ++m_latest;
}

quint64 SearchService::find(const QString& text)
{
    const quint64 search = ++m_latest;
    post([this, search, text](Worker& w) {
        if (search != m_latest)
            return; // a newer one is on its way
        const auto cancelled = [this, search] { return search != m_latest || m_stopping; };
        const auto result = w.search.find(text, cancelled, nullptr, [&](QList<qint64> part) {
            if (!cancelled())
                Q_EMIT found(search, part, true, false);
        });
        if (search != m_latest)
            return;
        Q_EMIT found(search, result.value_or(QList<qint64>()), result.has_value(), true);
        // The search may have found the database written elsewhere: the
        // index is checked again (or made, or built on) behind it.
        if (w.search.hasIndex() && !w.building) {
            w.building = true;
            buildMore();
        }
    });
    return search;
}
