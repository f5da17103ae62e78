#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <sys/types.h>

class QLocalServer;
class QLocalSocket;

// How `quorrel --collect` hands a text to the running collector of the same
// program folder: a local socket in the user's runtime folder (mode 0700),
// named after the folder like the single-instance lock. The server also
// checks the peer's user id, so only the same user can hand anything over.
//
// On the wire: the 8 bytes "QRLCOL01", the text's UTF-8 length as 8 bytes
// big-endian, the UTF-8 bytes; the collector answers one byte, 'Y' when it
// has taken the text, 'N' when it refuses it. A peer it does not trust is
// closed on without an answer.
namespace CollectChannel {

// Larger texts are refused before any of them is read.
constexpr qint64 MaxTextBytes = qint64(256) << 20;

QString pathFor(const QString& programDir);

enum class Result {
    Taken,       // the collector has the text
    NoCollector, // nothing listens at the path
    Refused,     // the collector would not take it (or did not trust us)
    Failed,      // the connection broke or timed out
};

// Blocking: connects, sends and waits up to `timeoutMs` for the answer.
Result send(const QString& path, const QString& text, int timeoutMs = 30000);

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
    std::function<bool(const QString& text)> take;
    // Which peers may hand over text: the same user by default.
    std::function<bool(uid_t peer)> trusts;

private:
    void accept();
    void readFrom(QLocalSocket* socket);

    QLocalServer* m_server;
};
