#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Narrow text on disk. Everything the program writes is UTF-8 without a BOM.
// Everything it reads is UTF-8 when the bytes are valid UTF-8 (a leading BOM
// is dropped) and GB18030 otherwise, so files written on Chinese Windows
// systems in GBK still read correctly. Nothing is ever replaced by '?'.
namespace Encoding {

QString decodeNarrow(QByteArrayView bytes);
// Whether the bytes are text at all, as decodeNarrow reads it: valid UTF-8
// or GB18030 without NUL bytes or more than a trace of other control bytes.
// What fails is a binary file, which must not be taken for a document, and
// text in another code page GB18030 cannot read (Latin-1 "caf\xe9 au lait";
// Latin-1 whose accented letters all precede a letter is valid GB18030).
bool isText(QByteArrayView bytes);
QByteArray encodeNarrow(QStringView text);
// A file written line by line: every line, the last one included, ends in
// CR LF, whatever break the text had inside (LF, CR LF or a lone CR).
QByteArray encodeLines(QStringView text);

// The longest prefix of `text` whose UTF-8 form has at most `maxBytes`
// bytes, never cutting a character (surrogate pair included) in half.
QString truncateUtf8(const QString& text, qsizetype maxBytes);

} // namespace Encoding
