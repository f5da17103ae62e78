#include "CollectChannel.h"
#include "TestMain.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Result = CollectChannel::Result;

namespace {

// The sender blocks, as `quorrel --collect` does; the server needs this
// thread's event loop, so the sender runs on a thread of its own.
Result sendAndServe(const QString& path, const QString& text)
{
    auto sent =
        std::async(std::launch::async, [&] { return CollectChannel::send(path, text, 20000); });
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(
            sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 25000);
    }();
    return sent.get();
}

// Raw bytes to the server; what it answers (empty: closed without a word).
QByteArray sendRaw(const QString& path, const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(5000))
        return "<no connection>";
    socket.write(bytes);
    QByteArray answer;
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll(), !answer.isEmpty()) ||
                                     socket.state() == QLocalSocket::UnconnectedState,
                                 10000);
    }();
    return answer;
}

QByteArray header(quint64 length)
{
    char bytes[8];
    qToBigEndian<quint64>(length, bytes);
    return QByteArray("QRLCOL01") + QByteArray(bytes, 8);
}

// A collector that takes every text, keeping it in `received`.
void takeInto(CollectServer& server, QStringList& received)
{
    server.take = [&received](const QString& text) {
        received << text;
        return true;
    };
}

} // namespace

class CollectChannelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return dir.filePath(u"channel"_s); }

private Q_SLOTS:
    void textArrivesAsSent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << u"hello"_s;
        QTest::newRow("chinese, emoji, CR LF kept for the collector") << u"中文😀\r\nline"_s;
        QTest::newRow("a megabyte") << QString(1 << 20, u'字');
    }
    void textArrivesAsSent()
    {
        QFETCH(QString, text);
        CollectServer server;
        QStringList received;
        takeInto(server, received);
        QVERIFY(server.listen(path()));
        QCOMPARE(sendAndServe(path(), text), Result::Taken);
        QCOMPARE(received, QStringList{text});
        // Only this user may even connect.
        QCOMPARE(QFileInfo(path()).permissions() &
                     (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
    }

    void refusals_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("takes");
        QTest::newRow("the collector declines") << true << false;
        QTest::newRow("a peer of another user") << false << true;
    }
    void refusals()
    {
        QFETCH(bool, trusted);
        QFETCH(bool, takes);
        CollectServer server;
        int offered = 0;
        server.take = [&](const QString&) {
            ++offered;
            return takes;
        };
        std::optional<uid_t> peer;
        server.trusts = [&](uid_t uid) {
            peer = uid;
            return trusted;
        };
        QVERIFY(server.listen(path()));
        QCOMPARE(sendAndServe(path(), u"text"_s), Result::Refused);
        QCOMPARE(peer, std::optional<uid_t>(::getuid())); // the peer's real user id was asked
        QCOMPARE(offered, trusted ? 1 : 0);
    }

    void noCollectorAndLeftoverSocket()
    {
        QCOMPARE(CollectChannel::send(path(), u"x"_s, 5000), Result::NoCollector);
        // A socket file whose collector died: nobody answers it ...
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path());
        std::memcpy(address.sun_path, name.constData(), name.size());
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        QCOMPARE(CollectChannel::send(path(), u"x"_s, 5000), Result::NoCollector);
        // ... and the next collector takes the name over.
        CollectServer server;
        server.take = [](const QString&) { return true; };
        QVERIFY(server.listen(path()));
        QCOMPARE(sendAndServe(path(), u"x"_s), Result::Taken);
    }

    void foreignBytesStoreNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("not our greeting") << QByteArray("GET / HTTP/1.0\r\n\r\n") << QByteArray();
        QTest::newRow("longer than allowed")
            << header(quint64(CollectChannel::MaxTextBytes) + 1) << QByteArray("N");
        QTest::newRow("what was promised") << header(2) + "ok" << QByteArray("Y");
    }
    void foreignBytesStoreNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, answer);
        CollectServer server;
        QStringList received;
        takeInto(server, received);
        QVERIFY(server.listen(path()));
        QCOMPARE(sendRaw(path(), bytes), answer);
        QCOMPARE(received, answer == "Y" ? QStringList{u"ok"_s} : QStringList());
    }

    void listenFailsWhereNoFolderIs()
    {
        CollectServer server;
        QString error;
        QVERIFY(!server.listen(dir.filePath(u"missing/channel"_s), &error));
        QVERIFY(!error.isEmpty());
    }

    void namedPerProgramFolder()
    {
        const QString a = CollectChannel::pathFor(u"/opt/a/"_s);
        QCOMPARE(CollectChannel::pathFor(u"/opt/a"_s), a);
        QVERIFY(a != CollectChannel::pathFor(u"/opt/b/"_s));
        QVERIFY(QFileInfo(a).fileName().contains(QString::number(::getuid())));
    }
};

QUORREL_TEST(CollectChannelTest, "collectchannel")
#include "tst_collectchannel.moc"
