#include "ContentChunks.h"

#include <algorithm>

namespace ContentChunks {

namespace {

bool hasOverlongLine(QStringView part)
{
    qsizetype start = 0;
    while (start < part.size()) {
        qsizetype end = part.indexOf(u'\n', start);
        if (end < 0)
            end = part.size();
        if (end - start > MaxLineLength)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

QString piece(const QString& text, qsizetype from, qsizetype* next)
{
    from = std::clamp<qsizetype>(from, 0, text.size());
    qsizetype end = std::min(text.size(), from + ChunkSize);
    bool cutInLine = false;
    if (end < text.size()) {
        const qsizetype lastBreak = text.lastIndexOf(u'\n', end - 1);
        if (lastBreak >= from) {
            end = lastBreak + 1;
        } else {
            cutInLine = true;
            if (text.at(end - 1).isHighSurrogate())
                --end; // never split a character
        }
    }
    *next = end;

    const QStringView part = QStringView(text).mid(from, end - from);
    if (!cutInLine && !hasOverlongLine(part))
        return part.toString();
    QString shown;
    shown.reserve(part.size() + part.size() / MaxLineLength + 2);
    qsizetype run = 0;
    for (const QChar c : part) {
        if (run >= MaxLineLength && c != u'\n' && !c.isLowSurrogate()) {
            shown += u'\n';
            run = 0;
        }
        shown += c;
        run = c == u'\n' ? 0 : run + 1;
    }
    if (cutInLine)
        shown += u'\n'; // the line goes on in the next piece
    return shown;
}

} // namespace ContentChunks
