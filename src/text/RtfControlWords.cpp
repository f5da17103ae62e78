// What each control word and symbol does to the text and the group's state.
#include "RtfReader.h"

#include <climits>

namespace Rtf::detail {
namespace {

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

} // namespace

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

} // namespace Rtf::detail
