#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// Line breaks: inside the program a paragraph break is a single "\n" (LF),
// which is what text dropped from Linux programs and QPlainTextEdit use.
// Text coming in is normalised: "\r\n" and a lone "\r" become "\n". On disk
// each "\n" is an RTF paragraph end (see Rtf.h).
namespace RichText {

// "\r\n" and lone "\r" as "\n".
QString normalizeLineBreaks(QString text);

// The document files are the program's own (Doc.dat): a link or anything but
// a regular file at the name is refused, never followed, waited on or
// replaced (SafeFile::readOwn, writeOwn).

// The text of a document file: RTF when it starts as RTF, otherwise plain
// text in UTF-8 or GBK. A missing or unreadable file is an error (nullopt),
// and so is one that is neither RTF nor text (a binary file).
std::optional<QString> loadText(const QString& path, QString* error = nullptr);

// Writes `text` as an RTF document, atomically replacing `path`.
bool saveText(const QString& path, const QString& text, QString* error = nullptr);

// Adds `text` to the end of the document at `path`, creating it when missing.
// An RTF document gets the text inserted and keeps every byte it had (its
// formatting, pictures and tables; one cut off before its end gets its
// closing braces after them), without its text being read or held; RTF with
// no safe place for the text is left as it is and the append fails. A text
// file is kept as a version (DocVersions) and rewritten as an RTF document
// of its text followed by `text`. A file that is neither RTF nor text is
// left as it is and the append fails.
bool appendText(const QString& path, const QString& text, QString* error = nullptr);

// The text of document bytes, as loadText reads them.
QString decode(QByteArrayView bytes);

} // namespace RichText

// The invisible rich-text box: loads and saves documents without a widget.
class RichTextBuffer {
public:
    // On failure the text is left as it was.
    bool LoadFile(const QString& path, QString* error = nullptr);
    bool SaveFile(const QString& path, QString* error = nullptr) const;

    QString Text() const { return text_; }
    void setText(const QString& text);

private:
    QString text_;
};
