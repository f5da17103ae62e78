// CacheJournal::parse on any bytes, and on a whole journal cut anywhere.
// The whole records it keeps must read back alone as the same text, and a
// journal cut after its last whole record must keep every record.
#include "CacheJournal.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

static int require(bool ok)
{
    if (!ok)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const CacheJournal::Contents c = CacheJournal::parse(bytes);
    require(c.validSize >= 0 && c.ignoredSize >= 0 && c.validSize + c.ignoredSize == bytes.size());
    const CacheJournal::Contents kept = CacheJournal::parse(bytes.first(c.validSize));
    require(kept.text == c.text && kept.ignoredSize == 0 && kept.handedOver == c.handedOver);

    // The input as the texts of a journal: every record survives any cut
    // inside a record appended after it.
    QByteArray journal = CacheJournal::Header;
    QString text;
    for (const QByteArray& part : bytes.toByteArray().split('\0')) {
        const QString piece = QString::fromUtf8(part);
        journal += CacheJournal::record('T', piece.toUtf8());
        text += piece;
    }
    const QByteArray torn = CacheJournal::record('T', "never acknowledged");
    const QByteArray withTail = journal + torn.first(qsizetype(size % size_t(torn.size())));
    const CacheJournal::Contents cut = CacheJournal::parse(withTail);
    require(cut.text == text && cut.validSize == journal.size());
    return 0;
}
