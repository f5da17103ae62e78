#pragma once

#include <QString>

// A long content is put into the browser's content box a piece at a time,
// so the first screen shows at once and the window stays responsive while
// the rest follows. Pieces end after a line break where there is one; a line
// longer than MaxLineLength is broken for display only, since laying out one
// paragraph of megabytes would freeze the window for seconds.
namespace ContentChunks {

constexpr qsizetype ChunkSize = 256 * 1024;
constexpr qsizetype MaxLineLength = 16 * 1024;

// The display text of the piece of `text` that starts at `from`; `*next`
// gets where the following piece starts (text.size() after the last).
QString piece(const QString& text, qsizetype from, qsizetype* next);

} // namespace ContentChunks
