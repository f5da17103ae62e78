#include "ProgramDir.h"
#include "Settings.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class SettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsWithDefaultsAndCuts()
    {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        QCOMPARE(ProgramDir(), dir.path() + u'/');
        QCOMPARE(ReadSetting(u"save"_s, u"append"_s), u"append"_s); // no file

        const QByteArray longAscii(300, 'x');
        const QByteArray longChinese = QString(100, u'中').toUtf8();
        QVERIFY(TestFiles::writeBytes(
            ProgramDir() + u"Set.ini"_s,
            "[CollectorSet]\r\ntip=false\r\nfilepath=D:\\\xD6\xD0\xCE\xC4\\\r\n"
            "empty=\r\nlong=" + longAscii + "\r\nlongzh=" + longChinese
                + "\r\nnul=" + QByteArray("ab\0cd", 5) + "\r\nutf8=中文\r\n"));
        QCOMPARE(ReadSetting(u"Tip"_s, u"true"_s), u"false"_s);
        QCOMPARE(ReadSetting(u"missing"_s, u"default"_s), u"default"_s);
        QCOMPARE(ReadSetting(u"empty"_s, u"default"_s), QString());
        QCOMPARE(ReadSetting(u"long"_s, {}), QString(254, u'x'));
        QCOMPARE(ReadSetting(u"longzh"_s, {}), QString(84, u'中'));
        QCOMPARE(ReadSetting(u"nul"_s, {}), u"ab"_s);
        // A GBK line beside UTF-8 lines: each value decodes on its own.
        QCOMPARE(ReadSetting(u"filepath"_s, {}), u"D:\\中文\\"_s);
        QCOMPARE(ReadSetting(u"utf8"_s, {}), u"中文"_s);
    }

    void writesInPlaceAndRoundTrips()
    {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        const QString path = ProgramDir() + u"Set.ini"_s;
        QVERIFY(TestFiles::writeBytes(path, "; kept\n\n[Other]\nsave=x\n[CollectorSet]\nTip=true\n"));

        WriteSetting(u"tip"_s, u"false"_s);
        WriteSetting(u"filepath"_s, u"/home/用户/摘录 😀/"_s);
        // A value ends at its first line break, whichever kind.
        WriteSetting(u"left"_s, u"two\nlines"_s);
        WriteSetting(u"top"_s, u"old\rMac"_s);
        WriteSetting(u"save"_s, u"dos\r\nline"_s);
        QCOMPARE(TestFiles::bytesOf(path), QByteArray("; kept\n\n[Other]\nsave=x\n[CollectorSet]\n"
                                            "Tip=false\nfilepath=/home/用户/摘录 😀/\n"
                                            "left=two\ntop=old\nsave=dos\n"));
        QCOMPARE(ReadSetting(u"filepath"_s, {}), u"/home/用户/摘录 😀/"_s);
    }

    void readingRules()
    {
        using namespace SettingRules;
        QVERIFY(onUnlessFalse(u"False"_s));
        QVERIFY(onUnlessFalse(u" false"_s));
        QVERIFY(!onUnlessFalse(u"false"_s));
        QVERIFY(!onlyIfTrue(u"True"_s));
        QVERIFY(!onlyIfTrue(u" true"_s));
        QVERIFY(onlyIfTrue(u"true"_s));
        QCOMPARE(saveMode(u"Create"_s), u"append"_s);
        QCOMPARE(saveMode(u"database"_s), u"database"_s);
        QCOMPARE(resolveFilePath(u"default"_s, u"/opt/q/"_s), u"/opt/q/Documents/"_s);
        QCOMPARE(resolveFilePath(u"/home/u/Texts"_s, u"/opt/q/"_s), u"/home/u/Texts/"_s);
        QCOMPARE(resolveFilePath(u"/"_s, u"/opt/q/"_s), u"/"_s);
        QCOMPARE(resolveFilePath(QString(), u"/opt/q/"_s), u"/"_s);
    }

    void positions_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("top");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("plain") << u"120"_s << u"-120"_s << true << 120 << -120;
        QTest::newRow("halves to even") << u"2.5"_s << u"-127.5"_s << true << 2 << -128;
        QTest::newRow("top missing") << u"120"_s << u"false"_s << false << 0 << 0;
        QTest::newRow("not a number") << u"abc"_s << u"10"_s << false << 0 << 0;
        QTest::newRow("beyond 16 bits") << u"40000"_s << u"10"_s << false << 0 << 0;
        QTest::newRow("edge") << u"32767.4"_s << u"-32768"_s << true << 32767 << -32768;
        QTest::newRow("empty") << QString() << u"10"_s << false << 0 << 0;
    }
    void positions()
    {
        QFETCH(QString, left);
        QFETCH(QString, top);
        QFETCH(bool, applied);
        const auto pos = SettingRules::position(left, top);
        QCOMPARE(pos.has_value(), applied);
        if (pos) {
            QFETCH(int, x);
            QFETCH(int, y);
            QCOMPARE(pos->left, x);
            QCOMPARE(pos->top, y);
        }
        // The exit writes each of the row's numbers as the row has it.
        for (const QString& written : {left, top}) {
            bool number = false;
            const double twips = written.toDouble(&number);
            if (number)
                QCOMPARE(SettingRules::twipsText(twips), written);
        }
    }
};

QUORREL_TEST(SettingsTest, "settings")
#include "tst_settings.moc"
