#include "RichText.h"

#include "Encoding.h"
#include "Rtf.h"
#include "SafeFile.h"

#include <QFile>

namespace RichText {

QString normalizeLineBreaks(QString text)
{
    if (!text.contains(u'\r'))
        return text;
    text.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QString decode(QByteArrayView bytes)
{
    return normalizeLineBreaks(Rtf::isRtf(bytes) ? Rtf::read(bytes)
                                                 : Encoding::decodeNarrow(bytes));
}

std::optional<QString> loadText(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return decode(bytes);
}

bool saveText(const QString& path, const QString& text, QString* error)
{
    return SafeFile::write(path, Rtf::write(text), error);
}

} // namespace RichText

bool RichTextBuffer::LoadFile(const QString& path, QString* error)
{
    std::optional<QString> text = RichText::loadText(path, error);
    if (!text)
        return false;
    text_ = std::move(*text);
    return true;
}

bool RichTextBuffer::SaveFile(const QString& path, QString* error) const
{
    return RichText::saveText(path, text_, error);
}

void RichTextBuffer::setText(const QString& text)
{
    text_ = RichText::normalizeLineBreaks(text);
}
