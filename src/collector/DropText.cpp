#include "DropText.h"

#include "RichText.h"

#include <QMimeData>
#include <QSet>
#include <QUrl>

#include <algorithm>

namespace DropText {
namespace {

// True when every non-empty line of `text` names one of the dragged local
// files, as a file URL or as a plain path.
bool onlyNamesDraggedFiles(const QMimeData& data, const QString& text)
{
    QSet<QString> files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            files.insert(QUrl::fromLocalFile(url.toLocalFile()).toLocalFile());
    }
    if (files.isEmpty())
        return false;
    bool any = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const QString entry = line.toString();
        const QUrl url(entry, QUrl::StrictMode);
        const QString path = url.isLocalFile() ? url.toLocalFile() : entry;
        if (!files.contains(QUrl::fromLocalFile(path).toLocalFile()))
            return false;
        any = true;
    }
    return any;
}

} // namespace

bool hasPlainText(const QMimeData& data)
{
    const QStringList formats = data.formats();
    return std::any_of(formats.begin(), formats.end(), [](const QString& format) {
        return format.startsWith(QLatin1StringView("text/plain"));
    });
}

std::optional<QString> of(const QMimeData& data)
{
    if (!hasPlainText(data))
        return std::nullopt;
    const QString text = data.text();
    if (data.hasUrls() && onlyNamesDraggedFiles(data, RichText::normalizeLineBreaks(text)))
        return std::nullopt;
    return text;
}

QString clean(QString text)
{
    text.remove(QChar(u'\0'));
    return RichText::normalizeLineBreaks(std::move(text));
}

} // namespace DropText
