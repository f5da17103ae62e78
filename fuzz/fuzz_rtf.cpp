// Rtf::read on any bytes, and the writer on whatever it read: what we write
// must be ASCII and read back as the very same text. Appending to the bytes,
// where the append finds a place, keeps every byte and reads as the old text
// followed by the new: read(append(doc, t)) == read(doc) + t.
#include "Rtf.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)Rtf::isRtf(bytes);
    const QString text = Rtf::read(bytes);

    // The same bytes as UTF-16 reach the writer with lone surrogates and
    // control characters the reader rarely makes.
    const QString units = QString::fromUtf16(reinterpret_cast<const char16_t*>(data),
                                             qsizetype(size / 2));
    for (const QString& t : {text, units}) {
        const QByteArray rtf = Rtf::write(t);
        for (const char c : rtf) {
            if (static_cast<unsigned char>(c) >= 0x80)
                std::abort();
        }
        if (!Rtf::isRtf(rtf) || Rtf::read(rtf) != t)
            std::abort();
    }

    // Dropped text: the tail of the input as UTF-16 (so it varies with the
    // input), ending in each way that matters to the last paragraph.
    const QString tail = units.right(8);
    for (const QString& added : {tail, QString(tail + u'\n'), QStringLiteral("@\n{x}")}) {
        const auto insert = Rtf::insertion(bytes, added);
        if (!insert)
            continue;
        if (insert->offset < 0 || insert->offset > bytes.size())
            std::abort();
        const auto appended = Rtf::append(bytes, added);
        if (!appended ||
            appended->size() != bytes.size() + insert->bytes.size() + insert->closing.size() ||
            !appended->startsWith(bytes.first(insert->offset)) ||
            !appended->endsWith(QByteArray(bytes.sliced(insert->offset).toByteArray() + insert->closing)))
            std::abort();
        if (Rtf::read(*appended) != text + added)
            std::abort();
    }
    return 0;
}
