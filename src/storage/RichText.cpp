#include "RichText.h"

#include "DocVersions.h"
#include "Encoding.h"
#include "Rtf.h"
#include "SafeFile.h"

#include <array>
#include <cerrno>

namespace RichText {

namespace {
const QString NotADocument = QStringLiteral("既不是 RTF 文档，也不是文本");
const QString NoPlaceForText = QStringLiteral("RTF 文档中没有可以加入文字的位置");
} // namespace

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
    const std::optional<QByteArray> read = SafeFile::readOwn(path, error);
    if (!read)
        return std::nullopt;
    const QByteArray& bytes = *read;
    if (!Rtf::isRtf(bytes) && !Encoding::isText(bytes)) {
        if (error)
            *error = NotADocument;
        return std::nullopt;
    }
    return decode(bytes);
}

bool saveText(const QString& path, const QString& text, QString* error)
{
    return SafeFile::writeOwn(path, Rtf::write(text), error);
}

bool appendText(const QString& path, const QString& text, QString* error)
{
    const QString added = normalizeLineBreaks(text);
    int code = 0;
    const std::optional<QByteArray> read = SafeFile::readOwn(path, error, &code);
    if (!read && code == ENOENT)
        return saveText(path, added, error);
    if (!read)
        return false; // a link or special file at the name is nobody's document to replace
    const QByteArray& bytes = *read;
    if (Rtf::isRtf(bytes)) {
        const auto insert = Rtf::insertion(bytes, added);
        // Rewritten from its text, a document would lose what the text does
        // not hold (and a damaged one what lies past the damage): refused.
        if (!insert) {
            if (error)
                *error = NoPlaceForText;
            return false;
        }
        if (insert->bytes.isEmpty())
            return true;
        const QByteArrayView view(bytes);
        const std::array<QByteArrayView, 4> parts = {view.first(insert->offset), insert->bytes,
                                                     view.sliced(insert->offset), insert->closing};
        return SafeFile::writeOwn(path, parts, error);
    }
    // A file that is neither RTF nor text is somebody's data, not a document
    // of ours: rewriting it from what it "reads" as would destroy it.
    if (!Encoding::isText(bytes)) {
        if (error)
            *error = NotADocument;
        return false;
    }
    // A text file becomes RTF: its bytes are kept first, as a version.
    if (!DocVersions::keep(path, DocVersions::Reason::Rewrite, error))
        return false;
    return saveText(path, decode(bytes) + added, error);
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
