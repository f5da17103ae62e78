#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The default document is stored as RTF so that Windows word processors open
// it. We only keep plain text: write() produces a minimal document, read()
// extracts the text of any RTF document, whoever wrote it, and append() adds
// text to any such document without touching what is there.
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

// Adding text to a document someone else may have written, keeping every
// byte of it: `bytes` (an RTF group holding `text`) goes in at `offset`,
// inside the document's group, continuing its last paragraph. The document
// then reads as before followed by `text`:
//     read(append(doc, t)) == read(doc) + t
// A document cut off before its groups closed (a full disk, a copy that
// stopped) also gets `closing` after its last byte: the braces it never had.
struct Insertion {
    qsizetype offset = 0;
    QByteArray bytes;
    QByteArray closing;
};
// nullopt when the document gives no such place: it ends inside a
// destination that is no text, or, cut off, would not read as before.
std::optional<Insertion> insertion(QByteArrayView doc, const QString& text);
std::optional<QByteArray> append(QByteArrayView doc, const QString& text);

// True when the document starts as write() starts it: written by this
// program (and added to by append()), not since by a word processor.
bool startsAsWritten(QByteArrayView doc);

// True when the document holds more than its text and paragraphs (fonts
// beyond one, formatting, tables, pictures, hidden text, ...): what a save
// of its text alone would lose. False for what write() and append() make.
bool holdsMoreThanText(QByteArrayView doc);

// True when `bytes` starts as an RTF document: "{\rtf", optionally after a
// UTF-8 byte order mark and blanks (some web tools emit those).
bool isRtf(QByteArrayView bytes);

} // namespace Rtf
