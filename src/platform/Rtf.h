#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The default document is stored as RTF so that Windows word processors open
// it. We only keep plain text: write() produces a minimal document, read()
// extracts the text of any RTF document, whoever wrote it.
//
// Paragraphs: every paragraph, the last one included, ends with \par, as
// WordPad and LibreOffice write it. So a "\n" in the text is a \par, the
// writer ends the last paragraph with one more \par, and the reader drops the
// \par that ends the document. That makes read(write(t)) == t for every t.
namespace Rtf {

// A complete RTF document holding `text` (code page 936, one CJK font).
// Pure ASCII; characters outside ASCII are \uN with a '?' fallback.
QByteArray write(const QString& text);

// The plain text of an RTF document: formatting, pictures, font tables and
// other destinations dropped, \'hh bytes decoded in the document's code page
// (or the current font's charset). Damaged or truncated input gives whatever
// text was read before the damage; nothing before the first '{' or after
// the document's closing '}' is read.
QString read(QByteArrayView bytes);

// True when `bytes` starts as an RTF document: "{\rtf", optionally after a
// UTF-8 byte order mark and blanks (some web tools emit those).
bool isRtf(QByteArrayView bytes);

} // namespace Rtf
