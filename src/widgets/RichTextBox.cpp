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

// QTextDocument spends microseconds on each block: setting 10 MB of text in
// 100,000 lines, one block each, took 0.4 s. Long texts therefore keep only
// every eighth line break as a block end and the others as line breaks inside
// the block, which Text() reads as "\n" all the same; that sets six times
// faster, and a block of eight lines is still quick to lay out and edit.
// (What shows: a triple click there selects the block's eight lines.)
constexpr qsizetype GroupLinesAbove = 4096;
constexpr int LinesPerBlock = 8;

QString groupedLines(QString text)
{
    if (text.count(u'\n') <= GroupLinesAbove)
        return text;
    int lines = 0;
    for (QChar& c : text) {
        if (c == u'\n' && ++lines % LinesPerBlock != 0)
            c = QChar::LineSeparator;
    }
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
    setPlainText(groupedLines(RichText::normalizeLineBreaks(text)));
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
