// Inputs the fuzzers (fuzz/) found, kept so the faults stay fixed.
#include "IniFile.h"
#include "TestMain.h"

#include <QTest>

class FuzzRegressTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Whatever withValue writes, value reads back.
    void iniWriteReadsBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        // fuzz_ini: the new key went right after the CR, on the same line.
        QTest::newRow("last line ends in a lone CR") << QByteArray("[sec]\nt\r");
        QTest::newRow("header alone, lone CR") << QByteArray("[sec]\r");
        QTest::newRow("last line ends in CRLF") << QByteArray("[sec]\r\nt\r\n");
    }
    void iniWriteReadsBack()
    {
        QFETCH(QByteArray, content);
        const auto written = Ini::withValue(content, "sec", "key", "value");
        QVERIFY(written);
        QCOMPARE(Ini::value(*written, "sec", "key").value_or("<none>"), QByteArray("value"));
    }
};

QUORREL_TEST(FuzzRegressTest, "fuzzregress")
#include "tst_fuzzregress.moc"
