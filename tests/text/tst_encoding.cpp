#include "Encoding.h"
#include "TestMain.h"

#include <QTest>

using namespace Qt::StringLiterals;

class EncodingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decodesForeignBytes()
    {
        QCOMPARE(Encoding::decodeNarrow("\xD6\xD0\xCE\xC4"), u"中文"_s); // GBK: not UTF-8
        QCOMPARE(Encoding::decodeNarrow("\xEF\xBB\xBF" "abc"), u"abc"_s);
        QCOMPARE(Encoding::decodeNarrow("\x95\x32\x82\x36"), u"𠀀"_s); // GB18030 four bytes
    }

    // A binary file, or text in a code page we do not read, must not pass
    // for a document: the program would replace it with the "text" it read.
    void tellsTextFromBinary_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("text");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("ascii and usual controls") << QByteArray("plain\r\n\ttext\f\x1a") << true;
        QTest::newRow("utf-8") << u"中文 text 😀\n"_s.toUtf8() << true;
        QTest::newRow("gbk") << QByteArray("\xD6\xD0\xCE\xC4 GBK") << true;
        QTest::newRow("gb18030 four bytes") << QByteArray("\x95\x32\x82\x36") << true;
        QTest::newRow("nul") << QByteArray("text\0more", 9) << false;
        QTest::newRow("control bytes")
            << QByteArray("\x01\x02\x03\x04 mostly control bytes") << false;
        QTest::newRow("latin-1") << QByteArray("caf\xe9 au lait\r\n") << false;
        QTest::newRow("latin-1, accent last") << QByteArray("un caf\xe9") << false;
        QTest::newRow("gbk cut in a character") << QByteArray("\xD6\xD0\xCE") << false;
        QByteArray noise;
        for (int i = 0; i < 4096; ++i)
            noise += char((i * 7919 + 13) % 251 + 1); // no NUL: control bytes and bad sequences tell
        QTest::newRow("noise") << noise << false;
    }
    void tellsTextFromBinary()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, text);
        QCOMPARE(Encoding::isText(bytes), text);
    }

    void truncatesOnCharacterBoundaries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascii") << QString(300, u'a') << 254 << QString(254, u'a');
        // 84 Chinese characters are 252 bytes; the 85th would need 255.
        QTest::newRow("chinese") << QString(100, u'中') << 254 << QString(84, u'中');
        QTest::newRow("emoji-not-split") << (QString(252, u'a') + u"😀"_s) << 254
                                         << QString(252, u'a');
        QTest::newRow("fits") << u"短"_s << 254 << u"短"_s;
    }
    void truncatesOnCharacterBoundaries()
    {
        QFETCH(QString, text);
        QFETCH(int, maxBytes);
        QFETCH(QString, expected);
        QCOMPARE(Encoding::truncateUtf8(text, maxBytes), expected);
        QVERIFY(Encoding::encodeNarrow(expected).size() <= maxBytes);
    }
};

QUORREL_TEST(EncodingTest, "encoding")
#include "tst_encoding.moc"
