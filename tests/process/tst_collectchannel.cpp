#include "CollectChannel.h"
#include "LocalConditions.h"
#include "TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Result = CollectChannel::Result;

Q_DECLARE_METATYPE(CollectSource)

namespace {

// The sender blocks, as `quorrel --collect` does; the server needs this
// thread's event loop, so the sender runs on a thread of its own.
Result sendAndServe(const QString& path, const QString& text, const CollectSource& source = {})
{
    auto sent = std::async(std::launch::async,
                           [&] { return CollectChannel::send(path, text, source, 20000); });
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

QByteArray header(quint64 length, const char* greeting = "QRLCOL01")
{
    char bytes[8];
    qToBigEndian<quint64>(length, bytes);
    return QByteArray(greeting) + QByteArray(bytes, 8);
}

// A collector that takes every text, keeping it in `received`.
void takeInto(CollectServer& server, QStringList& received)
{
    server.take = [&received](const QString& text, const CollectSource&) {
        return received << text, true;
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
        QTest::addColumn<CollectSource>("source");
        QTest::newRow("ascii, no source") << u"hello"_s << CollectSource{};
        QTest::newRow("chinese, emoji, CR LF kept for the collector, a whole source")
            << u"中文😀\r\nline"_s
            << CollectSource{u"测试页面"_s, u"https://例子.cn/a?b=c#d"_s, u"2026-12-07 19:20:05"_s};
        QTest::newRow("a megabyte, only a time")
            << QString(1 << 20, u'字') << CollectSource{{}, {}, u"2026-12-07 19:20:05"_s};
        QTest::newRow("a title longer than a source may be")
            << u"x"_s << CollectSource{QString(100'000, u'题'), {}, {}};
    }
    void textArrivesAsSent()
    {
        QFETCH(QString, text);
        QFETCH(CollectSource, source);
        CollectServer server;
        QList<std::pair<QString, CollectSource>> received;
        server.take = [&](const QString& t, const CollectSource& s) {
            return received.append({t, s}), true;
        };
        QVERIFY(server.listen(path()));
        QCOMPARE(sendAndServe(path(), text, source), Result::Taken);
        source.title.truncate(CollectChannel::MaxSourceChars); // cut, not refused
        QVERIFY(received == (QList<std::pair<QString, CollectSource>>{{text, source}}));
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
        server.take = [&](const QString&, const CollectSource&) { return ++offered, takes; };
        std::optional<uid_t> peer;
        server.trusts = [&](uid_t uid) { return peer = uid, trusted; };
        QVERIFY(server.listen(path()));
        QCOMPARE(sendAndServe(path(), u"text"_s), Result::Refused);
        QCOMPARE(peer, std::optional<uid_t>(::getuid())); // the peer's real user id was asked
        QCOMPARE(offered, trusted ? 1 : 0);
    }

    // `quorrel --collect` checks the socket's folder and the listener's user
    // before a byte goes out: nothing reaches another account.
    void nothingGoesToAnotherAccount_data()
    {
        QTest::addColumn<bool>("foreignListener");
        QTest::newRow("a listener of another account at our name") << true;
        QTest::newRow("our folder opened to others since it was made") << false;
    }
    void nothingGoesToAnotherAccount()
    {
        QFETCH(bool, foreignListener);
        QTemporaryDir base;
        LocalConditions::Environment env;
        env.set("XDG_RUNTIME_DIR", std::nullopt);
        env.set("HOME", base.path());
        const QString path = CollectChannel::pathFor(base.filePath(u"program"_s));
        QVERIFY(!path.isEmpty());
        CollectServer server;
        QStringList received;
        QProcess listener;
        if (foreignListener) {
            const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
            if (::geteuid() != 0 || setpriv.isEmpty())
                QSKIP("needs root and setpriv to run a listener as another account");
            // Their own folder, and a copy of the helper they can run.
            const QString theirs = base.filePath(u"theirs"_s);
            const QString helper = theirs + u"/lock_holder"_s;
            QVERIFY(QDir().mkpath(theirs) && QFile::copy(QStringLiteral(LOCK_HOLDER), helper));
            QVERIFY(LocalConditions::giveAway(theirs) && LocalConditions::giveAway(helper));
            ::chmod(QFile::encodeName(base.path()).constData(), 0711);
            listener.start(setpriv, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                     helper, u"--listen"_s, theirs + u"/socket"_s});
            QVERIFY(listener.waitForReadyRead(30000));
            QCOMPARE(listener.readLine().trimmed(), QByteArray("listening"));
            // At our name now: a connection there reaches their listener.
            QVERIFY(QFile::rename(theirs + u"/socket"_s, path));
        } else {
            takeInto(server, received);
            QVERIFY(server.listen(path));
            ::chmod(QFile::encodeName(QFileInfo(path).path()).constData(), 0777);
        }
        QCOMPARE(sendAndServe(path, u"我的银行密码是 4711"_s), Result::Untrusted);
        QCOMPARE(received, QStringList());
        if (foreignListener) {
            listener.kill();
            QVERIFY(listener.waitForFinished(30000));
            QCOMPARE(listener.readAll(), QByteArray());
        }
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
        server.take = [](const QString&, const CollectSource&) { return true; };
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
        QTest::newRow("fields that do not fill their body")
            << header(6, "QRLCOL02") + QByteArray("\0\0\0\x09ok", 6) << QByteArray("N");
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

    // One channel per program folder, however it is spelt; none where no folder is.
    void namedPerProgramFolder()
    {
        const QString a = CollectChannel::pathFor(u"/opt/a/"_s);
        QCOMPARE(CollectChannel::pathFor(u"/opt/a"_s), a);
        QVERIFY(a != CollectChannel::pathFor(u"/opt/b/"_s));
        QString error;
        QVERIFY(!CollectServer().listen(dir.filePath(u"missing/channel"_s), &error));
        QVERIFY(!error.isEmpty());
    }
};

QUORREL_TEST(CollectChannelTest, "collectchannel")
#include "tst_collectchannel.moc"
