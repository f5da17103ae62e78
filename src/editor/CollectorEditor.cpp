#include "CollectorEditor.h"

#include "Dialogs.h"
#include "DocVersions.h"
#include "Encoding.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "RichTextBox.h"
#include "Rtf.h"
#include "SafeFile.h"
#include "Settings.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTextCursor>

using namespace Qt::StringLiterals;

const QString CollectorEditor::SaveAsTitle = u"请指定另存为文件的路径"_s;
// The names as the user sees them, each followed by the patterns Qt reads.
const QString CollectorEditor::SaveAsFilter = u"文本文件（*.txt） (*.txt);;所有文件（*.*） (*)"_s;

const QString CollectorEditor::VersionsTitle = u"历史版本"_s;
const QString CollectorEditor::VersionsPrompt =
    u"选择一个版本，在编辑器中打开。保存后它成为默认文档，当前的默认文档也会保留为历史版本。\n"
    "历史版本在程序文件夹的 Versions 文件夹中。"_s;
const QStringList CollectorEditor::VersionColumns = {u"保存时间"_s, u"大小"_s, u"说明"_s};

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

const QString RichDocument =
    u"默认文档中有编辑器显示不了的内容（格式、表格、图片等）。\n"
    "在编辑器中修改后保存，只保存文字；原来的文档会先保留为历史版本（右键菜单“历史版本…”）。"_s;
const QString VersionNotKept = u"默认文档保存失败：原来的文档无法保留为历史版本，因此没有替换它。"_s;
const QString NoVersions =
    u"还没有历史版本。\n编辑器每次替换默认文档之前，都会把原来的文档保留为一个版本，"
    "放在程序文件夹的 Versions 文件夹中。"_s;
const QString VersionUnreadable = u"这个历史版本无法读取。"_s;

// Documents the notice was given for, in this run of the program: what lay
// before the place drops go (Rtf::insertion), which drops never change, so
// text collected since does not make it a new document. In memory: a note
// on disk would be one more file in the user's folder for one click a run.
struct Noticed {
    qsizetype length;
    QByteArray hash;
};

QList<Noticed>& noticed()
{
    static QList<Noticed> documents;
    return documents;
}

QByteArray hashOf(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return u"%1 字节"_s.arg(bytes);
    if (bytes < 1024 * 1024)
        return u"%1 KB"_s.arg(double(bytes) / 1024, 0, 'f', 1);
    return u"%1 MB"_s.arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

QString reasonText(DocVersions::Reason reason)
{
    return reason == DocVersions::Reason::Rewrite ? u"收集时转为 RTF 之前"_s
                                                  : u"编辑器保存之前"_s;
}

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
        noticeRichDocument();
        return;
    }
    text1.setText(QString());
    m_loadFailed = true; // not written on closing unless the user confirms
    m_dialogs.message(m_parent, LoadFailed, Notice, Dialogs::Icon::Warning);
}

void CollectorEditor::noticeRichDocument()
{
    QFile file(documentPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Our own document, drops in it or not, is told by its first bytes: the
    // scan of a large one would cost as much as reading its text.
    QByteArray bytes = file.read(4096);
    if (!Rtf::isRtf(bytes) || Rtf::startsAsWritten(bytes))
        return;
    bytes += file.readAll();
    if (!Rtf::holdsMoreThanText(bytes))
        return;
    const QByteArrayView view(bytes);
    for (const Noticed& n : noticed()) {
        if (n.length <= view.size() && hashOf(view.first(n.length)) == n.hash)
            return;
    }
    const auto at = Rtf::insertion(bytes, u" "_s);
    const qsizetype length = at ? at->offset : view.size();
    noticed().append({length, hashOf(view.first(length))});
    m_dialogs.message(m_parent, RichDocument, Notice, Dialogs::Icon::Information);
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
        noticeRichDocument();
    }
}

QList<QStringList> CollectorEditor::versionRows(const QList<DocVersions::Version>& versions)
{
    QList<QStringList> rows;
    for (const DocVersions::Version& v : versions)
        rows.append({v.kept.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss"_s), sizeText(v.size),
                     reasonText(v.reason)});
    return rows;
}

void CollectorEditor::openVersion()
{
    const QList<DocVersions::Version> versions = DocVersions::list(documentPath());
    if (versions.isEmpty()) {
        m_dialogs.message(m_parent, NoVersions, VersionsTitle, Dialogs::Icon::Information);
        return;
    }
    const std::optional<int> chosen = m_dialogs.chooseRow(m_parent, VersionsTitle, VersionsPrompt,
                                                          VersionColumns, versionRows(versions));
    if (!chosen || *chosen < 0 || *chosen >= versions.size())
        return;
    QString error;
    const std::optional<QByteArray> bytes = DocVersions::read(versions[*chosen].path, &error);
    if (!bytes || (!Rtf::isRtf(*bytes) && !Encoding::isText(*bytes))) {
        m_dialogs.message(m_parent, VersionUnreadable + u'\n' + error, VersionsTitle,
                          Dialogs::Icon::Warning);
        return;
    }
    // Through a cursor: one step of the box's history, so undo brings back
    // what was there.
    QTextCursor all(text1.document());
    all.select(QTextCursor::Document);
    all.insertText(RichText::decode(*bytes));
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
    // Unchanged: the file stays byte for byte (a word processor's document
    // holds more than its text), whatever happened to it meanwhile. Only a
    // missing one is made, as the close step always did.
    if (!m_loadFailed && text1.Text() == m_known.text && QFileInfo::exists(path))
        return Outcome::Saved;
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
    if (!DocVersions::keep(path, DocVersions::Reason::EditorSave)) {
        m_dialogs.message(m_parent, closing ? VersionNotKept + SaveFailedOnClose : VersionNotKept,
                          Notice, Dialogs::Icon::Warning);
        return Outcome::Failed;
    }
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
