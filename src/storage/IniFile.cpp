#include "IniFile.h"

#include "SafeFile.h"

#include <cerrno>

namespace Ini {
namespace {

struct Line {
    qsizetype begin;   // first byte of the line
    qsizetype end;     // one past the last byte before the line end
    qsizetype next;    // first byte of the following line
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView s)
{
    while (!s.isEmpty() && isBlank(s.front()))
        s = s.sliced(1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Calls `visit(line)` for each line; stops when it returns false.
template <typename Visit>
void forEachLine(QByteArrayView content, Visit visit)
{
    qsizetype pos = 0;
    while (pos < content.size()) {
        qsizetype nl = content.indexOf('\n', pos);
        const qsizetype next = nl < 0 ? content.size() : nl + 1;
        qsizetype end = nl < 0 ? content.size() : nl;
        if (end > pos && content[end - 1] == '\r')
            --end;
        if (!visit(Line{pos, end, next}))
            return;
        pos = next;
    }
}

// Section header name, or nullopt when the line is no header.
std::optional<QByteArrayView> headerName(QByteArrayView text)
{
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmed(text.sliced(1, close - 1));
}

bool isComment(QByteArrayView text)
{
    return text.startsWith(';') || text.startsWith('#');
}

struct Entry {
    QByteArrayView key;
    QByteArrayView value;
};

std::optional<Entry> entryOf(QByteArrayView text)
{
    if (text.isEmpty() || isComment(text))
        return std::nullopt;
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return Entry{trimmed(text.first(eq)), trimmed(text.sliced(eq + 1))};
}

// Where a section and a key stand in the file.
struct Found {
    std::optional<Line> sectionLast; // last non-blank line of the section (its header at least)
    std::optional<Line> entry;
    QByteArrayView entryKey;
};

Found locate(QByteArrayView content, QByteArrayView section, QByteArrayView key)
{
    Found found;
    bool inSection = false;
    bool sectionDone = false;
    forEachLine(content, [&](const Line& line) {
        const QByteArrayView text = trimmed(content.sliced(line.begin, line.end - line.begin));
        if (const auto name = headerName(text)) {
            if (inSection)
                sectionDone = true; // only the first section of that name counts
            inSection = !sectionDone && sameName(*name, section);
            if (inSection)
                found.sectionLast = line;
            return true;
        }
        if (!inSection)
            return true;
        if (!text.isEmpty())
            found.sectionLast = line;
        if (const auto entry = entryOf(text); entry && sameName(entry->key, key)) {
            found.entry = line;
            found.entryKey = entry->key;
            return false;
        }
        return true;
    });
    return found;
}

QByteArray lineEndOf(QByteArrayView content)
{
    const qsizetype nl = content.indexOf('\n');
    if (nl > 0 && content[nl - 1] == '\r')
        return "\r\n";
    return "\n";
}

bool fitsOnOneLine(QByteArrayView s)
{
    return !s.contains('\n') && !s.contains('\r');
}

} // namespace

std::optional<QByteArray> value(QByteArrayView content, QByteArrayView section, QByteArrayView key)
{
    const Found found = locate(content, section, key);
    if (!found.entry)
        return std::nullopt;
    const Line& line = *found.entry;
    return entryOf(trimmed(content.sliced(line.begin, line.end - line.begin)))->value.toByteArray();
}

std::optional<QByteArray> withValue(QByteArrayView content, QByteArrayView section,
                                    QByteArrayView key, QByteArrayView value)
{
    const QByteArrayView name = trimmed(key);
    if (name.isEmpty() || name.contains('=') || name.startsWith('[') || isComment(name) ||
        !fitsOnOneLine(key) || !fitsOnOneLine(value) || !fitsOnOneLine(section) ||
        section.contains(']')) {
        return std::nullopt;
    }
    const Found found = locate(content, section, name);
    const QByteArray eol = lineEndOf(content);
    QByteArray out;
    out.reserve(content.size() + key.size() + value.size() + section.size() + 8);
    if (found.entry) {
        // Keep the key as the file spells it; replace the rest of the line.
        const Line& line = *found.entry;
        out.append(content.first(line.begin));
        out.append(found.entryKey).append('=').append(value);
        out.append(content.sliced(line.end));
    } else if (found.sectionLast) {
        const Line& last = *found.sectionLast;
        out.append(content.first(last.next));
        // The section's last line ends the file without a line end (perhaps
        // with a lone CR, which is no line end here): give it one.
        if (last.next == content.size() && !content.endsWith('\n'))
            out.append(eol);
        out.append(name).append('=').append(value).append(eol);
        out.append(content.sliced(last.next));
    } else {
        out.append(content);
        if (!content.isEmpty() && !content.endsWith('\n'))
            out.append(eol);
        out.append('[').append(section).append(']').append(eol);
        out.append(name).append('=').append(value).append(eol);
    }
    return out;
}

std::optional<QByteArray> readValue(const QString& path, QByteArrayView section, QByteArrayView key)
{
    // Only a regular file, never through a link: a FIFO would wait for a
    // writer forever, a device may never end.
    const std::optional<QByteArray> content = SafeFile::readOwn(path);
    if (!content)
        return std::nullopt;
    return value(*content, section, key);
}

bool writeValue(const QString& path, QByteArrayView section, QByteArrayView key,
                QByteArrayView value, QString* error)
{
    int code = 0;
    std::optional<QByteArray> current = SafeFile::readOwn(path, error, &code);
    // Writing after a failed read would drop every other line of the file; a
    // link or special file at the name is neither read nor replaced.
    if (!current && code != ENOENT)
        return false;
    const auto next = withValue(current.value_or(QByteArray()), section, key, value);
    if (!next) {
        if (error)
            *error = QStringLiteral("value cannot be stored on one line");
        return false;
    }
    return SafeFile::writeOwn(path, *next, error);
}

} // namespace Ini
