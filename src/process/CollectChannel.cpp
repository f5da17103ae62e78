#include "CollectChannel.h"

#include "RuntimeFolder.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <QtEndian>

#include <array>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView Version1 = "QRLCOL01";
constexpr QByteArrayView Version2 = "QRLCOL02";
constexpr qsizetype GreetingBytes = 8;
constexpr qsizetype HeaderBytes = 16;
constexpr int Fields = 4; // text, title, address, time
constexpr quint64 MaxBodyBytes = quint64(CollectChannel::MaxTextBytes) +
                                 3 * quint64(CollectChannel::MaxSourceBytes) + 4 * Fields;
constexpr char Yes = 'Y';
constexpr char No = 'N';
// A sender that stops halfway is dropped, so it holds nothing for long.
constexpr int ReceiveTimeoutMs = 30000;

std::optional<uid_t> peerUid(const QLocalSocket& socket)
{
    struct ucred cred = {};
    socklen_t size = sizeof cred;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return std::nullopt;
    return cred.uid;
}

QByteArray header(QByteArrayView greeting, quint64 bodyBytes)
{
    char length[8];
    qToBigEndian<quint64>(bodyBytes, length);
    return greeting.toByteArray() + QByteArray(length, sizeof length);
}

void appendField(QByteArray& body, const QByteArray& bytes)
{
    char length[4];
    qToBigEndian<quint32>(quint32(bytes.size()), length);
    body.append(length, sizeof length);
    body.append(bytes);
}

// The four fields of a version 2 body; nullopt when they do not fill it exactly.
std::optional<std::array<QByteArray, Fields>> fieldsOf(QByteArrayView body)
{
    std::array<QByteArray, Fields> fields;
    qsizetype at = 0;
    for (int i = 0; i < Fields; ++i) {
        if (body.size() - at < 4)
            return std::nullopt;
        const quint32 length = qFromBigEndian<quint32>(body.data() + at);
        at += 4;
        const quint64 limit = i == 0 ? quint64(CollectChannel::MaxTextBytes)
                                     : quint64(CollectChannel::MaxSourceBytes);
        if (length > limit || quint64(body.size() - at) < length)
            return std::nullopt;
        fields[i] = body.sliced(at, length).toByteArray();
        at += length;
    }
    if (at != body.size())
        return std::nullopt;
    return fields;
}

enum class Outcome { Yes, No, ClosedWithoutAnswer, NoCollector, Failed, Untrusted };

// One connection: the listener's user id checked before a byte goes out.
Outcome exchange(const QString& path, const QByteArray& message, const QDeadlineTimer& deadline,
                 QString* detail)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError ||
                       error == QLocalSocket::ConnectionRefusedError
                   ? Outcome::NoCollector
                   : Outcome::Failed;
    }
    const auto listener = peerUid(socket);
    if (!listener || *listener != ::geteuid()) {
        socket.abort();
        if (detail)
            *detail = listener ? u"the listener at %1 runs as user id %2"_s.arg(path).arg(*listener)
                               : u"the listener at %1 cannot be told"_s.arg(path);
        return Outcome::Untrusted;
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return socket.state() == QLocalSocket::UnconnectedState ? Outcome::ClosedWithoutAnswer
                                                                    : Outcome::Failed;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return socket.state() == QLocalSocket::UnconnectedState ? Outcome::ClosedWithoutAnswer
                                                                    : Outcome::Failed;
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == Yes ? Outcome::Yes : Outcome::No;
}

} // namespace

namespace CollectChannel {

QString pathFor(const QString& programDir, QString* problem)
{
    return RuntimeFolder::pathFor(programDir, u".collect", problem);
}

Result send(const QStringList& paths, const QString& text, const CollectSource& source,
            int timeoutMs, QString* detail)
{
    Result result = Result::NoCollector;
    for (const QString& path : paths) {
        result = send(path, text, source, timeoutMs, detail);
        if (result != Result::NoCollector)
            break;
    }
    return result;
}

QStringList pathsFor(const QString& programDir, QString* problem)
{
    QStringList paths;
    for (const auto use : {RuntimeFolder::Use::Channel, RuntimeFolder::Use::Lock}) {
        const QString path = RuntimeFolder::pathFor(programDir, u".collect", problem, use);
        if (!path.isEmpty() && !paths.contains(path))
            paths << path;
    }
    return paths;
}

Result send(const QString& path, const QString& text, const CollectSource& source, int timeoutMs,
            QString* detail)
{
    const QDeadlineTimer deadline(timeoutMs);
    // Checked at every send, not only when the folder was made.
    if (!RuntimeFolder::isSound(QFileInfo(path).path(), detail))
        return Result::Untrusted;
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > MaxTextBytes)
        return Result::Refused;
    QByteArray body;
    appendField(body, bytes);
    for (const QString* part : {&source.title, &source.url, &source.time}) {
        QString cut = part->left(MaxSourceChars);
        if (!cut.isEmpty() && cut.back().isHighSurrogate())
            cut.chop(1); // never half a character
        appendField(body, cut.toUtf8());
    }
    Outcome outcome =
        exchange(path, header(Version2, quint64(body.size())) + body, deadline, detail);
    // A collector older than the source closes on a greeting it does not know.
    if (outcome == Outcome::ClosedWithoutAnswer)
        outcome = exchange(path, header(Version1, quint64(bytes.size())) + bytes, deadline, detail);
    switch (outcome) {
    case Outcome::Yes:
        return Result::Taken;
    case Outcome::No:
    case Outcome::ClosedWithoutAnswer: // the collector did not trust us
        return Result::Refused;
    case Outcome::NoCollector:
        return Result::NoCollector;
    case Outcome::Untrusted:
        return Result::Untrusted;
    case Outcome::Failed:
        break;
    }
    return Result::Failed;
}

} // namespace CollectChannel

CollectServer::CollectServer(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    trusts = [](uid_t peer) { return peer == ::geteuid(); };
    connect(m_server, &QLocalServer::newConnection, this, &CollectServer::accept);
}

CollectServer::~CollectServer() = default;

bool CollectServer::listen(const QString& path, QString* error)
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path) && m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(path);
        m_server->listen(path);
    }
    if (!m_server->isListening() && error)
        *error = m_server->errorString();
    return m_server->isListening();
}

void CollectServer::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto uid = peerUid(*socket);
        if (!uid || !trusts || !trusts(*uid)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        QTimer::singleShot(ReceiveTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        readFrom(socket); // what came with the connection
    }
}

void CollectServer::readFrom(QLocalSocket* socket)
{
    if (socket->property("answered").toBool() || socket->bytesAvailable() < HeaderBytes)
        return;
    const QByteArray header = socket->peek(HeaderBytes);
    const QByteArrayView greeting = QByteArrayView(header).first(GreetingBytes);
    const quint64 length = qFromBigEndian<quint64>(header.constData() + GreetingBytes);
    const auto answer = [socket](char reply) {
        socket->setProperty("answered", true);
        socket->write(&reply, 1);
        socket->disconnectFromServer(); // after the answer is written
    };
    const bool version2 = greeting == Version2;
    if (!version2 && greeting != Version1) {
        socket->abort(); // not one of ours
        socket->deleteLater();
        return;
    }
    if (length > (version2 ? MaxBodyBytes : quint64(CollectChannel::MaxTextBytes))) {
        answer(No);
        return;
    }
    if (socket->bytesAvailable() < HeaderBytes + qint64(length))
        return; // the rest is on its way
    socket->skip(HeaderBytes);
    const QByteArray body = socket->read(qint64(length));
    if (!version2) {
        answer(take && take(QString::fromUtf8(body), {}) ? Yes : No);
        return;
    }
    const auto fields = fieldsOf(body);
    if (!fields) {
        answer(No);
        return;
    }
    const CollectSource source{QString::fromUtf8((*fields)[1]), QString::fromUtf8((*fields)[2]),
                               QString::fromUtf8((*fields)[3])};
    answer(take && take(QString::fromUtf8((*fields)[0]), source) ? Yes : No);
}
