#pragma once

// The code pages RTF documents are written in: which one a font's
// \fcharset means, the decoder Qt has for each, and how the double-byte ones
// split their bytes into characters.
#include <QByteArray>
#include <QtGlobal>

namespace Rtf::detail {

// The code page of a \fcharset; 0 for "the document's code page".
int charsetCodePage(qint64 charset);

// How a double-byte code page splits its bytes into characters.
enum class Dbcs : quint8 { None, ShiftJis, Gbk, Big5, Uhc, Johab };

Dbcs dbcsOf(int codePage);

// The name QStringDecoder knows the code page by; empty when Qt has none.
// Any page not in the table is tried as "windows-N".
QByteArray codecName(int codePage);

inline bool inRange(uchar b, uchar low, uchar high)
{
    return b >= low && b <= high;
}

// A byte that starts a two-byte character.
inline bool isLeadByte(Dbcs dbcs, uchar b)
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
inline bool isAsciiTrailByte(Dbcs dbcs, uchar b)
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

} // namespace Rtf::detail
