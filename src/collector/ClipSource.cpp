#include "ClipSource.h"

#include "Schema.h"

#include <QDateTime>
#include <QMimeData>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace ClipSources {
namespace {

// The browsers whose window titles end in their name.
const QStringView Browsers[] = {
    u"Mozilla Firefox",
    u"Mozilla Firefox Private Browsing",
    u"Firefox Developer Edition",
    u"Firefox Nightly",
    u"LibreWolf",
    u"Waterfox",
    u"Google Chrome",
    u"Google Chrome Beta",
    u"Chromium",
    u"Microsoft Edge",
    u"Microsoft\u200b Edge",
    u"Brave",
    u"Vivaldi",
    u"Opera",
    u"Falkon",
    u"Konqueror",
    u"qutebrowser",
};
const QStringView Dashes[] = {u" \u2014 ", u" - ", u" \u2013 "};

// Formats that carry an address, best first.
struct AddressFormat {
    QLatin1StringView name;
    bool list; // one address a line; else the first line is the address
};
const AddressFormat AddressFormats[] = {
    {"text/x-moz-url-priv"_L1, false},       // Firefox's copy: the page's address
    {"chromium/x-source-url"_L1, false},     // Chromium's copy: the page's address
    {"text/x-moz-url"_L1, false},            // a dragged link: "address\ntitle"
    {"text/uri-list"_L1, true},              // dragged links
    {"chromium/x-renderer-taint"_L1, false}, // the page's origin (scheme and host)
};

// Past this an "address" is data (a picture's data: URL), not a page's name.
constexpr qsizetype MaxAddress = 64 * 1024;

// Browsers put UTF-16 (in the machine's order) in their own formats, UTF-8
// in the standard ones; a byte-order mark or NUL bytes tell the first.
QString decode(const QByteArray& bytes)
{
    if (!bytes.contains('\0'))
        return QString::fromUtf8(bytes);
    auto encoding = QStringDecoder::Utf16;
    if (bytes.startsWith("\xff\xfe"))
        encoding = QStringDecoder::Utf16LE;
    else if (bytes.startsWith("\xfe\xff"))
        encoding = QStringDecoder::Utf16BE;
    QStringDecoder utf16(encoding, QStringDecoder::Flag::Stateless);
    QString text = utf16(bytes);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    while (text.endsWith(QChar(u'\0')))
        text.chop(1);
    return text;
}

bool namesAPage(const QString& text)
{
    if (text.isEmpty() || text.size() > MaxAddress)
        return false;
    const QUrl url(text, QUrl::StrictMode);
    static const QStringList notPages{u"file"_s, u"data"_s, u"javascript"_s, u"blob"_s, u"about"_s};
    return url.isValid() && !url.isRelative() && !notPages.contains(url.scheme().toLower());
}

bool onlyLocalFiles(const QMimeData& data)
{
    const QList<QUrl> urls = data.urls();
    return !urls.isEmpty() &&
           std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

QString elided(const QString& text, qsizetype length)
{
    return text.size() <= length ? text : text.left(length - 1) + u'…';
}

} // namespace

QString pageTitle(const QString& windowTitle)
{
    for (QStringView browser : Browsers) {
        if (windowTitle == browser)
            return QString();
        if (!windowTitle.endsWith(browser))
            continue;
        const QStringView page = QStringView(windowTitle).chopped(browser.size());
        for (QStringView dash : Dashes) {
            if (page.endsWith(dash))
                return page.chopped(dash.size()).toString();
        }
    }
    return windowTitle;
}

QString addressOf(const QMimeData& data)
{
    for (const AddressFormat& format : AddressFormats) {
        if (!data.hasFormat(format.name))
            continue;
        const QString lines = decode(data.data(format.name));
        for (QStringView line : QStringView(lines).split(u'\n')) {
            const QString text = line.trimmed().toString();
            if (text.isEmpty() || (format.list && text.startsWith(u'#')))
                continue; // a comment of a URI list
            if (namesAPage(text))
                return text;
            if (!format.list)
                break; // what follows the address is a title
        }
    }
    return QString();
}

ClipSource of(const QString& windowTitle, const QMimeData* data, const QDateTime& when)
{
    if (windowTitle.isEmpty() || (data && onlyLocalFiles(*data)))
        return {};
    ClipSource source{pageTitle(windowTitle), data ? addressOf(*data) : QString(), QString()};
    if (!source.isEmpty())
        source.time = when.toString(Field::CollectedAtFormat);
    return source;
}

QString toolTip(const QString& base, const std::deque<ClipSource>& recent)
{
    if (recent.empty())
        return base;
    QString tip = base + u"\n最近收集的来源："_s;
    for (const ClipSource& source : recent) {
        tip += u'\n' + source.time.mid(11) + u"  "_s +
               elided(source.title.isEmpty() ? source.url : source.title, 60);
        if (!source.title.isEmpty() && !source.url.isEmpty())
            tip += u"\n          "_s + elided(source.url, 80);
    }
    return tip;
}

} // namespace ClipSources
