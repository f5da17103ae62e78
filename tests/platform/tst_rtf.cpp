#include "RichText.h"
#include "Rtf.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QString dataDir()
{
    return QStringLiteral(QUORREL_TEST_DATA "/rtf");
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Text like a long clipping collection: Chinese and ASCII words, lines,
// some tabs, braces, backslashes and characters beyond the BMP.
QString mixedText(qsizetype units, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
    text.reserve(units + 2);
    while (text.size() < units) {
        const quint32 pick = random.bounded(100);
        if (pick < 45)
            text += QChar(char16_t(0x4E00 + random.bounded(0x51A6)));
        else if (pick < 85)
            text += QChar(char16_t('a' + random.bounded(26)));
        else if (pick < 92)
            text += u' ';
        else if (pick < 95)
            text += u'\n';
        else if (pick < 96)
            text += u"\t{}\\"_s.at(random.bounded(4));
        else if (pick < 97)
            text += u"😀𠀀"_s.mid(random.bounded(2) * 2, 2);
        else
            text += QChar(char16_t(0x20 + random.bounded(0x5F)));
    }
    return text;
}

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

class RtfTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("ascii") << u"Hello, world. 123"_s;
        QTest::newRow("chinese") << u"中文文本：你好，世界！"_s;
        QTest::newRow("emoji") << u"smile 😀 and 👍🏽"_s;
        QTest::newRow("cjk ext b") << u"𠀀𪚥𫝀"_s;
        QTest::newRow("rtf specials") << u"{a} \\b\\ {\\rtf1 x}"_s;
        QTest::newRow("tabs") << u"\ta\t\tb\t"_s;
        QTest::newRow("digit after tab") << u"\t1\t-2"_s;
        QTest::newRow("space after break") << u"a\n  b\n\tc"_s;
        QTest::newRow("only newlines") << u"\n\n\n"_s;
        QTest::newRow("one newline") << u"\n"_s;
        QTest::newRow("trailing newline") << u"last line\n"_s;
        QTest::newRow("leading newline") << u"\nfirst"_s;
        QTest::newRow("controls and CR") << u"a\r\x01\x1f\x7f z"_s;
        QTest::newRow("question marks") << u"中?\u00e9?"_s;
        QTest::newRow("lone surrogates") << QString(u"x\xD800y\xDC00"_s);
        QTest::newRow("edges of 16 bits") << QString(u"\u7FFF\u8000\uFFFF\uFFFD"_s);
        QTest::newRow("nbsp and soft hyphen") << u"a\u00A0b\u00ADc\u2011d"_s;
        QTest::newRow("10 MB mixed") << mixedText(10'000'000, 1);
    }
    void roundTrips()
    {
        QFETCH(QString, text);
        const QByteArray rtf = Rtf::write(text);
        QVERIFY(Rtf::isRtf(rtf));
        QVERIFY(isAscii(rtf));
        const QString back = Rtf::read(rtf);
        if (back != text) { // QCOMPARE would print 10 MB
            qsizetype i = 0;
            while (i < back.size() && i < text.size() && back[i] == text[i])
                ++i;
            QFAIL(qPrintable(
                u"differs at %1: %2 | %3"_s.arg(i).arg(text.mid(i, 20), back.mid(i, 20))));
        }
    }

    // What Word and WordPad need to see, independently of our own reader.
    void writesWordPadEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("cjk") << u"中"_s << QByteArray("\\u20013?");
        QTest::newRow("upper half is negative") << u"鼎"_s << QByteArray("\\u-24818?");
        QTest::newRow("surrogate pair") << u"😀"_s << QByteArray("\\u-10179?\\u-8704?");
        QTest::newRow("paragraphs") << u"a\nb"_s << QByteArray("a\\par\r\nb\\par\r\n}");
        QTest::newRow("specials") << u"{\\}\t"_s << QByteArray("\\{\\\\\\}\\tab ");
    }
    void writesWordPadEscapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, body);
        const QByteArray rtf = Rtf::write(text);
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936"));
        QVERIFY(rtf.contains("\\fcharset134"));
        QVERIFY(rtf.contains("\\uc1"));
        QVERIFY2(rtf.contains(body), rtf.constData());
    }

    // Documents other programs wrote: LibreOffice (regenerate with
    // soffice --convert-to rtf), WordPad and Word as they write them.
    void readsOtherWriters_data()
    {
        QTest::addColumn<QString>("rtfPath");
        const QDir dir(dataDir());
        const QStringList files = dir.entryList({u"*.rtf"_s}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 4);
        for (const QString& name : files)
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
    }
    void readsOtherWriters()
    {
        QFETCH(QString, rtfPath);
        const QByteArray rtf = readAll(rtfPath);
        QVERIFY(Rtf::isRtf(rtf));
        QString txtPath = rtfPath;
        txtPath.replace(u".rtf"_s, u".txt"_s);
        QCOMPARE(Rtf::read(rtf), QString::fromUtf8(readAll(txtPath)));
    }

    void readsHandWritten_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("gbk bytes")
            << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}") << u"中文"_s;
        QTest::newRow("gbk split by line end")
            << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'d6\r\n\\'d0}") << u"中"_s;
        QTest::newRow("raw 8-bit text") << QByteArray("{\\rtf1\\ansicpg936 \xd6\xd0!}") << u"中!"_s;
        QTest::newRow("cp1252") << QByteArray("{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80\\'93}")
                                << u"café €“"_s;
        QTest::newRow("no code page is 1252") << QByteArray("{\\rtf1 \\'e9}") << u"é"_s;
        QTest::newRow("font charset over code page")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset134 "
                          "SimSun;}}\\f1\\'d6\\'d0\\f0\\'e9}")
            << u"中é"_s;
        QTest::newRow("western letter in chinese document")
            << QByteArray("{\\rtf1\\ansicpg936{\\fonttbl{\\f0\\fcharset0 Arial;}}caf\\'e9 x}")
            << u"café x"_s;
        QTest::newRow("unknown code page")
            << QByteArray("{\\rtf1\\ansicpg77777 \\'c3\\'a9}") << u"é"_s;
        QTest::newRow("uc1") << QByteArray("{\\rtf1\\uc1\\u20013?\\u25991?}") << u"中文"_s;
        QTest::newRow("default uc is 1") << QByteArray("{\\rtf1 \\u20013?x}") << u"中x"_s;
        QTest::newRow("uc0") << QByteArray("{\\rtf1\\uc0\\u20013\\u25991 x}") << u"中文x"_s;
        QTest::newRow("uc2 hex fallback")
            << QByteArray("{\\rtf1\\ansicpg936\\uc2\\u20013\\'d6\\'d0 x}") << u"中 x"_s;
        QTest::newRow("uc is scoped")
            << QByteArray("{\\rtf1{\\uc2\\u20013\\'d6\\'d0}\\u25991?}") << u"中文"_s;
        QTest::newRow("control word counts as one")
            << QByteArray("{\\rtf1\\u20013\\emdash x}") << u"中x"_s;
        QTest::newRow("group ends fallback")
            << QByteArray("{\\rtf1{\\uc5\\u20013}abc}") << u"中abc"_s;
        QTest::newRow("negative u") << QByteArray("{\\rtf1\\u-24818?}") << u"鼎"_s;
        QTest::newRow("u above 16 bits") << QByteArray("{\\rtf1\\u128512?}") << u"😀"_s;
        QTest::newRow("nested groups") << QByteArray("{\\rtf1 a{b{c{\\b d}}e}f}") << u"abcdef"_s;
        QTest::newRow("bin data has braces")
            << QByteArray("{\\rtf1 a{\\pict\\bin3 }{\\}b\\bin2 xyc}") << u"abc"_s;
        QTest::newRow("pict hex") << QByteArray("{\\rtf1 a{\\pict\\pngblip 89504e47}b}") << u"ab"_s;
        QTest::newRow("field result kept")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}} after}")
            << u"link after"_s;
        QTest::newRow("star destination")
            << QByteArray("{\\rtf1 a{\\*\\whatever hidden}b}") << u"ab"_s;
        QTest::newRow("unknown word keeps text")
            << QByteArray("{\\rtf1 a{\\whatever kept}b}") << u"akeptb"_s;
        QTest::newRow("object result")
            << QByteArray("{\\rtf1{\\object{\\*\\objdata 0102}{\\result{\\pict 00}shown}}}")
            << u"shown"_s;
        QTest::newRow("upr takes unicode")
            << QByteArray("{\\rtf1{\\upr{ansi}{\\*\\ud{uni}}}}") << u"uni"_s;
        QTest::newRow("hidden") << QByteArray("{\\rtf1 a{\\v no}b\\v c\\v0 d\\v e\\plain f}")
                                << u"abdf"_s;
        QTest::newRow("breaks") << QByteArray("{\\rtf1 a\\line b\\tab c\\par d\tx}")
                                << u"a\nb\tc\nd\tx"_s;
        QTest::newRow("last par dropped once") << QByteArray("{\\rtf1 a\\par\\par}") << u"a\n"_s;
        QTest::newRow("last line kept") << QByteArray("{\\rtf1 a\\line}") << u"a\n"_s;
        QTest::newRow("page after par")
            << QByteArray("{\\rtf1 a\\par\\page b\\page c}") << u"a\nb\nc"_s;
        QTest::newRow("symbols")
            << QByteArray("{\\rtf1 \\{\\}\\\\\\~\\-\\_\\emdash\\endash\\bullet\\lquote\\rquote"
                          "\\ldblquote\\rdblquote}")
            << u"{}\\\u00A0\u2011—–•‘’“”"_s;
        QTest::newRow("source line ends ignored")
            << QByteArray("{\\rtf1 ab\r\ncd\\par\r\n}") << u"abcd"_s;
        QTest::newRow("escaped line end is par") << QByteArray("{\\rtf1 a\\\nb}") << u"a\nb"_s;
        QTest::newRow("delimiting space") << QByteArray("{\\rtf1\\b  two\\b0\\i x}") << u" twox"_s;
        QTest::newRow("table") << QByteArray("{\\rtf1\\intbl a\\cell b\\cell\\row c}")
                               << u"a\tb\nc"_s;
        QTest::newRow("only the document group") << QByteArray("junk{\\rtf1 a}after") << u"a"_s;
        QTest::newRow("info and tables skipped")
            << QByteArray("{\\rtf1{\\fonttbl{\\f0 A;}}{\\colortbl;\\red0;}{\\stylesheet{\\s0 N;}}"
                          "{\\info{\\title T}}{\\header h}{\\footerl f}{\\*\\generator g}x}")
            << u"x"_s;
    }
    void readsHandWritten()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(Rtf::read(rtf), text);
    }

    void survivesDamage_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text"); // "<any>": only must not crash
        const QString any = u"<any>"_s;
        QTest::newRow("truncated in a group") << QByteArray("{\\rtf1 {{{a") << u"a"_s;
        QTest::newRow("truncated hex") << QByteArray("{\\rtf1 a\\'") << u"a"_s;
        QTest::newRow("truncated word") << QByteArray("{\\rtf1 a\\u") << u"a"_s;
        QTest::newRow("backslash at end") << QByteArray("{\\rtf1 a\\") << u"a"_s;
        QTest::newRow("extra closing") << QByteArray("{\\rtf1 a}}}}b") << u"a"_s;
        QTest::newRow("huge bin") << QByteArray("{\\rtf1 a\\bin999999999999 xyz}") << u"a"_s;
        QTest::newRow("negative bin") << QByteArray("{\\rtf1 a\\bin-5 b}") << u"ab"_s;
        QTest::newRow("huge u") << QByteArray("{\\rtf1 \\u-99999999999999 a}") << any;
        QTest::newRow("huge uc") << QByteArray("{\\rtf1\\uc99999\\u20013 abc}") << u"中"_s;
        QTest::newRow("negative uc") << QByteArray("{\\rtf1\\uc-3\\u20013 abc}") << u"中abc"_s;
        QTest::newRow("huge font number")
            << QByteArray("{\\rtf1{\\fonttbl{\\f99999999999\\fcharset134 x;}}"
                          "\\f-99999999999\\'d6\\'d0}")
            << any;
        QTest::newRow("lone lead byte") << QByteArray("{\\rtf1\\ansicpg936 \\'d6 x}") << any;
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("only brace") << QByteArray("{") << QString();
        QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b\0}", 12) << u"ab"_s;

        const QByteArray million(1'000'000, '{');
        QTest::newRow("a million open braces")
            << QByteArray("{\\rtf1 " + million + "deep") << u"deep"_s;
        QTest::newRow("a million balanced")
            << QByteArray("{\\rtf1 a" + million + "b" + QByteArray(1'000'000, '}') + "c}")
            << u"abc"_s;
        QByteArray changing = "{\\rtf1 ";
        for (int i = 0; i < 200'000; ++i)
            changing += i % 2 ? "{\\uc2" : "{\\uc1";
        QTest::newRow("every level changes state") << QByteArray(changing + "x") << u"x"_s;

        QRandomGenerator random(7);
        for (int i = 0; i < 20; ++i) {
            QByteArray noise(int(random.bounded(1, 4000)), Qt::Uninitialized);
            for (char& c : noise)
                c = char(random.bounded(256));
            // Lean on the bytes that matter to the parser.
            for (char& c : noise)
                if (random.bounded(3) == 0)
                    c = "{}\\'u0123456789 abc*"[random.bounded(20)];
            QTest::newRow(qPrintable(u"random %1"_s.arg(i)))
                << QByteArray("{\\rtf1" + noise) << any;
        }
        const QByteArray word = readAll(dataDir() + u"/word-like.rtf"_s);
        for (qsizetype cut = 1; cut < word.size(); cut += 97)
            QTest::newRow(qPrintable(u"word-like cut at %1"_s.arg(cut))) << word.left(cut) << any;
    }
    void survivesDamage()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        const QString read = Rtf::read(rtf);
        if (text != u"<any>"_s)
            QCOMPARE(read, text);
    }

    void recognisesRtf_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("rtf");
        QTest::newRow("plain") << QByteArray("{\\rtf1\\ansi x}") << true;
        QTest::newRow("bom and blanks") << QByteArray("\xEF\xBB\xBF \r\n{\\rtf1}") << true;
        QTest::newRow("text mentioning rtf") << QByteArray("see {\\rtf1}") << false;
        QTest::newRow("short") << QByteArray("{\\rt") << false;
        QTest::newRow("upper case") << QByteArray("{\\RTF1}") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void recognisesRtf()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, rtf);
        QCOMPARE(Rtf::isRtf(bytes), rtf);
    }

    void loadsAnyDocument_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("gbk text file") << QByteArray("\xd6\xd0\xce\xc4\r\nline") << u"中文\nline"_s;
        QTest::newRow("utf-8 text file") << QByteArray("中文\nline\n") << u"中文\nline\n"_s;
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF\xE4\xB8\xAD") << u"中"_s;
        QTest::newRow("lone CR") << QByteArray("a\rb") << u"a\nb"_s;
        QTest::newRow("rtf") << QByteArray("{\\rtf1\\ansicpg936 \\'d6\\'d0\\par}") << u"中"_s;
        QTest::newRow("empty file") << QByteArray() << QString();
    }
    void loadsAnyDocument()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Doc.dat"_s);
        QVERIFY(writeAll(path, bytes));
        RichTextBuffer buffer;
        QString error;
        QVERIFY2(buffer.LoadFile(path, &error), qPrintable(error));
        QCOMPARE(buffer.Text(), text);
    }

    void savesAndReportsFailures()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Doc.dat"_s);
        RichTextBuffer buffer;
        buffer.setText(u"第一行\r\nsecond\rthird\n"_s);
        QCOMPARE(buffer.Text(), u"第一行\nsecond\nthird\n"_s);
        QString error;
        QVERIFY2(buffer.SaveFile(path, &error), qPrintable(error));
        QVERIFY(Rtf::isRtf(readAll(path)));

        RichTextBuffer loaded;
        QVERIFY(loaded.LoadFile(path));
        QCOMPARE(loaded.Text(), buffer.Text());

        // A failed load keeps what was there.
        QVERIFY(!loaded.LoadFile(dir.filePath(u"missing.dat"_s), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(loaded.Text(), buffer.Text());
        QVERIFY(!loaded.LoadFile(dir.path()));
        QCOMPARE(loaded.Text(), buffer.Text());

        error.clear();
        QVERIFY(!buffer.SaveFile(dir.filePath(u"no/such/folder/Doc.dat"_s), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(RichText::loadText(path).value(), buffer.Text());
    }

    // LibreOffice must read our file as the same text. Its text export ends
    // every paragraph, the last one included, with a line end and starts
    // with a BOM; so the BOM is dropped, CRLF taken as LF, and exactly one
    // final line end removed before comparing.
    void libreOfficeReadsOurFile()
    {
        const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
        if (soffice.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed");
        const QString text = u"第一段 first {paragraph} \\ back\n\ttab, 😀 𠀀 €\n\n"
                             u"third\u00A0nbsp 鼎\nlast line\n"_s;
        QTemporaryDir dir;
        const QString rtfPath = dir.filePath(u"Doc.rtf"_s);
        QVERIFY(RichText::saveText(rtfPath, text));

        QProcess process;
        process.setProgram(soffice);
        process.setArguments({u"-env:UserInstallation="_s +
                                  QUrl::fromLocalFile(dir.filePath(u"profile"_s)).toString(),
                              u"--headless"_s, u"--convert-to"_s, u"txt:Text (encoded):UTF8"_s,
                              u"--outdir"_s, dir.path(), rtfPath});
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start();
        QVERIFY(process.waitForStarted());
        if (!process.waitForFinished(120'000)) {
            process.kill();
            process.waitForFinished();
            QFAIL("soffice took longer than two minutes");
        }
        const QByteArray txt = readAll(dir.filePath(u"Doc.txt"_s));
        QVERIFY2(!txt.isEmpty(), process.readAll().constData());

        QString seen = QString::fromUtf8(txt);
        if (seen.startsWith(QChar(0xFEFF)))
            seen.remove(0, 1);
        seen.replace(u"\r\n"_s, u"\n"_s);
        if (seen.endsWith(u'\n'))
            seen.chop(1);
        QCOMPARE(seen, text);
    }
};

QUORREL_TEST(RtfTest, "rtf")
#include "tst_rtf.moc"
