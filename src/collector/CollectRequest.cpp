#include "CollectRequest.h"

#include "DropText.h"
#include "Encoding.h"

#include <QMimeData>
#include <QStringDecoder>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace CollectRequest {

Parsed parse(const QStringList& arguments)
{
    if (arguments.isEmpty() || !arguments.first().startsWith(u"--collect"_s))
        return {};
    const Parsed wrong{Source::Selection,
                       u"用法：quorrel --collect | --collect - | --collect-clipboard"
                       u" [--source-title 标题] [--source-url 网址]"_s,
                       {},
                       {}};
    Parsed parsed;
    if (arguments.first() == u"--collect"_s)
        parsed.source = Source::Selection;
    else if (arguments.first() == u"--collect-clipboard"_s)
        parsed.source = Source::Clipboard;
    else
        return wrong;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"-"_s && parsed.source == Source::Selection && i == 1) {
            parsed.source = Source::StandardInput;
            continue;
        }
        std::optional<QString>* value = argument == u"--source-title"_s ? &parsed.sourceTitle
                                        : argument == u"--source-url"_s ? &parsed.sourceUrl
                                                                        : nullptr;
        if (!value || value->has_value() || i + 1 >= arguments.size())
            return wrong;
        *value = arguments[++i];
    }
    return parsed;
}

bool isCollectable(const QString& text)
{
    return !DropText::clean(text).isEmpty();
}

Choice fromClipboards(Source source, const Clipboards& clipboards)
{
    const bool selection = source == Source::Selection && clipboards.hasSelection;
    const QMimeData* data = selection ? clipboards.selection : clipboards.clipboard;
    const QString problem = selection ? u"选中的内容里没有文字"_s : u"剪贴板里没有文字"_s;
    if (!data)
        return {std::nullopt, problem, {}};
    std::optional<QString> text = DropText::of(*data);
    if (!text || !isCollectable(*text))
        return {std::nullopt, problem, {}};
    return {std::move(text), {}, addressIn(*data)};
}

QString addressIn(const QMimeData& data)
{
    for (const QString& format : {u"text/x-moz-url-priv"_s, u"chromium/x-source-url"_s}) {
        const QByteArray bytes = data.data(format);
        if (bytes.isEmpty())
            continue;
        // Firefox hands its strings over as UTF-16 (little-endian, no byte
        // order mark); Chromium as UTF-8. UTF-8 has no NUL in an address.
        const bool wide = bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff") ||
                          (bytes.size() % 2 == 0 && bytes.contains('\0'));
        const QString decoded =
            wide ? QStringDecoder(bytes.startsWith("\xfe\xff") ? QStringDecoder::Utf16BE
                                                               : QStringDecoder::Utf16LE)
                       .decode(bytes)
                 : QString::fromUtf8(bytes);
        const QString line = decoded.section(u'\n', 0, 0).remove(QChar(0)).trimmed();
        const QUrl url(line, QUrl::StrictMode);
        if (url.isValid() && !url.isRelative() && !line.contains(u' '))
            return line;
    }
    return {};
}

Choice fromInput(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {std::nullopt, u"标准输入里没有文字"_s, {}};
    if (!Encoding::isText(bytes))
        return {std::nullopt, u"标准输入不是文字"_s, {}};
    QString text = Encoding::decodeNarrow(bytes);
    if (!isCollectable(text))
        return {std::nullopt, u"标准输入里没有文字"_s, {}};
    return {std::move(text), {}, {}};
}

} // namespace CollectRequest
