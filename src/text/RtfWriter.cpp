#include "RtfWriter.h"

#include "Rtf.h"

namespace Rtf {
namespace detail {
namespace {

// Code page 936 and SimSun (宋体, written in GBK), as Chinese WordPad saves:
// Word and WordPad then show the text in a Chinese font without asking.
constexpr std::string_view kHeader =
    "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang2052"
    "{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
    "\\uc1\\pard\\f0\\fs20 ";
constexpr std::string_view kTrailer = "}\r\n";

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

} // namespace

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

} // namespace detail

bool startsAsWritten(QByteArrayView doc)
{
    return doc.startsWith(QByteArrayView(detail::kHeader.data(), qsizetype(detail::kHeader.size())));
}

QByteArray write(const QString& text)
{
    using namespace detail;
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

} // namespace Rtf
