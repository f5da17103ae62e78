#include "Rtf.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <algorithm>

namespace Rtf {

namespace {

// The group holding `text` for the document whose reading ended at `ending`.
std::optional<Insertion> placeAt(const detail::Ending& ending, const QString& text)
{
    using namespace detail;
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
    return Insertion{spot.offset, std::move(bytes), QByteArray()};
}

QByteArray joined(QByteArrayView doc, const Insertion& insert)
{
    QByteArray out;
    out.reserve(doc.size() + insert.bytes.size() + insert.closing.size());
    out.append(doc.first(insert.offset));
    out.append(insert.bytes);
    out.append(doc.sliced(insert.offset));
    out.append(insert.closing);
    return out;
}

// A document whose groups never close is read as if it closed after its
// last byte; the text goes where it would go then. `mend` comes first: a
// byte that completes what the cut left open.
std::optional<Insertion> insertionIntoCutOff(QByteArrayView doc, qsizetype openGroups,
                                             const QString& text, QByteArrayView mend)
{
    using namespace detail;
    QByteArray closed;
    closed.reserve(doc.size() + mend.size() + openGroups);
    closed.append(doc);
    closed.append(mend);
    closed.append(openGroups, '}');
    Reader reader(closed, /*counting=*/true);
    reader.run();
    std::optional<Insertion> insert = placeAt(reader.ending(), text);
    if (!insert)
        return std::nullopt;
    // What goes after the last byte and before the text comes in front of it.
    const QByteArrayView added = QByteArrayView(closed).sliced(doc.size());
    const qsizetype before = std::max<qsizetype>(0, insert->offset - doc.size());
    insert->bytes.prepend(added.first(before));
    insert->closing = added.sliced(before).toByteArray();
    insert->offset = std::min(insert->offset, doc.size());
    // What was cut may end anywhere (inside a control word, \bin data, a
    // character's bytes): only a result that reads as before plus the text
    // keeps what the reader could read.
    if (read(joined(doc, *insert)) != read(doc) + text)
        return std::nullopt;
    return insert;
}

} // namespace

std::optional<Insertion> insertion(QByteArrayView doc, const QString& text)
{
    using namespace detail;
    if (text.isEmpty())
        return Insertion{doc.size(), QByteArray(), QByteArray()};
    Reader reader(doc, /*counting=*/true);
    reader.run();
    if (reader.ending().closed || reader.openGroups() == 0)
        return placeAt(reader.ending(), text);
    // Cut right after a backslash, the next byte would make a control
    // symbol of it: "\ " is one every reader ignores.
    for (const QByteArrayView mend : {QByteArrayView(), QByteArrayView(" ")}) {
        if (auto insert = insertionIntoCutOff(doc, reader.openGroups(), text, mend))
            return insert;
    }
    return std::nullopt;
}

std::optional<QByteArray> append(QByteArrayView doc, const QString& text)
{
    const std::optional<Insertion> insert = insertion(doc, text);
    if (!insert)
        return std::nullopt;
    return joined(doc, *insert);
}

} // namespace Rtf
