#include "Rtf.h"
#include "RtfReader.h"
#include "RtfWriter.h"

namespace Rtf {

std::optional<Insertion> insertion(QByteArrayView doc, const QString& text)
{
    using namespace detail;
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

} // namespace Rtf
