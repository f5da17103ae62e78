#pragma once

#include "AdvancedSettings.h"
#include "CollectChannel.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class Collector;

// The texts `quorrel --collect` was told are taken, kept on the disk from
// before the answer until they are stored, so that a text acknowledged is a
// text kept: an end of the collector by a signal, a crash or a lost display
// while texts wait (behind an open title prompt, say) leaves them here, and
// the next start stores each once, in the save mode it was collected for.
//
// One file beside Doc.dat, of JSON lines, each synced before it counts:
//     {"k":"T","id":N, the text, its source, the five save settings}  taken
//     {"k":"S","id":N, what the target looked like just before}       being stored
//     {"k":"D","id":N}                                                 stored (or refused by the
//     user)
// A line torn by a crash is ignored. The file goes when nothing is left in it.
class CollectedTexts {
public:
    struct Entry {
        qint64 id = 0;
        QString text;
        CollectSource source;
        SaveSettings settings;             // the save mode it was collected for
        std::optional<QJsonObject> before; // set once its store has begun
    };

    explicit CollectedTexts(const QString& path = {});
    ~CollectedTexts();
    CollectedTexts(const CollectedTexts&) = delete;
    CollectedTexts& operator=(const CollectedTexts&) = delete;

    const QString& path() const { return m_path; }
    void setPath(const QString& path);

    // What an earlier run left unstored, in the order taken; the file is
    // written afresh with only those. nullopt when it cannot be read.
    std::optional<QList<Entry>> open(QString* error = nullptr);

    // Kept on the disk when this returns true (the entry gets its id).
    bool add(Entry& entry, QString* error = nullptr);
    bool begin(const Entry& entry, const QJsonObject& before, QString* error = nullptr);
    bool finish(const Entry& entry, QString* error = nullptr);

    // What the entry's target (Doc.dat, the cached text, the numbered
    // files, the database) looks like before its store begins, and whether a
    // store that began before a crash got there: the text is then not stored
    // again. Where it cannot be told, stored again: rather twice than lost.
    static QJsonObject targetBefore(const Entry& entry, const Collector& collector);
    static bool reachedTarget(const Entry& entry, const Collector& collector);

private:
    bool append(const QJsonObject& record, QString* error);
    bool ensureOpen(QString* error);
    void close();

    QString m_path;
    int m_fd = -1;
    qint64 m_nextId = 1;
    QList<qint64> m_open; // entries taken and not finished
};
