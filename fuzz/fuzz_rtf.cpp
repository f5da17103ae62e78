// Rtf::read on any bytes, and the writer on whatever it read: what we write
// must be ASCII and read back as the very same text.
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
    return 0;
}
