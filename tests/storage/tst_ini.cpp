#include "IniFile.h"
#include "TestMain.h"

#include <QTest>

class IniTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected"); // "<none>" when absent
        const QByteArray file = "; comment=1\r\n[Other]\r\nsave=create\r\n"
                                "[ collectorset ]\r\n  Save = database \r\nTip=\r\n"
                                "dup=first\r\ndup=second\r\n#tip=no\r\n";
        QTest::newRow("case-insensitive section and key") << file << QByteArray("SAVE")
                                                          << QByteArray("database");
        QTest::newRow("present but empty") << file << QByteArray("tip") << QByteArray("");
        QTest::newRow("first of two wins") << file << QByteArray("dup") << QByteArray("first");
        QTest::newRow("other section not seen") << QByteArray("[Other]\nleft=1\n")
                                                << QByteArray("left") << QByteArray("<none>");
        QTest::newRow("missing key") << file << QByteArray("top") << QByteArray("<none>");
        QTest::newRow("no trailing newline") << QByteArray("[CollectorSet]\nleft=15")
                                             << QByteArray("left") << QByteArray("15");
        QTest::newRow("bytes kept raw") << QByteArray("[CollectorSet]\nfilepath=D:\\\xD6\xD0\n")
                                        << QByteArray("filepath")
                                        << QByteArray("D:\\\xD6\xD0");
    }
    void readsValues()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        const auto value = Ini::value(content, "CollectorSet", key);
        QCOMPARE(value.value_or("<none>"), expected);
    }

    void writesOneLineAndKeepsTheRest_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("replace in place, spelling and CRLF kept")
            << QByteArray("; top comment\r\n\r\n[CollectorSet]\r\nTip=true\r\nsave=append\r\n")
            << QByteArray("tip")
            << QByteArray("; top comment\r\n\r\n[CollectorSet]\r\nTip=NEW\r\nsave=append\r\n");
        QTest::newRow("new key after last line of its section")
            << QByteArray("[CollectorSet]\nsave=append\n\n[Other]\nx=1\n") << QByteArray("left")
            << QByteArray("[CollectorSet]\nsave=append\nleft=NEW\n\n[Other]\nx=1\n");
        QTest::newRow("missing section appended")
            << QByteArray("[Other]\nx=1") << QByteArray("top")
            << QByteArray("[Other]\nx=1\n[CollectorSet]\ntop=NEW\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray("save")
                                    << QByteArray("[CollectorSet]\nsave=NEW\n");
        QTest::newRow("section at end without newline")
            << QByteArray("[CollectorSet]") << QByteArray("save")
            << QByteArray("[CollectorSet]\nsave=NEW\n");
    }
    void writesOneLineAndKeepsTheRest()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, after);
        QCOMPARE(Ini::withValue(before, "CollectorSet", key, "NEW").value(), after);
    }

    // Whatever withValue writes, value reads back. Inputs fuzz_ini found:
    // the new key went right after the CR, on the same line.
    void writtenValueReadsBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("last line ends in a lone CR") << QByteArray("[sec]\nt\r");
        QTest::newRow("header alone, lone CR") << QByteArray("[sec]\r");
        QTest::newRow("last line ends in CRLF") << QByteArray("[sec]\r\nt\r\n");
    }
    void writtenValueReadsBack()
    {
        QFETCH(QByteArray, content);
        const auto written = Ini::withValue(content, "sec", "key", "value");
        QVERIFY(written);
        QCOMPARE(Ini::value(*written, "sec", "key").value_or("<none>"), QByteArray("value"));
    }

    void refusesValuesThatBreakTheFile()
    {
        for (const char* value : {"two\nlines", "old\rMac", "ends\r"})
            QVERIFY2(!Ini::withValue("", "CollectorSet", "key", value), value);
        QVERIFY(!Ini::withValue("", "CollectorSet", "a=b", "v"));
        QVERIFY(!Ini::withValue("", "CollectorSet", "", "v"));
    }
};

QUORREL_TEST(IniTest, "ini")
#include "tst_ini.moc"
