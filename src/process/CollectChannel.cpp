#include "CollectChannel.h"

#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <QtEndian>

#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr QByteArrayView Magic = "QRLCOL01";
constexpr qsizetype HeaderBytes = 16;
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

} // namespace

namespace CollectChannel {

QString pathFor(const QString& programDir)
{
    return SingleInstance::runtimePathFor(programDir, u".collect");
}

Result send(const QString& path, const QString& text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) {
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError ||
                       error == QLocalSocket::ConnectionRefusedError
                   ? Result::NoCollector
                   : Result::Failed;
    }
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > MaxTextBytes)
        return Result::Refused;
    char length[8];
    qToBigEndian<quint64>(quint64(bytes.size()), length);
    socket.write(Magic.data(), Magic.size());
    socket.write(length, sizeof length);
    socket.write(bytes);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return socket.state() == QLocalSocket::UnconnectedState ? Result::Refused
                                                                    : Result::Failed;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            // Closed without an answer: the collector did not trust us.
            return socket.state() == QLocalSocket::UnconnectedState ? Result::Refused
                                                                    : Result::Failed;
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == Yes ? Result::Taken : Result::Refused;
}

} // namespace CollectChannel

CollectServer::CollectServer(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    trusts = [](uid_t peer) { return peer == ::getuid(); };
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
    const quint64 length = qFromBigEndian<quint64>(header.constData() + Magic.size());
    const auto answer = [socket](char reply) {
        socket->setProperty("answered", true);
        socket->write(&reply, 1);
        socket->disconnectFromServer(); // after the answer is written
    };
    if (QByteArrayView(header).first(Magic.size()) != Magic) {
        socket->abort(); // not one of ours
        socket->deleteLater();
        return;
    }
    if (length > quint64(CollectChannel::MaxTextBytes)) {
        answer(No);
        return;
    }
    if (socket->bytesAvailable() < HeaderBytes + qint64(length))
        return; // the rest is on its way
    socket->skip(HeaderBytes);
    const QString text = QString::fromUtf8(socket->read(qint64(length)));
    answer(take && take(text) ? Yes : No);
}
