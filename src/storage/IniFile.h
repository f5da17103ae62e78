#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// A small INI reader and writer that behaves like the classic private-profile
// functions: section and key names match ignoring ASCII letter case, blanks
// around names and values are dropped, the first of two equal keys wins, and a
// write changes one line only, leaving every other byte of the file as it was.
// Lines starting with ';' or '#' are comments. Values are raw bytes; decoding
// them is the caller's business.
namespace Ini {

// The value of `key` in `section` of `content`; nullopt when the section or
// the key is missing. A key present with nothing after '=' gives "".
std::optional<QByteArray> value(QByteArrayView content, QByteArrayView section,
                                QByteArrayView key);

// `content` with `key` of `section` set to `value`: an existing entry is
// rewritten in place, a new key goes after the last line of its section, a
// missing section is appended at the end. Line ends follow the file's own.
// Returns nullopt for a key or value that cannot be stored on one line.
std::optional<QByteArray> withValue(QByteArrayView content, QByteArrayView section,
                                    QByteArrayView key, QByteArrayView value);

// File forms of the two above. A missing or unreadable file reads as empty.
std::optional<QByteArray> readValue(const QString& path, QByteArrayView section,
                                    QByteArrayView key);
// Atomic: the old file stays whole unless the new one was written completely.
bool writeValue(const QString& path, QByteArrayView section, QByteArrayView key,
                QByteArrayView value, QString* error = nullptr);

} // namespace Ini
