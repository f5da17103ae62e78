// The narrow-text decoding that imported files, numbered files and settings go
// through (UTF-8, else GB18030), on any bytes. What it reads must survive a
// write and a read unchanged; a line-by-line file ends every line in CR LF
// and reads back as the text; a value cut to a byte budget keeps whole
// characters and as many as fit.
#include "Encoding.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

QString lineBreaksAsLf(QString text)
{
    text.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = Encoding::decodeNarrow(bytes);

    // A write and a read give the text back. (A text that itself starts with
    // U+FEFF loses it: on disk that is the byte order mark, dropped on reading.)
    const QByteArray written = Encoding::encodeNarrow(text);
    check(written.isValidUtf8());
    if (!text.startsWith(QChar(0xFEFF)))
        check(Encoding::decodeNarrow(written) == text);

    // Line by line: CR LF after every line, the last one included, nothing else.
    const QByteArray lines = Encoding::encodeLines(text);
    check(lines.endsWith("\r\n"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i] == '\r')
            check(i + 1 < lines.size() && lines[i + 1] == '\n');
        if (lines[i] == '\n')
            check(i > 0 && lines[i - 1] == '\r');
    }
    if (!text.startsWith(QChar(0xFEFF)))
        check(lineBreaksAsLf(Encoding::decodeNarrow(lines)) == lineBreaksAsLf(text) + u'\n');

    // A budget taken from the input's first byte.
    const qsizetype budget = size > 0 ? data[0] : 0;
    const QString cut = Encoding::truncateUtf8(text, budget);
    check(text.startsWith(cut));
    check(cut.toUtf8().size() <= budget);
    if (!cut.isEmpty() && cut.size() < text.size()) // never half a surrogate pair
        check(!(cut.back().isHighSurrogate() && text.at(cut.size()).isLowSurrogate()));
    if (cut.size() < text.size()) {
        // The next character would not have fitted.
        const qsizetype next = text.at(cut.size()).isHighSurrogate() && cut.size() + 1 < text.size()
                && text.at(cut.size() + 1).isLowSurrogate() ? 2 : 1;
        check(text.left(cut.size() + next).toUtf8().size() > budget);
    }
    return 0;
}
