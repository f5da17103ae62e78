#include "ChildProcess.h"
#include "DocVersions.h"
#include "RichText.h"
#include "Rtf.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// fuzz/fuzz_rtf.cpp: aborts when what was read does not write and read back
// the same, or an append does not read as the old text followed by the new.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void fuzzerChecks(const QByteArray& rtf)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(rtf.constData()), size_t(rtf.size()));
}

const QString dataDir = QStringLiteral(QUORREL_TEST_DATA "/rtf");

// One row of a table of bytes and what they are, or read as.
template <typename... T>
void row(const char* name, const QByteArray& bytes, const T&... expected)
{
    ((QTest::newRow(name) << bytes) << ... << expected);
}

using TestFiles::bytesOf;
using TestFiles::writeBytes;

// Text like a long clipping collection: Chinese and ASCII words, lines,
// some tabs, braces, backslashes and characters beyond the BMP.
QString mixedText(qsizetype units, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
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

// Empty when equal, else where `read` first differs (QCOMPARE would print 10 MB).
QString difference(const QString& read, const QString& expected)
{
    if (read == expected)
        return QString();
    qsizetype i = 0;
    while (i < read.size() && i < expected.size() && read[i] == expected[i])
        ++i;
    return u"reads %1 where %2 (from %3)"_s.arg(read.mid(i, 20).toHtmlEscaped(),
                                                 expected.mid(i, 20).toHtmlEscaped(),
                                                 QString::number(i));
}

// Empty when `doc` with `text` appended reads as its old text plus `text`,
// and keeps every byte it had around the inserted ones.
QString appendFault(const QByteArray& doc, const QString& text)
{
    const auto insert = Rtf::insertion(doc, text);
    if (!insert)
        return u"no place to append"_s;
    const QByteArray appended = Rtf::append(doc, text).value_or(QByteArray());
    if (appended !=
        doc.left(insert->offset) + insert->bytes + doc.mid(insert->offset) + insert->closing)
        return u"append and insertion differ"_s;
    const QString fault = difference(Rtf::read(appended), Rtf::read(doc) + text);
    return fault.isEmpty() ? fault
                           : fault + u", inserted "_s + QString::fromLatin1(insert->bytes.left(60));
}

// Dropped texts that reach the edges of the appended group.
const QStringList& appendedTexts()
{
    static const QStringList texts = {
        u"x"_s, u"新的一段"_s, u" leading space"_s, u"12 digits first"_s, u"\n"_s, u"a\nb\n"_s,
        u"\n\nafter blank lines"_s, u"{\\}"_s, u"\tx\t"_s, u"@A"_s, u"😀"_s, QString(u"\xDC00 lone"_s),
    };
    return texts;
}

QString convertWithLibreOffice(const QString& soffice, const QString& rtfPath, QString* log)
{
    const QFileInfo info(rtfPath);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(soffice, {u"-env:UserInstallation="_s +
                                QUrl::fromLocalFile(info.dir().filePath(u"profile"_s)).toString(),
                            u"--headless"_s, u"--convert-to"_s, u"txt:Text (encoded):UTF8"_s,
                            u"--outdir"_s, info.path(), rtfPath});
    if (!process.waitForFinished(120'000)) { // the destructor kills it
        *log = u"soffice did not finish in two minutes: "_s + process.errorString();
        return QString();
    }
    *log = QString::fromLocal8Bit(process.readAll());
    // The decoder drops the BOM LibreOffice writes.
    QString seen = QStringDecoder(QStringDecoder::Utf8)
                       .decode(bytesOf(info.dir().filePath(info.completeBaseName() + u".txt"_s)));
    return seen.replace(u"\r\n"_s, u"\n"_s);
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
        QVERIFY(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));
        const QString fault = difference(Rtf::read(rtf), text);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
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
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936") && rtf.contains("\\fcharset134"));
        QVERIFY(rtf.contains("\\uc1"));
        QVERIFY2(rtf.contains(body), rtf.constData());
    }

    // Documents other programs wrote: LibreOffice (regenerate with
    // soffice --convert-to rtf), WordPad and Word as they write them.
    void readsOtherWriters_data()
    {
        QTest::addColumn<QString>("rtfPath");
        const QDir dir(dataDir);
        const QStringList files = dir.entryList({u"*.rtf"_s}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 4);
        for (const QString& name : files)
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
    }
    void readsOtherWriters()
    {
        QFETCH(QString, rtfPath);
        const QByteArray rtf = bytesOf(rtfPath);
        QVERIFY(Rtf::isRtf(rtf));
        QCOMPARE(Rtf::read(rtf), QString::fromUtf8(bytesOf(rtfPath.chopped(3) + u"txt"_s)));
    }

    // Each row: RTF bytes and the text they read as.
    void reads_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        row("gbk bytes", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", u"中文"_s);
        row("gbk split by line end", "{\\rtf1\\ansi\\ansicpg936 \\'d6\r\n\\'d0}", u"中"_s);
        row("raw 8-bit text", "{\\rtf1\\ansicpg936 \xd6\xd0!}", u"中!"_s);
        row("cp1252", "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80\\'93}", u"café €“"_s);
        row("no code page is 1252", "{\\rtf1 \\'e9}", u"é"_s);
        row("font charset over code page", "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{"
            "\\f1\\fcharset134 SimSun;}}\\f1\\'d6\\'d0\\f0\\'e9}", u"中é"_s);
        row("western letter in chinese document", "{\\rtf1\\ansicpg936{\\fonttbl{\\f0\\fcharset0 "
            "Arial;}}caf\\'e9 x}", u"café x"_s);
        row("unknown code page", "{\\rtf1\\ansicpg77777 \\'c3\\'a9}", u"é"_s);
        row("uc1", "{\\rtf1\\uc1\\u20013?\\u25991?}", u"中文"_s);
        row("default uc is 1", "{\\rtf1 \\u20013?x}", u"中x"_s);
        row("uc0", "{\\rtf1\\uc0\\u20013\\u25991 x}", u"中文x"_s);
        row("uc2 hex fallback", "{\\rtf1\\ansicpg936\\uc2\\u20013\\'d6\\'d0 x}", u"中 x"_s);
        row("uc is scoped", "{\\rtf1{\\uc2\\u20013\\'d6\\'d0}\\u25991?}", u"中文"_s);
        row("control word counts as one", "{\\rtf1\\u20013\\emdash x}", u"中x"_s);
        row("group ends fallback", "{\\rtf1{\\uc5\\u20013}abc}", u"中abc"_s);
        row("negative u", "{\\rtf1\\u-24818?}", u"鼎"_s);
        row("u above 16 bits", "{\\rtf1\\u128512?}", u"😀"_s);
        row("nested groups", "{\\rtf1 a{b{c{\\b d}}e}f}", u"abcdef"_s);
        row("bin data has braces", "{\\rtf1 a{\\pict\\bin3 }{\\}b\\bin2 xyc}", u"abc"_s);
        row("pict hex", "{\\rtf1 a{\\pict\\pngblip 89504e47}b}", u"ab"_s);
        row("field result kept", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}} "
            "after}", u"link after"_s);
        row("star destination", "{\\rtf1 a{\\*\\whatever hidden}b}", u"ab"_s);
        row("unknown word keeps text", "{\\rtf1 a{\\whatever kept}b}", u"akeptb"_s);
        row("object result", "{\\rtf1{\\object{\\*\\objdata 0102}{\\result{\\pict 00}shown}}}",
            u"shown"_s);
        row("upr takes unicode", "{\\rtf1{\\upr{ansi}{\\*\\ud{uni}}}}", u"uni"_s);
        row("hidden", "{\\rtf1 a{\\v no}b\\v c\\v0 d\\v e\\plain f}", u"abdf"_s);
        row("breaks", "{\\rtf1 a\\line b\\tab c\\par d\tx}", u"a\nb\tc\nd\tx"_s);
        row("last par dropped once", "{\\rtf1 a\\par\\par}", u"a\n"_s);
        row("last line kept", "{\\rtf1 a\\line}", u"a\n"_s);
        row("page after par", "{\\rtf1 a\\par\\page b\\page c}", u"a\nb\nc"_s);
        row("symbols", "{\\rtf1 \\{\\}\\\\\\~\\-\\_\\emdash\\endash\\bullet\\lquote\\rquote"
            "\\ldblquote\\rdblquote}", u"{}\\\u00A0\u2011—–•‘’“”"_s);
        row("source line ends ignored", "{\\rtf1 ab\r\ncd\\par\r\n}", u"abcd"_s);
        row("escaped line end is par", "{\\rtf1 a\\\nb}", u"a\nb"_s);
        row("delimiting space", "{\\rtf1\\b  two\\b0\\i x}", u" twox"_s);
        row("table", "{\\rtf1\\intbl a\\cell b\\cell\\row c}", u"a\tb\nc"_s);
        row("only the document group", "junk{\\rtf1 a}after", u"a"_s);
        row("info and tables skipped", "{\\rtf1{\\fonttbl{\\f0 A;}}{\\colortbl;\\red0;}{"
            "\\stylesheet{\\s0 N;}}{\\info{\\title T}}{\\header h}{\\footerl f}{\\*\\generator "
            "g}x}", u"x"_s);
        // What Word, WordPad, TextEdit and others write that the reader once lost.
        // Trail bytes below 0x80 come unescaped.
        row("gbk trail as plain character", "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil"
            "\\fcharset134 SimSun;}}\\f0 \\'81@\\'d6\\'d0\\'95\\'4e\\par}", u"丂中昇"_s);
        QTest::newRow("big5 trail as plain character")
            << QByteArray("{\\rtf1\\ansi\\ansicpg950 \\'a4@\\'a4A\\'a1P}")
            << u"一乙"_s + QString(QStringDecoder("Big5").decode(QByteArrayView("\xa1P")));
        row("shift_jis font trail as plain character", "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 "
            "Arial;}{\\f1\\fcharset128 MS Mincho;}}\\f1 \\'84M\\f0 M}", u"\u041CM"_s);
        row("trail as escaped backslash", "{\\rtf1\\ansicpg932 \\'95\\\\}", u"表"_s);
        row("raw lead byte, plain trail", "{\\rtf1\\ansicpg936 \x81@ \x81\x40}", u"丂 丂"_s);
        row("lead byte across a line end", "{\\rtf1\\ansicpg936 \\'81\r\n@}", u"丂"_s);
        QTest::newRow("no trail after a single-byte character")
            << QByteArray("{\\rtf1\\ansicpg936 \\'d6\\'d0@\\'41}") << u"中@A"_s;
        QTest::newRow("trail byte that is a lead byte too")
            << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0a\\'e9}") << u"中a\uFFFD"_s;
        // A lead byte never pairs across a group or a font: it stands alone.
        row("lead byte alone at a group's end", "{\\rtf1\\ansicpg936 {\\'81}@\\'d6\\'d0{\\'81{@}}}",
            u"\uFFFD@中\uFFFD@"_s);
        row("lead byte alone at a font change", "{\\rtf1\\ansicpg936{\\fonttbl{\\f0\\fcharset134 "
            "A;}{\\f1\\fcharset134 B;}}\\f0\\'81\\f1@\\'81\\f1@}", u"\uFFFD@丂"_s);
        QTest::newRow("one bad character, the rest kept")
            << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'93}") << u"あ\uFFFD"_s;
        row("euro sign of gbk", "{\\rtf1\\ansicpg936 \\'80\\'81}", u"€\uFFFD"_s);
        // Western punctuation in a Western font of a Chinese or Japanese
        // document, as Chinese and Japanese word processors write it.
        row("western quotes in a chinese document", "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{"
            "\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fnil\\fcharset134 \\'cb\\'ce\\'cc"
            "\\'e5;}}\r\n{\\f1 \\'d6\\'d0\\'ce\\'c4}{\\f0 \\'93quoted\\'94 \\'e9t\\'e9}\\par}",
            u"中文“quoted” été"_s);
        row("western quotes in a japanese document", "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl"
            "{\\f0\\froman\\fcharset0 Times New Roman;}{\\f11\\froman\\fcharset128 MS "
            "Mincho;}}\r\n{\\f0 says that }{\\loch\\f0 \\'93}{\\loch\\f0 This is a test\\'94}{"
            "\\f11 \\'82\\'a0}\\par}", u"says that “This is a test”あ"_s);
        row("font code page over its charset", "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0"
            "\\cpg936\\fcharset0 A;}{\\f1\\fcharset134\\cpg1252 B;}}\\f0\\'d6\\'d0\\f1\\'d6\\'d0}",
            u"中ÖÐ"_s);
        // Word's fonts per kind of run: \loch, \hich and \dbch name the kind
        // the text is, \af after one of them that kind's font, \af after
        // \rtlch or \ltrch the font of right-to-left text.
        row("word's fonts per kind of run", "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0"
            "\\fcharset0 A;}{\\f1\\fcharset134 S;}{\\f2\\fcharset204 C;}}\\hich\\af2\\dbch\\af1"
            "\\loch\\f0 \\'e9{\\dbch \\'d6\\'d0}{\\hich \\'e9}{\\loch\\af2\\hich\\af2\\dbch\\f1 "
            "\\'d6\\'d0}{\\rtlch\\af2\\ltrch \\'e9}\\plain\\'e9}", u"é中й中éé"_s);
        row("uhc letters only", "{\\rtf1\\ansicpg949 \\'81A \\'c7\\'d1}", u"\uAC02 한"_s);
        // Mac code pages and character sets.
        row("textedit japanese", "{\\rtf1\\mac\\ansicpg10001{\\fonttbl\\f0\\fswiss\\fcharset77 "
            "Helvetica;\\f1\\fnil\\fcharset78 HiraKakuPro-W3;}\\f1 \\'82\\'cd\\'82\\'b6\\'82"
            "\\'df\\'82\\'c9\\par}", u"はじめに"_s);
        row("mac roman font", "{\\rtf1\\ansi\\ansicpg936{\\fonttbl\\f0\\fcharset77 Helvetica;}"
            "\\f0 caf\\'8e}", u"café"_s);
        row("mac korean, chinese fonts", "{\\rtf1\\mac\\ansicpg10000{\\fonttbl\\f0\\fcharset79 "
            "AppleGothic;\\f1\\fcharset80 STSong;\\f2\\fcharset81 LiSong;}\\f0 \\'c7\\'d1\\'b1"
            "\\'b9\\f1 \\'d6\\'d0\\'ce\\'c4\\f2 \\'a4\\'a4\\'a4\\'e5}", u"한국中文中文"_s);
        row("mac chinese code page", "{\\rtf1\\mac\\ansicpg10008 \\'d6\\'d0\\par}", u"中"_s);
        row("mac traditional code page", "{\\rtf1\\mac\\ansicpg10002 \\'a4\\'a4@}", u"中@"_s);
        // Text boxes are read where they stand, as paragraphs.
        row("text box", "{\\rtf1\\ansi{\\shp{\\*\\shpinst{\\shptxt {\\pard Text in a box\\line "
            "second line\\par}}}}}", u"Text in a box\nsecond line"_s);
        row("text box once, not its copy for old readers", "{\\rtf1 before{\\shp{\\*\\shpinst"
            "\\shpleft0{\\sp{\\sn fillColor}{\\sv 255}}{\\shptxt box\\par}}{\\shprslt\\par{\\*"
            "\\do\\dobxcolumn\\dptxbx{\\dptxbxtext box\\par}}}}after\\par}",
            u"before\nbox\nafter"_s);
        QTest::newRow("text box without paragraph end")
            << QByteArray("{\\rtf1 a{\\shp{\\*\\shpinst{\\shptxt box}}}b}") << u"a\nbox\nb"_s;
        row("empty text box", "{\\rtf1 a{\\shp{\\*\\shpinst{\\shptxt }}}b}", u"ab"_s);
        row("group shape", "{\\rtf1{\\shpgrp{\\*\\shpinst{\\shp{\\*\\shpinst{\\shptxt one\\par}}}"
            "{\\shp{\\*\\shpinst{\\shptxt two\\par}}}}}x}", u"one\ntwo\nx"_s);
        row("picture shape stays skipped", "{\\rtf1 a{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv {"
            "\\pict 00}}}}{\\shprslt{\\pict 00}}}b}", u"ab"_s);
        row("drawing object", "{\\rtf1 a\\par{\\*\\do\\dobxcolumn\\dptxbx{\\dptxbxtext in box"
            "\\par}\\dpx0}b}", u"a\nin box\nb"_s);
        QTest::newRow("drawing object, text box group")
            << QByteArray("{\\rtf1{\\*\\do{\\dptxbx{\\dptxbxtext boxed\\par}}}}") << u"boxed"_s;
        QTest::newRow("box text outside a shape is skipped")
            << QByteArray("{\\rtf1 a{\\shptxt x}{\\dptxbxtext y}b}") << u"ab"_s;
        // Nested tables: cell text inside the row properties, rows ended.
        row("cell text in nested table properties", "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0"
            "\\fcharset204 Arial;}}\\f0 {\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000 \\'e0"
            "\\'e1\\nestcell \\'e2\\nestcell\\nestrow}\\'c2\\par}", u"аб\tв\nВ"_s);
        row("nested table as word writes it", "{\\rtf1\\ansi\\ansicpg1251 \\trowd\\cellx4000"
            "\\pard\\intbl \\'c2\\cell\\pard\\intbl\\itap2 \\'e0\\nestcell \\'e1\\nestcell{\\*"
            "\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}\\pard"
            "\\intbl\\cell\\row\\pard \\'ea\\par}", u"В\tа\tб\n\nк"_s);
        addCodePageRows();
    }
    void reads()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(Rtf::read(rtf), text);
    }

    void survivesDamage_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text"); // "<any>": only the fuzzer's checks
        const QString any = u"<any>"_s;
        row("truncated in a group", "{\\rtf1 {{{a", u"a"_s);
        row("truncated hex", "{\\rtf1 a\\'", u"a"_s);
        row("truncated word", "{\\rtf1 a\\u", u"a"_s);
        row("backslash at end", "{\\rtf1 a\\", u"a"_s);
        row("extra closing", "{\\rtf1 a}}}}b", u"a"_s);
        row("huge bin", "{\\rtf1 a\\bin999999999999 xyz}", u"a"_s);
        row("negative bin", "{\\rtf1 a\\bin-5 b}", u"ab"_s);
        row("huge u", "{\\rtf1 \\u-99999999999999 a}", any);
        row("huge uc", "{\\rtf1\\uc99999\\u20013 abc}", u"中"_s);
        row("negative uc", "{\\rtf1\\uc-3\\u20013 abc}", u"中abc"_s);
        row("no such font: the document's code page", "{\\rtf1{\\fonttbl{\\f99999999999"
            "\\fcharset134 x;}}\\f-99999999999\\'d6\\'d0}", u"ÖÐ"_s);
        row("lone lead byte", "{\\rtf1\\ansicpg936 \\'d6 x}", u"\uFFFD x"_s);
        row("empty", QByteArray(), QString());
        row("only brace", "{", QString());
        row("nul bytes", QByteArray("{\\rtf1 a\0b\0}", 12), u"ab"_s);

        const QByteArray million(1'000'000, '{');
        row("a million open braces", "{\\rtf1 " + million + "deep", u"deep"_s);
        QTest::newRow("a million balanced")
            << QByteArray("{\\rtf1 a" + million + "b" + QByteArray(1'000'000, '}') + "c}")
            << u"abc"_s;
        QByteArray changing = "{\\rtf1 ";
        for (int i = 0; i < 200'000; ++i)
            changing += i % 2 ? "{\\uc2" : "{\\uc1";
        row("every level changes state", changing + "x", u"x"_s);
        // Each level's state comes back at its end, across 100,000 levels.
        const int n = 100'000;
        QTest::newRow("hidden and shown, restored")
            << QByteArray("{\\rtf1 a" + QByteArray("{\\v h{\\v0 s").repeated(n)
                          + QByteArray("}H}v").repeated(n) + "}")
            << u"a"_s + QString(n, u's') + QString(n, u'v');
        QTest::newRow("fallback counts, restored")
            << QByteArray("{\\rtf1 " + QByteArray("{\\uc2 {\\uc1 ").repeated(n) + "\\u20013?"
                          + QByteArray("}\\u25991??}").repeated(n) + "}")
            << u"中"_s + QString(n, u'文');
        QTest::newRow("fonts and their code pages, restored")
            << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0 A;}{\\f1\\fcharset134 B;}}"
                          + QByteArray("{\\f1 \\'d6\\'d0{\\f0 \\'e9").repeated(n)
                          + QByteArray("}\\'d6\\'d0}").repeated(n) + "}")
            << QString(u"中é"_s).repeated(n) + QString(n, u'中');

        QRandomGenerator random(7);
        for (int i = 0; i < 20; ++i) {
            QByteArray noise(int(random.bounded(1, 4000)), Qt::Uninitialized);
            for (char& c : noise)
                c = char(random.bounded(256));
            // Lean on the bytes that matter to the parser.
            for (char& c : noise)
                if (random.bounded(3) == 0)
                    c = "{}\\'u0123456789 abc*"[random.bounded(20)];
            row(qPrintable(u"random %1"_s.arg(i)), "{\\rtf1" + noise, any);
        }
    }
    void survivesDamage()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        if (text != u"<any>"_s)
            QCOMPARE(Rtf::read(rtf), text);
        fuzzerChecks(rtf); // reads it too
    }

    // Cut anywhere, a document reads as the beginning of the whole.
    void aCutDocumentReadsAsItsBeginning()
    {
        const QByteArray word = bytesOf(dataDir + u"/word-like.rtf"_s);
        const QString whole = Rtf::read(word);
        QString before;
        for (qsizetype cut = 1; cut < word.size(); cut += 97) {
            const QString read = Rtf::read(word.left(cut));
            QVERIFY2(whole.startsWith(read) && read.startsWith(before),
                     qPrintable(u"cut at %1: %2"_s.arg(cut).arg(read)));
            before = read;
            fuzzerChecks(word.left(cut));
        }
        QVERIFY(before.size() * 2 > whole.size()); // the cuts went far into it
    }

    // A group that changes the state costs a few bytes, never a copy of the
    // whole state: 24 MB of "{\\v {\\v0 " groups read within an address
    // space of four times the document (a copy per group took ten).
    void nestedStateChangesStayWithinTheDocumentsSize()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the sanitizer's shadow memory is address space too");
#endif
        const qsizetype units = 24 * 1024 * 1024 / 11;
        const QByteArray doc = "{\\rtf1 " + QByteArray("{\\v {\\v0 ").repeated(units) + "x"
            + QByteArray("}}").repeated(units) + "}";
        const auto read = exitCodeOfChild(
            [&] {
                // What the process holds now, and room for four documents more.
                const rlim_t pages = bytesOf(u"/proc/self/statm"_s).split(' ')[0].toULongLong();
                rlimit limit{};
                ::getrlimit(RLIMIT_AS, &limit);
                limit.rlim_cur = pages * rlim_t(::sysconf(_SC_PAGESIZE)) + 4 * rlim_t(doc.size());
                if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
                    return 2;
                return Rtf::read(doc) == u"x"_s ? 0 : 1;
            },
            std::chrono::seconds(30));
        QCOMPARE(read, std::optional<int>(0));
    }

    // read(append(doc, t)) == read(doc) + t, the document's bytes kept.
    void appendContinuesTheDocument_data()
    {
        QTest::addColumn<QByteArray>("doc");
        const QDir dir(dataDir);
        for (const QString& name : dir.entryList({u"*.rtf"_s}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << bytesOf(dir.filePath(name));
        QTest::newRow("our own") << Rtf::write(u"第一行\nsecond"_s);
        QTest::newRow("our own, empty") << Rtf::write(QString());
        row("no paragraph end", "{\\rtf1 abc}");
        row("no text", "{\\rtf1}");
        row("only a paragraph end", "{\\rtf1\\par}");
        row("word before the end", "{\\rtf1 a\\fs20\\b}");
        row("word before the last par", "{\\rtf1 a\\fs20\\par\\pard\\b}");
        row("par in a group", "{\\rtf1 a{\\b b\\par}{\\i}}");
        row("escaped line end", "{\\rtf1 a\\\n}");
        row("ends hidden", "{\\rtf1 a\\v secret}");
        row("hidden after the last par", "{\\rtf1 a\\par\\v b}");
        row("uc2 fallback pending", "{\\rtf1\\uc2 a\\u20013 x}");
        row("uc0", "{\\rtf1\\uc0 a\\par}");
        row("star pending", "{\\rtf1 a\\*}");
        row("lone lead byte at the end", "{\\rtf1\\ansicpg936 a\\'81}");
        row("lone lead byte before par", "{\\rtf1\\ansicpg936 a\\'81\\par}");
        row("bytes after the last par", "{\\rtf1\\ansicpg936 a\\par\\'d6}");
        row("page break last", "{\\rtf1 a\\par\\page}");
        row("section break last", "{\\rtf1 a\\sect}");
        row("table last", "{\\rtf1\\trowd a\\cell b\\cell\\row}");
        row("table row, cells in groups",
            "{\\rtf1\\trowd{a\\cell}{b\\cell}{\\trowd\\cellx1\\row}}");
        row("text box last", "{\\rtf1 a{\\shp{\\*\\shpinst{\\shptxt box}}}}");
        row("bin data last", "{\\rtf1 a{\\pict\\bin3 }}}\\bin2 {}}}");
        row("text after the document", "\xEF\xBB\xBF{\\rtf1 a\\par}\r\njunk{x}");
        row("field last", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link\\par}}}");
    }
    void appendContinuesTheDocument()
    {
        QFETCH(QByteArray, doc);
        for (const QString& text : appendedTexts()) {
            const QString fault = appendFault(doc, text);
            QVERIFY2(fault.isEmpty(), qPrintable(u"%1: %2"_s.arg(text, fault)));
            const QString again = appendFault(Rtf::append(doc, text).value(), u"第二次"_s);
            QVERIFY2(again.isEmpty(), qPrintable(again));
        }
        QCOMPARE(Rtf::append(doc, QString()).value(), doc);
    }

    // A document cut off before its end keeps every byte: the text goes
    // where it would go had it ended there, its braces after its last byte.
    void appendToCutOffDocument_data()
    {
        QTest::addColumn<QByteArray>("doc");
        row("after a paragraph", "{\\rtf1 a\\par");
        row("inside a picture", "{\\rtf1\\ansicpg936 \\'d6\\'d0\\par{\\pict 0102");
        row("right after a backslash", "{\\rtf1 a\\");
        row("inside a control word", "{\\rtf1{\\b bold\\pa");
        row("between a character's bytes", "{\\rtf1\\ansicpg936 x\\'d6");
        row("inside a \\u fallback", "{\\rtf1\\uc2 \\u20013?");
        QTest::newRow("deep") << QByteArray("{\\rtf1 ") + QByteArray(5000, '{') + "deep";
        QTest::newRow("word processor's, cut") << bytesOf(dataDir + u"/libreoffice-writer.rtf"_s).chopped(300);
    }
    void appendToCutOffDocument()
    {
        QFETCH(QByteArray, doc);
        for (const QString& text : {u"x"_s, u"新的一段\n"_s, u"\n\nafter blank lines"_s}) {
            const QString fault = appendFault(doc, text);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            QVERIFY(!Rtf::insertion(doc, text)->closing.isEmpty());
        }
    }

    // No safe place: the document is left as it is.
    void appendRefuses_data()
    {
        QTest::addColumn<QByteArray>("doc");
        row("cut inside binary data", "{\\rtf1 a{\\bin9 xy");
        QTest::newRow("empty") << QByteArray();
        row("document is a destination", "{\\rtf1\\pict 0102}");
        row("document is a font table", "{\\rtf1\\fonttbl x;}");
    }
    void appendRefuses()
    {
        QFETCH(QByteArray, doc);
        QVERIFY(!Rtf::insertion(doc, u"x"_s));
        QVERIFY(!Rtf::append(doc, u"x"_s));
    }

    // The file-level append: RTF gets the text inserted, or is left as it is
    // when it has no place for it; a text file is kept as a version and
    // rewritten as our RTF of old text + new.
    void appendsToFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Doc.dat"_s);
        QVERIFY(RichText::appendText(path, u"first\r\n"_s)); // created
        QCOMPARE(bytesOf(path), Rtf::write(u"first\n"_s));
        QVERIFY(RichText::appendText(path, u"second\rthird"_s));
        QCOMPARE(RichText::loadText(path).value(), u"first\nsecond\nthird"_s);
        QVERIFY(
            bytesOf(path).startsWith(Rtf::write(u"first\n"_s).chopped(9))); // kept up to its end

        const QByteArray truncated = "{\\rtf1\\ansicpg936 \\'d6\\'d0\\par{\\pict 0102";
        QVERIFY(writeBytes(path, truncated));
        QVERIFY(RichText::appendText(path, u"x"_s));
        QCOMPARE(bytesOf(path), Rtf::append(truncated, u"x"_s).value());
        QCOMPARE(RichText::loadText(path).value(), u"中x"_s);

        const QByteArray hopeless = "{\\rtf1 a{\\bin9 xy";
        QVERIFY(writeBytes(path, hopeless));
        QVERIFY(!RichText::appendText(path, u"x"_s));
        QCOMPARE(bytesOf(path), hopeless);

        const QByteArray gbk = "\xd6\xd0\xce\xc4\r\nGBK text";
        QVERIFY(writeBytes(path, gbk));
        QVERIFY(RichText::appendText(path, u"+"_s));
        QCOMPARE(bytesOf(path), Rtf::write(u"中文\nGBK text+"_s));
        const auto versions = DocVersions::list(path);
        QCOMPARE(versions.size(), 1);
        QCOMPARE(DocVersions::read(versions[0].path).value(), gbk);

        const QByteArray foreign = bytesOf(dataDir + u"/wordpad-gbk.rtf"_s);
        QVERIFY(writeBytes(path, foreign));
        QVERIFY(RichText::appendText(path, QString())); // nothing to add: untouched
        QCOMPARE(bytesOf(path), foreign);

        QString error;
        QVERIFY(!RichText::appendText(dir.path(), u"x"_s, &error)); // a folder
        QVERIFY(!error.isEmpty());
    }

    // Pictures, tables and text boxes a word processor wrote stay as they
    // were, byte for byte, after two drops.
    void appendKeepsPicturesAndTables()
    {
        const QByteArray doc = bytesOf(dataDir + u"/libreoffice-writer.rtf"_s);
        QVERIFY(doc.contains("\\pict") && doc.contains("\\trowd") && doc.contains("\\shp"));
        const auto first = Rtf::insertion(doc, u"第一次"_s);
        QVERIFY(first);
        const QByteArray once = Rtf::append(doc, u"第一次"_s).value();
        const auto second = Rtf::insertion(once, u"\nsecond"_s);
        QVERIFY(second);
        QCOMPARE(second->offset, first->offset + first->bytes.size());
        const QByteArray twice = Rtf::append(once, u"\nsecond"_s).value();
        QCOMPARE(twice,
                 doc.left(first->offset) + first->bytes + second->bytes + doc.mid(first->offset));
        for (const char* word : {"\\pict", "\\trowd", "\\row", "\\shp"}) // all before the text
            QCOMPARE(doc.left(first->offset).count(word), doc.count(word));
        QCOMPARE(Rtf::read(twice), Rtf::read(doc) + u"第一次\nsecond"_s);
    }

    // Damaged and odd documents: wherever an append is given, it keeps the
    // invariant.
    void appendSurvivesDamage()
    {
        QRandomGenerator random(11);
        const QByteArray word = bytesOf(dataDir + u"/word-like.rtf"_s);
        const char* const pieces[] = {
            "{", "}", "\\'81", "@", "a", "\\'d6\\'d0", "\\u20013?", " ", "\\par ", "\\uc2 ",
            "\\v ", "\\v0 ", "\\cell ", "\\row ", "\\page ", "\\line ", "\\*", "{\\pict ",
            "{\\shp{\\*\\shpinst{\\shptxt ", "{\\*\\do{\\dptxbxtext ", "{\\*\\nesttableprops ",
            "\\nestrow ", "\\ansicpg950 ", "\\bin2 ", "\\\\", "\\\r\n", "\\plain ",
        };
        int appended = 0;
        for (int i = 0; i < 400; ++i) {
            // odd: a cut Word document; even: pieces of RTF
            QByteArray doc = i % 2 ? QByteArray(word.left(random.bounded(word.size()) + 1) + "}}}}}}")
                                   : QByteArray("{\\rtf1\\ansicpg936 ");
            for (int n = i % 2 ? 0 : int(random.bounded(1, 100)); n > 0; --n)
                doc += pieces[random.bounded(int(std::size(pieces)))];
            doc += "}}}}}}";
            const QString text = appendedTexts().at(i % appendedTexts().size());
            if (!Rtf::insertion(doc, text))
                continue;
            ++appended;
            const QString fault = appendFault(doc, text);
            QVERIFY2(fault.isEmpty(), qPrintable(fault + u" in "_s + QString::fromLatin1(doc)));
        }
        QVERIFY(appended > 100);
    }

    // Whether bytes are RTF, and whether they hold more than text and
    // paragraphs (formatting, a second font, hidden text, a picture).
    void recognisesRtf_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("rtf");
        QTest::addColumn<bool>("rich");
        row("plain", "{\\rtf1\\ansi x}", true, false);
        row("bom and blanks", "\xEF\xBB\xBF \r\n{\\rtf1}", true, false);
        row("text mentioning rtf", "see {\\rtf1}", false, false);
        row("short", "{\\rt", false, true); // a word that is no part of a text
        row("upper case", "{\\RTF1}", false, true);
        row("empty", QByteArray(), false, false);
        row("WordPad's text", "{\\rtf1\\ansi\\ansicpg936\\deff0\\nouicompat{\\fonttbl{\\f0\\fnil"
            "\\fcharset134 \\'cb\\'ce;}}\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 a\\par\\u20013?"
            "\\v0\\\\\\{\\par}", true, false);
        row("bold", "{\\rtf1 a\\b b\\b0}", true, true);
        row("a second font", "{\\rtf1\\f0 a\\f1 b}", true, true);
        row("hidden text", "{\\rtf1 a\\v b}", true, true);
        row("a picture", "{\\rtf1{\\pict\\pngblip 89}}", true, true);
        row("cut after a backslash", "{\\rtf1 a\\", true, false);
    }
    void recognisesRtf()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, rtf);
        QFETCH(bool, rich);
        QCOMPARE(Rtf::isRtf(bytes), rtf);
        QCOMPARE(Rtf::holdsMoreThanText(bytes), rich);
    }

    void loadsAnyDocument_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        row("gbk text file", "\xd6\xd0\xce\xc4\r\nline", u"中文\nline"_s);
        row("utf-8 text file", "中文\nline\n", u"中文\nline\n"_s);
        row("utf-8 with bom", "\xEF\xBB\xBF\xE4\xB8\xAD", u"中"_s);
        row("lone CR", "a\rb", u"a\nb"_s);
        row("rtf", "{\\rtf1\\ansicpg936 \\'d6\\'d0\\par}", u"中"_s);
        row("empty file", QByteArray(), QString());
    }
    void loadsAnyDocument()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Doc.dat"_s);
        QVERIFY(writeBytes(path, bytes));
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
        QVERIFY(Rtf::isRtf(bytesOf(path)));

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
        QString log;
        QString seen = convertWithLibreOffice(soffice, rtfPath, &log);
        QVERIFY2(!seen.isEmpty(), qPrintable(log));
        if (seen.endsWith(u'\n'))
            seen.chop(1);
        QCOMPARE(seen, text);
    }

    // LibreOffice reads a document it wrote, and one like Word's, after two
    // drops as its old text followed by the new.
    void libreOfficeReadsAppendedFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cut"); // bytes missing at its end
        QTest::newRow("libreoffice") << u"libreoffice-writer.rtf"_s << 0;
        QTest::newRow("word") << u"word-like.rtf"_s << 0;
        QTest::newRow("wordpad") << u"wordpad-gbk.rtf"_s << 0;
        QTest::newRow("libreoffice, its last brace cut") << u"libreoffice-writer.rtf"_s << 1;
        QTest::newRow("libreoffice, cut in its text") << u"libreoffice-writer.rtf"_s << 300;
    }
    void libreOfficeReadsAppendedFile()
    {
        QFETCH(QString, name);
        QFETCH(int, cut);
        const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
        if (soffice.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed");
        QTemporaryDir dir;
        const QString before = dir.filePath(u"before.rtf"_s);
        const QString after = dir.filePath(u"after.rtf"_s);
        QVERIFY(QFile::copy(dataDir + u'/' + name, before));
        const QByteArray doc = bytesOf(before).chopped(cut);
        QVERIFY(writeBytes(after, doc));
        const QString added = u"新加 {one} \\two\n第二段\tend"_s;
        QVERIFY(RichText::appendText(after, u"新加 {one}"_s));
        QVERIFY(RichText::appendText(after, u" \\two\n第二段\tend"_s));
        QVERIFY(Rtf::read(bytesOf(after)).endsWith(added));
        // every byte of the document, in order, around the new text
        const QByteArray now = bytesOf(after);
        qsizetype same = 0;
        while (same < doc.size() && now.at(same) == doc.at(same))
            ++same;
        QVERIFY(same == doc.size() || now.indexOf(doc.mid(same), same) > same);

        QString log;
        QString old = convertWithLibreOffice(soffice, before, &log);
        QVERIFY2(!old.isEmpty(), qPrintable(log));
        const QString seen = convertWithLibreOffice(soffice, after, &log);
        QVERIFY2(!seen.isEmpty(), qPrintable(log));
        // LibreOffice ends the last paragraph with a line end; the new text
        // continues that paragraph. A document it could not read at all, cut
        // off, reads up to the cut (at least half of it here), then the text.
        QVERIFY(old.endsWith(u'\n'));
        old.chop(1);
        QVERIFY(seen.endsWith(added + u'\n'));
        const QString kept = seen.chopped(added.size() + 1);
        if (cut == 0)
            QCOMPARE(kept, old);
        QVERIFY(old.startsWith(kept) && kept.size() > old.size() / 2);
    }

private:
    // One character of every code page and character set the reader knows,
    // as LibreOffice reads it too (it knows neither 20932 nor 54936, takes
    // \fcharset1 for no text and maps symbol fonts into the private area).
    void addCodePageRows()
    {
        struct Row {
            int number;
            const char* bytes;
            const char16_t* text;
        };
        const Row pages[] = {
            {437, "\\'82", u"é"}, {850, "\\'82", u"é"}, {852, "\\'82", u"é"}, {866, "\\'80", u"А"},
            {874, "\\'a1", u"ก"}, {932, "\\'82\\'a0", u"あ"}, {936, "\\'d6\\'d0", u"中"},
            {949, "\\'c7\\'d1", u"한"}, {950, "\\'a4\\'a4", u"中"}, {1250, "\\'b9", u"ą"},
            {1251, "\\'e0", u"а"}, {1252, "\\'80", u"€"}, {1253, "\\'e1", u"α"},
            {1254, "\\'fd", u"ı"}, {1255, "\\'e0", u"א"}, {1256, "\\'c7", u"ا"},
            {1257, "\\'e0", u"ą"}, {1258, "\\'e0", u"à"}, {10000, "\\'8e", u"é"},
            {10001, "\\'82\\'a0", u"あ"}, {10002, "\\'a4\\'a4", u"中"}, {10003, "\\'c7\\'d1", u"한"},
            {10006, "\\'e1", u"α"}, {10007, "\\'80", u"А"}, {10008, "\\'d6\\'d0", u"中"},
            {10029, "\\'87", u"á"}, {10081, "\\'8e", u"é"}, {20127, "\\'41", u"A"},
            {20866, "\\'c1", u"а"}, {20932, "\\'a4\\'a2", u"あ"}, {28591, "\\'e9", u"é"},
            {28592, "\\'b1", u"ą"}, {28595, "\\'d0", u"а"}, {28597, "\\'e1", u"α"},
            {28605, "\\'a4", u"€"}, {51932, "\\'a4\\'a2", u"あ"}, {51949, "\\'c7\\'d1", u"한"},
            {54936, "\\'d6\\'d0", u"中"}, {65001, "\\'e4\\'b8\\'ad", u"中"},
        };
        for (const auto& row : pages)
            QTest::newRow(qPrintable(u"ansicpg%1"_s.arg(row.number)))
                << "{\\rtf1\\ansi\\ansicpg" + QByteArray::number(row.number) + ' ' + row.bytes + '}'
                << QString::fromUtf16(row.text);
        // In a document of code page 936: the font's character set decides.
        const Row charsets[] = {
            {0, "\\'e9", u"é"}, {1, "\\'d6\\'d0", u"中"}, {2, "\\'e9", u"é"}, {77, "\\'8e", u"é"},
            {78, "\\'82\\'a0", u"あ"}, {79, "\\'c7\\'d1", u"한"}, {80, "\\'d6\\'d0", u"中"},
            {81, "\\'a4\\'a4", u"中"}, {128, "\\'82\\'a0", u"あ"}, {129, "\\'c7\\'d1", u"한"},
            {134, "\\'d6\\'d0", u"中"}, {136, "\\'a4\\'a4", u"中"}, {161, "\\'e1", u"α"},
            {162, "\\'fd", u"ı"}, {163, "\\'e0", u"à"}, {177, "\\'e0", u"א"}, {178, "\\'c7", u"ا"},
            {186, "\\'e0", u"ą"}, {204, "\\'e0", u"а"}, {222, "\\'a1", u"ก"}, {238, "\\'b9", u"ą"},
            {255, "\\'82", u"é"},
        };
        for (const auto& row : charsets)
            QTest::newRow(qPrintable(u"fcharset%1"_s.arg(row.number)))
                << "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset" +
                       QByteArray::number(row.number) + " X;}}\\f0 " + row.bytes + '}'
                << QString::fromUtf16(row.text);
    }
};

QUORREL_TEST(RtfTest, "rtf")
#include "tst_rtf.moc"
