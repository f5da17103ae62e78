#pragma once

// Text as RTF, the pieces the writer and the appender share (Rtf.h is the
// interface; this is how it is done).
#include <QtGlobal>
#include <array>
#include <cstring>
#include <string_view>

namespace Rtf::detail {

inline constexpr std::string_view kParagraph = "\\par\r\n";
inline constexpr std::string_view kTab = "\\tab ";
inline bool isPlainAscii(char16_t c)
{
    return c >= 0x20 && c < 0x7F && c != u'\\' && c != u'{' && c != u'}';
}

// n < 100000: \uN never needs more digits.
inline int digitCount(unsigned n)
{
    return 1 + (n >= 10) + (n >= 100) + (n >= 1000) + (n >= 10000);
}

// \uN takes a signed 16-bit N.
inline int signedUnit(char16_t c)
{
    return c > 0x7FFF ? int(c) - 0x10000 : int(c);
}

inline constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324"
                                      "25262728293031323334353637383940414243444546474849"
                                      "50515253545556575859606162636465666768697071727374"
                                      "75767778798081828384858687888990919293949596979899";

// Bytes each UTF-16 unit takes, looked up rather than worked out: the first
// of the writer's two passes then has no branch to mispredict.
const std::array<quint8, 0x10000>& encodedSizes();

inline char* put(char* out, std::string_view s)
{
    std::memcpy(out, s.data(), s.size());
    return out + s.size();
}

// \uN? whatever the character.
inline char* putUnicode(char* out, char16_t c)
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

inline char* putUnit(char* out, char16_t c)
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

} // namespace Rtf::detail
