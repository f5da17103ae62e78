#include "Rtf.h"

#include "Encoding.h"

#include <QHash>
#include <QStringDecoder>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace Rtf {
namespace {

// ---------------------------------------------------------------- writing

// Code page 936 and SimSun (宋体, written in GBK), as Chinese WordPad saves:
// Word and WordPad then show the text in a Chinese font without asking.
constexpr std::string_view kHeader =
    "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang2052"
    "{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
    "\\uc1\\pard\\f0\\fs20 ";
constexpr std::string_view kParagraph = "\\par\r\n";
constexpr std::string_view kTab = "\\tab ";
constexpr std::string_view kTrailer = "}\r\n";

bool isPlainAscii(char16_t c)
{
    return c >= 0x20 && c < 0x7F && c != u'\\' && c != u'{' && c != u'}';
}

// n < 100000: \uN never needs more digits.
int digitCount(unsigned n)
{
    return 1 + (n >= 10) + (n >= 100) + (n >= 1000) + (n >= 10000);
}

// \uN takes a signed 16-bit N.
int signedUnit(char16_t c)
{
    return c > 0x7FFF ? int(c) - 0x10000 : int(c);
}

qsizetype encodedSize(char16_t c)
{
    if (isPlainAscii(c))
        return 1;
    switch (c) {
    case u'\\':
    case u'{':
    case u'}':
        return 2;
    case u'\n':
        return qsizetype(kParagraph.size());
    case u'\t':
        return qsizetype(kTab.size());
    default:
        break;
    }
    const int n = signedUnit(c);
    return 3 + (n < 0 ? 1 : 0) + digitCount(unsigned(n < 0 ? -n : n)); // \u N ?
}

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324"
                               "25262728293031323334353637383940414243444546474849"
                               "50515253545556575859606162636465666768697071727374"
                               "75767778798081828384858687888990919293949596979899";

// Bytes each UTF-16 unit takes, looked up rather than worked out: the first
// of the writer's two passes then has no branch to mispredict.
const std::array<quint8, 0x10000>& encodedSizes()
{
    static const std::array<quint8, 0x10000> sizes = [] {
        std::array<quint8, 0x10000> table{};
        for (unsigned c = 0; c < table.size(); ++c)
            table[c] = quint8(encodedSize(char16_t(c)));
        return table;
    }();
    return sizes;
}

char* put(char* out, std::string_view s)
{
    std::memcpy(out, s.data(), s.size());
    return out + s.size();
}

// \uN? whatever the character.
char* putUnicode(char* out, char16_t c)
{
    *out++ = '\\';
    *out++ = 'u';
    const int n = signedUnit(c);
    unsigned magnitude = unsigned(n < 0 ? -n : n);
    if (n < 0)
        *out++ = '-';
    out += digitCount(magnitude);
    char* digit = out;
    for (; magnitude >= 100; magnitude /= 100) {
        digit -= 2;
        std::memcpy(digit, &kDigitPairs[magnitude % 100 * 2], 2);
    }
    if (magnitude >= 10)
        std::memcpy(digit - 2, &kDigitPairs[magnitude * 2], 2);
    else
        digit[-1] = char('0' + magnitude);
    *out++ = '?';
    return out;
}

char* putUnit(char* out, char16_t c)
{
    if (isPlainAscii(c)) {
        *out++ = char(c);
        return out;
    }
    switch (c) {
    case u'\\':
    case u'{':
    case u'}':
        *out++ = '\\';
        *out++ = char(c);
        return out;
    case u'\n':
        return put(out, kParagraph);
    case u'\t':
        return put(out, kTab);
    default:
        break;
    }
    return putUnicode(out, c);
}

// ---------------------------------------------------------------- reading

enum class Dest : quint8 {
    Text,      // body text: shown
    FontTable, // font definitions: read for their charsets, not shown
    Skip,      // anything else that is not body text
};

// A group whose content is skipped but holds one child group that is text
// again: {\object ... {\result text}}, {\upr ansi {\*\ud unicode}}, a
// shape's {\*\shpinst ... {\shptxt text}} and a drawing object's
// {\*\do ... {\dptxbxtext text}}. Shape is the {\shp} group around
// \shpinst (its \shprslt, a copy for older readers, stays skipped);
// ShapeText marks the text group itself, whose paragraph ends with it.
enum class Holder : quint8 { None, Object, Upr, Shape, ShapeInst, Drawing, ShapeText };

// Word keeps a font for each kind of run: \loch (low ANSI), \hich (high
// ANSI) and \dbch (double-byte) text. The last of those words says which
// font the text is in; \f sets that kind's font (every kind's before any is
// named), \af the font of the kind named just before it.
enum class Script : quint8 { Low, High, Double, None };

struct State {
    Dest dest = Dest::Text;
    Holder holder = Holder::None;
    bool hidden = false; // \v
    qint16 uc = 1;       // fallback characters after each \uN
    Script run = Script::None;
    Script assoc = Script::None;          // whose font an \af names; None after \rtlch, \ltrch
    std::array<int, 3> fonts{-1, -1, -1}; // per Script; -1: the default font (\deff)
    int textFont() const { return fonts[size_t(run == Script::None ? Script::Low : run)]; }
    bool operator==(const State&) const = default;
};

// Group states are kept run-length encoded: a group that changes nothing
// costs a counter, so a file of a million '{' needs a few bytes.
struct Run {
    State state;
    qsizetype groups;
};

enum class Kind : quint8 {
    Skip,   // a destination that is no body text
    Symbol, // one character
    Par,    // paragraph end
    Break,  // \sect, \page, \column: a line break unless a paragraph just ended
    Cell,   // a tab after each cell
    Row,    // a row ends like a paragraph, without its last cell's tab
    Uc,
    Bin,
    CodePage, // \ansicpgN; value: a fixed code page for \ansi, \mac, \pc, \pca
    FontTable,
    Font,
    Charset,
    FontCodePage,
    DefaultFont,
    Plain,
    Hidden,
    AssocFont, // \af
    RunType,   // \loch, \hich, \dbch (value: Script + 1)
    Direction, // \rtlch, \ltrch: an \af that follows names the bidi font
    Object,
    Result,
    Upr,
    Ud,
    Shape,       // \shp, \shpgrp
    ShapeInst,   // \shpinst
    Drawing,     // \do
    TextBox,     // \dptxbx
    ShapeText,   // \shptxt, \dptxbxtext
    Transparent, // an optional destination whose text is body text
};

struct Keyword {
    std::string_view name;
    Kind kind;
    char16_t value = 0;
};

// Sorted by name (checked below). Text-bearing destinations that are not
// body text are skipped; formatting words are ignored by not being here.
constexpr auto kKeywords = std::to_array<Keyword>({
    {"af", Kind::AssocFont},
    {"aftncn", Kind::Skip},
    {"aftnsep", Kind::Skip},
    {"aftnsepc", Kind::Skip},
    {"annotation", Kind::Skip},
    {"ansi", Kind::CodePage, 1252},
    {"ansicpg", Kind::CodePage},
    {"atnauthor", Kind::Skip},
    {"atndate", Kind::Skip},
    {"atnicn", Kind::Skip},
    {"atnid", Kind::Skip},
    {"atnparent", Kind::Skip},
    {"atnref", Kind::Skip},
    {"atntime", Kind::Skip},
    {"atrfend", Kind::Skip},
    {"atrfstart", Kind::Skip},
    {"author", Kind::Skip},
    {"bin", Kind::Bin},
    {"bkmkend", Kind::Skip},
    {"bkmkstart", Kind::Skip},
    {"blipuid", Kind::Skip},
    {"bullet", Kind::Symbol, 0x2022},
    {"buptim", Kind::Skip},
    {"category", Kind::Skip},
    {"cell", Kind::Cell},
    {"colorschememapping", Kind::Skip},
    {"colortbl", Kind::Skip},
    {"column", Kind::Break},
    {"comment", Kind::Skip},
    {"company", Kind::Skip},
    {"cpg", Kind::FontCodePage},
    {"creatim", Kind::Skip},
    {"datafield", Kind::Skip},
    {"datastore", Kind::Skip},
    {"dbch", Kind::RunType, char16_t(Script::Double) + 1},
    {"defchp", Kind::Skip},
    {"deff", Kind::DefaultFont},
    {"defpap", Kind::Skip},
    {"do", Kind::Drawing},
    {"doccomm", Kind::Skip},
    {"docvar", Kind::Skip},
    {"dptxbx", Kind::TextBox},
    {"dptxbxtext", Kind::ShapeText},
    {"emdash", Kind::Symbol, 0x2014},
    {"emspace", Kind::Symbol, 0x2003},
    {"endash", Kind::Symbol, 0x2013},
    {"enspace", Kind::Symbol, 0x2002},
    {"f", Kind::Font},
    {"falt", Kind::Skip},
    {"fcharset", Kind::Charset},
    {"ffdeftext", Kind::Skip},
    {"ffentrymcr", Kind::Skip},
    {"ffexitmcr", Kind::Skip},
    {"ffformat", Kind::Skip},
    {"ffhelptext", Kind::Skip},
    {"ffl", Kind::Skip},
    {"ffname", Kind::Skip},
    {"ffstattext", Kind::Skip},
    {"filetbl", Kind::Skip},
    {"fldinst", Kind::Skip},
    {"fldtype", Kind::Skip},
    {"fname", Kind::Skip},
    {"fontemb", Kind::Skip},
    {"fontfile", Kind::Skip},
    {"fonttbl", Kind::FontTable},
    {"footer", Kind::Skip},
    {"footerf", Kind::Skip},
    {"footerl", Kind::Skip},
    {"footerr", Kind::Skip},
    {"footnote", Kind::Skip},
    {"formfield", Kind::Skip},
    {"ftncn", Kind::Skip},
    {"ftnsep", Kind::Skip},
    {"ftnsepc", Kind::Skip},
    {"generator", Kind::Skip},
    {"gridtbl", Kind::Skip},
    {"header", Kind::Skip},
    {"headerf", Kind::Skip},
    {"headerl", Kind::Skip},
    {"headerr", Kind::Skip},
    {"hich", Kind::RunType, char16_t(Script::High) + 1},
    {"hl", Kind::Skip},
    {"hlfr", Kind::Skip},
    {"hlinkbase", Kind::Skip},
    {"hlloc", Kind::Skip},
    {"hlsrc", Kind::Skip},
    {"htmltag", Kind::Skip},
    {"info", Kind::Skip},
    {"keycode", Kind::Skip},
    {"keywords", Kind::Skip},
    {"latentstyles", Kind::Skip},
    {"ldblquote", Kind::Symbol, 0x201C},
    {"levelnumbers", Kind::Skip},
    {"leveltext", Kind::Skip},
    {"line", Kind::Symbol, u'\n'},
    {"listoverridetable", Kind::Skip},
    {"listpicture", Kind::Skip},
    {"listtable", Kind::Skip},
    {"listtext", Kind::Skip},
    {"loch", Kind::RunType, char16_t(Script::Low) + 1},
    {"lquote", Kind::Symbol, 0x2018},
    {"ltrch", Kind::Direction},
    {"ltrmark", Kind::Symbol, 0x200E},
    {"mac", Kind::CodePage, 10000},
    {"manager", Kind::Skip},
    {"mmath", Kind::Skip},
    {"mmathPict", Kind::Skip},
    {"mmathPr", Kind::Skip},
    {"nestcell", Kind::Cell},
    {"nestrow", Kind::Row},
    {"nesttableprops", Kind::Transparent},
    {"nextfile", Kind::Skip},
    {"nonesttables", Kind::Skip},
    {"nonshppict", Kind::Skip},
    {"objalias", Kind::Skip},
    {"objclass", Kind::Skip},
    {"objdata", Kind::Skip},
    {"object", Kind::Object},
    {"objname", Kind::Skip},
    {"objsect", Kind::Skip},
    {"objtime", Kind::Skip},
    {"oldcprops", Kind::Skip},
    {"oldpprops", Kind::Skip},
    {"oldsprops", Kind::Skip},
    {"oldtprops", Kind::Skip},
    {"oleclsid", Kind::Skip},
    {"operator", Kind::Skip},
    {"page", Kind::Break},
    {"panose", Kind::Skip},
    {"par", Kind::Par},
    {"password", Kind::Skip},
    {"passwordhash", Kind::Skip},
    {"pc", Kind::CodePage, 437},
    {"pca", Kind::CodePage, 850},
    {"pgdsctbl", Kind::Skip},
    {"pgp", Kind::Skip},
    {"pgptbl", Kind::Skip},
    {"picprop", Kind::Skip},
    {"pict", Kind::Skip},
    {"plain", Kind::Plain},
    {"pn", Kind::Skip},
    {"pnseclvl", Kind::Skip},
    {"pntext", Kind::Skip},
    {"pntxta", Kind::Skip},
    {"pntxtb", Kind::Skip},
    {"printim", Kind::Skip},
    {"private", Kind::Skip},
    {"propname", Kind::Skip},
    {"protend", Kind::Skip},
    {"protstart", Kind::Skip},
    {"protusertbl", Kind::Skip},
    {"pxe", Kind::Skip},
    {"qmspace", Kind::Symbol, 0x2005},
    {"rdblquote", Kind::Symbol, 0x201D},
    {"result", Kind::Result},
    {"revtbl", Kind::Skip},
    {"revtim", Kind::Skip},
    {"row", Kind::Row},
    {"rquote", Kind::Symbol, 0x2019},
    {"rsidtbl", Kind::Skip},
    {"rtlch", Kind::Direction},
    {"rtlmark", Kind::Symbol, 0x200F},
    {"rxe", Kind::Skip},
    {"sect", Kind::Break},
    {"shp", Kind::Shape},
    {"shpgrp", Kind::Shape},
    {"shpinst", Kind::ShapeInst},
    {"shppict", Kind::Skip},
    {"shprslt", Kind::Skip},
    {"shptxt", Kind::ShapeText},
    {"sn", Kind::Skip},
    {"sp", Kind::Skip},
    {"staticval", Kind::Skip},
    {"stylesheet", Kind::Skip},
    {"subject", Kind::Skip},
    {"sv", Kind::Skip},
    {"tab", Kind::Symbol, u'\t'},
    {"tc", Kind::Skip},
    {"template", Kind::Skip},
    {"themedata", Kind::Skip},
    {"title", Kind::Skip},
    {"txe", Kind::Skip},
    {"uc", Kind::Uc},
    {"ud", Kind::Ud},
    {"upr", Kind::Upr},
    {"userprops", Kind::Skip},
    {"v", Kind::Hidden},
    {"wgrffmtfilter", Kind::Skip},
    {"windowcaption", Kind::Skip},
    {"writereservation", Kind::Skip},
    {"writereservhash", Kind::Skip},
    {"xe", Kind::Skip},
    {"xform", Kind::Skip},
    {"xmlattrname", Kind::Skip},
    {"xmlattrvalue", Kind::Skip},
    {"xmlclose", Kind::Skip},
    {"xmlname", Kind::Skip},
    {"xmlnstbl", Kind::Skip},
    {"xmlopen", Kind::Skip},
    {"zwbo", Kind::Symbol, 0x200B},
    {"zwj", Kind::Symbol, 0x200D},
    {"zwnbo", Kind::Symbol, 0x2060},
    {"zwnj", Kind::Symbol, 0x200C},
});
static_assert(std::is_sorted(kKeywords.begin(), kKeywords.end(),
                             [](const Keyword& a, const Keyword& b) { return a.name < b.name; }));

// Where the keywords starting with each letter begin: the search then looks
// at a handful of names instead of all of them.
constexpr auto kFirstLetter = [] {
    std::array<quint16, 27> starts{};
    size_t k = 0;
    for (int letter = 0; letter < 26; ++letter) {
        while (k < kKeywords.size() && kKeywords[k].name[0] < 'a' + letter)
            ++k;
        starts[size_t(letter)] = quint16(k);
    }
    starts[26] = quint16(kKeywords.size());
    return starts;
}();

const Keyword* findKeyword(std::string_view name)
{
    if (name.empty() || name[0] < 'a' || name[0] > 'z')
        return nullptr; // every keyword is lower case
    const size_t letter = size_t(name[0] - 'a');
    const auto first = kKeywords.begin() + kFirstLetter[letter];
    const auto last = kKeywords.begin() + kFirstLetter[letter + 1];
    const auto it = std::lower_bound(
        first, last, name, [](const Keyword& k, std::string_view n) { return k.name < n; });
    return it != last && it->name == name ? &*it : nullptr;
}

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

// 0 for "the document's code page".
int charsetCodePage(qint64 charset)
{
    for (const auto& [set, page] : kCharsets) {
        if (set == charset)
            return page;
    }
    return 0;
}

// How a double-byte code page splits its bytes into characters.
enum class Dbcs : quint8 { None, ShiftJis, Gbk, Big5, Uhc, Johab };

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

Dbcs dbcsOf(int codePage)
{
    const CodePage* known = findCodePage(codePage);
    return known ? known->dbcs : Dbcs::None;
}

bool inRange(uchar b, uchar low, uchar high)
{
    return b >= low && b <= high;
}

// A byte that starts a two-byte character.
bool isLeadByte(Dbcs dbcs, uchar b)
{
    switch (dbcs) {
    case Dbcs::None:
        return false;
    case Dbcs::ShiftJis:
        return inRange(b, 0x81, 0x9F) || inRange(b, 0xE0, 0xFC);
    case Dbcs::Gbk:
    case Dbcs::Big5:
    case Dbcs::Uhc:
        return inRange(b, 0x81, 0xFE);
    case Dbcs::Johab:
        return inRange(b, 0x84, 0xD3) || inRange(b, 0xD8, 0xDE) || inRange(b, 0xE0, 0xF9);
    }
    return false;
}

// A byte below 0x80 that ends a two-byte character (writers leave those
// unescaped, so they arrive as plain characters).
bool isAsciiTrailByte(Dbcs dbcs, uchar b)
{
    switch (dbcs) {
    case Dbcs::None:
        return false;
    case Dbcs::ShiftJis:
    case Dbcs::Gbk:
    case Dbcs::Big5:
        return inRange(b, 0x40, 0x7E);
    case Dbcs::Uhc:
        return inRange(b, 0x41, 0x5A) || inRange(b, 0x61, 0x7A);
    case Dbcs::Johab:
        return inRange(b, 0x31, 0x7E);
    }
    return false;
}

QByteArray codecName(int codePage)
{
    if (const CodePage* known = findCodePage(codePage))
        return known->decoder ? QByteArray(known->decoder) : QByteArray();
    return "windows-" + QByteArray::number(codePage);
}

enum CharClass : quint8 { Plain, Special, Ignored, High };

constexpr std::array<quint8, 256> kCharClass = [] {
    std::array<quint8, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = c >= 0x80 ? High : c >= 0x20 && c < 0x7F ? Plain : Ignored;
    table['\\'] = table['{'] = table['}'] = Special;
    table['\t'] = Special; // a raw tab is a tab
    return table;
}();

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text read so far. QString::append(QChar) is a call with checks per
// character; this writes into spare room that grows geometrically.
class Output {
public:
    // Counting only: the sizes move as if the text were kept.
    explicit Output(bool counting) : counting_(counting) {}
    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    void append(char16_t c)
    {
        if (counting_) {
            ++size_;
            return;
        }
        if (size_ == capacity_)
            grow(1);
        data_[size_++] = c;
    }
    void append(QStringView s)
    {
        if (counting_) {
            size_ += s.size();
            return;
        }
        if (capacity_ - size_ < s.size())
            grow(s.size());
        std::copy(s.utf16(), s.utf16() + s.size(), data_ + size_);
        size_ += s.size();
    }
    void appendLatin1(const char* s, qsizetype n)
    {
        if (counting_) {
            size_ += n;
            return;
        }
        if (capacity_ - size_ < n)
            grow(n);
        for (qsizetype i = 0; i < n; ++i)
            data_[size_ + i] = uchar(s[i]);
        size_ += n;
    }
    void chop(qsizetype n) { size_ -= n; }
    void reserve(qsizetype n)
    {
        if (!counting_ && n > capacity_)
            grow(n - size_);
    }
    QString take()
    {
        if (counting_)
            return QString();
        text_.resize(size_);
        return std::move(text_);
    }

private:
    void grow(qsizetype needed)
    {
        capacity_ = std::max({capacity_ * 2, size_ + needed, qsizetype(256)});
        text_.resize(capacity_);
        data_ = reinterpret_cast<char16_t*>(text_.data());
    }

    bool counting_;
    QString text_;
    char16_t* data_ = nullptr;
    qsizetype size_ = 0;
    qsizetype capacity_ = 0;
};

// Where text that continues the document's last paragraph can go: before
// the control word or brace at `offset`, in the group state there.
struct Spot {
    qsizetype offset = -1;
    State state;
    bool bytesPending = false; // \'hh bytes read, not yet decoded
    // What follows ends a paragraph only if one is open (\page, a text box's
    // end, the document's end), so a paragraph the new text ends needs one more.
    bool conditional = false;
};

// What an append needs to know of a document, found by reading it through.
struct Ending {
    bool closed = false; // false: the document's group never ends
    Spot spot;
};

class Reader {
public:
    explicit Reader(QByteArrayView in, bool counting = false)
        : begin_(in.data()), p_(in.data()), end_(in.data() + in.size()), out_(counting)
    {
        // Text is seldom more than half as long as its RTF; a guess that
        // saves copying the text as it grows.
        out_.reserve(in.size() / 2);
    }
    QString run();
    const Ending& ending() const { return ending_; }
    void closeDocument();

private:
    const State& state() const { return stack_.back().state; }
    State& mutableState();
    const State* parentState() const;
    bool showing() const { return state().dest == Dest::Text && !state().hidden; }
    void openGroup();
    void closeGroup();
    void readControl();
    void controlWord(std::string_view word, bool hasParam, qint64 param);
    void unicode(bool hasParam, qint64 param);
    void controlSymbol(char c);
    void skipDestination();
    void putChar(char16_t c)
    {
        if (!bytes_.isEmpty())
            flushBytes();
        if (boxBreak_)
            breakBeforeBox(c != u'\n');
        out_.append(c);
    }
    void breakBeforeBox(bool needed)
    {
        boxBreak_ = false;
        if (needed) {
            out_.append(u'\n');
            paragraphEnd_ = out_.size();
        }
    }
    void putByte(uchar b);
    bool takesAsTrail(char c);
    void flushBytes();
    void endParagraph();
    Spot spotHere(bool conditional = false) const
    {
        return {tokenStart_ - begin_, state(), !bytes_.isEmpty(), conditional};
    }
    int textFont() const { return state().textFont() >= 0 ? state().textFont() : defaultFont_; }
    void setFonts(const State& next);
    int codePage();
    QStringDecoder& decoder(int codePage);
    QString decode(int codePage, QByteArrayView bytes);

    const char* begin_;
    const char* p_;
    const char* end_;
    const char* tokenStart_ = nullptr; // the '\\', '{' or '}' being read
    std::vector<Run> stack_;
    Output out_;
    qsizetype paragraphEnd_ = -1; // out_.size() right after the last \par
    qsizetype cellEnd_ = -1;      // out_.size() right after the last \cell
    qsizetype fallback_ = 0;      // characters of a \uN fallback left to skip
    bool star_ = false;           // \* seen: the coming destination is optional
    int docCodePage_ = 1252;
    int defaultFont_ = 0;
    int definingFont_ = -1; // in the font table: the font being described
    struct FontCodePages {
        int charset = 0;      // from \fcharset
        int explicitPage = 0; // from \cpg, which wins
    };
    QHash<int, FontCodePages> fonts_;
    int cachedFont_ = -2;
    int cachedCodePage_ = 0;
    QVarLengthArray<char, 256> bytes_; // consecutive \'hh bytes: GBK characters come in two
    int bytesCodePage_ = 0;
    bool leadPending_ = false; // bytes_ ends with the first byte of a character
    int dbcsPage_ = 0;         // the code page dbcs_ describes
    Dbcs dbcs_ = Dbcs::None;
    bool boxBreak_ = false; // a text box began: a line break before its first character
    Spot paragraphSpot_;    // where the paragraph that ended at paragraphEnd_ ended
    Spot cellSpot_;         // the \cell that ended at cellEnd_
    Ending ending_;
    std::vector<std::pair<int, QStringDecoder>> decoders_;
};

State& Reader::mutableState()
{
    Run& top = stack_.back();
    if (top.groups > 1) {
        --top.groups;
        const State copy = top.state;
        stack_.push_back({copy, 1});
    }
    return stack_.back().state;
}

const State* Reader::parentState() const
{
    if (stack_.back().groups > 1)
        return &stack_.back().state;
    return stack_.size() > 1 ? &stack_[stack_.size() - 2].state : nullptr;
}

void Reader::openGroup()
{
    if (stack_.empty()) {
        stack_.push_back({State{}, 1});
        return;
    }
    State child = state();
    child.holder = Holder::None;
    if (child == state())
        ++stack_.back().groups;
    else
        stack_.push_back({child, 1});
}

void Reader::closeGroup()
{
    // A text box's text is paragraphs of its own, its last one included.
    if (state().holder == Holder::ShapeText) {
        if (showing()) {
            const Spot here = spotHere(true); // more of that paragraph goes before this brace
            flushBytes();
            if (paragraphEnd_ != out_.size() && !boxBreak_ && !out_.isEmpty()) {
                paragraphSpot_ = here;
                endParagraph();
            }
        }
        boxBreak_ = false;
    }
    if (--stack_.back().groups == 0)
        stack_.pop_back();
}

void Reader::endParagraph()
{
    putChar(u'\n');
    paragraphEnd_ = out_.size();
}

QString Reader::run()
{
    // Nothing before the document's first '{' is read.
    while (p_ < end_ && *p_ != '{')
        ++p_;
    while (p_ < end_) {
        const char c = *p_;
        switch (kCharClass[uchar(c)]) {
        case Special:
            tokenStart_ = p_;
            if (c == '{' || c == '}') {
                ++p_;
                fallback_ = 0; // a fallback never spans groups
                star_ = false;
                if (c == '{') {
                    if (leadPending_)
                        flushBytes(); // nor does a character's pair of bytes
                    openGroup();
                } else {
                    if (stack_.size() == 1 && stack_.back().groups == 1)
                        closeDocument();
                    if (leadPending_)
                        flushBytes();
                    closeGroup();
                    if (stack_.empty())
                        p_ = end_; // the document ends with its group
                }
            } else if (c == '\\') {
                ++p_;
                readControl();
            } else { // raw tab
                ++p_;
                if (fallback_ > 0)
                    --fallback_;
                else if (showing())
                    putChar(u'\t');
            }
            break;
        case Plain: {
            if (fallback_ > 0) {
                ++p_;
                --fallback_;
                break;
            }
            if (leadPending_ && takesAsTrail(c)) {
                ++p_;
                putByte(uchar(c));
                break;
            }
            const char* start = p_;
            while (p_ < end_ && kCharClass[uchar(*p_)] == Plain)
                ++p_;
            if (showing()) {
                flushBytes();
                if (boxBreak_)
                    breakBeforeBox(true);
                out_.appendLatin1(start, p_ - start);
            }
            break;
        }
        case High: // 8-bit text some writers leave unescaped, in the code page
            ++p_;
            if (fallback_ > 0)
                --fallback_;
            else
                putByte(uchar(c));
            break;
        default: // CR, LF and other control bytes are no text
            ++p_;
            break;
        }
    }
    flushBytes();
    if (paragraphEnd_ == out_.size() && !out_.isEmpty())
        out_.chop(1); // the \par that ends the last paragraph
    return out_.take();
}

void Reader::closeDocument()
{
    const Spot here = spotHere(true);
    flushBytes(); // they may be text after the last paragraph end
    ending_.closed = true;
    ending_.spot = paragraphEnd_ == out_.size() && !out_.isEmpty() ? paragraphSpot_ : here;
}

void Reader::readControl()
{
    if (p_ == end_)
        return;
    if (!isLetter(*p_)) {
        const char c = *p_++;
        if (c == '\'') { // \'hh: read even inside a fallback, to skip both digits
            int value = 0;
            int digits = 0;
            while (digits < 2 && p_ < end_ && hexValue(*p_) >= 0) {
                value = value * 16 + hexValue(*p_++);
                ++digits;
            }
            if (fallback_ > 0)
                --fallback_;
            else if (digits > 0)
                putByte(uchar(value));
            return;
        }
        if (fallback_ > 0) {
            --fallback_;
            return;
        }
        controlSymbol(c);
        return;
    }
    const char* start = p_;
    while (p_ < end_ && isLetter(*p_))
        ++p_;
    const std::string_view word(start, size_t(p_ - start));
    bool negative = false;
    if (p_ + 1 < end_ && *p_ == '-' && isDigit(p_[1])) {
        negative = true;
        ++p_;
    }
    bool hasParam = false;
    qint64 param = 0;
    while (p_ < end_ && isDigit(*p_)) {
        hasParam = true;
        if (param < 100'000'000'000) // keeps reading digits, saturating
            param = param * 10 + (*p_ - '0');
        ++p_;
    }
    if (negative)
        param = -param;
    if (p_ < end_ && *p_ == ' ')
        ++p_;            // the delimiting space belongs to the word
    if (word == "bin") { // its data is skipped even inside a fallback
        const qint64 skip = std::clamp<qint64>(param, 0, end_ - p_);
        p_ += skip;
    }
    if (fallback_ > 0) {
        --fallback_;
        return;
    }
    if (word.size() == 1 && word[0] == 'u') // by far the most frequent word in our files
        unicode(hasParam, param);
    else
        controlWord(word, hasParam, param);
}

void Reader::unicode(bool hasParam, qint64 param)
{
    star_ = false;
    if (!hasParam)
        return;
    if (showing()) {
        // Negative values are the upper half of 16 bits; some writers put a
        // whole code point above U+FFFF into one \u.
        const qint64 v = param < 0 ? param + 0x10000 : param;
        if (v > 0xFFFF && v <= 0x10FFFF) {
            const char32_t cp = char32_t(v);
            putChar(QChar::highSurrogate(cp));
            putChar(QChar::lowSurrogate(cp));
        } else {
            putChar(char16_t(v & 0xFFFF));
        }
    }
    fallback_ = state().uc;
    if (fallback_ == 1 && p_ < end_ && kCharClass[uchar(*p_)] == Plain) {
        ++p_; // the usual one-character fallback, '?'
        fallback_ = 0;
    }
}

void Reader::controlSymbol(char c)
{
    switch (c) {
    case '\\':
    case '{':
    case '}':
        if (leadPending_ && takesAsTrail(c))
            putByte(uchar(c));
        else if (showing())
            putChar(char16_t(c));
        break;
    case '~':
        if (showing())
            putChar(0x00A0);
        break;
    case '_':
        if (showing())
            putChar(0x2011);
        break;
    case '\t':
        if (showing())
            putChar(u'\t');
        break;
    case '\r':
    case '\n': // a backslash before a line end is a paragraph end
        controlWord("par", false, 0);
        break;
    case '*':
        star_ = true;
        break;
    default: // \- optional hyphen, \: index subentry, \| formula, unknown symbols
        break;
    }
}

// A run's fonts and kind changed by \f, \af, \loch, \hich, \dbch or \plain.
void Reader::setFonts(const State& next)
{
    if (next == state())
        return;
    // A lead byte's trail byte is in the same font.
    const int font = next.textFont() >= 0 ? next.textFont() : defaultFont_;
    if (leadPending_ && font != textFont())
        flushBytes();
    mutableState() = next;
}

void Reader::skipDestination()
{
    if (state().dest != Dest::Skip)
        mutableState().dest = Dest::Skip;
}

void Reader::controlWord(std::string_view word, bool hasParam, qint64 param)
{
    const Keyword* keyword = findKeyword(word);
    if (star_) {
        star_ = false;
        // An optional destination is skipped unless it is one we read.
        const bool known =
            keyword && (keyword->kind == Kind::Ud || keyword->kind == Kind::ShapeInst ||
                        keyword->kind == Kind::Drawing || keyword->kind == Kind::Transparent);
        if (!known) {
            skipDestination();
            return;
        }
    }
    if (!keyword)
        return;
    const int intParam = int(std::clamp<qint64>(param, INT_MIN, INT_MAX));
    switch (keyword->kind) {
    case Kind::Skip:
        skipDestination();
        break;
    case Kind::Symbol:
        if (showing())
            putChar(keyword->value);
        break;
    case Kind::Par:
        if (showing()) {
            paragraphSpot_ = spotHere();
            endParagraph();
        }
        break;
    case Kind::Break:
        if (showing()) {
            const Spot here = spotHere(true);
            flushBytes();
            if (paragraphEnd_ != out_.size()) {
                paragraphSpot_ = here;
                endParagraph();
            }
        }
        break;
    case Kind::Cell:
        if (showing()) {
            cellSpot_ = spotHere();
            putChar(u'\t');
            cellEnd_ = out_.size();
        }
        break;
    case Kind::Row:
        if (showing()) {
            paragraphSpot_ = spotHere();
            flushBytes();
            if (cellEnd_ == out_.size()) {
                out_.chop(1);
                paragraphSpot_ = cellSpot_; // the last cell's text goes on there
            }
            endParagraph();
        }
        break;
    case Kind::Uc:
        if (state().uc != std::clamp(intParam, 0, 255))
            mutableState().uc = qint16(std::clamp(intParam, 0, 255));
        break;
    case Kind::Bin: // data skipped in readControl
        break;
    case Kind::CodePage:
        flushBytes();
        docCodePage_ = keyword->value ? keyword->value : intParam;
        cachedFont_ = -2;
        break;
    case Kind::FontTable:
        if (state().dest == Dest::Text)
            mutableState().dest = Dest::FontTable;
        break;
    case Kind::Font:
        if (state().dest == Dest::FontTable) {
            definingFont_ = intParam;
        } else if (state().dest == Dest::Text) {
            State next = state();
            if (next.run == Script::None)
                next.fonts.fill(intParam);
            else
                next.fonts[size_t(next.run)] = intParam;
            setFonts(next);
        }
        break;
    case Kind::Charset:
        if (state().dest == Dest::FontTable && definingFont_ >= 0) {
            fonts_[definingFont_].charset = charsetCodePage(param);
            cachedFont_ = -2;
        }
        break;
    case Kind::FontCodePage:
        if (state().dest == Dest::FontTable && definingFont_ >= 0) {
            fonts_[definingFont_].explicitPage = intParam;
            cachedFont_ = -2;
        }
        break;
    case Kind::DefaultFont:
        if (leadPending_ && defaultFont_ != intParam)
            flushBytes();
        defaultFont_ = intParam;
        cachedFont_ = -2;
        break;
    case Kind::Plain: {
        State next = state();
        next.fonts.fill(-1);
        next.run = next.assoc = Script::None;
        next.hidden = false;
        setFonts(next);
        break;
    }
    case Kind::RunType: {
        State next = state();
        next.run = next.assoc = Script(keyword->value - 1);
        setFonts(next);
        break;
    }
    case Kind::Direction:
        if (state().assoc != Script::None)
            mutableState().assoc = Script::None;
        break;
    case Kind::AssocFont: // Word names the CJK font with \dbch\afN
        if (state().dest == Dest::Text && state().assoc != Script::None) {
            State next = state();
            next.fonts[size_t(next.assoc)] = intParam;
            setFonts(next);
        }
        break;
    case Kind::Hidden:
        if (state().hidden != (!hasParam || param != 0))
            mutableState().hidden = !hasParam || param != 0;
        break;
    case Kind::Object:
        if (state().dest == Dest::Text) {
            State& s = mutableState();
            s.dest = Dest::Skip;
            s.holder = Holder::Object;
        }
        break;
    case Kind::Upr:
        if (state().dest == Dest::Text) {
            State& s = mutableState();
            s.dest = Dest::Skip;
            s.holder = Holder::Upr;
        }
        break;
    case Kind::Result:
    case Kind::Ud: {
        const Holder wanted = keyword->kind == Kind::Result ? Holder::Object : Holder::Upr;
        const State* parent = parentState();
        if (parent && parent->holder == wanted)
            mutableState().dest = Dest::Text;
        else if (keyword->kind == Kind::Ud)
            skipDestination(); // a \*\ud outside \upr: optional, not understood
        break;
    }
    case Kind::Shape: {
        // In the body, or one shape of a group shape's instance.
        const State* parent = parentState();
        if (state().holder == Holder::None &&
            (state().dest == Dest::Text || (parent && parent->holder == Holder::ShapeInst)))
            mutableState().holder = Holder::Shape;
        break;
    }
    case Kind::ShapeInst: {
        const State* parent = parentState();
        if (parent && parent->holder == Holder::Shape && state().holder == Holder::None) {
            State& s = mutableState();
            s.dest = Dest::Skip;
            s.holder = Holder::ShapeInst;
        } else {
            skipDestination();
        }
        break;
    }
    case Kind::Drawing:
        if (state().dest == Dest::Text && state().holder == Holder::None) {
            State& s = mutableState();
            s.dest = Dest::Skip;
            s.holder = Holder::Drawing;
        } else {
            skipDestination();
        }
        break;
    case Kind::TextBox: { // {\dptxbx {\dptxbxtext ...}} as well as \dptxbx{\dptxbxtext ...}
        const State* parent = parentState();
        if (parent && parent->holder == Holder::Drawing && state().holder == Holder::None)
            mutableState().holder = Holder::Drawing;
        break;
    }
    case Kind::ShapeText: {
        const State* parent = parentState();
        if (parent && (parent->holder == Holder::ShapeInst || parent->holder == Holder::Drawing) &&
            state().holder == Holder::None) {
            State& s = mutableState();
            s.dest = Dest::Text;
            s.holder = Holder::ShapeText;
            // The box's text starts a paragraph of its own, once it has any:
            // an empty box leaves the paragraph around it as it was.
            if (showing()) {
                flushBytes(); // bytes before the box belong before it
                boxBreak_ = paragraphEnd_ != out_.size() && !out_.isEmpty();
            }
        } else {
            skipDestination();
        }
        break;
    }
    case Kind::Transparent:
        break;
    }
}

int Reader::codePage()
{
    const int font = textFont();
    if (font != cachedFont_) {
        cachedFont_ = font;
        const auto it = fonts_.constFind(font);
        cachedCodePage_ = docCodePage_;
        if (it != fonts_.constEnd())
            cachedCodePage_ = it->explicitPage ? it->explicitPage
                              : it->charset    ? it->charset
                                               : docCodePage_;
    }
    return cachedCodePage_;
}

void Reader::putByte(uchar b)
{
    if (!showing())
        return;
    const int page = codePage();
    if (!bytes_.isEmpty() && page != bytesCodePage_)
        flushBytes();
    // The byte after a lead byte is its trail byte, whatever its value.
    if (page != dbcsPage_) {
        dbcsPage_ = page;
        dbcs_ = dbcsOf(page);
    }
    if (page == 936 && b == 0x80 && !leadPending_) {
        putChar(u'\u20AC'); // Windows' GBK has the euro sign there, GB18030 nothing
        return;
    }
    leadPending_ = !leadPending_ && isLeadByte(dbcs_, b);
    bytes_.append(char(b));
    bytesCodePage_ = page;
}

// Word and WordPad escape only bytes from 0x80 up: a character's trail byte
// below that comes as a plain character (or an escaped \\, \{, \}).
bool Reader::takesAsTrail(char c)
{
    return showing() && codePage() == bytesCodePage_ && isAsciiTrailByte(dbcs_, uchar(c));
}

void Reader::flushBytes()
{
    if (bytes_.isEmpty())
        return;
    const QByteArrayView bytes(bytes_.data(), bytes_.size());
    QString text;
    if (leadPending_) {
        // A lead byte whose trail byte never came stands alone, as the code
        // page reads it alone (or U+FFFD): it never takes what follows.
        text = decode(bytesCodePage_, bytes.chopped(1));
        const QString alone = decode(bytesCodePage_, bytes.last(1));
        text += alone.isEmpty() ? QString(QChar::ReplacementCharacter) : alone;
        leadPending_ = false;
    } else {
        text = decode(bytesCodePage_, bytes);
    }
    bytes_.clear();
    if (text.isEmpty())
        return;
    if (boxBreak_)
        breakBeforeBox(true);
    out_.append(text);
}

QStringDecoder& Reader::decoder(int codePage)
{
    auto it = std::find_if(decoders_.begin(), decoders_.end(),
                           [codePage](const auto& d) { return d.first == codePage; });
    // Stateless: a lead byte left alone at the end of a run is dropped
    // instead of swallowing whatever bytes come next.
    const auto make = [codePage] {
        return QStringDecoder(codecName(codePage).constData(), QStringConverter::Flag::Stateless);
    };
    if (it == decoders_.end())
        it = decoders_.insert(decoders_.end(), {codePage, make()});
    else if (it->second.hasError())
        it->second = make(); // hasError() never clears, not even on resetState()
    return it->second;
}

QString Reader::decode(int codePage, QByteArrayView bytes)
{
    QStringDecoder& chosen = decoder(codePage);
    if (!chosen.isValid())
        return Encoding::decodeNarrow(bytes);
    return chosen.decode(bytes);
}

} // namespace

QByteArray write(const QString& text)
{
    qsizetype size = qsizetype(kHeader.size() + kParagraph.size() + kTrailer.size());
    const auto& sizes = encodedSizes();
    for (const QChar c : text)
        size += sizes[c.unicode()];
    QByteArray out(size, Qt::Uninitialized);
    char* p = put(out.data(), kHeader);
    for (const QChar c : text)
        p = putUnit(p, c.unicode());
    p = put(p, kParagraph); // the last paragraph ends too
    p = put(p, kTrailer);
    Q_ASSERT(p == out.data() + out.size());
    return out;
}

QString read(QByteArrayView bytes)
{
    return Reader(bytes).run();
}

std::optional<Insertion> insertion(QByteArrayView doc, const QString& text)
{
    if (text.isEmpty())
        return Insertion{doc.size(), QByteArray()};
    Reader reader(doc, /*counting=*/true);
    reader.run();
    const Ending& ending = reader.ending();
    const Spot& spot = ending.spot;
    if (!ending.closed || spot.offset < 0 || spot.state.dest != Dest::Text)
        return std::nullopt;

    // A group of its own: whatever the document left pending there (a
    // \uN fallback, a \*) ends at its brace, and nothing it sets leaks out.
    constexpr std::string_view kUc1 = "\\uc1 ";
    constexpr std::string_view kVisible = "\\v0 ";
    const bool uc1 = spot.state.uc != 1;
    const bool visible = spot.state.hidden;
    // Bytes waiting for their trail byte must not take our first character:
    // as \uN it ends them, as any character did before.
    const char16_t first = text.front().unicode();
    const bool firstAsUnicode = spot.bytesPending;
    // The reader drops the document's last paragraph end.
    const bool extraPar = spot.conditional && text.back() == u'\n';
    const auto& sizes = encodedSizes();
    qsizetype size =
        2 + (uc1 ? qsizetype(kUc1.size()) : 0) + (visible ? qsizetype(kVisible.size()) : 0);
    for (const QChar c : text)
        size += sizes[c.unicode()];
    if (firstAsUnicode)
        size += 12; // at most "\u-32768?"
    if (extraPar)
        size += qsizetype(kParagraph.size());
    QByteArray bytes(size, Qt::Uninitialized);
    char* p = bytes.data();
    *p++ = '{';
    if (uc1)
        p = put(p, kUc1);
    if (visible)
        p = put(p, kVisible);
    qsizetype i = 0;
    if (firstAsUnicode) {
        p = putUnicode(p, first);
        i = 1;
    }
    for (; i < text.size(); ++i)
        p = putUnit(p, text[i].unicode());
    if (extraPar)
        p = put(p, kParagraph);
    *p++ = '}';
    bytes.truncate(p - bytes.data());
    return Insertion{spot.offset, std::move(bytes)};
}

std::optional<QByteArray> append(QByteArrayView doc, const QString& text)
{
    const std::optional<Insertion> insert = insertion(doc, text);
    if (!insert)
        return std::nullopt;
    QByteArray out;
    out.reserve(doc.size() + insert->bytes.size());
    out.append(doc.first(insert->offset));
    out.append(insert->bytes);
    out.append(doc.sliced(insert->offset));
    return out;
}

bool isRtf(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    while (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.front() == '\t' ||
                                bytes.front() == '\r' || bytes.front() == '\n'))
        bytes = bytes.sliced(1);
    return bytes.startsWith("{\\rtf");
}

} // namespace Rtf
