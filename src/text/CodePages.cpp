#include "CodePages.h"

#include <QStringBuilder>
#include <utility>

namespace Rtf::detail {
namespace {

// Windows character sets (\fcharsetN) and their code pages. Symbol glyph
// codes are no text in any code page; 1252 keeps them readable. ANSI (0) is
// 1252 even in a Chinese or Japanese document: their writers put Western
// punctuation in such fonts. DEFAULT (1) is missing on purpose: it means the
// document's \ansicpg. 77 to 81 are the Mac character sets TextEdit and Word
// for Mac write.
constexpr std::pair<int, int> kCharsets[] = {
    {0, 1252},   {2, 1252},   {77, 10000}, {78, 10001}, {79, 10003}, {80, 10008},
    {81, 10002}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
    {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
    {204, 1251}, {222, 874},  {238, 1250}, {255, 437},
};

struct CodePage {
    int page;
    const char* decoder; // a name QStringDecoder knows; nullptr: Qt has none
    Dbcs dbcs = Dbcs::None;
};

// Every code page the reader knows by name; any other is tried as
// "windows-N". The Mac CJK pages are the Windows ones with fewer characters.
constexpr CodePage kCodePages[] = {
    {437, "IBM437"},
    {850, "IBM850"},
    {852, "IBM852"},
    {866, "IBM866"},
    {874, "windows-874"},
    {932, "Shift_JIS", Dbcs::ShiftJis},
    {936, "GB18030", Dbcs::Gbk}, // a superset: GBK files written as 936 decode alike
    {949, "windows-949", Dbcs::Uhc},
    {950, "Big5", Dbcs::Big5},
    {1250, "windows-1250"},
    {1251, "windows-1251"},
    {1252, "windows-1252"},
    {1253, "windows-1253"},
    {1254, "windows-1254"},
    {1255, "windows-1255"},
    {1256, "windows-1256"},
    {1257, "windows-1257"},
    {1258, "windows-1258"},
    {1361, nullptr, Dbcs::Johab}, // Korean Johab: no decoder in Qt
    {10000, "macintosh"},
    {10001, "Shift_JIS", Dbcs::ShiftJis},
    {10002, "Big5", Dbcs::Big5},
    {10003, "windows-949", Dbcs::Uhc},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"},
    {10008, "GB18030", Dbcs::Gbk},
    {10029, "x-mac-centraleurroman"},
    {10081, "x-mac-turkish"},
    {20127, "US-ASCII"},
    {20866, "KOI8-R"},
    {20932, "EUC-JP"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28595, "ISO-8859-5"},
    {28597, "ISO-8859-7"},
    {28605, "ISO-8859-15"},
    {51932, "EUC-JP"},
    {51949, "EUC-KR", Dbcs::Uhc},
    {54936, "GB18030", Dbcs::Gbk},
    {65001, "UTF-8"},
};

const CodePage* findCodePage(int codePage)
{
    for (const CodePage& known : kCodePages) {
        if (known.page == codePage)
            return &known;
    }
    return nullptr;
}

} // namespace

int charsetCodePage(qint64 charset)
{
    for (const auto& [set, page] : kCharsets) {
        if (set == charset)
            return page;
    }
    return 0;
}

Dbcs dbcsOf(int codePage)
{
    const CodePage* known = findCodePage(codePage);
    return known ? known->dbcs : Dbcs::None;
}

QByteArray codecName(int codePage)
{
    if (const CodePage* known = findCodePage(codePage))
        return known->decoder ? QByteArray(known->decoder) : QByteArray();
    return "windows-" + QByteArray::number(codePage);
}

} // namespace Rtf::detail
