#include "CollectRequest.h"

#include "DropText.h"
#include "Encoding.h"

using namespace Qt::StringLiterals;

namespace CollectRequest {

Parsed parse(const QStringList& arguments)
{
    if (arguments.isEmpty() || !arguments.first().startsWith(u"--collect"_s))
        return {};
    if (arguments == QStringList{u"--collect"_s})
        return {Source::Selection, {}};
    if (arguments == QStringList{u"--collect"_s, u"-"_s})
        return {Source::StandardInput, {}};
    if (arguments == QStringList{u"--collect-clipboard"_s})
        return {Source::Clipboard, {}};
    return {Source::Selection, u"用法：quorrel --collect | --collect - | --collect-clipboard"_s};
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
        return {std::nullopt, problem};
    std::optional<QString> text = DropText::of(*data);
    if (!text || !isCollectable(*text))
        return {std::nullopt, problem};
    return {std::move(text), {}};
}

Choice fromInput(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {std::nullopt, u"标准输入里没有文字"_s};
    if (!Encoding::isText(bytes))
        return {std::nullopt, u"标准输入不是文字"_s};
    QString text = Encoding::decodeNarrow(bytes);
    if (!isCollectable(text))
        return {std::nullopt, u"标准输入里没有文字"_s};
    return {std::move(text), {}};
}

} // namespace CollectRequest
