#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

class QLocalServer;
class QLocalSocket;

// Where a collected text came from; each part may be empty.
struct CollectSource {
    QString title; // the page's title (the window in front, or --source-title)
    QString url;   // its address (the clipboard's, or --source-url)
    QString time;  // when it was taken, local time "yyyy-MM-dd HH:mm:ss"

    // The time alone tells nothing of where a text came from.
    bool isEmpty() const { return title.isEmpty() && url.isEmpty(); }
    friend bool operator==(const CollectSource&, const CollectSource&) = default;
};

// How `quorrel --collect` hands a text to the running collector of the same
// program folder: a local socket in the user's private runtime folder
// (RuntimeFolder), named after the program folder like the single-instance
// lock. Both ends check the other's user id, and the sender checks the
// socket's folder, so nothing goes to or comes from another account.
//
// On the wire: 8 bytes of greeting with the version, the body's length as 8
// bytes big-endian, the body. Version 1, "QRLCOL01": the body is the text's
// UTF-8. Version 2, "QRLCOL02": the body is four fields, each its UTF-8
// length as 4 bytes big-endian and the bytes: the text, the source's title,
// address and time. The collector answers one byte, 'Y' when it has taken the
// text, 'N' when it refuses it. A peer it does not trust, or a greeting it
// does not know, is closed on without an answer.
namespace CollectChannel {

// Larger texts are refused before any of them is read.
constexpr qint64 MaxTextBytes = qint64(256) << 20;
// Each part of a source; the sender cuts longer ones to MaxSourceChars.
constexpr qint64 MaxSourceBytes = 64 << 10;
constexpr qsizetype MaxSourceChars = 8192;

// "" (with `problem` set, for the user) when the user has no sound folder.
QString pathFor(const QString& programDir, QString* problem = nullptr);
// Every name a collector of `programDir` listens at, that one first: also
// the one in the folder the lock uses, so a command from a session without a
// runtime folder (su, ssh, cron) reaches a collector started with one, and
// the other way round. Empty (with `problem`) when no folder is sound.
QStringList pathsFor(const QString& programDir, QString* problem = nullptr);

enum class Result {
    Taken,       // the collector has the text
    NoCollector, // nothing listens at the path
    Refused,     // the collector would not take it (or did not trust us)
    Failed,      // the connection broke or timed out
    Untrusted,   // the folder or the listener is not this user's: nothing was sent
};

// Blocking: checks the folder, connects, checks the listener's user id,
// sends and waits up to `timeoutMs` for the answer. A collector that does not
// know version 2 gets the text alone. `detail` says why on Untrusted.
Result send(const QString& path, const QString& text, const CollectSource& source,
            int timeoutMs = 30000, QString* detail = nullptr);
// To the first of `paths` (pathsFor) where a collector listens.
Result send(const QStringList& paths, const QString& text, const CollectSource& source,
            int timeoutMs = 30000, QString* detail = nullptr);
inline Result send(const QString& path, const QString& text, int timeoutMs = 30000)
{
    return send(path, text, CollectSource{}, timeoutMs);
}

} // namespace CollectChannel

// The collector's end: takes texts from `quorrel --collect` of the same user.
class CollectServer : public QObject {
    Q_OBJECT
public:
    explicit CollectServer(QObject* parent = nullptr);
    ~CollectServer() override;

    // Listens at `path`; a socket file left by a collector that ended without
    // removing it is replaced (the caller holds the single-instance lock).
    bool listen(const QString& path, QString* error = nullptr);

    // Whether the text is taken; answered to the sender. Unset: refused.
    // The source is empty from a sender of version 1.
    std::function<bool(const QString& text, const CollectSource& source)> take;
    // Which peers may hand over text: the same user by default.
    std::function<bool(uid_t peer)> trusts;

private:
    void accept();
    void readFrom(QLocalSocket* socket);

    QLocalServer* m_server;
};
