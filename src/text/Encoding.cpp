#include "Encoding.h"

#include <QStringDecoder>

namespace Encoding {
namespace {

// GB18030 is the superset of code page 936 (GBK).
QString decodeGb18030(QByteArrayView bytes)
{
    QStringDecoder decoder("GB18030");
    if (!decoder.isValid()) // a Qt built without ICU: keep the text rather than lose it
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

} // namespace

QString decodeNarrow(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    return decodeGb18030(bytes);
}

bool isText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    qsizetype controls = 0;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0)
            return false;
        // Tab, line feed, vertical tab, form feed, carriage return, escape and
        // the old end-of-file mark turn up in real text files.
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\v' && b != '\f' && b != '\r' && b != 0x1A &&
            b != 0x1B)
            ++controls;
    }
    if (controls > bytes.size() / 100)
        return false;
    if (bytes.isValidUtf8())
        return true;
    // Stateless: a lead byte cut off at the end is an error too.
    QStringDecoder decoder("GB18030", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return true; // cannot tell: keep today's reading
    // decode() is lazy: only turning its result into a string decodes.
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray encodeNarrow(QStringView text)
{
    return text.toUtf8();
}

QByteArray encodeLines(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        out += text.sliced(start, i - start).toUtf8() + "\r\n";
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    out += text.sliced(start).toUtf8() + "\r\n";
    return out;
}

QString truncateUtf8(const QString& text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        qsizetype units = 1;
        qsizetype width;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            units = 2;
            width = 4;
        } else if (c.unicode() < 0x80) {
            width = 1;
        } else if (c.unicode() < 0x800) {
            width = 2;
        } else {
            width = 3; // a lone surrogate is written as U+FFFD, also three bytes
        }
        if (bytes + width > maxBytes)
            break;
        bytes += width;
        i += units;
    }
    return text.left(i);
}

} // namespace Encoding
