#include "CollectorEditor.h"

#include "Dialogs.h"
#include "Encoding.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "RichTextBox.h"
#include "SafeFile.h"
#include "Settings.h"

#include <QFileInfo>
#include <QTextCursor>

using namespace Qt::StringLiterals;

const QString CollectorEditor::SaveAsTitle = u"请指定另存为文件的路径"_s;
// The names as the user sees them, each followed by the patterns Qt reads.
const QString CollectorEditor::SaveAsFilter = u"文本文件（*.txt） (*.txt);;所有文件（*.*） (*)"_s;

namespace {

const QString Notice = u"提示"_s;
const QString LoadFailed =
    u"默认文档读取失败！编辑器中的内容为空。\n"
    "关闭编辑器时不会覆盖该文档；点击“确认对默认文档的修改”才会用编辑器中的内容替换它。"_s;
const QString SaveFailed = u"默认文档保存失败！编辑器保持打开，其中的文本没有丢失。"_s;
const QString SaveFailedOnClose =
    u"\n如要不保存而关闭编辑器，请先在“编辑器设置”中取消“退出后自动更新默认文档”。"_s;
const QString ChangedElsewhere =
    u"默认文档在编辑器读取之后已被修改，且不只是在末尾添加了文本。\n"
    "是否用编辑器中的内容替换它？\n选择“否”则保留文档现有内容，不保存编辑器中的内容。"_s;

} // namespace

CollectorEditor::CollectorEditor(Dialogs& dialogs, RichTextBox& box, QWidget* parent)
    : m_dialogs(dialogs), text1(box), m_parent(parent)
{
}

QString CollectorEditor::documentPath() const
{
    return ProgramDir() + u"Doc.dat"_s;
}

void CollectorEditor::GetSaveDelete()
{
    savedelete = SettingRules::onlyIfTrue(ReadSetting(u"savedelete"_s, SettingRules::False));
}

void CollectorEditor::GetExitNew()
{
    exitnew = SettingRules::onUnlessFalse(ReadSetting(u"exitnew"_s, SettingRules::True));
}

void CollectorEditor::loadDocument()
{
    const QString path = documentPath();
    m_loadFailed = false;
    if (!QFileInfo(path).isFile()) {
        text1.setText(QString());
        remember(QString());
        return;
    }
    if (text1.LoadFile(path)) {
        remember(text1.Text());
        return;
    }
    text1.setText(QString());
    m_loadFailed = true; // not written on closing unless the user confirms
    m_dialogs.message(m_parent, LoadFailed, Notice, Dialogs::Icon::Warning);
}

void CollectorEditor::remember(const QString& text)
{
    m_known = Known{FileStamp::of(documentPath()), text};
}

void CollectorEditor::copy()
{
    if (!text1.SelText().isEmpty())
        text1.copy();
}

void CollectorEditor::cut()
{
    if (!text1.SelText().isEmpty())
        text1.cut();
}

void CollectorEditor::paste()
{
    text1.paste();
}

void CollectorEditor::selectAll()
{
    text1.selectAll();
}

void CollectorEditor::deleteSelection()
{
    QTextCursor cursor = text1.textCursor();
    if (!cursor.hasSelection())
        return;
    cursor.removeSelectedText();
    text1.setTextCursor(cursor);
}

void CollectorEditor::undo()
{
    text1.Undo();
}

void CollectorEditor::saveSelectionAsFile()
{
    const QString s = text1.SelText();
    if (s.isEmpty())
        return;
    const QString path = m_dialogs.saveFileName(m_parent, SaveAsTitle, QString(), SaveAsFilter);
    if (path.isEmpty())
        return;
    if (!SafeFile::write(path, Encoding::encodeLines(s)))
        return;
    if (!savedelete)
        return;
    // Removes exactly the saved characters: Text is the first SelStart
    // characters followed by the rest after the selection. Through the
    // cursor, so a 10 MB text is not set again and the step can be undone.
    deleteSelection();
}

void CollectorEditor::refresh()
{
    // Anything but an ordinary file (a FIFO would block the window) counts
    // as unreadable, as on opening.
    if (QFileInfo(documentPath()).isFile() && text1.LoadFile(documentPath())) {
        m_loadFailed = false;
        remember(text1.Text());
    }
}

bool CollectorEditor::confirm()
{
    return saveDocument(false) == Outcome::Saved;
}

bool CollectorEditor::queryUnload()
{
    // A document that could not be read is kept unless confirmed by hand.
    if (!exitnew || m_loadFailed)
        return true;
    // "No" to replacing a changed document keeps the file and closes.
    return saveDocument(true) != Outcome::Failed;
}

CollectorEditor::Outcome CollectorEditor::saveDocument(bool closing)
{
    const QString path = documentPath();
    // After a failed load the user's confirm is the consent to replace it.
    if (!m_loadFailed && QFileInfo(path).isFile()) {
        const std::optional<FileStamp> now = FileStamp::of(path);
        if (!now || now != m_known.stamp) {
            const std::optional<QString> current = RichText::loadText(path);
            if (current && current->startsWith(m_known.text)) {
                appendToBox(current->mid(m_known.text.size()));
                // The box holds the tail now: should this save fail, the
                // next one must not add it a second time.
                m_known = Known{now, *current};
            } else if (m_dialogs.message(m_parent, ChangedElsewhere, Notice,
                                         Dialogs::Icon::Question,
                                         Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes) {
                return Outcome::Declined;
            }
        }
    }
    const QString text = text1.Text();
    if (!RichText::saveText(path, text)) {
        m_dialogs.message(m_parent, closing ? SaveFailed + SaveFailedOnClose : SaveFailed, Notice,
                          Dialogs::Icon::Warning);
        return Outcome::Failed;
    }
    m_loadFailed = false;
    remember(text);
    return Outcome::Saved;
}

void CollectorEditor::appendToBox(const QString& tail)
{
    if (tail.isEmpty())
        return;
    // Its own cursor: the user's caret and selection stay where they are,
    // and the addition is one step that undo can take back.
    QTextCursor end(text1.document());
    end.movePosition(QTextCursor::End);
    end.insertText(tail);
}
