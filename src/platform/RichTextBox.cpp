#include "RichTextBox.h"

#include "RichText.h"

#include <QTextCursor>
#include <QTextDocument>

namespace {

// The document keeps paragraph breaks as U+2029 and Shift+Enter as U+2028;
// both are "\n" to the rest of the program. toPlainText() would also turn
// non-breaking spaces into spaces, so the raw text is converted here.
QString withLineFeeds(QString text)
{
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QPlainTextEdit(parent) {}

bool RichTextBox::LoadFile(const QString& path, QString* error)
{
    const std::optional<QString> text = RichText::loadText(path, error);
    if (!text)
        return false;
    setText(*text);
    return true;
}

bool RichTextBox::SaveFile(const QString& path, QString* error) const
{
    return RichText::saveText(path, Text(), error);
}

QString RichTextBox::Text() const
{
    return withLineFeeds(document()->toRawText());
}

void RichTextBox::setText(const QString& text)
{
    setPlainText(RichText::normalizeLineBreaks(text));
}

QString RichTextBox::SelText() const
{
    return withLineFeeds(textCursor().selectedText());
}

int RichTextBox::SelStart() const
{
    return textCursor().selectionStart();
}

void RichTextBox::Undo()
{
    undo();
}
